// Test helpers around ostrel-sim: start it on a pseudo-terminal with a private
// configuration folder, talk to it as a raw serial client, and read its wire log.
//
//   ostrel::test::Symulator sim({"--device", "AT90S8515", "--com", "2"});
//   ASSERT_TRUE(sim.dziala()) << sim.blad();
//   ostrel::test::KlientPty port(sim.pty());
//   EXPECT_EQ(port.polecenie({'S'}, 7), ostrel::test::bajty("AVR ISP"));
//
// The simulator runs with XDG_CONFIG_HOME set to a fresh folder (`konfiguracja()`), so
// "--com N" creates its link there; give the same variable to the program under test.
// The log is flushed whenever the simulator goes idle; read it after `zatrzymaj()` to
// be sure it is complete.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ostrel::test {

#ifdef OSTREL_SIM
inline constexpr const char* kProgramSymulatora = OSTREL_SIM;
#else
inline constexpr const char* kProgramSymulatora = "ostrel-sim";
#endif

using Bajty = std::vector<std::uint8_t>;

inline Bajty bajty(std::string_view tekst) {
  return Bajty(tekst.begin(), tekst.end());
}

// A fresh folder under /tmp, removed with everything in it on destruction.
class KatalogTymczasowy {
 public:
  KatalogTymczasowy() {
    char wzor[] = "/tmp/ostrel-test-XXXXXX";
    if (::mkdtemp(wzor) != nullptr) sciezka_ = wzor;
  }
  ~KatalogTymczasowy() {
    std::error_code ec;
    if (!sciezka_.empty()) std::filesystem::remove_all(sciezka_, ec);
  }
  KatalogTymczasowy(const KatalogTymczasowy&) = delete;
  KatalogTymczasowy& operator=(const KatalogTymczasowy&) = delete;
  const std::string& sciezka() const { return sciezka_; }
  std::string operator/(std::string_view nazwa) const {
    return sciezka_ + "/" + std::string(nazwa);
  }

 private:
  std::string sciezka_;
};

// One running ostrel-sim. The destructor stops it (SIGTERM, then waits; SIGKILL if it
// does not end within 20 s).
class Symulator {
 public:
  // `konfiguracja`, when given, is used as XDG_CONFIG_HOME instead of a fresh folder.
  explicit Symulator(std::vector<std::string> argumenty = {},
                     std::string program = kProgramSymulatora, std::string konfiguracja = {})
      : konfiguracja_(konfiguracja.empty() ? katalog_.sciezka() : std::move(konfiguracja)) {
    uruchom(std::move(argumenty), program);
  }
  ~Symulator() { zatrzymaj(); }
  Symulator(const Symulator&) = delete;
  Symulator& operator=(const Symulator&) = delete;

  // True once the simulator has printed its pty path.
  bool dziala() const { return !pty_.empty(); }
  const std::string& blad() const { return blad_; }
  const std::string& pty() const { return pty_; }
  pid_t pid() const { return pid_; }
  // XDG_CONFIG_HOME of the simulator; its links are in konfiguracja()/ostrel/comN.
  const std::string& konfiguracja() const { return konfiguracja_; }
  std::string lacze(int com) const { return konfiguracja() + "/ostrel/com" + std::to_string(com); }
  // A scratch file name in the simulator's private folder.
  std::string plik(std::string_view nazwa) const { return katalog_ / nazwa; }

