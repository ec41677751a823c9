// Page-mode ATtiny and ATmega parts behind the AVR910 firmware: what the firmware does
// with their page buffer, fuses and synchronisation, seen on the wire and in the chip.
#include <gtest/gtest.h>

#include <random>

#include "common/symulator.h"

namespace ostrel::test {
namespace {

constexpr std::uint8_t kCR = 13;

Bajty wczytaj(const std::string& plik) {
  std::ifstream f(plik, std::ios::binary);
  return Bajty((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

std::string tekst_pliku(const std::string& plik) {
  std::ifstream f(plik, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void zapisz(const std::string& plik, const Bajty& b) {
  std::ofstream f(plik, std::ios::binary);
  f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

// A simulator with a page-mode part; the firmware's busy times shortened.
std::vector<std::string> argumenty(const char* uklad, std::vector<std::string> dalsze = {}) {
  std::vector<std::string> a{"--device", uklad, "--firmware", "avr910", "--busy-scale", "0.05"};
  a.insert(a.end(), dalsze.begin(), dalsze.end());
  return a;
}

// 'T' code, 'P': the chip in programming mode when it answers.
void wejdz(KlientPty& port, std::uint8_t kod) {
  ASSERT_EQ(port.polecenie({'T', kod}, 1), Bajty{kCR});
  ASSERT_EQ(port.polecenie({'P'}, 1), Bajty{kCR});
}

Bajty blok_flash(const Bajty& dane) {
  Bajty b{'B', static_cast<std::uint8_t>(dane.size() >> 8),
          static_cast<std::uint8_t>(dane.size() & 0xFF), 'F'};
  b.insert(b.end(), dane.begin(), dane.end());
  return b;
}

TEST(UkladyStronicowe, AvrdudeProgramsVerifiesAndReadsBackAnAtmega8WithFuses) {
  if (std::system("command -v avrdude >/dev/null 2>&1") != 0) GTEST_SKIP() << "no avrdude";
  KatalogTymczasowy k;
  const unsigned ziarno = std::random_device{}();
  std::mt19937 los(ziarno);
  Bajty flash(8192), eeprom(512);
  for (auto& b : flash) b = static_cast<std::uint8_t>(los());
  for (auto& b : eeprom) b = static_cast<std::uint8_t>(los());
  zapisz(k / "flash.bin", flash);
  zapisz(k / "eeprom.bin", eeprom);
  Symulator sim(argumenty("ATmega8", {"--dump-flash", k / "zrzut.bin"}));
  ASSERT_TRUE(sim.dziala()) << sim.blad();
  const std::string polecenie =
      "avrdude -c avr910 -p m8 -P " + sim.pty() + " -b 19200 -U flash:w:" + (k / "flash.bin") +
      ":r -U eeprom:w:" + (k / "eeprom.bin") + ":r -U flash:r:" + (k / "odczyt.bin") +
      ":r -U eeprom:r:" + (k / "odczyt_eeprom.bin") +
      ":r -U lfuse:w:0xe4:m -U lfuse:r:" + (k / "lfuse.txt") +
      ":h -U hfuse:r:" + (k / "hfuse.txt") + ":h > " + (k / "avrdude.txt") + " 2>&1";
  const int stan = std::system(polecenie.c_str());
  const std::string wyjscie = tekst_pliku(k / "avrdude.txt");
  ASSERT_EQ(stan, 0) << wyjscie;
  EXPECT_NE(wyjscie.find("device signature = 0x1e9307"), std::string::npos) << wyjscie;
  EXPECT_NE(wyjscie.find("8192 bytes of flash verified"), std::string::npos) << wyjscie;
  EXPECT_NE(wyjscie.find("512 bytes of eeprom verified"), std::string::npos) << wyjscie;
  EXPECT_EQ(tekst_pliku(k / "lfuse.txt"), "0xe4\n");  // written through '.', read back
  EXPECT_EQ(tekst_pliku(k / "hfuse.txt"), "0xd9\n");  // the factory value
  ASSERT_EQ(sim.zatrzymaj(), 0);
  EXPECT_TRUE(wczytaj(k / "odczyt.bin") == flash) << "seed " << ziarno;
  EXPECT_TRUE(wczytaj(k / "odczyt_eeprom.bin") == eeprom) << "seed " << ziarno;
  EXPECT_TRUE(wczytaj(k / "zrzut.bin") == flash) << "seed " << ziarno;
}

// The firmware writes the page of a block's last word: a block over a page boundary
// puts its first words into the wrong page and leaves theirs empty, and the log says so.
TEST(UkladyStronicowe, BlockOverAPageBoundaryLandsInTheLastWordsPageAndIsLogged) {
  KatalogTymczasowy k;
  Symulator sim(argumenty("ATmega8", {"--dump-flash", k / "zrzut.bin", "--log", k / "log"}));
  ASSERT_TRUE(sim.dziala()) << sim.blad();
  KlientPty port(sim.pty());
  wejdz(port, 0x76);  // the ATmega8's own code: 64-byte pages, 32 words
  Bajty dane(16);
  for (std::size_t i = 0; i < dane.size(); ++i) dane[i] = static_cast<std::uint8_t>(0x10 + i);
  // Words 0..7 within page 0, then words 28..35 over the boundary between pages 0 and 1.
  ASSERT_EQ(port.polecenie({'A', 0, 0}, 1), Bajty{kCR});
  ASSERT_EQ(port.polecenie(blok_flash(dane), 1), Bajty{kCR});
  ASSERT_EQ(port.polecenie({'A', 0, 28}, 1), Bajty{kCR});
  ASSERT_EQ(port.polecenie(blok_flash(dane), 1), Bajty{kCR});
  ASSERT_EQ(port.polecenie({'L'}, 1), Bajty{kCR});
  port.zamknij();
  ASSERT_EQ(sim.zatrzymaj(), 0);
  const Bajty f = wczytaj(k / "zrzut.bin");
  ASSERT_EQ(f.size(), 8192u);
  EXPECT_TRUE(Bajty(f.begin(), f.begin() + 16) == dane);
  EXPECT_TRUE(Bajty(f.begin() + 56, f.begin() + 64) == Bajty(8, 0xFF));  // words 28..31: empty
  EXPECT_TRUE(Bajty(f.begin() + 64, f.begin() + 72) == Bajty(dane.begin() + 8, dane.end()));
  EXPECT_TRUE(Bajty(f.begin() + 120, f.begin() + 128) == Bajty(dane.begin(), dane.begin() + 8));
  const std::string log = tekst_pliku(k / "log");
  EXPECT_NE(log.find("block straddles a page: words 0x001C..0x0023"), std::string::npos) << log;
  EXPECT_EQ(log.find("straddles", log.find("straddles") + 1), std::string::npos);
}

// A byte-mode code (the AT90S2313's 0x20) never writes a page of a page-mode part; the
// part's own code does, and 'g' reads the words low byte first, 'R' high byte first.
TEST(UkladyStronicowe, OnlyAPageModeCodeWritesFlashAndReadsComeInTheirByteOrder) {
  Symulator sim(argumenty("ATtiny85"));
  ASSERT_TRUE(sim.dziala()) << sim.blad();
  KlientPty port(sim.pty());
  const Bajty dane{0x01, 0x02, 0x03, 0x04};
  wejdz(port, 0x20);
  ASSERT_EQ(port.polecenie({'A', 0, 0}, 1), Bajty{kCR});
  ASSERT_EQ(port.polecenie(blok_flash(dane), 1), Bajty{kCR});
  ASSERT_EQ(port.polecenie({'A', 0, 0}, 1), Bajty{kCR});
  EXPECT_EQ(port.polecenie({'g', 0, 4, 'F'}, 4), Bajty(4, 0xFF));
  wejdz(port, 0x1C);
  ASSERT_EQ(port.polecenie({'A', 0, 0}, 1), Bajty{kCR});
  ASSERT_EQ(port.polecenie(blok_flash(dane), 1), Bajty{kCR});
  ASSERT_EQ(port.polecenie({'A', 0, 0}, 1), Bajty{kCR});
  EXPECT_EQ(port.polecenie({'g', 0, 4, 'F'}, 4), dane);
  ASSERT_EQ(port.polecenie({'A', 0, 1}, 1), Bajty{kCR});
  EXPECT_EQ(port.polecenie({'R'}, 2), (Bajty{0x04, 0x03}));
}

// Fuses through '.' (the answer byte, then CR) and the one-byte reads without CR; ':'
// sends 0x00 as the fourth byte, so a fuse written through it becomes 0x00.
TEST(UkladyStronicowe, FusesThroughTheUniversalCommandsAndColonWritesZero) {
  Symulator sim(argumenty("ATmega88"));
  ASSERT_TRUE(sim.dziala()) << sim.blad();
  KlientPty port(sim.pty());
  wejdz(port, 0x76);
  EXPECT_EQ(port.polecenie({'.', 0x50, 0x00, 0x00, 0x00}, 2), (Bajty{0x62, kCR}));
  EXPECT_EQ(port.polecenie({'.', 0x58, 0x08, 0x00, 0x00}, 2), (Bajty{0xDF, kCR}));
  EXPECT_EQ(port.polecenie({'.', 0x50, 0x08, 0x00, 0x00}, 2), (Bajty{0xF9, kCR}));
  EXPECT_EQ(port.polecenie({'.', 0x58, 0x00, 0x00, 0x00}, 2), (Bajty{0xFF, kCR}));
  // Extended fuse: only BOOTSZ1..0 and BOOTRST exist, the rest reads 1.
  ASSERT_EQ(port.polecenie({'.', 0xAC, 0xA4, 0x00, 0x02}, 2).back(), kCR);
  EXPECT_EQ(port.polecenie({'Q'}, 1), Bajty{0xFA});
  // SPIEN cannot be unprogrammed through the serial interface.
  ASSERT_EQ(port.polecenie({'.', 0xAC, 0xA8, 0x00, 0xFF}, 2).back(), kCR);
  EXPECT_EQ(port.polecenie({'N'}, 1), Bajty{0xDF});
  ASSERT_EQ(port.polecenie({'.', 0xAC, 0xE0, 0x00, 0xFC}, 2).back(), kCR);
  EXPECT_EQ(port.polecenie({'r'}, 1), Bajty{0xFC});
  ASSERT_EQ(port.polecenie({':', 0xAC, 0xA0, 0x00}, 2).back(), kCR);
  EXPECT_EQ(port.polecenie({'F'}, 1), Bajty{0x00});
  EXPECT_EQ(port.czytaj_do_ciszy(100), Bajty{});  // nothing after the one-byte answers
}

// RSTDISBL programmed ends serial programming: the next 'P' finds no chip.
TEST(UkladyStronicowe, ProgrammedResetDisableLocksTheSerialInterfaceOut) {
  Symulator sim(argumenty("ATmega328P"));
  ASSERT_TRUE(sim.dziala()) << sim.blad();
  KlientPty port(sim.pty());
  wejdz(port, 0x72);
  EXPECT_EQ(port.polecenie({'s'}, 3), (Bajty{0x0F, 0x95, 0x1E}));
  ASSERT_EQ(port.polecenie({'.', 0xAC, 0xA8, 0x00, 0x59}, 2).back(), kCR);
  ASSERT_EQ(port.polecenie({'L'}, 1), Bajty{kCR});
  wejdz(port, 0x72);
  EXPECT_EQ(port.polecenie({'s'}, 3), (Bajty{0xFF, 0xFF, 0xFF}));
}

// 'P' retries synchronisation for codes 0x20..0x7F only; with the ATtiny85's 0x1C it
// sends one Programming Enable and answers CR all the same.
TEST(UkladyStronicowe, SynchronisationIsRetriedOnlyForCodesFrom0x20To0x7F) {
  {
    Symulator sim(argumenty("ATtiny85", {"--sync-failures", "3"}));
    ASSERT_TRUE(sim.dziala()) << sim.blad();
    KlientPty port(sim.pty());
    wejdz(port, 0x1C);
    EXPECT_EQ(port.polecenie({'s'}, 3), (Bajty{0xFF, 0xFF, 0xFF}));
  }
  Symulator sim(argumenty("ATtiny85", {"--sync-failures", "3"}));
  ASSERT_TRUE(sim.dziala()) << sim.blad();
  KlientPty port(sim.pty());
  wejdz(port, 0x23);
  EXPECT_EQ(port.polecenie({'s'}, 3), (Bajty{0x0B, 0x93, 0x1E}));
}

// The options that set the chip's signature, the one 's' gives under a code, and the
// codes 't' lists hold with a page-mode part too; --device-codes comes before the list.
TEST(UkladyStronicowe, SignatureAndDeviceListOptionsReachThePageModeFirmware) {
  {
    Symulator sim(argumenty("ATmega8", {"--signature", "1E,95,0F", "--signature-under",
                                        "0x76=1E,93,0A", "--device-list", "72,76"}));
    ASSERT_TRUE(sim.dziala()) << sim.blad();
    KlientPty port(sim.pty());
    EXPECT_EQ(port.polecenie({'t'}, 3), (Bajty{0x72, 0x76, 0x00}));
    wejdz(port, 0x72);
    EXPECT_EQ(port.polecenie({'s'}, 3), (Bajty{0x0F, 0x95, 0x1E}));
    EXPECT_EQ(port.polecenie({'.', 0x30, 0x00, 0x01, 0x00}, 2), (Bajty{0x95, kCR}));
    ASSERT_EQ(port.polecenie({'T', 0x76}, 1), Bajty{kCR});
    EXPECT_EQ(port.polecenie({'s'}, 3), (Bajty{0x0A, 0x93, 0x1E}));
  }
  Symulator sim(argumenty("ATmega8", {"--device-list", "72", "--device-codes", "0x76"}));
  ASSERT_TRUE(sim.dziala()) << sim.blad();
  KlientPty port(sim.pty());
  EXPECT_EQ(port.polecenie({'t'}, 2), (Bajty{0x76, 0x00}));
}

// An odd byte count for 'g' F never ends: more bytes than asked, then no answers.
TEST(UkladyStronicowe, OddFlashReadCountNeverEnds) {
  KatalogTymczasowy k;
  Symulator sim(
      {"--device", "ATtiny13", "--firmware", "avr910", "--busy-scale", "0", "--log", k / "log"});
  ASSERT_TRUE(sim.dziala()) << sim.blad();
  KlientPty port(sim.pty());
  wejdz(port, 0x23);
  ASSERT_EQ(port.polecenie({'A', 0, 0}, 1), Bajty{kCR});
  ASSERT_TRUE(port.wyslij({'g', 0, 3, 'F'}));
  EXPECT_GT(port.czytaj_do_ciszy(300).size(), 3u);
  EXPECT_EQ(port.polecenie({'S'}, 7, 300), Bajty{});
  ASSERT_EQ(sim.zatrzymaj(), 0);
  EXPECT_NE(tekst_pliku(k / "log").find("never ends"), std::string::npos);
}

}  // namespace
}  // namespace ostrel::test
