// The chip's signature read before anything is written: whether the part in the socket
// is the one the operation is about to write with its algorithm.
#include "protocol/programator.h"

namespace ostrel {

Wynik Programator::czytaj_sygnature_ukladu(std::uint8_t kod, OdczytSygnatury& odczyt) {
  odczyt = {};
  if (tryb_demo == 1) return Wynik::demo;
  try {
    if (!uklad_obslugiwany(kod)) return Wynik::nieobslugiwany;
    oproznij_wejscie();
    // The device code first: the programmer may keep none from an earlier run.
    wyslij('T');
    wyslij_i_czekaj(kod);
    wyslij_i_czekaj('P');
    wyslij('s');
    // A byte that does not come ends the answer: the rest cannot make a signature, and
    // waiting for it would only add its 33 reads.
    for (std::uint8_t& b : odczyt.bajty) {
      if (!sprobuj_ograniczone(b)) break;
      ++odczyt.odebrane;
    }
    wyslij_i_czekaj('L');
    // A late part of the answer must not pass for the next command's acknowledgement.
    oproznij_wejscie();
  } catch (const PorzucenieOperacji&) {
    return porzucone();
  }
  return Wynik::ok;
}

}  // namespace ostrel
