// ostrel-cli against the simulator: the same bytes as the windowed program, the texts on
// standard output, the exit statuses, and the faults of a programmer that stops answering.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ostream>
#include <thread>

#include "protocol/stanowisko.h"

namespace ostrel::test {
namespace {

constexpr std::uint8_t A = 'A', C = 'C', L = 'L', P = 'P', R = 'R', T = 'T';
constexpr std::uint8_t c = 'c', e = 'e', f = 'f', l = 'l', s_ = 's';

struct Cli : ::testing::Test {
  Pracownia pr;

  Symulator sim(int com, std::vector<std::string> opcje) {
    return symulator_na(pr, com, std::move(opcje));
  }
  std::string rozmowa_na(int com) { return test::rozmowa_na(pr, com); }
  Bajty flash(int com) { return czytaj_plik(pr / ("flash" + std::to_string(com) + ".bin")); }
  WynikCli cli(std::vector<std::string> argumenty) { return uruchom_cli(pr, std::move(argumenty)); }
};

TEST_F(Cli, WorkedExample) {
  Symulator s = sim(3, {"--device", "AT89C2051"});
  ASSERT_TRUE(s.dziala()) << s.blad();
  zapisz_plik(pr / "a.hex", hex_z({0x12, 0x34, 0x56, 0x78}));
  const WynikCli w = cli({"--device", "AT89C2051", "program-flash", pr / "a.hex"});
  EXPECT_EQ(w.status, 0) << w.bledy;
  EXPECT_EQ(w.wyjscie, "Weryfikacja OK!\n");
  EXPECT_NE(w.bledy.find("100%"), std::string::npos);
  s.zatrzymaj();
  Rozmowa r;
  // The signature check, and the write in the same session: one 'T' and one 'P'.
  r({'S'}, 7)({T, 0x0C}, 1)({P}, 1)({s_}, 3);
  r({e}, 1)({L}, 1)({P}, 1);
  r({A, 0, 0}, 1)({c, 0x12}, 1)({C, 0x34}, 1)({A, 0, 1}, 1)({c, 0x56}, 1)({C, 0x78}, 1);
  r({P}, 1)({A, 0, 0}, 1)({R}, 2)({R}, 2)({L}, 1);
  EXPECT_TRUE(ta_sama_rozmowa(kroki_na(pr, 3), r));
  const Bajty fl = flash(3);
  ASSERT_EQ(fl.size(), 2048u);
  EXPECT_EQ(Bajty(fl.begin(), fl.begin() + 5), (Bajty{0x12, 0x34, 0x56, 0x78, 0xFF}));
}

TEST_F(Cli, NoEraseAndDeviceByName) {
  Symulator s = sim(1, {"--device", "AT90S8515"});
  ASSERT_TRUE(s.dziala()) << s.blad();
  zapisz_plik(pr / "a.hex", hex_z({0xAA, 0xBB}));
  const WynikCli w = cli({"--device", "at90s8515", "--no-erase", "program-flash", pr / "a.hex"});
  EXPECT_EQ(w.status, 0) << w.bledy;
  s.zatrzymaj();
  EXPECT_TRUE(ta_sama_rozmowa(
      kroki_na(pr, 1), Rozmowa()({'S'}, 7)({T, 56}, 1)({P}, 1)({s_}, 3)({A, 0, 0}, 1)({c, 0xAA}, 1)(
                           {C, 0xBB}, 1)({P}, 1)({A, 0, 0}, 1)({R}, 2)({L}, 1)));
}

TEST_F(Cli, ReadWritesHexOfWholeMemory) {
  zapisz_plik(pr / "w.hex", hex_z({1, 2, 3, 4, 5, 6, 7}));
  Symulator s = sim(2, {"--device", "AT89C1051", "--flash", pr / "w.hex"});
  ASSERT_TRUE(s.dziala()) << s.blad();
  const WynikCli w = cli({"--device", "AT89C1051", "read-flash", pr / "odczyt.hex"});
  EXPECT_EQ(w.status, 0) << w.bledy;
  EXPECT_EQ(w.wyjscie, "");
  s.zatrzymaj();
  const Bajty odczyt = obraz_hex(pr / "odczyt.hex");
  EXPECT_EQ(odczyt.size(), 1024u);
  EXPECT_EQ(odczyt, flash(2));
  EXPECT_TRUE(ta_sama_rozmowa(
      kroki_na(pr, 2),
      Rozmowa()({'S'}, 7)({T, 12}, 1)({P}, 1)({s_}, 3)({A, 0, 0}, 1).powtorz(512, {R}, 2)({L}, 1)));
}

TEST_F(Cli, VerificationDifferenceExitsOne) {
  Symulator s = sim(2, {"--device", "AT89C2051"});
  ASSERT_TRUE(s.dziala()) << s.blad();
  zapisz_plik(pr / "a.hex", hex_z({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}));
  const WynikCli w = cli({"--device", "AT89C2051", "verify-flash", pr / "a.hex"});
  EXPECT_EQ(w.status, 1);
  EXPECT_EQ(w.wyjscie, "Błąd weryfikacji pod adresem 0x0005: w pliku 0x00, w układzie 0xFF\n");
}

// A faulty or missing file is found before any port is touched.
TEST_F(Cli, FileErrorsTouchNoPort) {
  Symulator s = sim(2, {});
  ASSERT_TRUE(s.dziala()) << s.blad();
  zapisz_plik(pr / "zly.hex", ":0400000012345678E9\r\n:00000001FF\r\n");
  WynikCli w = cli({"--device", "AT89C2051", "program-flash", pr / "zly.hex"});
  EXPECT_EQ(w.status, 2);
  EXPECT_FALSE(w.wyjscie.empty());
  EXPECT_EQ(w.wyjscie.find("Weryfikacja"), std::string::npos);
  w = cli({"--device", "AT89C2051", "verify-flash", pr / "brak.hex"});
  EXPECT_EQ(w.status, 2);
  EXPECT_EQ(w.wyjscie, "Nie można otworzyć pliku " + (pr / "brak.hex") + ": nie istnieje\n");
  w = cli({"--device", "AT89C2051", "read-flash", pr / "nie/ma/katalogu.hex"});
  EXPECT_EQ(w.status, 2);
  s.zatrzymaj();
  EXPECT_EQ(rozmowa_na(2), "");
}

TEST_F(Cli, UsageErrors) {
  Symulator s = sim(2, {});
  ASSERT_TRUE(s.dziala()) << s.blad();
  const std::vector<std::vector<std::string>> zle = {
      {},
      {"flash"},
      {"read-flash"},
      {"info", "nadmiar"},
      {"--port", "0", "detect"},
      {"--port", "x", "detect"},
      {"--port", "17", "detect"},
      {"ports", "nadmiar"},
      {"--device", "AT89C9999", "detect"},
      {"--fuse1", "tak", "write-lock", "0"},
      {"--fuse1", "on", "erase"},
      {"--device", "AT90S2313", "write-lock", "3"},                   // three modes only
      {"--device", "AT89C2051", "write-lock", "3"},                   // two lock bits: three modes
      {"--device", "AT89C2051", "--fuse2", "on", "write-lock", "0"},  // code 12: no fuse boxes
      {"--device", "AT89S53", "--fuse1", "off", "write-lock", "0"},   // a blank caption
      {"--device", "AT89S8252", "--fuse1", "on", "write-lock", "0"},
      {"write-lock", "-1"},
      {"--device", "AT89C2051", "read-eeprom", pr / "e.hex"},  // no EEPROM
      {"erase"},                                               // no part chosen
      {"--bogus", "detect"},
  };
  for (const auto& a : zle) {
    const WynikCli w = cli(a);
    std::string opis;
    for (const auto& x : a) opis += x + " ";
    EXPECT_EQ(w.status, 2) << opis;
    EXPECT_FALSE(w.bledy.empty()) << opis;
  }
  s.zatrzymaj();
  EXPECT_EQ(rozmowa_na(2), "");
}

TEST_F(Cli, UnknownDeviceListsTheNamesItTakes) {
  const WynikCli w = cli({"--device", "AT89C9999", "info"});
  EXPECT_EQ(w.status, 2);
  EXPECT_NE(w.bledy.find("nieznany układ AT89C9999; znane układy: AT89C51, AT89C52, AT89C55, "
                         "AT89C1051, AT89C2051, AT89C4051, AT89S8252, AT89S53, AT90S1200, "
                         "AT90S2313, AT90S4414, AT90S8515, ATtiny13, ATtiny2313, ATtiny25, "
                         "ATtiny45, ATtiny85, ATmega8, ATmega16, ATmega32, ATmega48, ATmega88, "
                         "ATmega168, ATmega328P, ATmega8515, ATmega8535, ATmega162\n"),
            std::string::npos)
      << w.bledy;
}

TEST_F(Cli, SearchOnlyTheGivenPort) {
  Symulator s2 = sim(2, {});
  Symulator s4 = sim(4, {});
  ASSERT_TRUE(s2.dziala() && s4.dziala());
  WynikCli w = cli({"detect"});
  EXPECT_EQ(w.status, 0);
  EXPECT_EQ(w.wyjscie, "Znaleziono programator na com4\n");
  w = cli({"--port", "2", "detect"});
  EXPECT_EQ(w.status, 0);
  EXPECT_EQ(w.wyjscie, "Znaleziono programator na com2\n");
  s2.zatrzymaj();
  s4.zatrzymaj();
  EXPECT_EQ(rozmowa_na(2), "53>7\n53>7\n");
  EXPECT_EQ(rozmowa_na(4), "53>7\n");
}

// A device path instead of a number: the probe runs on that device alone, the texts
// name it, and the operation works as through a COMn link.
TEST_F(Cli, PortByDevicePath) {
  Symulator s2 = sim(2, {});
  Symulator s4 = sim(4, {"--device", "AT90S2313"});
  ASSERT_TRUE(s2.dziala() && s4.dziala());
  WynikCli w = cli({"--port", s4.pty(), "detect"});
  EXPECT_EQ(w.status, 0) << w.bledy;
  EXPECT_EQ(w.wyjscie, "Znaleziono programator na " + s4.pty() + "\n");
  w = cli({"--port", s4.pty(), "--device", "AT90S2313", "info"});
  EXPECT_EQ(w.status, 0) << w.bledy;
  EXPECT_EQ(w.bledy.rfind("Znaleziono programator na " + s4.pty() + "\n", 0), 0u) << w.bledy;
  EXPECT_NE(w.wyjscie.find("Sygnatura: 1E 91 01"), std::string::npos) << w.wyjscie;
  w = cli({"--port", pr / "nie-ma-takiego", "detect"});
  EXPECT_EQ(w.status, 4);
  EXPECT_EQ(w.wyjscie, "");
  EXPECT_EQ(w.bledy, "ostrel-cli: --port " + (pr / "nie-ma-takiego") + ": nie istnieje\n");
  s2.zatrzymaj();
  s4.zatrzymaj();
  EXPECT_EQ(rozmowa_na(2), "") << "only the named device is probed";
  EXPECT_EQ(rozmowa_na(4).substr(0, 5), "53>7\n");
}

// The workshop's COM1..COM4 are links to nothing: no programmer, and the links are why.
TEST_F(Cli, NoProgrammerOnLinksToNothingExitsFour) {
  const WynikCli w = cli({"--device", "AT90S2313", "info"});
  EXPECT_EQ(w.status, 4);
  EXPECT_EQ(w.wyjscie, "Nie znaleziono programatora\n");
}

TEST_F(Cli, InfoPrintsTheDialog) {
  Symulator s = sim(2, {"--device", "AT89S8252", "--sw-version", "34", "--hw-version", "21"});
  ASSERT_TRUE(s.dziala()) << s.blad();
  const WynikCli w = cli({"--device", "AT89S8252", "info"});
  EXPECT_EQ(w.status, 0) << w.bledy;
  EXPECT_NE(w.wyjscie.find("Sygnatura: "), std::string::npos) << w.wyjscie;
  EXPECT_NE(w.wyjscie.find("Soft. 3.4 Hard. 2.1"), std::string::npos) << w.wyjscie;
  EXPECT_NE(w.wyjscie.find("Tryb ISP"), std::string::npos) << w.wyjscie;
  EXPECT_NE(w.wyjscie.find("Tryb 0 | B1 [  ] ; B2 [  ] ; B3 [  ] | zapis i odczyt możliwy"),
            std::string::npos)
      << w.wyjscie;
  EXPECT_NE(w.wyjscie.find("Bezpiecznik 2: tak [Programowanie SPI (SPIEN)]"), std::string::npos)
      << w.wyjscie;
}

TEST_F(Cli, WriteLockInPar16WithFuses) {
  Symulator s = sim(2, {"--device", "AT90S2313", "--mode", "P"});
  ASSERT_TRUE(s.dziala()) << s.blad();
  const WynikCli w =
      cli({"--device", "AT90S2313", "--fuse1", "on", "--fuse2", "off", "write-lock", "2"});
  EXPECT_EQ(w.status, 0) << w.bledy;
  EXPECT_EQ(w.wyjscie, "Zapisano bity lock 0xF9 (blokada zapisu i odczytu), bezpieczniki 0xFE\n");
  s.zatrzymaj();
  const std::string r = rozmowa_na(2);
  const std::string zapis =
      Rozmowa()({T, 32}, 1)({P}, 1)({l, 0xF9}, 1)({f, 0xFE}, 1)({L}, 1).tekst();
  ASSERT_GE(r.size(), zapis.size());
  EXPECT_EQ(r.substr(r.size() - zapis.size()), zapis) << r;
}

// Outside "Tryb PAR16" the fuse byte is never written: a fuse option is refused after
// the read, before the lock byte goes out.
TEST_F(Cli, WriteLockOutsidePar16RefusesFuses) {
  Symulator s = sim(2, {"--device", "AT90S2313", "--mode", "S"});
  ASSERT_TRUE(s.dziala()) << s.blad();
  const WynikCli w = cli({"--device", "AT90S2313", "--fuse1", "on", "write-lock", "1"});
  EXPECT_EQ(w.status, 2) << w.bledy;
  EXPECT_EQ(w.wyjscie, "");
  EXPECT_NE(w.bledy.find("--fuse1: bezpieczniki zapisuje się tylko w trybie \"Tryb PAR16\", "
                         "programator jest w trybie \"Tryb ISP\"; nic nie zapisano"),
            std::string::npos)
      << w.bledy;
  s.zatrzymaj();
  Rozmowa r;
  r({'S'}, 7)({T, 32}, 1)({P}, 1)({s_}, 3)({L}, 1);  // the signature check
  r({'S'}, 7)({'V'}, 2)({T, 32}, 1)({P}, 1)({'s'}, 3)({'F'}, 1)({'V'}, 2)({'v'}, 2)({'p'}, 1)({L},
                                                                                              1);
  EXPECT_TRUE(ta_sama_rozmowa(kroki_na(pr, 2), r));
}

// Code 12: the chip's lock bits are not read back; after a write of "Tryb 2" the next
// info must not pass the program's own choice off as the chip's state.
TEST_F(Cli, InfoOnCode12SaysLockBitsAreNotRead) {
  Symulator s = sim(2, {"--device", "AT89C51"});
  ASSERT_TRUE(s.dziala()) << s.blad();
  WynikCli w = cli({"--device", "AT89C51", "write-lock", "2"});
  ASSERT_EQ(w.status, 0) << w.bledy;
  w = cli({"--device", "AT89C51", "info"});
  EXPECT_EQ(w.status, 0) << w.bledy;
  EXPECT_NE(w.wyjscie.find("Programator: Tryb PAR8\n"
                           "Bity lock i bezpieczniki: ten układ ich nie zwraca, nie są "
                           "odczytywane\n"
                           "Bity lock (wybrane, nie odczytane): Tryb 0 | B1 [  ] ; B2 [  ] ; "
                           "B3 [  ] | zapis i odczyt możliwy\n"
                           "Bajt lock (wybrany, nie odczytany): 0xFF\n"),
            std::string::npos)
      << w.wyjscie;
  EXPECT_EQ(w.wyjscie.find("Bezpiecznik"), std::string::npos) << w.wyjscie;
}

TEST_F(Cli, Erase) {
  Symulator s = sim(2, {});
  ASSERT_TRUE(s.dziala()) << s.blad();
  const WynikCli w = cli({"--device", "AT89C2051", "erase"});
  EXPECT_EQ(w.status, 0) << w.bledy;
  s.zatrzymaj();
  EXPECT_TRUE(ta_sama_rozmowa(kroki_na(pr, 2),
                              Rozmowa()({'S'}, 7)({T, 12}, 1)({P}, 1)({s_}, 3)({e}, 1)({L}, 1)));
}

// A programmer that stops answering in the middle of a transfer, or goes away: the
// command ends within the answer bound, says so, and sends nothing more.
struct Usterka {
  const char* nazwa;
  const char* opcja;
  const char* polecenie;
};

void PrintTo(const Usterka& z, std::ostream* os) {
  *os << z.nazwa;
}

class UsterkaCli : public Cli, public ::testing::WithParamInterface<Usterka> {};

TEST_P(UsterkaCli, EndsWithinBound) {
  const Usterka& u = GetParam();
  Symulator s = sim(2, {"--device", "AT89C2051", u.opcja, "20"});
  ASSERT_TRUE(s.dziala()) << s.blad();
  zapisz_plik(pr / "a.hex", hex_z(Bajty(64, 0x5A)));
  const std::string plik =
      std::string(u.polecenie) == "read-flash" ? pr / "odczyt.hex" : pr / "a.hex";
  const WynikCli w = cli({"--device", "AT89C2051", u.polecenie, plik});
  EXPECT_EQ(w.status, 3) << w.bledy;
  EXPECT_EQ(w.wyjscie, "Programator nie odpowiada\n");
  // 5 s of silence, plus the output time-outs of a few bytes to a dead line.
  EXPECT_LT(w.sekundy, 20.0);
  EXPECT_FALSE(istnieje(pr / "odczyt.hex"));  // an abandoned read writes no file
  s.zatrzymaj();
  // The host stopped at the command that went unanswered.
  const auto kroki = kroki_na(pr, 2);
  ASSERT_FALSE(kroki.empty());
  EXPECT_LE(kroki.size(), 21u);
  if (std::string(u.opcja) == "--stop-after") {
    EXPECT_EQ(kroki.back().odpowiedz, 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(Cli, UsterkaCli,
                         ::testing::Values(Usterka{"SilentProgram", "--stop-after",
                                                   "program-flash"},
                                           Usterka{"SilentRead", "--stop-after", "read-flash"}),
                         [](const auto& info) { return std::string(info.param.nazwa); });

// An adapter unplugged mid-program or mid-read: told at once as the port gone (status 4,
// not the silence of status 3), and a read leaves the old file as it was.
TEST_F(Cli, HangUpSaysThePortIsGone) {
  for (const char* polecenie : {"program-flash", "read-flash"}) {
    SCOPED_TRACE(polecenie);
    Symulator s = sim(2, {"--device", "AT89C2051", "--hangup-after", "20"});
    ASSERT_TRUE(s.dziala()) << s.blad();
    zapisz_plik(pr / "a.hex", hex_z(Bajty(64, 0x5A)));
    zapisz_plik(pr / "stary.hex", "stary\n");
    const bool odczyt = std::string(polecenie) == "read-flash";
    const WynikCli w =
        cli({"--device", "AT89C2051", polecenie, odczyt ? pr / "stary.hex" : pr / "a.hex"});
    EXPECT_EQ(w.status, 4) << w.bledy;
    EXPECT_EQ(w.wyjscie,
              "Port com2 (" + s.lacze(2) + ") jest niedostępny (urządzenie odłączone?)\n");
    EXPECT_EQ(czytaj_plik(pr / "stary.hex"), bajty("stary\n"));
  }
}

// A byte the programmer sends unasked shifts every later answer: a paired read of the
// Ostrel type, whose acknowledgements say nothing, finds it left over after its last
// answer; a block read of the AVR910 type (CR after every command) at the next
// acknowledgement. Either way the read fails and the old file stays.
TEST_F(Cli, StrayByteFailsTheRead) {
  struct Przypadek {
    const char* uklad;
    std::vector<std::string> opcje;  // the simulator's firmware
    const char* typ;
    const char* tekst;
  };
  for (const Przypadek& p :
       {Przypadek{"AT89C2051", {}, "ostrel", "Programator przysłał nadmiarowe dane\n"},
        Przypadek{"AT90S2313",
                  {"--firmware", "avr910", "--busy-scale", "0"},
                  "avr910",
                  // Which acknowledgement the stray byte meets depends on where it falls.
                  "Programator odpowiedział na polecenie '"}}) {
    SCOPED_TRACE(p.uklad);
    std::vector<std::string> opcje = {"--device", p.uklad, "--garbage-every", "40"};
    opcje.insert(opcje.end(), p.opcje.begin(), p.opcje.end());
    Symulator s = sim(2, opcje);
    ASSERT_TRUE(s.dziala()) << s.blad();
    zapisz_plik(pr / "stary.hex", "stary\n");
    const WynikCli w =
        cli({"--device", p.uklad, "--programmer", p.typ, "read-flash", pr / "stary.hex"});
    EXPECT_EQ(w.status, 3) << w.bledy;
    EXPECT_EQ(w.wyjscie.rfind(p.tekst, 0), 0u) << w.wyjscie;
    EXPECT_EQ(czytaj_plik(pr / "stary.hex"), bajty("stary\n"));
  }
}

// An EEPROM file that holds two runs writes those bytes only, each run from its own 'A':
// the rest of the EEPROM (calibration, serial numbers) keeps its content.
TEST_F(Cli, PartialEepromFileKeepsTheRest) {
  Bajty chip(512);
  for (std::size_t i = 0; i < chip.size(); ++i) chip[i] = static_cast<std::uint8_t>(i * 3 + 1);
  zapisz_plik(pr / "chip.hex", hex_z(chip));
  Symulator s = sim(2, {"--device", "AT90S8515", "--eeprom", pr / "chip.hex"});
  ASSERT_TRUE(s.dziala()) << s.blad();
  zapisz_plik(pr / "czesc.hex",
              rekord(0x100, {0xA1, 0xA2, 0xA3}) + rekord(0x1F0, {0xB1, 0xB2}) + ":00000001FF\r\n");
  const WynikCli w = cli({"--device", "AT90S8515", "program-eeprom", pr / "czesc.hex"});
  EXPECT_EQ(w.status, 0) << w.bledy;
  EXPECT_EQ(w.wyjscie, "Weryfikacja OK!\n");
  s.zatrzymaj();
  Bajty oczekiwane = chip;
  oczekiwane[0x100] = 0xA1;
  oczekiwane[0x101] = 0xA2;
  oczekiwane[0x102] = 0xA3;
  oczekiwane[0x1F0] = 0xB1;
  oczekiwane[0x1F1] = 0xB2;
  EXPECT_EQ(czytaj_plik(pr / "eeprom2.bin"), oczekiwane);
}

// An Ostrel programmer set up as AVR910: it refuses the list of parts ('t') with '?',
// and that is said at once, with the option that fits it, rather than after the answer
// bound as silence.
TEST_F(Cli, WrongTypeIsNamed) {
  int master = -1, slave = -1;
  char nazwa[256] = {};
  ASSERT_EQ(::openpty(&master, &slave, nazwa, nullptr, nullptr), 0);
  ::close(slave);  // only the program under test has the line's end
  std::atomic<bool> koniec{false};
  // A programmer that knows 'S' and answers '?' to everything else.
  std::thread programator([&] {
    while (!koniec) {
      pollfd p{master, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0 || (p.revents & POLLIN) == 0) continue;
      std::uint8_t b = 0;
      if (::read(master, &b, 1) != 1) continue;
      const std::string odp = b == 'S' ? "AVR ISP" : "?";
      (void)!::write(master, odp.data(), odp.size());
    }
  });
  const WynikCli w = cli({"--port", nazwa, "--programmer=avr910", "--device", "AT90S2313",
                          "read-flash", pr / "odczyt.hex"});
  koniec = true;
  programator.join();
  ::close(master);
  EXPECT_EQ(w.status, 3) << w.bledy;
  EXPECT_EQ(w.wyjscie, "Programator odpowiada jak Ostrel: zmień typ programatora\n");
  EXPECT_NE(w.bledy.find("--programmer ostrel"), std::string::npos) << w.bledy;
  EXPECT_FALSE(istnieje(pr / "odczyt.hex"));
}

// A reader that went away (ostrel-cli info | head -c1) ends the program with the line
// settings handed back as they were found.
TEST_F(Cli, ReaderGoneRestoresThePort) {
  Symulator s = sim(2, {"--device", "AT89C2051"});
  ASSERT_TRUE(s.dziala()) << s.blad();
  termios przed{};
  {
    const int fd = ::open(s.pty().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::tcgetattr(fd, &przed), 0);
    przed.c_lflag |= ICANON | ECHO;
    ::cfsetispeed(&przed, B9600);
    ::cfsetospeed(&przed, B9600);
    ASSERT_EQ(::tcsetattr(fd, TCSANOW, &przed), 0);
    ::close(fd);
  }
  // `true` is long gone when the answer is printed: the write meets a closed pipe.
  zapisz_plik(pr / "rura.sh", "XDG_CONFIG_HOME='" + pr.sciezka() + "' '" + OSTREL_CLI +
                                  "' --device=AT89C2051 info 2>/dev/null | true\n"
                                  "echo ${PIPESTATUS[0]}\n");
  const std::string wywolanie = "bash '" + (pr / "rura.sh") + "'";
  FILE* f = ::popen(wywolanie.c_str(), "r");
  ASSERT_NE(f, nullptr);
  char bufor[64] = {};
  const bool przeczytano = std::fgets(bufor, sizeof bufor, f) != nullptr;
  ::pclose(f);
  ASSERT_TRUE(przeczytano);
  EXPECT_EQ(std::string(bufor), std::to_string(128 + SIGPIPE) + "\n");
  termios po{};
  const int fd = ::open(s.pty().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::tcgetattr(fd, &po), 0);
  ::close(fd);
  EXPECT_TRUE(po.c_lflag & ICANON);
  EXPECT_TRUE(po.c_lflag & ECHO);
  EXPECT_EQ(::cfgetospeed(&po), static_cast<speed_t>(B9600));
}

// Every option with a value takes it after '=' as well; a switch takes none.
TEST_F(Cli, OptionEqualsValue) {
  Symulator s = sim(2, {"--device", "AT90S8515"});
  ASSERT_TRUE(s.dziala()) << s.blad();
  const WynikCli w = cli({"--device=AT90S8515", "--port=2", "--programmer=ostrel", "--baud=19200",
                          "--fuse1=on", "--fuse2=off", "write-lock", "0"});
  // Through to the programmer (whose mode refuses the fuses): no option was refused.
  EXPECT_EQ(w.bledy.find("nieznana opcja"), std::string::npos) << w.bledy;
  EXPECT_NE(w.bledy.find("PAR16"), std::string::npos) << w.bledy;
  EXPECT_EQ(cli({"--force=tak", "detect"}).status, 2);
}

// parts names avr910 for a row only when an AVR910 firmware's list of parts holds one of
// its codes: a row it never lists would be offered and then refused on every call.
TEST_F(Cli, PartsOffersAvr910OnlyForRowsItsFirmwareLists) {
  Symulator s = sim(2, {"--firmware", "avr910", "--device", "AT90S2313"});
  ASSERT_TRUE(s.dziala()) << s.blad();
  Bajty lista;
  {
    KlientPty k(s.pty());
    ASSERT_TRUE(k.otwarty());
    lista = k.polecenie({'t'}, 1);
    ASSERT_EQ(lista.size(), 1u);
    const Bajty reszta = k.czytaj_do_ciszy();
    lista.insert(lista.end(), reszta.begin(), reszta.end());
  }
  s.zatrzymaj();
  const WynikCli w = cli({"parts"});
  ASSERT_EQ(w.status, 0) << w.bledy;
  const std::string wyjscie = "\n" + w.wyjscie;
  for (const Uklad& u : kUklady) {
    const std::string nazwa = nazwa_krotka(u) + ": ";
    const std::size_t od = wyjscie.find("\n" + nazwa) + 1;
    ASSERT_NE(od, 0u) << nazwa;
    const std::string linia = wyjscie.substr(od, wyjscie.find('\n', od) - od);
    bool na_liscie = false;
    for (std::size_t i = 0; i < u.kody_avr910.ile; ++i) {
      na_liscie =
          na_liscie || std::find(lista.begin(), lista.end(), u.kody_avr910.kody[i]) != lista.end();
    }
    EXPECT_EQ(linia.find("avr910") != std::string::npos, na_liscie) << linia;
  }
}

}  // namespace
}  // namespace ostrel::test
