// The fastest flash program + verify an AVR910 firmware (3.x) allows: 'T', 'P', 's',
// 'e' (for a part that needs it, 'L' and 'P' after the erase, as every client of such a
// firmware sends them), one 'A', blocks of the whole buffer back to back ('B', each
// ending in the firmware's page write), one 'A' and one 'g' for the whole read-back,
// 'L'. Nothing but waiting for each answer; the yardstick for the program and avrdude.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "devices/uklady.h"

namespace ostrel::bench {

class KlientPodlogi {
 public:
  explicit KlientPodlogi(const std::string& pty) {
    fd_ = ::open(pty.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) return;
    termios t{};
    if (::tcgetattr(fd_, &t) == 0) {
      ::cfmakeraw(&t);
      ::tcsetattr(fd_, TCSANOW, &t);
    }
  }
  ~KlientPodlogi() {
    if (fd_ >= 0) ::close(fd_);
  }
  KlientPodlogi(const KlientPodlogi&) = delete;
  KlientPodlogi& operator=(const KlientPodlogi&) = delete;

  // Programs `obraz` from address 0 and reads it back; false with `blad` on any wrong or
  // missing answer or a read-back that differs.
  bool programuj(std::uint8_t kod, const std::array<std::uint8_t, 3>& sygnatura,
                 const std::vector<std::uint8_t>& obraz, std::size_t blok, std::string& blad,
                 bool wejscie_po_kasowaniu = false) {
    const std::vector<std::uint8_t> cr{13};
    if (fd_ < 0) return zle(blad, "cannot open the pty");
    if (rozmowa({'T', kod}, 1) != cr) return zle(blad, "T");
    if (rozmowa({'P'}, 1) != cr) return zle(blad, "P");
    // The firmware answers CR to 'P' whether or not the chip answered: the signature tells.
    if (rozmowa({'s'}, 3) != std::vector<std::uint8_t>{sygnatura[2], sygnatura[1], sygnatura[0]}) {
      return zle(blad, "signature");
    }
    if (rozmowa({'e'}, 1) != cr) return zle(blad, "e");
    if (wejscie_po_kasowaniu && (rozmowa({'L'}, 1) != cr || rozmowa({'P'}, 1) != cr)) {
      return zle(blad, "L P after e");
    }
    if (rozmowa({'A', 0, 0}, 1) != cr) return zle(blad, "A");
    for (std::size_t a = 0; a < obraz.size(); a += blok) {
      const std::size_t n = std::min(blok, obraz.size() - a);
      std::vector<std::uint8_t> b{'B', static_cast<std::uint8_t>(n >> 8),
                                  static_cast<std::uint8_t>(n & 0xFF), 'F'};
      b.insert(b.end(), obraz.begin() + static_cast<std::ptrdiff_t>(a),
               obraz.begin() + static_cast<std::ptrdiff_t>(a + n));
      if (rozmowa(b, 1) != cr) return zle(blad, "B at " + std::to_string(a));
    }
    if (rozmowa({'A', 0, 0}, 1) != cr) return zle(blad, "A");
    const std::size_t n = obraz.size();
    if (rozmowa({'g', static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n & 0xFF), 'F'},
                n) != obraz) {
      return zle(blad, "read-back differs");
    }
    if (rozmowa({'L'}, 1) != cr) return zle(blad, "L");
    return true;
  }

 private:
  static bool zle(std::string& blad, const std::string& tekst) {
    blad = tekst;
    return false;
  }

  // Sends the command and waits for `n` answer bytes (at most 5 s of silence).
  std::vector<std::uint8_t> rozmowa(const std::vector<std::uint8_t>& polecenie, std::size_t n) {
    std::size_t wyslane = 0;
    while (wyslane < polecenie.size()) {
      const ssize_t w = ::write(fd_, polecenie.data() + wyslane, polecenie.size() - wyslane);
      if (w <= 0) return {};
      wyslane += static_cast<std::size_t>(w);
    }
    std::vector<std::uint8_t> odp;
    std::uint8_t bufor[4096];
    while (odp.size() < n) {
      pollfd f{fd_, POLLIN, 0};
      if (::poll(&f, 1, 5000) <= 0) break;
      const ssize_t r = ::read(fd_, bufor, std::min(sizeof bufor, n - odp.size()));
      if (r <= 0) break;
      odp.insert(odp.end(), bufor, bufor + r);
    }
    return odp;
  }

  int fd_ = -1;
};

// One floor run for the part `nazwa` on the simulator's pty, with the part's first
// AVR910 code, its signature and its need of 'L' 'P' after the erase as the table of
// parts has them.
struct PomiarPodlogi {
  double sciana_s = 0;
  bool dobrze = false;
  std::string blad;
};
inline PomiarPodlogi zmierz_podloge(const std::string& pty, const char* nazwa,
                                    const std::vector<std::uint8_t>& obraz, std::size_t blok) {
  const Uklad& u = kUklady[static_cast<std::size_t>(znajdz_uklad(nazwa))];
  PomiarPodlogi m;
  const auto start = std::chrono::steady_clock::now();
  {
    KlientPodlogi klient(pty);
    m.dobrze = klient.programuj(u.kody_avr910.kody[0], u.sygnatura.bajty, obraz, blok, m.blad,
                                !u.jedna_sesja);
  }
  m.sciana_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return m;
}

}  // namespace ostrel::bench
