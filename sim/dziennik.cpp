#include "sim/dziennik.h"

#include <cerrno>
#include <cstring>

namespace ostrel::sim {

Dziennik::~Dziennik() {
  if (plik_ != nullptr) std::fclose(plik_);
}

bool Dziennik::otworz(const std::string& sciezka, std::string& blad) {
  plik_ = std::fopen(sciezka.c_str(), "w");
  if (plik_ == nullptr) {
    blad = sciezka + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

void Dziennik::bajt(double ms, char kierunek, std::uint8_t b) {
  if (plik_ == nullptr) return;
  if (b > 0x20 && b < 0x7f) {
    std::fprintf(plik_, "%.3f %c %02X %c\n", ms, kierunek, b, static_cast<char>(b));
  } else {
    std::fprintf(plik_, "%.3f %c %02X\n", ms, kierunek, b);
  }
}

void Dziennik::zdarzenie(double ms, const char* opis) {
  if (plik_ != nullptr) std::fprintf(plik_, "# %.3f %s\n", ms, opis);
}

void Dziennik::oproznij() {
  if (plik_ != nullptr) std::fflush(plik_);
}

}  // namespace ostrel::sim
