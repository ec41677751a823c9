#include "sim/avr910_stronicowy.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ostrel::sim {

namespace {

constexpr std::uint8_t kCR = 13;

int argumenty(std::uint8_t polecenie, bool bloki) {
  switch (polecenie) {
    case 'A':
      return 2;
    case 'c':
    case 'C':
    case 'D':
    case 'T':
    case 'l':
    case 'f':
    case 'x':
    case 'y':
      return 1;
    case ':':
      return 3;
    case '.':
      return 4;
    case 'B':
    case 'g':
      return bloki ? 3 : 0;
    default:
      return 0;
  }
}

std::string tekst(const char* format, unsigned a, unsigned b = 0, unsigned c = 0) {
  char bufor[160];
  std::snprintf(bufor, sizeof bufor, format, a, b, c);
  return bufor;
}

}  // namespace

Avr910Stronicowy::Avr910Stronicowy(const UkladStronicowy& dane, Ustawienia ustawienia,
                                   std::vector<std::uint8_t> kody, int nieudane_synchronizacje)
    : dane_(dane),
      uklad_(dane_, nieudane_synchronizacje),
      ustawienia_(std::move(ustawienia)),
      kody_(std::move(kody)),
      kod_(ustawienia_.kod_startowy),
      adres_(ustawienia_.adres_startowy) {
  if (ustawienia_.sygnatura) dane_.sygnatura = *ustawienia_.sygnatura;
  if (kody_.empty() && ustawienia_.lista_kodow) kody_ = *ustawienia_.lista_kodow;
  if (kody_.empty()) {
    for (const KodFirmware& k : kKodyFirmware) kody_.push_back(k.kod);
  }
}

void Avr910Stronicowy::przerwij() {
  oczekiwane_argumenty_ = 0;
  blok_w_drodze_ = false;
  blok_.clear();
}

