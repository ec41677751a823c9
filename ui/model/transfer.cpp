// Memory transfers between an image and the device, and the six memory operations of
// the scheduler on the file `nazwa_pliku`.
#include <string>

#include "devices/uklady.h"
#include "hex/intel_hex.h"
#include "hex/objasnienie.h"
#include "ui/model/programator.h"

namespace ostrel {

void Programator::wybierz_uklad() {
  sterownik_->wybierz(uklad());
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

Postep Programator::postep() {
  return [this](std::size_t p, std::size_t s) { ustaw_postep(p, s); };
}

namespace {

Uklad adresowany(Uklad u, bool bajtowo) {
  u.adresowanie_bajtowe = bajtowo ? 1 : 0;
  return u;
}

Pamiec pamiec(bool flash) {
  return flash ? Pamiec::flash : Pamiec::eeprom;
}

}  // namespace

void Programator::programuj(Strumien& obraz, bool flash, bool bajtowo) {
  sterownik_->zapisz(adresowany(uklad(), bajtowo), pamiec(flash), obraz, postep());
}

bool Programator::weryfikuj(Strumien& obraz, bool flash, bool bajtowo) {
  sterownik_->wejdz();
  Roznica r;
  const bool zgodne =
      sterownik_->weryfikuj(adresowany(uklad(), bajtowo), pamiec(flash), obraz, postep(), r);
  if (!zgodne) {
    pierwsza_roznica = r;
    okno.ProgressBar2 = 2;
    okno.Label2 = std::to_string(r.jednostka);
    widok.okno_zmienione();
  }
  return zgodne;
}

void Programator::czytaj(Strumien& obraz, bool flash, bool bajtowo) {
  const Uklad u = adresowany(uklad(), bajtowo);
  zglos(ostrel::czytaj(*sterownik_, u, pamiec(flash), obraz, postep()), u);
}

Wynik Programator::zglos(const WynikOperacji& w, const Uklad& u) {
  switch (w.koniec) {
    case Koniec::wykonano:
      return Wynik::ok;
    case Koniec::niezgodnosc:
      pierwsza_roznica = w.roznica;
      okno.ProgressBar2 = 2;
      okno.Label2 = std::to_string(w.roznica.jednostka);
      widok.okno_zmienione();
      komunikat(kBladWeryfikacji);
      return Wynik::blad_weryfikacji;
    case Koniec::zla_odpowiedz:
      // Gone or stopped meanwhile: that is what is said.
      if (port.DeviceGone() || przerwane()) return porzucone();
      komunikat(w.nadmiar ? kNadmiaroweDane : tekst_zlej_odpowiedzi(w.polecenie, w.odpowiedz));
      return Wynik::brak_odpowiedzi;
    case Koniec::brak_odpowiedzi:
    case Koniec::urzadzenie:
    case Koniec::przerwano:
      return porzucone();
    case Koniec::odmowa:
      break;
  }
  switch (w.powod) {
    case Odmowa::nieobslugiwany:
      komunikat(kNieObslugujeUkladu + nazwa_krotka(u));
      return Wynik::nieobslugiwany;
    case Odmowa::za_duzy:
      komunikat(kPlikZaDuzy);
      return Wynik::blad_hex;
    case Odmowa::adres_poza_zasiegiem:
      komunikat(kPozaAdresami);
      return Wynik::blad_hex;
    case Odmowa::brak_pamieci:
    case Odmowa::brak:
      break;
  }
  return Wynik::nic;
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
  return przebieg_pamieci(kod);
}

Wynik Programator::przebieg_pamieci(int kod) {
  const bool flash = kod == 0 || kod == 2 || kod == 4;
  const Pamiec m = pamiec(flash);
  const Uklad u = uklad();
  Strumien obraz;

  if (kod == 0 || kod == 1) {
    const WynikOperacji w = ostrel::czytaj(*sterownik_, u, m, obraz, postep());
    if (!w.ok()) return zglos(w, u);
    Strumien tekst;
    zapisz_hex(obraz, tekst);
    if (!tekst.zapisz_plik(nazwa_pliku)) {
      komunikat("Nie można zapisać pliku " + nazwa_pliku);
      return Wynik::blad_pliku;
    }
    return Wynik::ok;
  }

  // The file is loaded and converted before anything goes to the programmer.
  std::vector<Przebieg> przebiegi;
  {
    std::string tekst;
    PrzyczynaHex przyczyna;
    const Wynik w = wczytaj_hex(nazwa_pliku, obraz, tekst, pojemnosc(flash), &przyczyna,
                                flash ? PamiecElf::flash : PamiecElf::eeprom, &przebiegi);
    if (w != Wynik::ok) {
      // Under the reader's text, what the command-line tool would explain: the line, the
      // cause and the fix, or the sizes.
      komunikat(tekst, tekst == kPlikZaDuzy
                           ? objasnienie_rozmiaru(obraz.rozmiar(), flash, nazwa_krotka(u),
                                                  pojemnosc(flash))
                           : objasnienie_hex(przyczyna));
      return w;
    }
  }

  const WynikOperacji w =
      kod >= 4
          ? ostrel::programuj(*sterownik_, u, m, obraz,
                              {.kasowanie = dialog.kasowanie, .przebiegi = przebiegi}, postep())
          : ostrel::weryfikuj(*sterownik_, u, m, obraz, postep(), true, false, przebiegi);
  if (w.ok()) komunikat(kWeryfikacjaOK);
  return zglos(w, u);
}

}  // namespace ostrel
