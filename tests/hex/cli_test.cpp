// The hex2bin and bin2hex commands of the built ostrel-cli.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "hex/narzedzia.h"

namespace ostrel::test {
namespace {

struct Wywolanie {
  int kod;
  std::string wyjscie;  // standard output
  std::string bledy;    // standard error
};

Wywolanie cli(const KatalogTymczasowy& kat, const std::vector<std::string>& argumenty) {
  std::string polecenie = cytuj(OSTREL_CLI);
  // Appended piece by piece: g++ 12 at -O2 misreads `"literal" + std::string&&` as an
  // overlapping copy (-Wrestrict).
  for (const auto& a : argumenty) {
    polecenie += ' ';
    polecenie += cytuj(a);
  }
  polecenie += " >";
  polecenie += cytuj(kat / "stdout");
  polecenie += " 2>";
  polecenie += cytuj(kat / "stderr");
  polecenie += " </dev/null";
  Wywolanie w;
  w.kod = uruchom(polecenie);
  w.wyjscie = czytaj_plik(kat / "stdout");
  w.bledy = czytaj_plik(kat / "stderr");
  return w;
}

TEST(CliHex2bin, DobryPlikDajeObrazIKodZero) {
  KatalogTymczasowy kat;
  ASSERT_FALSE(kat.sciezka().empty());
  zapisz_plik(kat / "we.hex", ":0400100001020304E2\r\n" + kKoniec);
  const auto w = cli(kat, {"hex2bin", kat / "we.hex", kat / "wy.bin"});
  EXPECT_EQ(w.kod, 0) << w.bledy;
  EXPECT_EQ(w.wyjscie, "Konwersja OK\n");
  EXPECT_EQ(w.bledy, "");
  // Built by index: g++ 12 at -O2 misreads an initializer-list insert as out of bounds.
  Bajty oczekiwany(20, 0xFF);
  for (int i = 0; i < 4; ++i) oczekiwany[16 + i] = static_cast<std::uint8_t>(i + 1);
  EXPECT_EQ(czytaj_bajty(kat / "wy.bin"), oczekiwany);
}

TEST(CliHex2bin, ZlyPlikDajeKodDwaINieRuszaWyjscia) {
  KatalogTymczasowy kat;
  ASSERT_FALSE(kat.sciezka().empty());
  zapisz_plik(kat / "stary.bin", std::string("poprzedni obraz"));
  struct Przypadek {
    std::string tekst;
    std::string wynik;
  };
  const std::vector<Przypadek> przypadki = {
      {":0100000011EE\r:00000001FF\r", "Nieprawidłowy format Intel HEX - LF \n"},
      {":0100000011EF\r\n" + kKoniec, "CRC error linia 1 238 239\n"},
      {"", "Nieprawidłowy format Intel HEX - :\n"},
  };
  for (const auto& p : przypadki) {
    SCOPED_TRACE(p.wynik);
    zapisz_plik(kat / "zly.hex", p.tekst);
    auto w = cli(kat, {"hex2bin", kat / "zly.hex", kat / "nowy.bin"});
    EXPECT_EQ(w.kod, 2);
    EXPECT_EQ(w.wyjscie, p.wynik);
    EXPECT_FALSE(std::filesystem::exists(kat / "nowy.bin"));
    w = cli(kat, {"hex2bin", kat / "zly.hex", kat / "stary.bin"});
    EXPECT_EQ(w.kod, 2);
    EXPECT_EQ(czytaj_plik(kat / "stary.bin"), "poprzedni obraz");
  }
}

TEST(CliHex2bin, BledyPlikowDajaKodDwa) {
  KatalogTymczasowy kat;
  ASSERT_FALSE(kat.sciezka().empty());
  zapisz_plik(kat / "we.hex", ":0100000011EE\r\n" + kKoniec);

  // Each reason in the program's own words.
  auto w = cli(kat, {"hex2bin", kat / "brak.hex", kat / "wy.bin"});
  EXPECT_EQ(w.kod, 2);
  EXPECT_EQ(w.wyjscie, "");
  EXPECT_EQ(w.bledy,
            "ostrel-cli: nie można odczytać pliku " + (kat / "brak.hex") + ": nie istnieje\n");

  w = cli(kat, {"hex2bin", kat.sciezka(), kat / "wy.bin"});
  EXPECT_EQ(w.kod, 2) << "a folder as input";
  EXPECT_EQ(w.bledy,
            "ostrel-cli: nie można odczytać pliku " + kat.sciezka() + ": to jest katalog\n");

  if (::geteuid() != 0) {  // root reads everything
    zapisz_plik(kat / "zakazany.hex", ":0100000011EE\r\n" + kKoniec);
    ::chmod((kat / "zakazany.hex").c_str(), 0);
    w = cli(kat, {"hex2bin", kat / "zakazany.hex", kat / "wy.bin"});
    EXPECT_EQ(w.bledy, "ostrel-cli: nie można odczytać pliku " + (kat / "zakazany.hex") +
                           ": brak uprawnień\n");
  }

  ASSERT_TRUE(std::filesystem::create_directory(kat / "folder"));
  w = cli(kat, {"hex2bin", kat / "we.hex", kat / "folder"});
  EXPECT_EQ(w.kod, 2);
  EXPECT_EQ(w.bledy,
            "ostrel-cli: nie można zapisać pliku " + (kat / "folder") + ": to jest katalog\n");
  EXPECT_TRUE(std::filesystem::is_directory(kat / "folder"));

  w = cli(kat, {"hex2bin", kat / "we.hex", kat / "nie/ma/wy.bin"});
  EXPECT_EQ(w.kod, 2);
  EXPECT_EQ(w.bledy, "ostrel-cli: nie można zapisać pliku " + (kat / "nie/ma/wy.bin") +
                         ": katalog " + (kat / "nie/ma") + " nie istnieje\n");

  EXPECT_EQ(cli(kat, {"hex2bin", kat / "we.hex"}).kod, 2);
  EXPECT_EQ(cli(kat, {"hex2bin", kat / "we.hex", kat / "a", kat / "b"}).kod, 2);
}

// 4 TB (sparse): refused before it is read, with a text and the file error status.
TEST(CliHex2bin, OlbrzymiPlikJestOdrzucanyBezAwarii) {
  KatalogTymczasowy kat;
  ASSERT_FALSE(kat.sciezka().empty());
  zapisz_plik(kat / "olbrzym.hex", std::string());
  ASSERT_EQ(::truncate((kat / "olbrzym.hex").c_str(), off_t{4} << 40), 0);
  const auto w = cli(kat, {"hex2bin", kat / "olbrzym.hex", kat / "wy.bin"});
  EXPECT_EQ(w.kod, 2);
  EXPECT_EQ(w.wyjscie, "");
  EXPECT_EQ(w.bledy, "ostrel-cli: nie można odczytać pliku " + (kat / "olbrzym.hex") + ": " +
                         kPlikZaDuzyDoWczytania + "\n");
  EXPECT_FALSE(std::filesystem::exists(kat / "wy.bin"));
}

// A refused file keeps its result text on standard output and gets one line on standard
// error that says what is wrong and how to mend it.
TEST(CliHex2bin, OdrzuconyPlikMaObjasnienie) {
  KatalogTymczasowy kat;
  ASSERT_FALSE(kat.sciezka().empty());
  struct Przypadek {
    std::string tekst;
    std::string wynik;                   // standard output
    std::vector<std::string> fragmenty;  // what standard error must hold
    long linie;                          // its lines
  };
  const std::vector<Przypadek> przypadki = {
      // avr-objcopy's EEPROM file without --change-section-lma .eeprom=0; the commands
      // themselves are run by the tests on avr-gcc's output.
      {":02000004008179\r\n:0100000011EE\r\n" + kKoniec,
       "Nieprawidłowy format Intel HEX - LF \n",
       {"Linia 1:", "typu 04", "0x810000", "adresy 16-bitowe", "\n  srec_cat WE.hex",
        "--change-section-lma .eeprom=0"},
       6},
      {":0100000011EE\r\n:0100010022DC\r\n:0100020033C9\r\n" + kKoniec,
       "CRC error linia 3 202 201\n",
       {"Linia 3:", "suma kontrolna"},
       1},
      {":0100000011EE\n:00000001FF\n\n",
       "Nieprawidłowy format Intel HEX - :\n",
       {"rekordem końca pliku", "w linii 2"},
       1},
  };
  for (const auto& p : przypadki) {
    SCOPED_TRACE(p.wynik);
    zapisz_plik(kat / "zly.hex", p.tekst);
    const auto w = cli(kat, {"hex2bin", kat / "zly.hex", kat / "wy.bin"});
    EXPECT_EQ(w.kod, 2);
    EXPECT_EQ(w.wyjscie, p.wynik);
    ASSERT_EQ(std::count(w.bledy.begin(), w.bledy.end(), '\n'), p.linie) << w.bledy;
    for (const auto& f : p.fragmenty) EXPECT_NE(w.bledy.find(f), std::string::npos) << f;
  }
}

TEST(CliBin2hex, ZapisujeTekstPisarzaIObiegDajeTeSameBajty) {
  KatalogTymczasowy kat;
  ASSERT_FALSE(kat.sciezka().empty());
  std::mt19937 gen(11);
  const Bajty obraz = losowe(2048, gen);
  zapisz_plik(kat / "we.bin", obraz);
  auto w = cli(kat, {"bin2hex", kat / "we.bin", kat / "wy.hex"});
  EXPECT_EQ(w.kod, 0) << w.bledy;
  EXPECT_EQ(w.bledy, "");
  EXPECT_EQ(czytaj_plik(kat / "wy.hex"), zapisz(obraz));

  w = cli(kat, {"hex2bin", kat / "wy.hex", kat / "z_powrotem.bin"});
  EXPECT_EQ(w.kod, 0);
  EXPECT_EQ(czytaj_bajty(kat / "z_powrotem.bin"), obraz);

  zapisz_plik(kat / "pusty.bin", std::string());
  EXPECT_EQ(cli(kat, {"bin2hex", kat / "pusty.bin", kat / "pusty.hex"}).kod, 0);
  EXPECT_EQ(czytaj_plik(kat / "pusty.hex"), kKoniec);
}

// The largest image segment addressing reaches: written, and read back by hex2bin (its
// text, about 2.9 MB, is within what the reader loads).
TEST(CliBin2hex, DokladnieJedenMiBJestPrzyjmowany) {
  KatalogTymczasowy kat;
  ASSERT_FALSE(kat.sciezka().empty());
  std::mt19937 gen(7);
  const Bajty obraz = losowe(kNajwiekszyObrazHex, gen);
  zapisz_plik(kat / "we.bin", obraz);
  auto w = cli(kat, {"bin2hex", kat / "we.bin", kat / "wy.hex"});
  ASSERT_EQ(w.kod, 0) << w.bledy;
  w = cli(kat, {"hex2bin", kat / "wy.hex", kat / "z_powrotem.bin"});
  EXPECT_EQ(w.kod, 0) << w.wyjscie << w.bledy;
  EXPECT_TRUE(czytaj_bajty(kat / "z_powrotem.bin") == obraz);
}

TEST(CliBin2hex, BledyPlikowDajaKodDwa) {
  KatalogTymczasowy kat;
  ASSERT_FALSE(kat.sciezka().empty());
  zapisz_plik(kat / "we.bin", std::string("abc"));
  zapisz_plik(kat / "stary.hex", std::string("stary"));

  auto w = cli(kat, {"bin2hex", kat / "brak.bin", kat / "stary.hex"});
  EXPECT_EQ(w.kod, 2);
  EXPECT_FALSE(w.bledy.empty());
  EXPECT_EQ(czytaj_plik(kat / "stary.hex"), "stary");

  ASSERT_TRUE(std::filesystem::create_directory(kat / "folder"));
  w = cli(kat, {"bin2hex", kat / "we.bin", kat / "folder"});
  EXPECT_EQ(w.kod, 2);
  EXPECT_FALSE(w.bledy.empty());

  // More than segment addressing can reach: refused, not cut short.
  {
    std::ofstream duzy(kat / "duzy.bin", std::ios::binary);
    duzy.seekp(static_cast<std::streamoff>(kNajwiekszyObrazHex));
    duzy.put('\x01');
  }
  w = cli(kat, {"bin2hex", kat / "duzy.bin", kat / "duzy.hex"});
  EXPECT_EQ(w.kod, 2);
  EXPECT_FALSE(std::filesystem::exists(kat / "duzy.hex"));

  EXPECT_EQ(cli(kat, {"bin2hex"}).kod, 2);
}

TEST(CliHex2bin, PrzykladowyProgram) {
  KatalogTymczasowy kat;
  ASSERT_FALSE(kat.sciezka().empty());
  const auto w =
      cli(kat, {"hex2bin", std::string(OSTREL_SOURCE_DIR) + "/samples/miganie.hex", kat / "m.bin"});
  EXPECT_EQ(w.kod, 0);
  EXPECT_EQ(w.wyjscie, "Konwersja OK\n");
}

}  // namespace
}  // namespace ostrel::test
