// Loading an image from a file.
#include "protocol/plik_hex.h"

namespace ostrel {

Wynik wczytaj_hex(const std::string& nazwa, Strumien& obraz, std::string& tekst,
                  std::size_t pojemnosc, PrzyczynaHex* przyczyna, PamiecElf pamiec,
                  std::vector<Przebieg>* przebiegi) {
  if (przyczyna != nullptr) *przyczyna = {};
  Strumien hex;
  std::string powod;
  if (!hex.wczytaj_plik(nazwa, &powod)) {
    tekst = "Nie można otworzyć pliku " + nazwa;
    // The system's own error texts are not Polish; a file too big to be HEX is named.
    if (powod == kPlikZaDuzyDoWczytania) tekst += ": " + powod;
    return Wynik::blad_pliku;
  }
  obraz.wyczysc();
  // avr-gcc's output is taken as it comes; everything else is read as Intel HEX.
  if (jest_elf(hex)) {
    tekst = konwertuj_elf(hex, pamiec, obraz);
    if (przebiegi != nullptr) *przebiegi = {{0, obraz.rozmiar()}};
  } else {
    konwertuj_hex(hex, obraz, tekst, 255, przyczyna, przebiegi);
  }
  if (tekst != kKonwersjaOK) return Wynik::blad_hex;
  if (obraz.rozmiar() > pojemnosc) {
    tekst = kPlikZaDuzy;
    return Wynik::blad_hex;
  }
  return Wynik::ok;
}

}  // namespace ostrel
