// Line speeds that termios has no constant for (14400, 56000 and the like).
#pragma once

#include <cstdint>

namespace ostrel {

// Sets input and output speed of the open terminal `fd` to `bps` bits per second.
bool ustaw_dowolna_predkosc(int fd, std::uint32_t bps);

// The output speed of the open terminal `fd` in bits per second; 0 when unknown.
std::uint32_t odczytaj_predkosc(int fd);

// The input speed of the open terminal `fd` in bits per second; 0 when unknown.
std::uint32_t odczytaj_predkosc_wejscia(int fd);

}  // namespace ostrel
