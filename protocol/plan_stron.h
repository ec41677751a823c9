// How flash of a page-mode part is written through an AVR910 firmware: which words go
// in blocks ('B', which the firmware ends with a page write at the block's last word and
// a poll of that word's high byte), which are only loaded into the page buffer ('c'/'C')
// for a later page write to carry, and where a page is written with 'm'.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ostrel {

struct KrokZapisu {
  enum class Rodzaj : std::uint8_t {
    blok,    // 'B' of the words: loaded, then the page of the last one written
    slowa,   // 'c'/'C' of each word: loaded into the page buffer only
    strona,  // 'm' with the address register at `slowo`: the page written
  };
  Rodzaj rodzaj;
  std::uint32_t slowo;  // the first word (word address)
  std::uint32_t slowa;  // how many (strona: 0)

  friend bool operator==(const KrokZapisu&, const KrokZapisu&) = default;
};

// The steps that write `n` bytes of image from address 0 into flash with `strona`-byte
// pages through a `bufor`-byte block buffer (0: no blocks, only 'c'/'C' and 'm').
//  - Words that read 0xFFFF are left out: programming them changes nothing, so gaps in
//    the image, its start and its end inside a page cost nothing.
//  - No block crosses a page boundary or exceeds the buffer; short gaps inside a page
//    are bridged with 0xFFFF words rather than paid for with another page write.
//  - No block ends on a word whose high byte is 0xFF where it can be helped: the
//    firmware cannot poll such a word and waits a blind 50 ms. Words that cannot end a
//    block are loaded with 'c'/'C' before a page write in the same page carries them; a
//    page of only such words is written with 'm'.
std::vector<KrokZapisu> plan_zapisu_stron(const std::uint8_t* obraz, std::size_t n,
                                          std::uint32_t strona, std::uint32_t bufor);

}  // namespace ostrel
