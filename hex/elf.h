// Programs as avr-gcc links them: ELF files, read through elfutils' libelf.
#pragma once

#include <string>

#include "hex/strumien.h"

namespace ostrel {

// Which memory of the device an image is meant for.
enum class PamiecElf { flash, eeprom };

// Where avr-gcc's linker puts the memories in the one address space of an ELF file.
inline constexpr unsigned long kElfKoniecFlash = 0x800000;     // flash: 0 up to here
inline constexpr unsigned long kElfPoczatekEeprom = 0x810000;  // EEPROM: from here ...
inline constexpr unsigned long kElfKoniecEeprom = 0x820000;    // ... up to here

// Whether this build reads ELF files; one without libelf refuses them with a hint.
bool czyta_elf();

// True when the file begins with the ELF magic number.
bool jest_elf(const Strumien& plik);

// Builds the image of memory `pamiec` from the ELF file in `plik`: the bytes of every
// loaded section at its load address (flash below 0x800000: .text, .data; EEPROM from
// 0x810000: .eeprom, taken from 0), 0xFF where no section gives a byte, ending at the
// highest byte given. Returns "Konwersja OK", or a Polish text saying why the file was
// refused (damaged, for another machine, not a linked program, nothing for that memory).
std::string konwertuj_elf(const Strumien& plik, PamiecElf pamiec, Strumien& obraz);

}  // namespace ostrel
