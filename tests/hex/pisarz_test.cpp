// The Intel HEX writer, the round trip through the reader, and srec_cat as an oracle.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "hex/narzedzia.h"

namespace ostrel::test {
namespace {

Bajty kolejne(std::size_t n) {
  Bajty b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i);
  return b;
}

TEST(Pisarz, PrzykladDwudziestuBajtow) {
  EXPECT_EQ(zapisz(kolejne(20)),
            ":10000000000102030405060708090A0B0C0D0E0F78\r\n"
            ":0400100010111213A6\r\n"
            ":00000001FF\r\n");
}

TEST(Pisarz, GraniceRekordow) {
  EXPECT_EQ(zapisz({}), ":00000001FF\r\n");
  EXPECT_EQ(zapisz(Bajty(16, 0)), ":1000000000000000000000000000000000000000F0\r\n" + kKoniec);
  EXPECT_EQ(zapisz(Bajty(17, 0)),
            ":1000000000000000000000000000000000000000F0\r\n:0100100000EF\r\n" + kKoniec);
  for (std::size_t n : {0u, 1u, 15u, 16u, 17u, 31u, 32u, 1000u, 20480u}) {
    const std::size_t r = n % 16;
    EXPECT_EQ(zapisz(Bajty(n, 0x5A)).size(), 45 * (n / 16) + (r ? 13 + 2 * r : 0) + 13) << n;
  }
}

TEST(Pisarz, SumyKontrolne) {
  // Sum with low byte 0 gives 00.
  Bajty zero_suma(16, 0);
  zero_suma[0] = 0xF0;
  EXPECT_EQ(zapisz(zero_suma).substr(0, 45), ":10000000F000000000000000000000000000000000\r\n");
  // Both address bytes enter the sum.
  const std::string t = zapisz(Bajty(0x110, 0));
  EXPECT_NE(t.find(":1001000000000000000000000000000000000000EF\r\n"), std::string::npos);
  // Only ':', upper-case hex digits and CR LF.
  std::mt19937 gen(1);
  for (char c : zapisz(losowe(999, gen))) {
    EXPECT_TRUE(c == ':' || c == '\r' || c == '\n' || (c >= '0' && c <= '9') ||
                (c >= 'A' && c <= 'F'))
        << c;
  }
}

TEST(Pisarz, PiszeOdBiezacejPozycjiTekstu) {
  Strumien obraz(Bajty{0xAB});
  Strumien tekst(Bajty{'x', 'y', 'z'});
  tekst.ustaw_pozycje(1);
  obraz.ustaw_pozycje(1);  // the writer starts from the image's first byte anyway
  zapisz_hex(obraz, tekst);
  const std::string s(tekst.dane().begin(), tekst.dane().end());
  EXPECT_EQ(s, "x:01000000AB54\r\n" + kKoniec);
}

TEST(Pisarz, ObrazPonad64KBDostajeSegmenty) {
  std::mt19937 gen(5);
  const Bajty obraz = losowe(0x10000 + 0x10000 + 40, gen);
  const std::string t = zapisz(obraz);
  EXPECT_NE(t.find(":020000021000EC\r\n"), std::string::npos);
  EXPECT_NE(t.find(":020000022000DC\r\n"), std::string::npos);
  EXPECT_EQ(zapisz(Bajty(0x10000, 1)).find(":02000002"), std::string::npos)
      << "64 KB still needs no segment";
  const auto k = konwertuj(t);
  EXPECT_EQ(k.wynik, kKonwersjaOK);
  EXPECT_EQ(k.obraz, obraz);
}

TEST(Pisarz, ObrazPonad1MiBJestOdrzucanyBezZapisu) {
  Strumien duzy(Bajty(kNajwiekszyObrazHex + 1, 0x5A));
  Strumien tekst(Bajty{'x'});
  tekst.ustaw_pozycje(1);
  EXPECT_FALSE(zapisz_hex(duzy, tekst));
  EXPECT_EQ(tekst.dane(), (Bajty{'x'})) << "nothing written, nothing cut short";

  Strumien pelny(Bajty(kNajwiekszyObrazHex, 0x5A));
  Strumien tekst_pelny;
  ASSERT_TRUE(zapisz_hex(pelny, tekst_pelny));
  const auto k = konwertuj(std::string(tekst_pelny.dane().begin(), tekst_pelny.dane().end()));
  EXPECT_EQ(k.wynik, kKonwersjaOK);
  EXPECT_EQ(k.obraz, pelny.dane());
}

// Every size from 0 to the largest device memory, sampled: all the small ones, around every
// record boundary in the first kilobytes, and a random spread up to 20480.
std::set<std::size_t> rozmiary() {
  std::set<std::size_t> r;
  for (std::size_t n = 0; n <= 300; ++n) r.insert(n);
  for (std::size_t n = 16; n <= 4096; n += 16) {
    r.insert(n - 1);
    r.insert(n);
    r.insert(n + 1);
  }
  for (std::size_t n : {512u, 1024u, 2048u, 4096u, 8192u, 12288u, 16384u, 20480u}) {
    r.insert(n - 1);
    r.insert(n);
  }
  std::mt19937 gen(42);
  while (r.size() < 1200) r.insert(gen() % 20481);
  return r;
}

TEST(PisarzCzytnik, ObiegPrzezTekstDajeTeSameBajty) {
  std::mt19937 gen(123);
  for (std::size_t n : rozmiary()) {
    const Bajty obraz = losowe(n, gen);
    const auto k = konwertuj(zapisz(obraz));
    ASSERT_EQ(k.wynik, kKonwersjaOK) << n;
    ASSERT_EQ(k.obraz, obraz) << n;
  }
  // Erased flash and all zeros, whose records have the extreme checksums.
  for (std::uint8_t wypelnienie : {0x00, 0xFF}) {
    const Bajty obraz(20480, wypelnienie);
    const auto k = konwertuj(zapisz(obraz));
    EXPECT_EQ(k.wynik, kKonwersjaOK);
    EXPECT_EQ(k.obraz, obraz);
  }
}

// --- srec_cat as an independent oracle ----------------------------------------------------

TEST(SrecCat, CzytaTekstPisarzaJakoTeSameBajty) {
  if (!jest_srec_cat()) GTEST_SKIP() << "srec_cat (package srecord) is not installed";
  KatalogTymczasowy kat;
  ASSERT_FALSE(kat.sciezka().empty());
  std::mt19937 gen(99);
  // srec_cat refuses a file with no data, so the empty image is left to the round trip.
  for (std::size_t n : {1u, 15u, 16u, 17u, 255u, 256u, 1000u, 2048u, 4095u, 8192u, 20480u}) {
    SCOPED_TRACE(n);
    const Bajty obraz = losowe(n, gen);
    zapisz_plik(kat / "a.hex", zapisz(obraz));
    ASSERT_EQ(uruchom("srec_cat " + cytuj(kat / "a.hex") + " -Intel -o " + cytuj(kat / "a.bin") +
                      " -Binary 2>" + cytuj(kat / "err")),
              0)
        << czytaj_plik(kat / "err");
    EXPECT_EQ(czytaj_bajty(kat / "a.bin"), obraz);
  }
}

TEST(SrecCat, TekstSrecCatDajeTeSameBajty) {
  if (!jest_srec_cat()) GTEST_SKIP() << "srec_cat (package srecord) is not installed";
  KatalogTymczasowy kat;
  ASSERT_FALSE(kat.sciezka().empty());
  std::mt19937 gen(77);
  const std::size_t rozmiary[] = {1, 16, 17, 33, 100, 1024, 2047, 4096, 12288, 20480};
  const int bloki[] = {16, 32, 255};
  int i = 0;
  for (std::size_t n : rozmiary) {
    const int blok = bloki[i++ % 3];
    SCOPED_TRACE(std::to_string(n) + " bytes, " + std::to_string(blok) + " per record");
    const Bajty obraz = losowe(n, gen);
    zapisz_plik(kat / "b.bin", obraz);
    ASSERT_EQ(
        uruchom("srec_cat " + cytuj(kat / "b.bin") + " -Binary -o " + cytuj(kat / "b.hex") +
                " -Intel -address-length=2 -CRLF" + " -Output_Block_Size " + std::to_string(blok) +
                " -DISable=Exec_Start_Address -DISable=Header 2>" + cytuj(kat / "err")),
        0)
        << czytaj_plik(kat / "err");
    const std::string tekst = czytaj_plik(kat / "b.hex");
    ASSERT_EQ(tekst.find(":02000004"), std::string::npos) << "16-bit addresses only";
    const auto k = konwertuj(tekst);
    EXPECT_EQ(k.wynik, kKonwersjaOK);
    EXPECT_EQ(k.obraz, obraz);
  }
}

TEST(SrecCat, PlikiNarzedziZgadzajaSieZSrecCat) {
  if (!jest_srec_cat()) GTEST_SKIP() << "srec_cat (package srecord) is not installed";
  KatalogTymczasowy kat;
  ASSERT_FALSE(kat.sciezka().empty());
  for (const char* plik : {"tests/data/hex/sdcc_blink.ihx", "tests/data/hex/objcopy_8051.hex",
                           "tests/data/hex/objcopy_segment.hex", "samples/miganie.hex"}) {
    SCOPED_TRACE(plik);
    const std::string sciezka = std::string(OSTREL_SOURCE_DIR) + "/" + plik;
    const auto k = konwertuj(czytaj_plik(sciezka));
    ASSERT_EQ(k.wynik, kKonwersjaOK);
    ASSERT_EQ(uruchom("srec_cat " + cytuj(sciezka) + " -Intel -fill 0xFF 0 " +
                      std::to_string(k.obraz.size()) + " -o " + cytuj(kat / "c.bin") +
                      " -Binary 2>" + cytuj(kat / "err")),
              0)
        << czytaj_plik(kat / "err");
    EXPECT_EQ(czytaj_bajty(kat / "c.bin"), k.obraz);
  }
}

}  // namespace
}  // namespace ostrel::test
