// The device catalogue and its lookup by item text.
#include "devices/uklady.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace ostrel {
namespace {

TEST(Uklady, TekstyPozycjiBajtPoBajcieIWKolejnosci) {
  const char* oczekiwane[kLiczbaUkladow] = {
      "AT89C51",   "AT89C52", "AT89C55",   "AT89C1051",  "AT89C2051",     "AT89C4051",
      "AT89S8252", "AT89S53", "AT90S1200", ".AT90S2313", "AT90S4414 /34", "AT90S8515 /35"};
  for (int i = 0; i < kLiczbaUkladow; ++i) {
    EXPECT_STREQ(kUklady[static_cast<std::size_t>(i)].nazwa, oczekiwane[i]) << i;
  }
  EXPECT_STREQ(kUklady[static_cast<std::size_t>(kUkladDomyslny)].nazwa, "AT89C2051");
}

TEST(Uklady, PamieciSaRzeczywistymiRozmiaramiUkladow) {
  // A read of the whole memory must return all of it: these three parts hold more than
  // the original table claimed.
  EXPECT_EQ(kUklady[0].bajty_flash(), 4096u);   // AT89C51
  EXPECT_EQ(kUklady[1].bajty_flash(), 8192u);   // AT89C52
  EXPECT_EQ(kUklady[6].bajty_flash(), 8192u);   // AT89S8252
  EXPECT_EQ(kUklady[6].rozmiar_eeprom, 2048u);  // AT89S8252 EEPROM

  struct Pamiec {
    unsigned flash_jednostki, flash_bajty, eeprom;
  };
  const Pamiec oczekiwane[kLiczbaUkladow] = {
      {4096, 4096, 0}, {8192, 8192, 0},   {20480, 20480, 0},  {512, 1024, 0},
      {1024, 2048, 0}, {2048, 4096, 0},   {8192, 8192, 2048}, {12288, 12288, 0},
      {512, 1024, 64}, {1024, 2048, 128}, {2048, 4096, 256},  {4096, 8192, 512}};
  for (int i = 0; i < kLiczbaUkladow; ++i) {
    const Uklad& u = kUklady[static_cast<std::size_t>(i)];
    SCOPED_TRACE(u.nazwa);
    EXPECT_EQ(u.rozmiar_flash, oczekiwane[i].flash_jednostki);
    EXPECT_EQ(u.bajty_flash(), oczekiwane[i].flash_bajty);
    EXPECT_EQ(u.rozmiar_eeprom, oczekiwane[i].eeprom);
  }
}

TEST(Uklady, KodyTrybyGrupaEepromINapisy) {
  const unsigned kody[kLiczbaUkladow] = {12, 12, 12, 12, 12, 12, 134, 12, 19, 32, 40, 56};
  const unsigned bajtowe[kLiczbaUkladow] = {1, 1, 1, 0, 0, 0, 1, 1, 0, 0, 0, 0};
  for (int i = 0; i < kLiczbaUkladow; ++i) {
    const Uklad& u = kUklady[static_cast<std::size_t>(i)];
    SCOPED_TRACE(u.nazwa);
    EXPECT_EQ(u.kod_ukladu, kody[i]);
    EXPECT_EQ(u.adresowanie_bajtowe, bajtowe[i]);
    EXPECT_EQ(u.grupa_eeprom, u.rozmiar_eeprom != 0) << "group enabled exactly with EEPROM";
    EXPECT_EQ(u.liczba_trybow, u.adresowanie_bajtowe ? 4 : 3)
        << "four lock modes for the byte-addressed 8051 parts";
  }
  for (int i = 0; i < 6; ++i) {
    EXPECT_STREQ(kUklady[static_cast<std::size_t>(i)].checkbox1, "");
    EXPECT_STREQ(kUklady[static_cast<std::size_t>(i)].checkbox2, "");
  }
  EXPECT_STREQ(kUklady[6].checkbox1, "");
  EXPECT_STREQ(kUklady[6].checkbox2, "Programowanie SPI (SPIEN)");
  EXPECT_STREQ(kUklady[7].checkbox1, " ") << "one blank, not empty";
  EXPECT_STREQ(kUklady[7].checkbox2, " ");
  // UTF-8 bytes of "Wewnętrzny": ę is C4 99.
  EXPECT_STREQ(kUklady[8].checkbox1, "Wewn\xC4\x99trzny oscylator (RCEN)");
  for (int i = 9; i < 12; ++i) {
    EXPECT_STREQ(kUklady[static_cast<std::size_t>(i)].checkbox1, "Szybki start (FSTRT)");
  }
  for (int i = 8; i < 12; ++i) {
    EXPECT_STREQ(kUklady[static_cast<std::size_t>(i)].checkbox2, "Programowanie SPI (SPIEN)");
  }
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
