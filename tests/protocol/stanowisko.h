// A programmer object wired to ostrel-sim over a pseudo-terminal, the conversation read
// back from the simulator's wire log, and a runner for ostrel-cli.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/symulator.h"
#include "hex/intel_hex.h"
#include "serial/ComDrv32.h"
#include "serial/timer_reczny.h"
#include "ui/model/programator.h"

namespace ostrel::test {

// One command of the conversation: the bytes the host sent, then how many answer bytes
// came before the host sent again.
struct Krok {
  Bajty host;
  std::size_t odpowiedz = 0;
  Bajty odp;  // the answer bytes (filled from a log only)
};

// Groups the log into steps. Because the simulator logs a byte when it takes it, a host
// that sent its next command before the answer came would show here as a merged step.
inline std::vector<Krok> rozmowa(const std::vector<WpisDziennika>& wpisy) {
  std::vector<Krok> kroki;
  for (const auto& w : wpisy) {
    if (w.kierunek == '<') {
      if (kroki.empty() || kroki.back().odpowiedz != 0) kroki.push_back({});
      kroki.back().host.push_back(w.bajt);
    } else if (w.kierunek == '>') {
      if (kroki.empty()) kroki.push_back({});
      ++kroki.back().odpowiedz;
      kroki.back().odp.push_back(w.bajt);
    }
  }
  return kroki;
}

// One step per line: the host's bytes in hex, then ">n".
inline std::string opisz(const std::vector<Krok>& kroki) {
  std::string s;
  for (const auto& k : kroki) {
    for (std::size_t i = 0; i < k.host.size(); ++i) {
      char b[4];
      std::snprintf(b, sizeof b, i ? " %02X" : "%02X", k.host[i]);
      s += b;
    }
    // Piece by piece: g++ 12 at -O2 misreads `">" + std::string&&` as an overlapping
    // copy (-Wrestrict).
    s += '>';
    s += std::to_string(k.odpowiedz);
    s += '\n';
  }
  return s;
}

// Builds the expected conversation.
struct Rozmowa {
  std::vector<Krok> kroki;
  Rozmowa& operator()(Bajty host, std::size_t odpowiedz) {
    kroki.push_back({std::move(host), odpowiedz, {}});
    return *this;
  }
  Rozmowa& powtorz(std::size_t razy, const Bajty& host, std::size_t odpowiedz) {
    for (std::size_t i = 0; i < razy; ++i) (*this)(host, odpowiedz);
    return *this;
  }
  std::string tekst() const { return opisz(kroki); }
};

// Compares a logged conversation with the expected one step by step; a difference is
// reported by its step number with a few steps either side, never as two whole
// transcripts (a long read has tens of thousands of steps).
inline ::testing::AssertionResult ta_sama_rozmowa(const std::vector<Krok>& mamy,
                                                  const Rozmowa& oczekiwana, std::size_t obok = 3) {
  const std::vector<Krok>& chcemy = oczekiwana.kroki;
  std::size_t i = 0;
  while (i < mamy.size() && i < chcemy.size() && mamy[i].host == chcemy[i].host &&
         mamy[i].odpowiedz == chcemy[i].odpowiedz) {
    ++i;
  }
  if (i == mamy.size() && i == chcemy.size()) return ::testing::AssertionSuccess();
  const std::size_t od = i > obok ? i - obok : 0;
  auto wycinek = [&](const std::vector<Krok>& k) {
    if (od >= k.size()) return std::string("(ends)\n");
    const std::size_t do_ = std::min(k.size(), i + obok + 1);
    std::string s = opisz(std::vector<Krok>(k.begin() + static_cast<std::ptrdiff_t>(od),
                                            k.begin() + static_cast<std::ptrdiff_t>(do_)));
    if (do_ == k.size()) s += "(ends)\n";
    return s;
  };
  return ::testing::AssertionFailure()
         << "first difference at step " << i << " (got " << mamy.size() << " steps, expected "
         << chcemy.size() << "); steps from " << od << ":\ngot:\n"
         << wycinek(mamy) << "expected:\n"
         << wycinek(chcemy);
}

// Intel HEX text of `dane` at address 0, with the CR LF line ends the reader requires.
inline std::string hex_z(const Bajty& dane) {
  Strumien obraz{std::vector<std::uint8_t>(dane)};
  Strumien tekst;
  zapisz_hex(obraz, tekst);
  return std::string(tekst.dane().begin(), tekst.dane().end());
}

// One Intel HEX data record (CR LF).
inline std::string rekord(unsigned adres, const Bajty& dane) {
  unsigned suma = static_cast<unsigned>(dane.size()) + (adres >> 8) + (adres & 0xFF);
  char b[16];
  std::snprintf(b, sizeof b, ":%02X%04X00", static_cast<unsigned>(dane.size()), adres);
  std::string r = b;
  for (std::uint8_t d : dane) {
    std::snprintf(b, sizeof b, "%02X", d);
    r += b;
    suma += d;
  }
  std::snprintf(b, sizeof b, "%02X\r\n", (0x100 - (suma & 0xFF)) & 0xFF);
  return r + b;
}

inline void zapisz_plik(const std::string& sciezka, const std::string& tresc) {
  std::ofstream(sciezka, std::ios::binary) << tresc;
}

inline Bajty czytaj_plik(const std::string& sciezka) {
  std::ifstream we(sciezka, std::ios::binary);
  return Bajty(std::istreambuf_iterator<char>(we), {});
}

inline bool istnieje(const std::string& sciezka) {
  struct stat st {};
  return ::stat(sciezka.c_str(), &st) == 0;
}

// The memory image a HEX file describes.
inline Bajty obraz_hex(const std::string& sciezka) {
  Strumien obraz;
  std::string tekst;
  if (wczytaj_hex(sciezka, obraz, tekst) != Wynik::ok) return {};
  return obraz.dane();
}

// Records every progress value the window is asked to show.
struct ZapisWidoku : Widok {
  const StanOkna* okno = nullptr;
  std::vector<int> postep;
  int pokazany_dialog = 0;
  void okno_zmienione() override {
    if (okno) postep.push_back(okno->ProgressBar2);
  }
  void pokaz_dialog() override { ++pokazany_dialog; }
};

// A scratch folder that is also the XDG_CONFIG_HOME of the simulators and of the
// programs under test; COM1..COM4 are links to nowhere until a simulator takes one,
// so no test ever touches a real serial port.
class Pracownia {
 public:
  Pracownia() {
    ::mkdir((katalog_ / "ostrel").c_str(), 0755);
    for (int n = 1; n <= 4; ++n) zaslon(n);
    ::setenv("XDG_CONFIG_HOME", katalog_.sciezka().c_str(), 1);
  }
  std::string operator/(std::string_view nazwa) const { return katalog_ / nazwa; }
  const std::string& sciezka() const { return katalog_.sciezka(); }
  void zaslon(int n) const {
    const std::string lacze = katalog_ / ("ostrel/com" + std::to_string(n));
    ::unlink(lacze.c_str());
    [[maybe_unused]] int r = ::symlink("/nonexistent/ostrel-test-port", lacze.c_str());
  }

