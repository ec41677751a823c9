// AVR910 programmers at full speed: flash program + verify of an AT90S2313 (2 KB) and an
// AT90S8515 (8 KB) against `ostrel-sim --firmware avr910` with its real busy times
// (4 ms per byte written, 100 ms per 'P'), at 19200 and 115200 baud:
//   - ostrel-cli --programmer avr910 with block transfers (the firmware's 64-byte buffer),
//   - the same with byte commands (a firmware without blocks: --block-size 0),
//   - avrdude -c avr910 on the same simulator settings (left out when not installed),
//   - the floor: the chip's write time (4 ms per byte) plus the wire time of the bytes
//     that must cross (the image out and back, 10 bits a character);
//   - the floor client: the fastest conversation the firmware allows, played by a bare
//     client (bench/podloga_avr910.h): what a program can reach at best.
//
//   bench_avr910 [--latency MS]... [--quick]
//
// --latency: the simulator's delay before every answer (a USB serial adapter's; about
// 1 ms is typical), 0 and 1 by default; --quick: the AT90S2313 only.
//
// Goals: blocks within 1.15 x the floor and 1.05 x the floor client; at least 2.5 x as fast as
// avrdude at 19200 and 1.7 x at 115200. Prints figures, asserts nothing about time. ostrel-cli and
// ostrel-sim are taken from the folder of this program.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
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

#include "bench/podloga_avr910.h"
#include "bench/procesy.h"
#include "bench/wzor_hex.h"

namespace {

using namespace ostrel::bench;

namespace fs = std::filesystem;

constexpr double kBitowNaZnak = 10;     // start, 8 data, stop
constexpr double kZapisBajtuS = 0.004;  // the simulated AT90S write time per byte

struct Uklad {
  const char* nazwa;    // --device of ostrel-cli and ostrel-sim
  const char* avrdude;  // avrdude's -p
  std::size_t bajty;    // the image: the whole flash
};

constexpr Uklad kUklady[] = {{"AT90S2313", "2313", 2048}, {"AT90S8515", "8515", 8192}};
constexpr int kPredkosci[] = {19200, 115200};

}  // namespace

int main(int argc, char** argv) {
  bool szybko = false;
  std::vector<std::string> opoznienia;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) {
      szybko = true;
    } else if (std::strcmp(argv[i], "--latency") == 0 && i + 1 < argc) {
      opoznienia.emplace_back(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: %s [--latency MS]... [--quick]\n", argv[0]);
      return 2;
    }
  }
  if (opoznienia.empty()) opoznienia = {"0", "1"};
  const auto stanowisko = przygotuj_stanowisko();
  if (!stanowisko) return 1;
  const std::string& cli = stanowisko->cli;
  const std::string& sim = stanowisko->sim;
  const fs::path& tmp = stanowisko->tmp;
  const bool jest_avrdude = stanowisko->jest_avrdude;

  std::printf("| %-44s | %6s | %3s | %7s | %7s | %7s | %10s | %s\n", "flash program + verify",
              "baud", "lat", "wall s", "line s", "floor s", "wall/floor", "result");
  std::printf("|%s|--------|-----|---------|---------|---------|------------|-------\n",
              std::string(46, '-').c_str());
  int bledy = 0;
  for (const std::string& lat : opoznienia)
    for (const Uklad& u : kUklady) {
      if (szybko && u.bajty > 2048) continue;
      const std::string plik = tmp / "dane.hex";
      std::ofstream(plik, std::ios::binary) << ostrel::bench::hex_wzoru(u.bajty);
      for (const int baud : kPredkosci) {
        const std::string b = std::to_string(baud);
        const double podloga = static_cast<double>(u.bajty) * kZapisBajtuS +
                               2.0 * static_cast<double>(u.bajty) * kBitowNaZnak / baud;
        std::vector<double> wyniki;  // wall s: floor client, blocks, bytes, avrdude
        auto wiersz = [&](const std::string& opis, const Pomiar& m, double linia, bool dobrze) {
          std::printf("| %-44s | %6d | %3s | %7.2f | %7.2f | %7.2f | %10.3f | %s\n", opis.c_str(),
                      baud, lat.c_str(), m.sciana_s, linia, podloga, m.sciana_s / podloga,
                      dobrze ? "ok" : m.wyjscie.c_str());
          std::fflush(stdout);
          bledy += dobrze ? 0 : 1;
          wyniki.push_back(m.sciana_s);
        };
        {
          const std::string log = tmp / "wire.log";
          auto s = uruchom_symulator({sim, "--device", u.nazwa, "--firmware", "avr910", "--baud", b,
                                      "--latency", lat, "--log", log});
          if (!s) return 1;
          const PomiarPodlogi p = zmierz_podloge(s->pty, u.nazwa, obraz_wzoru(u.bajty), 64);
          zatrzymaj(s->pid);
          Pomiar m;
          m.sciana_s = p.sciana_s;
          m.wyjscie = p.blad;
          wiersz(std::string("floor client ") + u.nazwa, m, czas_linii(log, baud), p.dobrze);
        }
        for (const bool bloki : {true, false}) {
          const std::string konf = tmp / "konfiguracja";
          fs::remove_all(konf);
          fs::create_directories(konf);
          ::setenv("XDG_CONFIG_HOME", konf.c_str(), 1);
          const std::string log = tmp / "wire.log";
          auto s = uruchom_symulator({sim, "--device", u.nazwa, "--firmware", "avr910", "--com",
                                      "1", "--baud", b, "--block-size", bloki ? "64" : "0",
                                      "--latency", lat, "--log", log});
          if (!s) return 1;
          const Pomiar m = uruchom({cli, "--port", "1", "--device", u.nazwa, "--programmer",
                                    "avr910", "--baud", b, "program-flash", plik},
                                   tmp / "cli.txt");
          zatrzymaj(s->pid);
          wiersz(std::string("ostrel-cli ") + u.nazwa + (bloki ? " blocks" : " bytes"), m,
                 czas_linii(log, baud), m.status == 0);
        }
        if (!jest_avrdude) continue;
        const std::string log = tmp / "wire.log";
        auto s = uruchom_symulator({sim, "--device", u.nazwa, "--firmware", "avr910", "--baud", b,
                                    "--latency", lat, "--log", log});
        if (!s) return 1;
        const Pomiar m = uruchom({"avrdude", "-c", "avr910", "-p", u.avrdude, "-P", s->pty, "-b", b,
                                  "-U", "flash:w:" + plik + ":i"},
                                 tmp / "avrdude.txt");
        zatrzymaj(s->pid);
        wiersz(std::string("avrdude -c avr910 ") + u.nazwa, m, czas_linii(log, baud),
               m.status == 0 && m.wyjscie.find("bytes of flash verified") != std::string::npos);
        std::printf(
            "|   %s at %d: blocks %.2f x floor, %.3f x floor client, %.2f x as fast as avrdude, "
            "%.2f x as fast as bytes\n",
            u.nazwa, baud, wyniki[1] / podloga, wyniki[1] / wyniki[0], wyniki[3] / wyniki[1],
            wyniki[2] / wyniki[1]);
      }
    }
  fs::remove_all(tmp);
  return bledy == 0 ? 0 : 1;
}
