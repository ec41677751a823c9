// An independent client of this programmer family: avrdude's avr910 driver programs,
// verifies and reads back a chip in the simulator.
#include <gtest/gtest.h>

#include <random>

#include "common/symulator.h"

namespace ostrel::test {
namespace {

Bajty wczytaj(const std::string& plik) {
  std::ifstream f(plik, std::ios::binary);
  return Bajty((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void zapisz(const std::string& plik, const Bajty& b) {
  std::ofstream f(plik, std::ios::binary);
  f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

bool jest_avrdude() {
  return std::system("command -v avrdude >/dev/null 2>&1") == 0;
}

struct Chip {
  friend void PrintTo(const Chip& c, std::ostream* os) { *os << c.uklad; }
  const char* uklad;      // --device of the simulator
  const char* czesc;      // avrdude's -p
  std::size_t flash;      // bytes
  std::size_t eeprom;     // bytes
  const char* sygnatura;  // as avrdude prints it
};

class SymulatorAvrdude : public ::testing::TestWithParam<Chip> {};

TEST_P(SymulatorAvrdude, ProgramsVerifiesAndReadsBackFlashAndEeprom) {
  if (!jest_avrdude()) GTEST_SKIP() << "avrdude is not installed";
  const Chip& c = GetParam();
  KatalogTymczasowy k;
  const unsigned ziarno = std::random_device{}();
  std::mt19937 los(ziarno);
  Bajty flash(c.flash), eeprom(c.eeprom);
  for (auto& b : flash) b = static_cast<std::uint8_t>(los());
  for (auto& b : eeprom) b = static_cast<std::uint8_t>(los());
  zapisz(k / "flash.bin", flash);
  zapisz(k / "eeprom.bin", eeprom);

  Symulator sim({"--device", c.uklad, "--dump-flash", k / "zrzut_flash.bin", "--dump-eeprom",
                 k / "zrzut_eeprom.bin"});
  ASSERT_TRUE(sim.dziala()) << sim.blad();
  const std::string polecenie =
      std::string("avrdude -c avr910 -p ") + c.czesc + " -P " + sim.pty() + " -b 19200" +
      " -U flash:w:" + (k / "flash.bin") + ":r" + " -U eeprom:w:" + (k / "eeprom.bin") + ":r" +
      " -U flash:r:" + (k / "flash_odczyt.bin") + ":r" +
      " -U eeprom:r:" + (k / "eeprom_odczyt.bin") + ":r" + " > " + (k / "avrdude.txt") + " 2>&1";
  const int stan = std::system(polecenie.c_str());
  std::ifstream f(k / "avrdude.txt");
  const std::string wyjscie((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  ASSERT_EQ(stan, 0) << wyjscie;
  EXPECT_NE(wyjscie.find(std::string("device signature = ") + c.sygnatura), std::string::npos)
      << wyjscie;
  for (const char* zle : {"rror", "arning", "mismatch", "not supported", "double check"}) {
    EXPECT_EQ(wyjscie.find(zle), std::string::npos) << zle << "\n" << wyjscie;
  }
  EXPECT_NE(wyjscie.find("bytes of flash verified"), std::string::npos) << wyjscie;
  EXPECT_NE(wyjscie.find("bytes of eeprom verified"), std::string::npos) << wyjscie;

  ASSERT_EQ(sim.zatrzymaj(), 0);
  EXPECT_TRUE(wczytaj(k / "flash_odczyt.bin") == flash) << "seed " << ziarno;
  EXPECT_TRUE(wczytaj(k / "eeprom_odczyt.bin") == eeprom) << "seed " << ziarno;
  EXPECT_TRUE(wczytaj(k / "zrzut_flash.bin") == flash) << "seed " << ziarno;
  EXPECT_TRUE(wczytaj(k / "zrzut_eeprom.bin") == eeprom) << "seed " << ziarno;
}

INSTANTIATE_TEST_SUITE_P(Chipy, SymulatorAvrdude,
                         ::testing::Values(Chip{"AT90S8515", "8515", 8192, 512, "0x1e9301"},
                                           Chip{"AT90S2313", "2313", 2048, 128, "0x1e9101"}),
                         [](const ::testing::TestParamInfo<Chip>& i) {
                           return std::string(i.param.uklad);
                         });

}  // namespace
}  // namespace ostrel::test
