// The six memory operations on the wire, against the simulator: the exact conversation,
// the progress shown, what the chip holds afterwards and the HEX file a read writes.
#include <gtest/gtest.h>

#include <ostream>

#include "devices/uklady.h"
#include "protocol/stanowisko.h"

namespace ostrel::test {
namespace {

constexpr int kAT89C51 = 0;    // byte addressing, code 12
constexpr int kAT89C1051 = 3;  // paired, 512 words, code 12
constexpr int kAT89C2051 = 4;  // paired, 1024 words, code 12
constexpr int kAT90S1200 = 8;  // paired, 64 bytes of EEPROM, code 19

constexpr std::uint8_t A = 'A', C = 'C', D = 'D', L = 'L', P = 'P', R = 'R', T = 'T';
constexpr std::uint8_t c = 'c', d = 'd', e = 'e';

Bajty wzor(std::size_t n, std::uint8_t start = 0x10) {
  Bajty b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(start + i * 7);
  return b;
}

TEST(Operacje, WorkedExamplePairedWithErase) {
  Stanowisko s({"--device", "AT89C2051"});
  ASSERT_TRUE(s.uruchom(kAT89C2051)) << s.sim.blad();
  zapisz_plik(s.pracownia / "a.hex", hex_z({0x12, 0x34, 0x56, 0x78}));
  s.p.nazwa_pliku = s.pracownia / "a.hex";
  s.prog.widok.postep.clear();
  ASSERT_TRUE(s.p.dialog.kasowanie);

  EXPECT_EQ(s.p.operacja_pamieci(4), Wynik::ok);
  EXPECT_EQ(s.p.status.Label1, "Weryfikacja OK!");
  EXPECT_EQ(s.prog.widok.postep, (std::vector<int>{50, 100, 0, 50, 100}));
  EXPECT_EQ(pozostale(s.prog.port), 0);  // the closing 'L' was awaited
  s.zatrzymaj();

  Rozmowa r;
  r({T, 0x0C}, 1)({P}, 1)({e}, 1)({L}, 1)({P}, 1);
  r({A, 0, 0}, 1)({c, 0x12}, 1)({C, 0x34}, 1)({A, 0, 1}, 1)({c, 0x56}, 1)({C, 0x78}, 1);
  r({P}, 1)({A, 0, 0}, 1)({R}, 2)({R}, 2)({L}, 1);
  EXPECT_TRUE(ta_sama_rozmowa(s.kroki_po_wyszukaniu(), r));

  Bajty oczekiwana(2048, 0xFF);
  oczekiwana[0] = 0x12, oczekiwana[1] = 0x34, oczekiwana[2] = 0x56, oczekiwana[3] = 0x78;
  EXPECT_EQ(s.flash(), oczekiwana);
}

TEST(Operacje, SameImageByteAddressingWithoutErase) {
  Stanowisko s({"--device", "AT89C51"});
  ASSERT_TRUE(s.uruchom(kAT89C51)) << s.sim.blad();
  zapisz_plik(s.pracownia / "a.hex", hex_z({0x12, 0x34, 0x56, 0x78}));
  s.p.nazwa_pliku = s.pracownia / "a.hex";
  s.p.dialog.kasowanie = false;
  s.prog.widok.postep.clear();

  EXPECT_EQ(s.p.operacja_pamieci(4), Wynik::ok);
  EXPECT_EQ(s.prog.widok.postep, (std::vector<int>{25, 50, 75, 100, 0, 25, 50, 75, 100}));
  s.zatrzymaj();

  Rozmowa r;
  r({T, 0x0C}, 1)({P}, 1);
  r({A, 0, 0}, 1)({c, 0x12}, 1)({A, 0, 1}, 1)({c, 0x34}, 1);
  r({A, 0, 2}, 1)({c, 0x56}, 1)({A, 0, 3}, 1)({c, 0x78}, 1);
  r({P}, 1)({A, 0, 0}, 1)({R}, 1)({A, 0, 1}, 1)({R}, 1)({A, 0, 2}, 1)({R}, 1)({A, 0, 3}, 1)({R}, 1)(
      {L}, 1);
  EXPECT_TRUE(ta_sama_rozmowa(s.kroki_po_wyszukaniu(), r));
  const Bajty f = s.flash();
  ASSERT_GE(f.size(), 5u);
  EXPECT_EQ(Bajty(f.begin(), f.begin() + 5), (Bajty{0x12, 0x34, 0x56, 0x78, 0xFF}));
}

TEST(Operacje, EightBytesProgressTiesToEven) {
  Stanowisko s({"--device", "AT89C51"});
  ASSERT_TRUE(s.uruchom(kAT89C51)) << s.sim.blad();
  zapisz_plik(s.pracownia / "a.hex", hex_z(wzor(8)));
  s.p.nazwa_pliku = s.pracownia / "a.hex";
  s.prog.widok.postep.clear();
  EXPECT_EQ(s.p.operacja_pamieci(4), Wynik::ok);
  const std::vector<int> osiem = {12, 25, 38, 50, 62, 75, 88, 100};
  std::vector<int> oczekiwany = osiem;
  oczekiwany.push_back(0);
  oczekiwany.insert(oczekiwany.end(), osiem.begin(), osiem.end());
  EXPECT_EQ(s.prog.widok.postep, oczekiwany);
}

// Verify flash under byte addressing, over more than 0x123 units: every unit carries its
// 16-bit address, high byte first.
TEST(Operacje, VerifyByteAddressingSendsEveryAddress) {
  KatalogTymczasowy wstep;
  const Bajty obraz = wzor(0x124);
  zapisz_plik(wstep / "a.hex", hex_z(obraz));
  Stanowisko s({"--device", "AT89C51", "--flash", wstep / "a.hex"});
  ASSERT_TRUE(s.uruchom(kAT89C51)) << s.sim.blad();
  s.p.nazwa_pliku = wstep / "a.hex";
  EXPECT_EQ(s.p.operacja_pamieci(2), Wynik::ok);
  EXPECT_EQ(s.p.status.Label1, "Weryfikacja OK!");
  s.zatrzymaj();

  Rozmowa r;
  r({T, 0x0C}, 1)({P}, 1)({P}, 1);
  for (std::uint32_t i = 0; i < obraz.size(); ++i) {
    r({A, static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i)}, 1)({R}, 1);
  }
  r({L}, 1);
  EXPECT_TRUE(ta_sama_rozmowa(s.kroki_po_wyszukaniu(), r));
  const std::string rozmowa = s.po_wyszukaniu();
  EXPECT_NE(rozmowa.find("41 01 23>1\n52>1\n"), std::string::npos);
}

// Under paired addressing the verify says where the run of 'R' starts, once.
TEST(Operacje, VerifyPairedSendsOneStartAddress) {
  KatalogTymczasowy wstep;
  zapisz_plik(wstep / "a.hex", hex_z(wzor(10)));
  Stanowisko s({"--device", "AT89C1051", "--flash", wstep / "a.hex"});
  ASSERT_TRUE(s.uruchom(kAT89C1051)) << s.sim.blad();
  s.p.nazwa_pliku = wstep / "a.hex";
  s.prog.widok.postep.clear();
  EXPECT_EQ(s.p.operacja_pamieci(2), Wynik::ok);
  EXPECT_EQ(s.prog.widok.postep, (std::vector<int>{20, 40, 60, 80, 100}));
  s.zatrzymaj();
  EXPECT_TRUE(ta_sama_rozmowa(
      s.kroki_po_wyszukaniu(),
      Rozmowa()({T, 0x0C}, 1)({P}, 1)({P}, 1)({A, 0, 0}, 1).powtorz(5, {R}, 2)({L}, 1)));
}

// A paired read stores each word as the second answer byte, then the first; the file it
// writes holds the whole flash; it takes the answer of its closing 'L' itself.
TEST(Operacje, ReadPairedWritesWholeFlash) {
  KatalogTymczasowy wstep;
  zapisz_plik(wstep / "a.hex", hex_z(wzor(300)));
  Stanowisko s({"--device", "AT89C1051", "--flash", wstep / "a.hex"});
  ASSERT_TRUE(s.uruchom(kAT89C1051)) << s.sim.blad();
  s.p.nazwa_pliku = s.pracownia / "odczyt.hex";
  EXPECT_EQ(s.p.operacja_pamieci(0), Wynik::ok);
  EXPECT_EQ(s.p.status.Label1, "Znaleziono programator na com2");  // a read shows nothing
  // Nothing is left for a front end to drain.
  EXPECT_EQ(pozostale(s.prog.port), 0);
  s.zatrzymaj();

  EXPECT_TRUE(
      ta_sama_rozmowa(s.kroki_po_wyszukaniu(),
                      Rozmowa()({T, 0x0C}, 1)({P}, 1)({A, 0, 0}, 1).powtorz(512, {R}, 2)({L}, 1)));
  const Bajty odczyt = obraz_hex(s.p.nazwa_pliku);
  EXPECT_EQ(odczyt.size(), 1024u);
  EXPECT_EQ(odczyt, s.flash());
  EXPECT_EQ(Bajty(odczyt.begin(), odczyt.begin() + 300), wzor(300));
}

TEST(Operacje, ReadByteAddressing) {
  KatalogTymczasowy wstep;
  zapisz_plik(wstep / "a.hex", hex_z({0xA1, 0xB2, 0xC3, 0xD4, 0xE5}));
  Stanowisko s({"--device", "AT89C51", "--flash", wstep / "a.hex"});
  ASSERT_TRUE(s.uruchom(kAT89C51)) << s.sim.blad();
  s.p.rozmiar_flash = 4;  // a small part keeps the test short
  s.p.nazwa_pliku = s.pracownia / "odczyt.hex";
  s.p.okno.ProgressBar2 = 7;
  s.prog.widok.postep.clear();
  EXPECT_EQ(s.p.operacja_pamieci(0), Wynik::ok);
  EXPECT_EQ(s.prog.widok.postep, (std::vector<int>{0, 25, 50, 75}));
  s.zatrzymaj();
  Rozmowa r;
  r({T, 0x0C}, 1)({P}, 1);
  for (std::uint8_t i = 0; i < 4; ++i) r({A, 0, i}, 1)({R}, 1);
  r({L}, 1);
  EXPECT_TRUE(ta_sama_rozmowa(s.kroki_po_wyszukaniu(), r));
  EXPECT_EQ(obraz_hex(s.p.nazwa_pliku), (Bajty{0xA1, 0xB2, 0xC3, 0xD4}));
}

TEST(Operacje, ReadProgressPairedAndEeprom) {
  Stanowisko s({"--device", "AT90S1200"});
  ASSERT_TRUE(s.uruchom(kAT90S1200)) << s.sim.blad();
  s.p.rozmiar_flash = 4;
  s.p.rozmiar_eeprom = 4;
  s.p.nazwa_pliku = s.pracownia / "odczyt.hex";
  s.prog.widok.postep.clear();
  EXPECT_EQ(s.p.operacja_pamieci(0), Wynik::ok);
  EXPECT_EQ(s.prog.widok.postep, (std::vector<int>{25, 50, 75, 100}));
  EXPECT_EQ(obraz_hex(s.p.nazwa_pliku).size(), 8u);
  s.prog.przerwa();
  s.prog.widok.postep.clear();
  EXPECT_EQ(s.p.operacja_pamieci(1), Wynik::ok);
  EXPECT_EQ(s.prog.widok.postep, (std::vector<int>{25, 50, 75, 100}));
  EXPECT_EQ(obraz_hex(s.p.nazwa_pliku), Bajty(4, 0xFF));
}

// Program, verify and read the EEPROM in turn, as an operator would.
TEST(Operacje, EepromOperations) {
  Stanowisko s({"--device", "AT90S1200"});
  ASSERT_TRUE(s.uruchom(kAT90S1200)) << s.sim.blad();
  const Bajty dane = {0x01, 0x02, 0x03, 0xFE, 0x55};
  zapisz_plik(s.pracownia / "e.eep", hex_z(dane));
  s.p.nazwa_pliku = s.pracownia / "e.eep";
  EXPECT_EQ(s.p.operacja_pamieci(5), Wynik::ok);
  EXPECT_EQ(s.p.status.Label1, "Weryfikacja OK!");
  s.prog.przerwa();
  EXPECT_EQ(s.p.operacja_pamieci(3), Wynik::ok);
  s.prog.przerwa();
  s.p.nazwa_pliku = s.pracownia / "odczyt.eep";
  EXPECT_EQ(s.p.operacja_pamieci(1), Wynik::ok);
  s.prog.przerwa();
  s.zatrzymaj();

  Rozmowa r;
  r({T, 19}, 1)({P}, 1)({A, 0, 0}, 1);
  for (auto b : dane) r({D, b}, 1);
  r({P}, 1)({A, 0, 0}, 1).powtorz(dane.size(), {d}, 1)({L}, 1);
  r({T, 19}, 1)({P}, 1)({P}, 1)({A, 0, 0}, 1).powtorz(dane.size(), {d}, 1)({L}, 1);
  r({T, 19}, 1)({P}, 1)({A, 0, 0}, 1).powtorz(64, {d}, 1)({L}, 1);
  EXPECT_TRUE(ta_sama_rozmowa(s.kroki_po_wyszukaniu(), r));

  Bajty oczekiwana(64, 0xFF);
  std::copy(dane.begin(), dane.end(), oczekiwana.begin());
  EXPECT_EQ(s.eeprom(), oczekiwana);
  EXPECT_EQ(obraz_hex(s.p.nazwa_pliku), oczekiwana);
}

// The last word of an odd-length image gets 0xFF as its high byte, written and compared.
TEST(Operacje, OddImagePairedFillsHighByte) {
  Stanowisko s({"--device", "AT89C2051"});
  ASSERT_TRUE(s.uruchom(kAT89C2051)) << s.sim.blad();
  zapisz_plik(s.pracownia / "a.hex", hex_z({0x12, 0x34, 0x56}));
  s.p.nazwa_pliku = s.pracownia / "a.hex";
  s.p.dialog.kasowanie = false;
  s.prog.widok.postep.clear();
  EXPECT_EQ(s.p.operacja_pamieci(4), Wynik::ok);
  EXPECT_EQ(s.prog.widok.postep, (std::vector<int>{67, 100, 0, 67, 100}));
  s.zatrzymaj();
  Rozmowa r;
  r({T, 0x0C}, 1)({P}, 1);
  r({A, 0, 0}, 1)({c, 0x12}, 1)({C, 0x34}, 1)({A, 0, 1}, 1)({c, 0x56}, 1)({C, 0xFF}, 1);
  r({P}, 1)({A, 0, 0}, 1)({R}, 2)({R}, 2)({L}, 1);
  EXPECT_TRUE(ta_sama_rozmowa(s.kroki_po_wyszukaniu(), r));
  const Bajty f = s.flash();
  ASSERT_GE(f.size(), 4u);
  EXPECT_EQ(Bajty(f.begin(), f.begin() + 4), (Bajty{0x12, 0x34, 0x56, 0xFF}));
}

TEST(Operacje, EmptyImageAndDeviceWithoutEeprom) {
  Stanowisko s({"--device", "AT89C2051"});
  ASSERT_TRUE(s.uruchom(kAT89C2051)) << s.sim.blad();
  zapisz_plik(s.pracownia / "pusty.hex", ":00000001FF\r\n");
  s.p.nazwa_pliku = s.pracownia / "pusty.hex";
  EXPECT_EQ(s.p.operacja_pamieci(4), Wynik::ok);
  s.prog.przerwa();
  // The EEPROM read of a part without EEPROM: 'T', 'P', then straight to 'L'; nothing
  // is read, so no start address either.
  Strumien obraz;
  s.p.czytaj(obraz, false, false);
  EXPECT_EQ(obraz.rozmiar(), 0u);
  s.prog.przerwa();
  s.zatrzymaj();
  EXPECT_TRUE(ta_sama_rozmowa(s.kroki_po_wyszukaniu(),
                              Rozmowa()({T, 0x0C}, 1)({P}, 1)({e}, 1)({L}, 1)({P}, 1)({P}, 1)(
                                  {L}, 1)({T, 0x0C}, 1)({P}, 1)({L}, 1)));
}

struct Roznica {
  const char* nazwa;
  const char* uklad;
  int indeks;
  Bajty obraz;       // against an erased chip
  const char* unit;  // Label2
  std::size_t odczyty;
};

void PrintTo(const Roznica& z, std::ostream* os) {
  *os << z.nazwa;
}

class RoznicaWeryfikacji : public ::testing::TestWithParam<Roznica> {};

TEST_P(RoznicaWeryfikacji, StopsAtFirstDifferentUnit) {
  const Roznica& r = GetParam();
  Stanowisko s({"--device", r.uklad});
  ASSERT_TRUE(s.uruchom(r.indeks)) << s.sim.blad();
  zapisz_plik(s.pracownia / "a.hex", hex_z(r.obraz));
  s.p.nazwa_pliku = s.pracownia / "a.hex";
  const bool eeprom = r.indeks == kAT90S1200;
  EXPECT_EQ(s.p.operacja_pamieci(eeprom ? 3 : 2), Wynik::blad_weryfikacji);
  EXPECT_EQ(s.p.status.Label1, "Błąd weryfikacji");
  EXPECT_EQ(s.p.okno.ProgressBar2, 2);
  EXPECT_EQ(s.p.okno.Label2, r.unit);
  s.zatrzymaj();
  Rozmowa oczekiwana;
  const std::uint8_t kod = eeprom ? 19 : 12;
  oczekiwana({T, kod}, 1)({P}, 1)({P}, 1);
  if (r.indeks != kAT89C51) oczekiwana({A, 0, 0}, 1);
  for (std::size_t i = 0; i < r.odczyty; ++i) {
    if (eeprom) {
      oczekiwana({d}, 1);
    } else if (r.indeks == kAT89C51) {
      oczekiwana({A, 0, static_cast<std::uint8_t>(i)}, 1)({R}, 1);
    } else {
      oczekiwana({R}, 2);
    }
  }
  oczekiwana({L}, 1);  // still closed after a difference
  EXPECT_TRUE(ta_sama_rozmowa(s.kroki_po_wyszukaniu(), oczekiwana));
}

INSTANTIATE_TEST_SUITE_P(
    Operacje, RoznicaWeryfikacji,
    ::testing::Values(
        Roznica{"ByteFirst", "AT89C51", kAT89C51, {0x00, 0x11, 0x22}, "1", 1},
        Roznica{"ByteThird", "AT89C51", kAT89C51, {0xFF, 0xFF, 0x5A, 0xFF}, "3", 3},
        Roznica{"PairedLowByte", "AT89C2051", kAT89C2051, {0x00, 0xFF, 0xFF, 0xFF}, "1", 1},
        Roznica{"PairedHighByte", "AT89C2051", kAT89C2051, {0xFF, 0x00, 0xFF, 0xFF}, "1", 1},
        Roznica{"PairedFourthWord", "AT89C2051", kAT89C2051,
                Bajty{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}, "4", 4},
        Roznica{"EepromSecond", "AT90S1200", kAT90S1200, {0xFF, 0x01, 0xFF}, "2", 2}),
    [](const auto& info) { return std::string(info.param.nazwa); });

// The largest part, a full image: the top address 0x4FFF goes out as 4F FF in the
// program, the verify and the read, and nothing beyond it.
TEST(Operacje, LargestPartUpToItsTopAddress) {
  constexpr int kAT89C55 = 2;
  constexpr std::uint32_t kRozmiar = 0x5000;
  ASSERT_EQ(kUklady[kAT89C55].bajty_flash(), kRozmiar);
  Stanowisko s({"--device", "AT89C55"});
  ASSERT_TRUE(s.uruchom(kAT89C55)) << s.sim.blad();
  const Bajty obraz = wzor(kRozmiar);
  ASSERT_NE(obraz.back(), 0xFF);  // an erased top byte would verify without being written
  zapisz_plik(s.pracownia / "pelny.hex", hex_z(obraz));
  s.p.nazwa_pliku = s.pracownia / "pelny.hex";
  EXPECT_EQ(s.p.operacja_pamieci(4), Wynik::ok);
  EXPECT_EQ(s.p.status.Label1, "Weryfikacja OK!");
  s.prog.przerwa();
  s.p.nazwa_pliku = s.pracownia / "odczyt.hex";
  EXPECT_EQ(s.p.operacja_pamieci(0), Wynik::ok);
  s.prog.przerwa();
  s.zatrzymaj();

  EXPECT_EQ(s.flash(), obraz);
  EXPECT_EQ(obraz_hex(s.p.nazwa_pliku), obraz);
  Rozmowa r;
  r({T, 0x0C}, 1)({P}, 1)({e}, 1)({L}, 1)({P}, 1);
  for (std::uint32_t i = 0; i < kRozmiar; ++i) {
    r({A, static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i)}, 1)({c, obraz[i]}, 1);
  }
  for (int przebieg = 0; przebieg < 2; ++przebieg) {  // the verify, then the read
    if (przebieg == 1) r({T, 0x0C}, 1);
    r({P}, 1);
    for (std::uint32_t i = 0; i < kRozmiar; ++i) {
      r({A, static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i)}, 1)({R}, 1);
    }
    r({L}, 1);
  }
  EXPECT_TRUE(ta_sama_rozmowa(s.kroki_po_wyszukaniu(), r));
  EXPECT_NE(s.po_wyszukaniu().find("41 4F FF>1\n63 09>1\n"), std::string::npos);
}

