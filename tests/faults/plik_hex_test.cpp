// HEX files that are missing, unreadable, not files, empty, garbage or huge: a clear text,
// the documented exit status, nothing on the wire and no long wait.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

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

  std::vector<ZlyPlik> zle = {
      {"missing", pliki / "brak.hex", 2, "Nie można otworzyć pliku " + pliki / "brak.hex" + "\n"},
      {"a pipe", fifo, 2, "Nie można otworzyć pliku " + fifo + "\n"},
      {"a folder", katalog, 2, "Nie można otworzyć pliku " + katalog + "\n"},
      {"empty", pliki / "pusty.hex", 1, "Nieprawidłowy format Intel HEX - :\n"},
      {"binary garbage", pliki / "smieci.hex", 1, "Nieprawidłowy format Intel HEX - :\n"},
      {"cut record", pliki / "ucięty.hex", 1, "Nieprawidłowy format Intel HEX - CR \n"},
  };
  if (::geteuid() != 0) {
    // Permissions mean nothing to root; elsewhere an unreadable file is one more case.
    zapisz_plik(pliki / "zakazany.hex", ":00000001FF\r\n");
    ::chmod((pliki / "zakazany.hex").c_str(), 0);
    zle.push_back({"unreadable", pliki / "zakazany.hex", 2,
                   "Nie można otworzyć pliku " + pliki / "zakazany.hex" + "\n"});
  }
  for (const auto& z : zle) {
    for (const char* polecenie : {"program-flash", "verify-eeprom"}) sprawdz(polecenie, z);
  }
  sim.zatrzymaj();
  EXPECT_TRUE(czytaj_dziennik(dziennik).empty()) << "nothing may reach the programmer";
}

// 10 MB of well-formed records describing far more than the chip holds: programming it
// would wrap over the memory for hours. It is refused at once.
TEST_F(PlikiHex, TenMegabytesBeyondTheMemoryAreRefused) {
  std::string tekst;
  tekst.reserve(11 << 20);
  const Bajty dane = wzor(16, 2);
  for (unsigned segment = 0; tekst.size() < (10u << 20); segment = (segment + 0x1000) & 0xFFFF) {
    const std::uint8_t seg[2] = {static_cast<std::uint8_t>(segment >> 8),
                                 static_cast<std::uint8_t>(segment)};
    tekst += rekord_hex(2, 0, seg, 2);
    Bajty blok(0x10000);
    for (std::size_t i = 0; i < blok.size(); ++i) blok[i] = dane[i % 16];
    const std::string h = hex_obrazu(blok);
    tekst += h.substr(0, h.size() - 13);  // without its end-of-file record
  }
  tekst += ":00000001FF\r\n";
  ASSERT_GE(tekst.size(), 10u << 20);
  zapisz_plik(pliki / "duzy.hex", tekst);
  const ZlyPlik z{"10 MB beyond the flash", pliki / "duzy.hex", 1,
                  "Plik HEX nie mieści się w pamięci układu\n"};
  sprawdz("program-flash", z);
  sprawdz("verify-flash", z);
  sprawdz("program-eeprom", z);
  sim.zatrzymaj();
  EXPECT_TRUE(czytaj_dziennik(dziennik).empty()) << "nothing may reach the programmer";
}

// 10 MB of records that all fall inside the memory (a file rewritten over and over) are
// a sound file: converted in moments and programmed like any other. The EEPROM keeps the
// transfer itself short.
TEST_F(PlikiHex, TenMegabytesWithinTheMemoryProgramNormally) {
  const Bajty obraz = wzor(512, 4);
  const std::string raz = hex_obrazu(obraz);
  const std::string bez_konca = raz.substr(0, raz.size() - 13);
  std::string tekst;
  while (tekst.size() < (10u << 20)) tekst += bez_konca;
  tekst += ":00000001FF\r\n";
  zapisz_plik(pliki / "powtorzony.hex", tekst);
  const Przebieg p = uruchom_cli(
      {"--port", "2", "--device", "AT90S8515", "program-eeprom", pliki / "powtorzony.hex"},
      sim.konfiguracja(), 120);
  ASSERT_FALSE(p.zawieszony);
  EXPECT_EQ(p.status, 0);
  EXPECT_EQ(p.wyjscie, "Weryfikacja OK!\n");
}

}  // namespace
}  // namespace ostrel::test
