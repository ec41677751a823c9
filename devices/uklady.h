// The device catalogue: every supported part as one row of data. Code reads a part's
// behaviour from its row and never from its device code.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace ostrel {

// A part's signature, as its datasheet gives the bytes at signature addresses 0, 1, 2.
// The programmer answers 's' with them in reverse order (address 2 first).
struct SygnaturaUkladu {
  std::array<std::uint8_t, 3> bajty;  // bytes at addresses 0, 1, 2 (Atmel's 0x1E first)
  std::uint8_t znaczace;              // how many of them identify the part (2 or 3); the
                                      // rest is not given by the datasheet and not compared
  bool pewna;                         // false: taken from a related part's datasheet, unsure
};

// One lock mode of the advanced dialog.
struct TrybBlokady {
  const char* opis_modu;   // caption of the dialog's label opis_modu
  const char* info;        // caption of the dialog's label info
  std::uint8_t bity_lock;  // the lock byte written with 'l'
  std::uint8_t wzor_F;     // the lock bits of this mode in the 'F' answer, under maska_F
};

// A part's lock modes ("Tryb 0".."Tryb n-1") and where the 'F' answer shows them.
struct TrybyBlokady {
  std::span<const TrybBlokady> tryby;
  std::uint8_t maska_F;  // the 'F' answer's lock bits
};

// One fuse box of the advanced dialog.
struct PoleBezpiecznika {
  const char* podpis;  // caption (may be empty or " ": no fuse behind the box)
  std::int8_t bit;     // its bit in the fuse byte and in the 'F' answer; -1 none (ticking
                       // it sets the whole fuse byte back to unprogrammed)
};

// How the programmer's 'F' answer is read for the part.
enum class OdczytF : std::uint8_t {
  brak,    // says nothing of the part's bits: lock and fuse bytes are the chosen ones
  bitami,  // lock modes under maska_F, each fuse box by its bit (0 = programmed)
};

// A named bit of a fuse byte (0 = programmed, as datasheets count).
struct BitBezpiecznika {
  const char* nazwa;  // "SPIEN", "CKDIV8", ...
  std::uint8_t bit;   // 0..7
  const char* opis;   // the dialog's caption
};

// A fuse or lock byte reached through the universal command '.': four SPI bytes out,
// the fourth one's answer back. The write instruction takes the value as its fourth byte.
struct BajtBezpiecznikow {
  const char* nazwa;  // "lfuse", "hfuse", "efuse", "lock"
  std::uint8_t fabryczny;
  std::array<std::uint8_t, 4> odczyt;
  std::array<std::uint8_t, 3> zapis;
  std::span<const BitBezpiecznika> bity;
};

// Device codes of one programmer type for a part, in order of preference; ile = 0: that
// type does not serve the part.
struct KodyUkladu {
  std::array<std::uint8_t, 4> kody{};
  std::uint8_t ile = 0;
};

// Upper bounds of the part's own work that a programmer's answer waits for.
struct CzasyUkladu {
  std::uint16_t zapis_bajtu_ms;  // a byte (or word) of a block written
  std::uint16_t kasowanie_ms;    // chip erase
};

// Where the low fuse byte selects the clock source, and which of its values are the
// part's own oscillators: any other value needs an external clock or crystal, without
// which the part stops (and with it serial programming).
struct ZegarUkladu {
  std::uint8_t maska = 0;        // CKSEL bits in the low fuse byte (from bit 0); 0 = none
  std::uint16_t wewnetrzne = 0;  // bit v set: CKSEL value v is an internal oscillator
};

