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
