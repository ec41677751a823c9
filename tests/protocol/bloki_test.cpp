// The AVR910 type against the avr910 firmware: block writes, verifies and reads of
// flash and EEPROM at the slowest and the fastest speed, the 't' refusal, no 'F'.
#include <gtest/gtest.h>

#include "devices/uklady.h"
#include "protocol/stanowisko.h"

namespace ostrel::test {
namespace {

constexpr int kAT90S2313 = 9, kAT89C2051 = 4;

Bajty wzor(std::size_t n, std::uint8_t start) {
  Bajty b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(start + i * 29);
  return b;
}

Bajty nalozone(Bajty pamiec, const Bajty& obraz) {
  std::copy(obraz.begin(), obraz.end(), pamiec.begin());
  return pamiec;
}

// Every 'B' carries exactly the size its header names and gets one answer; every 'g' is
// answered by that many bytes; each came only after the previous command's answer (a
// command sent early would show here as a step of two commands).
::testing::AssertionResult bloki_po_kolei(const std::vector<Krok>& kroki, std::size_t& bloki) {
  bloki = 0;
  for (std::size_t i = 0; i < kroki.size(); ++i) {
    const Krok& k = kroki[i];
    if (k.host.empty() || (k.host[0] != 'B' && k.host[0] != 'g')) continue;
    if (k.host.size() < 4) return ::testing::AssertionFailure() << "short header, step " << i;
    const std::size_t n = static_cast<std::size_t>(k.host[1]) << 8 | k.host[2];
    const std::size_t host = k.host[0] == 'B' ? 4 + n : 4;
    const std::size_t odp = k.host[0] == 'B' ? 1 : n;
    if (n > 64 || k.host.size() != host || k.odpowiedz != odp) {
      return ::testing::AssertionFailure()
             << "step " << i << ": " << opisz({k}) << "expected " << host << " bytes, >" << odp;
    }
    ++bloki;
  }
  return ::testing::AssertionSuccess();
}

class Bloki : public ::testing::TestWithParam<int> {};

TEST_P(Bloki, FlashAndEepromMixedInOneSession) {
  const std::string baud = std::to_string(GetParam());
  Stanowisko s({"--device", "AT90S2313", "--firmware", "avr910", "--baud", baud,
                "--power-up-address", "0x0123", "--busy-scale", "0.05"});
  Programator& p = s.p;
  p.ustaw_typ(TypProgramatora::avr910);
  ASSERT_TRUE(predkosc_z_liczby(static_cast<std::uint32_t>(GetParam()), p.predkosc));
  ASSERT_TRUE(s.uruchom(kAT90S2313)) << s.sim.blad();
  // Odd and not a multiple of the 64-byte block: the last word is half image, half 0xFF.
  const Bajty f = wzor(333, 0x11), e = wzor(77, 0x80);
  zapisz_plik(s.pracownia / "f.hex", hex_z(f));
  zapisz_plik(s.pracownia / "e.eep", hex_z(e));
  Bajty inny = f;
  inny[201] ^= 0x40;  // word 100: unit 101
  zapisz_plik(s.pracownia / "inny.hex", hex_z(inny));
  auto operacja = [&](int kod, const std::string& plik) {
    p.nazwa_pliku = s.pracownia / plik;
    const Wynik w = p.operacja_pamieci(kod);
    s.prog.przerwa(60);
    return w;
  };

  EXPECT_EQ(operacja(4, "f.hex"), Wynik::ok);  // its chip erase clears the EEPROM too
  EXPECT_EQ(operacja(5, "e.eep"), Wynik::ok);
  EXPECT_EQ(operacja(1, "r.eep"), Wynik::ok);
  EXPECT_EQ(operacja(3, "e.eep"), Wynik::ok);
  EXPECT_EQ(operacja(0, "r.hex"), Wynik::ok);
  EXPECT_EQ(operacja(2, "inny.hex"), Wynik::blad_weryfikacji);
  EXPECT_EQ(p.okno.Label2, "101");
  EXPECT_EQ(operacja(2, "f.hex"), Wynik::ok);
  s.zatrzymaj();

  const Bajty flash = nalozone(Bajty(2048, 0xFF), f), eeprom = nalozone(Bajty(128, 0xFF), e);
  EXPECT_TRUE(s.flash() == flash) << "the chip's flash";
  EXPECT_TRUE(s.eeprom() == eeprom) << "the chip's EEPROM";
  EXPECT_TRUE(obraz_hex(s.pracownia / "r.hex") == flash) << "flash read";
  EXPECT_TRUE(obraz_hex(s.pracownia / "r.eep") == eeprom) << "EEPROM read";

  const auto kroki = s.kroki_po_wyszukaniu();
  std::size_t bloki = 0;
  EXPECT_TRUE(bloki_po_kolei(kroki, bloki));
  // Writes 6 + 2 blocks, their verifies 6 + 2, reads 2 + 32, verify-eeprom 2, the
  // verify that stops at the block of the difference 4, the last verify 6.
  EXPECT_EQ(bloki, 62u);
  std::size_t t = 0, b = 0;
  for (const Krok& k : kroki) {
    ASSERT_FALSE(k.host.empty());
    EXPECT_EQ(std::string("cCRdDF").find(static_cast<char>(k.host[0])), std::string::npos)
        << "a byte command or 'F' where blocks serve: " << opisz({k});
    t += k.host[0] == 't';
    b += k.host[0] == 'b';
  }
  EXPECT_EQ(t, 1u) << "'t' once";
  EXPECT_EQ(b, 1u) << "'b' once";
}

INSTANTIATE_TEST_SUITE_P(Avr910, Bloki, ::testing::Values(19200, 115200));

// An EEPROM file of two runs goes in blocks, each block from its own 'A', and is read
// back the same way; the bytes outside the runs keep the chip's content.
TEST(Avr910, EepromRunsInBlocksLeaveTheRestAlone) {
  constexpr int kAT90S8515 = 11;
  KatalogTymczasowy k;
  const Bajty chip = wzor(512, 0x03);
  zapisz_plik(k / "chip.eep", hex_z(chip));
  Stanowisko s({"--device", "AT90S8515", "--firmware", "avr910", "--busy-scale", "0",
                "--block-size", "16", "--eeprom", k / "chip.eep"});
  Programator& p = s.p;
  p.ustaw_typ(TypProgramatora::avr910);
  ASSERT_TRUE(s.uruchom(kAT90S8515)) << s.sim.blad();
  const Bajty pierwszy = wzor(38, 0x40), drugi = {0xB1, 0xB2, 0xB3};
  zapisz_plik(s.pracownia / "czesc.eep",
              rekord(0x100, Bajty(pierwszy.begin(), pierwszy.begin() + 20)) +
                  rekord(0x114, Bajty(pierwszy.begin() + 20, pierwszy.end())) +
                  rekord(0x1F0, drugi) + ":00000001FF\r\n");
  p.nazwa_pliku = s.pracownia / "czesc.eep";
  EXPECT_EQ(p.operacja_pamieci(5), Wynik::ok);
  EXPECT_EQ(p.status.Label1, "Weryfikacja OK!");
  s.prog.przerwa(60);
  // A difference inside the first run's third block is named by its address.
  Bajty inny = pierwszy;
  inny[0x21] ^= 0x01;
  zapisz_plik(s.pracownia / "inny.eep",
              rekord(0x100, inny) + rekord(0x1F0, drugi) + ":00000001FF\r\n");
  p.nazwa_pliku = s.pracownia / "inny.eep";
  EXPECT_EQ(p.operacja_pamieci(3), Wynik::blad_weryfikacji);
  EXPECT_EQ(p.okno.Label2, std::to_string(0x121 + 1));
  s.zatrzymaj();

  Bajty oczekiwane = chip;
  std::copy(pierwszy.begin(), pierwszy.end(), oczekiwane.begin() + 0x100);
  std::copy(drugi.begin(), drugi.end(), oczekiwane.begin() + 0x1F0);
  EXPECT_TRUE(s.eeprom() == oczekiwane) << "the chip's EEPROM";

  const auto kroki = s.kroki_po_wyszukaniu();
  std::size_t bloki = 0;
  EXPECT_TRUE(bloki_po_kolei(kroki, bloki));
  // Writes 16 + 16 + 6 and 3, their verify, the verify that stops at its third block.
  EXPECT_EQ(bloki, 4u + 4u + 3u);
  std::vector<std::uint32_t> adresy;  // where each block went, from the 'A' before it
  for (std::size_t i = 0; i < kroki.size(); ++i) {
    const Krok& z = kroki[i];
    EXPECT_EQ(std::string("dD").find(static_cast<char>(z.host[0])), std::string::npos)
        << "a byte command where blocks serve: " << opisz({z});
    if (z.host[0] != 'B' && z.host[0] != 'g') continue;
    EXPECT_EQ(z.host[3], 'E');
    ASSERT_GT(i, 0u);
    const Bajty& a = kroki[i - 1].host;
    ASSERT_EQ(a.size(), 3u);
    ASSERT_EQ(a[0], 'A');
    adresy.push_back(static_cast<std::uint32_t>(a[1] << 8 | a[2]));
  }
  const std::vector<std::uint32_t> przebieg = {0x100, 0x110, 0x120, 0x1F0};
  std::vector<std::uint32_t> oczekiwane_adresy = przebieg;
  oczekiwane_adresy.insert(oczekiwane_adresy.end(), przebieg.begin(), przebieg.end());
  oczekiwane_adresy.insert(oczekiwane_adresy.end(), przebieg.begin(), przebieg.begin() + 3);
  EXPECT_EQ(adresy, oczekiwane_adresy);
}

// A part the programmer does not list is refused before anything but 't' goes out; the
// dialog's read of a listed part sends no 'F' and says the bits were not read.
TEST(Avr910, RefusesUnlistedPartAndNeverSendsF) {
  Stanowisko s({"--device", "AT90S2313", "--firmware", "avr910", "--busy-scale", "0"});
  Programator& p = s.p;
  p.ustaw_typ(TypProgramatora::avr910);
  ASSERT_TRUE(s.uruchom(kAT89C2051)) << s.sim.blad();
  zapisz_plik(s.pracownia / "f.hex", hex_z(wzor(16, 1)));
  p.nazwa_pliku = s.pracownia / "f.hex";
  EXPECT_EQ(p.operacja_pamieci(4), Wynik::nieobslugiwany);
  EXPECT_EQ(p.status.Label1, "Programator nie obsługuje układu AT89C2051");
  EXPECT_EQ(p.Button3Click(), Wynik::nieobslugiwany);
  // The dialog opens all the same: the type is changed there.
  EXPECT_EQ(p.zaawansowane(), Wynik::nieobslugiwany);
  EXPECT_EQ(s.prog.widok.pokazany_dialog, 1);
  s.prog.przerwa(60);
  const std::size_t po_odmowie = s.kroki_po_wyszukaniu().size();

  p.ComboBox1Change(kAT90S2313);
  EXPECT_EQ(p.zaawansowane(), Wynik::ok);
  EXPECT_FALSE(p.dialog.bity_odczytane);
  EXPECT_EQ(p.dialog.Label6, "1E 91 01 ");
  s.prog.przerwa(60);
  EXPECT_EQ(p.Button1Click(), Wynik::ok);
  s.prog.przerwa(60);
  EXPECT_EQ(p.Button2Click(), Wynik::ok);
  s.zatrzymaj();

  const auto kroki = s.kroki_po_wyszukaniu();
  ASSERT_GE(kroki.size(), 1u);
  EXPECT_EQ(po_odmowie, 1u) << "nothing but 't' for the refused part:\n" << opisz(kroki);
  EXPECT_EQ(kroki[0].host, Bajty{'t'});
  for (const Krok& k : kroki) EXPECT_NE(k.host[0], 'F') << opisz(kroki);
}

// ostrel-cli passes the type and the speed on: blocks at 115200, the lock bits and fuses
// shown as not read, an unlisted part refused with nothing written, a speed the
// programmers are not built for refused before the port is touched.
TEST(Avr910, CliProgrammerAndBaud) {
  Pracownia pr;
  Symulator sim = symulator_na(pr, 2,
                               {"--device", "AT90S2313", "--firmware", "avr910", "--baud", "115200",
                                "--busy-scale", "0.05"});
  ASSERT_TRUE(sim.dziala()) << sim.blad();
  auto cli = [&](const char* uklad, std::vector<std::string> a) {
    a.insert(a.begin(),
             {"--port", "2", "--device", uklad, "--programmer", "avr910", "--baud", "115200"});
    return uruchom_cli(pr, std::move(a));
  };
  const Bajty f = wzor(700, 0x21);
  zapisz_plik(pr / "f.hex", hex_z(f));
  WynikCli w = cli("AT90S2313", {"program-flash", pr / "f.hex"});
  EXPECT_EQ(w.status, 0) << w.wyjscie << w.bledy;
  w = cli("AT90S2313", {"info"});
  EXPECT_NE(w.wyjscie.find("Bity lock: nie odczytano\nBezpieczniki: nie odczytano\n"),
            std::string::npos)
      << w.wyjscie;
  w = cli("AT89C2051", {"erase"});
  EXPECT_EQ(w.status, 2);
  EXPECT_EQ(w.wyjscie, "Programator nie obsługuje układu AT89C2051\n");
  w = uruchom_cli(pr, {"--port", "2", "--device", "AT90S2313", "--baud", "9600", "info"});
  EXPECT_EQ(w.status, 2) << w.bledy;
  sim.zatrzymaj();
  EXPECT_TRUE(czytaj_plik(pr / "flash2.bin") == nalozone(Bajty(2048, 0xFF), f));
  const auto kroki = kroki_na(pr, 2);
  std::size_t bloki = 0;
  EXPECT_TRUE(bloki_po_kolei(kroki, bloki));
  EXPECT_EQ(bloki, 22u) << "11 blocks written, 11 verified";
  for (const Krok& k : kroki) EXPECT_NE(k.host[0], 'F');
}

// ostrel-cli with the AVR910 type against the avr910 firmware on COM2.
struct BlokiCli : ::testing::Test {
  Pracownia pr;
  Symulator sim(std::vector<std::string> opcje) {
    opcje.insert(opcje.begin(), {"--firmware", "avr910"});
    return symulator_na(pr, 2, std::move(opcje));
  }
  WynikCli cli(std::vector<std::string> a) {
    a.insert(a.begin(), {"--port", "2", "--programmer", "avr910"});
    return uruchom_cli(pr, std::move(a));
  }
};

// The blocks of flash ('F', 'B' or 'g' with type 'F'), each with its size.
std::vector<std::size_t> bloki_flash(const std::vector<Krok>& kroki, char polecenie) {
  std::vector<std::size_t> n;
  for (const Krok& k : kroki) {
    if (k.host.size() >= 4 && k.host[0] == polecenie && k.host[3] == 'F')
      n.push_back(static_cast<std::size_t>(k.host[1]) << 8 | k.host[2]);
  }
  return n;
}

// 'F' blocks count words: a part whose flash is addressed by bytes keeps the byte
// commands, and its flash ends up holding the image.
TEST_F(BlokiCli, ByteAddressedFlashKeepsTheByteCommands) {
  Symulator s = sim({"--device", "AT89S8252", "--busy-scale", "0"});
  ASSERT_TRUE(s.dziala()) << s.blad();
  const Bajty f = wzor(150, 0x31);
  zapisz_plik(pr / "f.hex", hex_z(f));
  const WynikCli w = cli({"--device", "AT89S8252", "program-flash", pr / "f.hex"});
  EXPECT_EQ(w.status, 0) << w.wyjscie << w.bledy;
  s.zatrzymaj();
  EXPECT_TRUE(czytaj_plik(pr / "flash2.bin") == nalozone(Bajty(8192, 0xFF), f));
  const auto kroki = kroki_na(pr, 2);
  EXPECT_TRUE(bloki_flash(kroki, 'B').empty() && bloki_flash(kroki, 'g').empty()) << opisz(kroki);
}

// A part the programmer does not list is refused after its list alone: the signature
// check before a write sends nothing of its own for it.
TEST_F(BlokiCli, UnlistedPartGetsNothingButTheListQuestion) {
  Symulator s = sim({"--device", "AT90S2313", "--busy-scale", "0", "--device-list", "13,28"});
  ASSERT_TRUE(s.dziala()) << s.blad();
  const WynikCli w = cli({"--device", "AT90S2313", "erase"});
  EXPECT_EQ(w.status, 2) << w.bledy;
  EXPECT_EQ(w.wyjscie, "Programator nie obsługuje układu AT90S2313\n");
  s.zatrzymaj();
  EXPECT_EQ(rozmowa_na(pr, 2), Rozmowa()({'S'}, 7)({'t'}, 3).tekst());
}

// Two differences in one block: the first is named.
TEST_F(BlokiCli, BlockVerifyNamesTheFirstDifference) {
  const Bajty f = wzor(100, 0x40);
  zapisz_plik(pr / "chip.hex", hex_z(f));
  Symulator s = sim({"--device", "AT90S2313", "--busy-scale", "0", "--flash", pr / "chip.hex"});
  ASSERT_TRUE(s.dziala()) << s.blad();
  Bajty inny = f;
  inny[5] ^= 0x01;
  inny[9] ^= 0x02;
  zapisz_plik(pr / "inny.hex", hex_z(inny));
  const WynikCli w = cli({"--device", "AT90S2313", "verify-flash", pr / "inny.hex"});
  EXPECT_EQ(w.status, 1) << w.bledy;
  char tekst[96];
  std::snprintf(tekst, sizeof tekst,
                "Błąd weryfikacji pod adresem 0x0005: w pliku 0x%02X, w układzie 0x%02X\n", inny[5],
                f[5]);
  EXPECT_EQ(w.wyjscie, tekst);
}

// A programmer that reports a buffer above the 1024-byte cap, writes at its real pace
// (a full block outlasts the usual answer bound) and an odd image: the blocks are capped,
// whole words, and each one's answer is awaited as long as its writing takes.
TEST_F(BlokiCli, CappedWholeWordBlocksAwaitedAsLongAsTheyTake) {
  Symulator s = sim({"--device", "AT90S8515", "--block-size", "2048", "--busy-scale", "1.5"});
  ASSERT_TRUE(s.dziala()) << s.blad();
  const Bajty f = wzor(1025, 0x07);
  zapisz_plik(pr / "f.hex", hex_z(f));
  const WynikCli w = cli({"--device", "AT90S8515", "program-flash", pr / "f.hex"});
  EXPECT_EQ(w.status, 0) << w.wyjscie << w.bledy;
  EXPECT_EQ(w.wyjscie, "Weryfikacja OK!\n");
  s.zatrzymaj();
  EXPECT_TRUE(czytaj_plik(pr / "flash2.bin") == nalozone(Bajty(8192, 0xFF), f));
  const auto kroki = kroki_na(pr, 2);
  EXPECT_EQ(bloki_flash(kroki, 'B'), (std::vector<std::size_t>{1024, 2})) << opisz(kroki);
  EXPECT_EQ(bloki_flash(kroki, 'g'), (std::vector<std::size_t>{1024, 2})) << opisz(kroki);
}

}  // namespace
}  // namespace ostrel::test
