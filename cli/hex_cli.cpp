#include <cstdio>
#include <string>

#include "cli/pliki.h"
#include "cli/polecenia.h"
#include "hex/elf.h"
#include "hex/intel_hex.h"
#include "hex/objasnienie.h"
#include "hex/strumien.h"

namespace ostrel::cli {

namespace {

// Exit statuses of the conversion commands, as the programmer commands have them.
constexpr int kWynikOK = 0;       // converted and written
constexpr int kWynikZapis = 1;    // the output could not be written after all
constexpr int kWynikWejscie = 2;  // bad arguments, an unreadable or rejected input, an
                                  // output that cannot be written (found before the work)

int blad(const std::string& tekst, int kod = kWynikWejscie) {
  std::fprintf(stderr, "ostrel-cli: %s\n", tekst.c_str());
  return kod;
}

// An output that cannot be written is said before the input is even read.
bool mozna_zapisac(const char* sciezka, std::string& komunikat) {
  const std::string powod = powod_zapisu(sciezka);
  if (powod.empty()) return true;
  komunikat = std::string("nie można zapisać pliku ") + sciezka + ": " + powod;
  return false;
}

bool wczytaj(Strumien& s, const char* sciezka, std::string& komunikat) {
  std::string przyczyna;
  if (s.wczytaj_plik(sciezka, &przyczyna)) return true;
  komunikat = std::string("nie można odczytać pliku ") + sciezka + ": " + przyczyna;
  return false;
}

bool zapisz(const Strumien& s, const char* sciezka, std::string& komunikat) {
  std::string przyczyna;
  if (s.zapisz_plik(sciezka, &przyczyna)) return true;
  komunikat = std::string("nie można zapisać pliku ") + sciezka + ": " + przyczyna;
  return false;
}

}  // namespace

int hex2bin(int argc, char** argv) {
  if (argc != 3) return blad("użycie: ostrel-cli hex2bin WE.hex WY.bin");
  std::string komunikat;
  if (!mozna_zapisac(argv[2], komunikat)) return blad(komunikat);
  Strumien tekst;
  if (!wczytaj(tekst, argv[1], komunikat)) return blad(komunikat);

  Strumien obraz;
  std::string wynik;
  PrzyczynaHex przyczyna;
  konwertuj_hex(tekst, obraz, wynik, 255, &przyczyna);
  std::printf("%s\n", wynik.c_str());
  std::fflush(stdout);
  const std::string objasnienie =
      jest_elf(tekst)
          ? std::string(czyta_elf() ? "To plik ELF, nie Intel HEX: program-flash, verify-flash, "
                                      "program-eeprom i verify-eeprom przyjmują go wprost, a "
                                      "pliki Intel HEX daje z niego avr-objcopy (docs/hex.md):\n"
                                    : "To plik ELF, nie Intel HEX; pliki Intel HEX daje z niego "
                                      "avr-objcopy (docs/hex.md):\n") +
                kObjcopyFlash + "\n" + kObjcopyEeprom
          : objasnienie_hex(przyczyna);
  if (!objasnienie.empty()) std::fprintf(stderr, "%s\n", objasnienie.c_str());
  // Anything but a clean conversion leaves the output alone: a partial image must never
  // pass for the file's contents.
  if (wynik != kKonwersjaOK) return kWynikWejscie;
  if (!zapisz(obraz, argv[2], komunikat)) return blad(komunikat, kWynikZapis);
  return kWynikOK;
}

int bin2hex(int argc, char** argv) {
  if (argc != 3) return blad("użycie: ostrel-cli bin2hex WE.bin WY.hex");
  std::string komunikat;
  if (!mozna_zapisac(argv[2], komunikat)) return blad(komunikat);
  Strumien obraz;
  if (!wczytaj(obraz, argv[1], komunikat)) return blad(komunikat);
  if (obraz.rozmiar() > kNajwiekszyObrazHex) {
    return blad(std::string("plik ") + argv[1] + " jest większy niż " +
                std::to_string(kNajwiekszyObrazHex) + " bajtów, których nie da się zapisać " +
                "w formacie Intel HEX z adresami segmentowymi");
  }
  Strumien tekst;
  if (!zapisz_hex(obraz, tekst)) return blad("obraz jest za duży na plik Intel HEX");
  if (!zapisz(tekst, argv[2], komunikat)) return blad(komunikat, kWynikZapis);
  return kWynikOK;
}

}  // namespace ostrel::cli