 private:
  KatalogTymczasowy katalog_;
};

// A simulator on COMn with its log and memory dumps in the workshop.
inline std::vector<std::string> argumenty_symulatora(const Pracownia& pr, int com,
                                                     std::vector<std::string> dodatkowe) {
  // --replace: the workshop's link that leads nowhere gives way, and comes back at exit.
  std::vector<std::string> a = {"--com",
                                std::to_string(com),
                                "--replace",
                                "--log",
                                pr / ("wire" + std::to_string(com) + ".log"),
                                "--dump-flash",
                                pr / ("flash" + std::to_string(com) + ".bin"),
                                "--dump-eeprom",
                                pr / ("eeprom" + std::to_string(com) + ".bin")};
  a.insert(a.end(), dodatkowe.begin(), dodatkowe.end());
  return a;
}

// Started with the workshop as its XDG_CONFIG_HOME, where the programs under test look
// for their COMn links.
inline Symulator symulator_na(const Pracownia& pr, int com, std::vector<std::string> opcje = {}) {
  return Symulator(argumenty_symulatora(pr, com, std::move(opcje)), kProgramSymulatora,
                   pr.sciezka());
}

// The conversation the simulator on COMn has logged.
inline std::vector<Krok> kroki_na(const Pracownia& pr, int com) {
  return rozmowa(czytaj_dziennik(pr / ("wire" + std::to_string(com) + ".log")));
}
inline std::string rozmowa_na(const Pracownia& pr, int com) {
  return opisz(kroki_na(pr, com));
}

// Answer bytes left in the input queue after an operation, before any polling tick.
inline std::int32_t pozostale(TCommPortDriver& port) {
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  return port.InputCount();
}

// The programmer object of the desktop program on its own component and manual timer.
struct Programista {
  TimerReczny timer;
  TCommPortDriver port{nullptr, &timer};
  ZapisWidoku widok;
  Programator p{port, widok};

