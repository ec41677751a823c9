#include "devices/uklady.h"
#include "ui/model/programator.h"
#include "ui/ustawienia.h"

namespace ostrel {

void wybierz_uklad(Programator& p, int indeks) {
  p.okno.ComboBox1_index = indeks;
  if (indeks >= 0 && indeks < static_cast<int>(kUklady.size())) {
    p.okno.ComboBox1_text = kUklady[static_cast<std::size_t>(indeks)].nazwa;
  }
  p.ComboBox1Change(indeks);
}

bool laduj_ustawienia(Programator& p, std::string& blad) {
  const std::string sciezka = sciezka_ustawien();
  if (!plik_istnieje(sciezka)) {
    p.domyslne();
    return true;
  }
  std::vector<std::uint8_t> bajty;
  std::string powod;
  if (!wczytaj_bajty(sciezka, bajty, powod)) {
    blad = "Błąd odczytu pliku ustawień " + sciezka + ": " + powod;
    // Nothing of the file was applied: without the defaults every device value would stay
    // 0 and the next operation would send device code 0.
    p.domyslne();
    return false;
  }
  const Ustawienia u = czytaj_ustawienia(bajty);
  if (u.urzadzenie < kLiczbaUkladow) {
    wybierz_uklad(p, u.urzadzenie);
  } else {
    // An index no entry has (255 is what a run that kept the default stores) would leave
    // every device value 0, and the next operation would send device code 0. The
    // start-up defaults apply instead.
    p.domyslne();
  }
  p.przywroc_tryb(u.tryb);
  p.nazwa_pliku = u.nazwa;
  p.okno.Label1 = u.nazwa;
  return true;
}

bool zachowaj_ustawienia(const Programator& p, std::string& blad) {
  if (p.nazwa_pliku.empty()) return true;
  const std::string sciezka = sciezka_ustawien();
  // A part beyond the twelve has no index there (its name is kept in Programator.cf):
  // the file says "no device", as a run that kept the default does.
  const int urzadzenie = p.okno.ComboBox1_index < kLiczbaUkladow ? p.okno.ComboBox1_index : 255;
  const auto bajty = zapisz_ustawienia(urzadzenie, p.dialog.mode_index, p.nazwa_pliku);
  std::string powod;
  if (zapisz_plik_ustawien(sciezka, bajty, powod)) return true;
  blad = "Nie można zapisać pliku ustawień " + sciezka + ": " + powod;
  return false;
}

}  // namespace ostrel
