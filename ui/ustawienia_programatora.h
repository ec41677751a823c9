// The programmer's type and line speed, kept in a file of their own beside Ostrel.cf
// (whose layout stays as it is). Byte logic only, no window system.
//
// Layout: text lines "typ=ostrel|avr910", "predkosc=19200|38400|57600|115200" and
// "uklad=NAME" (a part beyond the twelve Ostrel.cf indexes, by its short name). A line
// that is missing or holds anything else gives that setting's default.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/model/programator.h"

namespace ostrel {

struct UstawieniaProgramatora {
  TypProgramatora typ = TypProgramatora::ostrel;  // the default: the conversation as it was
  std::uint32_t predkosc = 19200;                 // one of kPredkosci
  std::string uklad;  // the chosen part when beyond the twelve; empty: none
};

UstawieniaProgramatora czytaj_ustawienia_programatora(const std::vector<std::uint8_t>& bajty);
std::vector<std::uint8_t> zapisz_ustawienia_programatora(const UstawieniaProgramatora& u);

// "Programator.cf" in the folder of sciezka_ustawien().
std::string sciezka_ustawien_programatora();

// The file's settings; the defaults when it is absent or cannot be read.
UstawieniaProgramatora wczytaj_ustawienia_programatora();
// Replaces the file atomically; false with `blad` holding the reason.
bool zapisz_ustawienia_programatora(const UstawieniaProgramatora& u, std::string& blad);

// The row of kUklady that `u.uklad` names among `wiersze` beyond the twelve, or -1.
int uklad_z_ustawien(const UstawieniaProgramatora& u, const std::vector<int>& wiersze);
// The part to remember for row `indeks`: its short name beyond the twelve, else empty.
std::string uklad_do_ustawien(int indeks);
// Stores the model's part in the file when it differs from the stored one (the type
// and speed stay as stored); false with `blad` holding the message.
bool zachowaj_uklad(const Programator& p, std::string& blad);

}  // namespace ostrel
