#include "serial/konfiguracja.h"

#include <cstdlib>

namespace ostrel {

namespace {

bool bezwzgledna(const char* s) {
  return s != nullptr && s[0] == '/';
}

}  // namespace

KatalogKonfiguracji katalog_konfiguracji() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); bezwzgledna(xdg))
    return {std::string(xdg) + "/ostrel", {}};
  if (const char* dom = std::getenv("HOME"); bezwzgledna(dom))
    return {std::string(dom) + "/.config/ostrel", {}};
  return {{},
          "nie można ustalić katalogu konfiguracji: ani XDG_CONFIG_HOME, ani HOME nie jest "
          "ścieżką bezwzględną"};
}

}  // namespace ostrel
