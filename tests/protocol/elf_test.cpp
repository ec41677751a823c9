// Files as the toolchains write them, programmed by ostrel-cli against the simulator:
// avr-gcc's ELF file, avr-objcopy's HEX files made from it and srec_cat's default output
// (with :020000040000FA) hold the same conversation.
#include <gtest/gtest.h>

#include "common/avr_gcc.h"
#include "protocol/stanowisko.h"

namespace ostrel::test {
namespace {

int polecenie(const std::string& p) {
  const int s = std::system((p + " >/dev/null 2>&1").c_str());
  return s != -1 && WIFEXITED(s) ? WEXITSTATUS(s) : -1;
}

struct Przebieg {
  std::string rozmowa;
  Bajty flash, eeprom;
};

// Programs (which verifies too) the flash and, when a file is given, the EEPROM of an
// AT90S2313 on the simulator on COMn.
Przebieg programuj(const Pracownia& pr, int com, const std::string& flash,
                   const std::string& eeprom = {}) {
  Przebieg p;
  Symulator s = symulator_na(pr, com, {"--device", "AT90S2313"});
  EXPECT_TRUE(s.dziala()) << s.blad();
  std::vector<std::pair<const char*, std::string>> operacje = {{"program-flash", flash}};
  if (!eeprom.empty()) operacje.emplace_back("program-eeprom", eeprom);
  for (const auto& [operacja, plik] : operacje) {
    SCOPED_TRACE(std::string(operacja) + " " + plik);
    const WynikCli w =
        uruchom_cli(pr, {"--port", std::to_string(com), "--device", "AT90S2313", operacja, plik});
    EXPECT_EQ(w.status, 0) << w.wyjscie << w.bledy;
    EXPECT_EQ(w.wyjscie, "Weryfikacja OK!\n");
  }
  s.zatrzymaj();
  p.rozmowa = rozmowa_na(pr, com);
  p.flash = czytaj_plik(pr / ("flash" + std::to_string(com) + ".bin"));
  p.eeprom = czytaj_plik(pr / ("eeprom" + std::to_string(com) + ".bin"));
  return p;
}

TEST(PlikiNarzedzi, ElfHexISrecCatDajaTeSamaRozmowe) {
  if (!jest_avr_gcc()) GTEST_SKIP() << "avr-gcc, binutils-avr or srecord is not installed";
  Pracownia pr;
  const std::string elf = zbuduj_program_avr(pr.sciezka());
  ASSERT_FALSE(elf.empty()) << "avr-gcc failed";
  const std::string hex = pr / "program.hex", eep = pr / "program.eep", srec = pr / "srec.hex";
  ASSERT_EQ(polecenie("avr-objcopy -O ihex -j .text -j .data " + elf + " " + hex), 0);
  ASSERT_EQ(
      polecenie("avr-objcopy -O ihex -j .eeprom --change-section-lma .eeprom=0 " + elf + " " + eep),
      0);
  ASSERT_EQ(polecenie("srec_cat " + hex + " -Intel -o " + srec + " -Intel"), 0);
  const Bajty tekst_srec = czytaj_plik(srec);
  ASSERT_EQ(std::string(tekst_srec.begin(), tekst_srec.begin() + 15), ":020000040000FA");

  const Przebieg z_elf = programuj(pr, 1, elf, elf);
  const Przebieg z_hex = programuj(pr, 2, hex, eep);
  EXPECT_EQ(z_elf.rozmowa, z_hex.rozmowa);
  EXPECT_EQ(z_elf.flash, z_hex.flash);
  EXPECT_EQ(z_elf.eeprom, z_hex.eeprom);
  // srec_cat's default output, flash only: the same as avr-objcopy's file.
  const Przebieg z_srec = programuj(pr, 3, srec);
  const Przebieg z_hex_flash = programuj(pr, 4, hex);
  EXPECT_EQ(z_srec.rozmowa, z_hex_flash.rozmowa);
  EXPECT_EQ(z_srec.flash, z_hex.flash);
  const Bajty obraz = obraz_hex(hex);
  ASSERT_FALSE(obraz.empty());
  ASSERT_GE(z_elf.flash.size(), obraz.size());
  EXPECT_EQ(Bajty(z_elf.flash.begin(), z_elf.flash.begin() + static_cast<long>(obraz.size())),
            obraz);
  ASSERT_GE(z_elf.eeprom.size(), 6u);
  EXPECT_EQ(Bajty(z_elf.eeprom.begin(), z_elf.eeprom.begin() + 6),
            (Bajty{0x11, 0x22, 0x33, 0x44, 0x55, 0x66}));
}

// A program built for the machine the tests run on: refused before any port is touched,
// its machine named.
TEST(PlikiNarzedzi, ElfInnejMaszynyJestOdrzucany) {
  Pracownia pr;
  const std::string host = pr / "host.elf";
  ASSERT_EQ(polecenie("printf 'int main(void){return 0;}' | cc -x c - -o " + host), 0);
  for (const char* operacja : {"program-flash", "verify-eeprom"}) {
    const WynikCli w = uruchom_cli(pr, {"--device", "AT90S8515", operacja, host});
    EXPECT_EQ(w.status, 2) << w.bledy;  // the input file is wrong
    EXPECT_EQ(w.wyjscie.rfind("Plik ELF jest programem dla innej architektury: ", 0), 0u)
        << w.wyjscie;
    EXPECT_EQ(w.wyjscie.find("maszyna nr"), std::string::npos) << w.wyjscie;
  }
}

}  // namespace
}  // namespace ostrel::test
