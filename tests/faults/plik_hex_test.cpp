// HEX files that are missing, unreadable, not files, empty, garbage or huge: a clear text,
// the documented exit status, nothing on the wire and no long wait.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "hex/intel_hex.h"
#include "pomoc.h"

namespace ostrel::test {
namespace {

namespace fs = std::filesystem;

struct ZlyPlik {
  std::string opis;     // what is wrong
  std::string sciezka;  // the file given to the program
  int status;           // expected exit status
  std::string tekst;    // expected standard output
};

class PlikiHex : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(sim.dziala()) << sim.blad(); }
  // Runs one command on `plik`; the run must be quick and must leave the wire untouched.
  void sprawdz(const std::string& polecenie, const ZlyPlik& z, double limit_s = 30) {
    SCOPED_TRACE(polecenie + " / " + z.opis);
    const Przebieg p = uruchom_cli({"--port", "2", "--device", "AT90S8515", polecenie, z.sciezka},
                                   sim.konfiguracja(), limit_s + 30);
    ASSERT_FALSE(p.zawieszony);
    EXPECT_EQ(p.status, z.status);
    EXPECT_EQ(p.wyjscie, z.tekst);
    EXPECT_LE(p.sekundy, limit_s);
  }
  KatalogTymczasowy pliki;
  std::string dziennik = pliki / "wire.log";
  Symulator sim{{"--device", "AT90S8515", "--com", "2", "--log", dziennik}};
};

TEST_F(PlikiHex, BrokenFilesAreRefusedBeforeTheProgrammerIsTouched) {
  const std::string fifo = pliki / "rura.hex";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string katalog = pliki / "katalog.hex";
  fs::create_directory(katalog);
  zapisz_plik(pliki / "pusty.hex", "");
  const Bajty smieci = wzor(100000, 9);
  zapisz_plik(pliki / "smieci.hex", std::string(smieci.begin(), smieci.end()));
  // One record whose data run into the next line's colon.
  zapisz_plik(pliki / "ucięty.hex", ":10000000000102030405\r\n:00000001FF\r\n");

  // 4 TB, sparse: more than any HEX file could be, refused before it is read.
  const std::string olbrzym = pliki / "olbrzym.hex";
  zapisz_plik(olbrzym, "");
  ASSERT_EQ(::truncate(olbrzym.c_str(), off_t{4} << 40), 0);

  std::vector<ZlyPlik> zle = {
      {"missing", pliki / "brak.hex", 2,
       "Nie można otworzyć pliku " + pliki / "brak.hex" + ": nie istnieje\n"},
      {"a pipe", fifo, 2, "Nie można otworzyć pliku " + fifo + ": to nie jest zwykły plik\n"},
      {"a folder", katalog, 2, "Nie można otworzyć pliku " + katalog + ": to jest katalog\n"},
      {"empty", pliki / "pusty.hex", 2, "Nieprawidłowy format Intel HEX - :\n"},
      {"binary garbage", pliki / "smieci.hex", 2, "Nieprawidłowy format Intel HEX - :\n"},
      {"cut record", pliki / "ucięty.hex", 2, "Nieprawidłowy format Intel HEX - CR \n"},
      {"4 TB", olbrzym, 2,
       "Nie można otworzyć pliku " + olbrzym + ": plik jest za duży (ponad 4 MiB)\n"},
  };
  if (::geteuid() != 0) {
    // Permissions mean nothing to root; elsewhere an unreadable file is one more case.
    zapisz_plik(pliki / "zakazany.hex", ":00000001FF\r\n");
    ::chmod((pliki / "zakazany.hex").c_str(), 0);
    zle.push_back({"unreadable", pliki / "zakazany.hex", 2,
                   "Nie można otworzyć pliku " + pliki / "zakazany.hex" + ": brak uprawnień\n"});
  }
  for (const auto& z : zle) {
    for (const char* polecenie : {"program-flash", "verify-eeprom"}) sprawdz(polecenie, z);
  }
  sim.zatrzymaj();
  EXPECT_TRUE(czytaj_dziennik(dziennik).empty()) << "nothing may reach the programmer";
}

// A refused file keeps its result text and gets a line on standard error that says what
// is wrong and how to mend it: here avr-objcopy's EEPROM file with its type 04 record.
TEST_F(PlikiHex, RefusedFileIsExplained) {
  zapisz_plik(pliki / "eeprom.eep", ":02000004008179\r\n:0400000001020304F2\r\n:00000001FF\r\n");
  for (const char* polecenie : {"program-eeprom", "verify-flash"}) {
    SCOPED_TRACE(polecenie);
    const Przebieg p =
        uruchom_cli({"--port", "2", "--device", "AT90S8515", polecenie, pliki / "eeprom.eep"},
                    sim.konfiguracja(), 60);
    ASSERT_FALSE(p.zawieszony);
    EXPECT_EQ(p.status, 2);
    EXPECT_EQ(p.wyjscie, "Nieprawidłowy format Intel HEX - LF \n");
    EXPECT_NE(p.bledy.find("Linia 1: rekord typu 04"), std::string::npos) << p.bledy;
    EXPECT_NE(p.bledy.find("--change-section-lma .eeprom=0"), std::string::npos) << p.bledy;
  }
  sim.zatrzymaj();
  EXPECT_TRUE(czytaj_dziennik(dziennik).empty()) << "nothing may reach the programmer";
}

