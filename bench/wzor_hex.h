// The benchmarks' input: Intel HEX of `n` bytes of a fixed pattern from address 0,
// written by the program's own HEX writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "hex/intel_hex.h"
#include "hex/strumien.h"

namespace ostrel::bench {

inline std::vector<std::uint8_t> obraz_wzoru(std::size_t n) {
  std::vector<std::uint8_t> bajty(n);
  for (std::size_t a = 0; a < n; ++a)
    bajty[a] = static_cast<std::uint8_t>((a * 37 + a / 256) & 0xFF);
  return bajty;
}

inline std::string hex_wzoru(std::size_t n) {
  Strumien obraz(obraz_wzoru(n));
  Strumien tekst;
  zapisz_hex(obraz, tekst);
  return std::string(tekst.dane().begin(), tekst.dane().end());
}

}  // namespace ostrel::bench
