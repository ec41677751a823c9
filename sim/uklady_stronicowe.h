// The page-mode ATtiny and ATmega parts the simulator can put in the socket of an
// AVR910 programmer, and that firmware's list of device codes. The simulator is the
// chip and the firmware, so it keeps its own copy of their facts (datasheet values),
// independent of the program's table of parts: a slip there must not be mirrored here.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace ostrel::sim {

// Where a fuse bit sits: the fuse byte (0 low, 1 high, 2 extended) and its mask.
struct BitBezpiecznika {
  std::uint8_t bajt = 0;
  std::uint8_t maska = 0;  // 0: the part has no such bit
};

struct UkladStronicowy {
  const char* nazwa;                      // as in the datasheet ("ATmega328P")
  std::array<std::uint8_t, 3> sygnatura;  // bytes at signature addresses 0, 1, 2
  std::uint32_t flash;                    // bytes
  std::uint32_t eeprom;                   // bytes
  std::uint16_t strona;                   // flash page, bytes
  // Fuse bytes low, high, extended: the factory values and the bits the part has
  // (the others read 1 whatever is written); no extended fuse: mask 0.
  std::array<std::uint8_t, 3> fabryczne;
  std::array<std::uint8_t, 3> maski;
  std::uint8_t maska_zamka;  // lock bits the part has (the others read 1)
  BitBezpiecznika spien;     // programmed (0) on a new part; serial programming cannot change it
  BitBezpiecznika rstdisbl;  // programmed: the reset pin is an I/O pin, no serial programming
  BitBezpiecznika dwen;      // programmed: debugWIRE on the reset pin, no serial programming
  BitBezpiecznika eesave;    // programmed: a chip erase leaves the EEPROM alone
  double zapis_strony_ms;    // tWD_FLASH
  double kasowanie_ms;       // tWD_ERASE
};

// The parts, found by name without regard to case; nullptr when unknown.
const UkladStronicowy* znajdz_uklad_stronicowy(std::string_view nazwa);
// Every name, joined with ", ".
std::string nazwy_ukladow_stronicowych();

// A device code the firmware lists for 't' and the flash page it writes for it.
struct KodFirmware {
  std::uint8_t kod;
  std::uint16_t strona;  // bytes; 0: byte mode (the part writes every byte itself)
};

// The firmware's 't' list, in the order it answers it (before the terminating 0).
extern const std::array<KodFirmware, 28> kKodyFirmware;

// The firmware's page size for a code (bytes), 0 for byte mode and for codes it does not
// list (it treats them as byte-mode parts).
std::uint16_t strona_kodu(std::uint8_t kod);

}  // namespace ostrel::sim
