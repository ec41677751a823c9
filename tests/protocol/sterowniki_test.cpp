// The operations over the programmer interface, unchanged for each implementation: the
// Ostrel programmer and AVR910 (with and without blocks), each against the simulator
// playing its own firmware. A part known only to a row of this file goes end to end,
// and a memory past what 'A' carries is refused before anything is sent.
#include <gtest/gtest.h>

#include <ostream>

#include "devices/uklady.h"
#include "protocol/operacje.h"
#include "protocol/stanowisko.h"

namespace ostrel::test {
namespace {

struct Rodzaj {
  const char* nazwa;
  TypProgramatora typ;
  std::vector<std::string> opcje;  // the simulator's firmware
};

void PrintTo(const Rodzaj& r, std::ostream* os) {
  *os << r.nazwa;
}

const auto kRodzaje = ::testing::Values(
    Rodzaj{"Ostrel", TypProgramatora::ostrel, {"--firmware", "ostrel"}},
    Rodzaj{"Avr910Bloki", TypProgramatora::avr910, {"--firmware", "avr910", "--busy-scale", "0"}},
    Rodzaj{"Avr910Bajty",
           TypProgramatora::avr910,
           {"--firmware", "avr910", "--busy-scale", "0", "--block-size", "0"}});

auto nazwa = [](const auto& info) { return std::string(info.param.nazwa); };

Bajty wzor(std::size_t n, std::uint8_t start) {
  Bajty b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(start + i * 7);
  return b;
}

Strumien strumien(const Bajty& b) {
  return Strumien{std::vector<std::uint8_t>(b)};
}

// A part no code knows: an AT90S2313 with a smaller flash and EEPROM in its row. The
// simulator holds an AT90S2313, so what the row says is all that reaches the wire.
constexpr TrybBlokady kTrybyTestowe[] = {{"B1 [  ]", "zapis i odczyt możliwy", 0xFF, 0xC0}};
constexpr TrybyBlokady kTestowe{kTrybyTestowe, 0xC0};
constexpr Uklad kTestowy{"ATtestowy",
                         256,
                         32,
                         0,
                         32,
                         true,
                         1,
                         "",
                         "",
                         "ATtestowy",
                         {{32, 0, 0, 0}, 1},
                         {{0x1E, 0x91, 0x01}, 3, true},
                         0,
                         &kTestowe,
                         OdczytF::bitami,
                         {-1, -1},
                         false,
                         {20, 0},
                         {},
                         true};

// The same part with a flash of 128 K words: more than 16 bits of word address.
constexpr Uklad kDuzy = [] {
  Uklad u = kTestowy;
  u.rozmiar_flash = 0x20000;
  return u;
}();

class Sterowniki : public ::testing::TestWithParam<Rodzaj> {
 protected:
  void SetUp() override {
    std::vector<std::string> opcje = {"--device", "AT90S2313"};
    opcje.insert(opcje.end(), GetParam().opcje.begin(), GetParam().opcje.end());
    st_ = std::make_unique<Stanowisko>(opcje);
    ASSERT_TRUE(st_->sim.dziala()) << st_->sim.blad();
    st_->p.ustaw_typ(GetParam().typ);
    ASSERT_TRUE(st_->uruchom(-1));
  }
  Sterownik& s() { return st_->p.sterownik(); }
  std::unique_ptr<Stanowisko> st_;
  Postep nic_ = [](std::size_t, std::size_t) {};
};

TEST_P(Sterowniki, ProgramVerifyReadEraseAndSignature) {
  const Uklad& u = kUklady[static_cast<std::size_t>(znajdz_uklad("AT90S2313"))];
  // Odd length: the last word's high byte is the erased cell's.
  const Bajty flash = wzor(301, 3), eeprom = wzor(45, 9);
  Strumien f = strumien(flash), e = strumien(eeprom);
  EXPECT_TRUE(programuj(s(), u, Pamiec::flash, f, {}, nic_).ok());
  EXPECT_TRUE(programuj(s(), u, Pamiec::eeprom, e, {}, nic_).ok());

  Strumien odczyt;
  ASSERT_TRUE(czytaj(s(), u, Pamiec::flash, odczyt, nic_).ok());
  Bajty oczekiwany(u.bajty_flash(), 0xFF);
  std::copy(flash.begin(), flash.end(), oczekiwany.begin());
  EXPECT_EQ(odczyt.dane(), oczekiwany) << "the whole flash, the image at its start";
  Strumien odczyt_e;
  ASSERT_TRUE(czytaj(s(), u, Pamiec::eeprom, odczyt_e, nic_).ok());
  ASSERT_EQ(odczyt_e.rozmiar(), u.rozmiar_eeprom);
  EXPECT_EQ(Bajty(odczyt_e.dane().begin(), odczyt_e.dane().begin() + 45), eeprom);

  // One byte differs in the file: the result names its address and both bytes.
  Bajty inny = flash;
  inny[0x41] ^= 0x5A;
  Strumien g = strumien(inny);
  const WynikOperacji w = weryfikuj(s(), u, Pamiec::flash, g, nic_);
  EXPECT_EQ(w.koniec, Koniec::niezgodnosc);
  EXPECT_EQ(w.roznica.adres, 0x41u);
  EXPECT_EQ(w.roznica.w_pliku, inny[0x41]);
  EXPECT_EQ(w.roznica.w_ukladzie, flash[0x41]);
  EXPECT_EQ(w.roznica.jednostka, 0x41u / 2 + 1);

  OdczytSygnatury sg;
  ASSERT_TRUE(sygnatura(s(), u, sg).ok());
  EXPECT_EQ(sg.odebrane, 3);
  EXPECT_EQ(sg.bajty, (std::array<std::uint8_t, 3>{0x01, 0x91, 0x1E}));

  ASSERT_TRUE(kasuj(s(), u).ok());
  Strumien po_kasowaniu;
  ASSERT_TRUE(czytaj(s(), u, Pamiec::flash, po_kasowaniu, nic_).ok());
  EXPECT_EQ(po_kasowaniu.dane(), Bajty(u.bajty_flash(), 0xFF));
  // Every operation took its answers itself: nothing is left on the line.
  EXPECT_EQ(pozostale(st_->prog.port), 0);
}

TEST_P(Sterowniki, PartOfATestRowGoesEndToEnd) {
  const Bajty flash = wzor(200, 1), eeprom = wzor(20, 2);
  Strumien f = strumien(flash), e = strumien(eeprom);
  EXPECT_TRUE(programuj(s(), kTestowy, Pamiec::flash, f, {}, nic_).ok());
  EXPECT_TRUE(programuj(s(), kTestowy, Pamiec::eeprom, e, {}, nic_).ok());
  EXPECT_TRUE(weryfikuj(s(), kTestowy, Pamiec::flash, f, nic_).ok());
  Strumien odczyt, odczyt_e;
  ASSERT_TRUE(czytaj(s(), kTestowy, Pamiec::flash, odczyt, nic_).ok());
  ASSERT_TRUE(czytaj(s(), kTestowy, Pamiec::eeprom, odczyt_e, nic_).ok());
  // The row's sizes, not the chip's, are what the reads cover.
  ASSERT_EQ(odczyt.rozmiar(), 512u);
  ASSERT_EQ(odczyt_e.rozmiar(), 32u);
  EXPECT_EQ(Bajty(odczyt.dane().begin(), odczyt.dane().begin() + 200), flash);
  EXPECT_EQ(Bajty(odczyt_e.dane().begin(), odczyt_e.dane().begin() + 20), eeprom);
  st_->zatrzymaj();
  const Bajty chip = st_->flash();
  ASSERT_GE(chip.size(), 200u);
  EXPECT_EQ(Bajty(chip.begin(), chip.begin() + 200), flash);
}

TEST_P(Sterowniki, AddressPastSixteenBitsRefusedWithNothingSent) {
  // 0x10000 words end at word address 0xFFFF, the last 'A' carries; one more word would
  // wrap to address 0 and write over the memory's start.
  EXPECT_EQ(sprawdz_zakres(s(), kDuzy, Pamiec::flash, 0x20000), Odmowa::brak);
  EXPECT_EQ(sprawdz_zakres(s(), kDuzy, Pamiec::flash, 0x20001), Odmowa::adres_poza_zasiegiem);
  Strumien obraz{std::vector<std::uint8_t>(0x20002, 0x00)};
  WynikOperacji w = programuj(s(), kDuzy, Pamiec::flash, obraz, {}, nic_);
  EXPECT_EQ(w.koniec, Koniec::odmowa);
  EXPECT_EQ(w.powod, Odmowa::adres_poza_zasiegiem);
  w = weryfikuj(s(), kDuzy, Pamiec::flash, obraz, nic_);
  EXPECT_EQ(w.powod, Odmowa::adres_poza_zasiegiem);
  Strumien odczyt;
  w = czytaj(s(), kDuzy, Pamiec::flash, odczyt, nic_);
  EXPECT_EQ(w.powod, Odmowa::adres_poza_zasiegiem);
  // An image larger than the row's memory is refused as such.
  Strumien za_duzy{std::vector<std::uint8_t>(513, 0x00)};
  EXPECT_EQ(programuj(s(), kTestowy, Pamiec::flash, za_duzy, {}, nic_).powod, Odmowa::za_duzy);
  st_->zatrzymaj();
  EXPECT_TRUE(st_->kroki_po_wyszukaniu().empty()) << st_->po_wyszukaniu();
}

INSTANTIATE_TEST_SUITE_P(Oba, Sterowniki, kRodzaje, nazwa);

// The parts' real memories reach the wire: a read of the whole memory ends at the
// datasheet's last address, where the simulator holds a marker.
TEST(RozmiaryNaLinii, WholeMemoryReadEndsAtThePartsLastAddress) {
  KatalogTymczasowy wstep;
  Bajty flash(8192, 0xFF), eeprom(2048, 0xFF);
  flash.back() = 0x5A;
  eeprom.back() = 0xA5;
  zapisz_plik(wstep / "f.hex", hex_z(flash));
  zapisz_plik(wstep / "e.hex", hex_z(eeprom));
  Stanowisko st({"--device", "AT89S8252", "--flash", wstep / "f.hex", "--eeprom", wstep / "e.hex"});
  ASSERT_TRUE(st.uruchom(znajdz_uklad("AT89S8252"))) << st.sim.blad();
  const Uklad u = st.p.uklad();
  const Postep nic = [](std::size_t, std::size_t) {};
  Strumien f, e;
  ASSERT_TRUE(czytaj(st.p.sterownik(), u, Pamiec::flash, f, nic).ok());
  ASSERT_TRUE(czytaj(st.p.sterownik(), u, Pamiec::eeprom, e, nic).ok());
  EXPECT_EQ(f.dane(), flash);
  EXPECT_EQ(e.dane(), eeprom);
}

}  // namespace
}  // namespace ostrel::test
