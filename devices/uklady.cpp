#include "devices/uklady.h"

#include <cctype>
#include <string>

namespace ostrel {

// AT89C51, AT89C52 and AT89S8252 carry the parts' real memory sizes (4 KB, 8 KB and
// 8 KB + 2 KB EEPROM): smaller values would make a read return part of the memory as
// if it were all of it.
const std::array<Uklad, kLiczbaUkladow> kUklady = {{
    {"AT89C51", 4096, 0, 1, 12, false, 4, "", ""},
    {"AT89C52", 8192, 0, 1, 12, false, 4, "", ""},
    {"AT89C55", 20480, 0, 1, 12, false, 4, "", ""},
    {"AT89C1051", 512, 0, 0, 12, false, 3, "", ""},
    {"AT89C2051", 1024, 0, 0, 12, false, 3, "", ""},
    {"AT89C4051", 2048, 0, 0, 12, false, 3, "", ""},
    {"AT89S8252", 8192, 2048, 1, 134, true, 4, "", "Programowanie SPI (SPIEN)"},
    {"AT89S53", 12288, 0, 1, 12, false, 4, " ", " "},
    {"AT90S1200", 512, 64, 0, 19, true, 3, "Wewnętrzny oscylator (RCEN)",
     "Programowanie SPI (SPIEN)"},
    {".AT90S2313", 1024, 128, 0, 32, true, 3, "Szybki start (FSTRT)", "Programowanie SPI (SPIEN)"},
    {"AT90S4414 /34", 2048, 256, 0, 40, true, 3, "Szybki start (FSTRT)",
     "Programowanie SPI (SPIEN)"},
    {"AT90S8515 /35", 4096, 512, 0, 56, true, 3, "Szybki start (FSTRT)",
     "Programowanie SPI (SPIEN)"},
}};

// The 8051 parts' signatures are those their parallel-programming datasheets list for
// the 12 V parts (the third byte 0xFF: a 5 V-programming part reads 0x05 there and is
// no part of this table). The x051 parts list two bytes only; the AT89S parts' third
// byte is not confirmed.
const std::array<SygnaturaUkladu, kLiczbaUkladow> kSygnatury = {{
    {{0x1E, 0x51, 0xFF}, 3, true},   // AT89C51
    {{0x1E, 0x52, 0xFF}, 3, true},   // AT89C52
    {{0x1E, 0x55, 0xFF}, 3, false},  // AT89C55
    {{0x1E, 0x11, 0xFF}, 2, true},   // AT89C1051
    {{0x1E, 0x21, 0xFF}, 2, true},   // AT89C2051
    {{0x1E, 0x41, 0xFF}, 2, true},   // AT89C4051
    {{0x1E, 0x72, 0x06}, 2, false},  // AT89S8252
    {{0x1E, 0x53, 0x06}, 2, false},  // AT89S53
    {{0x1E, 0x90, 0x01}, 3, true},   // AT90S1200
    {{0x1E, 0x91, 0x01}, 3, true},   // AT90S2313
    {{0x1E, 0x92, 0x01}, 3, true},   // AT90S4414
    {{0x1E, 0x93, 0x01}, 3, true},   // AT90S8515
}};

bool sygnatura_pasuje(int indeks, const std::array<std::uint8_t, 3>& adresowo) {
  if (indeks < 0 || indeks >= kLiczbaUkladow) return false;
  const SygnaturaUkladu& s = kSygnatury[static_cast<std::size_t>(indeks)];
  for (std::size_t i = 0; i < s.znaczace; ++i) {
    if (s.bajty[i] != adresowo[i]) return false;
  }
  return true;
}

int uklad_o_sygnaturze(const std::array<std::uint8_t, 3>& adresowo) {
  for (int i = 0; i < kLiczbaUkladow; ++i) {
    if (sygnatura_pasuje(i, adresowo)) return i;
  }
  return -1;
}

std::string tekst_sygnatury_ukladu(int indeks) {
  std::string t;
  if (indeks < 0 || indeks >= kLiczbaUkladow) return t;
  const SygnaturaUkladu& s = kSygnatury[static_cast<std::size_t>(indeks)];
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
  return std::string(rdzen(u.nazwa));
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
  for (int i = 0; i < kLiczbaUkladow; ++i) {
    if (klucz(kUklady[static_cast<std::size_t>(i)].nazwa) == szukany) return i;
  }
  return -1;
}

}  // namespace ostrel
