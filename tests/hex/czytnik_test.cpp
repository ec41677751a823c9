// The Intel HEX reader: result texts, stop rules, checksum reports and data placement.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>

#include "hex/narzedzia.h"

namespace ostrel::test {
namespace {

const std::string kDwukropek = "Nieprawidłowy format Intel HEX - :";
const std::string kLiczba = "Nieprawidłowy format Intel HEX - znak w polu 2-3";
const std::string kAdres = "Nieprawidłowy format Intel HEX 2 - adres";
const std::string kTyp1 = "Nieprawidłowy format Intel HEX1 ";
const std::string kTyp2 = "Nieprawidłowy format Intel HEX 4";
const std::string kDane = "Nieprawidłowy format Intel HEX - pole danych";
const std::string kSuma = "Nieprawidłowy format Intel HEX - pole CRC";
const std::string kCR = "Nieprawidłowy format Intel HEX - CR ";
const std::string kLF = "Nieprawidłowy format Intel HEX - LF ";

Bajty ff(std::size_t n) {
  return Bajty(n, 0xFF);
}

Bajty polacz(Bajty a, const Bajty& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The same text with every CR LF turned into LF, as the text files of this platform are.
std::string bez_cr(const std::string& s) {
  std::string w;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') continue;
    w += s[i];
  }
  return w;
}

// --- Failure texts and the record at which conversion stops -------------------------------

struct Przypadek {
  const char* nazwa;    // what is wrong
  std::string zepsuty;  // the faulty second record (the first and third are sound)
  std::string tekst;    // the result text that must stand
};

// Record 1 puts 0x11 at 0, record 3 puts 0x33 at 2. A failure in record 2 must leave record 3
// unread, so its byte never reaches the image and the reader stops right after record 2.
TEST(CzytnikBledy, KazdyBladFormatuNazywaPoleIZatrzymujeNaSwoimRekordzie) {
  const std::vector<Przypadek> przypadki = {
      {"brak dwukropka", "X", kDwukropek},
      // The bad characters below are chosen so the field keeps its value: the checksum
      // still matches and the field's own text is the last one set.
      {"liczba bajtow", ":G1000100AA54\r\n", kLiczba},
      {"adres", ":01G00100AA54\r\n", kAdres},
      {"typ, pierwszy znak", ":000000X00\r\n", kTyp1},
      {"typ, drugi znak", ":0000000300\r\n", kTyp2},
      {"typ 05", ":0000000500\r\n", kTyp2},
      {"dane", ":010001000GFE\r\n", kDane},
      {"dane rekordu 02", ":020000020G00FC\r\n", kDane},
      {"suma", ":01000100F2GC\r\n", kSuma},
      {"CR", ":01000100AA54X\n", kCR},
      {"LF", ":01000100AA54\rX", kLF},
  };
  // The sound records end in CR LF or in LF alone: the texts and stops are the same.
  for (const bool tylko_lf : {false, true}) {
    for (const auto& p : przypadki) {
      SCOPED_TRACE(std::string(p.nazwa) + (tylko_lf ? ", LF" : ", CR LF"));
      const auto koniec = [&](const std::string& r) { return tylko_lf ? bez_cr(r) : r; };
      const std::string pierwszy = koniec(rekord(0, 0, {0x11}));
      const std::string tekst = pierwszy + p.zepsuty + koniec(rekord(0, 2, {0x33}) + kKoniec);
      const auto k = konwertuj(tekst);
      EXPECT_EQ(k.wynik, p.tekst);
      EXPECT_EQ(k.przeczytano, pierwszy.size() + p.zepsuty.size());
      ASSERT_FALSE(k.obraz.empty());
      EXPECT_EQ(k.obraz[0], 0x11);
      EXPECT_LT(k.obraz.size(), 3u) << "record 3 must not be converted";
    }
  }
}

TEST(CzytnikBledy, OstatniNieudanyTestRekorduNadajeTekst) {
  // A bad address digit changes the address, so the checksum test fails after it and the
  // checksum report replaces the address text.
  auto k = konwertuj(":0101G100AA53\r\n" + kKoniec);
  EXPECT_EQ(k.wynik, "CRC error linia 1 68 83");
  EXPECT_EQ(k.przeczytano, 15u) << "a format failure stops at its record";

  // A bad first type character makes the next two characters the checksum field and the
  // rest of the record then fails the line-end tests.
  k = konwertuj(":0400101001020304E2\r\n" + kKoniec);
  EXPECT_EQ(k.wynik, kLF);
  EXPECT_EQ(k.przeczytano, 12u);
}

TEST(CzytnikBledy, PustyTekstIBrakKoncaLinii) {
  auto k = konwertuj("");
  EXPECT_EQ(k.wynik, kDwukropek);
  EXPECT_TRUE(k.obraz.empty());

  // The last line lacks CR LF: the reads past the end see its last character again.
  k = konwertuj(rekord(0, 0, {1, 2}) + ":00000001FF");
  EXPECT_EQ(k.wynik, kLF);
  EXPECT_EQ(k.obraz, (Bajty{1, 2}));

  // A text that ends inside a data field.
  k = konwertuj(":04000000AB");
  EXPECT_NE(k.wynik, kKonwersjaOK);
}

// A line ended by LF alone reads as one ended by CR LF; a CR without its LF still fails.
TEST(CzytnikLF, LiniaZakonczonaSamymLFJakCRLF) {
  const std::string lf = ":0100000011EE\n:0100010022DC\n:00000001FF\n";
  auto k = konwertuj(lf);
  EXPECT_EQ(k.wynik, kKonwersjaOK);
  EXPECT_EQ(k.obraz, (Bajty{0x11, 0x22}));
  EXPECT_EQ(k.przeczytano, lf.size());

  // Lines of both kinds in one file, lower-case digits in the LF lines.
  const std::string mieszany = rekord(0, 0, {1, 2}) + bez_cr(rekord(0, 2, {0xAB}, true)) +
                               rekord(0, 3, {4}) + bez_cr(kKoniec);
  k = konwertuj(mieszany);
  EXPECT_EQ(k.wynik, kKonwersjaOK);
  EXPECT_EQ(k.obraz, (Bajty{1, 2, 0xAB, 4}));

  EXPECT_EQ(konwertuj(":0100000011EE\r:00000001FF\r\n").wynik, kLF) << "CR alone";
  EXPECT_EQ(konwertuj(":0100000011EE\n\r:00000001FF\r\n").wynik, kDwukropek);
  EXPECT_EQ(konwertuj(":0100000011EE\n\n:00000001FF\n").wynik, kDwukropek) << "blank line";
  EXPECT_EQ(konwertuj(":00000001FF\n\n").wynik, kDwukropek) << "blank line at the end";
  // At the end of the text the last character only repeats: an LF eaten as a checksum
  // digit is no line end.
  EXPECT_EQ(konwertuj(":00000001F\n").wynik, kCR);
}

TEST(CzytnikBledy, RekordTypu04JakoPierwszy) {
  const auto k = konwertuj(rekord(4, 0, {0x00, 0x01}) + rekord(0, 0, {1}) + kKoniec);
  EXPECT_EQ(k.wynik, kLF);
  EXPECT_EQ(k.przeczytano, 13u);
  EXPECT_TRUE(k.obraz.empty());
}

// --- The cause given with a refusal --------------------------------------------------------

PrzyczynaHex przyczyna(const std::string& tekst) {
  Strumien wejscie(Bajty(tekst.begin(), tekst.end()));
  Strumien obraz;
  std::string wynik;
  PrzyczynaHex p;
  p.linia = 999;
  konwertuj_hex(wejscie, obraz, wynik, 255, &p);
  return p;
}

TEST(CzytnikPrzyczyna, NazywaPierwszyBladRekorduINumerLinii) {
  struct Przypadek {
    const char* nazwa;
    std::string tekst;
    BladHex rodzaj;
    unsigned long linia;
    int typ;
  };
  const std::string r1 = rekord(0, 0, {1});
  std::string zla_suma = rekord(0, 1, {2});
  zla_suma[11] = '0';
  const std::vector<Przypadek> przypadki = {
      {"dobry", r1 + kKoniec, BladHex::brak, 0, -1},
      {"pusty", "", BladHex::pusty, 1, -1},
      // The type is the cause, though the text that stands is the line end's.
      {"typ 04", rekord(4, 0, {0, 0x81}) + r1 + kKoniec, BladHex::typ, 1, 4},
      {"typ 03", r1 + rekord(3, 0, {0, 0, 1, 0}) + kKoniec, BladHex::typ, 2, 3},
      {"typ 05", r1 + rekord(5, 0, {0, 0, 1, 0}) + kKoniec, BladHex::typ, 2, 5},
      {"typ 06", r1 + rekord(6, 0, {}) + kKoniec, BladHex::typ, 2, 6},
      {"typ X0", ":000000X000\r\n", BladHex::typ, 1, -1},
      {"suma", r1 + zla_suma + rekord(0, 2, {3}) + kKoniec, BladHex::suma, 2, -1},
      {"suma konca", r1 + ":00010001FE\r\n", BladHex::suma_konca, 2, -1},
      {"za koncem", r1 + kKoniec + "\r\n", BladHex::po_koncu, 3, -1},
      {"Ctrl-Z", r1 + kKoniec + "\x1A", BladHex::po_koncu, 3, -1},
      {"pusta linia", r1 + "\r\n" + kKoniec, BladHex::dwukropek, 2, -1},
      {"znak", r1 + ":01000100G254\r\n", BladHex::znak, 2, -1},
      {"za krotki", ":0200000011EE\r\n", BladHex::znak, 1, -1},
      {"za dlugi", ":0100000011EEFF\r\n", BladHex::cr, 1, -1},
      {"bez konca linii", r1 + ":00000001FF", BladHex::brak_konca_linii, 2, -1},
      {"CR bez LF", r1 + ":00000001FF\r", BladHex::lf, 2, -1},
  };
  for (const auto& p : przypadki) {
    SCOPED_TRACE(p.nazwa);
    const PrzyczynaHex w = przyczyna(p.tekst);
    EXPECT_EQ(w.rodzaj, p.rodzaj);
    EXPECT_EQ(w.linia, p.linia);
    EXPECT_EQ(w.typ, p.typ);
  }
}

// --- Checksum reports ---------------------------------------------------------------------

TEST(CzytnikSuma, BladSumyJestZglaszanyAKonwersjaIdzieDalej) {
  Bajty dane(20);
  for (int i = 0; i < 20; ++i) dane[i] = static_cast<std::uint8_t>(i);
  const std::string r1 = rekord(0, 0x00, Bajty(dane.begin(), dane.begin() + 8));
  const std::string r2 = rekord(0, 0x08, Bajty(dane.begin() + 8, dane.begin() + 16));
  std::string r3 = rekord(0, 0x10, Bajty(dane.begin() + 16, dane.end()));
  ASSERT_EQ(r3, ":0400100010111213A6\r\n");
  r3[18] = '7';  // A6 -> A7
  const std::string tekst = r1 + r2 + r3 + kKoniec;
  const auto k = konwertuj(tekst);
  EXPECT_EQ(k.wynik, "CRC error linia 3 166 167");
  EXPECT_EQ(k.obraz, dane) << "the image is complete";
  EXPECT_EQ(k.przeczytano, tekst.size());
}

TEST(CzytnikSuma, OstatniBlednyRekordJestNazwanyAleBladFormatuWygrywa) {
  std::string zly1 = rekord(0, 0, {1});
  zly1[11] = '0';  // expects FE
  std::string zly3 = rekord(0, 2, {3});
  zly3[11] = '0';
  const std::string dobry = rekord(0, 1, {2});
  auto k = konwertuj(zly1 + dobry + zly3 + kKoniec);
  EXPECT_EQ(k.wynik, "CRC error linia 3 250 10");
  EXPECT_EQ(k.obraz, (Bajty{1, 2, 3}));

  k = konwertuj(zly1 + dobry + "\r\n");
  EXPECT_EQ(k.wynik, kDwukropek);
}

TEST(CzytnikSuma, SumaZeroIKoniecPlikuTylkoZFF) {
  // Sum with low byte 0 expects 00, not 256.
  EXPECT_EQ(konwertuj(":0100000000FF\r\n:02000000FF01FE\r\n" + kKoniec).wynik, kKonwersjaOK);
  EXPECT_EQ(konwertuj(":02000000FFFF00\r\n" + kKoniec).wynik, kKonwersjaOK);
  // The end-of-file record's count and address do not enter its sum.
  EXPECT_EQ(konwertuj(":00ABCD01FF\r\n").wynik, kKonwersjaOK);
  EXPECT_EQ(konwertuj(":10000001FF\r\n").wynik, kKonwersjaOK) << "no data is read";
  EXPECT_EQ(konwertuj(":0000000100\r\n").wynik, "CRC error linia 1 255 0");
  EXPECT_EQ(konwertuj(":00000001fe\r\n").wynik, "CRC error linia 1 255 254");
}

// --- Gap filling, end of file, type 02, lower case -----------------------------------------

TEST(CzytnikObraz, LukiSaWypelnianeFF) {
  auto k = konwertuj(":0400100001020304E2\r\n" + kKoniec);
  EXPECT_EQ(k.wynik, kKonwersjaOK);
  EXPECT_EQ(k.obraz, polacz(ff(16), {1, 2, 3, 4}));

  k = konwertuj(rekord(0, 0, {9}) + rekord(0, 5, {8}) + kKoniec);
  EXPECT_EQ(k.obraz, (Bajty{9, 0xFF, 0xFF, 0xFF, 0xFF, 8}));

  // A data record with no bytes only pads up to its address.
  k = konwertuj(rekord(0, 3, {}) + kKoniec);
  EXPECT_EQ(k.wynik, kKonwersjaOK);
  EXPECT_EQ(k.obraz, ff(3));
}

TEST(CzytnikObraz, KoniecPlikuNieKonczyKonwersji) {
  auto k = konwertuj(rekord(0, 0, {1}) + kKoniec + rekord(0, 1, {2}) + kKoniec);
  EXPECT_EQ(k.wynik, kKonwersjaOK);
  EXPECT_EQ(k.obraz, (Bajty{1, 2}));

  EXPECT_EQ(konwertuj(rekord(0, 0, {1}) + kKoniec + "\r\n").wynik, kDwukropek);
  EXPECT_EQ(konwertuj(rekord(0, 0, {1}) + kKoniec + "\x1A").wynik, kDwukropek);

  // The padding runs before the type is known: an end-of-file record with a high
  // address field pads too.
  k = konwertuj(rekord(0, 0, {1}) + ":00000401FF\r\n");
  EXPECT_EQ(k.wynik, kKonwersjaOK);
  EXPECT_EQ(k.obraz, polacz({1}, ff(3)));
}

TEST(CzytnikObraz, RekordTypu02) {
  // Segment 0 before the first data changes nothing.
  auto k = konwertuj(rekord(2, 0, {0, 0}) + rekord(0, 0, {5, 6}) + kKoniec);
  EXPECT_EQ(k.wynik, kKonwersjaOK);
  EXPECT_EQ(k.obraz, (Bajty{5, 6}));

  // Segment 0x0001 moves the data 16 bytes up; the type adds 2 to the sum.
  ASSERT_EQ(rekord(2, 0, {0, 1}), ":020000020001FB\r\n");
  k = konwertuj(":020000020001FB\r\n" + rekord(0, 2, {7}) + kKoniec);
  EXPECT_EQ(k.wynik, kKonwersjaOK);
  EXPECT_EQ(k.obraz, polacz(ff(18), {7}));

  // The latest segment record counts; the image ends at the highest byte written.
  k = konwertuj(rekord(2, 0, {0, 2}) + rekord(0, 0, {1}) + rekord(2, 0, {0, 0}) +
                rekord(0, 0, {2}) + kKoniec);
  EXPECT_EQ(k.wynik, kKonwersjaOK);
  EXPECT_EQ(k.obraz, polacz(polacz({2}, ff(31)), {1}));

  // A segment record or an end-of-file record pads only up to its own address field,
  // not up to the segment's base: no data follow, so the image stays one byte long.
  k = konwertuj(rekord(0, 0, {0x11}) + ":020000021000EC\r\n" + kKoniec);
  EXPECT_EQ(k.wynik, kKonwersjaOK);
  EXPECT_EQ(k.obraz, (Bajty{0x11}));
  k = konwertuj(rekord(0, 0, {0x11}) + ":020000021000EC\r\n:00000401FF\r\n");
  EXPECT_EQ(k.obraz, polacz({0x11}, ff(3)));

  // A segment record without the extra 2 in its checksum is a checksum mismatch.
  EXPECT_EQ(konwertuj(":020000020001FD\r\n").wynik, "CRC error linia 1 251 253");
}

TEST(CzytnikObraz, SegmentBezDanychJakWSrecCat) {
  if (!jest_srec_cat()) GTEST_SKIP() << "srec_cat (package srecord) is not installed";
  KatalogTymczasowy kat;
  ASSERT_FALSE(kat.sciezka().empty());
  const std::string tekst = rekord(0, 0, {0x11}) + ":020000021000EC\r\n" + kKoniec;
  zapisz_plik(kat / "s.hex", tekst);
  ASSERT_EQ(uruchom("srec_cat " + cytuj(kat / "s.hex") + " -Intel -o " + cytuj(kat / "s.bin") +
                    " -Binary 2>" + cytuj(kat / "err")),
            0)
      << czytaj_plik(kat / "err");
  const auto k = konwertuj(tekst);
  EXPECT_EQ(k.wynik, kKonwersjaOK);
  EXPECT_EQ(k.obraz, czytaj_bajty(kat / "s.bin"));
}

TEST(CzytnikObraz, MaleLiteryDajaTenSamWynik) {
  std::mt19937 gen(7);
  std::string duze, male;
  for (unsigned a = 0; a < 0x200; a += 0x30) {
    const Bajty d = losowe(16, gen);
    duze += rekord(0, a, d);
    male += rekord(0, a, d, true);
  }
  duze += rekord(2, 0, {0x00, 0xAB}) + rekord(0, 0, {0xCD}) + kKoniec;
  male += rekord(2, 0, {0x00, 0xAB}, true) + rekord(0, 0, {0xCD}, true) + kKoniec;
  ASSERT_NE(duze, male);
  const auto kd = konwertuj(duze);
  const auto km = konwertuj(male);
  EXPECT_EQ(kd.wynik, kKonwersjaOK);
  EXPECT_EQ(km.wynik, kd.wynik);
  EXPECT_EQ(km.obraz, kd.obraz);
  // The record type letter is upper-cased too; an unknown lower-case type still fails.
  EXPECT_EQ(konwertuj(":0000000a00\r\n").wynik, kTyp2);
}

// --- Placement of out-of-order, overlapping and joined files -------------------------------

TEST(CzytnikUlozenie, RekordyNieposortowaneTrafiajaPodSwojeAdresy) {
  const auto k = konwertuj(rekord(0, 0x5F, {0xB2, 0x90}) + rekord(0, 0x03, {0x75, 0x81, 0x07}) +
                           rekord(0, 0x00, {0x02, 0x00, 0x03}) + kKoniec);
  EXPECT_EQ(k.wynik, kKonwersjaOK);
  Bajty oczekiwany = ff(0x61);
  oczekiwany[0] = 0x02, oczekiwany[1] = 0x00, oczekiwany[2] = 0x03;
  oczekiwany[3] = 0x75, oczekiwany[4] = 0x81, oczekiwany[5] = 0x07;
  oczekiwany[0x5F] = 0xB2, oczekiwany[0x60] = 0x90;
  EXPECT_EQ(k.obraz, oczekiwany);
}

TEST(CzytnikUlozenie, NakladajaceSieRekordyPozniejszyWygrywa) {
  const auto k = konwertuj(rekord(0, 0, {1, 1, 1, 1, 1, 1}) + rekord(0, 2, {2, 2}) +
                           rekord(0, 5, {3, 3, 3}) + kKoniec);
  EXPECT_EQ(k.wynik, kKonwersjaOK);
  EXPECT_EQ(k.obraz, (Bajty{1, 1, 2, 2, 1, 3, 3, 3}));
}

TEST(CzytnikUlozenie, DwaPolaczonePlikiKazdyNaSwoimMiejscu) {
  // A program file and a second file joined after its end-of-file record.
  const std::string a = rekord(0, 0x00, {0xA0, 0xA1, 0xA2, 0xA3}) + kKoniec;
  const std::string b = rekord(0, 0x08, {0xB8}) + rekord(0, 0x02, {0xB2}) + kKoniec;
  const auto k = konwertuj(a + b);
  EXPECT_EQ(k.wynik, kKonwersjaOK);
  EXPECT_EQ(k.obraz, (Bajty{0xA0, 0xA1, 0xB2, 0xA3, 0xFF, 0xFF, 0xFF, 0xFF, 0xB8}));
}

TEST(CzytnikUlozenie, RosnacePlikiBezNakladaniaDajaDokladnieKolejneBajty) {
  // Any ascending, non-overlapping file: bytes at their addresses, 0xFF between, nothing
  // after the last data byte.
  std::mt19937 gen(2024);
  for (int proba = 0; proba < 200; ++proba) {
    std::string tekst;
    Bajty oczekiwany;
    unsigned adres = gen() % 64;
    const int rekordy = static_cast<int>(gen() % 12);
    for (int r = 0; r < rekordy && adres < 0xFF00; ++r) {
      const Bajty d = losowe(gen() % 40, gen);
      tekst += rekord(0, adres, d);
      oczekiwany.resize(adres, 0xFF);
      oczekiwany.insert(oczekiwany.end(), d.begin(), d.end());
      adres += static_cast<unsigned>(d.size()) + gen() % 3 * (gen() % 50);
    }
    const auto k = konwertuj(tekst + kKoniec);
    ASSERT_EQ(k.wynik, kKonwersjaOK) << tekst;
    ASSERT_EQ(k.obraz, oczekiwany) << tekst;
  }
}

// --- Result text limit --------------------------------------------------------------------

TEST(CzytnikLimit, TekstJestCietyNaGranicyZnaku) {
  // "Nieprawidłowy": the 10th character is the two-byte 'ł'.
  EXPECT_EQ(konwertuj("", 9).wynik, "Nieprawid");
  EXPECT_EQ(konwertuj("", 10).wynik, "Nieprawidł");
  EXPECT_EQ(konwertuj("", 11).wynik, "Nieprawidło");
  EXPECT_EQ(konwertuj("", 0).wynik, "");
  EXPECT_EQ(konwertuj(kKoniec, 8).wynik, "Konwersj");
  const auto pelny = konwertuj("");
  EXPECT_EQ(pelny.wynik.size(), kDwukropek.size());
}

// --- Files from real toolchains -----------------------------------------------------------

Konwersja z_pliku(const std::string& nazwa) {
  return konwertuj(czytaj_plik(std::string(OSTREL_SOURCE_DIR) + "/" + nazwa));
}

TEST(CzytnikPliki, PlikSdccZRekordamiPozaKolejnoscia) {
  const auto k = z_pliku("tests/data/hex/sdcc_blink.ihx");
  ASSERT_EQ(k.wynik, kKonwersjaOK);
  ASSERT_EQ(k.obraz.size(), 0x70u);
  EXPECT_EQ(Bajty(k.obraz.begin(), k.obraz.begin() + 9),
            (Bajty{0x02, 0x00, 0x03, 0x75, 0x81, 0x07, 0x02, 0x00, 0x5F}));
  EXPECT_EQ(std::count(k.obraz.begin() + 9, k.obraz.begin() + 0x5F, 0xFF), 0x5F - 9);
  EXPECT_EQ(k.obraz[0x5F], 0xB2) << "main is where the LJMP at 0006 goes";
  EXPECT_EQ(k.obraz[0x6F], 0x22);
}

TEST(CzytnikPliki, PlikiZSamymLFDajaTeSameObrazy) {
  const std::string sdcc =
      czytaj_plik(std::string(OSTREL_SOURCE_DIR) + "/tests/data/hex/sdcc_blink.ihx");
  const auto crlf = konwertuj(sdcc);
  ASSERT_EQ(crlf.wynik, kKonwersjaOK);
  // SDCC writes its records out of address order and ends lines with LF.
  const auto lf = konwertuj(bez_cr(sdcc));
  EXPECT_EQ(lf.wynik, kKonwersjaOK);
  EXPECT_EQ(lf.obraz, crlf.obraz);

  std::string male;
  for (char c : bez_cr(sdcc))
    male += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  ASSERT_NE(male, bez_cr(sdcc));
  const auto km = konwertuj(male);
  EXPECT_EQ(km.wynik, kKonwersjaOK);
  EXPECT_EQ(km.obraz, crlf.obraz);
}

TEST(CzytnikPliki, PlikObjcopy) {
  auto k = z_pliku("tests/data/hex/objcopy_8051.hex");
  ASSERT_EQ(k.wynik, kKonwersjaOK);
  ASSERT_EQ(k.obraz.size(), 0x114u);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(k.obraz[i], (i * 37 + 11) & 0xFF);
  EXPECT_EQ(std::count(k.obraz.begin() + 40, k.obraz.begin() + 0x100, 0xFF), 0x100 - 40);
  EXPECT_EQ(std::string(k.obraz.begin() + 0x100, k.obraz.end() - 1), "Ostrel test rodata!");

  k = z_pliku("tests/data/hex/objcopy_segment.hex");
  ASSERT_EQ(k.wynik, kKonwersjaOK);
  ASSERT_EQ(k.obraz.size(), 0x10018u);
  EXPECT_EQ(std::count(k.obraz.begin(), k.obraz.begin() + 0xFFF0, 0xFF), 0xFFF0);
  EXPECT_EQ(std::count(k.obraz.begin() + 0xFFF0, k.obraz.begin() + 0x10000, 0xA5), 16);
  for (int i = 0; i < 24; ++i) EXPECT_EQ(k.obraz[0x10000 + i], 255 - i);
}

TEST(CzytnikPliki, PrzykladDlaAT89C2051) {
  const auto k = z_pliku("samples/miganie.hex");
  ASSERT_EQ(k.wynik, kKonwersjaOK);
  EXPECT_EQ(k.obraz[0], 0x02) << "reset vector jumps to the program";
  EXPECT_GT(k.obraz.size(), 200u);
  EXPECT_LE(k.obraz.size(), 2048u) << "fits the AT89C2051's flash";
}

}  // namespace
}  // namespace ostrel::test
