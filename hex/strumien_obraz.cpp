// The memory image itself; loading and saving files is the system's part (strumien.cpp
// on POSIX, strumien_win32.cpp on Windows).
#include "hex/strumien.h"

namespace ostrel {

bool Strumien::czytaj_bajt(std::uint8_t& b) {
  if (pozycja_ >= dane_.size()) return false;
  b = dane_[pozycja_++];
  return true;
}

void Strumien::zapisz_bajt(std::uint8_t b) {
  if (pozycja_ >= dane_.size()) dane_.resize(pozycja_ + 1);
  dane_[pozycja_++] = b;
}

void Strumien::zapisz(const void* dane, std::size_t n) {
  const auto* p = static_cast<const std::uint8_t*>(dane);
  for (std::size_t i = 0; i < n; ++i) zapisz_bajt(p[i]);
}

}  // namespace ostrel
