// Speed against the wire: ostrel-cli (and avrdude, for comparison) against ostrel-sim
// pacing a 19200-baud line, optionally with a USB adapter's latency per answer.
//
//   bench_predkosc [--latency MS]... [--quick]
//
// For every memory operation it prints the process's wall time, the time the operation
// held the line (from its first byte after the port was opened for it to the last byte),
// the wire limit of the same bytes (characters in both directions at 10 bits each, plus
// the latency before every answer), their ratio, and the host's CPU time as a share of
// the wall time. Goals: ratio at most 1.05, CPU at most 5 %.
// ostrel-cli and ostrel-sim are taken from the folder of this program.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "bench/procesy.h"
#include "bench/wzor_hex.h"

namespace {

using namespace ostrel::bench;

namespace fs = std::filesystem;

constexpr double kBaud = 19200;
constexpr double kBitowNaZnak = 10;  // start, 8 data, stop

// What the simulator's log says about the last session on the port.
struct Drut {
  std::size_t od_hosta = 0;    // characters host -> programmer
  std::size_t do_hosta = 0;    // characters programmer -> host
  std::size_t odpowiedzi = 0;  // answers (each paid the latency once)
  double czas_s = 0;           // first to last character of the session
  double granica(double opoznienie_ms) const {
    return static_cast<double>(od_hosta + do_hosta) * kBitowNaZnak / kBaud +
           static_cast<double>(odpowiedzi) * opoznienie_ms / 1000.0;
  }
};

// The session is everything after the last time the host opened the port (the search's
// probes open and close it before the operation opens it for good).
Drut czytaj_drut(const std::string& plik) {
  struct Wpis {
    double ms;
    char kierunek;
  };
  std::vector<Wpis> wpisy;
  std::ifstream we(plik);
  std::string linia;
  while (std::getline(we, linia)) {
    if (linia.rfind("# ", 0) == 0) {
      if (linia.find("host opened the port") != std::string::npos) wpisy.clear();
      continue;
    }
    std::istringstream s(linia);
    Wpis w{};
    if (s >> w.ms >> w.kierunek) wpisy.push_back(w);
  }
  Drut d;
  char poprzedni = 0;
  for (const auto& w : wpisy) {
    if (w.kierunek == '<') ++d.od_hosta;
    if (w.kierunek == '>') {
      ++d.do_hosta;
      if (poprzedni != '>') ++d.odpowiedzi;
    }
    poprzedni = w.kierunek;
  }
  // A logged character has finished arriving; the first one started a character earlier.
  if (!wpisy.empty()) {
    d.czas_s = (wpisy.back().ms - wpisy.front().ms) / 1000.0 + kBitowNaZnak / kBaud;
  }
  return d;
}

// The rig's own floor: the EEPROM program + verify conversation of ostrel-cli, sent by the
// plainest client there is (write, poll, read). Whatever this loses against the wire limit
// is the pseudo-terminal's and the simulator's turnaround, not the program's.
Pomiar surowy_klient(const std::string& pty, std::uint8_t kod, std::size_t n) {
  Pomiar m;
  const auto start = Zegar::now();
  const int fd = ::open(pty.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return m;
  termios t{};
  ::tcgetattr(fd, &t);
  ::cfmakeraw(&t);
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  ::tcsetattr(fd, TCSANOW, &t);
  bool dobrze = true;
  auto polecenie = [&](std::initializer_list<std::uint8_t> b, int odpowiedz) {
    const std::vector<std::uint8_t> v(b);
    if (::write(fd, v.data(), v.size()) != static_cast<ssize_t>(v.size())) dobrze = false;
    for (int przyszlo = 0; przyszlo < odpowiedz && dobrze;) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 5000) <= 0) dobrze = false;
      std::uint8_t r[8];
      const ssize_t k = ::read(fd, r, sizeof r);
      if (k > 0) przyszlo += static_cast<int>(k);
    }
  };
  polecenie({'P'}, 1);
  polecenie({'T', kod}, 1);
  for (std::size_t i = 0; i < n; ++i) polecenie({'D', static_cast<std::uint8_t>(i)}, 1);
  polecenie({'P'}, 1);
  polecenie({'T', kod}, 1);
  for (std::size_t i = 0; i < n; ++i) polecenie({'d'}, 1);
  polecenie({'L'}, 1);
  ::close(fd);
  m.sciana_s = std::chrono::duration<double>(Zegar::now() - start).count();
  m.status = dobrze ? 0 : 1;
  return m;
}

struct Przypadek {
  const char* opis;       // what is measured
  const char* uklad;      // --device of both programs
  const char* polecenie;  // ostrel-cli command
  std::size_t bajty;      // image size for program commands, 0 for reads
};

constexpr Przypadek kPrzypadki[] = {
    {"AT89C55 flash 20480 B program+verify", "AT89C55", "program-flash", 20480},
    {"AT89C55 flash 20480 B read", "AT89C55", "read-flash", 0},
    {"AT90S8515 flash 8192 B program+verify", "AT90S8515", "program-flash", 8192},
    {"AT90S8515 flash 8192 B read", "AT90S8515", "read-flash", 0},
    {"AT90S8515 EEPROM 512 B program+verify", "AT90S8515", "program-eeprom", 512},
    {"AT90S8515 EEPROM 512 B read", "AT90S8515", "read-eeprom", 0},
};

