// Identification, lock bits, fuses and chip erase; the device selection that prepares
// the advanced dialog.
#include <cstdio>
#include <string>
#include <vector>

#include "devices/uklady.h"
#include "protocol/bity_blokady.h"
#include "ui/model/programator.h"

namespace ostrel {

namespace {

// "Tryb 0" .. "Tryb n-1": the mode list the device's row gives the dialog.
std::vector<std::string> lista_trybow(const Uklad& u) {
  std::vector<std::string> lista;
  for (int i = 0; i < u.liczba_trybow; ++i) lista.push_back("Tryb " + std::to_string(i));
  return lista;
}

}  // namespace

// ---- Device selection

void Programator::wybierz_wiersz(const Uklad& u) {
  wiersz_ = &u;
  okno.ComboBox1_text = u.nazwa;
  rozmiar_flash = u.rozmiar_flash;
  rozmiar_eeprom = u.rozmiar_eeprom;
  adresowanie_bajtowe = u.adresowanie_bajtowe;
  kod_ukladu = u.kod_ukladu;
  okno.GroupBox3 = u.grupa_eeprom;
  dialog.mode_items = lista_trybow(u);
  dialog.CheckBox1.podpis = u.checkbox1;
  dialog.CheckBox2.podpis = u.checkbox2;
}

Uklad Programator::uklad() const {
  Uklad u = wiersz_ != nullptr ? *wiersz_ : kUklady[kUkladDomyslny];
  // The selection state is what the operations use (a test or the settings may have set
  // it); a code other than the row's is the only code of both types.
  u.rozmiar_flash = rozmiar_flash;
  u.rozmiar_eeprom = rozmiar_eeprom;
  u.adresowanie_bajtowe = adresowanie_bajtowe;
  if (wiersz_ == nullptr || u.kod_ukladu != kod_ukladu) {
    u.kod_ukladu = kod_ukladu;
    u.kody_avr910 = {{kod_ukladu, 0, 0, 0}, 1};
  }
  return u;
}

void Programator::ComboBox1Change(int indeks) {
  if (indeks >= 0 && indeks < static_cast<int>(kUklady.size())) {
    okno.ComboBox1_index = indeks;
    wybierz_wiersz(kUklady[static_cast<std::size_t>(indeks)]);
  } else {
    okno.ComboBox1_index = -1;  // a list index beyond the list selects nothing
  }
  widok.okno_zmienione();
  wybierz_tryb(0);
}

void Programator::domyslne() {
  const Uklad& u = kUklady[kUkladDomyslny];
  wiersz_ = &u;
  rozmiar_flash = u.rozmiar_flash;
  rozmiar_eeprom = u.rozmiar_eeprom;
  adresowanie_bajtowe = u.adresowanie_bajtowe;
  kod_ukladu = u.kod_ukladu;
  okno.GroupBox3 = false;
  okno.ComboBox1_text = u.nazwa;
  okno.ComboBox1_index = -1;
  widok.okno_zmienione();
  // The device's own mode list: the layout's four modes would write the lock bits in
  // bits 7..5, where a two-lock-bit part ignores them, and leave it unprotected.
  dialog.mode_items = lista_trybow(u);
  if (dialog.mode_index >= static_cast<int>(dialog.mode_items.size())) dialog.mode_index = -1;
  widok.dialog_zmieniony();
}

void Programator::przywroc_tryb(int indeks) {
  const int liczba = static_cast<int>(dialog.mode_items.size());
  wybierz_tryb(indeks >= 0 && indeks < liczba ? indeks : 0);
  modeChange();
}

// ---- Dialog model

namespace {

// The modes the list stands for: the row's, or before any selection those of the first
// row with as many.
const TrybyBlokady* tryby_listy(const Uklad* wiersz, std::size_t liczba) {
  if (wiersz != nullptr && wiersz->tryby->tryby.size() == liczba) return wiersz->tryby;
  for (const Uklad& u : kUklady) {
    if (u.tryby->tryby.size() == liczba) return u.tryby;
  }
  return nullptr;
}

}  // namespace

void Programator::wybierz_tryb(int indeks) {
  const int liczba = static_cast<int>(dialog.mode_items.size());
  dialog.mode_index = (indeks >= 0 && indeks < liczba) ? indeks : -1;
  widok.dialog_zmieniony();
}

void Programator::modeChange() {
  const int liczba = static_cast<int>(dialog.mode_items.size());
  const int i = dialog.mode_index;
  if (i < 0 || i >= liczba) return;
  const TrybyBlokady* t = tryby_listy(wiersz_, dialog.mode_items.size());
  if (t == nullptr) return;
  const TrybBlokady& wiersz = t->tryby[static_cast<std::size_t>(i)];
  dialog.opis_modu = wiersz.opis_modu;
  dialog.info = wiersz.info;
  bity_lock = wiersz.bity_lock;
  bity_lock_ustawiony = true;
  tryb_zastosowany = true;
  widok.dialog_zmieniony();
}

void Programator::klikniecie_pola(int ktory) {
  if (wiersz_ == nullptr) return;
  if (wiersz_->odczyt_F == OdczytF::brak) {
    // The part's bits are not read: a box can only take the bytes back to unprogrammed.
    bity_lock = 255;
    bity_lock_ustawiony = true;
  }
  const bool zaznaczone = ktory == 1 ? dialog.CheckBox1.zaznaczone : dialog.CheckBox2.zaznaczone;
  bity_fuse = fuse_po_kliknieciu(*wiersz_, ktory, zaznaczone, bity_fuse);
}

void Programator::CheckBox1Click() {
  klikniecie_pola(1);
}

void Programator::CheckBox2Click() {
  klikniecie_pola(2);
}

void Programator::ustaw_CheckBox1(bool zaznaczone) {
  if (dialog.CheckBox1.zaznaczone == zaznaczone) return;
  dialog.CheckBox1.zaznaczone = zaznaczone;
  CheckBox1Click();
  widok.dialog_zmieniony();
}

void Programator::ustaw_CheckBox2(bool zaznaczone) {
  if (dialog.CheckBox2.zaznaczone == zaznaczone) return;
  dialog.CheckBox2.zaznaczone = zaznaczone;
  CheckBox2Click();
  widok.dialog_zmieniony();
}

std::uint8_t Programator::fuse_z_pol() const {
  if (wiersz_ == nullptr) return 0xFF;
  return ostrel::fuse_z_pol(*wiersz_, {dialog.CheckBox1.zaznaczone, dialog.CheckBox2.zaznaczone});
}

// ---- The 'F' answer

void Programator::dekoduj_F(std::uint8_t f, bool odczyt_przyciskiem) {
  if (wiersz_ == nullptr) return;
  if (wiersz_->odczyt_F == OdczytF::brak) {
    bity_fuse = 255;
    if (odczyt_przyciskiem) bity_lock = 255;
    return;
  }
  const PolaBezpiecznikow pola = pola_po_odczycie(
      *wiersz_, f, {{dialog.CheckBox1.zaznaczone, dialog.CheckBox2.zaznaczone}, bity_fuse});
  for (int ktory = 1; ktory <= 2; ++ktory) {
    if (wiersz_->pole(ktory).bit < 0) continue;
    const bool zaznaczone = pola.zaznaczone[static_cast<std::size_t>(ktory - 1)];
    if (ktory == 1) {
      ustaw_CheckBox1(zaznaczone);
    } else {
      ustaw_CheckBox2(zaznaczone);
    }
  }
  bity_fuse = pola.fuse;
  const TrybyBlokady* t = tryby_listy(wiersz_, dialog.mode_items.size());
  if (t == nullptr) return;
  if (const int i = tryb_z_F(*t, f); i >= 0) wybierz_tryb(i);
  // No mode has another pattern: the selection stays.
}

void Programator::przyjmij_F(const std::optional<std::uint8_t>& odpowiedz,
                             bool odczyt_przyciskiem) {
  if (!odpowiedz) {
    // Nothing is decoded; the boxes and mode stay as chosen.
    bity_fuse = fuse_z_pol();
    dialog.bity_odczytane = false;
    widok.dialog_zmieniony();
    return;
  }
  dekoduj_F(*odpowiedz, odczyt_przyciskiem);
  dialog.bity_odczytane = true;
}

void Programator::pokaz_sygnature(const std::array<std::uint8_t, 3>& s) {
  sygnatura = s;
  dialog.Label6 = tekst_sygnatury(sygnatura);
  widok.dialog_zmieniony();
}

// ---- The dialog's operations

Wynik Programator::zaawansowane() {
  bity_fuse = 255;
  if (tryb_demo != 1) {
    const Uklad u = uklad();
    Identyfikacja id;
    const WynikOperacji w = identyfikuj(*sterownik_, u, true, 255, id);
    if (w.koniec == Koniec::odmowa) {
      zglos(w, u);
      // The dialog still opens: its programmer group is where the type is changed.
      modeChange();
      widok.pokaz_dialog();
      return Wynik::nieobslugiwany;
    }
    if (!w.ok()) return zglos(w, u);
    pokaz_sygnature(id.sygnatura);
    przyjmij_F(id.bity, false);
    identyfikacja = id;
    dialog.softhard = tekst_wersji(*id.wersje);
    if (const char* t = tekst_trybu(*id.tryb, u); t != nullptr) {
      dialog.target = t;
      dialog.CheckBox1.aktywne = dialog.CheckBox2.aktywne = *id.tryb == 'P';
    }
    widok.dialog_zmieniony();
  }
  modeChange();
  widok.pokaz_dialog();
  return tryb_demo == 1 ? Wynik::demo : Wynik::ok;
}

Wynik Programator::Button1Click() {
  if (tryb_demo == 1) return Wynik::demo;
  // Without a read of 'F' the lock byte stays the chosen mode's.
  if (sterownik_->czyta_bity()) {
    bity_lock = 255;
    bity_lock_ustawiony = true;
  }
  bity_fuse = 255;
  const Uklad u = uklad();
  Identyfikacja id;
  const WynikOperacji w = identyfikuj(*sterownik_, u, false, bity_lock, id);
  if (!w.ok()) return zglos(w, u);
  pokaz_sygnature(id.sygnatura);
  if (id.bity) bity_lock = *id.bity;
  przyjmij_F(id.bity, true);
  widok.dialog_zmieniony();
  return Wynik::ok;
}

Wynik Programator::Button2Click() {
  if (tryb_demo == 1) return Wynik::demo;
  // Never write a lock byte that no mode produced.
  if (!bity_lock_ustawiony) {
    wybierz_tryb(0);
    modeChange();
  }
  const Uklad u = uklad();
  const bool par16 = dialog.target == kTrybPAR16;
  return zglos(zapisz_bity(*sterownik_, u, bity_lock, fuse_do_zapisu(bity_fuse, par16)), u);
}

Wynik Programator::Button3Click() {
  if (tryb_demo == 1) return Wynik::demo;
  const Uklad u = uklad();
  return zglos(kasuj(*sterownik_, u), u);
}

}  // namespace ostrel
