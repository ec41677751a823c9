// What a new value of a fuse byte would do to the part, judged by its named bits before
// anything is sent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "devices/uklady.h"

namespace ostrel {

struct OcenaBezpiecznika {
  // Bits whose new value ends serial programming: SPIEN unprogrammed, RSTDISBL or DWEN
  // programmed. Such a value is written only when forced.
  std::vector<const char*> konczace;
  // Clock-select bits that change to a source outside the part (an external clock or a
  // crystal, without which it stops): written only after a warning that names them.
  std::vector<const char*> zegar;
};

// The new value `nowa` of the row's fuse byte `bajt` (its place in u.bezpieczniki);
// `obecna` is the byte as read from the chip, when known (then only a change warns).
OcenaBezpiecznika ocen_bezpiecznik(const Uklad& u, std::size_t bajt, std::uint8_t nowa,
                                   std::optional<std::uint8_t> obecna);

// The place of the row's fuse or lock byte called `nazwa` ("lfuse", "lock"), or -1.
int znajdz_bajt_bezpiecznikow(const Uklad& u, std::string_view nazwa);

}  // namespace ostrel