void wiersz(const std::string& opis, double opoznienie, const Pomiar& m, const Drut& d,
            const char* uwaga) {
  const double granica = d.granica(opoznienie);
  std::printf("| %-40s | %4.0f | %8.2f | %8.2f | %8.2f | %5.3f | %5.2f | %s\n", opis.c_str(),
              opoznienie, m.sciana_s, d.czas_s, granica, granica > 0 ? d.czas_s / granica : 0.0,
              m.sciana_s > 0 ? 100.0 * m.cpu_s / m.sciana_s : 0.0, uwaga);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<double> opoznienia;
  bool szybko = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--latency") == 0 && i + 1 < argc) {
      opoznienia.push_back(std::atof(argv[++i]));
    } else if (std::strcmp(argv[i], "--quick") == 0) {
      szybko = true;  // the small cases only: a quick look while changing code
    } else {
      std::fprintf(stderr, "usage: %s [--latency MS]... [--quick]\n", argv[0]);
      return 2;
    }
  }
  if (opoznienia.empty()) opoznienia = {0, 2};

  const auto stanowisko = przygotuj_stanowisko();
  if (!stanowisko) return 1;
  const std::string& cli = stanowisko->cli;
  const std::string& sim = stanowisko->sim;
  const fs::path& tmp = stanowisko->tmp;
  const bool jest_avrdude = stanowisko->jest_avrdude;

  std::printf("| %-40s | %4s | %8s | %8s | %8s | %5s | %5s | %s\n", "operation (19200 baud)", "lat",
              "wall s", "line s", "wire s", "ratio", "CPU %", "result");
  std::printf("|%s|------|----------|----------|----------|-------|-------|-------\n",
              std::string(42, '-').c_str());
  int bledy = 0;
  for (const double opoznienie : opoznienia) {
    char lat[32];
    std::snprintf(lat, sizeof lat, "%g", opoznienie);
    for (const Przypadek& p : kPrzypadki) {
      if (szybko && std::strstr(p.opis, "EEPROM") == nullptr) continue;
      const std::string konf = tmp / "konfiguracja";
      fs::remove_all(konf);
      fs::create_directories(konf);
      ::setenv("XDG_CONFIG_HOME", konf.c_str(), 1);
      const std::string log = tmp / "wire.log";
      const std::string plik = tmp / "dane.hex";
      if (p.bajty > 0) std::ofstream(plik, std::ios::binary) << ostrel::bench::hex_wzoru(p.bajty);
      auto s = uruchom_symulator({sim, "--device", p.uklad, "--com", "1", "--baud", "19200",
                                  "--latency", lat, "--log", log});
      if (!s) {
        std::fprintf(stderr, "ostrel-sim did not start\n");
        return 1;
      }
      const Pomiar m =
          uruchom({cli, "--port", "1", "--device", p.uklad, p.polecenie, plik}, tmp / "cli.txt");
      zatrzymaj(s->pid);
      const bool dobrze = m.status == 0;
      bledy += dobrze ? 0 : 1;
      wiersz(std::string("ostrel-cli ") + p.opis, opoznienie, m, czytaj_drut(log),
             dobrze ? "ok" : m.wyjscie.c_str());
    }
    {
      const std::string log = tmp / "wire.log";
      auto s = uruchom_symulator(
          {sim, "--device", "AT90S8515", "--baud", "19200", "--latency", lat, "--log", log});
      if (!s) return 1;
      // The first character may not come before the simulator has set up its line.
      const Pomiar m = surowy_klient(s->pty, 0x38, 512);
      zatrzymaj(s->pid);
      bledy += m.status == 0 ? 0 : 1;
      wiersz("raw client EEPROM 512 B (rig floor)", opoznienie, m, czytaj_drut(log),
             m.status == 0 ? "ok (CPU not measured)" : "failed");
    }
    if (!jest_avrdude) continue;
    // The same AT90S8515 flash program + verify by avrdude's avr910 driver.
    const std::string log = tmp / "wire.log";
    const std::string plik = tmp / "dane.hex";
    std::ofstream(plik, std::ios::binary) << ostrel::bench::hex_wzoru(8192);
    auto s = uruchom_symulator(
        {sim, "--device", "AT90S8515", "--baud", "19200", "--latency", lat, "--log", log});
    if (!s) return 1;
    const Pomiar m = uruchom({"avrdude", "-c", "avr910", "-p", "8515", "-P", s->pty, "-b", "19200",
                              "-U", "flash:w:" + plik + ":i"},
                             tmp / "avrdude.txt");
    zatrzymaj(s->pid);
    const bool dobrze =
        m.status == 0 && m.wyjscie.find("bytes of flash verified") != std::string::npos;
    bledy += dobrze ? 0 : 1;
    wiersz("avrdude AT90S8515 flash 8192 B program+verify", opoznienie, m, czytaj_drut(log),
           dobrze ? "ok" : "failed");
  }
  fs::remove_all(tmp);
  return bledy == 0 ? 0 : 1;
}
