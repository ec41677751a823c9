// The AVR910 firmware (3.x) with a page-mode ATtiny or ATmega in its socket: the
// commands become the chip's serial programming instructions, clocked in software, and
// the device code given with 'T' decides how flash is written (page size, or byte mode).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/automat.h"
#include "sim/uklad_spi.h"

namespace ostrel::sim {

// Timing of the firmware, in milliseconds.
inline constexpr double kBajtSpi = 0.065;               // one byte clocked in software
inline constexpr double kInstrukcjaSpi = 4 * kBajtSpi;  // one four-byte instruction
inline constexpr double kCzekanieNaFF = 50.0;           // blind wait when the polled byte is 0xFF
inline constexpr double kZapisEeprom = 10.0;            // blind wait per EEPROM byte
inline constexpr double kUniwersalne = 50.0;            // '.' and ':' before their CR
inline constexpr double kPoStronie = 10.0;              // blind wait after 'm'
inline constexpr double kPoKasowaniu = 10.0;            // blind wait after 'e'
inline constexpr double kProbaSynchronizacji = 2.0;     // one more Programming Enable in 'P'
inline constexpr int kProbySynchronizacji = 32;         // Programming Enables for codes 0x20..0x7F
inline constexpr int kNajwiecejOdczytowPollingu = 256;  // then the firmware gives up polling

class Avr910Stronicowy : public Model {
 public:
  // `kody`: the codes the firmware lists for 't' (empty: `ustawienia.lista_kodow`, else
  // its own list). `ustawienia.sygnatura` replaces the chip's signature bytes.
  Avr910Stronicowy(const UkladStronicowy& dane, Ustawienia ustawienia,
                   std::vector<std::uint8_t> kody, int nieudane_synchronizacje);
  // The chip refers to dane_: a copy would refer to the original's.
  Avr910Stronicowy(const Avr910Stronicowy&) = delete;
  Avr910Stronicowy& operator=(const Avr910Stronicowy&) = delete;

  bool przyjmij(std::uint8_t bajt, Odpowiedz& odp) override;
  void przerwij() override;
  std::vector<std::uint8_t>& flash() override { return uklad_.flash(); }
  std::vector<std::uint8_t>& eeprom() override { return uklad_.eeprom(); }

  const UkladSpi& uklad() const { return uklad_; }
  std::uint8_t kod() const { return kod_; }

 private:
  void wykonaj(Odpowiedz& odp);
  void zapisz_blok(Odpowiedz& odp);
  void czytaj_blok(Odpowiedz& odp);
  // The page write at word `slowo` and the firmware's wait for it: polling the word's
  // high byte until it reads `wysoki`, or blind when that is 0xFF. Returns the time.
  double zapisz_strone(std::uint32_t slowo, std::uint8_t wysoki, Odpowiedz& odp);
  std::uint8_t spi(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    return uklad_.instrukcja(a, b, c, d);
  }
  std::uint8_t hi() const { return static_cast<std::uint8_t>(adres_ >> 8); }
  std::uint8_t lo() const { return static_cast<std::uint8_t>(adres_ & 0xFF); }
  void dalej() { adres_ = static_cast<std::uint16_t>(adres_ + 1); }
  std::uint16_t strona() const { return strona_kodu(kod_); }

  UkladStronicowy dane_;  // the part's facts, with a signature given instead of its own
  UkladSpi uklad_;
  Ustawienia ustawienia_;
  std::vector<std::uint8_t> kody_;
  std::uint8_t kod_ = 0;
  std::uint16_t adres_ = 0;
  bool zawieszony_ = false;  // an odd 'g' count: the firmware never comes back
  std::uint8_t polecenie_ = 0;
  int oczekiwane_argumenty_ = 0;
  int liczba_argumentow_ = 0;
  std::uint8_t argumenty_[4] = {};
  std::vector<std::uint8_t> blok_;
  std::size_t oczekiwany_blok_ = 0;
  bool blok_w_drodze_ = false;
};

}  // namespace ostrel::sim
