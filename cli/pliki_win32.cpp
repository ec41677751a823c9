#include <windows.h>

#include "cli/pliki.h"
#include "serial/tekst_win32.h"

namespace ostrel::cli {

// Both slashes separate folders; "C:" alone is the current folder of that drive.
std::string katalog_pliku(const std::string& sciezka) {
  const auto ukosnik = sciezka.find_last_of("\\/");
  if (ukosnik == std::string::npos) {
    if (sciezka.size() >= 2 && sciezka[1] == ':') return sciezka.substr(0, 2);
    return ".";
  }
  // The root keeps its separator: "C:\", "\".
  if (ukosnik == 0 || (ukosnik == 2 && sciezka[1] == ':')) return sciezka.substr(0, ukosnik + 1);
  return sciezka.substr(0, ukosnik);
}

// Asked before the line is touched: a read of the whole chip takes minutes.
std::string powod_zapisu(const std::string& sciezka) {
  const DWORD a = GetFileAttributesW(szeroki(sciezka).c_str());
  if (a != INVALID_FILE_ATTRIBUTES) {
    if (a & FILE_ATTRIBUTE_DIRECTORY) return "to jest katalog";
    if (a & FILE_ATTRIBUTE_READONLY) return "plik jest tylko do odczytu";
  }
  const std::string katalog = katalog_pliku(sciezka);
  const DWORD k = GetFileAttributesW(szeroki(katalog).c_str());
  if (k == INVALID_FILE_ATTRIBUTES) {
    return GetLastError() == ERROR_ACCESS_DENIED ? "brak uprawnień do katalogu " + katalog
                                                 : "katalog " + katalog + " nie istnieje";
  }
  if ((k & FILE_ATTRIBUTE_DIRECTORY) == 0) return katalog + " nie jest katalogiem";
  return {};
}

}  // namespace ostrel::cli
