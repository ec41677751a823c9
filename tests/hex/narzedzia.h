// Helpers shared by the HEX tests: record building, files, running programs. Temporary
// folders are the common KatalogTymczasowy.
#pragma once

#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "common/symulator.h"
#include "hex/intel_hex.h"
#include "hex/strumien.h"

namespace ostrel::test {

// One well-formed record, built here independently of the writer under test.
inline std::string rekord(unsigned typ, unsigned adres, const Bajty& dane, bool male = false) {
  const char* cyfry = male ? "0123456789abcdef" : "0123456789ABCDEF";
  std::string s = ":";
  auto bajt = [&](unsigned b) {
    s += cyfry[(b >> 4) & 0xF];
    s += cyfry[b & 0xF];
  };
  unsigned suma = static_cast<unsigned>(dane.size()) + (adres >> 8) + (adres & 0xFF) + typ;
  bajt(static_cast<unsigned>(dane.size()));
  bajt(adres >> 8);
  bajt(adres & 0xFF);
  bajt(typ);
  for (auto b : dane) {
    bajt(b);
    suma += b;
  }
  bajt((0x100 - (suma & 0xFF)) & 0xFF);
  return s + "\r\n";
}

inline const std::string kKoniec = ":00000001FF\r\n";

struct Konwersja {
  std::string wynik;
  Bajty obraz;
  std::size_t przeczytano = 0;  // position in the text where the reader stopped
};

inline Konwersja konwertuj(const std::string& tekst, std::size_t limit = 255) {
  Strumien wejscie(Bajty(tekst.begin(), tekst.end()));
  Strumien obraz;
  Konwersja k;
  konwertuj_hex(wejscie, obraz, k.wynik, limit);
  k.obraz = obraz.dane();
  k.przeczytano = wejscie.pozycja();
  return k;
}

inline std::string zapisz(const Bajty& obraz) {
  Strumien we(obraz);
  Strumien wy;
  zapisz_hex(we, wy);
  return std::string(wy.dane().begin(), wy.dane().end());
}

inline Bajty losowe(std::size_t n, std::mt19937& gen) {
  Bajty b(n);
  for (auto& x : b) x = static_cast<std::uint8_t>(gen() & 0xFF);
  return b;
}

inline void zapisz_plik(const std::string& sciezka, const std::string& tresc) {
  std::ofstream f(sciezka, std::ios::binary | std::ios::trunc);
  f.write(tresc.data(), static_cast<std::streamsize>(tresc.size()));
}

inline void zapisz_plik(const std::string& sciezka, const Bajty& tresc) {
  zapisz_plik(sciezka, std::string(tresc.begin(), tresc.end()));
}

inline std::string czytaj_plik(const std::string& sciezka) {
  std::ifstream f(sciezka, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline Bajty czytaj_bajty(const std::string& sciezka) {
  const std::string s = czytaj_plik(sciezka);
  return Bajty(s.begin(), s.end());
}

// Runs a shell command line; returns its exit status, or -1 when it did not exit normally.
inline int uruchom(const std::string& polecenie) {
  const int s = std::system(polecenie.c_str());
  if (s == -1 || !WIFEXITED(s)) return -1;
  return WEXITSTATUS(s);
}

inline std::string cytuj(const std::string& s) {
  std::string w = "'";
  for (char c : s) {
    if (c == '\'')
      w += "'\\''";
    else
      w += c;
  }
  return w + "'";
}

inline bool jest_srec_cat() {
  return uruchom("command -v srec_cat >/dev/null 2>&1") == 0;
}

}  // namespace ostrel::test