TEST(Operacje, HexErrorSendsNothing) {
  Stanowisko s({"--device", "AT89C2051"});
  ASSERT_TRUE(s.uruchom(kAT89C2051)) << s.sim.blad();
  zapisz_plik(s.pracownia / "zly.hex", ":0400000012345678E9\r\n:00000001FF\r\n");
  s.p.nazwa_pliku = s.pracownia / "zly.hex";
  EXPECT_EQ(s.p.operacja_pamieci(4), Wynik::blad_hex);
  EXPECT_NE(s.p.status.Label1, "Konwersja OK");
  EXPECT_FALSE(s.p.status.Label1.empty());
  s.p.nazwa_pliku = s.pracownia / "brak.hex";
  EXPECT_EQ(s.p.operacja_pamieci(2), Wynik::blad_pliku);
  EXPECT_EQ(s.p.status.Label1, "Nie można otworzyć pliku " + s.p.nazwa_pliku);
  s.zatrzymaj();
  EXPECT_TRUE(s.kroki_po_wyszukaniu().empty());
}

TEST(Operacje, ReadIntoUnwritableFileReportsIt) {
  Stanowisko s({"--device", "AT89C1051"});
  ASSERT_TRUE(s.uruchom(kAT89C1051)) << s.sim.blad();
  s.p.nazwa_pliku = s.pracownia / "nie/ma/katalogu.hex";
  EXPECT_EQ(s.p.operacja_pamieci(0), Wynik::blad_pliku);
  EXPECT_EQ(s.p.status.Label1, "Nie można zapisać pliku " + s.p.nazwa_pliku);
}

}  // namespace
}  // namespace ostrel::test
