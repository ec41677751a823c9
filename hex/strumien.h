// Memory image: a growable byte buffer with a read/write position.
// Used both for device memory contents and for the text of a HEX file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ostrel {

// Largest file loaded whole. Far above any HEX file of the supported devices (a full 20 KB
// image is about 57 KB of text) and above the text of the largest image the writer can
// express (1 MiB, about 2.9 MB); a bigger file is no such file and is not held in memory.
inline constexpr std::size_t kNajwiekszyPlik = std::size_t{4} << 20;
inline constexpr const char* kPlikZaDuzyDoWczytania = "plik jest za duży (ponad 4 MiB)";

class Strumien {
 public:
  Strumien() = default;
  explicit Strumien(std::vector<std::uint8_t> dane) : dane_(std::move(dane)) {}

  std::size_t rozmiar() const { return dane_.size(); }
  std::size_t pozycja() const { return pozycja_; }
  void ustaw_pozycje(std::size_t p) { pozycja_ = p; }

  // Reads the byte at the position and advances; false (and `b` untouched) at the end.
  bool czytaj_bajt(std::uint8_t& b);
  // Writes at the position, growing the buffer (gaps, if any, become 0) and advances.
  void zapisz_bajt(std::uint8_t b);
  void zapisz(const void* dane, std::size_t n);

  // Replaces the contents with the whole file; position 0. On failure the image is
  // left empty and `blad` (if given) receives the system's error text, or
  // kPlikZaDuzyDoWczytania for a file of more than `limit` bytes, which is refused
  // before anything of it is read.
  bool wczytaj_plik(const std::string& sciezka, std::string* blad = nullptr,
                    std::size_t limit = kNajwiekszyPlik);
  // Saves the whole image. Writes a temporary file beside the target and renames it
  // over the target, so a failure never leaves a half-written file: the old file
  // stays as it was.
  bool zapisz_plik(const std::string& sciezka, std::string* blad = nullptr) const;

  const std::vector<std::uint8_t>& dane() const { return dane_; }
  void wyczysc() {
    dane_.clear();
    pozycja_ = 0;
  }

 private:
  std::vector<std::uint8_t> dane_;
  std::size_t pozycja_ = 0;
};

// Saves bytes atomically (temporary file + rename). Shared by every writer of user files.
bool zapisz_atomowo(const std::string& sciezka, const void* dane, std::size_t n,
                    std::string* blad = nullptr);

}  // namespace ostrel