  // Sends `sygnal` and waits for the end. Returns the exit status, 128 + signal number
  // for a death by signal, or -1 when it was not running.
  int zatrzymaj(int sygnal = SIGTERM) {
    if (pid_ <= 0) return status_;
    ::kill(pid_, sygnal);
    const auto koniec = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int stan = 0;
    for (;;) {
      const pid_t r = ::waitpid(pid_, &stan, WNOHANG);
      if (r == pid_) break;
      if (r < 0) {
        stan = -1;
        break;
      }
      if (std::chrono::steady_clock::now() > koniec) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &stan, 0);
        break;
      }
      ::usleep(5000);
    }
    pid_ = -1;
    if (stan == -1) {
      status_ = -1;
    } else if (WIFEXITED(stan)) {
      status_ = WEXITSTATUS(stan);
    } else if (WIFSIGNALED(stan)) {
      status_ = 128 + WTERMSIG(stan);
    }
    return status_;
  }

  // Whether the process is still running (it has not exited on its own).
  bool zyje() {
    if (pid_ <= 0) return false;
    int stan = 0;
    const pid_t r = ::waitpid(pid_, &stan, WNOHANG);
    if (r == 0) return true;
    if (r == pid_) {
      pid_ = -1;
      status_ = WIFEXITED(stan) ? WEXITSTATUS(stan) : 128 + WTERMSIG(stan);
    }
    return false;
  }

 private:
  void uruchom(std::vector<std::string> argumenty, const std::string& program) {
    if (katalog_.sciezka().empty()) {
      blad_ = "mkdtemp failed";
      return;
    }
    // Everything the child needs is prepared here: after fork only async-signal-safe
    // calls are allowed.
    std::vector<std::string> argv_teksty;
    argv_teksty.push_back(program);
    for (auto& a : argumenty) argv_teksty.push_back(std::move(a));
    std::vector<char*> argv;
    for (auto& a : argv_teksty) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env_teksty;
    for (char** e = environ; *e != nullptr; ++e) {
      if (std::strncmp(*e, "XDG_CONFIG_HOME=", 16) != 0) env_teksty.emplace_back(*e);
    }
    env_teksty.push_back("XDG_CONFIG_HOME=" + konfiguracja_);
    std::vector<char*> envp;
    for (auto& e : env_teksty) envp.push_back(e.data());
    envp.push_back(nullptr);

    int rura[2];
    if (::pipe2(rura, O_CLOEXEC) != 0) {
      blad_ = "pipe failed";
      return;
    }
    pid_ = ::fork();
    if (pid_ < 0) {
      blad_ = "fork failed";
      ::close(rura[0]);
      ::close(rura[1]);
      return;
    }
    if (pid_ == 0) {
      ::dup2(rura[1], STDOUT_FILENO);
      ::execve(argv[0], argv.data(), envp.data());
      ::_exit(127);
    }
    ::close(rura[1]);
    // The first line is "PTY <path>"; generous time for a loaded machine.
    std::string linia;
    const auto koniec = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (linia.find('\n') == std::string::npos) {
      const auto zostalo = std::chrono::duration_cast<std::chrono::milliseconds>(
          koniec - std::chrono::steady_clock::now());
      if (zostalo.count() <= 0) break;
      pollfd p{rura[0], POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(zostalo.count())) <= 0) break;
      char bufor[256];
      const ssize_t n = ::read(rura[0], bufor, sizeof bufor);
      if (n <= 0) break;
      linia.append(bufor, static_cast<std::size_t>(n));
    }
    ::close(rura[0]);
    const auto nl = linia.find('\n');
    if (nl != std::string::npos && linia.rfind("PTY ", 0) == 0) {
      pty_ = linia.substr(4, nl - 4);
    } else {
      blad_ = "ostrel-sim did not print its pty (" + program + ", got \"" + linia + "\")";
      zatrzymaj(SIGKILL);
    }
  }

  KatalogTymczasowy katalog_;
  std::string konfiguracja_;
  pid_t pid_ = -1;
  int status_ = -1;
  std::string pty_;
  std::string blad_;
};

