// The operations over the programmer interface. Their conversations are the window's:
// which commands come in which order, which answers are awaited.
#include "protocol/operacje.h"

namespace ostrel {

namespace {

WynikOperacji porzucone(const PorzucenieOperacji& e) {
  WynikOperacji w;
  switch (e.powod) {
    case Przerwanie::brak_odpowiedzi:
      w.koniec = Koniec::brak_odpowiedzi;
      break;
    case Przerwanie::urzadzenie:
      w.koniec = Koniec::urzadzenie;
      break;
    case Przerwanie::sygnal:
      w.koniec = Koniec::przerwano;
      break;
    case Przerwanie::zla_odpowiedz:
      w.koniec = Koniec::zla_odpowiedz;
      w.polecenie = e.polecenie;
      w.odpowiedz = e.odpowiedz;
      break;
  }
  return w;
}

WynikOperacji odmowa(Odmowa p) {
  WynikOperacji w;
  w.koniec = Koniec::odmowa;
  w.powod = p;
  return w;
}

// Runs `f` and turns a wait that gave up into its result.
template <class F>
WynikOperacji przebieg(F&& f) {
  try {
    return f();
  } catch (const PorzucenieOperacji& e) {
    return porzucone(e);
  }
}

// A byte after a run's last answer: some answer was not the one asked for (a stray byte
// moves every later one along), so neither the bytes read nor a comparison made with
// them can be trusted. Programming mode is left without awaiting what 'L' gets back.
bool nadmiar_po_odczycie(Sterownik& s) {
  if (!s.lacze().nadmiar()) return false;
  s.zamknij();
  return true;
}

WynikOperacji nadmiar() {
  WynikOperacji w;
  w.koniec = Koniec::zla_odpowiedz;
  w.nadmiar = true;
  return w;
}

// The file covers the memory from 0 without a gap (or names no runs): the whole image
// goes, in the conversation it always had.
bool w_calosci(const std::vector<Przebieg>& p, std::size_t rozmiar) {
  return p.empty() || (p.size() == 1 && p[0].od == 0 && p[0].do_ >= rozmiar);
}

}  // namespace

Odmowa sprawdz_zakres(const Sterownik& s, const Uklad& u, Pamiec m, std::size_t bajty) {
  const bool flash = m == Pamiec::flash;
  if (bajty > u.bajty(flash)) return Odmowa::za_duzy;
  const std::size_t jednostki = flash && u.adresowanie_bajtowe == 0 ? (bajty + 1) / 2 : bajty;
  // 'A' carries 16 bits: a unit beyond them would be written over the memory's start.
  if (jednostki > 0 && jednostki - 1 > s.najwyzszy_adres()) return Odmowa::adres_poza_zasiegiem;
  return Odmowa::brak;
}

WynikOperacji programuj(Sterownik& s, const Uklad& u, Pamiec m, Strumien& obraz,
                        const OpcjeProgramowania& o, const Postep& postep) {
  if (const Odmowa z = sprawdz_zakres(s, u, m, obraz.rozmiar()); z != Odmowa::brak)
    return odmowa(z);
  return przebieg([&]() -> WynikOperacji {
    if (!s.obsluguje(u)) return odmowa(Odmowa::nieobslugiwany);
    if (!o.w_trybie) {
      if (o.oproznij) s.lacze().oproznij_wejscie();
      s.wybierz(u);
      s.wejdz();
    }
    if (m == Pamiec::flash && o.kasowanie) {
      s.kasuj(u);
      if (!u.jedna_sesja) {
        s.wyjdz();
        s.wejdz();
      }
    }
    const bool czesciami = m == Pamiec::eeprom && !w_calosci(o.przebiegi, obraz.rozmiar());
    if (czesciami) {
      s.zapisz_przebiegi(u, obraz, o.przebiegi, postep);
    } else {
      s.zapisz(u, m, obraz, postep);
    }
    if (m == Pamiec::flash) postep(0, 1);
    WynikOperacji w;
    if (!u.jedna_sesja) s.wejdz();
    const bool zgodne = czesciami ? s.weryfikuj_przebiegi(u, obraz, o.przebiegi, postep, w.roznica)
                                  : s.weryfikuj(u, m, obraz, postep, w.roznica);
    if (nadmiar_po_odczycie(s)) return nadmiar();
    if (!zgodne) w.koniec = Koniec::niezgodnosc;
    s.wyjdz();
    return w;
  });
}

WynikOperacji weryfikuj(Sterownik& s, const Uklad& u, Pamiec m, Strumien& obraz,
                        const Postep& postep, bool oproznij, bool w_trybie,
                        const std::vector<Przebieg>& przebiegi) {
  if (const Odmowa z = sprawdz_zakres(s, u, m, obraz.rozmiar()); z != Odmowa::brak)
    return odmowa(z);
  return przebieg([&]() -> WynikOperacji {
    if (!s.obsluguje(u)) return odmowa(Odmowa::nieobslugiwany);
    if (!w_trybie) {
      if (oproznij) s.lacze().oproznij_wejscie();
      s.wybierz(u);
      s.wejdz();
    }
    WynikOperacji w;
    s.wejdz();
    const bool zgodne = m == Pamiec::eeprom && !w_calosci(przebiegi, obraz.rozmiar())
                            ? s.weryfikuj_przebiegi(u, obraz, przebiegi, postep, w.roznica)
                            : s.weryfikuj(u, m, obraz, postep, w.roznica);
    if (nadmiar_po_odczycie(s)) return nadmiar();
    if (!zgodne) w.koniec = Koniec::niezgodnosc;
    s.wyjdz();
    return w;
  });
}

WynikOperacji czytaj(Sterownik& s, const Uklad& u, Pamiec m, Strumien& obraz, const Postep& postep,
                     bool w_trybie) {
  if (const Odmowa z = sprawdz_zakres(s, u, m, u.bajty(m == Pamiec::flash)); z != Odmowa::brak)
    return odmowa(z);
  return przebieg([&]() -> WynikOperacji {
    if (!s.obsluguje(u)) return odmowa(Odmowa::nieobslugiwany);
    if (!w_trybie) {
      s.wybierz(u);
      s.wejdz();
    }
    s.czytaj(u, m, obraz, postep);
    if (nadmiar_po_odczycie(s)) return nadmiar();
    s.zamknij();
    return {};
  });
}

WynikOperacji kasuj(Sterownik& s, const Uklad& u, bool w_trybie) {
  return przebieg([&]() -> WynikOperacji {
    if (!s.obsluguje(u)) return odmowa(Odmowa::nieobslugiwany);
    if (!w_trybie) {
      s.wybierz(u);
      s.wejdz();
    }
    s.kasuj(u);
    s.zamknij();
    return {};
  });
}

WynikOperacji zapisz_bity(Sterownik& s, const Uklad& u, std::uint8_t lock,
                          std::optional<std::uint8_t> fuse) {
  return przebieg([&]() -> WynikOperacji {
    if (!s.obsluguje(u)) return odmowa(Odmowa::nieobslugiwany);
    s.wybierz(u);
    s.wejdz();
    s.zapisz_lock(lock);
    if (fuse) s.zapisz_fuse(*fuse);
    s.wyjdz();
    return {};
  });
}

namespace {

// The bits of a fuse or lock byte the part has: only they are compared after a write
// (the others read 1 whatever was written).
std::uint8_t nazwane_bity(const BajtBezpiecznikow& b) {
  std::uint8_t maska = 0;
  for (const BitBezpiecznika& bit : b.bity) maska |= static_cast<std::uint8_t>(1u << bit.bit);
  return maska;
}

WynikOperacji zla_odpowiedz() {
  WynikOperacji w;
  w.koniec = Koniec::zla_odpowiedz;
  return w;
}

}  // namespace

WynikOperacji czytaj_bezpieczniki(Sterownik& s, const Uklad& u,
                                  std::vector<std::uint8_t>& wartosci) {
  wartosci.clear();
  if (u.bezpieczniki.empty()) return odmowa(Odmowa::brak_pamieci);
  return przebieg([&]() -> WynikOperacji {
    if (!s.obsluguje(u)) return odmowa(Odmowa::nieobslugiwany);
    s.lacze().oproznij_wejscie();
    s.wybierz(u);
    s.wejdz();
    for (const BajtBezpiecznikow& b : u.bezpieczniki) {
      const std::optional<std::uint8_t> v = s.uniwersalne(b.odczyt);
      if (!v) {
        s.zamknij();
        return zla_odpowiedz();
      }
      wartosci.push_back(*v);
    }
    s.zamknij();
    return {};
  });
}

WynikOperacji zapisz_bezpieczniki(Sterownik& s, const Uklad& u,
                                  const std::vector<ZapisBezpiecznika>& zapisy) {
  for (const ZapisBezpiecznika& z : zapisy) {
    if (z.bajt >= u.bezpieczniki.size()) return odmowa(Odmowa::brak_pamieci);
  }
  return przebieg([&]() -> WynikOperacji {
    if (!s.obsluguje(u)) return odmowa(Odmowa::nieobslugiwany);
    s.lacze().oproznij_wejscie();
    s.wybierz(u);
    s.wejdz();
    WynikOperacji w;
    for (const ZapisBezpiecznika& z : zapisy) {
      const BajtBezpiecznikow& b = u.bezpieczniki[z.bajt];
      if (!s.uniwersalne({b.zapis[0], b.zapis[1], b.zapis[2], z.wartosc})) {
        s.zamknij();
        return zla_odpowiedz();
      }
    }
    for (const ZapisBezpiecznika& z : zapisy) {
      const BajtBezpiecznikow& b = u.bezpieczniki[z.bajt];
      const std::optional<std::uint8_t> v = s.uniwersalne(b.odczyt);
      if (!v) {
        s.zamknij();
        return zla_odpowiedz();
      }
      const std::uint8_t maska = nazwane_bity(b);
      if (w.ok() && (*v & maska) != (z.wartosc & maska)) {
        w.koniec = Koniec::niezgodnosc;
        w.roznica = {static_cast<std::uint32_t>(z.bajt), z.wartosc, *v,
                     static_cast<std::uint32_t>(z.bajt + 1)};
      }
    }
    s.zamknij();
    return w;
  });
}

WynikOperacji zakoncz_sesje(Sterownik& s) {
  return przebieg([&]() -> WynikOperacji {
    s.wyjdz();
    return {};
  });
}

WynikOperacji sygnatura(Sterownik& s, const Uklad& u, OdczytSygnatury& odczyt, bool otwarta) {
  odczyt = {};
  return przebieg([&]() -> WynikOperacji {
    if (!s.obsluguje(u)) return odmowa(Odmowa::nieobslugiwany);
    s.lacze().oproznij_wejscie();
    // The device code first: the programmer may keep none from an earlier run.
    s.wybierz(u);
    s.wejdz();
    odczyt = s.sygnatura();
    if (otwarta) return {};
    s.wyjdz();
    // A late part of the answer must not pass for the next command's acknowledgement.
    s.lacze().oproznij_wejscie();
    return {};
  });
}

WynikOperacji identyfikuj(Sterownik& s, const Uklad& u, bool pelna, std::uint8_t domyslny_F,
                          Identyfikacja& wynik) {
  wynik = {};
  return przebieg([&]() -> WynikOperacji {
    if (!s.obsluguje(u)) return odmowa(Odmowa::nieobslugiwany);
    if (pelna) {
      s.przywitaj();
    } else {
      s.lacze().oproznij_wejscie();
    }
    s.wybierz(u);
    const std::uint8_t potwierdzenie = s.wejdz();
    wynik.sygnatura = s.sygnatura(true, potwierdzenie).bajty;
    wynik.bity = s.bity(domyslny_F);
    if (pelna) {
      wynik.wersje = s.wersje();
      wynik.tryb = s.tryb();
    }
    s.zamknij();
    return {};
  });
}

}  // namespace ostrel
