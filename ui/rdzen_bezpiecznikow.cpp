#include "ui/rdzen_bezpiecznikow.h"

#include <string_view>

#include "protocol/bezpieczniki.h"

namespace ostrel {

namespace {

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

OcenaBezpiecznikow ocen_bezpieczniki(const Uklad& u,
                                     const std::vector<std::optional<std::uint8_t>>& obecne,
                                     const std::vector<std::optional<std::uint8_t>>& nowe) {
  OcenaBezpiecznikow o;
  for (std::size_t i = 0; i < u.bezpieczniki.size() && i < nowe.size(); ++i) {
    if (!nowe[i]) continue;
    const OcenaBezpiecznika ocena =
        ocen_bezpiecznik(u, i, *nowe[i], i < obecne.size() ? obecne[i] : std::nullopt);
    for (const char* nazwa : ocena.konczace) {
      // The bit's new state is what ends programming: said as datasheets say it.
      bool programowany = false;
      for (const BitBezpiecznika& b : u.bezpieczniki[i].bity) {
        if (std::string_view(b.nazwa) == nazwa) programowany = (*nowe[i] >> b.bit & 1u) == 0;
      }
      o.odmowy.push_back(std::string(u.bezpieczniki[i].nazwa) + ": " + nazwa +
                         (programowany ? " zaprogramowany" : " niezaprogramowany"));
    }
    o.zegar.insert(o.zegar.end(), ocena.zegar.begin(), ocena.zegar.end());
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
