// The chip's signature read before anything is written: whether the part in the socket
// is the one the operation is about to write with its algorithm.
#include "ui/model/programator.h"

namespace ostrel {

Wynik Programator::czytaj_sygnature_ukladu(const Uklad& u, OdczytSygnatury& odczyt, bool otwarta) {
  odczyt = {};
  if (tryb_demo == 1) return Wynik::demo;
  return zglos(ostrel::sygnatura(*sterownik_, u, odczyt, otwarta), u);
}

}  // namespace ostrel
