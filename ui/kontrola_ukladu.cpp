#include "ui/kontrola_ukladu.h"

#include "protocol/zgodnosc_ukladu.h"

namespace ostrel {

KontrolaUkladu sprawdz_uklad(Programator& p) {
  KontrolaUkladu k;
  if (p.tryb_demo == 1) return k;
  const Uklad u = p.uklad();
  if (u.sygnatura.znaczace == 0) return k;
  OdczytSygnatury o;
  if (p.czytaj_sygnature_ukladu(u, o) != Wynik::ok) {
    k.dalej = KontrolaUkladu::Dalej::koniec;
    return k;
  }
  switch (zgodnosc_ukladu(u, o)) {
    case ZgodnoscUkladu::zgodny:
    case ZgodnoscUkladu::bez_odpowiedzi:
      return k;
    case ZgodnoscUkladu::brak_ukladu:
    case ZgodnoscUkladu::inny:
      break;
  }
  k.dalej = KontrolaUkladu::Dalej::pytanie;
  k.opis = opis_innego_ukladu(u, o);
  return k;
}

bool operacja_zapisuje(const Programator& p, int kod) {
  if (kod != 4 && kod != 5) return false;
  const bool flash = kod == 4;
  if (p.tryb_demo == 1 || p.nazwa_pliku.empty() || (!flash && p.rozmiar_eeprom == 0)) return false;
  // A file the operation refuses is reported by it, before anything is sent.
  Strumien obraz;
  std::string tekst;
  return wczytaj_hex(p.nazwa_pliku, obraz, tekst, p.pojemnosc(flash), nullptr,
                     flash ? PamiecElf::flash : PamiecElf::eeprom) == Wynik::ok;
}

std::string pytanie_o_uklad(const std::string& opis, const char* pytanie) {
  std::string t = opis;
  // The check's words begin a sentence here.
  if (!t.empty() && t[0] >= 'a' && t[0] <= 'z') t[0] = static_cast<char>(t[0] - 'a' + 'A');
  return t + ".\n\n" + pytanie;
}

}  // namespace ostrel
