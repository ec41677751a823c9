// The operations, written once over the programmer interface: each returns how it
// ended and what it read; the front ends make their own texts of that.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "devices/uklady.h"
#include "hex/intel_hex.h"
#include "hex/strumien.h"
#include "protocol/sterownik.h"

namespace ostrel {

// How an operation ended.
enum class Koniec : std::uint8_t {
  wykonano,
  niezgodnosc,      // a verify found a difference (WynikOperacji::roznica)
  brak_odpowiedzi,  // the programmer stopped answering
  zla_odpowiedz,    // an answer that cannot be what was asked
  urzadzenie,       // the port closed or the device went away
  przerwano,        // the user asked the program to stop
  odmowa,           // refused before anything was written (WynikOperacji::powod)
};

// Why an operation was refused.
enum class Odmowa : std::uint8_t {
  brak,
  nieobslugiwany,        // the programmer does not serve the part
  brak_pamieci,          // the part has no such memory (EEPROM)
  za_duzy,               // the image does not fit the memory
  adres_poza_zasiegiem,  // the image reaches past what 'A' carries
};

struct WynikOperacji {
  Koniec koniec = Koniec::wykonano;
  Odmowa powod = Odmowa::brak;
  Roznica roznica{};  // niezgodnosc: the first difference
  // zla_odpowiedz: the command and the byte that came instead of its answer ('?' is the
  // programmer's refusal); or bytes after the last answer of a read or a verify (nadmiar).
  std::uint8_t polecenie = 0;
  std::uint8_t odpowiedz = 0;
  bool nadmiar = false;
  bool ok() const { return koniec == Koniec::wykonano; }
};

// Where a run's progress goes: per cent of a phase (0..100), or nothing.
using PostepOperacji = Postep;

struct OpcjeProgramowania {
  bool kasowanie = true;  // flash: erase the chip first
  // The input is drained first (the window's operations do; the CLI after its own
  // check of the chip does not need to).
  bool oproznij = true;
  // The part is selected and in programming mode already (a signature read that left
  // the session open): neither 'T' nor the first 'P' is sent again.
  bool w_trybie = false;
  // EEPROM: the runs of bytes the file holds. Each is written from its own 'A' and only
  // its bytes are verified: the rest of an EEPROM is the user's data. Empty, or one run
  // from 0 over the whole image: the image as it stands.
  std::vector<Przebieg> przebiegi;
};

// Writes the image to the memory from address 0, then reads it back.
// Phases: the write's progress, then the verify's (it starts again at 0).
WynikOperacji programuj(Sterownik& s, const Uklad& u, Pamiec m, Strumien& obraz,
                        const OpcjeProgramowania& o, const Postep& postep);
// Compares the memory with the image.
// w_trybie: as in OpcjeProgramowania.
WynikOperacji weryfikuj(Sterownik& s, const Uklad& u, Pamiec m, Strumien& obraz,
                        const Postep& postep, bool oproznij = true, bool w_trybie = false,
                        const std::vector<Przebieg>& przebiegi = {});
// Reads the whole memory into `obraz`.
WynikOperacji czytaj(Sterownik& s, const Uklad& u, Pamiec m, Strumien& obraz, const Postep& postep,
                     bool w_trybie = false);
// Erases the chip.
WynikOperacji kasuj(Sterownik& s, const Uklad& u, bool w_trybie = false);
// Writes the lock byte and, when given, the fuse byte.
WynikOperacji zapisz_bity(Sterownik& s, const Uklad& u, std::uint8_t lock,
                          std::optional<std::uint8_t> fuse);
// The chip's signature: 'T', 'P', 's', 'L', the input drained around it. otwarta: no
// 'L', the part stays in programming mode for the operation that follows (w_trybie) or
// for zakoncz_sesje.
WynikOperacji sygnatura(Sterownik& s, const Uklad& u, OdczytSygnatury& odczyt,
                        bool otwarta = false);
// 'L' for a session left open.
WynikOperacji zakoncz_sesje(Sterownik& s);

// One fuse or lock byte to write: its place in the row's `bezpieczniki` and the value.
struct ZapisBezpiecznika {
  std::size_t bajt = 0;
  std::uint8_t wartosc = 0xFF;
};
// The part's fuse and lock bytes (its row's `bezpieczniki`, in order) through '.'.
WynikOperacji czytaj_bezpieczniki(Sterownik& s, const Uklad& u,
                                  std::vector<std::uint8_t>& wartosci);
// Writes the bytes through '.', then reads each back: one whose named bits read otherwise
// ends as niezgodnosc (roznica: adres = its place in the row, w_pliku = the value asked,
// w_ukladzie = the value read).
WynikOperacji zapisz_bezpieczniki(Sterownik& s, const Uklad& u,
                                  const std::vector<ZapisBezpiecznika>& zapisy);

// What the identification read.
struct Identyfikacja {
  std::array<std::uint8_t, 3> sygnatura{};            // in the order of reception
  std::optional<std::uint8_t> bity;                   // the 'F' answer, when the type reads it
  std::optional<std::array<std::uint8_t, 4>> wersje;  // 'V', 'v'
  std::optional<std::uint8_t> tryb;                   // 'p'
};
// The dialog's identification (pelna: with 'S', 'V', versions and mode) or its read of
// signature and bits. `domyslny_F` is what 'F' yields when nothing comes.
WynikOperacji identyfikuj(Sterownik& s, const Uklad& u, bool pelna, std::uint8_t domyslny_F,
                          Identyfikacja& wynik);

// A front end's own check before a command: is the memory's run within what the
// programmer carries and the part holds.
Odmowa sprawdz_zakres(const Sterownik& s, const Uklad& u, Pamiec m, std::size_t bajty);

}  // namespace ostrel
