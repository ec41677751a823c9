// Where the program keeps its configuration: the settings file, the comN port links and
// the simulator's links all live in one folder, found by one rule.
#pragma once

#include <string>

namespace ostrel {

struct KatalogKonfiguracji {
  std::string sciezka;  // .../ostrel; empty when no folder can be named
  std::string blad;     // why not, in Polish; empty when `sciezka` is set
};

// $XDG_CONFIG_HOME/ostrel when that variable holds an absolute path, else
// $HOME/.config/ostrel when HOME does. A relative XDG_CONFIG_HOME is ignored, as the XDG
// rules ask: it would put the files wherever the program happens to be started.
KatalogKonfiguracji katalog_konfiguracji();

}  // namespace ostrel
