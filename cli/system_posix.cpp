#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cli/system.h"

namespace ostrel::cli {

namespace {

// Where the handler puts the signal; set once, before the handler is installed.
// Lock-free, so a signal handler may set it.
std::atomic<int>* g_flaga = nullptr;

extern "C" void przy_sygnale(int numer) {
  if (g_flaga != nullptr) *g_flaga = numer;
}

}  // namespace

void przygotuj_konsole(int&, char**&) {}

const char* dopisek_uzycia() {
  return "";
}

bool terminal_bledow() {
  return isatty(STDERR_FILENO) != 0;
}

void lap_przerwania(std::atomic<int>& flaga) {
  g_flaga = &flaga;
  struct sigaction sa {};
  sa.sa_handler = przy_sygnale;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  // SIGPIPE too: a reader that went away (ostrel-cli info | head -c1) must not end the
  // program with the port still in its raw state.
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaction(s, &sa, nullptr);
}

void zakoncz_przerwaniem(int numer) {
  std::signal(numer, SIG_DFL);
  std::raise(numer);
  std::_Exit(128 + numer);
}

int numer_nazwanego_portu(const char*) {
  return 0;
}

bool jest_sciezka_urzadzenia(const char* wartosc) {
  return std::strchr(wartosc, '/') != nullptr;
}

std::string pelna_sciezka_urzadzenia(const std::string& sciezka) {
  if (sciezka.empty() || sciezka[0] == '/') return sciezka;
  std::string s = sciezka;
  while (s.rfind("./", 0) == 0) s.erase(0, 2);
  std::vector<char> katalog(4096);
  if (getcwd(katalog.data(), katalog.size()) == nullptr) return sciezka;
  return std::string(katalog.data()) + "/" + s;
}

std::string brak_urzadzenia(const std::string& sciezka) {
  struct stat st {};
  if (stat(sciezka.c_str(), &st) == 0) return {};
  return errno == EACCES ? "brak uprawnień" : "nie istnieje";
}

// COMn is a link or a default device here: the search says what it found.
std::string brak_portu(int) {
  return {};
}

std::string cel_lacza(const std::string& sciezka) {
  std::vector<char> cel(4096);
  const ssize_t n = readlink(sciezka.c_str(), cel.data(), cel.size() - 1);
  return n > 0 ? std::string(cel.data(), static_cast<std::size_t>(n)) : std::string();
}

}  // namespace ostrel::cli
