// Helpers of the fault tests: run ostrel-cli against a simulator with a hard time limit,
// build HEX texts, compare files byte for byte, read the simulator's log with its events.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "common/symulator.h"

namespace ostrel::test {

// How long a programmer may stay silent before the program gives up, and what a loaded
// 2-core machine under the sanitizers may add to it.
inline constexpr double kGranicaCiszy = 5.0;
inline constexpr double kZapas = 4.0;

// What ostrel-cli prints when the search finds no programmer.
inline constexpr const char* kBrakProgramatora = "Nie znaleziono programatora\n";

struct Przebieg {
  int status = -1;          // exit status; 128 + signal when killed by one
  std::string wyjscie;      // standard output
  std::string bledy;        // standard error
  double sekundy = 0;       // wall time from start to end
  bool zawieszony = false;  // killed after the hard limit
  std::chrono::steady_clock::time_point koniec;
};

// Runs ostrel-cli with `argumenty` and XDG_CONFIG_HOME=`konfiguracja`. A run that outlives
// `limit_s` is killed and reported as hung rather than holding up the suite.
inline Przebieg uruchom_cli(const std::vector<std::string>& argumenty,
                            const std::string& konfiguracja, double limit_s = 60) {
  Przebieg p;
  std::vector<std::string> teksty{OSTREL_CLI};
  teksty.insert(teksty.end(), argumenty.begin(), argumenty.end());
  std::vector<char*> argv;
  for (auto& t : teksty) argv.push_back(t.data());
  argv.push_back(nullptr);
  std::vector<std::string> env_teksty;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "XDG_CONFIG_HOME=", 16) != 0) env_teksty.emplace_back(*e);
  }
  env_teksty.push_back("XDG_CONFIG_HOME=" + konfiguracja);
  std::vector<char*> envp;
  for (auto& e : env_teksty) envp.push_back(e.data());
  envp.push_back(nullptr);

  int wyj[2], bl[2];
  if (::pipe2(wyj, O_CLOEXEC) != 0) return p;
  if (::pipe2(bl, O_CLOEXEC) != 0) {
    ::close(wyj[0]);
    ::close(wyj[1]);
    return p;
  }
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(wyj[1], STDOUT_FILENO);
    ::dup2(bl[1], STDERR_FILENO);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(wyj[1]);
  ::close(bl[1]);
  const auto granica = start + std::chrono::milliseconds(static_cast<long>(limit_s * 1000));
  pollfd fds[2] = {{wyj[0], POLLIN, 0}, {bl[0], POLLIN, 0}};
  int otwarte = 2;
  while (otwarte > 0 && pid > 0) {
    const auto zostalo = std::chrono::duration_cast<std::chrono::milliseconds>(
        granica - std::chrono::steady_clock::now());
    if (zostalo.count() <= 0) {
      ::kill(pid, SIGKILL);
      p.zawieszony = true;
      break;
    }
    if (::poll(fds, 2, static_cast<int>(zostalo.count())) < 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char bufor[4096];
      const ssize_t n = ::read(fds[i].fd, bufor, sizeof bufor);
      if (n <= 0) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --otwarte;
      } else {
        (i == 0 ? p.wyjscie : p.bledy).append(bufor, static_cast<std::size_t>(n));
      }
    }
  }
  for (auto& f : fds) {
    if (f.fd >= 0) ::close(f.fd);
  }
  int stan = 0;
  if (pid > 0 && ::waitpid(pid, &stan, 0) == pid) {
    p.status = WIFEXITED(stan) ? WEXITSTATUS(stan) : 128 + WTERMSIG(stan);
  }
  p.koniec = std::chrono::steady_clock::now();
  p.sekundy = std::chrono::duration<double>(p.koniec - start).count();
  return p;
}

inline Bajty czytaj_plik(const std::string& sciezka) {
  std::ifstream we(sciezka, std::ios::binary);
  return Bajty(std::istreambuf_iterator<char>(we), std::istreambuf_iterator<char>());
}

inline void zapisz_plik(const std::string& sciezka, const std::string& tresc) {
  std::ofstream(sciezka, std::ios::binary) << tresc;
}

// One Intel HEX record with CR LF, built here without the writer under test.
inline std::string rekord_hex(unsigned typ, unsigned adres, const std::uint8_t* dane, unsigned n) {
  static constexpr char kCyfry[] = "0123456789ABCDEF";
  std::string s = ":";
  auto bajt = [&](unsigned b) {
    s += kCyfry[(b >> 4) & 15];
    s += kCyfry[b & 15];
  };
  unsigned suma = n + (adres >> 8) + (adres & 0xFF) + typ;
  bajt(n);
  bajt(adres >> 8);
  bajt(adres & 0xFF);
  bajt(typ);
  for (unsigned i = 0; i < n; ++i) {
    bajt(dane[i]);
    suma += dane[i];
  }
  bajt((0x100 - (suma & 0xFF)) & 0xFF);
  return s + "\r\n";
}

// Intel HEX of `obraz` from address 0 in 16-byte records (addresses wrap at 64 KB),
// with the end-of-file record.
inline std::string hex_obrazu(const Bajty& obraz) {
  std::string s;
  for (std::size_t p = 0; p < obraz.size(); p += 16) {
    const unsigned n = static_cast<unsigned>(std::min<std::size_t>(16, obraz.size() - p));
    s += rekord_hex(0, static_cast<unsigned>(p & 0xFFFF), obraz.data() + p, n);
  }
  return s + ":00000001FF\r\n";
}

// `n` bytes of a pattern no erased or wrapped memory matches by chance.
inline Bajty wzor(std::size_t n, unsigned ziarno = 1) {
  Bajty b(n);
  std::uint32_t x = 2463534242u ^ ziarno;
  for (auto& v : b) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    v = static_cast<std::uint8_t>(x);
  }
  return b;
}

// The simulator's log: byte lines and event lines ("# <ms> <text>").
struct Dziennik {
  std::vector<WpisDziennika> bajty;
  std::vector<std::pair<double, std::string>> zdarzenia;

  Bajty od_hosta() const { return bajty_dziennika(bajty, '<'); }
  // Time of the last byte in either direction, in the simulator's milliseconds.
  std::optional<double> ostatni_bajt() const {
    if (bajty.empty()) return std::nullopt;
    return bajty.back().ms;
  }
  std::optional<double> zdarzenie(const std::string& fragment) const {
    for (const auto& z : zdarzenia) {
      if (z.second.find(fragment) != std::string::npos) return z.first;
    }
    return std::nullopt;
  }
};

inline Dziennik czytaj_pelny_dziennik(const std::string& plik) {
  Dziennik d;
  d.bajty = czytaj_dziennik(plik);
  std::ifstream we(plik);
  std::string linia;
  while (std::getline(we, linia)) {
    if (linia.size() < 3 || linia[0] != '#') continue;
    std::istringstream s(linia.substr(1));
    double ms = 0;
    if (!(s >> ms)) continue;
    std::string reszta;
    std::getline(s, reszta);
    d.zdarzenia.emplace_back(ms, reszta);
  }
  return d;
}

}  // namespace ostrel::test
