#include "devices/uklady.h"

#include <cctype>
#include <string>

namespace ostrel {

namespace {

// Parts with two lock bits: bits 2..1 of the byte written, bits 7..6 of the 'F' answer.
constexpr TrybBlokady kTryby3[] = {
    {"B1 [  ] ; B2 [  ]", "zapis i odczyt możliwy", 255, 0xC0},
    {"B1 [ x ] ;  B2 [  ]", "blokada zapisu", 253, 0x40},
    {"B1 [ x ] ; B2 [ x ]", "blokada zapisu i odczytu", 249, 0x00},
};
constexpr TrybyBlokady kDwaBity{kTryby3, 0xC0};

// Parts with three lock bits: bits 7..5 of the byte written and of the 'F' answer.
constexpr TrybBlokady kTryby4[] = {
    {"B1 [  ] ; B2 [  ] ; B3 [  ]", "zapis i odczyt możliwy", 255, 0xE0},
    {"B1 [ x ] ;  B2 [  ] ; B3 [  ]", "próbkowanie EA w czasie resetu", 127, 0x60},
    {"B1 [ x ] ; B2 [ x ] ; B3 [  ]", "jak wyżej + blokada  odczytu ", 63, 0x20},
    {"B1 [ x ] ; B2 [ x ] ; B3 [ x ]", "jak wyżej + blokada zapisu ", 31, 0x00},
};
constexpr TrybyBlokady kTrzyBity{kTryby4, 0xE0};

// A byte of a block takes about 4 ms on the AT90S parts; the bound leaves room for more.
// Their erase ends within the answer's usual bound.
constexpr CzasyUkladu kCzasy{20, 0};

constexpr KodyUkladu kod(std::uint8_t k) {
  return {{k, 0, 0, 0}, 1};
}

// AT89C51, AT89C52 and AT89S8252 carry the parts' real memory sizes (4 KB, 8 KB and
// 8 KB + 2 KB EEPROM): smaller values would make a read return part of the memory as
// if it were all of it.
// The 8051 parts' signatures are those their parallel-programming datasheets list for
// the 12 V parts (the third byte 0xFF: a 5 V-programming part reads 0x05 there and is
// no part of this table). The x051 parts list two bytes only; the AT89S parts' third
// byte is not confirmed.
// clang-format off
constexpr Uklad kWiersze[] = {
    {.nazwa = "AT89C51", .rozmiar_flash = 4096, .rozmiar_eeprom = 0, .adresowanie_bajtowe = 1,
     .kod_ukladu = 12, .grupa_eeprom = false, .liczba_trybow = 4,
     .checkbox1 = "", .checkbox2 = "",
     .krotka = "AT89C51", .kody_avr910 = kod(12), .sygnatura = {{0x1E, 0x51, 0xFF}, 3, true},
     .rozmiar_strony = 0, .tryby = &kTrzyBity, .odczyt_F = OdczytF::brak, .bity_pol = {-1, -1},
     .rownolegly_12v = true, .czasy = kCzasy, .bezpieczniki = {}, .avr = false},
    {.nazwa = "AT89C52", .rozmiar_flash = 8192, .rozmiar_eeprom = 0, .adresowanie_bajtowe = 1,
     .kod_ukladu = 12, .grupa_eeprom = false, .liczba_trybow = 4,
     .checkbox1 = "", .checkbox2 = "",
     .krotka = "AT89C52", .kody_avr910 = kod(12), .sygnatura = {{0x1E, 0x52, 0xFF}, 3, true},
     .rozmiar_strony = 0, .tryby = &kTrzyBity, .odczyt_F = OdczytF::brak, .bity_pol = {-1, -1},
     .rownolegly_12v = true, .czasy = kCzasy, .bezpieczniki = {}, .avr = false},
    {.nazwa = "AT89C55", .rozmiar_flash = 20480, .rozmiar_eeprom = 0, .adresowanie_bajtowe = 1,
     .kod_ukladu = 12, .grupa_eeprom = false, .liczba_trybow = 4,
     .checkbox1 = "", .checkbox2 = "",
     .krotka = "AT89C55", .kody_avr910 = kod(12), .sygnatura = {{0x1E, 0x55, 0xFF}, 3, false},
     .rozmiar_strony = 0, .tryby = &kTrzyBity, .odczyt_F = OdczytF::brak, .bity_pol = {-1, -1},
     .rownolegly_12v = true, .czasy = kCzasy, .bezpieczniki = {}, .avr = false},
    {.nazwa = "AT89C1051", .rozmiar_flash = 512, .rozmiar_eeprom = 0, .adresowanie_bajtowe = 0,
     .kod_ukladu = 12, .grupa_eeprom = false, .liczba_trybow = 3,
     .checkbox1 = "", .checkbox2 = "",
     .krotka = "AT89C1051", .kody_avr910 = kod(12), .sygnatura = {{0x1E, 0x11, 0xFF}, 2, true},
     .rozmiar_strony = 0, .tryby = &kDwaBity, .odczyt_F = OdczytF::brak, .bity_pol = {-1, -1},
     .rownolegly_12v = true, .czasy = kCzasy, .bezpieczniki = {}, .avr = false},
    {.nazwa = "AT89C2051", .rozmiar_flash = 1024, .rozmiar_eeprom = 0, .adresowanie_bajtowe = 0,
     .kod_ukladu = 12, .grupa_eeprom = false, .liczba_trybow = 3,
     .checkbox1 = "", .checkbox2 = "",
     .krotka = "AT89C2051", .kody_avr910 = kod(12), .sygnatura = {{0x1E, 0x21, 0xFF}, 2, true},
     .rozmiar_strony = 0, .tryby = &kDwaBity, .odczyt_F = OdczytF::brak, .bity_pol = {-1, -1},
     .rownolegly_12v = true, .czasy = kCzasy, .bezpieczniki = {}, .avr = false},
    {.nazwa = "AT89C4051", .rozmiar_flash = 2048, .rozmiar_eeprom = 0, .adresowanie_bajtowe = 0,
     .kod_ukladu = 12, .grupa_eeprom = false, .liczba_trybow = 3,
     .checkbox1 = "", .checkbox2 = "",
     .krotka = "AT89C4051", .kody_avr910 = kod(12), .sygnatura = {{0x1E, 0x41, 0xFF}, 2, true},
     .rozmiar_strony = 0, .tryby = &kDwaBity, .odczyt_F = OdczytF::brak, .bity_pol = {-1, -1},
     .rownolegly_12v = true, .czasy = kCzasy, .bezpieczniki = {}, .avr = false},
    // SPIEN is bit 0 of its fuse byte and of the 'F' answer; its lock bits are three.
    {.nazwa = "AT89S8252", .rozmiar_flash = 8192, .rozmiar_eeprom = 2048, .adresowanie_bajtowe = 1,
     .kod_ukladu = 134, .grupa_eeprom = true, .liczba_trybow = 4,
     .checkbox1 = "", .checkbox2 = "Programowanie SPI (SPIEN)",
     .krotka = "AT89S8252", .kody_avr910 = kod(134), .sygnatura = {{0x1E, 0x72, 0x06}, 2, false},
     .rozmiar_strony = 0, .tryby = &kTrzyBity, .odczyt_F = OdczytF::bitami, .bity_pol = {-1, 0},
     .rownolegly_12v = false, .czasy = kCzasy, .bezpieczniki = {}, .avr = false},
    {.nazwa = "AT89S53", .rozmiar_flash = 12288, .rozmiar_eeprom = 0, .adresowanie_bajtowe = 1,
     .kod_ukladu = 12, .grupa_eeprom = false, .liczba_trybow = 4,
     .checkbox1 = " ", .checkbox2 = " ",
     .krotka = "AT89S53", .kody_avr910 = kod(12), .sygnatura = {{0x1E, 0x53, 0x06}, 2, false},
     .rozmiar_strony = 0, .tryby = &kTrzyBity, .odczyt_F = OdczytF::brak, .bity_pol = {-1, -1},
     .rownolegly_12v = true, .czasy = kCzasy, .bezpieczniki = {}, .avr = false},
    {.nazwa = "AT90S1200", .rozmiar_flash = 512, .rozmiar_eeprom = 64, .adresowanie_bajtowe = 0,
     .kod_ukladu = 19, .grupa_eeprom = true, .liczba_trybow = 3,
     .checkbox1 = "Wewnętrzny oscylator (RCEN)", .checkbox2 = "Programowanie SPI (SPIEN)",
     .krotka = "AT90S1200", .kody_avr910 = kod(19), .sygnatura = {{0x1E, 0x90, 0x01}, 3, true},
     .rozmiar_strony = 0, .tryby = &kDwaBity, .odczyt_F = OdczytF::bitami, .bity_pol = {0, 5},
     .rownolegly_12v = false, .czasy = kCzasy, .bezpieczniki = {}, .avr = true},
    {.nazwa = ".AT90S2313", .rozmiar_flash = 1024, .rozmiar_eeprom = 128, .adresowanie_bajtowe = 0,
     .kod_ukladu = 32, .grupa_eeprom = true, .liczba_trybow = 3,
     .checkbox1 = "Szybki start (FSTRT)", .checkbox2 = "Programowanie SPI (SPIEN)",
     .krotka = "AT90S2313", .kody_avr910 = kod(32), .sygnatura = {{0x1E, 0x91, 0x01}, 3, true},
     .rozmiar_strony = 0, .tryby = &kDwaBity, .odczyt_F = OdczytF::bitami, .bity_pol = {0, 5},
     .rownolegly_12v = false, .czasy = kCzasy, .bezpieczniki = {}, .avr = true},
    {.nazwa = "AT90S4414 /34", .rozmiar_flash = 2048, .rozmiar_eeprom = 256, .adresowanie_bajtowe = 0,
     .kod_ukladu = 40, .grupa_eeprom = true, .liczba_trybow = 3,
     .checkbox1 = "Szybki start (FSTRT)", .checkbox2 = "Programowanie SPI (SPIEN)",
     .krotka = "AT90S4414", .kody_avr910 = kod(40), .sygnatura = {{0x1E, 0x92, 0x01}, 3, true},
     .rozmiar_strony = 0, .tryby = &kDwaBity, .odczyt_F = OdczytF::bitami, .bity_pol = {0, 5},
     .rownolegly_12v = false, .czasy = kCzasy, .bezpieczniki = {}, .avr = true},
    {.nazwa = "AT90S8515 /35", .rozmiar_flash = 4096, .rozmiar_eeprom = 512, .adresowanie_bajtowe = 0,
     .kod_ukladu = 56, .grupa_eeprom = true, .liczba_trybow = 3,
     .checkbox1 = "Szybki start (FSTRT)", .checkbox2 = "Programowanie SPI (SPIEN)",
     .krotka = "AT90S8515", .kody_avr910 = kod(56), .sygnatura = {{0x1E, 0x93, 0x01}, 3, true},
     .rozmiar_strony = 0, .tryby = &kDwaBity, .odczyt_F = OdczytF::bitami, .bity_pol = {0, 5},
     .rownolegly_12v = false, .czasy = kCzasy, .bezpieczniki = {}, .avr = true},
};
// clang-format on

}  // namespace

const std::span<const Uklad> kUklady{kWiersze};

bool sygnatura_pasuje(const Uklad& u, const std::array<std::uint8_t, 3>& adresowo) {
  const SygnaturaUkladu& s = u.sygnatura;
  for (std::size_t i = 0; i < s.znaczace; ++i) {
    if (s.bajty[i] != adresowo[i]) return false;
  }
  return true;
}

bool sygnatura_pasuje(int indeks, const std::array<std::uint8_t, 3>& adresowo) {
  if (indeks < 0 || static_cast<std::size_t>(indeks) >= kUklady.size()) return false;
  return sygnatura_pasuje(kUklady[static_cast<std::size_t>(indeks)], adresowo);
}

int uklad_o_sygnaturze(const std::array<std::uint8_t, 3>& adresowo) {
  for (std::size_t i = 0; i < kUklady.size(); ++i) {
    if (sygnatura_pasuje(kUklady[i], adresowo)) return static_cast<int>(i);
  }
  return -1;
}

std::string tekst_sygnatury_ukladu(int indeks) {
  if (indeks < 0 || static_cast<std::size_t>(indeks) >= kUklady.size()) return {};
  return tekst_sygnatury_ukladu(kUklady[static_cast<std::size_t>(indeks)]);
}

std::string tekst_sygnatury_ukladu(const Uklad& u) {
  std::string t;
  const SygnaturaUkladu& s = u.sygnatura;
  static constexpr char kCyfry[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < s.znaczace; ++i) {
    if (!t.empty()) t += ' ';
    t += kCyfry[s.bajty[i] >> 4];
    t += kCyfry[s.bajty[i] & 0xF];
  }
  return t;
}

namespace {
// The name without blanks around it, the leading full stop and the " /NN" suffix.
std::string_view rdzen(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  if (!s.empty() && s.front() == '.') s.remove_prefix(1);
  auto ukosnik = s.rfind(" /");
  if (ukosnik != std::string_view::npos) s = s.substr(0, ukosnik);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

std::string klucz(std::string_view s) {
  std::string k;
  for (char c : rdzen(s)) k += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return k;
}
}  // namespace

std::string nazwa_krotka(const Uklad& u) {
  return u.krotka;
}

std::string nazwy_ukladow() {
  std::string nazwy;
  for (const Uklad& u : kUklady) {
    if (!nazwy.empty()) nazwy += ", ";
    nazwy += nazwa_krotka(u);
  }
  return nazwy;
}

bool ma_bezpiecznik(const Uklad& u, int ktory) {
  const std::string_view podpis = ktory == 1 ? u.checkbox1 : u.checkbox2;
  return podpis.find_first_not_of(' ') != std::string_view::npos;
}

int znajdz_uklad(std::string_view nazwa) {
  const std::string szukany = klucz(nazwa);
  if (szukany.empty()) return -1;
  for (std::size_t i = 0; i < kUklady.size(); ++i) {
    if (klucz(kUklady[i].nazwa) == szukany || klucz(kUklady[i].krotka) == szukany)
      return static_cast<int>(i);
  }
  return -1;
}

}  // namespace ostrel
