// A page-mode ATtiny or ATmega as its serial programming interface sees it: four-byte
// instructions, a page buffer that a page write empties, fuse and lock bytes.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "sim/uklady_stronicowe.h"

namespace ostrel::sim {

class UkladSpi {
 public:
  // `nieudane_synchronizacje`: Programming Enables the chip lets pass unanswered first
  // (out of step with the programmer's clock), as after a glitch on the lines.
  UkladSpi(const UkladStronicowy& dane, int nieudane_synchronizacje);

  // Programming Enable (AC 53 00 00) with reset held: true when the chip echoed 0x53 and
  // is now in programming mode. Fuses that end serial programming keep it out.
  bool synchronizuj();
  // Reset released: the chip leaves programming mode.
  void zwolnij() { programowanie_ = false; }
  bool programowanie() const { return programowanie_; }
  // Whether the fuses keep the chip from ever entering serial programming again.
  bool niedostepny() const;

  // One instruction; returns the byte the chip shifts out with the fourth byte (0xFF
  // outside programming mode).
  std::uint8_t instrukcja(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d);

  // What the last page write (4C) did: the page number and whether the lock bits kept
  // it from changing the flash.
  struct ZapisStrony {
    std::uint32_t strona = 0;
    bool zablokowany = false;
  };
  const ZapisStrony& ostatni_zapis() const { return ostatni_zapis_; }

  const UkladStronicowy& dane() const { return dane_; }
  std::uint32_t slowa_strony() const { return dane_.strona / 2u; }
  std::vector<std::uint8_t>& flash() { return flash_; }
  std::vector<std::uint8_t>& eeprom() { return eeprom_; }
  // The fuse byte as the chip reads it back (0 low, 1 high, 2 extended) and the lock byte.
  std::uint8_t bezpiecznik(int ktory) const;
  std::uint8_t zamek() const { return static_cast<std::uint8_t>(zamek_ | ~dane_.maska_zamka); }

 private:
  bool ma(const BitBezpiecznika& bit) const { return bit.maska != 0; }
  bool zaprogramowany(const BitBezpiecznika& bit) const {
    return ma(bit) && (bezpieczniki_[bit.bajt] & bit.maska) == 0;
  }
  void zapisz_bezpiecznik(int ktory, std::uint8_t wartosc);
  void kasuj();
  bool zapis_zablokowany() const { return (zamek() & 0x01) == 0; }  // LB1 programmed

  const UkladStronicowy& dane_;
  int nieudane_synchronizacje_;
  bool programowanie_ = false;
  std::vector<std::uint8_t> flash_;
  std::vector<std::uint8_t> eeprom_;
  std::vector<std::uint8_t> bufor_strony_;  // the page buffer, low byte first in each word
  std::array<std::uint8_t, 3> bezpieczniki_;
  std::uint8_t zamek_ = 0xFF;
  ZapisStrony ostatni_zapis_;
};

}  // namespace ostrel::sim
