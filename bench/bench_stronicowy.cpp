// Page-mode parts through an AVR910 programmer: flash program + verify of the whole
// flash of an ATmega8 (8 KB) and an ATmega328P (32 KB) against `ostrel-sim --firmware
// avr910` (software SPI, page writes with polling, the 100 ms 'P'), at 19200 and 115200
// baud:
//   - floor: the fastest conversation the firmware allows, played by a bare client
//     (bench/podloga_avr910.h);
//   - ostrel-cli --programmer avr910 (a failure is shown, not counted);
//   - avrdude -c avr910, with -x devcode where it has no code of its own for the part
//     (left out when not installed).
//
//   bench_stronicowy [--quick]      --quick: the ATmega8 only
//
// Goal: ostrel-cli within 1.05 x the floor and faster than avrdude at both speeds.
// Prints figures, asserts nothing about time. ostrel-cli and ostrel-sim are taken from
// the folder of this program.
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/podloga_avr910.h"
#include "bench/procesy.h"
#include "devices/uklady.h"
#include "hex/intel_hex.h"
#include "hex/strumien.h"

namespace {

using namespace ostrel::bench;
namespace fs = std::filesystem;

struct Czesc {
  const char* nazwa;    // --device of ostrel-cli and ostrel-sim
  const char* avrdude;  // avrdude's -p
  bool devcode;         // avrdude has no code of its own for it: -x devcode= the row's first
  std::size_t bajty;    // the image: the whole flash
};

// The ATmega328P has no code of its own in the firmware: its row's first code, the
// ATmega32's, has its 128-byte page.
constexpr Czesc kCzesci[] = {
    {"ATmega8", "m8", false, 8192},
    {"ATmega328P", "m328p", true, 32768},
};
constexpr int kPredkosci[] = {19200, 115200};
constexpr std::size_t kBlok = 64;  // the firmware's buffer

// A fixed pattern in which no block ends on a 0xFF high byte, so that no page write
// costs the firmware's blind 50 ms: the floor is then a floor for any client.
std::vector<std::uint8_t> obraz(std::size_t n) {
  std::vector<std::uint8_t> b(n);
  for (std::size_t a = 0; a < n; ++a) b[a] = static_cast<std::uint8_t>((a * 37 + a / 256) & 0xFF);
  for (std::size_t a = kBlok - 1; a < n; a += kBlok) {
    if (b[a] == 0xFF) b[a] = 0xFE;
  }
  return b;
}

bool zapisz_hex_obrazu(const std::vector<std::uint8_t>& b, const std::string& plik) {
  ostrel::Strumien dane{std::vector<std::uint8_t>(b)};
  ostrel::Strumien tekst;
  ostrel::zapisz_hex(dane, tekst);
  std::ofstream f(plik, std::ios::binary);
  f.write(reinterpret_cast<const char*>(tekst.dane().data()),
          static_cast<std::streamsize>(tekst.dane().size()));
  return static_cast<bool>(f);
}

}  // namespace

int main(int argc, char** argv) {
  bool szybko = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) {
      szybko = true;
    } else {
      std::fprintf(stderr, "usage: %s [--quick]\n", argv[0]);
      return 2;
    }
  }
  const auto stanowisko = przygotuj_stanowisko();
  if (!stanowisko) return 1;
  const std::string& cli = stanowisko->cli;
  const std::string& sim = stanowisko->sim;
  const fs::path& tmp = stanowisko->tmp;
  const bool jest_avrdude = stanowisko->jest_avrdude;

  std::printf("| %-40s | %6s | %7s | %7s | %10s | %s\n", "flash program + verify", "baud", "wall s",
              "line s", "wall/floor", "result");
  std::printf("|%s|--------|---------|---------|------------|-------\n",
              std::string(42, '-').c_str());
  int bledy = 0;
  for (const Czesc& c : kCzesci) {
    if (szybko && c.bajty > 8192) continue;
    const std::vector<std::uint8_t> b = obraz(c.bajty);
    const std::string plik = tmp / "dane.hex";
    if (!zapisz_hex_obrazu(b, plik)) return 1;
    for (const int baud : kPredkosci) {
      const std::string predkosc = std::to_string(baud);
      const std::string log = tmp / "wire.log";
      const std::string konf = tmp / "konfiguracja";
      double podloga = 0;
      auto wiersz = [&](const std::string& opis, double sciana, double linia, bool dobrze,
                        const std::string& wynik) {
        std::printf("| %-40s | %6d | %7.2f | %7.2f | %10.3f | %s\n", opis.c_str(), baud, sciana,
                    linia, podloga > 0 ? sciana / podloga : 0.0, dobrze ? "ok" : wynik.c_str());
        std::fflush(stdout);
      };

      {
        auto s = uruchom_symulator(
            {sim, "--device", c.nazwa, "--firmware", "avr910", "--baud", predkosc, "--log", log});
        if (!s) return 1;
        const PomiarPodlogi p = zmierz_podloge(s->pty, c.nazwa, b, kBlok);
        zatrzymaj(s->pid);
        podloga = p.sciana_s;
        wiersz(std::string("floor client ") + c.nazwa, p.sciana_s, czas_linii(log, baud), p.dobrze,
               p.blad);
        bledy += p.dobrze ? 0 : 1;
      }
      {
        fs::remove_all(konf);
        fs::create_directories(konf);
        ::setenv("XDG_CONFIG_HOME", konf.c_str(), 1);
        auto s = uruchom_symulator({sim, "--device", c.nazwa, "--firmware", "avr910", "--com", "1",
                                    "--baud", predkosc, "--log", log});
        if (!s) return 1;
        const Pomiar m = uruchom({cli, "--port", "1", "--device", c.nazwa, "--programmer", "avr910",
                                  "--baud", predkosc, "program-flash", plik},
                                 tmp / "cli.txt");
        zatrzymaj(s->pid);
        std::string wynik = m.wyjscie.substr(0, m.wyjscie.find('\n'));
        wiersz(std::string("ostrel-cli ") + c.nazwa, m.sciana_s, czas_linii(log, baud),
               m.status == 0, "exit " + std::to_string(m.status) + ": " + wynik);
      }
      if (jest_avrdude) {
        auto s = uruchom_symulator(
            {sim, "--device", c.nazwa, "--firmware", "avr910", "--baud", predkosc, "--log", log});
        if (!s) return 1;
        std::vector<std::string> polecenie{"avrdude", "-c",   "avr910", "-p",    c.avrdude,
                                           "-P",      s->pty, "-b",     predkosc};
        std::string devcode;
        if (c.devcode) {
          char kod[8];
          std::snprintf(kod, sizeof kod, "0x%02X",
                        ostrel::kUklady[static_cast<std::size_t>(ostrel::znajdz_uklad(c.nazwa))]
                            .kody_avr910.kody[0]);
          devcode = std::string(" -x devcode=") + kod;
          polecenie.push_back("-x");
          polecenie.push_back(devcode.substr(4));
        }
        polecenie.push_back("-U");
        polecenie.push_back("flash:w:" + plik + ":i");
        const Pomiar m = uruchom(polecenie, tmp / "avrdude.txt");
        zatrzymaj(s->pid);
        const bool dobrze =
            m.status == 0 && m.wyjscie.find("bytes of flash verified") != std::string::npos;
        wiersz(std::string("avrdude -c avr910 ") + c.nazwa + devcode, m.sciana_s,
               czas_linii(log, baud), dobrze, "avrdude failed");
        bledy += dobrze ? 0 : 1;
      }
    }
  }
  fs::remove_all(tmp);
  return bledy == 0 ? 0 : 1;
}
