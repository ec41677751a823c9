// Whether the chip in the socket is the part chosen, judged by the signature it gave, and
// how the front ends say it when it is not.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "devices/uklady.h"
#include "protocol/sterownik.h"

namespace ostrel {

enum class ZgodnoscUkladu : std::uint8_t {
  zgodny,          // the part's signature, or a part with none to compare
  bez_odpowiedzi,  // fewer than three bytes came: nothing can be told
  brak_ukladu,     // all 0xFF or all 0x00: what a line without a chip reads
  inny,            // another part's signature, or no known part's
};

// The answer to 's' in address order (0x1E first); it comes last byte first.
std::array<std::uint8_t, 3> sygnatura_adresowo(const std::array<std::uint8_t, 3>& odebrane);
std::array<std::uint8_t, 3> sygnatura_adresowo(const OdczytSygnatury& o);
// Three bytes in hex, blank between ("1E 91 01").
std::string tekst_bajtow(const std::array<std::uint8_t, 3>& b);
// All 0xFF or all 0x00: what a line without a chip gives, no signature at all.
bool pusta_sygnatura(const std::array<std::uint8_t, 3>& b);

ZgodnoscUkladu zgodnosc_ukladu(const Uklad& u, const OdczytSygnatury& o);

// "wybrano układ AT90S8515 (sygnatura 1E 93 01), a układ w podstawce ma sygnaturę
// 1E 91 01, czyli AT90S2313"; for a signature no row has "…, której nie ma żaden znany
// układ"; for an empty line "… FF FF FF (brak układu?)".
std::string opis_innego_ukladu(const Uklad& wybrany, const OdczytSygnatury& o);

}  // namespace ostrel
