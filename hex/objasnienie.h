// What was wrong with a refused HEX file and how to mend it, in the user's words: the
// line, the cause and the command that fixes it. Both front ends show it under the
// reader's own result text.
#pragma once

#include <cstddef>
#include <string>

#include "hex/intel_hex.h"

namespace ostrel {

// The avr-objcopy commands that make the flash and the EEPROM file of an ELF file, one
// per line, indented by two blanks.
extern const char* const kObjcopyFlash;
extern const char* const kObjcopyEeprom;

// Without the end of its last line; empty when there is nothing to explain. Commands to
// paste stand on lines of their own, indented by two blanks.
std::string objasnienie_hex(const PrzyczynaHex& przyczyna);

// An image larger than the memory: "plik opisuje N bajtów, pamięć flash układu X ma M
// bajtów".
std::string objasnienie_rozmiaru(std::size_t plik, bool flash, const std::string& uklad,
                                 std::size_t pojemnosc);

}  // namespace ostrel
