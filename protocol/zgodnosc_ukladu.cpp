#include "protocol/zgodnosc_ukladu.h"

#include <cstddef>

namespace ostrel {

std::string tekst_bajtow(const std::array<std::uint8_t, 3>& b) {
  static constexpr char kCyfry[] = "0123456789ABCDEF";
  std::string t;
  for (const std::uint8_t x : b) {
    if (!t.empty()) t += ' ';
    t += kCyfry[x >> 4];
    t += kCyfry[x & 0xF];
  }
  return t;
}

bool pusta_sygnatura(const std::array<std::uint8_t, 3>& b) {
  return (b[0] == 0xFF && b[1] == 0xFF && b[2] == 0xFF) || (b[0] == 0 && b[1] == 0 && b[2] == 0);
}

std::array<std::uint8_t, 3> sygnatura_adresowo(const std::array<std::uint8_t, 3>& odebrane) {
  return {odebrane[2], odebrane[1], odebrane[0]};
}

std::array<std::uint8_t, 3> sygnatura_adresowo(const OdczytSygnatury& o) {
  return sygnatura_adresowo(o.bajty);
}

ZgodnoscUkladu zgodnosc_ukladu(const Uklad& u, const OdczytSygnatury& o) {
  if (u.sygnatura.znaczace == 0) return ZgodnoscUkladu::zgodny;
  if (o.odebrane < 3) return ZgodnoscUkladu::bez_odpowiedzi;
  const auto a = sygnatura_adresowo(o);
  if (pusta_sygnatura(a)) return ZgodnoscUkladu::brak_ukladu;
  return sygnatura_pasuje(u, a) ? ZgodnoscUkladu::zgodny : ZgodnoscUkladu::inny;
}

std::string opis_innego_ukladu(const Uklad& wybrany, const OdczytSygnatury& o) {
  const auto a = sygnatura_adresowo(o);
  std::string t = "wybrano układ " + nazwa_krotka(wybrany) + " (sygnatura " +
                  tekst_sygnatury_ukladu(wybrany) + "), a układ w podstawce ma sygnaturę " +
                  tekst_bajtow(a);
  if (pusta_sygnatura(a)) return t + " (brak układu?)";
  const int znaleziony = uklad_o_sygnaturze(a);
  return t + (znaleziony >= 0
                  ? ", czyli " + nazwa_krotka(kUklady[static_cast<std::size_t>(znaleziony)])
                  : ", której nie ma żaden znany układ");
}

}  // namespace ostrel
