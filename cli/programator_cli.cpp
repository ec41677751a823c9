#include <cstdio>

#include "cli/polecenia.h"

namespace ostrel::cli {

int programator(int, char**) {
  std::fprintf(stderr, "użycie: ostrel-cli hex2bin WE.hex WY.bin | bin2hex WE.bin WY.hex\n");
  return 2;
}

}  // namespace ostrel::cli
