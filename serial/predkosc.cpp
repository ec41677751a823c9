// Arbitrary line speeds. Linux takes them through termios2 and BOTHER, whose kernel
// header cannot share a translation unit with <termios.h>; hence a file of its own.
#include "serial/predkosc.h"

#if defined(__linux__)
#include <asm/termbits.h>
#include <sys/ioctl.h>
#else
#include <termios.h>
#endif

namespace ostrel {

bool ustaw_dowolna_predkosc(int fd, std::uint32_t bps) {
#if defined(__linux__)
  termios2 t{};
  if (ioctl(fd, TCGETS2, &t) != 0) return false;
  t.c_cflag &= ~static_cast<tcflag_t>(CBAUD);
  t.c_cflag |= BOTHER;
  t.c_cflag &= ~static_cast<tcflag_t>(CBAUD << IBSHIFT);
  t.c_cflag |= BOTHER << IBSHIFT;
  t.c_ispeed = bps;
  t.c_ospeed = bps;
  return ioctl(fd, TCSETS2, &t) == 0;
#else
  // BSD-style systems take the speed in bits per second directly.
  termios t{};
  if (tcgetattr(fd, &t) != 0) return false;
  if (cfsetspeed(&t, static_cast<speed_t>(bps)) != 0) return false;
  return tcsetattr(fd, TCSANOW, &t) == 0;
#endif
}

std::uint32_t odczytaj_predkosc(int fd) {
#if defined(__linux__)
  termios2 t{};
  if (ioctl(fd, TCGETS2, &t) != 0) return 0;
  return t.c_ospeed;
#else
  termios t{};
  if (tcgetattr(fd, &t) != 0) return 0;
  return static_cast<std::uint32_t>(cfgetospeed(&t));
#endif
}

std::uint32_t odczytaj_predkosc_wejscia(int fd) {
#if defined(__linux__)
  termios2 t{};
  if (ioctl(fd, TCGETS2, &t) != 0) return 0;
  return t.c_ispeed;
#else
  termios t{};
  if (tcgetattr(fd, &t) != 0) return 0;
  return static_cast<std::uint32_t>(cfgetispeed(&t));
#endif
}

}  // namespace ostrel
