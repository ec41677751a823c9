// Intel HEX reader and writer.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "hex/strumien.h"

namespace ostrel {

inline constexpr const char* kKonwersjaOK = "Konwersja OK";

// What made the reader refuse a text. The result text stays what the status window shows;
// this names the cause, so that a front end can explain it and say how to mend the file.
enum class BladHex {
  brak,              // nothing wrong
  pusty,             // the text is empty
  dwukropek,         // a record does not begin with ':' (a blank line, other text)
  po_koncu,          // something other than a record follows an end-of-file record
  znak,              // a character that is not a hex digit inside a record
  typ,               // a record type other than 00, 01 and 02 (and a type 04 other than 0)
  suma,              // checksum mismatch in a record
  suma_konca,        // checksum mismatch in an end-of-file record (only :00000001FF passes)
  brak_konca_linii,  // the text ends right after a record's checksum
  cr,                // after the checksum comes neither CR nor LF
  lf,                // CR not followed by LF
};

struct PrzyczynaHex {
  BladHex rodzaj = BladHex::brak;  // the cause
  unsigned long linia = 0;         // record number of the cause (its line in a sound file)
  int typ = -1;                    // for BladHex::typ: the record type, -1 when not two digits
  long liniowy = -1;  // for a type 04 record: its value (address bits 16-31), -1 when unknown
};

// Converts the HEX text in `tekst` into the memory image `obraz` (expected empty).
// `wynik` receives "Konwersja OK" or a Polish failure text, cut to `limit` characters.
// `przyczyna`, when given, receives the cause: the first format failure of the record at
// which the conversion stopped, otherwise the last checksum mismatch.
// `przebiegi`, when given, receives the runs of bytes the data records hold, in address
// order, touching runs joined: the rest of the image is padding, not the file's.
struct Przebieg {
  std::size_t od = 0;   // first byte
  std::size_t do_ = 0;  // one past the last
};
void konwertuj_hex(Strumien& tekst, Strumien& obraz, std::string& wynik, std::size_t limit = 255,
                   PrzyczynaHex* przyczyna = nullptr, std::vector<Przebieg>* przebiegi = nullptr);

// Largest image Intel HEX segment addressing can express (1 MiB). The writer emits a
// type 02 record at every 64 KB boundary beyond the first; images up to 64 KB carry none.
inline constexpr std::size_t kNajwiekszyObrazHex = 0x100000;

// Writes `obraz` as Intel HEX text (16-byte records, CR LF, end-of-file record) into
// `tekst` at its current position. An image larger than kNajwiekszyObrazHex cannot be
// expressed: false, and nothing is written.
bool zapisz_hex(Strumien& obraz, Strumien& tekst);

}  // namespace ostrel