  Programista() {
    ustaw_CommPortDriver1(port);
    widok.okno = &p.okno;
  }
  // What the event loop does between operations: a few polling ticks.
  void przerwa(std::uint32_t ms = 200) { timer.pompuj_przez(ms); }
};

// A simulator and the programmer object that found it: the usual test bench.
struct Stanowisko {
  Pracownia pracownia;
  Symulator sim;
  Programista prog;
  Programator& p = prog.p;

  explicit Stanowisko(std::vector<std::string> opcje, int com = 2)
      : sim(symulator_na(pracownia, com, std::move(opcje))), com_(com) {}

  // Starts as the desktop program does: the search, then the device choice.
  bool uruchom(int uklad) {
    if (!sim.dziala()) return false;
    p.sprawdz_port(com_);
    if (uklad >= 0) p.ComboBox1Change(uklad);
    prog.przerwa();
    return p.znaleziony_port == com_;
  }
  // Stops the simulator (its log and dumps are complete afterwards).
  void zatrzymaj() {
    prog.port.Close();
    sim.zatrzymaj();
  }
  std::vector<Krok> kroki() const { return kroki_na(pracownia, com_); }
  // The conversation after the search's probe (and anything a test sent before it).
  std::vector<Krok> kroki_po_wyszukaniu() const {
    auto k = kroki();
    for (std::size_t i = 0; i < k.size(); ++i) {
      if (k[i].host == Bajty{'S'}) {
        k.erase(k.begin(), k.begin() + static_cast<std::ptrdiff_t>(i) + 1);
        return k;
      }
    }
    return {};
  }
  std::string po_wyszukaniu() const { return opisz(kroki_po_wyszukaniu()); }
  Bajty flash() const { return czytaj_plik(pracownia / ("flash" + std::to_string(com_) + ".bin")); }
  Bajty eeprom() const {
    return czytaj_plik(pracownia / ("eeprom" + std::to_string(com_) + ".bin"));
  }

 private:
  int com_;
};

// The result of one ostrel-cli run.
struct WynikCli {
  int status = -1;
  std::string wyjscie;  // standard output
  std::string bledy;    // standard error
  double sekundy = 0;
};

// Runs ostrel-cli with XDG_CONFIG_HOME set to the workshop; kills it after `limit_s`.
inline WynikCli uruchom_cli(const Pracownia& pr, std::vector<std::string> argumenty,
                            int limit_s = 60) {
  WynikCli w;
  const std::string out = pr / "cli.out", err = pr / "cli.err";
  std::vector<std::string> teksty = {OSTREL_CLI};
  teksty.insert(teksty.end(), argumenty.begin(), argumenty.end());
  std::vector<char*> argv;
  for (auto& t : teksty) argv.push_back(t.data());
  argv.push_back(nullptr);
  std::string xdg = "XDG_CONFIG_HOME=" + pr.sciezka();
  std::vector<char*> envp;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "XDG_CONFIG_HOME=", 16) != 0) envp.push_back(*e);
  }
  envp.push_back(xdg.data());
  envp.push_back(nullptr);

  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(o, STDOUT_FILENO);
    ::dup2(e, STDERR_FILENO);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  int stan = 0;
  for (;;) {
    const pid_t r = ::waitpid(pid, &stan, WNOHANG);
    if (r == pid) break;
    if (std::chrono::steady_clock::now() - start > std::chrono::seconds(limit_s)) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &stan, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  w.sekundy = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  w.status = WIFEXITED(stan) ? WEXITSTATUS(stan) : 128 + WTERMSIG(stan);
  const Bajty o = czytaj_plik(out), e = czytaj_plik(err);
  w.wyjscie.assign(o.begin(), o.end());
  w.bledy.assign(e.begin(), e.end());
  return w;
}

}  // namespace ostrel::test
