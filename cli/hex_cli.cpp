#include <cstdio>
#include <string>

#include "cli/polecenia.h"
#include "hex/intel_hex.h"
#include "hex/strumien.h"

namespace ostrel::cli {

namespace {

// Exit statuses of the conversion commands.
constexpr int kWynikOK = 0;    // converted and written
constexpr int kWynikHex = 1;   // the HEX text was rejected; nothing written
constexpr int kWynikPlik = 2;  // bad arguments, unreadable input or unwritable output

int blad(const std::string& tekst) {
  std::fprintf(stderr, "ostrel-cli: %s\n", tekst.c_str());
  return kWynikPlik;
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
  Strumien tekst;
  if (!wczytaj(tekst, argv[1], komunikat)) return blad(komunikat);

  Strumien obraz;
  std::string wynik;
  konwertuj_hex(tekst, obraz, wynik);
  std::printf("%s\n", wynik.c_str());
  std::fflush(stdout);
  // Anything but a clean conversion leaves the output alone: a partial image must never
  // pass for the file's contents.
  if (wynik != kKonwersjaOK) return kWynikHex;
  if (!zapisz(obraz, argv[2], komunikat)) return blad(komunikat);
  return kWynikOK;
}

int bin2hex(int argc, char** argv) {
  if (argc != 3) return blad("użycie: ostrel-cli bin2hex WE.bin WY.hex");
  std::string komunikat;
  Strumien obraz;
  if (!wczytaj(obraz, argv[1], komunikat)) return blad(komunikat);
  if (obraz.rozmiar() > kNajwiekszyObrazHex) {
    return blad(std::string("plik ") + argv[1] + " jest większy niż " +
                std::to_string(kNajwiekszyObrazHex) + " bajtów, których nie da się zapisać " +
                "w formacie Intel HEX z adresami segmentowymi");
  }
  Strumien tekst;
  zapisz_hex(obraz, tekst);
  if (!zapisz(tekst, argv[2], komunikat)) return blad(komunikat);
  return kWynikOK;
}

}  // namespace ostrel::cli
