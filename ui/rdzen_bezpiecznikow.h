// The fuse editor's way to the core: the fuse and lock bytes of a part read and written
// through the programmer after the chip's signature is checked, and the core's judgement
// of values before they are written, gathered over every byte the editor would write.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "devices/uklady.h"
#include "protocol/operacje.h"
#include "protocol/sterownik.h"

namespace ostrel {

// Values that must not be written without the user's consent.
struct OcenaBezpiecznikow {
  // Why the values would end serial programming ("hfuse: SPIEN niezaprogramowany", ...).
  std::vector<std::string> odmowy;
  // The clock-source bits that change (their names) when they choose an external clock
  // or crystal: without one the part stops, and serial programming with it.
  std::vector<std::string> zegar;
};

// `obecne`: the bytes as read from the chip (none where not read); `nowe`: the bytes to
// be written, one per byte of the row, none where nothing is written.
OcenaBezpiecznikow ocen_bezpieczniki(const Uklad& u,
                                     const std::vector<std::optional<std::uint8_t>>& obecne,
                                     const std::vector<std::optional<std::uint8_t>>& nowe);

struct OdczytBezpiecznikow {
  // niezgodnosc: a byte written reads back otherwise (roznica.adres: its place in the
  // row, w_pliku the value written, w_ukladzie the value read).
  WynikOperacji wynik;
  bool inny_uklad = false;                  // the chip's signature is not the part's: nothing sent
  std::array<std::uint8_t, 3> sygnatura{};  // as read, address order (0x1E first)
  std::vector<std::uint8_t> bajty;          // every byte of the row, as read at the end
};

// The chip's signature checked, then every fuse and lock byte of the row read.
OdczytBezpiecznikow czytaj_bajty_bezpiecznikow(Sterownik& s, const Uklad& u);
// The chip's signature checked, the bytes given written (one per byte of the row, none:
// left alone), then every byte read.
OdczytBezpiecznikow zapisz_bajty_bezpiecznikow(
    Sterownik& s, const Uklad& u, const std::vector<std::optional<std::uint8_t>>& zapis);

}  // namespace ostrel
