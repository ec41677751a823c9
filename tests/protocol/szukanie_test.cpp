// The search's typed result on pseudo-terminals: the port chosen, and the ports that
// could not be opened with the platform's reason.
#include "protocol/szukanie.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "protocol/stanowisko.h"

namespace ostrel::test {
namespace {

struct Port {
  TimerReczny timer;
  TCommPortDriver port{nullptr, &timer};
  Port() { ustaw_CommPortDriver1(port); }
};

TEST(Szukanie, ChoosesTheAnsweringPortAndSaysWhyOthersDidNotOpen) {
  Pracownia pr;
  Symulator sim = symulator_na(pr, 2);
  ASSERT_TRUE(sim.dziala()) << sim.blad();
  // com3 leads to a plain file: something is there, but no serial port.
  zapisz_plik(pr / "plik", "x");
  const std::string com3 = pr / "ostrel/com3";
  ::unlink(com3.c_str());
  ASSERT_EQ(::symlink((pr / "plik").c_str(), com3.c_str()), 0);

  Port p;
  const WynikSzukania w = szukaj_programatora(p.port, 1, 4, br19200, 2000);
  EXPECT_TRUE(w.znaleziony);
  EXPECT_EQ(w.port, 2);
  EXPECT_TRUE(p.port.IsOpen());
  EXPECT_EQ(p.port.ComPort(), pnCOM2);
  ASSERT_EQ(w.nieotwarte.size(), 3u);
  EXPECT_EQ(w.nieotwarte[0].nazwa, "com1");
  EXPECT_EQ(w.nieotwarte[0].blad.powod, PowodBledu::brak_urzadzenia);
  EXPECT_EQ(w.nieotwarte[1].nazwa, "com3");
  EXPECT_EQ(w.nieotwarte[1].blad.powod, PowodBledu::nie_port);
  EXPECT_EQ(w.nieotwarte[2].nazwa, "com4");
  p.port.Close();

  // Only ports that cannot be opened: nothing chosen, nothing left open.
  const WynikSzukania zadna = szukaj_programatora(p.port, 3, 4, br19200, 2000);
  EXPECT_FALSE(zadna.znaleziony);
  EXPECT_EQ(zadna.port, 0);
  EXPECT_FALSE(p.port.IsOpen());
  EXPECT_EQ(zadna.nieotwarte.size(), 2u);
}

TEST(Szukanie, ByDevicePath) {
  Pracownia pr;
  Symulator sim = symulator_na(pr, 2);
  ASSERT_TRUE(sim.dziala()) << sim.blad();
  Port p;
  const WynikSzukania w = szukaj_na_urzadzeniu(p.port, sim.pty(), br19200, 2000);
  EXPECT_TRUE(w.znaleziony);
  EXPECT_TRUE(w.nieotwarte.empty());
  EXPECT_TRUE(p.port.IsOpen());
  EXPECT_TRUE(w.cisza) << "the simulator falls silent after its answer";
  p.port.Close();

  const std::string brak = pr / "brak-urzadzenia";
  const WynikSzukania nic = szukaj_na_urzadzeniu(p.port, brak, br19200, 2000);
  EXPECT_FALSE(nic.znaleziony);
  EXPECT_FALSE(p.port.IsOpen());
  ASSERT_EQ(nic.nieotwarte.size(), 1u);
  EXPECT_EQ(nic.nieotwarte[0].nazwa, brak);
  EXPECT_EQ(nic.nieotwarte[0].blad.powod, PowodBledu::brak_urzadzenia);
}

// A programmer that answers and then chatters on is still found, but its line was not
// quiet: the next drain must wait for silence as ever.
TEST(Szukanie, ALineThatChattersOnIsNotTakenForQuiet) {
  int master = -1, slave = -1;
  char nazwa[128];
  ASSERT_EQ(::openpty(&master, &slave, nazwa, nullptr, nullptr), 0);
  std::atomic<bool> dosc{false};
  std::thread gadula([&] {
    char c = 0;
    while (!dosc && ::read(master, &c, 1) == 1 && c != 'S') {
    }
    const char odpowiedz[] = "AVR ISP";
    (void)!::write(master, odpowiedz, 7);
    while (!dosc) {
      (void)!::write(master, "?", 1);
      ::usleep(10000);
    }
  });
  Port p;
  const WynikSzukania w = szukaj_na_urzadzeniu(p.port, nazwa, br19200, 300);
  dosc = true;
  p.port.Close();
  ::close(slave);
  gadula.join();
  ::close(master);
  EXPECT_TRUE(w.znaleziony) << "judged by what it said first";
  EXPECT_FALSE(w.cisza);
}

}  // namespace
}  // namespace ostrel::test
