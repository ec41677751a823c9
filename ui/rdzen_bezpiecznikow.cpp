#include "ui/rdzen_bezpiecznikow.h"

#include <string_view>

namespace ostrel {

namespace {

bool zaprogramowany(std::uint8_t bajt, std::uint8_t bit) {
  return (bajt >> bit & 1u) == 0;
}

// Nothing is read from or written to a part other than the one chosen.
OdczytBezpiecznikow sprawdz_uklad(Sterownik& s, const Uklad& u) {
  OdczytBezpiecznikow o;
  OdczytSygnatury sg;
  o.wynik = sygnatura(s, u, sg);
  if (!o.wynik.ok()) return o;
  o.sygnatura = {sg.bajty[2], sg.bajty[1], sg.bajty[0]};
  o.inny_uklad = sg.odebrane < 3 || !sygnatura_pasuje(u, o.sygnatura);
  return o;
}

}  // namespace

OcenaBezpiecznikow ocen_bezpieczniki(const Uklad& u, const std::vector<std::uint8_t>& stare,
                                     const std::vector<std::optional<std::uint8_t>>& nowe) {
  OcenaBezpiecznikow o;
  for (std::size_t i = 0; i < u.bezpieczniki.size() && i < nowe.size() && i < stare.size(); ++i) {
    if (!nowe[i]) continue;
    const std::uint8_t v = *nowe[i];
    const bool niski = std::string_view(u.bezpieczniki[i].nazwa) == "lfuse";
    const unsigned zrodlo = v & u.zegar.maska;
    const bool zewnetrzny = niski && u.zegar.maska != 0 && zrodlo != (stare[i] & u.zegar.maska) &&
                            (u.zegar.wewnetrzne >> zrodlo & 1u) == 0;
    for (const BitBezpiecznika& b : u.bezpieczniki[i].bity) {
      const std::string_view n = b.nazwa;
      if (n == "SPIEN" && !zaprogramowany(v, b.bit)) {
        o.odmowy.push_back("SPIEN niezaprogramowany (wyłącza programowanie szeregowe)");
      } else if (n == "RSTDISBL" && zaprogramowany(v, b.bit)) {
        o.odmowy.push_back("RSTDISBL zaprogramowany (nóżka RESET staje się portem)");
      } else if (n == "DWEN" && zaprogramowany(v, b.bit)) {
        o.odmowy.push_back("DWEN zaprogramowany (RESET przejmuje debugWIRE)");
      } else if (zewnetrzny && (u.zegar.maska >> b.bit & 1u) != 0 &&
                 ((v ^ stare[i]) >> b.bit & 1u) != 0) {
        o.zegar.push_back(b.nazwa);
      }
    }
  }
  return o;
}

OdczytBezpiecznikow czytaj_bajty_bezpiecznikow(Sterownik& s, const Uklad& u) {
  OdczytBezpiecznikow o = sprawdz_uklad(s, u);
  if (o.wynik.ok() && !o.inny_uklad) o.wynik = czytaj_bezpieczniki(s, u, o.bajty);
  return o;
}

OdczytBezpiecznikow zapisz_bajty_bezpiecznikow(
    Sterownik& s, const Uklad& u, const std::vector<std::optional<std::uint8_t>>& zapis) {
  OdczytBezpiecznikow o = sprawdz_uklad(s, u);
  if (!o.wynik.ok() || o.inny_uklad) return o;
  std::vector<ZapisBezpiecznika> zapisy;
  for (std::size_t i = 0; i < zapis.size() && i < u.bezpieczniki.size(); ++i) {
    if (zapis[i]) zapisy.push_back({i, *zapis[i]});
  }
  o.wynik = zapisz_bezpieczniki(s, u, zapisy);
  if (!o.wynik.ok() && o.wynik.koniec != Koniec::niezgodnosc) return o;
  // Every byte as the chip now holds it, for the editor to show.
  const WynikOperacji odczyt = czytaj_bezpieczniki(s, u, o.bajty);
  if (!odczyt.ok()) o.wynik = odczyt;
  return o;
}

}  // namespace ostrel
