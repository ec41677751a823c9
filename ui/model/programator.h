// The window's model: the selection, demo mode, the scheduler's six memory operations,
// identification, lock and fuse bits, with the results as the windows' texts. The
// conversations are the core's (protocol/operacje.h, protocol/szukanie.h); the state
// names are the system's own (`bity_lock`, `kod_ukladu`, ...).
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "devices/uklady.h"
#include "hex/elf.h"
#include "hex/intel_hex.h"
#include "hex/strumien.h"
#include "protocol/lacze_portu.h"
#include "protocol/operacje.h"
#include "protocol/plik_hex.h"
#include "protocol/sterownik.h"
#include "protocol/szukanie.h"
#include "protocol/teksty.h"
#include "serial/ComDrv32.h"
#include "ui/model/model.h"

namespace ostrel {

// The window's model: the selection, the dialog's and the status window's state, and
// the operations' results turned into their texts. The conversations are the
// operations' (protocol/operacje.h) over the programmer type's implementation.
class Programator : public LaczePortu {
 public:
  Programator(TCommPortDriver& port, Widok& widok);
  ~Programator() override;

  // 'T' with `kod_ukladu`, awaited. Sent right before the first 'P' of every operation:
  // a programmer may hold another code from power-up or from another program, and its
  // 'P' enters programming mode by the code in force.
  void wybierz_uklad();

  // ---- Search
  bool testuj_port(int n);
  void sprawdz();
  // The search on one port only (a front end told which port to use): the same status
  // texts as sprawdz; n may be any port number 1..16.
  void sprawdz_port(int n);
  // The search on one device named by its path (/dev/ttyUSB0): the same texts, with the
  // path where the others name comN.
  void sprawdz_urzadzenie(const std::string& sciezka);
  // The status window's OK action (also the click on its text and its close box).
  void potwierdz_status();

  // ---- Device selection (ComboBox1Change) and the start-up defaults.
  void ComboBox1Change(int indeks);
  // Selects a row of any table (the device box's rows go through ComboBox1Change).
  void wybierz_wiersz(const Uklad& u);
  // The row in force, with the selection state's sizes, addressing and code.
  Uklad uklad() const;
  // The programmer type's implementation.
  Sterownik& sterownik() { return *sterownik_; }
  // The AT89C2051 without an entry of the device box selected, with its mode list.
  void domyslne();
  // The mode index restored from the settings, after the device: selects that entry, or
  // "Tryb 0" when the list does not hold it, and applies it.
  void przywroc_tryb(int indeks);

  // ---- Memory transfers (image, flash?, byte addressing?)
  void programuj(Strumien& obraz, bool flash, bool bajtowo);
  bool weryfikuj(Strumien& obraz, bool flash, bool bajtowo);
  void czytaj(Strumien& obraz, bool flash, bool bajtowo);

  // ---- The scheduler's operations 0..5 on the file `nazwa_pliku`: HEX loading,
  // preamble, transfer, closing, messages through the status window, file writing.
  Wynik operacja_pamieci(int kod);
  // Bytes the selected device's flash (or EEPROM) holds: the largest image it takes.
  std::size_t pojemnosc(bool flash) const;

  // ---- The chip's signature before a write: drain; 'T' kod ->1; 'P' ->1; 's' and its
  // three bytes, each awaited up to 33 reads (a missing one ends the answer); 'L' ->1;
  // drain. Wynik::ok, or brak_odpowiedzi when the programmer stopped answering.
  using OdczytSygnatury = ostrel::OdczytSygnatury;
  // otwarta: the part stays in programming mode (see ostrel::sygnatura).
  Wynik czytaj_sygnature_ukladu(const Uklad& u, OdczytSygnatury& odczyt, bool otwarta = false);
  // An operation's result as the status window says it: the programmer's silence and
  // a refusal get their texts there. Returns the front ends' Wynik.
  Wynik zglos(const WynikOperacji& w, const Uklad& u);

