#include "cli/pliki.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace ostrel::cli {

std::string katalog_pliku(const std::string& sciezka) {
  const auto ukosnik = sciezka.rfind('/');
  if (ukosnik == std::string::npos) return ".";
  if (ukosnik == 0) return "/";
  return sciezka.substr(0, ukosnik);
}

// Why a read's result could not be saved as `sciezka`; empty when it can. Asked before
// the line is touched: a read of the whole chip takes minutes.
std::string powod_zapisu(const std::string& sciezka) {
  struct stat st {};
  if (stat(sciezka.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return "to jest katalog";
    if (access(sciezka.c_str(), W_OK) != 0) return "brak uprawnień do zapisu";
    if (!S_ISREG(st.st_mode)) return {};  // a device (/dev/null) is written, not replaced
  }
  const std::string katalog = katalog_pliku(sciezka);
  if (stat(katalog.c_str(), &st) != 0) {
    return errno == EACCES ? "brak uprawnień do katalogu " + katalog
                           : "katalog " + katalog + " nie istnieje";
  }
  if (!S_ISDIR(st.st_mode)) return katalog + " nie jest katalogiem";
  if (access(katalog.c_str(), W_OK | X_OK) != 0)
    return "brak uprawnień do zapisu w katalogu " + katalog;
  return {};
}

}  // namespace ostrel::cli
