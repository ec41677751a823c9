#include <cstdio>
#include <cstring>

#include "cli/polecenia.h"
#include "cli/system.h"

int main(int argc, char** argv) {
  ostrel::cli::przygotuj_konsole(argc, argv);
  if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("ostrel-cli %s\n", OSTREL_WERSJA);
    return 0;
  }
  if (argc >= 2 && std::strcmp(argv[1], "hex2bin") == 0)
    return ostrel::cli::hex2bin(argc - 1, argv + 1);
  if (argc >= 2 && std::strcmp(argv[1], "bin2hex") == 0)
    return ostrel::cli::bin2hex(argc - 1, argv + 1);
  return ostrel::cli::programator(argc, argv);
}
