#include "ui/ustawienia.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "hex/strumien.h"
#include "serial/konfiguracja.h"

namespace ostrel {

namespace {

// Code page 1250, bytes 0x80..0xFF: the Unicode code point of each.
constexpr std::array<char32_t, 128> kCp1250 = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x0088, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,  //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,  //
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,  //
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,  //
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,  //
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,  //
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,  //
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,  //
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,  //
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,  //
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,  //
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,  //
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,  //
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

constexpr std::uint8_t kKoniecPliku = 0x1A;
constexpr std::uint8_t kCR = 0x0D;

// Decodes one UTF-8 sequence at `i`; nothing for a malformed one.
std::optional<char32_t> dekoduj(std::string_view s, std::size_t& i) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  int dl = 0;
  char32_t cp = 0;
  if (b0 < 0x80) {
    ++i;
    return b0;
  } else if ((b0 & 0xE0) == 0xC0) {
    dl = 2;
    cp = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    dl = 3;
    cp = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    dl = 4;
    cp = b0 & 0x07;
  } else {
    return std::nullopt;
  }
  if (i + static_cast<std::size_t>(dl) > s.size()) return std::nullopt;
  for (int k = 1; k < dl; ++k) {
    const auto b = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
    if ((b & 0xC0) != 0x80) return std::nullopt;
    cp = (cp << 6) | (b & 0x3F);
  }
  // Overlong forms and surrogates are not characters.
  static constexpr char32_t kMinimum[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMinimum[dl] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
  i += static_cast<std::size_t>(dl);
  return cp;
}

void dopisz_utf8(std::string& s, char32_t cp) {
  if (cp < 0x80) {
    s += static_cast<char>(cp);
  } else if (cp < 0x800) {
    s += static_cast<char>(0xC0 | (cp >> 6));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    s += static_cast<char>(0xE0 | (cp >> 12));
    s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

std::optional<std::string> utf8_na_cp1250(std::string_view tekst) {
  std::string wynik;
  std::size_t i = 0;
  while (i < tekst.size()) {
    auto cp = dekoduj(tekst, i);
    if (!cp) return std::nullopt;
    if (*cp < 0x80) {
      wynik += static_cast<char>(*cp);
      continue;
    }
    bool jest = false;
    for (std::size_t k = 0; k < kCp1250.size(); ++k) {
      if (kCp1250[k] == *cp) {
        wynik += static_cast<char>(0x80 + k);
        jest = true;
        break;
      }
    }
    if (!jest) return std::nullopt;
  }
  return wynik;
}

std::string cp1250_na_utf8(std::string_view tekst) {
  std::string wynik;
  for (char c : tekst) {
    const auto b = static_cast<unsigned char>(c);
    dopisz_utf8(wynik, b < 0x80 ? char32_t{b} : kCp1250[b - 0x80]);
  }
  return wynik;
}

std::size_t liczba_znakow(std::string_view tekst) {
  std::size_t n = 0;
  std::size_t i = 0;
  while (i < tekst.size()) {
    if (!dekoduj(tekst, i)) ++i;
    ++n;
  }
  return n;
}

Ustawienia czytaj_ustawienia(const std::vector<std::uint8_t>& bajty) {
  std::size_t poz = 0;
  auto czytaj = [&]() -> int {
    if (poz >= bajty.size()) return kKoniecPliku;
    const std::uint8_t b = bajty[poz];
    if (b == kKoniecPliku) return kKoniecPliku;  // stays unread: every later read meets it
    ++poz;
    return b;
  };
  Ustawienia u;
  u.urzadzenie = czytaj();
  u.tryb = czytaj();
  std::string nazwa;
  while (poz < bajty.size() && nazwa.size() < kMaksDlugoscNazwy) {
    const std::uint8_t b = bajty[poz];
    if (b == kCR || b == kKoniecPliku) break;
    nazwa += static_cast<char>(b);
    ++poz;
  }
  u.nazwa = cp1250_na_utf8(nazwa);
  return u;
}

std::vector<std::uint8_t> zapisz_ustawienia(int urzadzenie, int tryb, std::string_view nazwa) {
  std::vector<std::uint8_t> bajty{static_cast<std::uint8_t>(urzadzenie & 0xFF),
                                  static_cast<std::uint8_t>(tryb & 0xFF)};
  auto cp = utf8_na_cp1250(nazwa);
  if (!cp || cp->size() > kMaksDlugoscNazwy) return bajty;
  if (cp->find(static_cast<char>(kCR)) != std::string::npos ||
      cp->find(static_cast<char>(kKoniecPliku)) != std::string::npos) {
    return bajty;
  }
  bajty.insert(bajty.end(), cp->begin(), cp->end());
  return bajty;
}

std::string sciezka_ustawien() {
  const KatalogKonfiguracji k = katalog_konfiguracji();
  return k.sciezka.empty() ? std::string() : k.sciezka + "/Ostrel.cf";
}

bool plik_istnieje(const std::string& sciezka) {
  std::FILE* f = std::fopen(sciezka.c_str(), "r+b");
  if (f == nullptr) return false;
  std::fclose(f);
  return true;
}

bool wczytaj_bajty(const std::string& sciezka, std::vector<std::uint8_t>& bajty,
                   std::string& blad) {
  Strumien s;
  if (!s.wczytaj_plik(sciezka, &blad)) return false;
  bajty = s.dane();
  return true;
}

bool zapisz_plik_ustawien(const std::string& sciezka, const std::vector<std::uint8_t>& bajty,
                          std::string& blad) {
  if (sciezka.empty()) {
    blad = katalog_konfiguracji().blad;
    return false;
  }
  std::error_code ec;
  const auto folder = std::filesystem::path(sciezka).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder, ec);
  if (ec) {
    blad = ec.message();
    return false;
  }
  return zapisz_atomowo(sciezka, bajty.data(), bajty.size(), &blad);
}

}  // namespace ostrel
