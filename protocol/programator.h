// The programmer protocol: exchange primitives, the search, demo mode, the memory
// transfers and the six memory operations, identification, lock and fuse bits.
// The state names are the system's own (`bity_lock`, `kod_ukladu`, ...).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "hex/strumien.h"
#include "protocol/model.h"
#include "serial/ComDrv32.h"

namespace ostrel {

// How an operation ended.
enum class Wynik {
  ok,                // done ("Weryfikacja OK!" or a silent read)
  demo,              // demo mode: nothing was done
  blad_weryfikacji,  // "Błąd weryfikacji"
  blad_hex,          // the HEX reader's text was not "Konwersja OK"
  blad_pliku,        // the file could not be read or written
  brak_odpowiedzi,   // "Programator nie odpowiada": the programmer stopped answering
  nic,               // nothing to do (no EEPROM, unknown code)
};

// Exit status convention shared by the front ends.
int kod_wyjscia(Wynik w);

class Programator {
 public:
  Programator(TCommPortDriver& port, Widok& widok);

  // ---- Exchange primitives. czekaj_na_bajt gives up after 5 s without any byte and
  // abandons the operation (an internal exception caught by the operation entry points).
  void oproznij_wejscie();
  std::uint8_t czekaj_na_bajt();
  void wyslij_i_czekaj(std::uint8_t b);
  std::uint8_t czekaj_ograniczone(std::uint8_t poprzedni);

  // ---- Search
  bool testuj_port(int n);
  void sprawdz();
  // The status window's OK action (also the click on its text and its close box).
  void potwierdz_status();

  // ---- Device selection (ComboBox1Change) and the start-up defaults.
  void ComboBox1Change(int indeks);
  void domyslne();

  // ---- Memory transfers (image, flash?, byte addressing?)
  void programuj(Strumien& obraz, bool flash, bool bajtowo);
  bool weryfikuj(Strumien& obraz, bool flash, bool bajtowo);
  void czytaj(Strumien& obraz, bool flash, bool bajtowo);

  // ---- The scheduler's operations 0..5 on the file `nazwa_pliku`: HEX loading,
  // preamble, transfer, closing, messages through the status window, file writing.
  Wynik operacja_pamieci(int kod);

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

  // Shows a text in the status window (the main window's `komunikat`).
  void komunikat(const std::string& tekst);

  // ---- State
  TCommPortDriver& port;
  Widok& widok;
  StanOkna okno;
  StanDialogu dialog;
  StanStatusu status;

  std::string nazwa_pliku;
  std::uint8_t tryb_demo = 0;
  std::uint8_t brak_programatora = 0;
  std::uint16_t rozmiar_flash = 0;
  std::uint16_t rozmiar_eeprom = 0;
  std::uint8_t adresowanie_bajtowe = 0;
  std::uint8_t kod_ukladu = 0;
  std::uint8_t bity_lock = 0;
  std::uint8_t bity_fuse = 0;
  std::array<std::uint8_t, 3> sygnatura{};
  bool tryb_zastosowany = false;  // a lock mode has been applied by modeChange
  int znaleziony_port = 0;        // the port the search chose, 0 none

  // The bound of every wait for a byte.
  std::uint32_t limit_odpowiedzi_ms = 5000;
};

}  // namespace ostrel
