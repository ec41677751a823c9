// ATtiny and ATmega parts through AVR910 programmers, end to end: ostrel-cli against the
// simulator's page-mode chips, judged by the chip's memories and fuses and the wire.
#include <gtest/gtest.h>

#include <random>

#include "hex/intel_hex.h"
#include "hex/strumien.h"
#include "protocol/stanowisko.h"

namespace ostrel::test {
namespace {

constexpr int kCom = 2;

struct Czesc {
  friend void PrintTo(const Czesc& c, std::ostream* os) { *os << c.nazwa; }
  const char* nazwa;
  std::size_t flash;
  std::size_t eeprom;
  const char* bezpieczniki;  // read-fuses of a new part
};

class CliStronicowe : public ::testing::Test {
 protected:
  Pracownia pr;
  Symulator sim(const char* uklad, std::vector<std::string> dalsze = {}) {
    std::vector<std::string> a{"--device", uklad, "--firmware", "avr910", "--busy-scale", "0"};
    a.insert(a.end(), dalsze.begin(), dalsze.end());
    return symulator_na(pr, kCom, std::move(a));
  }
  WynikCli cli(const char* uklad, std::vector<std::string> polecenie) {
    std::vector<std::string> a{"--port", std::to_string(kCom), "--programmer",
                               "avr910", "--device",           uklad};
    a.insert(a.end(), polecenie.begin(), polecenie.end());
    return uruchom_cli(pr, a);
  }
  // The bytes the host sent, from the log.
  Bajty od_hosta() const {
    return bajty_dziennika(czytaj_dziennik(pr / ("wire" + std::to_string(kCom) + ".log")), '<');
  }
  Bajty plik(const std::string& nazwa) const { return czytaj_plik(pr / nazwa); }
  // Intel HEX of `obraz` with the 0xFF runs as gaps (no records there).
  std::string hex(const std::string& nazwa, const Bajty& obraz) {
    Strumien dane{Bajty(obraz)}, tekst;
    zapisz_hex(dane, tekst);
    const std::string sciezka = pr / nazwa;
    tekst.zapisz_plik(sciezka);
    return sciezka;
  }
};

class CliRodziny : public CliStronicowe, public ::testing::WithParamInterface<Czesc> {};

// Per family: an image with gaps that ends inside a page, a second image over the first
// on the same chip, EEPROM, a read-back, and the fuses of a new part.
TEST_P(CliRodziny, ProgramsFlashWithGapsAndEepromAndReadsTheFuses) {
  const Czesc& c = GetParam();
  const unsigned ziarno = std::random_device{}();
  std::mt19937 los(ziarno);
  SCOPED_TRACE("seed " + std::to_string(ziarno));
  Bajty pierwszy(c.flash / 2 + 45), drugi(c.flash - 7), eeprom(c.eeprom / 2 + 3);
  for (auto* b : {&pierwszy, &drugi, &eeprom}) {
    for (auto& x : *b) x = static_cast<std::uint8_t>(los());
  }
  std::fill(pierwszy.begin() + 100, pierwszy.begin() + 300, 0xFF);  // a gap over pages
  std::fill(drugi.begin(), drugi.begin() + 77, 0xFF);               // starts inside a page
  Symulator s = sim(c.nazwa);
  ASSERT_TRUE(s.dziala()) << s.blad();
  WynikCli w = cli(c.nazwa, {"program-flash", hex("a.hex", pierwszy)});
  ASSERT_EQ(w.status, 0) << w.wyjscie << w.bledy;
  // The second image's chip erase also clears the EEPROM (EESAVE unprogrammed): EEPROM last.
  w = cli(c.nazwa, {"program-flash", hex("b.hex", drugi)});
  ASSERT_EQ(w.status, 0) << w.wyjscie << w.bledy;
  w = cli(c.nazwa, {"program-eeprom", hex("e.hex", eeprom)});
  ASSERT_EQ(w.status, 0) << w.wyjscie << w.bledy;
  w = cli(c.nazwa, {"read-flash", pr / "odczyt.hex"});
  ASSERT_EQ(w.status, 0) << w.wyjscie << w.bledy;
  w = cli(c.nazwa, {"read-fuses"});
  ASSERT_EQ(w.status, 0) << w.bledy;
  EXPECT_EQ(w.wyjscie, c.bezpieczniki);
  s.zatrzymaj();
  Bajty oczekiwana(c.flash, 0xFF);
  std::copy(drugi.begin(), drugi.end(), oczekiwana.begin());
  EXPECT_TRUE(plik("flash2.bin") == oczekiwana);
  const Bajty e = plik("eeprom2.bin");
  ASSERT_EQ(e.size(), c.eeprom);
  EXPECT_TRUE(Bajty(e.begin(), e.begin() + static_cast<std::ptrdiff_t>(eeprom.size())) == eeprom);
  Strumien tekst, odczyt;
  ASSERT_TRUE(tekst.wczytaj_plik(pr / "odczyt.hex"));
  std::string wynik;
  konwertuj_hex(tekst, odczyt, wynik);
  Bajty odczytana = odczyt.dane();
  odczytana.resize(c.flash, 0xFF);  // the file may leave out the erased end
  EXPECT_TRUE(odczytana == oczekiwana);
  const std::string log = [&] {
    std::ifstream f(pr / ("wire" + std::to_string(kCom) + ".log"));
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  }();
  EXPECT_EQ(log.find("straddles"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Rodziny, CliRodziny,
    ::testing::Values(
        Czesc{"ATtiny2313", 2048, 128, "lfuse 0x64\nhfuse 0xDF\nefuse 0xFF\nlock 0xFF\n"},
        Czesc{"ATmega8", 8192, 512, "lfuse 0xE1\nhfuse 0xD9\nlock 0xFF\n"},
        Czesc{"ATmega328P", 32768, 1024, "lfuse 0x62\nhfuse 0xD9\nefuse 0xFF\nlock 0xFF\n"}),
    [](const ::testing::TestParamInfo<Czesc>& i) { return std::string(i.param.nazwa); });

// The device code: the firmware's own for the part first, a listed code of another part
// with the same page size otherwise, and none listed refused with nothing sent after 't'.
TEST_F(CliStronicowe, DeviceCodeIsTheFirstTheProgrammerLists) {
  const auto kod_T = [&]() -> int {
    const Bajty b = od_hosta();
    for (std::size_t i = 0; i + 1 < b.size(); ++i) {
      if (b[i] == 't') {
        for (std::size_t j = i + 1; j + 1 < b.size(); ++j) {
          if (b[j] == 'T') return b[j + 1];
        }
      }
    }
    return -1;
  };
  {
    Symulator s = sim("ATtiny2313", {"--device-codes", "0x5E,0x23,0x20"});
    ASSERT_TRUE(s.dziala());
    const WynikCli w = cli("ATtiny2313", {"read-fuses"});
    EXPECT_EQ(w.status, 0) << w.bledy;
    s.zatrzymaj();
    EXPECT_EQ(kod_T(), 0x23);
  }
  {
    Symulator s = sim("ATtiny2313", {"--device-codes", "0x20,0x5E"});
    ASSERT_TRUE(s.dziala());
    const WynikCli w = cli("ATtiny2313", {"read-fuses"});
    EXPECT_EQ(w.status, 0) << w.bledy;
    s.zatrzymaj();
    EXPECT_EQ(kod_T(), 0x5E);
  }
  Symulator s = sim("ATtiny2313", {"--device-codes", "0x20,0x76"});
  ASSERT_TRUE(s.dziala());
  const WynikCli w = cli("ATtiny2313", {"program-flash", hex("a.hex", Bajty(64, 0x12))});
  EXPECT_EQ(w.status, 2);
  EXPECT_NE(w.wyjscie.find("Programator nie obsługuje układu ATtiny2313"), std::string::npos)
      << w.wyjscie;
  s.zatrzymaj();
  const Bajty b = od_hosta();
  ASSERT_NE(std::find(b.begin(), b.end(), 't'), b.end());
  for (std::uint8_t zakazany : {'T', 'P', 'e', 'B', '.'}) {
    EXPECT_EQ(std::find(b.begin(), b.end(), zakazany), b.end()) << zakazany;
  }
}

// A value that would end serial programming is refused before anything is sent, and
// written only with --force; a clock source outside the part is written after a
// warning that names the bits.
TEST_F(CliStronicowe, DangerousFuseValuesNeedForceAndClockChangesWarn) {
  Symulator s = sim("ATmega88");
  ASSERT_TRUE(s.dziala());
  WynikCli w = cli("ATmega88", {"write-fuses", "lfuse=0xE2", "hfuse=0x5F"});
  EXPECT_EQ(w.status, 2);
  EXPECT_NE(w.bledy.find("RSTDISBL"), std::string::npos) << w.bledy;
  EXPECT_TRUE(od_hosta().empty()) << "nothing on the wire";
  w = cli("ATmega88", {"write-fuses", "hfuse=0xFF"});  // SPIEN unprogrammed
  EXPECT_EQ(w.status, 2);
  EXPECT_NE(w.bledy.find("SPIEN"), std::string::npos) << w.bledy;
  EXPECT_TRUE(od_hosta().empty());

  w = cli("ATmega88", {"write-fuses", "lfuse=0xF7", "efuse=0xFA"});
  ASSERT_EQ(w.status, 0) << w.wyjscie << w.bledy;
  EXPECT_NE(w.bledy.find("(CKSEL2, CKSEL0)"), std::string::npos) << w.bledy;
  w = cli("ATmega88", {"read-fuses"});
  EXPECT_EQ(w.wyjscie, "lfuse 0xF7\nhfuse 0xDF\nefuse 0xFA\nlock 0xFF\n");

  w = cli("ATmega88", {"--force", "write-fuses", "hfuse=0x5F"});
  EXPECT_EQ(w.status, 0) << w.wyjscie << w.bledy;
  // RSTDISBL programmed: the chip no longer answers, and no 0xFF passes for its fuses.
  w = cli("ATmega88", {"read-fuses"});
  EXPECT_EQ(w.status, 3) << w.wyjscie << w.bledy;
  EXPECT_EQ(w.wyjscie, "");
}

// With --device auto a malformed argument is refused before the port is touched, as for
// a named part; a value that ends serial programming on the part found is refused
// before any write instruction goes out.
TEST_F(CliStronicowe, AutoWriteFusesRefusesBeforeWriting) {
  Symulator s = sim("ATmega88");
  ASSERT_TRUE(s.dziala());
  for (const char* zly : {"hfuse=0x1DF", "xfuse=0xFF", "hfuse"}) {
    const WynikCli w = cli("auto", {"write-fuses", "lfuse=0x62", zly});
    EXPECT_EQ(w.status, 2) << zly;
    EXPECT_TRUE(od_hosta().empty()) << zly << ": nothing on the wire, not even the search";
  }
  const WynikCli w = cli("auto", {"write-fuses", "lfuse=0xE2", "hfuse=0x5F"});
  EXPECT_EQ(w.status, 2);
  EXPECT_NE(w.bledy.find("RSTDISBL"), std::string::npos) << w.bledy;
  s.zatrzymaj();
  const Bajty b = od_hosta();
  ASSERT_FALSE(b.empty());
  for (std::size_t i = 0; i + 1 < b.size(); ++i) {
    EXPECT_FALSE(b[i] == '.' && b[i + 1] == 0xAC) << "a write instruction at " << i;
  }
}

// --device auto finds the part by its signature and then uses the part's own code; a
// wrong part in the socket is refused before any erase or write.
TEST_F(CliStronicowe, AutoFindsThePartAndAWrongPartIsRefused) {
  Symulator s = sim("ATmega328P");
  ASSERT_TRUE(s.dziala());
  WynikCli w = cli("auto", {"program-flash", hex("a.hex", Bajty(300, 0x5A))});
  ASSERT_EQ(w.status, 0) << w.wyjscie << w.bledy;
  EXPECT_NE(w.bledy.find("Rozpoznano układ ATmega328P"), std::string::npos) << w.bledy;
  w = cli("ATmega32", {"program-flash", hex("b.hex", Bajty(300, 0x00))});
  EXPECT_EQ(w.status, 5) << w.wyjscie << w.bledy;
  s.zatrzymaj();
  const Bajty f = plik("flash2.bin");
  ASSERT_EQ(f.size(), 32768u);
  EXPECT_TRUE(Bajty(f.begin(), f.begin() + 300) == Bajty(300, 0x5A));
}

// With the Ostrel programmer type these parts are refused with the reason.
TEST_F(CliStronicowe, PartsProgrammerRefusesThem) {
  Symulator s = symulator_na(pr, kCom, {"--device", "AT90S8515"});
  ASSERT_TRUE(s.dziala());
  const WynikCli w = uruchom_cli(pr, {"--port", std::to_string(kCom), "--device", "ATmega8",
                                      "program-flash", hex("a.hex", Bajty(64, 1))});
  EXPECT_EQ(w.status, 2);
  EXPECT_NE(w.wyjscie.find("Programator nie obsługuje układu ATmega8"), std::string::npos)
      << w.wyjscie << w.bledy;
}

}  // namespace
}  // namespace ostrel::test
