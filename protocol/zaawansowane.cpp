// Identification, lock bits, fuses and chip erase; the device selection that prepares
// the advanced dialog.
#include <cstdio>
#include <string>
#include <vector>

#include "devices/uklady.h"
#include "protocol/programator.h"

namespace ostrel {

namespace {

constexpr std::uint8_t kF = 'F', kL = 'L', kP = 'P', kS = 'S', kV = 'V';
constexpr std::uint8_t ke = 'e', kf = 'f', kl = 'l', kp = 'p', ks = 's', kv = 'v';
constexpr std::uint8_t kKodS8252 = 134;  // AT89S8252: three lock bits, SPIEN in bit 0

struct TrybBlokady {
  const char* opis_modu;   // caption of the dialog's label opis_modu
  const char* info;        // caption of the dialog's label info
  std::uint8_t bity_lock;  // the lock byte written with 'l'
};

// Devices with two lock bits (a mode list of three items): bits 2..1 of the lock byte.
constexpr TrybBlokady kTryby3[] = {
    {"B1 [  ] ; B2 [  ]", "zapis i odczyt możliwy", 255},
    {"B1 [ x ] ;  B2 [  ]", "blokada zapisu", 253},
    {"B1 [ x ] ; B2 [ x ]", "blokada zapisu i odczytu", 249},
};

// Devices with three lock bits (every other list): bits 7..5 of the lock byte.
constexpr TrybBlokady kTryby4[] = {
    {"B1 [  ] ; B2 [  ] ; B3 [  ]", "zapis i odczyt możliwy", 255},
    {"B1 [ x ] ;  B2 [  ] ; B3 [  ]", "próbkowanie EA w czasie resetu", 127},
    {"B1 [ x ] ; B2 [ x ] ; B3 [  ]", "jak wyżej + blokada  odczytu ", 63},
    {"B1 [ x ] ; B2 [ x ] ; B3 [ x ]", "jak wyżej + blokada zapisu ", 31},
};

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

void Programator::ComboBox1Change(int indeks) {
  if (indeks >= 0 && indeks < kLiczbaUkladow) {
    const Uklad& u = kUklady[static_cast<std::size_t>(indeks)];
    okno.ComboBox1_index = indeks;
    okno.ComboBox1_text = u.nazwa;
    rozmiar_flash = u.rozmiar_flash;
    rozmiar_eeprom = u.rozmiar_eeprom;
    adresowanie_bajtowe = u.adresowanie_bajtowe;
    kod_ukladu = u.kod_ukladu;
    okno.GroupBox3 = u.grupa_eeprom;
    dialog.mode_items = lista_trybow(u);
    dialog.CheckBox1.podpis = u.checkbox1;
    dialog.CheckBox2.podpis = u.checkbox2;
  } else {
    okno.ComboBox1_index = -1;  // a list index beyond the list selects nothing
  }
  widok.okno_zmienione();
  wybierz_tryb(0);
}

void Programator::domyslne() {
  const Uklad& u = kUklady[kUkladDomyslny];
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

void Programator::wybierz_tryb(int indeks) {
  const int liczba = static_cast<int>(dialog.mode_items.size());
  dialog.mode_index = (indeks >= 0 && indeks < liczba) ? indeks : -1;
  widok.dialog_zmieniony();
}

void Programator::modeChange() {
  const int liczba = static_cast<int>(dialog.mode_items.size());
  const int i = dialog.mode_index;
  if (i < 0 || i >= liczba) return;
  const TrybBlokady* wiersz = nullptr;
  if (liczba == 3) {
    if (i < static_cast<int>(std::size(kTryby3))) wiersz = &kTryby3[i];
  } else if (i < static_cast<int>(std::size(kTryby4))) {
    wiersz = &kTryby4[i];
  }
  if (wiersz == nullptr) return;
  dialog.opis_modu = wiersz->opis_modu;
  dialog.info = wiersz->info;
  bity_lock = wiersz->bity_lock;
  bity_lock_ustawiony = true;
  tryb_zastosowany = true;
  widok.dialog_zmieniony();
}

void Programator::CheckBox1Click() {
  if (kod_ukladu == kKodBezOdczytuBlokad) {
    bity_lock = 255;
    bity_lock_ustawiony = true;
    bity_fuse = 255;
  } else if (kod_ukladu == kKodS8252) {
    bity_fuse = 255;
  } else {
    ustaw_bit(bity_fuse, 0, !dialog.CheckBox1.zaznaczone);
  }
}

void Programator::CheckBox2Click() {
  if (kod_ukladu == kKodBezOdczytuBlokad) {
    bity_lock = 255;
    bity_lock_ustawiony = true;
    bity_fuse = 255;
  } else if (kod_ukladu == kKodS8252) {
    ustaw_bit(bity_fuse, 0, !dialog.CheckBox2.zaznaczone);
  } else {
    ustaw_bit(bity_fuse, 5, !dialog.CheckBox2.zaznaczone);
  }
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

// ---- The 'F' answer

void Programator::dekoduj_F(std::uint8_t f, bool odczyt_przyciskiem) {
  if (kod_ukladu == kKodBezOdczytuBlokad) {
    bity_fuse = 255;
    if (odczyt_przyciskiem) bity_lock = 255;
    return;
  }
  if (kod_ukladu == kKodS8252) {
    const bool spien = !bit(f, 0);
    ustaw_CheckBox2(spien);
    bity_fuse = spien ? 254 : 255;
    switch (f >> 5) {
      case 0b111:
        wybierz_tryb(0);
        break;
      case 0b011:
        wybierz_tryb(1);
        break;
      case 0b001:
        wybierz_tryb(2);
        break;
      case 0b000:
        wybierz_tryb(3);
        break;
      default:
        break;  // no mode has this pattern: the selection stays
    }
    return;
  }
  const bool pierwszy = !bit(f, 0);
  ustaw_CheckBox1(pierwszy);
  ustaw_bit(bity_fuse, 0, !pierwszy);
  const bool spien = !bit(f, 5);
  ustaw_CheckBox2(spien);
  ustaw_bit(bity_fuse, 5, !spien);
  switch (f >> 6) {
    case 0b11:
      wybierz_tryb(0);
      break;
    case 0b01:
      wybierz_tryb(1);
      break;
    case 0b00:
      wybierz_tryb(2);
      break;
    default:
      break;
  }
}

void Programator::czytaj_F(std::uint8_t& odpowiedz, bool odczyt_przyciskiem) {
  if (typ_ == TypProgramatora::avr910) {
    // That firmware's 'F' clocks an instruction the AT90S parts do not have: its answer
    // is not the chip's state. Nothing is decoded; the boxes and mode stay as chosen.
    bity_fuse = fuse_z_pol();
    dialog.bity_odczytane = false;
    widok.dialog_zmieniony();
    return;
  }
  wyslij(kF);
  odpowiedz = pojedyncza_proba(odpowiedz);
  dekoduj_F(odpowiedz, odczyt_przyciskiem);
  dialog.bity_odczytane = true;
}

void Programator::czytaj_sygnature() {
  wyslij(ks);
  std::uint8_t poprzedni = ostatni_bajt_;
  for (auto& b : sygnatura) {
    b = czekaj_ograniczone(poprzedni);
    poprzedni = b;
  }
  dialog.Label6 = tekst_sygnatury(sygnatura);
  widok.dialog_zmieniony();
}

// ---- The dialog's operations

Wynik Programator::zaawansowane() {
  std::uint8_t f = 255;
  bity_fuse = 255;
  if (tryb_demo != 1) {
    try {
      if (!uklad_obslugiwany()) {
        // The dialog still opens: its programmer group is where the type is changed.
        modeChange();
        widok.pokaz_dialog();
        return Wynik::nieobslugiwany;
      }
      oproznij_wejscie();
      wyslij(kS);
      oproznij_wejscie();
      wyslij(kV);
      oproznij_wejscie();
      wybierz_uklad();
      wyslij_i_czekaj(kP);
      czytaj_sygnature();
      czytaj_F(f, false);
      wyslij(kV);
      const std::uint8_t c1 = czekaj_na_bajt();
      const std::uint8_t c2 = czekaj_na_bajt();
      wyslij(kv);
      const std::uint8_t c3 = czekaj_na_bajt();
      const std::uint8_t c4 = czekaj_na_bajt();
      dialog.softhard = "Soft. " + znak_cp1250(c1) + "." + znak_cp1250(c2) + " Hard. " +
                        znak_cp1250(c3) + "." + znak_cp1250(c4);
      wyslij(kp);
      const std::uint8_t m = czekaj_na_bajt();
      if (m == 'S') {
        dialog.target = "Tryb ISP";
        dialog.CheckBox1.aktywne = dialog.CheckBox2.aktywne = false;
      }
      if (m == 'P') {
        dialog.target = kTrybPAR16;
        dialog.CheckBox1.aktywne = dialog.CheckBox2.aktywne = true;
      }
      if (m == 'S' && kod_ukladu == kKodBezOdczytuBlokad) {
        dialog.target = "Tryb PAR8";
        dialog.CheckBox1.aktywne = dialog.CheckBox2.aktywne = false;
      }
      widok.dialog_zmieniony();
      wyslij(kL);  // its answer is thrown away by the port's polling
    } catch (const PorzucenieOperacji&) {
      return porzucone();
    }
  }
  modeChange();
  widok.pokaz_dialog();
  return tryb_demo == 1 ? Wynik::demo : Wynik::ok;
}

Wynik Programator::Button1Click() {
  if (tryb_demo == 1) return Wynik::demo;
  // Without a read of 'F' the lock byte stays the chosen mode's.
  if (typ_ != TypProgramatora::avr910) {
    bity_lock = 255;
    bity_lock_ustawiony = true;
  }
  bity_fuse = 255;
  try {
    if (!uklad_obslugiwany()) return Wynik::nieobslugiwany;
    oproznij_wejscie();
    wybierz_uklad();
    wyslij_i_czekaj(kP);
    czytaj_sygnature();
    czytaj_F(bity_lock, true);
    widok.dialog_zmieniony();
    wyslij(kL);
  } catch (const PorzucenieOperacji&) {
    return porzucone();
  }
  return Wynik::ok;
}

Wynik Programator::Button2Click() {
  if (tryb_demo == 1) return Wynik::demo;
  // Never write a lock byte that no mode produced.
  if (!bity_lock_ustawiony) {
    wybierz_tryb(0);
    modeChange();
  }
  try {
    if (!uklad_obslugiwany()) return Wynik::nieobslugiwany;
    wybierz_uklad();
    wyslij_i_czekaj(kP);
    wyslij(kl);
    wyslij_i_czekaj(bity_lock);
    if (dialog.target == kTrybPAR16) {
      wyslij(kf);
      wyslij_i_czekaj(bity_fuse);
    }
    wyslij_i_czekaj(kL);
  } catch (const PorzucenieOperacji&) {
    return porzucone();
  }
  return Wynik::ok;
}

Wynik Programator::Button3Click() {
  if (tryb_demo == 1) return Wynik::demo;
  try {
    if (!uklad_obslugiwany()) return Wynik::nieobslugiwany;
    wybierz_uklad();
    wyslij_i_czekaj(kP);
    wyslij_i_czekaj(ke);
    wyslij(kL);
  } catch (const PorzucenieOperacji&) {
    return porzucone();
  }
  return Wynik::ok;
}

}  // namespace ostrel
