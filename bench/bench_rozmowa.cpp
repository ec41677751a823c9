// ostrel-cli against a bare client that replays the same conversation with nothing
// between the steps: an answer in, the next command out. Flash program + verify of an
// AT90S2313 (2 KB) on ostrel-sim with each programmer type's firmware and its busy times.
//
//   bench_rozmowa [--quick]
//
// The client replays every step ostrel-cli put on the wire (from the simulator's log,
// the search's probe included) on one open port of a fresh simulator. Columns: the CLI's
// whole process and the client's whole replay (wall), and their ratio; goal at most
// 1.02. --quick: 19200 baud only. Prints figures, asserts nothing about time.
// ostrel-cli and ostrel-sim are taken from the folder of this program.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/procesy.h"
#include "bench/wzor_hex.h"

namespace {

using namespace ostrel::bench;
namespace fs = std::filesystem;

struct Krok {
  std::vector<std::uint8_t> host;
  std::size_t odpowiedz = 0;
};

// The logged conversation as steps: the host's bytes, then how many answer bytes came.
std::vector<Krok> kroki_z_dziennika(const std::string& plik) {
  std::vector<Krok> kroki;
  std::ifstream we(plik);
  std::string linia;
  while (std::getline(we, linia)) {
    if (linia.empty() || linia[0] == '#') continue;
    std::istringstream s(linia);
    double ms = 0;
    char kierunek = 0;
    unsigned bajt = 0;
    if (!(s >> ms >> kierunek >> std::hex >> bajt)) continue;
    if (kierunek == '<') {
      if (kroki.empty() || kroki.back().odpowiedz != 0) kroki.push_back({});
      kroki.back().host.push_back(static_cast<std::uint8_t>(bajt));
    } else if (kierunek == '>' && !kroki.empty()) {
      ++kroki.back().odpowiedz;
    }
  }
  return kroki;
}

// Plays the steps on the pty; the wall time, or a negative value when an answer did not
// come within 10 s.
double odtworz(const std::string& pty, const std::vector<Krok>& kroki) {
  const int fd = ::open(pty.c_str(), O_RDWR | O_NOCTTY);
  if (fd < 0) return -1;
  termios t{};
  ::tcgetattr(fd, &t);
  ::cfmakeraw(&t);
  ::tcsetattr(fd, TCSANOW, &t);
  const auto start = Zegar::now();
  double wynik = 0;
  for (const Krok& k : kroki) {
    if (::write(fd, k.host.data(), k.host.size()) != static_cast<ssize_t>(k.host.size())) {
      wynik = -1;
      break;
    }
    std::size_t odebrane = 0;
    while (odebrane < k.odpowiedz) {
      pollfd f{fd, POLLIN, 0};
      if (::poll(&f, 1, 10000) <= 0) break;
      std::uint8_t b[4096];
      const ssize_t n = ::read(fd, b, sizeof b);
      if (n <= 0) break;
      odebrane += static_cast<std::size_t>(n);
    }
    if (odebrane < k.odpowiedz) {
      wynik = -1;
      break;
    }
  }
  if (wynik == 0) wynik = std::chrono::duration<double>(Zegar::now() - start).count();
  ::close(fd);
  return wynik;
}

struct Przypadek {
  const char* opis;
  std::vector<std::string> symulator;  // firmware options
  const char* typ;                     // --programmer
  int baud;
};

}  // namespace

int main(int argc, char** argv) {
  const bool szybko = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  const auto stanowisko = przygotuj_stanowisko();
  if (!stanowisko) return 1;
  const std::string& cli = stanowisko->cli;
  const std::string& sim = stanowisko->sim;
  const fs::path& tmp = stanowisko->tmp;
  const std::string plik = tmp / "dane.hex";
  std::ofstream(plik, std::ios::binary) << hex_wzoru(2048);

  const std::vector<Przypadek> przypadki = {
      {"Ostrel", {"--firmware", "ostrel"}, "ostrel", 19200},
      {"AVR910 blocks", {"--firmware", "avr910", "--block-size", "64"}, "avr910", 19200},
      {"AVR910 blocks", {"--firmware", "avr910", "--block-size", "64"}, "avr910", 115200},
  };
  std::printf("| %-14s | %6s | %8s | %9s | %6s | %s\n", "AT90S2313 2 KB", "baud", "CLI s",
              "client s", "ratio", "result");
  std::printf("|----------------|--------|----------|-----------|--------|-------\n");
  int bledy = 0;
  for (const Przypadek& p : przypadki) {
    if (szybko && p.baud != 19200) continue;
    const std::string b = std::to_string(p.baud);
    auto opcje = [&](const std::string& log, bool com) {
      std::vector<std::string> a = {sim, "--device", "AT90S2313", "--baud", b, "--log", log};
      if (com) a.insert(a.end(), {"--com", "1"});
      a.insert(a.end(), p.symulator.begin(), p.symulator.end());
      return a;
    };
    const std::string konf = tmp / "konfiguracja";
    fs::remove_all(konf);
    fs::create_directories(konf);
    ::setenv("XDG_CONFIG_HOME", konf.c_str(), 1);
    const std::string log = tmp / "cli.log";
    auto s = uruchom_symulator(opcje(log, true));
    if (!s) return 1;
    const Pomiar m = uruchom({cli, "--port", "1", "--device", "AT90S2313", "--programmer", p.typ,
                              "--baud", b, "program-flash", plik},
                             tmp / "cli.txt");
    zatrzymaj(s->pid);
    const std::vector<Krok> kroki = kroki_z_dziennika(log);
    auto s2 = uruchom_symulator(opcje(tmp / "klient.log", false));
    if (!s2) return 1;
    const double klient = odtworz(s2->pty, kroki);
    zatrzymaj(s2->pid);
    const bool dobrze = m.status == 0 && klient > 0;
    bledy += dobrze ? 0 : 1;
    std::printf("| %-14s | %6d | %8.2f | %9.2f | %6.3f | %s\n", p.opis, p.baud, m.sciana_s, klient,
                klient > 0 ? m.sciana_s / klient : 0.0, dobrze ? "ok" : m.wyjscie.c_str());
    std::fflush(stdout);
  }
  if (std::getenv("OSTREL_BENCH_KEEP") == nullptr)
    fs::remove_all(tmp);
  else
    std::printf("logs kept in %s\n", tmp.c_str());
  return bledy == 0 ? 0 : 1;
}
