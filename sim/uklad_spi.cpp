#include "sim/uklad_spi.h"

#include <algorithm>

namespace ostrel::sim {

UkladSpi::UkladSpi(const UkladStronicowy& dane, int nieudane_synchronizacje)
    : dane_(dane),
      nieudane_synchronizacje_(nieudane_synchronizacje),
      flash_(dane.flash, 0xFF),
      eeprom_(dane.eeprom, 0xFF),
      bufor_strony_(dane.strona, 0xFF),
      bezpieczniki_(dane.fabryczne) {}

std::uint8_t UkladSpi::bezpiecznik(int ktory) const {
  const auto i = static_cast<std::size_t>(ktory);
  return static_cast<std::uint8_t>(bezpieczniki_[i] | ~dane_.maski[i]);
}

bool UkladSpi::niedostepny() const {
  return zaprogramowany(dane_.rstdisbl) || zaprogramowany(dane_.dwen) ||
         (ma(dane_.spien) && !zaprogramowany(dane_.spien));
}

bool UkladSpi::synchronizuj() {
  if (niedostepny()) return false;
  if (nieudane_synchronizacje_ > 0) {
    --nieudane_synchronizacje_;
    return false;
  }
  programowanie_ = true;
  return true;
}

void UkladSpi::zapisz_bezpiecznik(int ktory, std::uint8_t wartosc) {
  const auto i = static_cast<std::size_t>(ktory);
  if (dane_.maski[i] == 0) return;  // the part has no such byte
  std::uint8_t nowa = static_cast<std::uint8_t>(wartosc | ~dane_.maski[i]);
  // SPIEN cannot be changed through the serial interface itself.
  if (ma(dane_.spien) && dane_.spien.bajt == i) {
    nowa = static_cast<std::uint8_t>((nowa & ~dane_.spien.maska) |
                                     (bezpieczniki_[i] & dane_.spien.maska));
  }
  bezpieczniki_[i] = nowa;
}

void UkladSpi::kasuj() {
  std::fill(flash_.begin(), flash_.end(), 0xFF);
  if (!zaprogramowany(dane_.eesave)) std::fill(eeprom_.begin(), eeprom_.end(), 0xFF);
  zamek_ = 0xFF;
}

std::uint8_t UkladSpi::instrukcja(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
  if (!programowanie_) return 0xFF;
  const std::uint32_t slowo = static_cast<std::uint32_t>(b) << 8 | c;
  const std::uint32_t slow_flash = dane_.flash / 2u;
  const std::size_t w = slowo % slow_flash;
  const std::size_t e = eeprom_.empty() ? 0 : slowo % eeprom_.size();
  const std::size_t w_stronie = slowo % slowa_strony();
  switch (a) {
    case 0x30:
      return c < 3 ? dane_.sygnatura[c] : 0xFF;
    case 0x20:
      return flash_[2 * w];
    case 0x28:
      return flash_[2 * w + 1];
    case 0x40:
      bufor_strony_[2 * w_stronie] = d;
      return c;
    case 0x48:
      bufor_strony_[2 * w_stronie + 1] = d;
      return c;
    case 0x4C: {
      // The page holding the addressed word gets the whole buffer; programming only
      // clears bits, so an unloaded (0xFF) word leaves its cells as they are.
      const std::uint32_t strona = static_cast<std::uint32_t>(w / slowa_strony());
      ostatni_zapis_ = {strona, zapis_zablokowany()};
      if (!ostatni_zapis_.zablokowany) {
        const std::size_t poczatek = static_cast<std::size_t>(strona) * dane_.strona;
        for (std::size_t i = 0; i < bufor_strony_.size(); ++i)
          flash_[poczatek + i] &= bufor_strony_[i];
      }
      std::fill(bufor_strony_.begin(), bufor_strony_.end(), 0xFF);
      return c;
    }
    case 0xA0:
      return eeprom_.empty() ? 0xFF : eeprom_[e];
    case 0xC0:
      // An EEPROM byte erases itself before it is written.
      if (!eeprom_.empty() && !zapis_zablokowany()) eeprom_[e] = d;
      return c;
    case 0x50:
      if (b == 0x00) return bezpiecznik(0);
      if (b == 0x08) return dane_.maski[2] != 0 ? bezpiecznik(2) : 0xFF;
      return c;
    case 0x58:
      if (b == 0x08) return bezpiecznik(1);
      if (b == 0x00) return zamek();
      return c;
    case 0xAC:
      if (b == 0x80) {
        kasuj();
      } else if ((b & 0xE0) == 0xE0) {
        // Lock bits are only ever programmed; a chip erase brings them back.
        zamek_ &= static_cast<std::uint8_t>(d | ~dane_.maska_zamka);
      } else if (b == 0xA0) {
        zapisz_bezpiecznik(0, d);
      } else if (b == 0xA8) {
        zapisz_bezpiecznik(1, d);
      } else if (b == 0xA4) {
        zapisz_bezpiecznik(2, d);
      }
      return c;
    default:
      return c;
  }
}

}  // namespace ostrel::sim
