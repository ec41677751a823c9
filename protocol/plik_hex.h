// An image loaded from a HEX (or ELF) file, checked against the memory it is meant for.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "hex/elf.h"
#include "hex/intel_hex.h"
#include "hex/strumien.h"
#include "protocol/teksty.h"

namespace ostrel {

// Loads the HEX file `nazwa` and converts it into `obraz`. Wynik::ok, or blad_pliku /
// blad_hex with the Polish text for the status window in `tekst`. An image of more than
// `pojemnosc` bytes is refused as blad_hex with kPlikZaDuzy. `przyczyna`, when given,
// receives the HEX reader's cause of a refusal. An ELF file gives the image of `pamiec`.
// `przebiegi`, when given, receives the runs of bytes the file holds (an ELF section: one
// run over the image).
Wynik wczytaj_hex(const std::string& nazwa, Strumien& obraz, std::string& tekst,
                  std::size_t pojemnosc = static_cast<std::size_t>(-1),
                  PrzyczynaHex* przyczyna = nullptr, PamiecElf pamiec = PamiecElf::flash,
                  std::vector<Przebieg>* przebiegi = nullptr);

}  // namespace ostrel
