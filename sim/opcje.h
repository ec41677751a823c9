// Command-line options of the programmer simulator.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/automat.h"

namespace ostrel::sim {

struct Opcje {
  std::string uklad = "AT89C2051";      // --device: item text of the device table
  std::string plik_flash;               // --flash: Intel HEX loaded into flash at start
  std::string plik_eeprom;              // --eeprom: Intel HEX loaded into EEPROM at start
  std::string zrzut_flash;              // --dump-flash: raw flash written at exit
  std::string zrzut_eeprom;             // --dump-eeprom: raw EEPROM written at exit
  std::string dziennik;                 // --log: one line per byte on the wire
  int com = 0;                          // --com: comN link in the configuration folder; 0 = none
  bool zastap = false;                  // --replace: may replace a comN no simulator made
  std::string bez_odpowiedzi;           // --mute: command letters never answered
  Ustawienia programator;               // --ident, --sw-version, --hw-version, --mode: answers
  std::uint32_t baud = 0;               // --baud: 0 = no line pacing
  double opoznienie_ms = 0;             // --latency: before every answer
  double zapis_ms = 0;                  // --write-ms: before the ack of a memory write
  double przerwa_identyfikacji_ms = 0;  // --ident-gap-ms: pause inside the identification
  bool milczy = false;                  // --silent
  std::optional<std::uint64_t> milknie_po;   // --stop-after: answered commands before silence
  std::optional<std::uint64_t> rozlacza_po;  // --hangup-after: commands before the hang-up
  std::uint64_t smieci_co = 0;               // --garbage-every: 0 = never
  // --power-up-address: the avr910 address register at power-up; none = random (logged).
  // The firmware itself and the power-up code are in `programator`.
  std::optional<std::uint16_t> adres_startowy;
  double skala_zajetosci = 1.0;  // --busy-scale: the firmware's busy times times this
  // --block-size is in `programator` (avr910: the buffer 'b' reports, 0 none), and so
  // are --signature, --signature-under and --device-list.
  // avr910 with a page-mode part: the codes 't' lists (--device-codes; empty: the
  // firmware's own or --device-list) and Programming Enables the chip lets pass first
  // (--sync-failures).
  std::vector<std::uint8_t> kody_firmware;
  int nieudane_synchronizacje = 0;
};

// Parses argv. Returns false and fills `blad` on a bad option; `pomoc` is set by --help,
// `wersja` by --version.
bool parsuj_opcje(int argc, char** argv, Opcje& opcje, bool& pomoc, bool& wersja,
                  std::string& blad);

// The usage text printed by --help.
const char* tekst_pomocy();

}  // namespace ostrel::sim
