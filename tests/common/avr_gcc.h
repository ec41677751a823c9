// A small AVR program built by the real avr-gcc for the tests that read the toolchain's
// own files: its ELF file and what avr-objcopy and srec_cat make of it.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace ostrel::test {

inline bool jest_avr_gcc() {
  return std::system(
             "command -v avr-gcc >/dev/null 2>&1 && command -v avr-objcopy >/dev/null "
             "2>&1 && command -v srec_cat >/dev/null 2>&1") == 0;
}

// Code in .text, initialised data in .data (loaded into flash right after .text) and a
// table in .eeprom (at 0x810000 in the ELF file).
inline constexpr const char* kProgramAvr = R"(#include <avr/io.h>
#include <avr/eeprom.h>
uint8_t EEMEM tablica[6] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
volatile uint8_t krok = 3;
int main(void) {
  DDRB = 0xFF;
  for (;;) PORTB = (uint8_t)(PORTB + krok + eeprom_read_byte(&tablica[1]));
}
)";

// Writes program.c into `katalog` and links program.elf for `mcu`; returns the ELF file's
// path, or an empty text when avr-gcc failed.
inline std::string zbuduj_program_avr(const std::string& katalog, const char* mcu = "at90s2313") {
  const std::string zrodlo = katalog + "/program.c";
  const std::string elf = katalog + "/program.elf";
  {
    std::ofstream f(zrodlo);
    f << kProgramAvr;
  }
  const std::string polecenie = std::string("avr-gcc -mmcu=") + mcu + " -Os -o '" + elf + "' '" +
                                zrodlo + "' >/dev/null 2>&1";
  const int s = std::system(polecenie.c_str());
  if (s == -1 || !WIFEXITED(s) || WEXITSTATUS(s) != 0) return {};
  return elf;
}

}  // namespace ostrel::test
