// libFuzzer entry: sprawdz_konwersje on every input; a broken property aborts with its description.
#include <cstdio>
#include <cstdlib>

#include "fuzz/cele.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dane, std::size_t rozmiar) {
  const std::string blad = ostrel::fuzz::sprawdz_konwersje(dane, rozmiar);
  if (!blad.empty()) {
    std::fprintf(stderr, "konwertuj_hex: %s\n", blad.c_str());
    std::abort();
  }
  return 0;
}
