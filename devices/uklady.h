// The device catalogue: the twelve supported microcontrollers, as data.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace ostrel {

struct Uklad {
  const char* nazwa;                 // item text of the device box, byte for byte (UTF-8)
  std::uint16_t rozmiar_flash;       // flash size in transfer units (bytes, or words when paired)
  std::uint16_t rozmiar_eeprom;      // EEPROM bytes; 0 = no EEPROM for this program
  std::uint8_t adresowanie_bajtowe;  // 1: byte-addressed flash transfers; 0: paired (words)
  std::uint8_t kod_ukladu;           // device code sent after 'T'; 12, 134 or AVR codes
  bool grupa_eeprom;                 // the main window's EEPROM group enabled
  int liczba_trybow;                 // entries of the lock-mode list: 4 ("Tryb 0".."3") or 3
  const char* checkbox1;             // caption of the first fuse box (may be empty or " ")
  const char* checkbox2;             // caption of the second fuse box (may be empty or " ")

  // Bytes a full flash read yields.
  constexpr unsigned bajty_flash() const {
    return adresowanie_bajtowe ? rozmiar_flash : 2u * rozmiar_flash;
  }
};

inline constexpr int kLiczbaUkladow = 12;

// In the device box's order. Sizes are the parts' real memories.
extern const std::array<Uklad, kLiczbaUkladow> kUklady;

// The start-up default (AT89C2051) when no settings restore a device.
inline constexpr int kUkladDomyslny = 4;

// Device code of the AT89C parts and the AT89S53: the programmer's 'F' answer says
// nothing of their lock and fuse bits, so it is not decoded.
inline constexpr std::uint8_t kKodBezOdczytuBlokad = 12;

// The name a front end takes and offers for a row: its item text without the leading
// full stop and the " /NN" suffix ("AT90S2313", "AT90S8515").
std::string nazwa_krotka(const Uklad& u);

// Whether fuse box `ktory` (1 or 2) of the row stands for a fuse of the part: its
// caption is neither empty nor blank. The other boxes change nothing on the chip.
bool ma_bezpiecznik(const Uklad& u, int ktory);

// Every row's short name, joined with ", ": what a front end offers for an unknown name.
std::string nazwy_ukladow();

// A part's signature, as its datasheet gives the bytes at signature addresses 0, 1, 2.
// The programmer answers 's' with them in reverse order (address 2 first).
struct SygnaturaUkladu {
  std::array<std::uint8_t, 3> bajty;  // bytes at addresses 0, 1, 2 (Atmel's 0x1E first)
  std::uint8_t znaczace;              // how many of them identify the part (2 or 3); the
                                      // rest is not given by the datasheet and not compared
  bool pewna;                         // false: taken from a related part's datasheet, unsure
};

// In the device box's order, row for row beside kUklady.
extern const std::array<SygnaturaUkladu, kLiczbaUkladow> kSygnatury;

// Whether three bytes in address order (0x1E first) are the signature of row `indeks`.
bool sygnatura_pasuje(int indeks, const std::array<std::uint8_t, 3>& adresowo);

// The row whose signature the bytes (address order) are, or -1.
int uklad_o_sygnaturze(const std::array<std::uint8_t, 3>& adresowo);

// Row's signature as text, significant bytes only ("1E 91 01", "1E 21").
std::string tekst_sygnatury_ukladu(int indeks);

// Finds a row by its item text, matched without case, without a leading full stop and
// without a trailing " /NN" suffix ("at90s8515", ".AT90S2313", "AT90S8515 /35" all match).
// Returns the index or -1.
int znajdz_uklad(std::string_view nazwa);

}  // namespace ostrel