struct Uklad {
  const char* nazwa;                 // item text of the device box, byte for byte (UTF-8)
  std::uint32_t rozmiar_flash;       // flash size in transfer units (bytes, or words when paired)
  std::uint32_t rozmiar_eeprom;      // EEPROM bytes; 0 = no EEPROM for this program
  std::uint8_t adresowanie_bajtowe;  // 1: byte-addressed flash transfers; 0: paired (words)
  std::uint8_t kod_ukladu;           // device code of the Ostrel programmer; 0 = not served
  bool grupa_eeprom;                 // the main window's EEPROM group enabled
  int liczba_trybow;                 // entries of the lock-mode list: 4 ("Tryb 0".."3") or 3
  const char* checkbox1;             // caption of the first fuse box (may be empty or " ")
  const char* checkbox2;             // caption of the second fuse box (may be empty or " ")

  const char* krotka;      // the short name a front end takes and offers ("AT90S2313")
  KodyUkladu kody_avr910;  // AVR910 device codes, the first the programmer lists is used
  SygnaturaUkladu sygnatura;
  std::uint16_t rozmiar_strony;  // flash page in bytes; 0 = written byte by byte
  const TrybyBlokady* tryby;
  OdczytF odczyt_F;
  std::array<std::int8_t, 2> bity_pol;  // the fuse boxes' bits (see PoleBezpiecznika)
  // Programmed in the 12 V parallel mode: the programmer reports it as "Tryb PAR8", and a
  // search by signature never selects it (12 V on a part that does not take it).
  bool rownolegly_12v;
  CzasyUkladu czasy;
  std::span<const BajtBezpiecznikow> bezpieczniki;  // bytes reached through '.'; may be empty
  // An AVR core: a search by signature tries these first, the most common in a socket.
  bool avr = false;
  ZegarUkladu zegar{};
  // Program and verify in one programming session: no 'L' and 'P' after the erase, no
  // 'P' before the verify (each 'P' costs an AVR910 firmware 100 ms of reset pulses).
  bool jedna_sesja = false;

  // Bytes a full flash read yields.
  constexpr std::uint32_t bajty_flash() const {
    return adresowanie_bajtowe ? rozmiar_flash : 2u * rozmiar_flash;
  }
  // Bytes of a memory (flash or EEPROM).
  constexpr std::uint32_t bajty(bool flash) const { return flash ? bajty_flash() : rozmiar_eeprom; }
  constexpr PoleBezpiecznika pole(int ktory) const {
    return {ktory == 1 ? checkbox1 : checkbox2, bity_pol[ktory == 1 ? 0 : 1]};
  }
};

// The rows the settings file indexes, in the device box's order: never reorder them,
// and add new parts after them.
inline constexpr int kLiczbaUkladow = 12;

// Every row, the twelve first.
extern const std::span<const Uklad> kUklady;

// The start-up default (AT89C2051) when no settings restore a device.
inline constexpr int kUkladDomyslny = 4;

// The name a front end takes and offers for a row ("AT90S2313", "AT90S8515").
std::string nazwa_krotka(const Uklad& u);

// Whether fuse box `ktory` (1 or 2) of the row stands for a fuse of the part: its
// caption is neither empty nor blank. The other boxes change nothing on the chip.
bool ma_bezpiecznik(const Uklad& u, int ktory);

// Every row's short name, joined with ", ": what a front end offers for an unknown name.
std::string nazwy_ukladow();

// Whether three bytes in address order (0x1E first) are the signature of the row.
bool sygnatura_pasuje(const Uklad& u, const std::array<std::uint8_t, 3>& adresowo);
bool sygnatura_pasuje(int indeks, const std::array<std::uint8_t, 3>& adresowo);

// The row whose signature the bytes (address order) are, or -1.
int uklad_o_sygnaturze(const std::array<std::uint8_t, 3>& adresowo);

// Row's signature as text, significant bytes only ("1E 91 01", "1E 21").
std::string tekst_sygnatury_ukladu(const Uklad& u);
std::string tekst_sygnatury_ukladu(int indeks);

// Finds a row by its item text, matched without case, without a leading full stop and
// without a trailing " /NN" suffix ("at90s8515", ".AT90S2313", "AT90S8515 /35" all match).
// Returns the index or -1.
int znajdz_uklad(std::string_view nazwa);

}  // namespace ostrel
