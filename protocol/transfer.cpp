// Memory transfers between an image and the device, and the six memory operations of
// the scheduler on the file `nazwa_pliku`.
#include <string>

#include "devices/uklady.h"
#include "hex/intel_hex.h"
#include "hex/objasnienie.h"
#include "protocol/programator.h"

namespace ostrel {

namespace {

constexpr std::uint8_t kA = 'A', kC = 'C', kD = 'D', kL = 'L', kP = 'P', kR = 'R', kT = 'T';
constexpr std::uint8_t kc = 'c', kd = 'd', ke = 'e';
// The high byte of the last word of an odd-length image under paired addressing: what
// the HEX reader puts into every hole, and what an erased cell holds.
constexpr std::uint8_t kBrakujacyBajt = 0xFF;

// 'A' with a unit's 16-bit address, high byte first; the acknowledgement is awaited.
void wyslij_adres(Programator& p, std::uint32_t adres) {
  p.wyslij(kA);
  p.wyslij(static_cast<std::uint8_t>((adres >> 8) & 0xFF));
  p.wyslij_i_czekaj(static_cast<std::uint8_t>(adres & 0xFF));
}

// Before a run of paired 'R', or of 'd' or 'D': many programmers keep one address
// register for flash and EEPROM that 'P' does not reset, so the start is said, not
// assumed.
void adres_od_zera(Programator& p) {
  wyslij_adres(p, 0);
}

std::uint8_t bajt_lub_ff(Strumien& obraz) {
  std::uint8_t b = kBrakujacyBajt;
  obraz.czytaj_bajt(b);
  return b;
}

}  // namespace

Wynik wczytaj_hex(const std::string& nazwa, Strumien& obraz, std::string& tekst,
                  std::size_t pojemnosc, PrzyczynaHex* przyczyna, PamiecElf pamiec) {
  if (przyczyna != nullptr) *przyczyna = {};
  Strumien hex;
  std::string powod;
  if (!hex.wczytaj_plik(nazwa, &powod)) {
    tekst = "Nie można otworzyć pliku " + nazwa;
    // The system's own error texts are not Polish; a file too big to be HEX is named.
    if (powod == kPlikZaDuzyDoWczytania) tekst += ": " + powod;
    return Wynik::blad_pliku;
  }
  obraz.wyczysc();
  // avr-gcc's output is taken as it comes; everything else is read as Intel HEX.
  if (jest_elf(hex)) {
    tekst = konwertuj_elf(hex, pamiec, obraz);
  } else {
    konwertuj_hex(hex, obraz, tekst, 255, przyczyna);
  }
  if (tekst != kKonwersjaOK) return Wynik::blad_hex;
  if (obraz.rozmiar() > pojemnosc) {
    tekst = kPlikZaDuzy;
    return Wynik::blad_hex;
  }
  return Wynik::ok;
}

void Programator::wybierz_uklad() {
  wyslij(kT);
  wyslij_i_czekaj(kod_ukladu);
}

std::size_t Programator::pojemnosc(bool flash) const {
  // Under paired addressing the flash size counts words of two bytes.
  if (flash) return std::size_t{rozmiar_flash} * (adresowanie_bajtowe != 0 ? 1 : 2);
  return rozmiar_eeprom;
}

void Programator::ustaw_postep_wprost(int wartosc) {
  if (okno.ProgressBar2 == wartosc) return;  // redrawing per byte would cost the wire speed
  okno.ProgressBar2 = wartosc;
  widok.okno_zmienione();
}

void Programator::ustaw_postep(std::size_t p, std::size_t s) {
  ustaw_postep_wprost(procent(p, s));
}

void Programator::programuj(Strumien& obraz, bool flash, bool bajtowo) {
  if (const std::size_t n = blok(flash, bajtowo); n > 0) {
    programuj_blokami(obraz, flash, n);
    return;
  }
  obraz.ustaw_pozycje(0);
  const std::size_t rozmiar = obraz.rozmiar();
  std::uint32_t licznik = 0;
  if (!flash && rozmiar > 0) adres_od_zera(*this);
  while (obraz.pozycja() < rozmiar) {
    if (!flash) {
      const std::uint8_t b = bajt_lub_ff(obraz);
      wyslij(kD);
      wyslij_i_czekaj(b);
    } else if (bajtowo) {
      const std::uint8_t b = bajt_lub_ff(obraz);
      wyslij_adres(*this, licznik);
      ++licznik;
      wyslij(kc);
      wyslij_i_czekaj(b);
    } else {
      wyslij_adres(*this, licznik);
      const std::uint8_t lo = bajt_lub_ff(obraz);
      const std::uint8_t hi = bajt_lub_ff(obraz);
      wyslij(kc);
      wyslij_i_czekaj(lo);
      wyslij(kC);
      wyslij_i_czekaj(hi);
      ++licznik;
    }
    ustaw_postep(obraz.pozycja(), rozmiar);
  }
}

bool Programator::zanotuj_roznice(std::uint32_t adres, std::uint8_t w_pliku,
                                  std::uint8_t w_ukladzie) {
  pierwsza_roznica = {adres, w_pliku, w_ukladzie};
  return true;
}

bool Programator::weryfikuj(Strumien& obraz, bool flash, bool bajtowo) {
  obraz.ustaw_pozycje(0);
  const std::size_t rozmiar = obraz.rozmiar();
  bool roznica = false;
  std::uint32_t licznik = 0;
  wyslij_i_czekaj(kP);
  const std::size_t n_bloku = blok(flash, bajtowo);
  if (n_bloku > 0) {
    roznica = !weryfikuj_blokami(obraz, flash, n_bloku, licznik);
  } else if ((!flash || !bajtowo) && rozmiar > 0) {
    adres_od_zera(*this);
  }
  while (n_bloku == 0 && obraz.pozycja() < rozmiar && !roznica) {
    if (!flash) {
      ++licznik;
      const std::uint8_t b = bajt_lub_ff(obraz);
      wyslij(kd);
      const std::uint8_t r = czekaj_na_bajt();
      if (r != b) roznica = zanotuj_roznice(licznik - 1, b, r);
    } else if (bajtowo) {
      const std::uint8_t b = bajt_lub_ff(obraz);
      wyslij_adres(*this, licznik);
      ++licznik;
      wyslij(kR);
      const std::uint8_t r = czekaj_na_bajt();
      if (r != b) roznica = zanotuj_roznice(licznik - 1, b, r);
    } else {
      ++licznik;
      const std::uint8_t lo = bajt_lub_ff(obraz);
      const std::uint8_t hi = bajt_lub_ff(obraz);
      wyslij(kR);
      const std::uint8_t r1 = czekaj_na_bajt();  // the high byte comes first
      const std::uint8_t r2 = czekaj_na_bajt();
      if (r2 != lo) {
        roznica = zanotuj_roznice(2 * (licznik - 1), lo, r2);
      } else if (r1 != hi) {
        roznica = zanotuj_roznice(2 * (licznik - 1) + 1, hi, r1);
      }
    }
    ustaw_postep(obraz.pozycja(), rozmiar);
  }
  if (roznica) {
    okno.ProgressBar2 = 2;
    okno.Label2 = std::to_string(licznik);
    widok.okno_zmienione();
  }
  return !roznica;
}

void Programator::czytaj(Strumien& obraz, bool flash, bool bajtowo) {
  obraz.ustaw_pozycje(0);
  wybierz_uklad();
  wyslij_i_czekaj(kP);
  const std::uint32_t jednostki = flash ? rozmiar_flash : rozmiar_eeprom;
  const std::size_t n_bloku = blok(flash, bajtowo);
  if (n_bloku == 0 && (!flash || !bajtowo) && jednostki > 0) adres_od_zera(*this);
  if (n_bloku > 0) {
    const std::size_t bajty = flash ? 2u * std::size_t{rozmiar_flash} : rozmiar_eeprom;
    czytaj_blokami(obraz, flash, n_bloku, bajty);
  } else if (flash && bajtowo) {
    const std::uint32_t n = rozmiar_flash;
    for (std::uint32_t i = 0; i < n; ++i) {
      ustaw_postep(i, n);
      wyslij_adres(*this, i);
      wyslij(kR);
      obraz.zapisz_bajt(czekaj_na_bajt());
    }
  } else if (flash) {
    const std::uint32_t n = rozmiar_flash;
    for (std::uint32_t i = 1; i <= n; ++i) {
      ustaw_postep(i, n);
      wyslij(kR);
      const std::uint8_t r1 = czekaj_na_bajt();
      const std::uint8_t r2 = czekaj_na_bajt();
      obraz.zapisz_bajt(r2);
      obraz.zapisz_bajt(r1);
    }
  } else {
    const std::uint32_t n = rozmiar_eeprom;
    for (std::uint32_t i = 1; i <= n; ++i) {
      ustaw_postep(i, n);
      wyslij(kd);
      obraz.zapisz_bajt(czekaj_na_bajt());
    }
  }
  wyslij(kL);  // its answer is thrown away by the port's polling after the operation
}

Wynik Programator::operacja_pamieci(int kod) {
  if (kod < 0 || kod > 5) return Wynik::nic;
  if (tryb_demo == 1) return Wynik::demo;
  const bool eeprom = kod == 1 || kod == 3 || kod == 5;
  // The EEPROM group is disabled for such a device: there is nothing to transfer.
  if (eeprom && rozmiar_eeprom == 0) return Wynik::nic;
  if (nazwa_pliku.empty()) {
    komunikat("Nie wybrano pliku");
    return Wynik::blad_pliku;
  }
  try {
    return przebieg_pamieci(kod);
  } catch (const PorzucenieOperacji&) {
    return porzucone();
  }
}

Wynik Programator::przebieg_pamieci(int kod) {
  const bool flash = kod == 0 || kod == 2 || kod == 4;
  const bool bajtowo = adresowanie_bajtowe != 0;
  Strumien obraz;

  if (kod == 0 || kod == 1) {
    if (!uklad_obslugiwany()) return Wynik::nieobslugiwany;
    czytaj(obraz, flash, bajtowo);
    Strumien tekst;
    zapisz_hex(obraz, tekst);
    if (!tekst.zapisz_plik(nazwa_pliku)) {
      komunikat("Nie można zapisać pliku " + nazwa_pliku);
      return Wynik::blad_pliku;
    }
    return Wynik::ok;
  }

  // The file is loaded and converted before anything goes to the programmer.
  {
    std::string tekst;
    PrzyczynaHex przyczyna;
    const Wynik w = wczytaj_hex(nazwa_pliku, obraz, tekst, pojemnosc(flash), &przyczyna,
                                flash ? PamiecElf::flash : PamiecElf::eeprom);
    if (w != Wynik::ok) {
      // Under the reader's text, what the command-line tool would explain: the line, the
      // cause and the fix, or the sizes.
      const int i = okno.ComboBox1_index;
      const std::string uklad = i >= 0 && static_cast<std::size_t>(i) < kUklady.size()
                                    ? nazwa_krotka(kUklady[static_cast<std::size_t>(i)])
                                    : okno.ComboBox1_text;
      komunikat(tekst, tekst == kPlikZaDuzy
                           ? objasnienie_rozmiaru(obraz.rozmiar(), flash, uklad, pojemnosc(flash))
                           : objasnienie_hex(przyczyna));
      return w;
    }
  }

  if (!uklad_obslugiwany()) return Wynik::nieobslugiwany;
  oproznij_wejscie();
  wybierz_uklad();
  wyslij_i_czekaj(kP);
  if (kod == 4 && dialog.kasowanie) {
    wyslij_i_czekaj(ke);
    wyslij_i_czekaj(kL);
    wyslij_i_czekaj(kP);
  }
  if (kod == 4 || kod == 5) {
    programuj(obraz, flash, bajtowo);
    if (kod == 4) ustaw_postep_wprost(0);
  }
  const bool zgodne = weryfikuj(obraz, flash, bajtowo);
  komunikat(zgodne ? kWeryfikacjaOK : kBladWeryfikacji);
  wyslij_i_czekaj(kL);
  return zgodne ? Wynik::ok : Wynik::blad_weryfikacji;
}

}  // namespace ostrel
