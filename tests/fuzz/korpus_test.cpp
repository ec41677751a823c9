// Replays the fuzzers' seed corpus (and whatever they found and was kept) through the
// same checks the fuzzers run, so every build, sanitizers included, covers them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/cele.h"
#include "hex/intel_hex.h"
#include "hex/strumien.h"

namespace {

namespace fs = std::filesystem;
using Bajty = std::vector<std::uint8_t>;

Bajty wczytaj(const fs::path& p) {
  std::ifstream we(p, std::ios::binary);
  return Bajty(std::istreambuf_iterator<char>(we), std::istreambuf_iterator<char>());
}

std::vector<fs::path> korpus(const std::string& cel) {
  std::vector<fs::path> pliki;
  const fs::path katalog = fs::path(OSTREL_SOURCE_DIR) / "fuzz" / "corpus" / cel;
  for (const auto& e : fs::directory_iterator(katalog)) {
    if (e.is_regular_file()) pliki.push_back(e.path());
  }
  std::sort(pliki.begin(), pliki.end());
  return pliki;
}

std::string sprawdz(const Bajty& b, std::string (*f)(const std::uint8_t*, std::size_t)) {
  return f(b.data(), b.size());
}

TEST(KorpusHex, KazdyPlikSpelniaWlasnosci) {
  const auto pliki = korpus("konwertuj_hex");
  ASSERT_GE(pliki.size(), 20u);
  int poprawne = 0;
  for (const auto& p : pliki) {
    const Bajty b = wczytaj(p);
    EXPECT_EQ(sprawdz(b, ostrel::fuzz::sprawdz_konwersje), "") << p;
    ostrel::Strumien tekst(b), obraz;
    std::string wynik;
    ostrel::konwertuj_hex(tekst, obraz, wynik);
    if (wynik == ostrel::kKonwersjaOK) ++poprawne;
  }
  // The seeds must reach the round trip through the writer, not only the failure paths.
  EXPECT_GE(poprawne, 10);
}

TEST(KorpusUstawienia, KazdyPlikSpelniaWlasnosci) {
  const auto pliki = korpus("ustawienia");
  ASSERT_GE(pliki.size(), 8u);
  for (const auto& p : pliki) {
    EXPECT_EQ(sprawdz(wczytaj(p), ostrel::fuzz::sprawdz_ustawienia), "") << p;
  }
}

// The checks must be able to fail: texts that the reader rejects must not be taken
// for well-formed ones by the reference, and the reference must agree on the classic
// cases whose outcome is known.
TEST(SprawdzenieHex, ZnaneTekstyPrzechodza) {
  for (const std::string& t : {
           std::string(":0400100001020304E2\r\n:00000001FF\r\n"),
           std::string(":0400100001020304E3\r\n:00000001FF\r\n"),  // wrong checksum
           std::string(":00000001FF\n"),                           // LF alone
           std::string(":02000004000 0FA\r\n"),                    // type 04
           std::string(":020000021000EC\r\n:0100000055AA\r\n:00000001FF\r\n"),
           std::string(50000, ':'),
           std::string("\x1a"),
       }) {
    const Bajty b(t.begin(), t.end());
    EXPECT_EQ(sprawdz(b, ostrel::fuzz::sprawdz_konwersje), "") << t;
  }
}

TEST(SprawdzenieUstawien, KrotkiePlikiIZnakKonca) {
  for (const Bajty& b : {Bajty{}, Bajty{0x1A}, Bajty{5, 0x1A, 'a'}, Bajty{5, 6, 'a', 0x0D, 'b'},
                         Bajty(300, 0x41), Bajty(300, 0xFF)}) {
    EXPECT_EQ(sprawdz(b, ostrel::fuzz::sprawdz_ustawienia), "");
  }
}

}  // namespace
