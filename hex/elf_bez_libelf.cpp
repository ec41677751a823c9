// Builds without libelf (Windows: no build of it for mingw-w64) know an ELF file by its
// magic number and refuse it with the command that turns it into Intel HEX.
#include "hex/elf.h"

#include <cstring>
#include <string>

namespace ostrel {

bool czyta_elf() {
  return false;
}

bool jest_elf(const Strumien& plik) {
  const auto& d = plik.dane();
  return d.size() >= 4 && std::memcmp(d.data(),
                                      "\x7f"
                                      "ELF",
                                      4) == 0;
}

std::string konwertuj_elf(const Strumien&, PamiecElf pamiec, Strumien& obraz) {
  obraz.wyczysc();
  return std::string("Ta wersja programu nie czyta plików ELF; utwórz z niego plik Intel HEX: ") +
         (pamiec == PamiecElf::flash
              ? "avr-objcopy -O ihex -j .text -j .data PROGRAM.elf PROGRAM.hex"
              : "avr-objcopy -O ihex -j .eeprom --change-section-lma .eeprom=0 PROGRAM.elf "
                "PROGRAM.eep");
}

}  // namespace ostrel
