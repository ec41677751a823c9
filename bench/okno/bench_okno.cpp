// The desktop program against the wire: flash program + verify through the real main
// window (its button and its scheduler, offscreen unless QT_QPA_PLATFORM says otherwise)
// against ostrel-sim pacing a 19200-baud line, and the same conversation by ostrel-cli.
//
//   bench_okno [--bytes N] [--repeat K]
//
// For each run it prints the time the operation held the line (first to last character
// after the port was opened for good, from the simulator's log), the wire limit of those
// characters, and the desktop program's CPU time (both threads) as a share of the
// operation's wall time. Goals: the window's line time within 2 % of the CLI's, CPU at
// most 5 %. ostrel-cli and ostrel-sim are taken from the folder of this program.
#include <sys/resource.h>
#include <sys/wait.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>

#include "bench/wzor_hex.h"
#include "common/symulator.h"
#include "ui/Okna.h"
#include "ui/wyglad.h"

namespace {

namespace fs = std::filesystem;
using ostrel::test::Symulator;

constexpr double kBaud = 19200;
constexpr double kBitowNaZnak = 10;  // start, 8 data, stop

// What the simulator's log says about the session after the host's last opening.
struct Drut {
  std::size_t od_hosta = 0;
  std::size_t do_hosta = 0;
  double czas_s = 0;
  std::string bajty_hosta;  // the host's side of the conversation
  // Turnaround of every exchange: from an answer's last character to the host's next.
  std::vector<double> reakcje_ms;
  double mediana_reakcji_ms() const {
    if (reakcje_ms.empty()) return 0;
    std::vector<double> r = reakcje_ms;
    std::nth_element(r.begin(), r.begin() + static_cast<std::ptrdiff_t>(r.size() / 2), r.end());
    return r[r.size() / 2];
  }
  double granica() const { return static_cast<double>(od_hosta + do_hosta) * kBitowNaZnak / kBaud; }
};

Drut czytaj_drut(const std::string& plik) {
  std::vector<double> czasy;
  Drut d;
  double ostatnia_odpowiedz = -1;
  std::ifstream we(plik);
  std::string linia;
  while (std::getline(we, linia)) {
    if (linia.rfind("# ", 0) == 0) {
      if (linia.find("host opened the port") != std::string::npos) {
        czasy.clear();
        d = Drut{};
        ostatnia_odpowiedz = -1;
      }
      continue;
    }
    std::istringstream s(linia);
    double ms = 0;
    char kierunek = 0;
    std::string hex;
    if (!(s >> ms >> kierunek >> hex)) continue;
    czasy.push_back(ms);
    if (kierunek == '<') {
      if (ostatnia_odpowiedz >= 0) d.reakcje_ms.push_back(ms - ostatnia_odpowiedz);
      ostatnia_odpowiedz = -1;
      ++d.od_hosta;
      d.bajty_hosta += static_cast<char>(std::stoul(hex, nullptr, 16));
    } else {
      ostatnia_odpowiedz = ms;
      ++d.do_hosta;
    }
  }
  // A logged character has finished arriving; the first one started a character earlier.
  if (!czasy.empty()) d.czas_s = (czasy.back() - czasy.front()) / 1000.0 + kBitowNaZnak / kBaud;
  return d;
}

double cpu_s(int kto) {
  rusage r{};
  ::getrusage(kto, &r);
  const auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return s(r.ru_utime) + s(r.ru_stime);
}

// CPU time of the window thread alone (the process's first thread), from /proc.
double cpu_watku_okien_s() {
  std::ifstream we("/proc/self/task/" + std::to_string(::getpid()) + "/stat");
  std::string tekst((std::istreambuf_iterator<char>(we)), {});
  // Fields after the command's closing parenthesis; utime and stime are the 14th and 15th.
  std::istringstream s(tekst.substr(tekst.rfind(')') + 2));
  std::string pole;
  double utime = 0, stime = 0;
  for (int i = 3; i <= 15 && s >> pole; ++i) {
    if (i == 14) utime = std::stod(pole);
    if (i == 15) stime = std::stod(pole);
  }
  return (utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// A configuration folder in which only COM1 (the simulator's link) leads anywhere.
void przygotuj_konfiguracje(const fs::path& konf) {
  fs::remove_all(konf);
  fs::create_directories(konf / "ostrel");
  for (int n = 2; n <= 4; ++n)
    fs::create_symlink("/nonexistent/ostrel-bench-no-port",
                       konf / ("ostrel/com" + std::to_string(n)));
  ::setenv("XDG_CONFIG_HOME", konf.c_str(), 1);
}

template <class F>
bool czekaj_az(F warunek, int limit_ms) {
  QElapsedTimer z;
  z.start();
  while (!warunek()) {
    if (z.elapsed() > limit_ms) return false;
    QEventLoop petla;
    QTimer::singleShot(5, &petla, &QEventLoop::quit);
    petla.exec();
  }
  return true;
}

struct Wynik {
  bool dobrze = false;
  double sciana_s = 0;  // the operation's wall time (window) or the process's (CLI)
  double cpu_s = 0;
  double cpu_okien_s = 0;  // of that, the window thread's (desktop program only)
  Drut drut;
};

Wynik przez_okno(const std::string& sim, const fs::path& tmp, const std::string& plik) {
  Wynik w;
  const fs::path konf = tmp / "okno";
  przygotuj_konfiguracje(konf);
  const std::string log = tmp / "okno.log";
  Symulator s({"--device", "AT89C2051", "--com", "1", "--baud", "19200", "--log", log}, sim,
              konf.string());
  if (!s.dziala()) return w;
  {
    ostrel::Okna o;
    o.Form1.show();
    // The start-up at once: the search and the settings.
    o.Form1.Timer1Timer();
    if (!czekaj_az([&] { return !o.Form1.zajety(); }, 60000)) return w;
    o.Form3.Button1Click();
    o.Form1.wybor_pliku = [&](QFileDialog&) { return QString::fromStdString(plik); };
    o.Form1.Button3.click();
    // The loop waits for the end alone, so the figures hold nothing of this harness.
    QEventLoop petla;
    QObject::connect(&o.Form1, &ostrel::TForm1::praca_zakonczona, &petla, &QEventLoop::quit);
    QElapsedTimer z;
    const double cpu_przed = cpu_s(RUSAGE_SELF);
    const double okna_przed = cpu_watku_okien_s();
    z.start();
    o.Form1.Timer1Timer();
    petla.exec();
    w.sciana_s = static_cast<double>(z.nsecsElapsed()) / 1e9;
    w.cpu_s = cpu_s(RUSAGE_SELF) - cpu_przed;
    w.cpu_okien_s = cpu_watku_okien_s() - okna_przed;
    w.dobrze = o.Form3.Label1.text() == QStringLiteral("Weryfikacja OK!");
    // The polling takes the closing 'L' answer before the window goes.
    czekaj_az([] { return false; }, 300);
    o.Form1.close();
  }
  s.zatrzymaj();
  w.drut = czytaj_drut(log);
  return w;
}

Wynik przez_cli(const std::string& cli, const std::string& sim, const fs::path& tmp,
                const std::string& plik) {
  Wynik w;
  const fs::path konf = tmp / "cli";
  przygotuj_konfiguracje(konf);
  const std::string log = tmp / "cli.log";
  Symulator s({"--device", "AT89C2051", "--com", "1", "--baud", "19200", "--log", log}, sim,
              konf.string());
  if (!s.dziala()) return w;
  QElapsedTimer z;
  z.start();
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int fd = ::open("/dev/null", O_WRONLY);
    ::dup2(fd, STDOUT_FILENO);
    ::dup2(fd, STDERR_FILENO);
    ::execl(cli.c_str(), cli.c_str(), "--port", "1", "--device", "AT89C2051", "program-flash",
            plik.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int stan = 0;
  rusage r{};
  ::wait4(pid, &stan, 0, &r);
  w.sciana_s = static_cast<double>(z.nsecsElapsed()) / 1e9;
  const auto sek = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  w.cpu_s = sek(r.ru_utime) + sek(r.ru_stime);
  w.dobrze = WIFEXITED(stan) && WEXITSTATUS(stan) == 0;
  s.zatrzymaj();
  w.drut = czytaj_drut(log);
  return w;
}

void wiersz(const char* kto, const Wynik& w, const char* uwaga) {
  const double g = w.drut.granica();
  std::printf("| %-34s | %7.2f | %7.2f | %7.2f | %5.3f | %5.2f | %s\n", kto, w.sciana_s,
              w.drut.czas_s, g, g > 0 ? w.drut.czas_s / g : 0.0,
              w.sciana_s > 0 ? 100.0 * w.cpu_s / w.sciana_s : 0.0, uwaga);
  std::fflush(stdout);
}

// The offscreen platform cannot raise windows and says so every time.
void filtr(QtMsgType, const QMessageLogContext&, const QString&) {}

}  // namespace

int main(int argc, char** argv) {
  std::size_t bajty = 2048;
  int powtorzen = 3;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--bytes") == 0 && i + 1 < argc) {
      bajty = std::strtoul(argv[++i], nullptr, 10);
    } else if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
      powtorzen = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: %s [--bytes N] [--repeat K]\n", argv[0]);
      return 2;
    }
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  qInstallMessageHandler(filtr);
  ostrel::ustaw_wyglad(app);
  app.setQuitOnLastWindowClosed(false);

  const fs::path folder = fs::canonical("/proc/self/exe").parent_path();
  const std::string cli = folder / "ostrel-cli";
  const std::string sim = folder / "ostrel-sim";
  char wzor[] = "/tmp/ostrel-bench-okno-XXXXXX";
  if (::mkdtemp(wzor) == nullptr) return 1;
  const fs::path tmp = wzor;
  const std::string plik = tmp / "dane.hex";
  std::ofstream(plik, std::ios::binary) << ostrel::bench::hex_wzoru(bajty);

  std::printf("AT89C2051 flash %zu B program + verify at 19200 baud, platform %s\n", bajty,
              qgetenv("QT_QPA_PLATFORM").constData());
  std::printf("| %-34s | %7s | %7s | %7s | %5s | %5s | %s\n", "front end", "wall s", "line s",
              "wire s", "ratio", "CPU %", "result");
  std::printf("|%s|---------|---------|---------|-------|-------|-------\n",
              std::string(36, '-').c_str());
  int bledy = 0;
  for (int k = 0; k < powtorzen; ++k) {
    const Wynik o = przez_okno(sim, tmp, plik);
    wiersz("ostrel (window, operation only)", o, o.dobrze ? "ok" : "FAILED");
    const Wynik c = przez_cli(cli, sim, tmp, plik);
    wiersz("ostrel-cli (whole process)", c, c.dobrze ? "ok" : "FAILED");
    const bool ta_sama = o.drut.bajty_hosta == c.drut.bajty_hosta;
    std::printf("  window line / CLI line = %.4f (%+.2f %%); same host bytes: %s\n",
                c.drut.czas_s > 0 ? o.drut.czas_s / c.drut.czas_s : 0.0,
                c.drut.czas_s > 0 ? 100.0 * (o.drut.czas_s / c.drut.czas_s - 1) : 0.0,
                ta_sama ? "yes" : "NO");
    std::printf("  window thread CPU %.2f %% of the operation's wall time, worker %.2f %%\n",
                o.sciana_s > 0 ? 100.0 * o.cpu_okien_s / o.sciana_s : 0.0,
                o.sciana_s > 0 ? 100.0 * (o.cpu_s - o.cpu_okien_s) / o.sciana_s : 0.0);
    // The median is what a busy machine's stray delays disturb least.
    std::printf(
        "  median turnaround per exchange: window %.3f ms, CLI %.3f ms (one character "
        "%.3f ms)\n",
        o.drut.mediana_reakcji_ms(), c.drut.mediana_reakcji_ms(), 1000.0 * kBitowNaZnak / kBaud);
    bledy += (o.dobrze && c.dobrze && ta_sama) ? 0 : 1;
  }
  fs::remove_all(tmp);
  return bledy == 0 ? 0 : 1;
}
