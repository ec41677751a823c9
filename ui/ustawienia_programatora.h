// The programmer's type and line speed, kept in a file of their own beside Ostrel.cf
// (whose layout stays as it is). Byte logic only, no window system.
//
// Layout: text lines "typ=ostrel|avr910" and "predkosc=19200|38400|57600|115200". A line
// that is missing or holds anything else gives that setting's default.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/programator.h"

namespace ostrel {

struct UstawieniaProgramatora {
  TypProgramatora typ = TypProgramatora::ostrel;  // the default: the conversation as it was
  std::uint32_t predkosc = 19200;                 // one of kPredkosci
};

UstawieniaProgramatora czytaj_ustawienia_programatora(const std::vector<std::uint8_t>& bajty);
std::vector<std::uint8_t> zapisz_ustawienia_programatora(const UstawieniaProgramatora& u);

// "Programator.cf" in the folder of sciezka_ustawien().
std::string sciezka_ustawien_programatora();

// The file's settings; the defaults when it is absent or cannot be read.
UstawieniaProgramatora wczytaj_ustawienia_programatora();
// Replaces the file atomically; false with `blad` holding the reason.
bool zapisz_ustawienia_programatora(const UstawieniaProgramatora& u, std::string& blad);

}  // namespace ostrel
