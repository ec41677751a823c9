// The device catalogue and its lookup by item text.
#include "devices/uklady.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace ostrel {
namespace {

// Ostrel.cf stores the device box's row index: a row moved or inserted among the twelve
// would restore another part for every user.
TEST(Uklady, TekstyPozycjiBajtPoBajcieIWKolejnosci) {
  const char* oczekiwane[kLiczbaUkladow] = {
      "AT89C51",   "AT89C52", "AT89C55",   "AT89C1051",  "AT89C2051",     "AT89C4051",
      "AT89S8252", "AT89S53", "AT90S1200", ".AT90S2313", "AT90S4414 /34", "AT90S8515 /35"};
  for (int i = 0; i < kLiczbaUkladow; ++i) {
    EXPECT_STREQ(kUklady[static_cast<std::size_t>(i)].nazwa, oczekiwane[i]) << i;
  }
  EXPECT_STREQ(kUklady[static_cast<std::size_t>(kUkladDomyslny)].nazwa, "AT89C2051");
}

TEST(ZnajdzUklad, KazdyTekstPozycjiWskazujeSwojWiersz) {
  for (int i = 0; i < kLiczbaUkladow; ++i) {
    EXPECT_EQ(znajdz_uklad(kUklady[static_cast<std::size_t>(i)].nazwa), i);
  }
}

TEST(ZnajdzUklad, WielkoscLiterKropkaIPrzyrostek) {
  EXPECT_EQ(znajdz_uklad("at89c2051"), 4);
  EXPECT_EQ(znajdz_uklad("AT90S2313"), 9);
  EXPECT_EQ(znajdz_uklad(".at90s2313"), 9);
  EXPECT_EQ(znajdz_uklad("AT90S4414"), 10);
  EXPECT_EQ(znajdz_uklad("at90s8515 /35"), 11);
  EXPECT_EQ(znajdz_uklad("  AT89S53  "), 7);
}

TEST(ZnajdzUklad, NieznaneNazwy) {
  for (const char* n :
       {"", " ", ".", "/35", "AT89C", "AT89C20510", "AT89C5", "AT90S", "ATMEGA8", "AT89C51X"}) {
    EXPECT_EQ(znajdz_uklad(n), -1) << '"' << n << '"';
  }
  // Matching must not let one part stand for another that shares a prefix.
  EXPECT_NE(znajdz_uklad("AT89C51"), znajdz_uklad("AT89C52"));
  EXPECT_NE(znajdz_uklad("AT89S53"), znajdz_uklad("AT89S8252"));
}

// Each signature names its own part and no other: a check that took one part for another
// would let a write go on with the wrong algorithm. A 5 V-programming AT89C51 (third byte
// 0x05) is not the 12 V part the programmer drives.
TEST(Sygnatury, KazdaWskazujeSwojUkladINicInnego) {
  for (int i = 0; i < kLiczbaUkladow; ++i) {
    SCOPED_TRACE(kUklady[static_cast<std::size_t>(i)].nazwa);
    EXPECT_EQ(uklad_o_sygnaturze(kUklady[static_cast<std::size_t>(i)].sygnatura.bajty), i);
    EXPECT_EQ(kUklady[static_cast<std::size_t>(i)].sygnatura.bajty[0], 0x1E) << "Atmel";
  }
  EXPECT_EQ(uklad_o_sygnaturze({0x1E, 0x91, 0x01}), 9);
  EXPECT_EQ(uklad_o_sygnaturze({0x1E, 0x93, 0x01}), 11);
  EXPECT_EQ(uklad_o_sygnaturze({0x1E, 0x21, 0x00}), 4) << "two significant bytes";
  EXPECT_EQ(uklad_o_sygnaturze({0x1E, 0x51, 0x05}), -1);
  EXPECT_EQ(uklad_o_sygnaturze({0xFF, 0xFF, 0xFF}), -1);
  EXPECT_EQ(uklad_o_sygnaturze({0x1E, 0x91, 0x02}), -1);
  EXPECT_EQ(tekst_sygnatury_ukladu(9), "1E 91 01");
  EXPECT_EQ(tekst_sygnatury_ukladu(4), "1E 21");
}

}  // namespace
}  // namespace ostrel
