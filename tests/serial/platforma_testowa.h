// A scripted platform for tests: input bytes with arrival times, captured output, a
// clock that moves only when told to (or by a fixed step per queue query, the way the
// POSIX layer waits), and settable queue counts, modem lines and version answer.
// Everything the component asks of it is recorded for inspection.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "serial/platforma.h"

namespace ostrel {

class PlatformaTestowa : public PlatformaSzeregowa {
 public:
  // --- Clock ---
  std::uint32_t zegar = 0;    // the tick counter, ms
  std::uint32_t krok_ms = 1;  // added by a queue query that finds the input empty
                              // (or fails)
  bool krok_zawsze = false;   // add krok_ms on every queue query
  void przesun(std::uint32_t ms) { zegar += ms; }

  // --- Input ---
  // Bytes that arrive at tick `czas` (modulo 2^32; add them in time order).
  void dodaj_wejscie(std::uint32_t czas, const std::vector<std::uint8_t>& bajty);
  // Bytes already waiting in the input queue.
  void wejscie_teraz(const std::vector<std::uint8_t>& bajty);
  std::deque<std::uint8_t> kolejka_we;                          // arrived, unread
  std::deque<std::pair<std::uint32_t, std::uint8_t>> w_drodze;  // (arrival, byte)
  bool blad_zapytania = false;  // the queue query fails (a hung-up line)

  // --- Output ---
  std::vector<std::uint8_t> wyjscie;        // everything written
  std::uint32_t kolejka_wy = 0;             // output queue count the query reports
  std::uint32_t limit_zapisu = 0xFFFFFFFF;  // most bytes one write accepts

  // --- Modem lines and version ---
  std::uint32_t bity_modemu = 0;  // 0x10 CTS, 0x20 DSR, 0x40 RING, 0x80 RLSD
  bool modem_ok = true;
  WersjaSystemu wersja_systemu{2, 5, 1};
  bool wersja_ok = true;

  // --- Opening ---
  bool otwarcie_udane = true;
  Uchwyt uchwyt = 7;

  // --- Record of calls ---
  std::vector<std::string> nazwy_otwarc;
  int zamkniecia = 0;
  std::vector<BlokDCB> stany;
  std::vector<std::uint32_t> czyszczenia;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> kolejki;
  std::vector<CzasyPortu> czasy;
  long zapytania_kolejek = 0;
  // Called at the start of every queue query, e.g. to fire a tick inside a read.
  std::function<void()> przy_zapytaniu;

  Uchwyt otworz(const std::string& nazwa) override;
  bool ustaw_stan(Uchwyt h, const BlokDCB& dcb) override;
  bool ustaw_kolejki(Uchwyt h, std::uint32_t we, std::uint32_t wy) override;
  bool ustaw_czasy(Uchwyt h, const CzasyPortu& c) override;
  bool oczysc(Uchwyt h, std::uint32_t maska) override;
  // Costs krok_ms of fake time whenever the input is empty, whatever the caller waits for.
  bool stan_kolejek(Uchwyt h, std::uint32_t& we, std::uint32_t& wy, Czekanie c) override;
  bool linie_modemu(Uchwyt h, std::uint32_t& bity) override;
  bool czytaj(Uchwyt h, void* bufor, std::uint32_t n, std::uint32_t& przeczytane) override;
  bool pisz(Uchwyt h, const void* dane, std::uint32_t n, std::uint32_t& zapisane) override;
  bool zamknij(Uchwyt h) override;
  std::uint32_t licznik_ms() override { return zegar; }
  bool wersja(WersjaSystemu& w) override;

 private:
  void dostarcz();
  bool otwarty_ = false;
};

}  // namespace ostrel