  // ---- Identification, lock bits and fuses.
  Wynik zaawansowane();
  Wynik Button1Click();
  Wynik Button2Click();
  Wynik Button3Click();
  void modeChange();
  void CheckBox1Click();
  void CheckBox2Click();
  // Operator or code changes a box: sets the ticked state and runs its click handler
  // when the state changed.
  void ustaw_CheckBox1(bool zaznaczone);
  void ustaw_CheckBox2(bool zaznaczone);
  // Selection of `mode` from code: never runs modeChange.
  void wybierz_tryb(int indeks);

  // ---- The programmer type and the line speed. Both are inputs of the search and of
  // every operation; a new search, or a change of type, forgets what 't' and 'b' said.
  void ustaw_typ(TypProgramatora t);
  TypProgramatora typ() const { return typ_; }
  // The rows the device box lists with the type in force (okno.wiersze follows it).
  std::vector<int> wiersze_listy() const;
  TComPortBaudRate predkosc = br19200;

  // Shows a text in the status window (the main window's `komunikat`).
  void komunikat(const std::string& tekst);
  // The text as its first line, cut as ever, and under it an explanation shown whole.
  void komunikat(const std::string& tekst, const std::string& objasnienie);

  // ---- State
  Widok& widok;
  StanOkna okno;
  StanDialogu dialog;
  StanStatusu status;

  std::string nazwa_pliku;
  std::uint8_t tryb_demo = 0;
  std::uint8_t brak_programatora = 0;
  std::uint32_t rozmiar_flash = 0;
  std::uint32_t rozmiar_eeprom = 0;
  std::uint8_t adresowanie_bajtowe = 0;
  std::uint8_t kod_ukladu = 0;
  std::uint8_t bity_lock = 0;
  std::uint8_t bity_fuse = 0;
  std::array<std::uint8_t, 3> sygnatura{};
  // What the last identification read (versions, the programmer's mode, the 'F' answer).
  Identyfikacja identyfikacja;
  bool tryb_zastosowany = false;  // a lock mode has been applied by modeChange
  // bity_lock has been given a value by anything (a mode, a read, a check box): a write
  // never sends the start value unasked.
  bool bity_lock_ustawiony = false;
  int znaleziony_port = 0;  // the port the search chose, 0 none
  // Ports of the last search that could not be opened, and why: a front end tells the
  // user what the search's own texts leave out.
  using NieotwartyPort = ostrel::NieotwartyPort;
  std::vector<NieotwartyPort> nieotwarte;

  // The first difference weryfikuj found: byte address (under paired addressing the
  // differing byte's own address), the byte of the image and the byte read.
  using Roznica = ostrel::Roznica;
  Roznica pierwsza_roznica;

  // An operation that gave up: the reason said in the status window (the device gone,
  // a stop, or silence) and its result.
  Wynik porzucone();

 private:
  void ustaw_postep(std::size_t p, std::size_t s);
  void ustaw_postep_wprost(int wartosc);
  Postep postep();
  void dekoduj_F(std::uint8_t odpowiedz, bool odczyt_przyciskiem);
  // The 'F' answer decoded, or the lock mode and fuses marked as not read when the
  // programmer type does not read them.
  void przyjmij_F(const std::optional<std::uint8_t>& odpowiedz, bool odczyt_przyciskiem);
  void pokaz_sygnature(const std::array<std::uint8_t, 3>& s);
  Wynik przebieg_pamieci(int kod);
  // Probes the ports pierwszy..ostatni in turn and keeps the last that answers open.
  void szukaj(int pierwszy, int ostatni);
  void zacznij_szukanie();
  void zakoncz_szukanie(bool znaleziony);
  // The fuse byte as the boxes stand (a read that cannot decode 'F' keeps the boxes).
  std::uint8_t fuse_z_pol() const;
  // The click handler of fuse box `ktory` (1 or 2), by the row's bits.
  void klikniecie_pola(int ktory);

  TypProgramatora typ_ = TypProgramatora::ostrel;
  std::unique_ptr<Sterownik> sterownik_;
  const Uklad* wiersz_ = nullptr;  // the row of the selection
};

}  // namespace ostrel
