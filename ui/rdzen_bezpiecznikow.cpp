#include "ui/rdzen_bezpiecznikow.h"

#include <string_view>

namespace ostrel {

namespace {

constexpr std::uint8_t kKropka = '.';
constexpr std::uint8_t kCR = '\r';

// The universal command: four SPI bytes out, the fourth one's answer back, then CR. An
// answer that does not end so is no answer to it.
std::uint8_t uniwersalne(Lacze& l, const std::array<std::uint8_t, 4>& spi, bool& zla) {
  l.wyslij(kKropka);
  l.wyslij_dane(spi.data(), spi.size());
  const std::uint8_t b = l.czekaj_na_bajt();
  if (l.czekaj_na_bajt() != kCR) zla = true;
  return b;
}

bool zaprogramowany(std::uint8_t bajt, std::uint8_t bit) {
  return (bajt >> bit & 1u) == 0;
}

// The whole conversation: code, programming mode, the chip's signature checked before
// anything is written, the writes, every byte read back, the closing 'L'.
OdczytBezpiecznikow rozmowa(Sterownik& s, const Uklad& u,
                            const std::vector<std::optional<std::uint8_t>>& zapis) {
  OdczytBezpiecznikow o;
  try {
    if (!s.obsluguje(u)) {
      o.wynik.koniec = Koniec::odmowa;
      o.wynik.powod = Odmowa::nieobslugiwany;
      return o;
    }
    Lacze& l = s.lacze();
    l.oproznij_wejscie();
    s.wybierz(u);
    s.wejdz();
    const OdczytSygnatury sg = s.sygnatura(true);
    o.sygnatura = {sg.bajty[2], sg.bajty[1], sg.bajty[0]};
    if (sg.odebrane < 3 || !sygnatura_pasuje(u, o.sygnatura)) {
      s.zamknij();
      o.inny_uklad = true;
      return o;
    }
    bool zla = false;
    for (std::size_t i = 0; i < u.bezpieczniki.size() && i < zapis.size(); ++i) {
      if (!zapis[i]) continue;
      const auto& z = u.bezpieczniki[i].zapis;
      uniwersalne(l, {z[0], z[1], z[2], *zapis[i]}, zla);
    }
    for (const BajtBezpiecznikow& b : u.bezpieczniki)
      o.bajty.push_back(uniwersalne(l, b.odczyt, zla));
    s.zamknij();
    if (zla) {
      o.wynik.koniec = Koniec::zla_odpowiedz;
      o.bajty.clear();
    }
  } catch (const PorzucenieOperacji& e) {
    o.bajty.clear();
    switch (e.powod) {
      case Przerwanie::brak_odpowiedzi:
        o.wynik.koniec = Koniec::brak_odpowiedzi;
        break;
      case Przerwanie::urzadzenie:
        o.wynik.koniec = Koniec::urzadzenie;
        break;
      case Przerwanie::sygnal:
        o.wynik.koniec = Koniec::przerwano;
        break;
    }
  }
  return o;
}

}  // namespace

OcenaBezpiecznikow ocen_bezpieczniki(const Uklad& u, const std::vector<std::uint8_t>& stare,
                                     const std::vector<std::optional<std::uint8_t>>& nowe) {
  OcenaBezpiecznikow o;
  for (std::size_t i = 0; i < u.bezpieczniki.size() && i < nowe.size() && i < stare.size(); ++i) {
    if (!nowe[i]) continue;
    const std::uint8_t v = *nowe[i];
    for (const BitBezpiecznika& b : u.bezpieczniki[i].bity) {
      const std::string_view n = b.nazwa;
      if (n == "SPIEN" && !zaprogramowany(v, b.bit)) {
        o.odmowy.push_back("SPIEN niezaprogramowany (wyłącza programowanie szeregowe)");
      } else if (n == "RSTDISBL" && zaprogramowany(v, b.bit)) {
        o.odmowy.push_back("RSTDISBL zaprogramowany (nóżka RESET staje się portem)");
      } else if (n == "DWEN" && zaprogramowany(v, b.bit)) {
        o.odmowy.push_back("DWEN zaprogramowany (RESET przejmuje debugWIRE)");
      } else if (n.substr(0, 5) == "CKSEL" && ((v ^ stare[i]) >> b.bit & 1u) != 0) {
        o.zegar.push_back(b.nazwa);
      }
    }
  }
  return o;
}

OdczytBezpiecznikow czytaj_bezpieczniki(Sterownik& s, const Uklad& u) {
  return rozmowa(s, u, {});
}

OdczytBezpiecznikow zapisz_bezpieczniki(Sterownik& s, const Uklad& u,
                                        const std::vector<std::optional<std::uint8_t>>& zapis) {
  return rozmowa(s, u, zapis);
}

}  // namespace ostrel
