// Checks run on arbitrary input by the fuzzers and, over the seed corpus, by the tests.
// Each returns an empty text when every property holds, otherwise what went wrong.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ostrel::fuzz {

// The HEX reader on arbitrary bytes: the result is one of the reader's texts, the image
// matches an independent reading of the same records, and a successful image survives a
// trip through the writer and back.
std::string sprawdz_konwersje(const std::uint8_t* dane, std::size_t rozmiar);

// The settings file load on arbitrary bytes: values in range, a name that is valid text
// and can be stored again, and storing what was loaded loads back the same.
std::string sprawdz_ustawienia(const std::uint8_t* dane, std::size_t rozmiar);

}  // namespace ostrel::fuzz
