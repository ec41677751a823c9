// Intel HEX reader and writer.
#pragma once

#include <cstddef>
#include <string>

#include "hex/strumien.h"

namespace ostrel {

inline constexpr const char* kKonwersjaOK = "Konwersja OK";

// Converts the HEX text in `tekst` into the memory image `obraz` (expected empty).
// `wynik` receives "Konwersja OK" or a Polish failure text, cut to `limit` characters.
void konwertuj_hex(Strumien& tekst, Strumien& obraz, std::string& wynik, std::size_t limit = 255);

// Largest image Intel HEX segment addressing can express (1 MiB). The writer emits a
// type 02 record at every 64 KB boundary beyond the first; images up to 64 KB carry none.
inline constexpr std::size_t kNajwiekszyObrazHex = 0x100000;

// Writes `obraz` as Intel HEX text (16-byte records, CR LF, end-of-file record) into
// `tekst` at its current position. Only the first kNajwiekszyObrazHex bytes are written;
// callers with larger images must refuse them first.
void zapisz_hex(Strumien& obraz, Strumien& tekst);

}  // namespace ostrel
