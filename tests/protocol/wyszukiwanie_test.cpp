// The search for the programmer and demo mode, against simulators on COM ports.
#include <gtest/gtest.h>

#include <ostream>

#include "protocol/stanowisko.h"

namespace ostrel::test {
namespace {

TEST(Wyszukiwanie, AnswerWithMoreBytesMatches) {
  Pracownia pr;
  Symulator sim = symulator_na(pr, 2, {"--ident", "AVR ISP\r\n"});
  ASSERT_TRUE(sim.dziala()) << sim.blad();
  Programista prog;
  EXPECT_TRUE(prog.p.testuj_port(2));
  EXPECT_FALSE(prog.port.IsOpen());  // the probe leaves the port closed
  EXPECT_EQ(prog.port.ComPort(), pnCOM2);
}

struct Zla {
  const char* nazwa;
  std::vector<std::string> opcje;
};

void PrintTo(const Zla& z, std::ostream* os) {
  *os << z.nazwa;
}

class ZlaOdpowiedz : public ::testing::TestWithParam<Zla> {};

TEST_P(ZlaOdpowiedz, DoesNotMatch) {
  Pracownia pr;
  Symulator sim = symulator_na(pr, 3, GetParam().opcje);
  ASSERT_TRUE(sim.dziala()) << sim.blad();
  Programista prog;
  EXPECT_FALSE(prog.p.testuj_port(3));
  EXPECT_FALSE(prog.port.IsOpen());
  sim.zatrzymaj();
  // The 'S' went out: the port was probed and judged.
  EXPECT_EQ(rozmowa_na(pr, 3).substr(0, 3), "53>");
}

// The late and gapped answers wait far longer than the 50 ms input time-out, so that a
// loaded machine cannot make them look timely.
INSTANTIATE_TEST_SUITE_P(Wyszukiwanie, ZlaOdpowiedz,
                         ::testing::Values(Zla{"SixBytes", {"--ident", "AVR IS"}},
                                           Zla{"LowerCase", {"--ident", "avr isp"}},
                                           Zla{"LateFirstByte", {"--latency", "400"}},
                                           Zla{"GapInside", {"--ident-gap-ms", "400"}}),
                         [](const auto& info) { return std::string(info.param.nazwa); });

TEST(Wyszukiwanie, HighestAnsweringPortWinsAndStaysOpen) {
  Pracownia pr;
  Symulator com2 = symulator_na(pr, 2);
  Symulator com4 = symulator_na(pr, 4);
  ASSERT_TRUE(com2.dziala() && com4.dziala()) << com2.blad() << com4.blad();
  Programista prog;
  prog.p.sprawdz();
  EXPECT_EQ(prog.p.status.Label1, "Znaleziono programator na com4");
  EXPECT_TRUE(prog.p.status.Button1);
  EXPECT_EQ(prog.p.brak_programatora, 0);
  EXPECT_EQ(prog.p.znaleziony_port, 4);
  EXPECT_TRUE(prog.port.IsOpen());
  EXPECT_EQ(prog.port.ComPort(), pnCOM4);

  // The open port is the one on COM4: a command reaches that simulator.
  prog.p.oproznij_wejscie();
  prog.p.wyslij_i_czekaj('P');
  prog.port.Close();
  com2.zatrzymaj();
  com4.zatrzymaj();
  EXPECT_EQ(rozmowa_na(pr, 2), "53>7\n");
  EXPECT_EQ(rozmowa_na(pr, 4), "53>7\n50>1\n");
}

TEST(Wyszukiwanie, PortNumberOutsideOneToFourProbesCurrentPort) {
  Pracownia pr;
  Symulator sim = symulator_na(pr, 2);
  ASSERT_TRUE(sim.dziala()) << sim.blad();
  Programista prog;
  prog.port.setComPort(pnCOM2);
  EXPECT_TRUE(prog.p.testuj_port(0));
  EXPECT_TRUE(prog.p.testuj_port(9));
}

// No programmer: the search says so, and after the confirmation nothing at all goes to
// the port, even when it is open.
TEST(Wyszukiwanie, NoneFoundThenDemoModeSendsNothing) {
  Pracownia pr;
  Symulator sim = symulator_na(pr, 2, {"--ident", "AVR IS"});
  ASSERT_TRUE(sim.dziala()) << sim.blad();
  Programista prog;
  Programator& p = prog.p;
  p.sprawdz();
  EXPECT_EQ(p.status.Label1, "Nie znaleziono programatora - tryb demo");
  EXPECT_TRUE(p.status.Button1);
  EXPECT_EQ(p.brak_programatora, 1);
  EXPECT_EQ(p.znaleziony_port, 0);
  EXPECT_FALSE(prog.port.IsOpen());
  EXPECT_EQ(p.tryb_demo, 0);
  p.potwierdz_status();
  EXPECT_EQ(p.tryb_demo, 1);

  p.domyslne();
  zapisz_plik(pr / "a.hex", hex_z({1, 2, 3, 4}));
  p.nazwa_pliku = pr / "a.hex";
  prog.port.setComPort(pnCOM2);
  ASSERT_TRUE(prog.port.Open());
  for (int kod = 0; kod <= 5; ++kod) EXPECT_EQ(p.operacja_pamieci(kod), Wynik::demo);
  EXPECT_EQ(p.zaawansowane(), Wynik::demo);
  EXPECT_EQ(prog.widok.pokazany_dialog, 1);  // the dialog still opens
  EXPECT_EQ(p.Button1Click(), Wynik::demo);
  EXPECT_EQ(p.Button2Click(), Wynik::demo);
  EXPECT_EQ(p.Button3Click(), Wynik::demo);
  EXPECT_EQ(p.status.Label1, "Nie znaleziono programatora - tryb demo");
  prog.port.Close();
  sim.zatrzymaj();
  EXPECT_EQ(rozmowa_na(pr, 2), "53>6\n");                   // the probe only
  EXPECT_EQ(obraz_hex(pr / "a.hex"), (Bajty{1, 2, 3, 4}));  // the read wrote no file
}

}  // namespace
}  // namespace ostrel::test
