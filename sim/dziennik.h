// The wire log: one line per byte,
//   <ms since start, 3 decimals> <direction> <hex value> [<character>]
// direction '<' is host -> simulator, '>' simulator -> host; the character is given for
// printable ASCII other than the blank. Lines starting with '#' note events (the host
// opening or closing the port, a hang-up) and carry no byte.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace ostrel::sim {

class Dziennik {
 public:
  Dziennik() = default;
  ~Dziennik();
  Dziennik(const Dziennik&) = delete;
  Dziennik& operator=(const Dziennik&) = delete;

  bool otworz(const std::string& sciezka, std::string& blad);
  bool otwarty() const { return plik_ != nullptr; }
  void bajt(double ms, char kierunek, std::uint8_t b);
  void zdarzenie(double ms, const char* opis);
  // Lines are buffered; the simulator flushes whenever it goes idle.
  void oproznij();

 private:
  std::FILE* plik_ = nullptr;
};

}  // namespace ostrel::sim
