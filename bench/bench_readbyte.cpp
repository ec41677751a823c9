// ReadByte against a silent pseudo-terminal with the programmer's 50 ms time-out: how
// long each call takes and how much processor the waiting costs.
// Goal: every call between 50 and 52 ms, CPU under 5 % of wall time.
#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "serial/ComDrv32.h"

namespace {

double czas_procesora_ms() {
  rusage r{};
  getrusage(RUSAGE_SELF, &r);
  const auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
  return ms(r.ru_utime) + ms(r.ru_stime);
}

}  // namespace

int main(int argc, char** argv) {
  const int wywolan = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
  char szablon[] = "/tmp/ostrel-bench-XXXXXX";
  if (!mkdtemp(szablon)) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::string katalog = szablon;
  mkdir((katalog + "/ostrel").c_str(), 0700);
  int master = -1, slave = -1;
  char nazwa[256] = {};
  if (openpty(&master, &slave, nazwa, nullptr, nullptr) != 0) {
    std::perror("openpty");
    return 1;
  }
  const std::string lacze = katalog + "/ostrel/com3";
  if (symlink(nazwa, lacze.c_str()) != 0) {
    std::perror("symlink");
    return 1;
  }
  setenv("XDG_CONFIG_HOME", katalog.c_str(), 1);

  int wynik = 0;
  {
    ostrel::TCommPortDriver port;
    port.setComPort(ostrel::pnCOM3);
    port.setComPortSpeed(ostrel::br19200);
    port.setInputTimeout(50);
    if (!port.Open()) {
      std::fprintf(stderr, "cannot open %s\n", nazwa);
      wynik = 1;
    } else {
      std::vector<double> czasy;
      czasy.reserve(static_cast<std::size_t>(wywolan));
      int odebrane = 0;
      const double cpu0 = czas_procesora_ms();
      const auto start = std::chrono::steady_clock::now();
      for (int i = 0; i < wywolan; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        std::uint8_t v = 0;
        if (port.ReadByte(v)) ++odebrane;
        const auto t1 = std::chrono::steady_clock::now();
        czasy.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
      }
      const double sciana =
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
              .count();
      const double cpu = czas_procesora_ms() - cpu0;
      double suma = 0;
      for (double c : czasy) suma += c;
      const auto [mn, mx] = std::minmax_element(czasy.begin(), czasy.end());
      const auto w_oknie = std::count_if(czasy.begin(), czasy.end(),
                                         [](double c) { return c >= 50.0 && c <= 52.0; });
      std::printf("ReadByte on a silent pty, InputTimeout 50 ms, %d calls\n", wywolan);
      std::printf("  mean per call   %.3f ms (min %.3f, max %.3f)\n", suma / wywolan, *mn, *mx);
      std::printf("  calls in 50..52 %ld of %d\n", static_cast<long>(w_oknie), wywolan);
      std::printf("  bytes received  %d (expected 0)\n", odebrane);
      std::printf("  wall %.1f ms, CPU %.1f ms, CPU share %.2f %%\n", sciana, cpu,
                  100.0 * cpu / sciana);
      port.Close();
    }
  }
  close(master);
  close(slave);
  unlink(lacze.c_str());
  rmdir((katalog + "/ostrel").c_str());
  rmdir(katalog.c_str());
  return wynik;
}
