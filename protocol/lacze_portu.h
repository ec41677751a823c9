// The exchange with the programmer over a serial port: the waiting primitives with their
// bounds, the device-gone and interruption checks.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "protocol/sterownik.h"
#include "serial/ComDrv32.h"

namespace ostrel {

class LaczePortu : public Lacze {
 public:
  explicit LaczePortu(TCommPortDriver& p) : port(p) {}

  // czekaj_na_bajt gives up after `limit_odpowiedzi_ms` without any byte, or at once
  // when the port is closed, by throwing PorzucenieOperacji, which the operations catch.
  // oproznij_wejscie gives up the same way when the input never falls silent.
  void oproznij_wejscie() override;
  bool nadmiar() override;
  std::uint8_t czekaj_na_bajt() override;
  std::uint8_t czekaj_dluzej(std::uint32_t dodatkowe_ms) override;
  bool sprobuj_ograniczone(std::uint8_t& wynik) override;
  // Up to 33 reads; `poprzedni` when none brings a byte.
  std::uint8_t czekaj_ograniczone(std::uint8_t poprzedni);
  // One read; `domyslny` when it brings nothing.
  std::uint8_t pojedyncza_proba(std::uint8_t domyslny) override;
  // The command byte and its arguments, in order, nothing awaited.
  void wyslij(std::uint8_t b) override;
  void wyslij_dane(const std::uint8_t* dane, std::size_t n) override;

  // A front end asked to stop (see `przerwanie`).
  bool przerwane() const;
  // The port as the texts name it ("com3 (/dev/ttyUSB0)", or the device path it was given).
  std::string opis_portu() const;

  TCommPortDriver& port;
  // The line was quiet for a whole input time-out just now and nothing has been sent
  // since (the search's probe ends so, and the port it found was opened right after):
  // the next drain takes what is queued without waiting for that time-out again.
  bool cisza = false;
  // The bound of every wait for a byte.
  std::uint32_t limit_odpowiedzi_ms = 5000;
  // Set by a front end (a signal handler, the window's stop) when not null: every wait
  // gives up at the next command.
  const std::atomic<int>* przerwanie = nullptr;

 protected:
  std::uint32_t teraz();
  // Gives up the wait: the stop, the device gone or silence, in that order.
  [[noreturn]] void porzuc();
};

// Configures a component as the main window's instance: COM3, 19200 baud, 50 ms input
// time-out, every other property at its default.
void ustaw_CommPortDriver1(TCommPortDriver& port);

// "Port … jest niedostępny (urządzenie odłączone?)": the device of an open port went away.
std::string tekst_odlaczenia(const std::string& port);

}  // namespace ostrel
