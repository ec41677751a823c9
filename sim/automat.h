// The programmer's command interpreter and the chip in its socket: takes the host's
// bytes one by one and, when a command is complete, gives its answer.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "devices/uklady.h"

namespace ostrel::sim {

// The firmware the programmer runs.
enum class Oprogramowanie {
  ostrel,  // counters at 0 after every 'P', 'T' only acknowledged, no busy times
  avr910,  // one address register for flash and EEPROM that 'P' leaves alone, the
           // device code taken from 'T' only, busy times with a one-byte receive buffer
};

// The programmer's own answers that are not the chip's, and its firmware.
struct Ustawienia {
  std::string identyfikacja = "AVR ISP";                   // answer to 'S'
  std::string wersja = "12";                               // two characters answered to 'V'
  std::string wersja_sprzetu = "10";                       // two characters answered to 'v'
  char tryb = 'S';                                         // answer to 'p'
  Oprogramowanie oprogramowanie = Oprogramowanie::ostrel;  // --firmware
  std::uint16_t adres_startowy = 0;  // avr910: the address register at power-up
  std::uint8_t kod_startowy = 0x20;  // avr910: the device code in force at power-up
  // avr910: the block buffer 'b' reports (bytes); 0: no block commands ('b' gets '?').
  std::uint16_t rozmiar_bloku = 64;
  // The chip's signature (address order, 1E first) instead of its part's in the table.
  std::optional<std::array<std::uint8_t, 3>> sygnatura;
  // What 's' answers while a device code is in force ('T'), whatever the chip's.
  std::map<std::uint8_t, std::array<std::uint8_t, 3>> sygnatura_przy_kodzie;
  // The codes 't' answers (before its 0) instead of the firmware's own list.
  std::optional<std::vector<std::uint8_t>> lista_kodow;
};

// Busy times of the avr910 firmware (before its answer), in milliseconds.
inline constexpr double kZajetoscP = 100.0;     // two 50 ms reset delays
inline constexpr double kZajetoscZapisu = 4.0;  // one flash or EEPROM byte (in a block too)

// What one complete command produced.
struct Odpowiedz {
  std::uint8_t polecenie = 0;       // the command byte
  std::vector<std::uint8_t> bajty;  // the answer, in the order it goes on the wire
  bool zapis_pamieci = false;       // a flash or EEPROM write (the chip's programming time)
  bool identyfikacja = false;       // the answer to 'S'
  double zajetosc_ms = 0;           // the firmware is busy this long before answering
  // When each answer byte is ready, ms after the command (busy times, scaled as they
  // are); empty: all of them after zajetosc_ms. The firmware is busy for zajetosc_ms.
  std::vector<double> gotowosc_ms;
  std::vector<std::string> zdarzenia;  // notes for the log
};

// The programmer's answers about itself ('S', 'V', 'v', 'p'), the same in every firmware
// modelled. False, and nothing answered, for any other command.
bool odpowiedz_o_programatorze(std::uint8_t polecenie, const Ustawienia& u, Odpowiedz& odp);

// The programmer the event loop drives: a firmware with a chip in its socket.
class Model {
 public:
  virtual ~Model() = default;
  // Takes one byte from the host. True when it completed a command; `odp` then holds
  // its answer.
  virtual bool przyjmij(std::uint8_t bajt, Odpowiedz& odp) = 0;
  // The host went away: a half-received command is forgotten.
  virtual void przerwij() = 0;
  virtual std::vector<std::uint8_t>& flash() = 0;
  virtual std::vector<std::uint8_t>& eeprom() = 0;
};

class Automat : public Model {
 public:
  Automat(const Uklad& uklad, Ustawienia ustawienia);

  // Takes one byte from the host. True when it completed a command; `odp` then holds
  // its answer (every command has one, unknown commands get '?').
  bool przyjmij(std::uint8_t bajt, Odpowiedz& odp) override;
  // The host went away: a half-received command is forgotten.
  void przerwij() override {
    oczekiwane_argumenty_ = 0;
    blok_w_drodze_ = false;
    blok_.clear();
  }

  std::vector<std::uint8_t>& flash() override { return flash_; }
  // The device code in force (last given with 'T') and the avr910 address register.
  std::uint8_t kod() const { return kod_; }
  std::uint16_t adres() const { return static_cast<std::uint16_t>(adres_); }
  std::vector<std::uint8_t>& eeprom() override { return eeprom_; }
  const std::vector<std::uint8_t>& flash() const { return flash_; }
  const std::vector<std::uint8_t>& eeprom() const { return eeprom_; }

 private:
  void wykonaj(Odpowiedz& odp);
  // The commands in which the avr910 firmware differs; false for the others.
  bool wykonaj_avr910(Odpowiedz& odp);
  // avr910 'B' and 'g': a block of `n` bytes of flash ('F', words low byte first) or
  // EEPROM ('E') from the address register on, which they advance.
  void zapisz_blok(Odpowiedz& odp);
  void czytaj_blok(Odpowiedz& odp);
  // One unit of a block: the chip's memory cell for the k-th byte from the register.
  std::uint8_t* komorka(bool flash, std::size_t k);
  std::uint8_t bajt_F() const;
  // The 's' answer (last byte first): the one given for the code in force, else the chip's.
  std::vector<std::uint8_t> odpowiedz_s() const;
  std::uint8_t uniwersalne();
  void zapisz_flash(std::size_t indeks, std::uint8_t b);
  std::uint8_t czytaj_flash(std::size_t indeks) const;
  void kasuj();  // chip erase

  const Uklad& uklad_;
  Ustawienia ustawienia_;
  std::uint8_t sygnatura_[3];  // as stored in the chip: 1E first
  std::vector<std::uint8_t> flash_;
  std::vector<std::uint8_t> eeprom_;
  std::uint32_t adres_ = 0;           // flash: byte address or word address, by the chip
  std::uint32_t adres_eeprom_ = 0;    // advanced by 'd' and 'D'
  std::uint8_t zamek_ = 0xFF;         // lock byte as written with 'l' (bits only ever clear)
  std::uint8_t bezpieczniki_ = 0xFF;  // fuse byte as written with 'f'
  std::uint8_t kod_ = 0;              // the device code last given with 'T'
  std::uint8_t polecenie_ = 0;        // command being received
  int oczekiwane_argumenty_ = 0;      // argument bytes still to come
  int liczba_argumentow_ = 0;         // argument bytes received so far
  std::uint8_t argumenty_[4] = {};
  // avr910 'B': the block's data, taken as its bytes arrive, written once it is whole.
  std::vector<std::uint8_t> blok_;
  std::size_t oczekiwany_blok_ = 0;  // data bytes of the block still to come
  bool blok_w_drodze_ = false;       // the header is in, the data are being received
};

// Argument bytes that follow a command byte (0 for unknown commands).
int liczba_argumentow(std::uint8_t polecenie);

}  // namespace ostrel::sim
