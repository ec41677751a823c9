#include "sim/automat.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string_view>

#include "sim/uklady_stronicowe.h"

namespace ostrel::sim {

namespace {

constexpr std::uint8_t kCR = 13;

// How the chip keeps and shows its lock and fuse bits, by what its row says of it.
enum class Rodzina {
  at89c,      // programmed at 12 V: no fuses, the lock bits read back where written
  at89s8252,  // a serially programmed 8051: three lock bits, SPIEN in bit 0
  avr,        // lock bits written in bits 2..1 and read in 7..6, SPIEN in bit 5
};

Rodzina rodzina(const Uklad& u) {
  if (u.rownolegly_12v) return Rodzina::at89c;
  if (!u.avr) return Rodzina::at89s8252;
  return Rodzina::avr;
}

}  // namespace

int liczba_argumentow(std::uint8_t polecenie) {
  switch (polecenie) {
    case 'A':
      return 2;
    case 'C':
    case 'D':
    case 'T':
    case 'c':
    case 'f':
    case 'l':
    case 'x':
    case 'y':
      return 1;
    case '.':
      return 4;
    default:
      return 0;
  }
}

Automat::Automat(const Uklad& uklad, Ustawienia ustawienia)
    : uklad_(uklad),
      ustawienia_(std::move(ustawienia)),
      sygnatura_{0xFF, 0xFF, 0xFF},
      flash_(uklad.bajty_flash(), 0xFF),
      eeprom_(uklad.rozmiar_eeprom, 0xFF) {
  if (ustawienia_.oprogramowanie == Oprogramowanie::avr910) {
    adres_ = ustawienia_.adres_startowy;
    kod_ = ustawienia_.kod_startowy;
  }
  // The chip answers the signature the device table gives its part.
  const int moj = znajdz_uklad(uklad.nazwa);
  if (moj >= 0)
    std::memcpy(sygnatura_, kUklady[static_cast<std::size_t>(moj)].sygnatura.bajty.data(), 3);
  if (ustawienia_.sygnatura) std::memcpy(sygnatura_, ustawienia_.sygnatura->data(), 3);
  // A new part has serial programming enabled (SPIEN programmed, 0) and every other
  // fuse unprogrammed.
  switch (rodzina(uklad)) {
    case Rodzina::at89c:
      bezpieczniki_ = 0xFF;
      break;
    case Rodzina::at89s8252:
      bezpieczniki_ = 0xFE;
      break;
    case Rodzina::avr:
      bezpieczniki_ = 0xDF;
      break;
  }
}

bool Automat::przyjmij(std::uint8_t bajt, Odpowiedz& odp) {
  const bool avr910 = ustawienia_.oprogramowanie == Oprogramowanie::avr910;
  if (blok_w_drodze_) {
    // A block's bytes go into the block buffer as they come; the write starts when the
    // last one is in.
    blok_.push_back(bajt);
    if (--oczekiwany_blok_ > 0) return false;
    blok_w_drodze_ = false;
  } else if (oczekiwane_argumenty_ == 0) {
    polecenie_ = bajt;
    liczba_argumentow_ = 0;
    oczekiwane_argumenty_ = liczba_argumentow(bajt);
    // 'B' and 'g' (size high, size low, memory type) are block commands only there.
    if (avr910 && ustawienia_.rozmiar_bloku > 0 && (bajt == 'B' || bajt == 'g')) {
      oczekiwane_argumenty_ = 3;
    }
  } else {
    argumenty_[liczba_argumentow_++] = bajt;
    --oczekiwane_argumenty_;
    if (oczekiwane_argumenty_ == 0 && avr910 && ustawienia_.rozmiar_bloku > 0 &&
        polecenie_ == 'B') {
      blok_.clear();
      oczekiwany_blok_ = static_cast<std::size_t>(argumenty_[0]) << 8 | argumenty_[1];
      if (oczekiwany_blok_ > 0) {
        blok_w_drodze_ = true;
        return false;
      }
    }
  }
  if (oczekiwane_argumenty_ > 0) return false;
  odp = Odpowiedz{};
  odp.polecenie = polecenie_;
  wykonaj(odp);
  return true;
}

void Automat::zapisz_flash(std::size_t indeks, std::uint8_t b) {
  // Programming only pulls bits to 0; only a chip erase brings them back to 1.
  if (!flash_.empty()) flash_[indeks % flash_.size()] &= b;
}

std::uint8_t Automat::czytaj_flash(std::size_t indeks) const {
  return flash_.empty() ? 0xFF : flash_[indeks % flash_.size()];
}

void Automat::kasuj() {
  // Flash, EEPROM and lock bits back to 1; the fuses stay as they are.
  std::fill(flash_.begin(), flash_.end(), 0xFF);
  std::fill(eeprom_.begin(), eeprom_.end(), 0xFF);
  zamek_ = 0xFF;
}

std::vector<std::uint8_t> Automat::odpowiedz_s() const {
  const auto inna = ustawienia_.sygnatura_przy_kodzie.find(kod_);
  if (inna != ustawienia_.sygnatura_przy_kodzie.end()) {
    return {inna->second[2], inna->second[1], inna->second[0]};
  }
  return {sygnatura_[2], sygnatura_[1], sygnatura_[0]};
}

std::uint8_t Automat::bajt_F() const {
  switch (rodzina(uklad_)) {
    case Rodzina::at89c:
      // No fuses: the lock bits come back where they were written.
      return zamek_;
    case Rodzina::at89s8252:
      // Lock bits LB1..LB3 in bits 7..5, SPIEN in bit 0, the rest unused (1).
      return static_cast<std::uint8_t>((zamek_ & 0xE0) | 0x1E | (bezpieczniki_ & 0x01));
    case Rodzina::avr:
      break;
  }
  // Lock bits are written in bits 2..1 and read back in bits 7..6 (bit 1 -> 7,
  // bit 2 -> 6); SPIEN in bit 5, RCEN or FSTRT in bit 0, bits 4..1 unused (1).
  std::uint8_t f = 0x1E;
  if (zamek_ & 0x02) f |= 0x80;
  if (zamek_ & 0x04) f |= 0x40;
  f |= bezpieczniki_ & 0x21;
  return f;
}

// The four-byte serial programming instructions of the AVR parts; the answer is the
// byte the chip shifts out with the fourth byte.
std::uint8_t Automat::uniwersalne() {
  const std::uint8_t* a = argumenty_;
  const std::size_t slowo = static_cast<std::size_t>(a[1]) << 8 | a[2];
  const std::size_t e = eeprom_.empty() ? 0 : slowo % eeprom_.size();
  switch (a[0]) {
    case 0x30:
      return a[2] < 3 ? sygnatura_[a[2]] : 0xFF;
    case 0x20:
      return czytaj_flash(2 * slowo);
    case 0x28:
      return czytaj_flash(2 * slowo + 1);
    case 0x40:
      zapisz_flash(2 * slowo, a[3]);
      return 0;
    case 0x48:
      zapisz_flash(2 * slowo + 1, a[3]);
      return 0;
    case 0xA0:
      return eeprom_.empty() ? 0xFF : eeprom_[e];
    case 0xC0:
      if (!eeprom_.empty()) eeprom_[e] = a[3];
      return 0;
    case 0x58:
      return bajt_F();
    case 0xAC:
      if (a[1] == 0x80) {
        kasuj();
      } else if ((a[1] & 0xE0) == 0xE0) {
        zamek_ &= static_cast<std::uint8_t>(a[1] | 0xF9);
      } else if (a[1] == 0x53) {
        return 0x53;
      }
      return 0;
    default:
      return 0;
  }
}

std::uint8_t* Automat::komorka(bool flash, std::size_t k) {
  if (kod_ != uklad_.kod_ukladu) return nullptr;  // the chip is not in programming mode
  if (!flash) return eeprom_.empty() ? nullptr : &eeprom_[(adres_ + k) % eeprom_.size()];
  if (flash_.empty()) return nullptr;
  // Paired: the register counts words, low byte then high byte of each.
  const std::size_t i = uklad_.adresowanie_bajtowe != 0 ? adres_ + k : 2 * adres_ + k;
  return &flash_[i % flash_.size()];
}

void Automat::zapisz_blok(Odpowiedz& odp) {
  const char typ = static_cast<char>(argumenty_[2]);
  if ((typ != 'F' && typ != 'E') || blok_.empty()) {
    odp.bajty.push_back('?');
    blok_.clear();
    return;
  }
  const bool flash = typ == 'F';
  for (std::size_t k = 0; k < blok_.size(); ++k) {
    std::uint8_t* c = komorka(flash, k);
    if (c == nullptr) continue;
    // Flash bits only go to 0; EEPROM cells erase themselves before each write.
    *c = flash ? static_cast<std::uint8_t>(*c & blok_[k]) : blok_[k];
  }
  const std::size_t n = blok_.size();
  const bool slowa = flash && uklad_.adresowanie_bajtowe == 0;
  adres_ = static_cast<std::uint32_t>((adres_ + (slowa ? (n + 1) / 2 : n)) & 0xFFFF);
  odp.zapis_pamieci = true;
  odp.zajetosc_ms = kZajetoscZapisu * static_cast<double>(n);
  odp.bajty.push_back(kCR);
  blok_.clear();
}

void Automat::czytaj_blok(Odpowiedz& odp) {
  const char typ = static_cast<char>(argumenty_[2]);
  const std::size_t n = static_cast<std::size_t>(argumenty_[0]) << 8 | argumenty_[1];
  if (typ != 'F' && typ != 'E') {
    odp.bajty.push_back('?');
    return;
  }
  const bool flash = typ == 'F';
  for (std::size_t k = 0; k < n; ++k) {
    const std::uint8_t* c = komorka(flash, k);
    odp.bajty.push_back(c == nullptr ? 0xFF : *c);
  }
  const bool slowa = flash && uklad_.adresowanie_bajtowe == 0;
  adres_ = static_cast<std::uint32_t>((adres_ + (slowa ? (n + 1) / 2 : n)) & 0xFFFF);
}

// The AVR910 family's firmware: one 16-bit address register for flash and EEPROM, set
// by 'A' and advanced by the memory commands, never by 'P'; the device code only from
// 'T'. While the code in force is not the chip's, the chip stays out of programming
// mode: memory commands change nothing, reads bring 0xFF, and the answers take the
// shape of the code in force (a word per 'R' below 0x80, a byte from 0x80 on).
bool Automat::wykonaj_avr910(Odpowiedz& odp) {
  auto& out = odp.bajty;
  const bool wlasciwy = kod_ == uklad_.kod_ukladu;
  const bool bajtowe = wlasciwy ? uklad_.adresowanie_bajtowe != 0 : kod_ >= 0x80;
  const std::uint8_t arg = argumenty_[0];
  const std::size_t a = adres_;
  auto dalej = [this] { adres_ = (adres_ + 1) & 0xFFFF; };
  switch (polecenie_) {
    case 'T':
      kod_ = arg;
      break;
    case 'P':
      odp.zajetosc_ms = kZajetoscP;
      break;
    case 't':
      if (ustawienia_.lista_kodow) {
        out = *ustawienia_.lista_kodow;
      } else {
        // One firmware, one list, whatever part is in the socket.
        for (const KodFirmware& k : kKodyFirmware) out.push_back(k.kod);
      }
      out.push_back(0);
      return true;
    case 'b':
      if (ustawienia_.rozmiar_bloku == 0) {
        out.push_back('?');  // a firmware without block commands does not know 'b'
      } else {
        out = {'Y', static_cast<std::uint8_t>(ustawienia_.rozmiar_bloku >> 8),
               static_cast<std::uint8_t>(ustawienia_.rozmiar_bloku & 0xFF)};
      }
      return true;
    case 'B':
    case 'g':
      if (ustawienia_.rozmiar_bloku == 0) {
        out.push_back('?');  // unknown to such a firmware, and without arguments
      } else if (polecenie_ == 'B') {
        zapisz_blok(odp);
      } else {
        czytaj_blok(odp);
      }
      return true;
    case 'A':
      adres_ = static_cast<std::uint32_t>(argumenty_[0]) << 8 | argumenty_[1];
      break;
    case 'c':
      if (wlasciwy) zapisz_flash(bajtowe ? a : 2 * a, arg);
      if (bajtowe) dalej();
      odp.zapis_pamieci = true;
      odp.zajetosc_ms = kZajetoscZapisu;
      break;
    case 'C':
      if (wlasciwy && !bajtowe) zapisz_flash(2 * a + 1, arg);
      dalej();
      odp.zapis_pamieci = true;
      odp.zajetosc_ms = kZajetoscZapisu;
      break;
    case 'R':
      if (bajtowe) {
        out.push_back(wlasciwy ? czytaj_flash(a) : 0xFF);
      } else {
        out.push_back(wlasciwy ? czytaj_flash(2 * a + 1) : 0xFF);
        out.push_back(wlasciwy ? czytaj_flash(2 * a) : 0xFF);
      }
      dalej();
      return true;
    case 'd':
      out.push_back(wlasciwy && !eeprom_.empty() ? eeprom_[a % eeprom_.size()] : 0xFF);
      dalej();
      return true;
    case 'D':
      if (wlasciwy && !eeprom_.empty()) eeprom_[a % eeprom_.size()] = arg;
      dalej();
      odp.zapis_pamieci = true;
      odp.zajetosc_ms = kZajetoscZapisu;
      break;
    case 's':
    case 'F':
    case 'e':
    case 'l':
    case 'f':
      if (wlasciwy) return false;  // the chip answers as with any firmware
      if (polecenie_ == 's') {
        out = ustawienia_.sygnatura_przy_kodzie.count(kod_) != 0
                  ? odpowiedz_s()
                  : std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF};
        return true;
      }
      if (polecenie_ == 'F') {
        out.push_back(0xFF);
        return true;
      }
      break;
    default:
      return false;
  }
  out.push_back(kCR);
  return true;
}

