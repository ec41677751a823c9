#include "hex/objasnienie.h"

#include <cstdio>

#include "hex/elf.h"

namespace ostrel {

namespace {

std::string dwie_cyfry(int typ) {
  char s[3];
  std::snprintf(s, sizeof s, "%02X", static_cast<unsigned>(typ) & 0xFF);
  return s;
}

// The commands the hints print, one per line, WE/WY standing for the user's files. Each
// works on avr-objcopy output that still holds .eeprom and on srec_cat's 32-bit output.
constexpr const char* kSrecFlash =
    "  srec_cat WE.hex -Intel -crop 0 0x10000 -o WY.hex -Intel -address-length=2 "
    "-disable=exec-start-address";
constexpr const char* kSrecEeprom =
    "  srec_cat WE.hex -Intel -crop 0x810000 0x820000 -offset -0x810000 -o WY.eep -Intel "
    "-address-length=2 -disable=exec-start-address";
}  // namespace

const char* const kObjcopyFlash = "  avr-objcopy -O ihex -j .text -j .data PROGRAM.elf PROGRAM.hex";
const char* const kObjcopyEeprom =
    "  avr-objcopy -O ihex -j .eeprom --change-section-lma .eeprom=0 PROGRAM.elf PROGRAM.eep";

namespace {

std::string szesnastkowo(unsigned long wartosc) {
  char s[16];
  std::snprintf(s, sizeof s, "0x%lX", wartosc);
  return s;
}

std::string objasnienie_typu(int typ, long liniowy, const std::string& linia) {
  const std::string n = "\n";
  // avr-gcc's EEPROM lies at 0x810000: a file made from the whole ELF file holds both
  // memories, which go into separate files.
  if (typ == 4 && liniowy == 0x81) {
    return linia +
           ": rekord typu 04 przenosi dane pod adres 0x810000, gdzie avr-gcc umieszcza pamięć "
           "EEPROM (sekcję .eeprom); obsługiwane są tylko adresy 16-bitowe, a flash i EEPROM "
           "wymagają osobnych plików. " +
           (czyta_elf() ? "Podaj plik .elf wprost albo rozdziel plik" : "Rozdziel plik") +
           " (docs/hex.md):" + n + kSrecFlash + n + kSrecEeprom + n +
           "albo utwórz oba pliki z pliku ELF:" + n + kObjcopyFlash + n + kObjcopyEeprom;
  }
  switch (typ) {
    case 3:
    case 4:
    case 5: {
      static constexpr const char* kNazwy[] = {"adres startowy segmentu", "adres liniowy",
                                               "adres startowy liniowy"};
      std::string opis = linia + ": rekord typu " + dwie_cyfry(typ) + " (" + kNazwy[typ - 3];
      if (typ == 4 && liniowy > 0) {
        // Appended piece by piece: g++ 12 at -O3 misreads `" " + std::string&&` as an
        // overlapping copy (-Wrestrict).
        opis += ' ';
        opis += szesnastkowo(static_cast<unsigned long>(liniowy) << 16);
      }
      return opis +
             ") nie jest przyjmowany, obsługiwane są tylko adresy 16-bitowe (rekordy 00, 01, "
             "02 i 04 z adresem 0), a dane powyżej 64 KB nie mieszczą się w żadnym układzie. "
             "Przekształć plik, pomijając je (docs/hex.md):" +
             n + kSrecFlash;
    }
    case -1:
      return linia +
             ": pole typu rekordu jest nieprawidłowe; plik jest uszkodzony albo nie jest "
             "plikiem Intel HEX";
    default:
      return linia + ": typ rekordu " + dwie_cyfry(typ) +
             " nie istnieje w formacie Intel HEX (przyjmowane są 00 dane, 01 koniec pliku, 02 "
             "segment); plik jest uszkodzony albo nie jest plikiem Intel HEX";
  }
}

}  // namespace

std::string objasnienie_hex(const PrzyczynaHex& p) {
  const std::string n = std::to_string(p.linia);
  const std::string linia = "Linia " + n;
  switch (p.rodzaj) {
    case BladHex::brak:
      return {};
    case BladHex::pusty:
      return "Plik jest pusty; plik Intel HEX składa się z rekordów zaczynających się od ':'";
    case BladHex::dwukropek:
      return linia +
             " nie zaczyna się od ':'; plik Intel HEX zawiera tylko rekordy, każdy w "
             "osobnej linii, bez pustych linii i innego tekstu";
    case BladHex::po_koncu:
      return "Za rekordem końca pliku (:00000001FF) w linii " + std::to_string(p.linia - 1) +
             " jest jeszcze pusta linia albo inny znak (np. Ctrl-Z); plik musi się kończyć na "
             "tym rekordzie, usuń to, co jest za nim";
    case BladHex::znak:
      return linia +
             ": w rekordzie jest znak, który nie jest cyfrą szesnastkową, albo rekord "
             "jest krótszy, niż podaje jego liczba bajtów; plik jest uszkodzony";
    case BladHex::typ:
      return objasnienie_typu(p.typ, p.liniowy, linia);
    case BladHex::suma:
      return linia +
             ": suma kontrolna rekordu się nie zgadza; plik jest uszkodzony albo był "
             "zmieniany ręcznie, utwórz go ponownie narzędziem, które go zbudowało";
    case BladHex::suma_konca:
      return linia +
             ": rekord końca pliku musi mieć postać :00000001FF; srec_cat wpisuje w nim "
             "adres startowy, czego zabrania opcja -disable=exec-start-address";
    case BladHex::brak_konca_linii:
      return "Ostatnia linia (" + n +
             ") nie kończy się znakiem końca linii; dopisz go (CR LF "
             "albo LF)";
    case BladHex::cr:
      return linia +
             ": po sumie kontrolnej nie ma końca linii; rekord jest dłuższy, niż podaje "
             "jego liczba bajtów, albo w linii jest inny tekst";
    case BladHex::lf:
      return linia + " kończy się znakiem CR bez LF; zapisz plik z końcami linii CR LF albo LF";
  }
  return {};
}

std::string objasnienie_rozmiaru(std::size_t plik, bool flash, const std::string& uklad,
                                 std::size_t pojemnosc) {
  return "plik opisuje " + std::to_string(plik) + " bajtów, pamięć " +
         (flash ? "flash" : "EEPROM") + " układu " + uklad + " ma " + std::to_string(pojemnosc) +
         " bajtów";
}

}  // namespace ostrel
