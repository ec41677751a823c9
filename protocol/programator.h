// The programmer protocol: exchange primitives, the search, demo mode, the memory
// transfers and the six memory operations, identification, lock and fuse bits.
// The state names are the system's own (`bity_lock`, `kod_ukladu`, ...).
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
#include "protocol/model.h"
#include "protocol/operacje.h"
#include "protocol/sterownik.h"
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
  port_niedostepny,  // the port cannot be used (missing, no permission, held elsewhere)
  inny_uklad,        // the chip in the socket is not the chosen part
  nieobslugiwany,    // "Programator nie obsługuje układu …": not in the programmer's 't' list
  przerwano,         // "Przerwano": the user stopped it; programming mode left, no file
};

// "Ostrel" or "AVR910": the type's name as the front ends show it.
const char* nazwa_typu(TypProgramatora typ);

// The line speeds a front end offers (bits per second); the first is the default.
inline constexpr std::uint32_t kPredkosci[] = {19200, 38400, 57600, 115200};
// The component's speed for one of kPredkosci; false for any other number.
bool predkosc_z_liczby(std::uint32_t bps, TComPortBaudRate& predkosc);

// Lock mode and fuses not read from the chip: what the AVR910 type shows for them.
inline constexpr const char* kNieOdczytano = "nie odczytano";
// The refusal of a part whose code the programmer's 't' list does not hold, followed by
// the part's name.
inline constexpr const char* kNieObslugujeUkladu = "Programator nie obsługuje układu ";

// Exit status convention shared by the front ends: 0 done; 1 the operation failed
// (verification difference, file not written); 2 the call or the input file is wrong;
// 3 no programmer answered, or it stopped answering; 4 the port cannot be used; 5 the
// chip in the socket is not the chosen part.
int kod_wyjscia(Wynik w);

inline constexpr const char* kNieOdpowiada = "Programator nie odpowiada";
inline constexpr const char* kPrzerwano = "Przerwano";
inline constexpr const char* kNadmiaroweDane = "Programator przysłał nadmiarowe dane";
// An acknowledgement that is not one: "Programator odrzucił polecenie 'P'" for '?', else
// the byte that came ("… odpowiedział na polecenie 'A' bajtem 0xA5 zamiast potwierdzenia").
std::string tekst_zlej_odpowiedzi(std::uint8_t polecenie, std::uint8_t odpowiedz);
// "Programator odpowiada jak Ostrel: zmień typ programatora": the type set is not the
// programmer's.
inline constexpr const char* kOdpowiadaJak = "Programator odpowiada jak ";
// "Port … jest niedostępny (urządzenie odłączone?)": the device of an open port went away.
std::string tekst_odlaczenia(const std::string& port);
inline constexpr const char* kWeryfikacjaOK = "Weryfikacja OK!";
inline constexpr const char* kBladWeryfikacji = "Błąd weryfikacji";
// The programmer's mode in which the dialog's write also sends the fuse byte.
inline constexpr const char* kTrybPAR16 = "Tryb PAR16";

// The versions 'V' and 'v' gave, as the dialog shows them ("Soft. 1.2 Hard. 1.0"); the
// bytes are characters of code page 1250.
std::string tekst_wersji(const std::array<std::uint8_t, 4>& wersje);
// The programmer's mode by its answer to 'p' for the part: "Tryb ISP", "Tryb PAR16" or
// "Tryb PAR8" (a 12 V part in ISP), or null for another answer.
const char* tekst_trybu(std::uint8_t odpowiedz_p, const Uklad& u);

// Configures a component as the main window's instance: COM3, 19200 baud, 50 ms input
// time-out, every other property at its default.
void ustaw_CommPortDriver1(TCommPortDriver& port);

// The signature as the dialog shows it: the bytes in reverse order of reception, two
// upper-case hex digits and a blank each ("01 91 1E ").
std::string tekst_sygnatury(const std::array<std::uint8_t, 3>& sygnatura);