bool odpowiedz_o_programatorze(std::uint8_t polecenie, const Ustawienia& u, Odpowiedz& odp) {
  auto& out = odp.bajty;
  switch (polecenie) {
    case 'S':
      out.assign(u.identyfikacja.begin(), u.identyfikacja.end());
      odp.identyfikacja = true;
      return true;
    case 'V':
      out.assign(u.wersja.begin(), u.wersja.end());
      return true;
    case 'v':
      out.assign(u.wersja_sprzetu.begin(), u.wersja_sprzetu.end());
      return true;
    case 'p':
      out.push_back(static_cast<std::uint8_t>(u.tryb));
      return true;
    default:
      return false;
  }
}

void Automat::wykonaj(Odpowiedz& odp) {
  if (ustawienia_.oprogramowanie == Oprogramowanie::avr910 && wykonaj_avr910(odp)) return;
  if (odpowiedz_o_programatorze(polecenie_, ustawienia_, odp)) return;
  auto& out = odp.bajty;
  const bool bajtowe = uklad_.adresowanie_bajtowe != 0;
  const std::uint8_t arg = argumenty_[0];
  switch (polecenie_) {
    case 's':
      // Programmers of this family send the last signature byte first.
      out = odpowiedz_s();
      return;
    case 'F':
      out.push_back(bajt_F());
      return;
    case 'A':
      // One address register serves flash (byte or word address, by the chip) and
      // EEPROM, as in the programmers of this family.
      adres_ = static_cast<std::uint32_t>(argumenty_[0]) << 8 | argumenty_[1];
      adres_eeprom_ = adres_;
      break;
    case 'P':
      adres_ = 0;
      adres_eeprom_ = 0;
      break;
    case 'T':
      // The chip in the socket is fixed; the code only chooses a signature answer given
      // for it.
      kod_ = arg;
      break;
    case 'L':
    case 'x':
    case 'y':
      break;
    case 'c':
      zapisz_flash(bajtowe ? adres_ : 2 * static_cast<std::size_t>(adres_), arg);
      odp.zapis_pamieci = true;
      break;
    case 'C':
      // The high byte of a word; a byte-addressed chip has none, so it is ignored there.
      if (!bajtowe) {
        zapisz_flash(2 * static_cast<std::size_t>(adres_) + 1, arg);
        adres_ = (adres_ + 1) & 0xFFFF;
      }
      odp.zapis_pamieci = true;
      break;
    case 'R':
      if (bajtowe) {
        out.push_back(czytaj_flash(adres_));
      } else {
        out.push_back(czytaj_flash(2 * static_cast<std::size_t>(adres_) + 1));
        out.push_back(czytaj_flash(2 * static_cast<std::size_t>(adres_)));
        adres_ = (adres_ + 1) & 0xFFFF;
      }
      return;
    case 'd':
      out.push_back(eeprom_.empty() ? 0xFF : eeprom_[adres_eeprom_ % eeprom_.size()]);
      adres_eeprom_ = (adres_eeprom_ + 1) & 0xFFFF;
      return;
    case 'D':
      // EEPROM cells erase themselves before each byte is written, so a byte can be
      // rewritten without a chip erase (the host programs EEPROM without one).
      if (!eeprom_.empty()) eeprom_[adres_eeprom_ % eeprom_.size()] = arg;
      adres_eeprom_ = (adres_eeprom_ + 1) & 0xFFFF;
      odp.zapis_pamieci = true;
      break;
    case 'e':
      kasuj();
      break;
    case 'l':
      // Lock bits can be programmed (0) but only a chip erase clears them.
      zamek_ &= arg;
      break;
    case 'f':
      if (rodzina(uklad_) != Rodzina::at89c) bezpieczniki_ = arg;
      break;
    case 'a':
      out.push_back('Y');
      return;
    case 'b':
      out.push_back('N');
      return;
    case 't': {
      // Every device code of the table once, then the terminating 0.
      if (ustawienia_.lista_kodow) {
        out = *ustawienia_.lista_kodow;
      } else {
        for (const Uklad& u : kUklady) {
          // A row this programmer does not serve has no code (0, the list's end).
          if (u.kod_ukladu != 0 && std::find(out.begin(), out.end(), u.kod_ukladu) == out.end()) {
            out.push_back(u.kod_ukladu);
          }
        }
      }
      out.push_back(0);
      return;
    }
    case '.':
      out.push_back(uniwersalne());
      break;
    default:
      out.push_back('?');
      return;
  }
  out.push_back(kCR);
}

}  // namespace ostrel::sim
