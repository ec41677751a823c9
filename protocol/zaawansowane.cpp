// Identification, lock bits, fuses and chip erase; the device selection that prepares
// the advanced dialog.
#include <cstdio>
#include <string>
#include <vector>

#include "devices/uklady.h"
#include "protocol/programator.h"

namespace ostrel {

namespace {

// A byte of the revision answer as one character of the single-byte code page 1250.
std::string znak_cp1250(std::uint8_t b) {
  // Unicode code points of 0x80..0xFF in code page 1250; 0 marks an unassigned position.
  static constexpr char16_t kGorna[128] = {
      0x20AC, 0,      0x201A, 0,      0x201E, 0x2026, 0x2020, 0x2021, 0,      0x2030, 0x0160,
      0x2039, 0x015A, 0x0164, 0x017D, 0x0179, 0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0,      0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, 0x00A0,
      0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB,
      0x00AC, 0x00AD, 0x00AE, 0x017B, 0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6,
      0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C, 0x0154, 0x00C1,
      0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7, 0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A,
      0x00CD, 0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,
      0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF, 0x0155, 0x00E1, 0x00E2,
      0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, 0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED,
      0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7, 0x0159,
      0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
  };
  // Control characters would make an unreadable caption.
  if (b < 0x20 || b == 0x7F) return "?";
  if (b < 0x80) return std::string(1, static_cast<char>(b));
  const char16_t u = kGorna[b - 0x80];
  if (u == 0) return "?";
  std::string s;
  if (u < 0x800) {
    s += static_cast<char>(0xC0 | (u >> 6));
  } else {
    s += static_cast<char>(0xE0 | (u >> 12));
    s += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
  }
  s += static_cast<char>(0x80 | (u & 0x3F));
  return s;
}

// "Tryb 0" .. "Tryb n-1": the mode list the device's row gives the dialog.
std::vector<std::string> lista_trybow(const Uklad& u) {
  std::vector<std::string> lista;
  for (int i = 0; i < u.liczba_trybow; ++i) lista.push_back("Tryb " + std::to_string(i));
  return lista;
}

bool bit(std::uint8_t v, int n) {
  return ((v >> n) & 1) != 0;
}

void ustaw_bit(std::uint8_t& v, int n, bool jedynka) {
  if (jedynka) {
    v = static_cast<std::uint8_t>(v | (1u << n));
  } else {
    v = static_cast<std::uint8_t>(v & ~(1u << n));
  }
}

}  // namespace

std::string tekst_sygnatury(const std::array<std::uint8_t, 3>& sygnatura) {
  std::string s;
  for (int i = 2; i >= 0; --i) {
    char b[4];
    std::snprintf(b, sizeof b, "%02X ", sygnatura[static_cast<std::size_t>(i)]);
    s += b;
  }
  return s;
}

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
  if (indeks >= 0 && indeks < kLiczbaUkladow) {
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
    bity_fuse = 255;
    return;
  }
  const PoleBezpiecznika pole = wiersz_->pole(ktory);
  if (pole.bit < 0) {
    bity_fuse = 255;
    return;
  }
  const bool zaznaczone = ktory == 1 ? dialog.CheckBox1.zaznaczone : dialog.CheckBox2.zaznaczone;
  ustaw_bit(bity_fuse, pole.bit, !zaznaczone);
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
  std::uint8_t f = 0xFF;
  if (wiersz_ == nullptr || wiersz_->odczyt_F == OdczytF::brak) return f;
  for (int ktory = 1; ktory <= 2; ++ktory) {
    const PoleBezpiecznika pole = wiersz_->pole(ktory);
    const bool zaznaczone = ktory == 1 ? dialog.CheckBox1.zaznaczone : dialog.CheckBox2.zaznaczone;
    if (pole.bit >= 0 && zaznaczone) ustaw_bit(f, pole.bit, false);
  }
  return f;
}

// ---- The 'F' answer

void Programator::dekoduj_F(std::uint8_t f, bool odczyt_przyciskiem) {
  if (wiersz_ == nullptr) return;
  if (wiersz_->odczyt_F == OdczytF::brak) {
    bity_fuse = 255;
    if (odczyt_przyciskiem) bity_lock = 255;
    return;
  }
  std::uint8_t fuse = 0xFF;
  for (int ktory = 1; ktory <= 2; ++ktory) {
    const PoleBezpiecznika pole = wiersz_->pole(ktory);
    if (pole.bit < 0) continue;
    const bool zaprogramowany = !bit(f, pole.bit);
    if (ktory == 1) {
      ustaw_CheckBox1(zaprogramowany);
    } else {
      ustaw_CheckBox2(zaprogramowany);
    }
    if (zaprogramowany) ustaw_bit(fuse, pole.bit, false);
  }
  bity_fuse = fuse;
  const TrybyBlokady* t = tryby_listy(wiersz_, dialog.mode_items.size());
  if (t == nullptr) return;
  for (std::size_t i = 0; i < t->tryby.size(); ++i) {
    if ((f & t->maska_F) == t->tryby[i].wzor_F) {
      wybierz_tryb(static_cast<int>(i));
      break;
    }
  }
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
    const auto& c = *id.wersje;
    dialog.softhard = "Soft. " + znak_cp1250(c[0]) + "." + znak_cp1250(c[1]) + " Hard. " +
                      znak_cp1250(c[2]) + "." + znak_cp1250(c[3]);
    const std::uint8_t m = *id.tryb;
    if (m == 'S') {
      dialog.target = "Tryb ISP";
      dialog.CheckBox1.aktywne = dialog.CheckBox2.aktywne = false;
    }
    if (m == 'P') {
      dialog.target = kTrybPAR16;
      dialog.CheckBox1.aktywne = dialog.CheckBox2.aktywne = true;
    }
    if (m == 'S' && u.rownolegly_12v) {
      dialog.target = "Tryb PAR8";
      dialog.CheckBox1.aktywne = dialog.CheckBox2.aktywne = false;
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
  const std::optional<std::uint8_t> fuse =
      dialog.target == kTrybPAR16 ? std::optional<std::uint8_t>(bity_fuse) : std::nullopt;
  return zglos(zapisz_bity(*sterownik_, u, bity_lock, fuse), u);
}

Wynik Programator::Button3Click() {
  if (tryb_demo == 1) return Wynik::demo;
  const Uklad u = uklad();
  return zglos(kasuj(*sterownik_, u), u);
}

}  // namespace ostrel