bool Avr910Stronicowy::przyjmij(std::uint8_t bajt, Odpowiedz& odp) {
  if (zawieszony_) return false;
  const bool bloki = ustawienia_.rozmiar_bloku > 0;
  if (blok_w_drodze_) {
    blok_.push_back(bajt);
    if (--oczekiwany_blok_ > 0) return false;
    blok_w_drodze_ = false;
  } else if (oczekiwane_argumenty_ == 0) {
    polecenie_ = bajt;
    liczba_argumentow_ = 0;
    oczekiwane_argumenty_ = argumenty(bajt, bloki);
  } else {
    argumenty_[liczba_argumentow_++] = bajt;
    if (--oczekiwane_argumenty_ == 0 && bloki && polecenie_ == 'B') {
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

double Avr910Stronicowy::zapisz_strone(std::uint32_t slowo, std::uint8_t wysoki, Odpowiedz& odp) {
  const auto h = static_cast<std::uint8_t>(slowo >> 8);
  const auto l = static_cast<std::uint8_t>(slowo & 0xFF);
  spi(0x4C, h, l, 0);
  double czas = kInstrukcjaSpi;
  if (uklad_.ostatni_zapis().zablokowany) {
    odp.zdarzenia.push_back(
        tekst("page 0x%04X not written: lock bits", uklad_.ostatni_zapis().strona));
  }
  // While the chip writes, the polled byte reads 0xFF, so a loaded 0xFF cannot be told
  // from a busy chip: the firmware waits blind instead.
  if (wysoki == 0xFF) {
    odp.zdarzenia.push_back(tekst("page write at word 0x%04X: polled byte FF, blind wait", slowo));
    return czas + kCzekanieNaFF;
  }
  const int odczyty = static_cast<int>(std::ceil(uklad_.dane().zapis_strony_ms / kInstrukcjaSpi));
  if (spi(0x28, h, l, 0) == wysoki) return czas + odczyty * kInstrukcjaSpi;
  odp.zdarzenia.push_back(tekst("polling word 0x%04X for %02X gave up after %u reads", slowo,
                                wysoki, static_cast<unsigned>(kNajwiecejOdczytowPollingu)));
  return czas + kNajwiecejOdczytowPollingu * kInstrukcjaSpi;
}

void Avr910Stronicowy::zapisz_blok(Odpowiedz& odp) {
  const char typ = static_cast<char>(argumenty_[2]);
  if ((typ != 'F' && typ != 'E') || blok_.empty()) {
    odp.bajty.push_back('?');
    blok_.clear();
    return;
  }
  const std::size_t n = blok_.size();
  if (n > ustawienia_.rozmiar_bloku) {
    odp.zdarzenia.push_back(tekst("block of %u bytes overruns the %u-byte buffer",
                                  static_cast<unsigned>(n), ustawienia_.rozmiar_bloku));
  }
  double czas = 0;
  if (typ == 'E') {
    for (std::uint8_t b : blok_) {
      spi(0xC0, hi(), lo(), b);
      dalej();
      czas += kInstrukcjaSpi + kZapisEeprom;
    }
  } else {
    const std::uint16_t pierwsze = adres_;
    const std::uint32_t slowa_strony = uklad_.slowa_strony();
    std::uint16_t ostatnie = adres_;
    for (std::size_t k = 0; k < n; ++k) {
      ostatnie = adres_;
      if (k % 2 == 0) {
        spi(0x40, hi(), lo(), blok_[k]);
      } else {
        spi(0x48, hi(), lo(), blok_[k]);
        dalej();
      }
      czas += kInstrukcjaSpi;
      // A byte-mode code: the firmware waits for the byte to be written, which a
      // page-mode part never does by itself.
      if (strona() == 0) czas += kZajetoscZapisu;
    }
    if (strona() > 0) {
      if (pierwsze / slowa_strony != ostatnie / slowa_strony) {
        odp.zdarzenia.push_back(tekst(
            "block straddles a page: words 0x%04X..0x%04X loaded, only the page of 0x%04X written",
            pierwsze, ostatnie, ostatnie));
      }
      czas += zapisz_strone(ostatnie, n % 2 == 0 ? blok_.back() : 0xFF, odp);
    }
  }
  odp.zapis_pamieci = true;
  odp.zajetosc_ms = czas;
  odp.bajty.push_back(kCR);
  blok_.clear();
}

void Avr910Stronicowy::czytaj_blok(Odpowiedz& odp) {
  const char typ = static_cast<char>(argumenty_[2]);
  std::size_t n = static_cast<std::size_t>(argumenty_[0]) << 8 | argumenty_[1];
  if (typ != 'F' && typ != 'E') {
    odp.bajty.push_back('?');
    return;
  }
  double czas = 0;
  if (typ == 'E') {
    for (std::size_t k = 0; k < n; ++k) {
      odp.bajty.push_back(spi(0xA0, hi(), lo(), 0));
      dalej();
      czas += kInstrukcjaSpi;
      odp.gotowosc_ms.push_back(czas);
    }
  } else {
    if (n % 2 != 0) {
      // The count goes down by two a word and never meets zero: the firmware reads on
      // (a whole turn of the address register is modelled) and never answers again.
      odp.zdarzenia.push_back(tekst("g F with the odd count %u never ends: the firmware is lost",
                                    static_cast<unsigned>(n)));
      zawieszony_ = true;
      n = 0x20000;
    }
    for (std::size_t k = 0; k < n; k += 2) {
      const std::uint8_t niski = spi(0x20, hi(), lo(), 0);
      const std::uint8_t wysoki = spi(0x28, hi(), lo(), 0);
      dalej();
      czas += 2 * kInstrukcjaSpi;
      odp.bajty.push_back(niski);
      odp.bajty.push_back(wysoki);
      odp.gotowosc_ms.push_back(czas);
      odp.gotowosc_ms.push_back(czas);
    }
  }
  odp.zajetosc_ms = czas;
}

void Avr910Stronicowy::wykonaj(Odpowiedz& odp) {
  auto& out = odp.bajty;
  const std::uint8_t arg = argumenty_[0];
  const bool bloki = ustawienia_.rozmiar_bloku > 0;
  if (odpowiedz_o_programatorze(polecenie_, ustawienia_, odp)) return;
  switch (polecenie_) {
    case 'a':
      out.push_back('Y');
      return;
    case 't':
      out = kody_;
      out.push_back(0);
      return;
    case 'b':
      if (bloki) {
        out = {'Y', static_cast<std::uint8_t>(ustawienia_.rozmiar_bloku >> 8),
               static_cast<std::uint8_t>(ustawienia_.rozmiar_bloku & 0xFF)};
      } else {
        out.push_back('?');
      }
      return;
    case 'B':
      if (bloki) {
        zapisz_blok(odp);
      } else {
        out.push_back('?');
      }
      return;
    case 'g':
      if (bloki) {
        czytaj_blok(odp);
      } else {
        out.push_back('?');
      }
      return;
    case 'T':
      kod_ = arg;
      break;
    case 'P': {
      // Codes 0x20..0x7F: Programming Enable again (after a clock pulse) until the chip
      // answers; any other code: one Programming Enable, and CR whether it answered or not.
      const int proby = kod_ >= 0x20 && kod_ < 0x80 ? kProbySynchronizacji : 1;
      int k = 1;
      bool zsynchronizowany = uklad_.synchronizuj();
      while (!zsynchronizowany && k < proby) {
        ++k;
        zsynchronizowany = uklad_.synchronizuj();
      }
      odp.zajetosc_ms = kZajetoscP + (k - 1) * kProbaSynchronizacji;
      if (!zsynchronizowany) {
        odp.zdarzenia.push_back(
            tekst(uklad_.niedostepny()
                      ? "P: no answer to %u Programming Enable(s); the fuses end serial programming"
                      : "P: no answer to %u Programming Enable(s)",
                  static_cast<unsigned>(k)));
      }
      break;
    }
    case 'L':
      uklad_.zwolnij();
      break;
    case 'A':
      adres_ = static_cast<std::uint16_t>(argumenty_[0] << 8 | argumenty_[1]);
      break;
    case 'c':
    case 'C':
      spi(polecenie_ == 'c' ? 0x40 : 0x48, hi(), lo(), arg);
      if (polecenie_ == 'C') dalej();
      odp.zapis_pamieci = true;
      odp.zajetosc_ms = kInstrukcjaSpi + (strona() == 0 ? kZajetoscZapisu : 0.0);
      break;
    case 'm':
      spi(0x4C, hi(), lo(), 0);
      if (uklad_.ostatni_zapis().zablokowany) {
        odp.zdarzenia.push_back(
            tekst("page 0x%04X not written: lock bits", uklad_.ostatni_zapis().strona));
      }
      odp.zapis_pamieci = true;
      odp.zajetosc_ms = kInstrukcjaSpi + kPoStronie;
      break;
    case 'R': {
      // High byte first, unlike 'g'.
      const std::uint8_t wysoki = spi(0x28, hi(), lo(), 0);
      const std::uint8_t niski = spi(0x20, hi(), lo(), 0);
      dalej();
      out = {wysoki, niski};
      odp.zajetosc_ms = 2 * kInstrukcjaSpi;
      return;
    }
    case 'd':
      out.push_back(spi(0xA0, hi(), lo(), 0));
      dalej();
      odp.zajetosc_ms = kInstrukcjaSpi;
      return;
    case 'D':
      spi(0xC0, hi(), lo(), arg);
      dalej();
      odp.zapis_pamieci = true;
      odp.zajetosc_ms = kInstrukcjaSpi + kZapisEeprom;
      break;
    case 'e':
      spi(0xAC, 0x80, 0, 0);
      odp.zajetosc_ms = kInstrukcjaSpi + kPoKasowaniu;
      break;
    case 's': {
      out = {spi(0x30, 0, 2, 0), spi(0x30, 0, 1, 0), spi(0x30, 0, 0, 0)};
      odp.zajetosc_ms = 3 * kInstrukcjaSpi;
      const auto inna = ustawienia_.sygnatura_przy_kodzie.find(kod_);
      if (inna != ustawienia_.sygnatura_przy_kodzie.end()) {
        out = {inna->second[2], inna->second[1], inna->second[0]};
      }
      return;
    }
    // Fuses and lock read as one byte, without CR.
    case 'F':
      out.push_back(spi(0x50, 0x00, 0, 0));
      odp.zajetosc_ms = kInstrukcjaSpi;
      return;
    case 'N':
      out.push_back(spi(0x58, 0x08, 0, 0));
      odp.zajetosc_ms = kInstrukcjaSpi;
      return;
    case 'Q':
      out.push_back(spi(0x50, 0x08, 0, 0));
      odp.zajetosc_ms = kInstrukcjaSpi;
      return;
    case 'r':
      out.push_back(spi(0x58, 0x00, 0, 0));
      odp.zajetosc_ms = kInstrukcjaSpi;
      return;
    case 'l':
      spi(0xAC, 0xE0, 0, arg);
      odp.zajetosc_ms = kInstrukcjaSpi + kZapisEeprom;
      break;
    case 'f':
      spi(0xAC, 0xA0, 0, arg);
      odp.zajetosc_ms = kInstrukcjaSpi + kZapisEeprom;
      break;
    case '.':
    case ':': {
      // ':' has no fourth byte of its own: 0x00 goes out in its place.
      const std::uint8_t czwarty = polecenie_ == '.' ? argumenty_[3] : 0x00;
      out = {spi(argumenty_[0], argumenty_[1], argumenty_[2], czwarty), kCR};
      odp.gotowosc_ms = {kInstrukcjaSpi, kInstrukcjaSpi + kUniwersalne};
      odp.zajetosc_ms = kInstrukcjaSpi + kUniwersalne;
      return;
    }
    case 'x':
    case 'y':
      break;
    default:
      out.push_back('?');
      return;
  }
  out.push_back(kCR);
}

}  // namespace ostrel::sim