// Well-formed records of a 1 MB image, far more than the chip holds: programming it
// would wrap over the memory for hours. It is refused at once.
TEST_F(PlikiHex, MegabytesBeyondTheMemoryAreRefused) {
  std::string tekst;
  tekst.reserve(4 << 20);
  const Bajty dane = wzor(16, 2);
  for (unsigned segment = 0; segment < 0x10000; segment += 0x1000) {
    const std::uint8_t seg[2] = {static_cast<std::uint8_t>(segment >> 8),
                                 static_cast<std::uint8_t>(segment)};
    tekst += rekord_hex(2, 0, seg, 2);
    Bajty blok(0x10000);
    for (std::size_t i = 0; i < blok.size(); ++i) blok[i] = dane[i % 16];
    const std::string h = hex_obrazu(blok);
    tekst += h.substr(0, h.size() - 13);  // without its end-of-file record
  }
  tekst += ":00000001FF\r\n";
  ASSERT_GE(tekst.size(), 2u << 20);
  zapisz_plik(pliki / "duzy.hex", tekst);
  // Both sizes named: the image's and the memory's.
  const std::string tekst_flash =
      "Plik HEX nie mieści się w pamięci układu: plik opisuje 1048576 bajtów, pamięć flash "
      "układu AT90S8515 ma 8192 bajtów\n";
  sprawdz("program-flash", {"1 MB beyond the flash", pliki / "duzy.hex", 2, tekst_flash});
  sprawdz("verify-flash", {"1 MB beyond the flash", pliki / "duzy.hex", 2, tekst_flash});
  sprawdz("program-eeprom",
          {"1 MB beyond the EEPROM", pliki / "duzy.hex", 2,
           "Plik HEX nie mieści się w pamięci układu: plik opisuje 1048576 bajtów, pamięć "
           "EEPROM układu AT90S8515 ma 512 bajtów\n"});
  sim.zatrzymaj();
  EXPECT_TRUE(czytaj_dziennik(dziennik).empty()) << "nothing may reach the programmer";
}

// A file rewritten over and over, all within the memory: 3.5 MB is still taken, converted
// in moments and programmed like any other (the EEPROM keeps the transfer short). 10 MB is
// more than any HEX file of these devices and is refused unread.
TEST_F(PlikiHex, LargeFilesWithinTheMemory) {
  const Bajty obraz = wzor(512, 4);
  const std::string raz = hex_obrazu(obraz);
  const std::string bez_konca = raz.substr(0, raz.size() - 13);
  std::string tekst;
  while (tekst.size() + bez_konca.size() + 13 < (7u << 19)) tekst += bez_konca;
  zapisz_plik(pliki / "powtorzony.hex", tekst + ":00000001FF\r\n");
  const Przebieg p = uruchom_cli(
      {"--port", "2", "--device", "AT90S8515", "program-eeprom", pliki / "powtorzony.hex"},
      sim.konfiguracja(), 120);
  ASSERT_FALSE(p.zawieszony);
  EXPECT_EQ(p.status, 0);
  EXPECT_EQ(p.wyjscie, "Weryfikacja OK!\n");

  while (tekst.size() < (10u << 20)) tekst += bez_konca;
  zapisz_plik(pliki / "dziesiec.hex", tekst + ":00000001FF\r\n");
  sprawdz("program-eeprom", {"10 MB", pliki / "dziesiec.hex", 2,
                             "Nie można otworzyć pliku " + pliki / "dziesiec.hex" +
                                 ": plik jest za duży (ponad 4 MiB)\n"});
}

// An SDCC .ihx as the compiler leaves it (records out of address order, lines ended by LF
// alone) programs and verifies unchanged.
TEST(PlikSdcc, ProgramsAndVerifiesUnchanged) {
  KatalogTymczasowy pliki;
  ASSERT_FALSE(pliki.sciezka().empty());
  Symulator sim{{"--device", "AT89C2051", "--com", "3", "--dump-flash", pliki / "flash.bin"}};
  ASSERT_TRUE(sim.dziala()) << sim.blad();
  const Bajty crlf = czytaj_plik(std::string(OSTREL_SOURCE_DIR) + "/tests/data/hex/sdcc_blink.ihx");
  std::string lf;
  for (std::uint8_t b : crlf) {
    if (b != '\r') lf += static_cast<char>(b);
  }
  ASSERT_LT(lf.size(), crlf.size());
  zapisz_plik(pliki / "blink.ihx", lf);
  for (const char* polecenie : {"program-flash", "verify-flash"}) {
    SCOPED_TRACE(polecenie);
    const Przebieg p =
        uruchom_cli({"--port", "3", "--device", "AT89C2051", polecenie, pliki / "blink.ihx"},
                    sim.konfiguracja(), 120);
    ASSERT_FALSE(p.zawieszony);
    EXPECT_EQ(p.status, 0) << p.bledy;
    EXPECT_EQ(p.wyjscie, "Weryfikacja OK!\n");
  }
  sim.zatrzymaj();
  // The image of the CR LF original, byte for byte, at the start of the chip.
  Strumien tekst(crlf), obraz;
  std::string wynik;
  konwertuj_hex(tekst, obraz, wynik);
  ASSERT_EQ(wynik, kKonwersjaOK);
  const Bajty flash = czytaj_plik(pliki / "flash.bin");
  ASSERT_GE(flash.size(), obraz.rozmiar());
  EXPECT_EQ(Bajty(flash.begin(), flash.begin() + static_cast<long>(obraz.rozmiar())), obraz.dane());
}

}  // namespace
}  // namespace ostrel::test
