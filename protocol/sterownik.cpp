// The commands every programmer type shares, and the Ostrel programmer: one byte per
// command, the counters at 0 after 'P'.
#include "protocol/sterownik.h"

namespace ostrel {

namespace {

constexpr std::uint8_t kA = 'A', kC = 'C', kD = 'D', kF = 'F', kL = 'L', kP = 'P', kR = 'R';
constexpr std::uint8_t kS = 'S', kT = 'T', kV = 'V';
constexpr std::uint8_t kc = 'c', kd = 'd', ke = 'e', kf = 'f', kl = 'l', kp = 'p', ks = 's';
constexpr std::uint8_t kv = 'v';
// The high byte of the last word of an odd-length image under paired addressing: what
// the HEX reader puts into every hole, and what an erased cell holds.
constexpr std::uint8_t kBrakujacyBajt = 0xFF;

std::uint8_t bajt_lub_ff(Strumien& obraz) {
  std::uint8_t b = kBrakujacyBajt;
  obraz.czytaj_bajt(b);
  return b;
}

}  // namespace

std::uint8_t Sterownik::potwierdzenie(std::uint8_t polecenie, std::uint32_t dodatkowe_ms) {
  const std::uint8_t b =
      dodatkowe_ms > 0 ? lacze_.czekaj_dluzej(dodatkowe_ms) : lacze_.czekaj_na_bajt();
  sprawdz_potwierdzenie(polecenie, b);
  return b;
}

void Sterownik::adres(std::uint32_t a) {
  lacze_.wyslij(kA);
  lacze_.wyslij(static_cast<std::uint8_t>((a >> 8) & 0xFF));
  lacze_.wyslij(static_cast<std::uint8_t>(a & 0xFF));
  potwierdzenie(kA);
}

void Sterownik::wybierz(const Uklad& u) {
  lacze_.wyslij(kT);
  lacze_.wyslij(kod(u));
  potwierdzenie(kT);
}

std::uint8_t Sterownik::wejdz() {
  lacze_.wyslij(kP);
  return potwierdzenie(kP);
}

void Sterownik::wyjdz() {
  lacze_.wyslij(kL);
  potwierdzenie(kL);
}

void Sterownik::kasuj(const Uklad& u) {
  lacze_.wyslij(ke);
  potwierdzenie(ke, u.czasy.kasowanie_ms);
}

void Sterownik::zamknij() {
  lacze_.wyslij(kL);
  std::uint8_t b = 0;
  lacze_.sprobuj_ograniczone(b);
}

OdczytSygnatury Sterownik::sygnatura(bool do_konca, std::uint8_t poprzedni) {
  OdczytSygnatury o;
  lacze_.wyslij(ks);
  for (std::uint8_t& b : o.bajty) {
    b = poprzedni;
    if (lacze_.sprobuj_ograniczone(b)) {
      ++o.odebrane;
    } else if (!do_konca) {
      // The rest cannot make a signature, and waiting for it would only add its reads.
      break;
    }
    poprzedni = b;
  }
  return o;
}

std::optional<std::uint8_t> Sterownik::uniwersalne(const std::array<std::uint8_t, 4>& instrukcja) {
  // The firmware waits about 50 ms after the instruction (long enough for a fuse write)
  // before its CR.
  constexpr std::uint32_t kPoInstrukcjiMs = 100;
  constexpr std::uint8_t kCR = 13;
  lacze_.wyslij('.');
  lacze_.wyslij_dane(instrukcja.data(), instrukcja.size());
  const std::uint8_t b = lacze_.czekaj_na_bajt();
  if (lacze_.czekaj_dluzej(kPoInstrukcjiMs) != kCR) return std::nullopt;
  return b;
}

std::optional<std::uint8_t> Sterownik::bity(std::uint8_t domyslny) {
  if (!czyta_bity()) return std::nullopt;
  lacze_.wyslij(kF);
  return lacze_.pojedyncza_proba(domyslny);
}

void Sterownik::zapisz_lock(std::uint8_t b) {
  lacze_.wyslij(kl);
  lacze_.wyslij(b);
  potwierdzenie(kl);
}

void Sterownik::zapisz_fuse(std::uint8_t b) {
  lacze_.wyslij(kf);
  lacze_.wyslij(b);
  potwierdzenie(kf);
}

void Sterownik::przywitaj() {
  // Each answer is awaited for as many bytes as it has before the drain: a drain alone
  // ends at the first quiet input time-out, and an answer that starts later (a loaded
  // machine, a slow adapter) would be taken for the acknowledgement of what follows.
  auto odbierz = [this](std::size_t bajty) {
    std::uint8_t b = 0;
    for (std::size_t i = 0; i < bajty && lacze_.sprobuj_ograniczone(b); ++i) {
    }
    lacze_.oproznij_wejscie();
  };
  lacze_.oproznij_wejscie();
  lacze_.wyslij(kS);
  odbierz(7);  // "AVR ISP"
  lacze_.wyslij(kV);
  odbierz(2);
}

std::array<std::uint8_t, 4> Sterownik::wersje() {
  std::array<std::uint8_t, 4> w{};
  lacze_.wyslij(kV);
  w[0] = lacze_.czekaj_na_bajt();
  w[1] = lacze_.czekaj_na_bajt();
  lacze_.wyslij(kv);
  w[2] = lacze_.czekaj_na_bajt();
  w[3] = lacze_.czekaj_na_bajt();
  return w;
}

std::uint8_t Sterownik::tryb() {
  lacze_.wyslij(kp);
  return lacze_.czekaj_na_bajt();
}

void Sterownik::zapisz(const Uklad& u, Pamiec m, Strumien& obraz, const Postep& postep) {
  const bool flash = m == Pamiec::flash;
  const bool bajtowo = u.adresowanie_bajtowe != 0;
  obraz.ustaw_pozycje(0);
  const std::size_t rozmiar = obraz.rozmiar();
  std::uint32_t licznik = 0;
  // Many programmers keep one address register for flash and EEPROM that 'P' does not
  // reset, so the start is said, not assumed.
  if (!flash && rozmiar > 0) adres(0);
  while (obraz.pozycja() < rozmiar) {
    if (!flash) {
      const std::uint8_t b = bajt_lub_ff(obraz);
      lacze_.wyslij(kD);
      lacze_.wyslij(b);
      potwierdzenie(kD);
    } else if (bajtowo) {
      const std::uint8_t b = bajt_lub_ff(obraz);
      adres(licznik);
      ++licznik;
      lacze_.wyslij(kc);
      lacze_.wyslij(b);
      potwierdzenie(kc);
    } else {
      adres(licznik);
      const std::uint8_t lo = bajt_lub_ff(obraz);
      const std::uint8_t hi = bajt_lub_ff(obraz);
      lacze_.wyslij(kc);
      lacze_.wyslij(lo);
      potwierdzenie(kc);
      lacze_.wyslij(kC);
      lacze_.wyslij(hi);
      potwierdzenie(kC);
      ++licznik;
    }
    postep(obraz.pozycja(), rozmiar);
  }
}

bool Sterownik::weryfikuj(const Uklad& u, Pamiec m, Strumien& obraz, const Postep& postep,
                          Roznica& roznica) {
  const bool flash = m == Pamiec::flash;
  const bool bajtowo = u.adresowanie_bajtowe != 0;
  obraz.ustaw_pozycje(0);
  const std::size_t rozmiar = obraz.rozmiar();
  bool rozne = false;
  std::uint32_t licznik = 0;
  if ((!flash || !bajtowo) && rozmiar > 0) adres(0);
  auto zanotuj = [&](std::uint32_t a, std::uint8_t w_pliku, std::uint8_t w_ukladzie) {
    roznica = {a, w_pliku, w_ukladzie, licznik};
    return true;
  };
  while (obraz.pozycja() < rozmiar && !rozne) {
    if (!flash) {
      ++licznik;
      const std::uint8_t b = bajt_lub_ff(obraz);
      lacze_.wyslij(kd);
      const std::uint8_t r = lacze_.czekaj_na_bajt();
      if (r != b) rozne = zanotuj(licznik - 1, b, r);
    } else if (bajtowo) {
      const std::uint8_t b = bajt_lub_ff(obraz);
      adres(licznik);
      ++licznik;
      lacze_.wyslij(kR);
      const std::uint8_t r = lacze_.czekaj_na_bajt();
      if (r != b) rozne = zanotuj(licznik - 1, b, r);
    } else {
      ++licznik;
      const std::uint8_t lo = bajt_lub_ff(obraz);
      const std::uint8_t hi = bajt_lub_ff(obraz);
      lacze_.wyslij(kR);
      const std::uint8_t r1 = lacze_.czekaj_na_bajt();  // the high byte comes first
      const std::uint8_t r2 = lacze_.czekaj_na_bajt();
      if (r2 != lo) {
        rozne = zanotuj(2 * (licznik - 1), lo, r2);
      } else if (r1 != hi) {
        rozne = zanotuj(2 * (licznik - 1) + 1, hi, r1);
      }
    }
    postep(obraz.pozycja(), rozmiar);
  }
  return !rozne;
}

void Sterownik::czytaj(const Uklad& u, Pamiec m, Strumien& obraz, const Postep& postep) {
  const bool flash = m == Pamiec::flash;
  const bool bajtowo = u.adresowanie_bajtowe != 0;
  obraz.ustaw_pozycje(0);
  const std::uint32_t n = flash ? u.rozmiar_flash : u.rozmiar_eeprom;
  if ((!flash || !bajtowo) && n > 0) adres(0);
  if (flash && bajtowo) {
    for (std::uint32_t i = 0; i < n; ++i) {
      postep(i, n);
      adres(i);
      lacze_.wyslij(kR);
      obraz.zapisz_bajt(lacze_.czekaj_na_bajt());
    }
  } else if (flash) {
    for (std::uint32_t i = 1; i <= n; ++i) {
      postep(i, n);
      lacze_.wyslij(kR);
      const std::uint8_t r1 = lacze_.czekaj_na_bajt();
      const std::uint8_t r2 = lacze_.czekaj_na_bajt();
      obraz.zapisz_bajt(r2);
      obraz.zapisz_bajt(r1);
    }
  } else {
    for (std::uint32_t i = 1; i <= n; ++i) {
      postep(i, n);
      lacze_.wyslij(kd);
      obraz.zapisz_bajt(lacze_.czekaj_na_bajt());
    }
  }
}

std::size_t bajty_przebiegow(const std::vector<Przebieg>& p) {
  std::size_t n = 0;
  for (const Przebieg& r : p) n += r.do_ - r.od;
  return n;
}

void Sterownik::zapisz_przebiegi(const Uklad& /*u*/, Strumien& obraz,
                                 const std::vector<Przebieg>& p, const Postep& postep) {
  const std::size_t wszystkie = bajty_przebiegow(p);
  std::size_t zrobione = 0;
  for (const Przebieg& r : p) {
    adres(static_cast<std::uint32_t>(r.od));
    obraz.ustaw_pozycje(r.od);
    for (std::size_t a = r.od; a < r.do_; ++a) {
      lacze_.wyslij(kD);
      lacze_.wyslij(bajt_lub_ff(obraz));
      potwierdzenie(kD);
      postep(++zrobione, wszystkie);
    }
  }
}

bool Sterownik::weryfikuj_przebiegi(const Uklad& /*u*/, Strumien& obraz,
                                    const std::vector<Przebieg>& p, const Postep& postep,
                                    Roznica& roznica) {
  const std::size_t wszystkie = bajty_przebiegow(p);
  std::size_t zrobione = 0;
  for (const Przebieg& r : p) {
    adres(static_cast<std::uint32_t>(r.od));
    obraz.ustaw_pozycje(r.od);
    for (std::size_t a = r.od; a < r.do_; ++a) {
      const std::uint8_t b = bajt_lub_ff(obraz);
      lacze_.wyslij(kd);
      const std::uint8_t z = lacze_.czekaj_na_bajt();
      if (z != b) {
        roznica = {static_cast<std::uint32_t>(a), b, z, static_cast<std::uint32_t>(a + 1)};
        return false;
      }
      postep(++zrobione, wszystkie);
    }
  }
  return true;
}

namespace {

// The Ostrel programmer: it serves every part that has its device code.
class SterownikOstrel final : public Sterownik {
 public:
  using Sterownik::Sterownik;
  bool obsluguje(const Uklad& u) override { return u.kod_ukladu != 0; }
  bool czyta_bity() const override { return true; }
  std::uint8_t kod(const Uklad& u) const override { return u.kod_ukladu; }
};

}  // namespace

std::unique_ptr<Sterownik> utworz_sterownik_avr910(Lacze& l);

std::unique_ptr<Sterownik> utworz_sterownik(TypProgramatora typ, Lacze& l) {
  if (typ == TypProgramatora::avr910) return utworz_sterownik_avr910(l);
  return std::make_unique<SterownikOstrel>(l);
}

}  // namespace ostrel
