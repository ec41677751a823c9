// Files as the toolchains write them: avr-gcc's ELF files, read against avr-objcopy as the
// oracle, refused for other machines; srec_cat's default output with its type 04 record.
#include "hex/elf.h"

#include <gtest/gtest.h>

#include "common/avr_gcc.h"
#include "hex/narzedzia.h"
#include "ui/model/programator.h"

namespace ostrel::test {
namespace {

struct Elf : ::testing::Test {
  KatalogTymczasowy kat;
  std::string elf;

  void SetUp() override {
    if (!jest_avr_gcc()) GTEST_SKIP() << "avr-gcc, binutils-avr or srecord is not installed";
    ASSERT_FALSE(kat.sciezka().empty());
    elf = zbuduj_program_avr(kat.sciezka());
    ASSERT_FALSE(elf.empty()) << "avr-gcc failed";
  }

  // wczytaj_hex as the programming operations call it, for one memory.
  Wynik wczytaj(const std::string& plik, PamiecElf pamiec, Bajty& obraz, std::string& tekst) {
    Strumien s;
    const Wynik w = wczytaj_hex(plik, s, tekst, 0x10000, nullptr, pamiec);
    obraz = s.dane();
    return w;
  }
};

TEST_F(Elf, FlashIEepromJakZAvrObjcopy) {
  ASSERT_EQ(uruchom("avr-objcopy -O binary -j .text -j .data " + cytuj(elf) + " " +
                    cytuj(kat / "flash.bin")),
            0);
  ASSERT_EQ(uruchom("avr-objcopy -O binary -j .eeprom --change-section-lma .eeprom=0 " +
                    cytuj(elf) + " " + cytuj(kat / "eeprom.bin")),
            0);
  Bajty obraz;
  std::string tekst;
  EXPECT_EQ(wczytaj(elf, PamiecElf::flash, obraz, tekst), Wynik::ok) << tekst;
  EXPECT_EQ(tekst, kKonwersjaOK);
  EXPECT_EQ(obraz, czytaj_bajty(kat / "flash.bin"));
  // .data's initial value (3) is loaded after the code, not at its RAM address.
  ASSERT_GE(obraz.size(), 2u);
  EXPECT_EQ(obraz[obraz.size() - 2], 3);

  EXPECT_EQ(wczytaj(elf, PamiecElf::eeprom, obraz, tekst), Wynik::ok) << tekst;
  EXPECT_EQ(obraz, (Bajty{0x11, 0x22, 0x33, 0x44, 0x55, 0x66}));
  EXPECT_EQ(obraz, czytaj_bajty(kat / "eeprom.bin"));
}

TEST_F(Elf, PlikiKtorychNieDaSieWgracSaOdrzucaneZPowodem) {
  Bajty obraz;
  std::string tekst;

  // The machine the tests run on is surely not an AVR.
  ASSERT_EQ(uruchom("printf 'int main(void){return 0;}' | cc -x c - -o " + cytuj(kat / "host")), 0);
  EXPECT_EQ(wczytaj(kat / "host", PamiecElf::flash, obraz, tekst), Wynik::blad_hex);
  EXPECT_TRUE(obraz.empty());
#if defined(__x86_64__)
  EXPECT_EQ(tekst, "Plik ELF jest programem dla innej architektury: x86-64, a nie dla AVR");
#elif defined(__aarch64__)
  EXPECT_EQ(tekst,
            "Plik ELF jest programem dla innej architektury: AArch64 (ARM 64-bit), a nie dla AVR");
#else
  EXPECT_NE(tekst.find("dla innej architektury"), std::string::npos) << tekst;
#endif

  ASSERT_EQ(uruchom("avr-gcc -mmcu=at90s2313 -c -o " + cytuj(kat / "program.o") + " " +
                    cytuj(kat / "program.c")),
            0);
  EXPECT_EQ(wczytaj(kat / "program.o", PamiecElf::flash, obraz, tekst), Wynik::blad_hex);
  EXPECT_NE(tekst.find("nie jest gotowym programem"), std::string::npos) << tekst;

  // Without .eeprom there is nothing for the EEPROM: said, not taken for an empty image.
  ASSERT_EQ(uruchom("avr-objcopy -R .eeprom " + cytuj(elf) + " " + cytuj(kat / "bez.elf") +
                    " 2>/dev/null"),
            0);
  EXPECT_EQ(wczytaj(kat / "bez.elf", PamiecElf::eeprom, obraz, tekst), Wynik::blad_hex);
  EXPECT_EQ(tekst, "Plik ELF nie zawiera danych do pamięci EEPROM (sekcji .eeprom)");
  EXPECT_EQ(wczytaj(kat / "bez.elf", PamiecElf::flash, obraz, tekst), Wynik::ok) << tekst;

  // Cut short anywhere: refused as damaged, never read past its end.
  const Bajty caly = czytaj_bajty(elf);
  for (std::size_t n : {std::size_t{5}, std::size_t{52}, std::size_t{100}, caly.size() - 1}) {
    SCOPED_TRACE(n);
    zapisz_plik(kat / "ucięty.elf", Bajty(caly.begin(), caly.begin() + static_cast<long>(n)));
    EXPECT_EQ(wczytaj(kat / "ucięty.elf", PamiecElf::flash, obraz, tekst), Wynik::blad_hex);
    EXPECT_EQ(tekst, "Plik ELF jest uszkodzony");
  }
}

// srec_cat opens its output with :020000040000FA; the file is taken as it is.
TEST(Typ04, SrecCatDomyslnieDajeTenSamObraz) {
  if (!jest_srec_cat()) GTEST_SKIP() << "srec_cat (package srecord) is not installed";
  KatalogTymczasowy kat;
  ASSERT_FALSE(kat.sciezka().empty());
  std::mt19937 gen(4);
  const Bajty dane = losowe(300, gen);
  zapisz_plik(kat / "we.bin", dane);
  ASSERT_EQ(uruchom("srec_cat " + cytuj(kat / "we.bin") + " -Binary -o " + cytuj(kat / "wy.hex") +
                    " -Intel"),
            0);
  const std::string tekst = czytaj_plik(kat / "wy.hex");
  ASSERT_EQ(tekst.rfind(":020000040000FA", 0), 0u) << tekst.substr(0, 40);
  const auto k = konwertuj(tekst);
  EXPECT_EQ(k.wynik, kKonwersjaOK);
  EXPECT_EQ(k.obraz, dane);

  // Anywhere, in lower case too, it changes nothing; any other value is refused as before.
  EXPECT_EQ(
      konwertuj(rekord(0, 0, {1}) + ":020000040000fa\r\n" + rekord(0, 1, {2}) + kKoniec).obraz,
      (Bajty{1, 2}));
  for (const std::string& zly : {rekord(4, 0, {0, 1}), rekord(4, 0, {1, 0}), rekord(4, 0, {0}),
                                 rekord(4, 0, {0, 0, 0}), rekord(4, 1, {0, 0})}) {
    SCOPED_TRACE(zly);
    EXPECT_NE(konwertuj(zly + kKoniec).wynik, kKonwersjaOK);
  }
}

}  // namespace
}  // namespace ostrel::test
