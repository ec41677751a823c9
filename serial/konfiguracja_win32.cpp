// On Windows the configuration lives where programs keep a user's roaming settings.
#include <cstdlib>

#include "serial/konfiguracja.h"

namespace ostrel {

KatalogKonfiguracji katalog_konfiguracji() {
  const char* dane = std::getenv("APPDATA");
  // A drive-letter path (C:\...) or a share (\\server\...); anything else would put the
  // files wherever the program happens to be started.
  const bool bezwzgledna =
      dane != nullptr &&
      ((dane[0] != '\0' && dane[1] == ':' && (dane[2] == '\\' || dane[2] == '/')) ||
       (dane[0] == '\\' && dane[1] == '\\'));
  if (bezwzgledna) return {std::string(dane) + "\\Ostrel", {}};
  return {{}, "nie można ustalić katalogu konfiguracji: APPDATA nie jest ścieżką bezwzględną"};
}

}  // namespace ostrel
