// The settings file Ostrel.cf: the last device, the last lock-bit mode and the last
// HEX file name. Byte logic only, no window system, so tools and fuzzers can link it.
//
// Layout: byte 0 the device index, byte 1 the mode index (each the low 8 bits; no
// selection is 255), then the file name in code page 1250 with no terminator.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

// The longest file name the file (and the program) keeps, in characters of code page 1250.
inline constexpr std::size_t kMaksDlugoscNazwy = 255;

// What a load yields.
struct Ustawienia {
  int urzadzenie = 0;  // 0..255 as stored; 26 when the file ends or meets 0x1A early
  int tryb = 0;        // 0..255, same rule
  std::string nazwa;   // UTF-8
};

// Reads the bytes the way the original's one-byte reads did: a read at the end yields
// 0x1A, and a stored 0x1A is yielded without being consumed, so it repeats. The name runs
// from offset 2 to the first CR, the first 0x1A or the end, at most 255 bytes.
Ustawienia czytaj_ustawienia(const std::vector<std::uint8_t>& bajty);

// The bytes to store. A name that code page 1250 cannot carry, or that could not be read
// back as the same name (CR, 0x1A, longer than 255), is left out: the file then holds the
// two indexes only, so a later load never yields a different file.
std::vector<std::uint8_t> zapisz_ustawienia(int urzadzenie, int tryb, std::string_view nazwa);

// UTF-8 to code page 1250; nothing when some character has no place in the code page
// or the text is not valid UTF-8.
std::optional<std::string> utf8_na_cp1250(std::string_view tekst);
// Code page 1250 to UTF-8 (every byte has a character; the five unused ones map to the
// C1 controls of the same value, so the conversion is lossless both ways).
std::string cp1250_na_utf8(std::string_view tekst);
// Number of characters of a UTF-8 text (invalid bytes count one each).
std::size_t liczba_znakow(std::string_view tekst);

// Ostrel.cf in the configuration folder (katalog_konfiguracji); empty when there is
// none, which loads as no file and fails to save with the folder's reason.
std::string sciezka_ustawien();

// True when the file exists and opens for both reading and writing; any failure counts
// as absent and is never reported.
bool plik_istnieje(const std::string& sciezka);

// Loads the file into `bajty`; false with `blad` holding the system's reason.
bool wczytaj_bajty(const std::string& sciezka, std::vector<std::uint8_t>& bajty, std::string& blad);

// Creates the folder when missing and replaces the file atomically (a failure leaves
// the previous file as it was). False with `blad` holding the reason.
bool zapisz_plik_ustawien(const std::string& sciezka, const std::vector<std::uint8_t>& bajty,
                          std::string& blad);

// ---- The settings of a run, between the file and the model (ustawienia_modelu.cpp).

class Programator;

// Selects and applies device row `indeks` in the model, as the device box does.
void wybierz_uklad(Programator& p, int indeks);

// Start-up: restores the device, the lock mode and the file name from the settings file,
// or applies the start-up defaults when there is none. A file that exists but cannot be
// read gives the defaults too, and false with the message in `blad`.
bool laduj_ustawienia(Programator& p, std::string& blad);

// At close: stores the device, the lock mode and the file name when a name is set.
// False with the message in `blad`; the previous file then stays as it was.
bool zachowaj_ustawienia(const Programator& p, std::string& blad);

}  // namespace ostrel
