// Every operation of the window's core and of ostrel-cli against both firmwares the
// simulator plays: the programmer that resets its counters at 'P' and keeps the device
// code, and the AVR910 family's, whose one address register for flash and EEPROM 'P'
// leaves alone (here not 0 at power-up) and whose device code at power-up is an AVR's.
// Operations repeat on one simulator, flash and EEPROM mixed; the chip must end up
// holding the images, verifies must pass, reads must equal the chip.
#include <gtest/gtest.h>

#include <ostream>

#include "devices/uklady.h"
#include "protocol/stanowisko.h"

namespace ostrel::test {
namespace {

struct Przypadek {
  const char* nazwa;
  const char* uklad;      // --device of the simulator and of ostrel-cli
  int indeks;             // row of the device table
  const char* firmware;   // --firmware
  const char* sygnatura;  // the signature as the dialog shows it
};

void PrintTo(const Przypadek& p, std::ostream* os) {
  *os << p.nazwa;
}

Bajty wzor(std::size_t n, std::uint8_t start) {
  Bajty b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(start + i * 13);
  return b;
}

// The memory after writing `obraz` over `pamiec` from address 0.
Bajty nalozone(Bajty pamiec, const Bajty& obraz) {
  std::copy(obraz.begin(), obraz.end(), pamiec.begin());
  return pamiec;
}

std::vector<std::string> opcje_symulatora(const Przypadek& p) {
  // 0x02A7: neither 0 nor a wrap of any image here; busy times off, the timing has a
  // test of its own.
  return {"--device",           p.uklad,  "--firmware",   p.firmware,
          "--power-up-address", "0x02A7", "--busy-scale", "0"};
}

const auto kPrzypadki =
    ::testing::Values(Przypadek{"AT90S2313_Ostrel", "AT90S2313", 9, "ostrel", "1E 91 01 "},
                      Przypadek{"AT90S2313_Avr910", "AT90S2313", 9, "avr910", "1E 91 01 "},
                      Przypadek{"AT90S8515_Ostrel", "AT90S8515", 11, "ostrel", "1E 93 01 "},
                      Przypadek{"AT90S8515_Avr910", "AT90S8515", 11, "avr910", "1E 93 01 "},
                      Przypadek{"AT89S8252_Ostrel", "AT89S8252", 6, "ostrel", "1E 72 06 "},
                      Przypadek{"AT89S8252_Avr910", "AT89S8252", 6, "avr910", "1E 72 06 "});

auto nazwa_przypadku = [](const auto& info) { return std::string(info.param.nazwa); };

class OperacjeOkna : public ::testing::TestWithParam<Przypadek> {};

TEST_P(OperacjeOkna, EveryOperationRepeatedOnOneProgrammer) {
  const Przypadek& c = GetParam();
  Stanowisko s(opcje_symulatora(c));
  ASSERT_TRUE(s.uruchom(c.indeks)) << s.sim.blad();
  const Uklad& u = kUklady[static_cast<std::size_t>(c.indeks)];
  Programator& p = s.p;
  auto plik = [&](const char* nazwa, const Bajty& dane) {
    zapisz_plik(s.pracownia / nazwa, hex_z(dane));
    return s.pracownia / nazwa;
  };
  auto operacja = [&](int kod, const std::string& nazwa) {
    p.nazwa_pliku = nazwa;
    const Wynik w = p.operacja_pamieci(kod);
    s.prog.przerwa(60);
    return w;
  };
  // The flash reads cover the first 256 units: as sharp against a wrong start address
  // or device code as the whole part, at a fraction of the time (ostrel-cli reads whole
  // parts below).
  auto czytaj_flash = [&] {
    const std::uint16_t caly = p.rozmiar_flash;
    p.rozmiar_flash = 256;
    const Wynik w = operacja(0, s.pracownia / "odczyt.hex");
    p.rozmiar_flash = caly;
    return w;
  };
  const std::size_t czytane = u.adresowanie_bajtowe != 0 ? 256 : 512;
  auto poczatek = [&](const Bajty& b) { return Bajty(b.begin(), b.begin() + czytane); };
  const Bajty f1 = wzor(178, 0x21), f2 = wzor(90, 0x83);
  const Bajty e1 = wzor(40, 0x05), e2 = wzor(17, 0x9C);
  const std::string pf1 = plik("f1.hex", f1), pf2 = plik("f2.hex", f2);
  const std::string pe1 = plik("e1.eep", e1), pe2 = plik("e2.eep", e2);
  const std::string odczyt = s.pracownia / "odczyt.hex";
  const Bajty pusty_flash(u.bajty_flash(), 0xFF), pusty_eeprom(u.rozmiar_eeprom, 0xFF);

  // The dialog: its opening read, a lock write read back, an erase that clears it.
  ASSERT_EQ(p.zaawansowane(), Wynik::ok);
  EXPECT_EQ(p.dialog.Label6, c.sygnatura);
  s.prog.przerwa(60);
  p.wybierz_tryb(1);
  p.modeChange();
  ASSERT_EQ(p.Button2Click(), Wynik::ok);
  s.prog.przerwa(60);
  ASSERT_EQ(p.Button1Click(), Wynik::ok);
  EXPECT_EQ(p.dialog.Label6, c.sygnatura);
  EXPECT_EQ(p.dialog.mode_index, 1) << "the lock bits written are read back";
  s.prog.przerwa(60);
  ASSERT_EQ(p.Button3Click(), Wynik::ok);
  s.prog.przerwa(60);
  ASSERT_EQ(p.Button1Click(), Wynik::ok);
  EXPECT_EQ(p.dialog.mode_index, 0) << "the erase cleared the lock bits";
  s.prog.przerwa(60);

  // Program, verify and read, flash and EEPROM in turn (the flash programming erases
  // the chip, EEPROM included, so it comes first).
  EXPECT_EQ(operacja(4, pf1), Wynik::ok);
  EXPECT_EQ(operacja(5, pe1), Wynik::ok);
  EXPECT_EQ(operacja(2, pf1), Wynik::ok);
  EXPECT_EQ(operacja(3, pe1), Wynik::ok);
  EXPECT_EQ(operacja(1, odczyt), Wynik::ok);
  EXPECT_TRUE(obraz_hex(odczyt) == nalozone(pusty_eeprom, e1)) << "EEPROM read";
  EXPECT_EQ(czytaj_flash(), Wynik::ok);
  EXPECT_TRUE(obraz_hex(odczyt) == poczatek(nalozone(pusty_flash, f1))) << "flash read";
  EXPECT_EQ(operacja(2, pf1), Wynik::ok) << "verify again after the reads";

  // Again with other images.
  EXPECT_EQ(operacja(4, pf2), Wynik::ok);
  EXPECT_EQ(operacja(2, pf1), Wynik::blad_weryfikacji) << "the old image no longer verifies";
  EXPECT_EQ(operacja(5, pe2), Wynik::ok);
  EXPECT_EQ(operacja(2, pf2), Wynik::ok);
  EXPECT_EQ(operacja(3, pe2), Wynik::ok);
  EXPECT_EQ(operacja(5, pe2), Wynik::ok);
  EXPECT_EQ(czytaj_flash(), Wynik::ok);
  EXPECT_TRUE(obraz_hex(odczyt) == poczatek(nalozone(pusty_flash, f2))) << "flash read";
  EXPECT_EQ(operacja(1, odczyt), Wynik::ok);
  EXPECT_TRUE(obraz_hex(odczyt) == nalozone(pusty_eeprom, e2)) << "EEPROM read";
  s.zatrzymaj();

  EXPECT_TRUE(s.flash() == nalozone(pusty_flash, f2)) << "the chip's flash";
  EXPECT_TRUE(s.eeprom() == nalozone(pusty_eeprom, e2)) << "the chip's EEPROM";
}

INSTANTIATE_TEST_SUITE_P(Avr910, OperacjeOkna, kPrzypadki, nazwa_przypadku);

class OperacjeCli : public ::testing::TestWithParam<Przypadek> {};

TEST_P(OperacjeCli, EveryCommandRepeatedOnOneProgrammer) {
  const Przypadek& c = GetParam();
  Pracownia pr;
  Symulator sim = symulator_na(pr, 2, opcje_symulatora(c));
  ASSERT_TRUE(sim.dziala()) << sim.blad();
  const Uklad& u = kUklady[static_cast<std::size_t>(c.indeks)];
  auto cli = [&](std::vector<std::string> a) {
    a.insert(a.begin(), {"--port", "2", "--device", c.uklad});
    return uruchom_cli(pr, std::move(a));
  };
  const Bajty f1 = wzor(178, 0x37), e1 = wzor(40, 0x61);
  zapisz_plik(pr / "f1.hex", hex_z(f1));
  zapisz_plik(pr / "e1.eep", hex_z(e1));
  const Bajty pusty_flash(u.bajty_flash(), 0xFF), pusty_eeprom(u.rozmiar_eeprom, 0xFF);

  WynikCli w = cli({"program-flash", pr / "f1.hex"});
  EXPECT_EQ(w.status, 0) << w.wyjscie << w.bledy;
  EXPECT_EQ(w.wyjscie, "Weryfikacja OK!\n");
  w = cli({"program-eeprom", pr / "e1.eep"});
  EXPECT_EQ(w.status, 0) << w.wyjscie << w.bledy;
  w = cli({"verify-eeprom", pr / "e1.eep"});
  EXPECT_EQ(w.status, 0) << w.wyjscie << w.bledy;
  w = cli({"verify-flash", pr / "f1.hex"});
  EXPECT_EQ(w.status, 0) << w.wyjscie << w.bledy;
  w = cli({"read-eeprom", pr / "r.eep"});
  EXPECT_EQ(w.status, 0) << w.bledy;
  EXPECT_TRUE(obraz_hex(pr / "r.eep") == nalozone(pusty_eeprom, e1));
  w = cli({"read-flash", pr / "r.hex"});
  EXPECT_EQ(w.status, 0) << w.bledy;
  EXPECT_TRUE(obraz_hex(pr / "r.hex") == nalozone(pusty_flash, f1));
  w = cli({"write-lock", "1"});
  EXPECT_EQ(w.status, 0) << w.wyjscie << w.bledy;
  w = cli({"info"});
  EXPECT_NE(w.wyjscie.find(std::string("Sygnatura: ") + c.sygnatura), std::string::npos)
      << w.wyjscie;
  EXPECT_NE(w.wyjscie.find("Bity lock: Tryb 1 |"), std::string::npos) << w.wyjscie;
  w = cli({"erase"});
  EXPECT_EQ(w.wyjscie, "Układ skasowany\n");
  w = cli({"verify-flash", pr / "f1.hex"});
  EXPECT_EQ(w.status, 1) << "the erased chip no longer holds the image\n" << w.wyjscie;
  w = cli({"--no-erase", "program-flash", pr / "f1.hex"});
  EXPECT_EQ(w.status, 0) << w.wyjscie << w.bledy;
  sim.zatrzymaj();

  EXPECT_TRUE(czytaj_plik(pr / "flash2.bin") == nalozone(pusty_flash, f1)) << "the chip's flash";
  EXPECT_TRUE(czytaj_plik(pr / "eeprom2.bin") == pusty_eeprom) << "erased with the chip";
}

// The front end runs the same core routines as the window: the AVR910 firmware, the
// one the window's test above does not already cover through ostrel-cli's own tests.
INSTANTIATE_TEST_SUITE_P(
    Avr910, OperacjeCli,
    ::testing::Values(Przypadek{"AT90S2313", "AT90S2313", 9, "avr910", "1E 91 01 "},
                      Przypadek{"AT90S8515", "AT90S8515", 11, "avr910", "1E 93 01 "},
                      Przypadek{"AT89S8252", "AT89S8252", 6, "avr910", "1E 72 06 "}),
    nazwa_przypadku);

// The AVR910 firmware with its real busy times ('P' 100 ms, 4 ms a byte written): a
// host that awaits every answer loses no byte to its one-byte receive buffer.
TEST(Avr910, RealBusyTimesLoseNothing) {
  Stanowisko s({"--device", "AT90S2313", "--firmware", "avr910", "--power-up-code", "0x86"});
  ASSERT_TRUE(s.uruchom(9)) << s.sim.blad();
  const Bajty f = wzor(24, 0x44), e = wzor(9, 0xB0);
  zapisz_plik(s.pracownia / "f.hex", hex_z(f));
  zapisz_plik(s.pracownia / "e.eep", hex_z(e));
  s.p.nazwa_pliku = s.pracownia / "e.eep";
  EXPECT_EQ(s.p.operacja_pamieci(5), Wynik::ok);
  s.prog.przerwa(60);
  s.p.nazwa_pliku = s.pracownia / "f.hex";
  s.p.dialog.kasowanie = false;
  EXPECT_EQ(s.p.operacja_pamieci(4), Wynik::ok);
  s.prog.przerwa(60);
  s.zatrzymaj();
  EXPECT_TRUE(s.flash() == nalozone(Bajty(2048, 0xFF), f));
  EXPECT_TRUE(s.eeprom() == nalozone(Bajty(128, 0xFF), e));
  const Bajty dziennik = czytaj_plik(s.pracownia / "wire2.log");
  const std::string tekst(dziennik.begin(), dziennik.end());
  EXPECT_EQ(tekst.find("lost byte"), std::string::npos) << tekst;
  EXPECT_NE(tekst.find("device code 0x86 at power-up"), std::string::npos);
}

}  // namespace
}  // namespace ostrel::test
