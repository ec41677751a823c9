// What the AVR910 type adds to the conversation: the programmer's list of parts ('t'),
// its block buffer ('b') and the block transfers ('B', 'g').
#include <algorithm>
#include <string>

#include "devices/uklady.h"
#include "protocol/programator.h"

namespace ostrel {

namespace {

constexpr std::uint8_t kA = 'A', kB = 'B', kg = 'g', kt = 't', kb = 'b';
constexpr std::uint8_t kPamiecFlash = 'F', kPamiecEeprom = 'E';
constexpr std::uint8_t kBloki = 'Y';  // 'b': block commands there, the size follows
// A list longer than this is no device list: the rest is not waited for.
constexpr std::size_t kNajdluzszaLista = 255;
// A buffer larger than any such programmer has is taken at this size: a block's answer
// comes only when the whole block is written.
constexpr std::size_t kNajwiekszyBlok = 1024;
// The bound on the answer to a block write grows by this much per byte of the block
// (a byte takes about 4 ms to write on the AT90S parts).
constexpr std::uint32_t kZapisBajtuMs = 20;
constexpr std::uint8_t kBrakujacyBajt = 0xFF;

void wyslij_adres(Programator& p, std::size_t adres) {
  p.wyslij(kA);
  p.wyslij(static_cast<std::uint8_t>((adres >> 8) & 0xFF));
  p.wyslij_i_czekaj(static_cast<std::uint8_t>(adres & 0xFF));
}

// The header of 'B' and 'g': size high, size low, memory type.
void wyslij_naglowek(Programator& p, std::uint8_t polecenie, std::size_t n, bool flash) {
  p.wyslij(polecenie);
  p.wyslij(static_cast<std::uint8_t>((n >> 8) & 0xFF));
  p.wyslij(static_cast<std::uint8_t>(n & 0xFF));
  p.wyslij(flash ? kPamiecFlash : kPamiecEeprom);
}

// Flash moves in whole words: an odd image gets the erased cell's 0xFF as its last high
// byte, as in the byte commands.
std::size_t dlugosc_transferu(const Strumien& obraz, bool flash) {
  const std::size_t n = obraz.rozmiar();
  return flash ? n + (n & 1) : n;
}

}  // namespace

bool Programator::uklad_obslugiwany() {
  return uklad_obslugiwany(kod_ukladu);
}

bool Programator::uklad_obslugiwany(std::uint8_t kod) {
  if (typ_ != TypProgramatora::avr910) return true;
  if (!lista_kodow_) {
    // The list's end is a 0 byte: a stray byte in front of it would pass for a code.
    oproznij_wejscie();
    wyslij(kt);
    std::vector<std::uint8_t> lista;
    for (;;) {
      const std::uint8_t k = czekaj_na_bajt();
      if (k == 0) break;
      lista.push_back(k);
      if (lista.size() >= kNajdluzszaLista) break;
    }
    lista_kodow_ = std::move(lista);
  }
  if (std::find(lista_kodow_->begin(), lista_kodow_->end(), kod) == lista_kodow_->end()) {
    // The chosen part by its name; another code by the first part that has it.
    int indeks = kod == kod_ukladu ? znajdz_uklad(okno.ComboBox1_text) : -1;
    for (int i = 0; indeks < 0 && i < kLiczbaUkladow; ++i) {
      if (kUklady[static_cast<std::size_t>(i)].kod_ukladu == kod) indeks = i;
    }
    const std::string nazwa =
        indeks >= 0 ? nazwa_krotka(kUklady[static_cast<std::size_t>(indeks)]) : okno.ComboBox1_text;
    komunikat(kNieObslugujeUkladu + nazwa);
    return false;
  }
  if (!rozmiar_bloku_) {
    wyslij(kb);
    std::size_t rozmiar = 0;
    if (czekaj_na_bajt() == kBloki) {
      const std::uint8_t hi = czekaj_na_bajt();
      const std::uint8_t lo = czekaj_na_bajt();
      rozmiar = static_cast<std::size_t>(hi) << 8 | lo;
    }
    rozmiar_bloku_ = rozmiar;
  }
  return true;
}

std::size_t Programator::blok(bool flash, bool bajtowo) const {
  if (typ_ != TypProgramatora::avr910 || !rozmiar_bloku_) return 0;
  // 'F' blocks count words: a part with byte-addressed flash keeps the byte commands.
  if (flash && bajtowo) return 0;
  std::size_t n = std::min(*rozmiar_bloku_, kNajwiekszyBlok);
  if (flash) n &= ~std::size_t{1};
  return n;
}

std::uint8_t Programator::fuse_z_pol() const {
  std::uint8_t f = 0xFF;
  if (kod_ukladu == kKodBezOdczytuBlokad) return f;
  if (kod_ukladu == 134) return dialog.CheckBox2.zaznaczone ? 0xFE : 0xFF;  // AT89S8252
  if (dialog.CheckBox1.zaznaczone) f = static_cast<std::uint8_t>(f & ~0x01);
  if (dialog.CheckBox2.zaznaczone) f = static_cast<std::uint8_t>(f & ~0x20);
  return f;
}

std::uint8_t Programator::czekaj_na_zapis_bloku(std::size_t n) {
  const std::uint32_t zwykly = limit_odpowiedzi_ms;
  limit_odpowiedzi_ms = zwykly + static_cast<std::uint32_t>(n) * kZapisBajtuMs;
  try {
    const std::uint8_t b = czekaj_na_bajt();
    limit_odpowiedzi_ms = zwykly;
    return b;
  } catch (...) {
    limit_odpowiedzi_ms = zwykly;
    throw;
  }
}

void Programator::programuj_blokami(Strumien& obraz, bool flash, std::size_t blok) {
  obraz.ustaw_pozycje(0);
  const std::size_t rozmiar = obraz.rozmiar();
  const std::size_t dlugosc = dlugosc_transferu(obraz, flash);
  std::vector<std::uint8_t> dane;
  for (std::size_t od = 0; od < dlugosc; od += blok) {
    const std::size_t n = std::min(blok, dlugosc - od);
    dane.clear();
    for (std::size_t k = 0; k < n; ++k) {
      std::uint8_t b = kBrakujacyBajt;
      obraz.czytaj_bajt(b);
      dane.push_back(b);
    }
    // Every block says where it goes: the register is not relied on between commands.
    wyslij_adres(*this, flash ? od / 2 : od);
    wyslij_naglowek(*this, kB, n, flash);
    port.WriteData(dane.data(), static_cast<std::int32_t>(dane.size()));
    czekaj_na_zapis_bloku(n);
    ustaw_postep(obraz.pozycja(), rozmiar);
  }
}

bool Programator::weryfikuj_blokami(Strumien& obraz, bool flash, std::size_t blok,
                                    std::uint32_t& jednostka) {
  obraz.ustaw_pozycje(0);
  const std::size_t rozmiar = obraz.rozmiar();
  const std::size_t dlugosc = dlugosc_transferu(obraz, flash);
  for (std::size_t od = 0; od < dlugosc; od += blok) {
    const std::size_t n = std::min(blok, dlugosc - od);
    wyslij_adres(*this, flash ? od / 2 : od);
    wyslij_naglowek(*this, kg, n, flash);
    // The whole answer is read even past a difference: the next command must not meet
    // the rest of it.
    std::size_t roznica = n;
    std::uint8_t w_pliku = 0, w_ukladzie = 0;
    for (std::size_t k = 0; k < n; ++k) {
      const std::uint8_t r = czekaj_na_bajt();
      std::uint8_t b = kBrakujacyBajt;
      obraz.czytaj_bajt(b);
      if (r != b && roznica == n) {
        roznica = k;
        w_pliku = b;
        w_ukladzie = r;
      }
    }
    if (roznica < n) {
      // The 1-based number of the unit (word of flash, byte of EEPROM) that differs.
      const std::size_t bajt = od + roznica;
      jednostka = static_cast<std::uint32_t>(flash ? bajt / 2 + 1 : bajt + 1);
      zanotuj_roznice(static_cast<std::uint32_t>(bajt), w_pliku, w_ukladzie);
      return false;
    }
    ustaw_postep(obraz.pozycja(), rozmiar);
  }
  return true;
}

void Programator::czytaj_blokami(Strumien& obraz, bool flash, std::size_t blok, std::size_t bajty) {
  for (std::size_t od = 0; od < bajty; od += blok) {
    const std::size_t n = std::min(blok, bajty - od);
    ustaw_postep(od + n, bajty);
    wyslij_adres(*this, flash ? od / 2 : od);
    wyslij_naglowek(*this, kg, n, flash);
    for (std::size_t k = 0; k < n; ++k) obraz.zapisz_bajt(czekaj_na_bajt());
  }
}

}  // namespace ostrel
