// Processes of the benchmarks: the simulator started on its pseudo-terminal, and a
// program run to its end with its wall and CPU time.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace ostrel::bench {

using Zegar = std::chrono::steady_clock;

// The programs a benchmark runs (beside its own binary) and a folder of its own under
// /tmp, which the caller removes.
struct Stanowisko {
  std::string cli;
  std::string sim;
  std::filesystem::path tmp;
  bool jest_avrdude = false;
};

inline std::optional<Stanowisko> przygotuj_stanowisko() {
  const std::filesystem::path folder = std::filesystem::canonical("/proc/self/exe").parent_path();
  char wzor[] = "/tmp/ostrel-bench-XXXXXX";
  if (::mkdtemp(wzor) == nullptr) return std::nullopt;
  return Stanowisko{folder / "ostrel-cli", folder / "ostrel-sim", wzor,
                    std::system("command -v avrdude >/dev/null 2>&1") == 0};
}

struct Proces {
  pid_t pid = -1;
  std::string pty;  // the simulator's pseudo-terminal, from its "PTY <path>" line
};

inline std::vector<char*> wskazniki(std::vector<std::string>& teksty) {
  std::vector<char*> w;
  for (auto& t : teksty) w.push_back(t.data());
  w.push_back(nullptr);
  return w;
}

// Starts the simulator and waits for its "PTY <path>" line.
inline std::optional<Proces> uruchom_symulator(std::vector<std::string> argv) {
  int rura[2];
  if (::pipe2(rura, O_CLOEXEC) != 0) return std::nullopt;
  auto w = wskazniki(argv);
  Proces p;
  p.pid = ::fork();
  if (p.pid == 0) {
    ::dup2(rura[1], STDOUT_FILENO);
    ::execv(w[0], w.data());
    ::_exit(127);
  }
  ::close(rura[1]);
  std::string linia;
  const auto koniec = Zegar::now() + std::chrono::seconds(30);
  while (linia.find('\n') == std::string::npos && Zegar::now() < koniec) {
    pollfd f{rura[0], POLLIN, 0};
    if (::poll(&f, 1, 1000) <= 0) continue;
    char b[256];
    const ssize_t n = ::read(rura[0], b, sizeof b);
    if (n <= 0) break;
    linia.append(b, static_cast<std::size_t>(n));
  }
  ::close(rura[0]);
  if (linia.rfind("PTY ", 0) != 0) {
    ::kill(p.pid, SIGKILL);
    ::waitpid(p.pid, nullptr, 0);
    return std::nullopt;
  }
  p.pty = linia.substr(4, linia.find('\n') - 4);
  return p;
}

inline void zatrzymaj(pid_t pid) {
  ::kill(pid, SIGTERM);
  ::waitpid(pid, nullptr, 0);
}

// The time the last session held the line: from the first to the last character logged
// after the host last opened the port (a search's probes open and close it first), plus
// the last character's own time at `baud`.
inline double czas_linii(const std::string& plik, double baud) {
  std::vector<double> czasy;
  std::ifstream we(plik);
  std::string linia;
  while (std::getline(we, linia)) {
    if (linia.rfind("# ", 0) == 0) {
      if (linia.find("host opened the port") != std::string::npos) czasy.clear();
      continue;
    }
    std::istringstream s(linia);
    double ms = 0;
    char kierunek = 0;
    if (s >> ms >> kierunek) czasy.push_back(ms);
  }
  if (czasy.empty()) return 0;
  return (czasy.back() - czasy.front()) / 1000.0 + 10.0 / baud;
}

struct Pomiar {
  int status = -1;
  double sciana_s = 0;  // wall time of the process
  double cpu_s = 0;     // its user + system time
  std::string wyjscie;  // standard output and error
};

// Runs a program to its end, with its output in `plik_wyjscia`; CPU time from wait4.
inline Pomiar uruchom(std::vector<std::string> argv, const std::string& plik_wyjscia) {
  Pomiar m;
  auto w = wskazniki(argv);
  const auto start = Zegar::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int fd = ::open(plik_wyjscia.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(fd, STDOUT_FILENO);
    ::dup2(fd, STDERR_FILENO);
    ::execvp(w[0], w.data());
    ::_exit(127);
  }
  int stan = 0;
  rusage r{};
  ::wait4(pid, &stan, 0, &r);
  m.sciana_s = std::chrono::duration<double>(Zegar::now() - start).count();
  const auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  m.cpu_s = s(r.ru_utime) + s(r.ru_stime);
  m.status = WIFEXITED(stan) ? WEXITSTATUS(stan) : 128 + WTERMSIG(stan);
  std::ifstream we(plik_wyjscia);
  std::stringstream ss;
  ss << we.rdbuf();
  m.wyjscie = ss.str();
  return m;
}

}  // namespace ostrel::bench