// An image larger than the memory it is meant for: programming it would run past the
// memory's end and wrap over its start, and at 19200 baud a large one would take hours.
inline constexpr const char* kPlikZaDuzy = "Plik HEX nie mieści się w pamięci układu";
// An image or memory reaching past the 16-bit unit addresses the programmer carries:
// written on, it would wrap over the memory's start.
inline constexpr const char* kPozaAdresami =
    "Pamięć sięga poza adresy, które programator przenosi (16 bitów)";

// Loads the HEX file `nazwa` and converts it into `obraz`. Wynik::ok, or blad_pliku /
// blad_hex with the Polish text for the status window in `tekst`. An image of more than
// `pojemnosc` bytes is refused as blad_hex with kPlikZaDuzy. `przyczyna`, when given,
// receives the HEX reader's cause of a refusal. An ELF file gives the image of `pamiec`.
// `przebiegi`, when given, receives the runs of bytes the file holds (an ELF section: one
// run over the image).
Wynik wczytaj_hex(const std::string& nazwa, Strumien& obraz, std::string& tekst,
                  std::size_t pojemnosc = static_cast<std::size_t>(-1),
                  PrzyczynaHex* przyczyna = nullptr, PamiecElf pamiec = PamiecElf::flash,
                  std::vector<Przebieg>* przebiegi = nullptr);

// Progress percentage p/s with ties to even (12.5 gives 12, 37.5 gives 38).
int procent(std::size_t p, std::size_t s);

// The window's model: the selection, the dialog's and the status window's state, and
// the operations' results turned into their texts. The conversations are the
// operations' (protocol/operacje.h) over the programmer type's implementation.
class Programator : public Lacze {
 public:
  Programator(TCommPortDriver& port, Widok& widok);
  ~Programator() override;

  // ---- Exchange primitives. czekaj_na_bajt gives up after `limit_odpowiedzi_ms` without
  // any byte, or at once when the port is closed, by throwing PorzucenieOperacji, which
  // the operation entry points catch. oproznij_wejscie gives up the same way when the
  // input never falls silent.
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
  // The same with the first row of the Parts' programmer that has the device code.
  Wynik czytaj_sygnature_ukladu(std::uint8_t kod, OdczytSygnatury& odczyt);
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
  TCommPortDriver& port;
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
  struct NieotwartyPort {
    std::string nazwa;  // "com2", or the device path the search was given
    BladOtwarcia blad;  // the platform's reason
  };
  std::vector<NieotwartyPort> nieotwarte;

  // The bound of every wait for a byte.
  std::uint32_t limit_odpowiedzi_ms = 5000;

  // The first difference weryfikuj found: byte address (under paired addressing the
  // differing byte's own address), the byte of the image and the byte read.
  using Roznica = ostrel::Roznica;
  Roznica pierwsza_roznica;

  // Set by a front end (a signal handler, the window's stop) when not null: every wait
  // gives up at the next command, programming mode is left with 'L', no file is written
  // and the operation ends as Wynik::przerwano.
  const std::atomic<int>* przerwanie = nullptr;

  // An operation that gave up: the reason said in the status window (the device gone,
  // a stop, or silence) and its result.
  Wynik porzucone();
  // The port the search opened, as the texts name it ("com3 (/dev/ttyUSB0)").
  std::string opis_portu() const;

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
  std::uint32_t teraz();
  // The fuse byte as the boxes stand (a read that cannot decode 'F' keeps the boxes).
  std::uint8_t fuse_z_pol() const;
  bool przerwane() const;
  [[noreturn]] void porzuc();
  // The click handler of fuse box `ktory` (1 or 2), by the row's bits.
  void klikniecie_pola(int ktory);

  TypProgramatora typ_ = TypProgramatora::ostrel;
  std::unique_ptr<Sterownik> sterownik_;
  const Uklad* wiersz_ = nullptr;  // the row of the selection
  std::uint8_t ostatni_bajt_ = 0;  // the last byte received in the current exchange
};

}  // namespace ostrel
