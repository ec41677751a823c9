// Identification, lock bits, fuses and chip erase against the simulator.
#include <gtest/gtest.h>

#include <ostream>

#include "devices/uklady.h"
#include "protocol/bity_blokady.h"
#include "protocol/stanowisko.h"

namespace ostrel::test {
namespace {

constexpr int kAT89C2051 = 4;
constexpr int kAT89S8252 = 6;
constexpr int kAT90S2313 = 9;

constexpr std::uint8_t L = 'L', P = 'P', F = 'F', S = 'S', T = 'T', V = 'V';
constexpr std::uint8_t e = 'e', f = 'f', l = 'l', p = 'p', s = 's', v = 'v';

// Shapes the chip's lock and fuse bits before the host arrives, as a chip that was
// written earlier. The simulator derives its 'F' answer from them.
void przygotuj(const Symulator& sim, std::initializer_list<Bajty> polecenia) {
  KlientPty k(sim.pty());
  ASSERT_TRUE(k.otwarty());
  for (const Bajty& b : polecenia) ASSERT_EQ(k.polecenie(b, 1).size(), 1u);
}

// The full read of `zaawansowane` for a device code: 'T' with it right before 'P'.
Rozmowa odczyt_zaawansowany(std::uint8_t kod) {
  return Rozmowa()({S}, 7)({V}, 2)({T, kod}, 1)({P}, 1)({s}, 3)({F}, 1)({V}, 2)({v}, 2)({p}, 1)({L},
                                                                                                1);
}

TEST(Zaawansowane, Code134WithAnswer7E) {
  Stanowisko st({"--device", "AT89S8252"});
  ASSERT_TRUE(st.sim.dziala()) << st.sim.blad();
  przygotuj(st.sim, {{l, 0x7F}});  // lock bits 011 in bits 7..5, SPIEN programmed
  ASSERT_TRUE(st.uruchom(kAT89S8252));
  Programator& pr = st.p;
  EXPECT_EQ(pr.zaawansowane(), Wynik::ok);
  EXPECT_TRUE(pr.dialog.CheckBox2.zaznaczone);
  EXPECT_FALSE(pr.dialog.CheckBox1.zaznaczone);
  EXPECT_EQ(pr.bity_fuse, 254);
  EXPECT_EQ(pr.dialog.mode_index, 1);
  EXPECT_EQ(pr.bity_lock, 127);
  EXPECT_EQ(pr.dialog.opis_modu, "B1 [ x ] ;  B2 [  ] ; B3 [  ]");
  EXPECT_EQ(pr.dialog.info, "próbkowanie EA w czasie resetu");
  EXPECT_EQ(pr.dialog.softhard, "Soft. 1.2 Hard. 1.0");
  EXPECT_EQ(pr.dialog.target, "Tryb ISP");
  EXPECT_FALSE(pr.dialog.CheckBox1.aktywne);
  EXPECT_FALSE(pr.dialog.CheckBox2.aktywne);
  EXPECT_EQ(st.prog.widok.pokazany_dialog, 1);
  EXPECT_EQ(pozostale(st.prog.port), 0);  // the closing 'L''s answer taken by the operation
  st.zatrzymaj();

  const auto kroki = st.kroki_po_wyszukaniu();
  EXPECT_TRUE(ta_sama_rozmowa(kroki, odczyt_zaawansowany(134)));
  // The signature shows in reverse order of reception.
  ASSERT_EQ(kroki.size(), 10u);
  const Bajty& sygn = kroki[4].odp;
  ASSERT_EQ(sygn.size(), 3u);
  EXPECT_EQ(pr.sygnatura, (std::array<std::uint8_t, 3>{sygn[0], sygn[1], sygn[2]}));
  char oczekiwany[16];
  std::snprintf(oczekiwany, sizeof oczekiwany, "%02X %02X %02X ", sygn[2], sygn[1], sygn[0]);
  EXPECT_EQ(pr.dialog.Label6, oczekiwany);
}

TEST(Zaawansowane, OtherCodesWithAnswer5E) {
  Stanowisko st({"--device", ".AT90S2313"});
  ASSERT_TRUE(st.sim.dziala()) << st.sim.blad();
  przygotuj(st.sim, {{l, 0xFD}, {f, 0xDE}});  // 'F' answers 01011110
  ASSERT_TRUE(st.uruchom(kAT90S2313));
  EXPECT_EQ(st.p.zaawansowane(), Wynik::ok);
  EXPECT_TRUE(st.p.dialog.CheckBox1.zaznaczone);
  EXPECT_TRUE(st.p.dialog.CheckBox2.zaznaczone);
  EXPECT_EQ(st.p.bity_fuse, 222);
  EXPECT_EQ(st.p.dialog.mode_index, 1);
  EXPECT_EQ(st.p.bity_lock, 253);
  EXPECT_EQ(st.p.dialog.info, "blokada zapisu");
  EXPECT_EQ(st.p.dialog.Label6, "1E 91 01 ");  // received 01 91 1E
}

// Code 12: the answer is not decoded; the boxes and the mode stay.
TEST(Zaawansowane, Code12IsNotDecoded) {
  Stanowisko st({"--device", "AT89C2051"});
  ASSERT_TRUE(st.sim.dziala()) << st.sim.blad();
  przygotuj(st.sim, {{l, 0x00}});
  ASSERT_TRUE(st.uruchom(kAT89C2051));
  st.p.ustaw_CheckBox1(true);
  st.p.wybierz_tryb(2);
  EXPECT_EQ(st.p.zaawansowane(), Wynik::ok);
  EXPECT_TRUE(st.p.dialog.CheckBox1.zaznaczone);
  EXPECT_FALSE(st.p.dialog.CheckBox2.zaznaczone);
  EXPECT_EQ(st.p.bity_fuse, 255);
  EXPECT_EQ(st.p.dialog.mode_index, 2);
  EXPECT_EQ(st.p.bity_lock, 249);
  EXPECT_EQ(st.p.dialog.target, "Tryb PAR8");
}

// 's' alone goes unanswered: each signature byte gives up after its 33 reads and takes
// the last byte of the exchange, the first one the acknowledgement (CR) of 'P'; the
// read goes on with 'F' and the rest.
TEST(Zaawansowane, UnansweredSignatureTakesTheLastByteReceived) {
  Stanowisko st({"--device", ".AT90S2313", "--mute", "s"});
  ASSERT_TRUE(st.uruchom(kAT90S2313)) << st.sim.blad();
  EXPECT_EQ(st.p.zaawansowane(), Wynik::ok);
  EXPECT_EQ(st.p.sygnatura, (std::array<std::uint8_t, 3>{0x0D, 0x0D, 0x0D}));
  EXPECT_EQ(st.p.dialog.Label6, "0D 0D 0D ");
  EXPECT_TRUE(st.p.dialog.CheckBox2.zaznaczone);  // a new chip's 'F': SPIEN programmed
  EXPECT_EQ(st.p.dialog.softhard, "Soft. 1.2 Hard. 1.0");
  st.prog.przerwa();
  st.zatrzymaj();
  EXPECT_TRUE(ta_sama_rozmowa(
      st.kroki_po_wyszukaniu(),
      Rozmowa()({S}, 7)({V}, 2)({T, 32}, 1)({P}, 1)({s, F}, 1)({V}, 2)({v}, 2)({p}, 1)({L}, 1)));
}

// 'F' alone goes unanswered: the preset 255 is decoded as if the chip had sent it, in
// the opening read and in the dialog's read.
TEST(Zaawansowane, UnansweredFDecodesThePreset255) {
  {
    Stanowisko st({"--device", "AT89S8252", "--mute", "F"});
    ASSERT_TRUE(st.sim.dziala()) << st.sim.blad();
    przygotuj(st.sim, {{l, 0x1F}});  // "Tryb 3" and SPIEN on the chip: 'F' would say so
    ASSERT_TRUE(st.uruchom(kAT89S8252));
    st.p.wybierz_tryb(2);
    st.p.ustaw_CheckBox2(true);
    st.p.bity_fuse = 0;
    EXPECT_EQ(st.p.zaawansowane(), Wynik::ok);
    EXPECT_FALSE(st.p.dialog.CheckBox2.zaznaczone);
    EXPECT_EQ(st.p.bity_fuse, 255);
    EXPECT_EQ(st.p.dialog.mode_index, 0);
    EXPECT_EQ(st.p.bity_lock, 255);
    EXPECT_EQ(st.p.dialog.target, "Tryb ISP");  // the answers after 'F' still came
    st.prog.przerwa();
    st.zatrzymaj();
    EXPECT_TRUE(ta_sama_rozmowa(
        st.kroki_po_wyszukaniu(),
        Rozmowa()({S}, 7)({V}, 2)({T, 134}, 1)({P}, 1)({s}, 3)({F, V}, 2)({v}, 2)({p}, 1)({L}, 1)));
  }
  {
    Stanowisko st({"--device", ".AT90S2313", "--mute", "F"});
    ASSERT_TRUE(st.sim.dziala()) << st.sim.blad();
    przygotuj(st.sim, {{l, 0xF9}});
    ASSERT_TRUE(st.uruchom(kAT90S2313));
    st.p.wybierz_tryb(2);
    st.p.ustaw_CheckBox1(true);
    EXPECT_EQ(st.p.Button1Click(), Wynik::ok);
    EXPECT_EQ(st.p.bity_lock, 255);  // the preset itself
    EXPECT_EQ(st.p.bity_fuse, 255);
    EXPECT_FALSE(st.p.dialog.CheckBox1.zaznaczone);
    EXPECT_FALSE(st.p.dialog.CheckBox2.zaznaczone);
    EXPECT_EQ(st.p.dialog.mode_index, 0);
    st.prog.przerwa();
    st.zatrzymaj();
    EXPECT_TRUE(ta_sama_rozmowa(st.kroki_po_wyszukaniu(),
                                Rozmowa()({T, 32}, 1)({P}, 1)({s}, 3)({F, L}, 1)));
  }
}

struct Wzor {
  const char* nazwa;
  const char* uklad;
  int indeks;
  std::uint8_t zamek;  // lock byte written before the read
  int bajt_trybu_2;    // bity_lock of "Tryb 2" for this list
};

void PrintTo(const Wzor& z, std::ostream* os) {
  *os << z.nazwa;
}

class NieznanyWzor : public ::testing::TestWithParam<Wzor> {};

TEST_P(NieznanyWzor, LeavesSelectedModeUnchanged) {
  const Wzor& w = GetParam();
  Stanowisko st({"--device", w.uklad});
  ASSERT_TRUE(st.sim.dziala()) << st.sim.blad();
  przygotuj(st.sim, {{l, w.zamek}});
  ASSERT_TRUE(st.uruchom(w.indeks));
  st.p.wybierz_tryb(2);
  EXPECT_EQ(st.p.zaawansowane(), Wynik::ok);
  EXPECT_EQ(st.p.dialog.mode_index, 2);
  EXPECT_EQ(st.p.bity_lock, w.bajt_trybu_2);
}

INSTANTIATE_TEST_SUITE_P(Zaawansowane, NieznanyWzor,
                         ::testing::Values(Wzor{"Other10", ".AT90S2313", kAT90S2313, 0xFB, 249},
                                           Wzor{"S8252_010", "AT89S8252", kAT89S8252, 0x5F, 63},
                                           Wzor{"S8252_100", "AT89S8252", kAT89S8252, 0x9F, 63},
                                           Wzor{"S8252_101", "AT89S8252", kAT89S8252, 0xBF, 63},
                                           Wzor{"S8252_110", "AT89S8252", kAT89S8252, 0xDF, 63}),
                         [](const auto& info) { return std::string(info.param.nazwa); });

struct TrybProgramatora {
  const char* nazwa;
  const char* uklad;
  int indeks;
  const char* odpowiedz;  // the simulator's answer to 'p'
  const char* target;
  bool aktywne;
};

void PrintTo(const TrybProgramatora& z, std::ostream* os) {
  *os << z.nazwa;
}

class OdpowiedzP : public ::testing::TestWithParam<TrybProgramatora> {};

TEST_P(OdpowiedzP, SetsTargetAndBoxes) {
  const TrybProgramatora& t = GetParam();
  Stanowisko st({"--device", t.uklad, "--mode", t.odpowiedz});
  ASSERT_TRUE(st.uruchom(t.indeks)) << st.sim.blad();
  st.p.dialog.CheckBox1.aktywne = st.p.dialog.CheckBox2.aktywne = !t.aktywne;
  EXPECT_EQ(st.p.zaawansowane(), Wynik::ok);
  EXPECT_EQ(st.p.dialog.target, t.target);
  EXPECT_EQ(st.p.dialog.CheckBox1.aktywne, t.aktywne);
  EXPECT_EQ(st.p.dialog.CheckBox2.aktywne, t.aktywne);
}

INSTANTIATE_TEST_SUITE_P(
    Zaawansowane, OdpowiedzP,
    ::testing::Values(
        TrybProgramatora{"IspAvr", ".AT90S2313", kAT90S2313, "S", "Tryb ISP", false},
        TrybProgramatora{"Par8", "AT89C2051", kAT89C2051, "S", "Tryb PAR8", false},
        TrybProgramatora{"Par16Code12", "AT89C2051", kAT89C2051, "P", "Tryb PAR16", true},
        TrybProgramatora{"Par16Avr", ".AT90S2313", kAT90S2313, "P", "Tryb PAR16", true}),
    [](const auto& info) { return std::string(info.param.nazwa); });

// The write sends the fuse byte only in "Tryb PAR16"; its 'L' is awaited.
TEST(Zaawansowane, WriteInPar16SendsFuses) {
  Stanowisko st({"--device", ".AT90S2313", "--mode", "P"});
  ASSERT_TRUE(st.uruchom(kAT90S2313)) << st.sim.blad();
  ASSERT_EQ(st.p.zaawansowane(), Wynik::ok);
  st.prog.przerwa();
  st.p.wybierz_tryb(1);
  st.p.modeChange();
  st.p.ustaw_CheckBox1(true);   // bit 0 cleared
  st.p.ustaw_CheckBox2(false);  // bit 5 set
  EXPECT_EQ(st.p.Button2Click(), Wynik::ok);
  EXPECT_EQ(pozostale(st.prog.port), 0);
  st.prog.przerwa();
  // Read back: the chip now answers with what was written.
  EXPECT_EQ(st.p.Button1Click(), Wynik::ok);
  EXPECT_TRUE(st.p.dialog.CheckBox1.zaznaczone);
  EXPECT_FALSE(st.p.dialog.CheckBox2.zaznaczone);
  st.prog.przerwa();
  st.zatrzymaj();
  Rozmowa r = odczyt_zaawansowany(32);
  r({T, 32}, 1)({P}, 1)({l, 253}, 1)({f, 0xFE}, 1)({L}, 1);
  r({T, 32}, 1)({P}, 1)({s}, 3)({F}, 1)({L}, 1);
  EXPECT_TRUE(ta_sama_rozmowa(st.kroki_po_wyszukaniu(), r));
}

TEST(Zaawansowane, WriteOutsidePar16SendsNoFuses) {
  Stanowisko st({"--device", "AT89C2051", "--mode", "S"});
  ASSERT_TRUE(st.uruchom(kAT89C2051)) << st.sim.blad();
  // Before any read the caption is still "target".
  st.p.wybierz_tryb(1);
  st.p.modeChange();
  EXPECT_EQ(st.p.Button2Click(), Wynik::ok);
  st.prog.przerwa();
  ASSERT_EQ(st.p.zaawansowane(), Wynik::ok);  // "Tryb PAR8"
  st.prog.przerwa();
  EXPECT_EQ(st.p.Button2Click(), Wynik::ok);
  st.zatrzymaj();
  Rozmowa r;
  r({T, 12}, 1)({P}, 1)({l, 253}, 1)({L}, 1);
  for (const auto& k : odczyt_zaawansowany(12).kroki) r.kroki.push_back(k);
  r({T, 12}, 1)({P}, 1)({l, 253}, 1)({L}, 1);
  EXPECT_TRUE(ta_sama_rozmowa(st.kroki_po_wyszukaniu(), r));
}

// The dialog's read puts the 'F' answer itself into the lock byte and does not apply
// the mode it selects; the next write sends that answer.
TEST(Zaawansowane, ReadThenWriteSendsTheAnswerItself) {
  Stanowisko st({"--device", ".AT90S2313"});
  ASSERT_TRUE(st.sim.dziala()) << st.sim.blad();
  przygotuj(st.sim, {{l, 0xFD}, {f, 0xDE}});
  ASSERT_TRUE(st.uruchom(kAT90S2313));
  st.p.wybierz_tryb(0);
  st.p.modeChange();
  EXPECT_EQ(st.p.Button1Click(), Wynik::ok);
  EXPECT_EQ(st.p.bity_lock, 0x5E);
  EXPECT_EQ(st.p.bity_fuse, 222);
  EXPECT_EQ(st.p.dialog.mode_index, 1);
  EXPECT_EQ(st.p.dialog.opis_modu, "B1 [  ] ; B2 [  ]");
  EXPECT_EQ(st.p.dialog.info, "zapis i odczyt możliwy");
  EXPECT_EQ(pozostale(st.prog.port), 0);  // no drain needed before the next operation
  EXPECT_EQ(st.p.Button2Click(), Wynik::ok);
  st.zatrzymaj();
  EXPECT_TRUE(ta_sama_rozmowa(st.kroki_po_wyszukaniu(),
                              Rozmowa()({T, 32}, 1)({P}, 1)({s}, 3)({F}, 1)({L}, 1)({T, 32}, 1)(
                                  {P}, 1)({l, 0x5E}, 1)({L}, 1)));
}

TEST(Zaawansowane, ReadWithCode12ResetsLockByte) {
  Stanowisko st({"--device", "AT89C2051"});
  ASSERT_TRUE(st.sim.dziala()) << st.sim.blad();
  przygotuj(st.sim, {{l, 0xE7}});
  ASSERT_TRUE(st.uruchom(kAT89C2051));
  EXPECT_EQ(st.p.Button1Click(), Wynik::ok);
  EXPECT_EQ(st.p.bity_lock, 255);
  EXPECT_EQ(st.p.bity_fuse, 255);
}

// A write before any mode was applied writes "Tryb 0", never the start value 0.
TEST(Zaawansowane, WriteWithoutAppliedModeAppliesModeZero) {
  Stanowisko st({"--device", "AT89C2051"});
  ASSERT_TRUE(st.uruchom(-1)) << st.sim.blad();
  st.p.domyslne();
  ASSERT_EQ(st.p.dialog.mode_index, -1);
  EXPECT_EQ(st.p.Button2Click(), Wynik::ok);
  EXPECT_EQ(st.p.dialog.mode_index, 0);
  EXPECT_EQ(st.p.dialog.opis_modu, "B1 [  ] ; B2 [  ]");  // the AT89C2051's own list
  EXPECT_TRUE(st.p.tryb_zastosowany);
  st.zatrzymaj();
  EXPECT_TRUE(ta_sama_rozmowa(st.kroki_po_wyszukaniu(),
                              Rozmowa()({T, 12}, 1)({P}, 1)({l, 0xFF}, 1)({L}, 1)));
}

// The erase takes the answer of its closing 'L' itself, so the write that follows at once
// takes the acknowledgement of its own 'P'.
TEST(Zaawansowane, EraseThenWrite) {
  Stanowisko st({"--device", "AT89C2051"});
  ASSERT_TRUE(st.uruchom(kAT89C2051)) << st.sim.blad();
  st.p.wybierz_tryb(2);
  st.p.modeChange();
  EXPECT_EQ(st.p.Button3Click(), Wynik::ok);
  EXPECT_EQ(pozostale(st.prog.port), 0);  // no drain needed before the next operation
  EXPECT_EQ(st.p.Button2Click(), Wynik::ok);
  st.zatrzymaj();
  EXPECT_TRUE(ta_sama_rozmowa(
      st.kroki_po_wyszukaniu(),
      Rozmowa()({T, 12}, 1)({P}, 1)({e}, 1)({L}, 1)({T, 12}, 1)({P}, 1)({l, 249}, 1)({L}, 1)));
}

// The command line's write-lock computes its bytes from the row (bity_blokady.h); the
// dialog from its boxes and mode list. For every lock mode and every way of setting the
// two boxes after the opening read, both must send the same lock and fuse bytes.
struct WierszBitow {
  const char* nazwa;
  int indeks;
  Bajty przygotowanie;  // 'l' and 'f' shaping the chip's bits before the read
};

void PrintTo(const WierszBitow& w, std::ostream* os) {
  *os << w.nazwa;
}

class BityJakWDialogu : public ::testing::TestWithParam<WierszBitow> {};

TEST_P(BityJakWDialogu, EveryModeAndBoxSetting) {
  const WierszBitow& w = GetParam();
  Stanowisko st({"--device", w.nazwa, "--mode", "P"});
  ASSERT_TRUE(st.sim.dziala()) << st.sim.blad();
  for (std::size_t i = 0; i + 1 < w.przygotowanie.size(); i += 2)
    przygotuj(st.sim, {{w.przygotowanie[i], w.przygotowanie[i + 1]}});
  ASSERT_TRUE(st.uruchom(w.indeks));
  Programator& pr = st.p;
  ASSERT_EQ(pr.zaawansowane(), Wynik::ok);
  st.zatrzymaj();
  const Uklad& u = kUklady[static_cast<std::size_t>(w.indeks)];
  const Identyfikacja id = pr.identyfikacja;
  ASSERT_TRUE(id.bity && id.tryb);
  const bool par16 = tryb_par16(*id.tryb);
  ASSERT_TRUE(par16);
  // The dialog as its opening read left it.
  const StanDialogu dialog = pr.dialog;
  const std::uint8_t lock = pr.bity_lock, fuse = pr.bity_fuse;

  for (int tryb = 0; tryb < u.liczba_trybow; ++tryb) {
    for (int b1 = -1; b1 <= 1; ++b1) {
      for (int b2 = -1; b2 <= 1; ++b2) {
        if ((b1 >= 0 && !ma_bezpiecznik(u, 1)) || (b2 >= 0 && !ma_bezpiecznik(u, 2))) continue;
        SCOPED_TRACE("tryb " + std::to_string(tryb) + ", pola " + std::to_string(b1) + " " +
                     std::to_string(b2));
        pr.dialog = dialog;
        pr.bity_lock = lock;
        pr.bity_fuse = fuse;
        if (b1 >= 0) pr.ustaw_CheckBox1(b1 == 1);
        if (b2 >= 0) pr.ustaw_CheckBox2(b2 == 1);
        pr.wybierz_tryb(tryb);
        pr.modeChange();
        const std::optional<std::uint8_t> fuse_dialogu =
            pr.dialog.target == kTrybPAR16 ? std::optional<std::uint8_t>(pr.bity_fuse)
                                           : std::nullopt;

        PolaBezpiecznikow pola = pola_po_odczycie(u, id.bity);
        if (b1 >= 0) pola = zaznacz_pole(u, pola, 1, b1 == 1);
        if (b2 >= 0) pola = zaznacz_pole(u, pola, 2, b2 == 1);
        const TrybBlokady* t = tryb_blokady(u, tryb);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->bity_lock, pr.bity_lock);
        EXPECT_EQ(fuse_do_zapisu(pola.fuse, par16), fuse_dialogu);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Zaawansowane, BityJakWDialogu,
                         ::testing::Values(WierszBitow{"AT89S8252", kAT89S8252, {l, 0x7F}},
                                           WierszBitow{
                                               ".AT90S2313", kAT90S2313, {l, 0xFD, f, 0xDE}}),
                         [](const auto& info) { return std::to_string(info.param.indeks); });

}  // namespace
}  // namespace ostrel::test
