// The texts a result is described with.
#include "protocol/teksty.h"

#include <cmath>
#include <cstdio>

#include "protocol/bity_blokady.h"

namespace ostrel {

namespace {

// A byte of the revision answer as one character of the single-byte code page 1250.
std::string znak_cp1250(std::uint8_t b) {
  // Unicode code points of 0x80..0xFF in code page 1250; 0 marks an unassigned position.
  static constexpr char16_t kGorna[128] = {
      0x20AC, 0,      0x201A, 0,      0x201E, 0x2026, 0x2020, 0x2021, 0,      0x2030, 0x0160,
      0x2039, 0x015A, 0x0164, 0x017D, 0x0179, 0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0,      0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, 0x00A0,
      0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB,
      0x00AC, 0x00AD, 0x00AE, 0x017B, 0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6,
      0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C, 0x0154, 0x00C1,
      0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7, 0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A,
      0x00CD, 0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,
      0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF, 0x0155, 0x00E1, 0x00E2,
      0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, 0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED,
      0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7, 0x0159,
      0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
  };
  // Control characters would make an unreadable caption.
  if (b < 0x20 || b == 0x7F) return "?";
  if (b < 0x80) return std::string(1, static_cast<char>(b));
  const char16_t u = kGorna[b - 0x80];
  if (u == 0) return "?";
  std::string s;
  if (u < 0x800) {
    s += static_cast<char>(0xC0 | (u >> 6));
  } else {
    s += static_cast<char>(0xE0 | (u >> 12));
    s += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
  }
  s += static_cast<char>(0x80 | (u & 0x3F));
  return s;
}

}  // namespace

int kod_wyjscia(Wynik w) {
  switch (w) {
    case Wynik::ok:
      return 0;
    case Wynik::blad_weryfikacji:
    case Wynik::przerwano:
    case Wynik::blad_pliku:  // the operation's own file (a read's target) not written
      return 1;
    case Wynik::blad_hex:
    case Wynik::nic:
    case Wynik::nieobslugiwany:
      return 2;
    case Wynik::demo:
    case Wynik::brak_odpowiedzi:
      return 3;
    case Wynik::port_niedostepny:
      return 4;
    case Wynik::inny_uklad:
      return 5;
  }
  return 2;
}

const char* nazwa_typu(TypProgramatora typ) {
  return typ == TypProgramatora::avr910 ? "AVR910" : "Ostrel";
}

bool predkosc_z_liczby(std::uint32_t bps, TComPortBaudRate& predkosc) {
  switch (bps) {
    case 19200:
      predkosc = br19200;
      return true;
    case 38400:
      predkosc = br38400;
      return true;
    case 57600:
      predkosc = br57600;
      return true;
    case 115200:
      predkosc = br115200;
      return true;
    default:
      return false;
  }
}

int procent(std::size_t p, std::size_t s) {
  if (s == 0) return 0;
  const long double q = static_cast<long double>(p) / static_cast<long double>(s) * 100.0L;
  return static_cast<int>(std::lrint(q));  // the default rounding mode: ties to even
}

std::string tekst_zlej_odpowiedzi(std::uint8_t polecenie, std::uint8_t odpowiedz) {
  const std::string p(1, static_cast<char>(polecenie));
  // Only the other type refuses the list of parts.
  if (polecenie == 't' && odpowiedz == '?')
    return std::string(kOdpowiadaJak) + nazwa_typu(TypProgramatora::ostrel) +
           ": zmień typ programatora";
  if (odpowiedz == '?') return "Programator odrzucił polecenie '" + p + "'";
  char b[8];
  std::snprintf(b, sizeof b, "0x%02X", odpowiedz);
  return "Programator odpowiedział na polecenie '" + p + "' bajtem " + b + " zamiast potwierdzenia";
}

std::string tekst_sygnatury(const std::array<std::uint8_t, 3>& sygnatura) {
  std::string s;
  for (int i = 2; i >= 0; --i) {
    char b[4];
    std::snprintf(b, sizeof b, "%02X ", sygnatura[static_cast<std::size_t>(i)]);
    s += b;
  }
  return s;
}

std::string tekst_wersji(const std::array<std::uint8_t, 4>& c) {
  return "Soft. " + znak_cp1250(c[0]) + "." + znak_cp1250(c[1]) + " Hard. " + znak_cp1250(c[2]) +
         "." + znak_cp1250(c[3]);
}

const char* tekst_trybu(std::uint8_t odpowiedz_p, const Uklad& u) {
  if (odpowiedz_p == 'S') return u.rownolegly_12v ? "Tryb PAR8" : "Tryb ISP";
  if (tryb_par16(odpowiedz_p)) return kTrybPAR16;
  return nullptr;
}

}  // namespace ostrel