// A raw serial client of a pty slave (or any tty): 8 bits, no echo, no translation.
class KlientPty {
 public:
  explicit KlientPty(const std::string& sciezka) {
    fd_ = ::open(sciezka.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) return;
    termios t{};
    if (::tcgetattr(fd_, &t) == 0) {
      ::cfmakeraw(&t);
      t.c_cc[VMIN] = 0;
      t.c_cc[VTIME] = 0;
      ::tcsetattr(fd_, TCSANOW, &t);
    }
  }
  ~KlientPty() { zamknij(); }
  KlientPty(const KlientPty&) = delete;
  KlientPty& operator=(const KlientPty&) = delete;

  bool otwarty() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  void zamknij() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  bool wyslij(const Bajty& b) {
    std::size_t zrobione = 0;
    while (zrobione < b.size()) {
      const ssize_t n = ::write(fd_, b.data() + zrobione, b.size() - zrobione);
      if (n <= 0) return false;
      zrobione += static_cast<std::size_t>(n);
    }
    return true;
  }
  bool wyslij(std::initializer_list<std::uint8_t> b) { return wyslij(Bajty(b)); }

  // Reads until `n` bytes came or `limit_ms` passed; returns what came.
  Bajty czytaj(std::size_t n, int limit_ms = 10000) {
    Bajty wynik;
    const auto koniec = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
    while (wynik.size() < n) {
      const auto zostalo = std::chrono::duration_cast<std::chrono::milliseconds>(
          koniec - std::chrono::steady_clock::now());
      if (zostalo.count() <= 0) break;
      if (!czekaj(static_cast<int>(zostalo.count()))) break;
      std::uint8_t bufor[512];
      const ssize_t r = ::read(fd_, bufor, std::min(sizeof bufor, n - wynik.size()));
      if (r < 0) break;
      wynik.insert(wynik.end(), bufor, bufor + r);
    }
    return wynik;
  }

  // Reads whatever comes until the line stays silent for `cisza_ms`.
  Bajty czytaj_do_ciszy(int cisza_ms = 200) {
    Bajty wynik;
    while (czekaj(cisza_ms)) {
      std::uint8_t bufor[512];
      const ssize_t r = ::read(fd_, bufor, sizeof bufor);
      if (r <= 0) break;
      wynik.insert(wynik.end(), bufor, bufor + r);
    }
    return wynik;
  }

  // Sends a command with its arguments and reads `n` answer bytes.
  Bajty polecenie(const Bajty& b, std::size_t n, int limit_ms = 10000) {
    if (!wyslij(b)) return {};
    return czytaj(n, limit_ms);
  }
  Bajty polecenie(std::initializer_list<std::uint8_t> b, std::size_t n, int limit_ms = 10000) {
    return polecenie(Bajty(b), n, limit_ms);
  }

 private:
  bool czekaj(int ms) {
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, ms) > 0 && (p.revents & POLLIN);
  }

  int fd_ = -1;
};

// One byte line of the simulator's --log.
struct WpisDziennika {
  double ms = 0;      // milliseconds since the simulator started
  char kierunek = 0;  // '<' host -> simulator, '>' simulator -> host
  std::uint8_t bajt = 0;
};

// Reads a --log file; event lines ('#') are skipped.
inline std::vector<WpisDziennika> czytaj_dziennik(const std::string& plik) {
  std::vector<WpisDziennika> wpisy;
  std::ifstream we(plik);
  std::string linia;
  while (std::getline(we, linia)) {
    if (linia.empty() || linia[0] == '#') continue;
    std::istringstream s(linia);
    WpisDziennika w;
    std::string hex;
    if (!(s >> w.ms >> w.kierunek >> hex)) continue;
    w.bajt = static_cast<std::uint8_t>(std::stoul(hex, nullptr, 16));
    wpisy.push_back(w);
  }
  return wpisy;
}

// The bytes of one direction, in order.
inline Bajty bajty_dziennika(const std::vector<WpisDziennika>& wpisy, char kierunek) {
  Bajty wynik;
  for (const auto& w : wpisy) {
    if (w.kierunek == kierunek) wynik.push_back(w.bajt);
  }
  return wynik;
}

}  // namespace ostrel::test
