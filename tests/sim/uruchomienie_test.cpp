// The simulator as a process: options, files, the comN link, signals, the wire log,
// the injected faults, the timing model and a host that opens and closes the port.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <regex>

#include "common/symulator.h"

namespace ostrel::test {
namespace {

constexpr std::uint8_t CR = 13;
using Zegar = std::chrono::steady_clock;

double ms_od(Zegar::time_point t) {
  return std::chrono::duration<double, std::milli>(Zegar::now() - t).count();
}

Bajty wczytaj(const std::string& plik) {
  std::ifstream f(plik, std::ios::binary);
  return Bajty((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void zapisz(const std::string& plik, const std::string& tresc) {
  std::ofstream f(plik, std::ios::binary);
  f << tresc;
}

// Runs the simulator to its end with `argumenty`; returns the exit status and stdout.
int uruchom_do_konca(const std::vector<std::string>& argumenty, std::string& wyjscie) {
  std::string polecenie = std::string(kProgramSymulatora);
  for (const auto& a : argumenty) polecenie += " '" + a + "'";
  polecenie += " 2>/dev/null";
  FILE* f = ::popen(polecenie.c_str(), "r");
  if (f == nullptr) return -1;
  char bufor[256];
  while (std::fgets(bufor, sizeof bufor, f) != nullptr) wyjscie += bufor;
  const int stan = ::pclose(f);
  return WIFEXITED(stan) ? WEXITSTATUS(stan) : -1;
}

TEST(SymulatorProces, FlashAndEepromLoadFromHexAndDumpAtExit) {
  KatalogTymczasowy k;
  // Two data records at 0x0000 and 0x0010 leave a hole that reads 0xFF.
  zapisz(k / "f.hex",
         ":0400000012345678E8\r\n"
         ":02001000ABCD76\r\n"
         ":00000001FF\r\n");
  zapisz(k / "e.eep", ":03000200010203F5\r\n:00000001FF\r\n");
  Symulator sim({"--device", "AT90S2313", "--flash", k / "f.hex", "--eeprom", k / "e.eep",
                 "--dump-flash", k / "f.bin", "--dump-eeprom", k / "e.bin"});
  ASSERT_TRUE(sim.dziala()) << sim.blad();
  {
    KlientPty port(sim.pty());
    ASSERT_EQ(port.polecenie({'P'}, 1), Bajty{CR});
    EXPECT_EQ(port.polecenie({'R'}, 2), (Bajty{0x34, 0x12}));
    EXPECT_EQ(port.polecenie({'R'}, 2), (Bajty{0x78, 0x56}));
    EXPECT_EQ(port.polecenie({'d', 'd', 'd', 'd'}, 4), (Bajty{0xFF, 0xFF, 0x01, 0x02}));
    // Programming on top of the loaded image.
    ASSERT_EQ(port.polecenie({'A', 0x00, 0x09}, 1), Bajty{CR});
    ASSERT_EQ(port.polecenie({'c', 0x00}, 1), Bajty{CR});
  }
  ASSERT_EQ(sim.zatrzymaj(SIGINT), 0);
  const Bajty f = wczytaj(k / "f.bin");
  ASSERT_EQ(f.size(), 2048u);
  Bajty oczekiwany(2048, 0xFF);
  const std::uint8_t dane[] = {0x12, 0x34, 0x56, 0x78};
  std::copy(dane, dane + 4, oczekiwany.begin());
  oczekiwany[0x10] = 0xAB;
  oczekiwany[0x11] = 0xCD;
  oczekiwany[0x12] = 0x00;  // word 9, low byte
  EXPECT_EQ(f, oczekiwany);
  const Bajty e = wczytaj(k / "e.bin");
  ASSERT_EQ(e.size(), 128u);
  EXPECT_EQ(e[2], 0x01);
  EXPECT_EQ(e[4], 0x03);
  EXPECT_EQ(e[5], 0xFF);
}

TEST(SymulatorProces, BadStartsAreRefusedWithoutAPty) {
  KatalogTymczasowy k;
  zapisz(k / "zly.hex", ":0400000012345678E9\r\n:00000001FF\r\n");  // wrong checksum
  // 0x0800 + 2 bytes: beyond the AT90S1200's 1 KB of flash.
  zapisz(k / "duzy.hex", ":02080000AABB91\r\n:00000001FF\r\n");
  const std::vector<std::vector<std::string>> kZle = {
      {"--device", "AT90S9999"},
      {"--device", "AT90S2313", "--flash", k / "zly.hex"},
      {"--device", "AT90S1200", "--flash", k / "duzy.hex"},
      {"--device", "AT90S2313", "--flash", k / "brak.hex"},
      {"--mode", "X"},
      {"--sw-version", "123"},
      {"--baud"},
      {"--garbage-every", "0"},
      {"--latency", "-5"},
      {"--firmware", "avr911"},
      {"--power-up-address", "0x10000"},
      {"--power-up-code", "256"},
      {"--busy-scale", "-1"},
      {"--bogus"},
  };
  for (const auto& argumenty : kZle) {
    std::string wyjscie;
    EXPECT_EQ(uruchom_do_konca(argumenty, wyjscie), 2) << argumenty.back();
    EXPECT_EQ(wyjscie.find("PTY"), std::string::npos) << argumenty.back();
  }
  std::string pomoc;
  EXPECT_EQ(uruchom_do_konca({"--help"}, pomoc), 0);
  EXPECT_NE(pomoc.find("--hangup-after"), std::string::npos);
}

// The entries of a folder, sorted.
std::vector<std::string> zawartosc(const std::string& katalog) {
  std::vector<std::string> nazwy;
  for (const auto& w : std::filesystem::directory_iterator(katalog)) {
    nazwy.push_back(w.path().filename().string());
  }
  std::sort(nazwy.begin(), nazwy.end());
  return nazwy;
}

// Runs the simulator with XDG_CONFIG_HOME=`konfiguracja` until it ends on its own;
// standard output and error together.
int uruchom_w(const std::string& konfiguracja, const std::vector<std::string>& argumenty,
              std::string& wyjscie) {
  std::string polecenie = "XDG_CONFIG_HOME='" + konfiguracja + "' " + kProgramSymulatora;
  for (const auto& a : argumenty) {
    polecenie += " '";
    polecenie += a;
    polecenie += "'";
  }
  polecenie += " 2>&1";
  FILE* f = ::popen(polecenie.c_str(), "r");
  if (f == nullptr) return -1;
  char bufor[512];
  while (std::fgets(bufor, sizeof bufor, f) != nullptr) wyjscie += bufor;
  const int stan = ::pclose(f);
  return WIFEXITED(stan) ? WEXITSTATUS(stan) : -1;
}

TEST(SymulatorProces, ComLinkIsCreatedReplacedAndRemoved) {
  KatalogTymczasowy konfiguracja;
  const std::string katalog = konfiguracja / "ostrel";
  const std::string lacze = katalog + "/com3";
  // The user's own com3, pointing at an adapter: refused, left as it was.
  ::mkdir(katalog.c_str(), 0755);
  ASSERT_EQ(::symlink("/dev/ttyUSB7", lacze.c_str()), 0);
  std::string wyjscie;
  EXPECT_EQ(uruchom_w(konfiguracja.sciezka(), {"--com", "3"}, wyjscie), 2);
  EXPECT_EQ(wyjscie.find("PTY"), std::string::npos) << wyjscie;
  EXPECT_NE(wyjscie.find("com3 -> /dev/ttyUSB7 exists and was not made by ostrel-sim"),
            std::string::npos)
      << wyjscie;
  EXPECT_EQ(std::filesystem::read_symlink(lacze).string(), "/dev/ttyUSB7");
  EXPECT_EQ(zawartosc(katalog), (std::vector<std::string>{"com3"}));

  // --replace takes it for the run and puts it back at exit.
  {
    Symulator sim({"--com", "3", "--replace"}, kProgramSymulatora, konfiguracja.sciezka());
    ASSERT_TRUE(sim.dziala()) << sim.blad();
    EXPECT_EQ(std::filesystem::read_symlink(lacze).string(), sim.pty());
    KlientPty port(lacze);  // the host opens the link like a port
    ASSERT_TRUE(port.otwarty());
    EXPECT_EQ(port.polecenie({'S'}, 7), bajty("AVR ISP"));
    port.zamknij();
    EXPECT_EQ(sim.zatrzymaj(SIGTERM), 0);
    EXPECT_EQ(std::filesystem::read_symlink(lacze).string(), "/dev/ttyUSB7");
    EXPECT_EQ(zawartosc(katalog), (std::vector<std::string>{"com3"}));
  }

  // A simulator that was killed leaves its link; the next one takes it over without
  // --replace and, at its own exit, still puts back the user's link from before.
  {
    Symulator zabity({"--com", "3", "--replace"}, kProgramSymulatora, konfiguracja.sciezka());
    ASSERT_TRUE(zabity.dziala()) << zabity.blad();
    EXPECT_EQ(zabity.zatrzymaj(SIGKILL), 128 + SIGKILL);
    EXPECT_EQ(std::filesystem::read_symlink(lacze).string(), zabity.pty());
    Symulator nastepny({"--com", "3"}, kProgramSymulatora, konfiguracja.sciezka());
    ASSERT_TRUE(nastepny.dziala()) << nastepny.blad();
    EXPECT_EQ(std::filesystem::read_symlink(lacze).string(), nastepny.pty());
    EXPECT_EQ(nastepny.zatrzymaj(), 0);
    EXPECT_EQ(std::filesystem::read_symlink(lacze).string(), "/dev/ttyUSB7");
    EXPECT_EQ(zawartosc(katalog), (std::vector<std::string>{"com3"}));
  }

  // A link that another simulator took over meanwhile is left alone; no link before
  // means none after.
  {
    Symulator pierwszy({"--com", "4"}, kProgramSymulatora, konfiguracja.sciezka());
    ASSERT_TRUE(pierwszy.dziala()) << pierwszy.blad();
    Symulator drugi({"--com", "4"}, kProgramSymulatora, konfiguracja.sciezka());
    ASSERT_TRUE(drugi.dziala()) << drugi.blad();
    const std::string lacze4 = katalog + "/com4";
    EXPECT_EQ(std::filesystem::read_symlink(lacze4).string(), drugi.pty());
    EXPECT_EQ(pierwszy.zatrzymaj(SIGINT), 0);
    EXPECT_EQ(std::filesystem::read_symlink(lacze4).string(), drugi.pty());
    EXPECT_EQ(drugi.zatrzymaj(), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(lacze4));
    EXPECT_EQ(zawartosc(katalog), (std::vector<std::string>{"com3"}));
  }
}

// Runs a shell command to its end, at most 20 s (a simulator that wrongly starts is
// stopped, status 124); standard output and error together.
int w_powloce(const std::string& polecenie, std::string& wyjscie) {
  FILE* f = ::popen(("timeout 20 sh -c \"" + polecenie + "\" 2>&1").c_str(), "r");
  if (f == nullptr) return -1;
  char bufor[512];
  while (std::fgets(bufor, sizeof bufor, f) != nullptr) wyjscie += bufor;
  const int stan = ::pclose(f);
  return WIFEXITED(stan) ? WEXITSTATUS(stan) : -1;
}

// The user's link comes back however the run ends, and only the user's link: a hang-up
// puts it back like SIGTERM; a copy a killed run kept never returns over a link the user
// has removed since; and a leftover record does not make the user's own link (one that
// happens to lead where a dead simulator's did) the simulator's to take or remove.
TEST(SymulatorProces, UsersLinkSurvivesHangupKillAndLeftoverRecords) {
  KatalogTymczasowy konfiguracja;
  const std::string katalog = konfiguracja / "ostrel";
  const std::string lacze = katalog + "/com3";
  ::mkdir(katalog.c_str(), 0755);
  ASSERT_EQ(::symlink("/dev/ttyUSB7", lacze.c_str()), 0);
  {
    Symulator sim({"--com", "3", "--replace"}, kProgramSymulatora, konfiguracja.sciezka());
    ASSERT_TRUE(sim.dziala()) << sim.blad();
    EXPECT_EQ(sim.zatrzymaj(SIGHUP), 0);
    EXPECT_EQ(std::filesystem::read_symlink(lacze).string(), "/dev/ttyUSB7");
    EXPECT_EQ(zawartosc(katalog), (std::vector<std::string>{"com3"}));
  }
  // Killed; the user then removes the dead link. The next run starts on a free name and
  // leaves none behind.
  {
    Symulator zabity({"--com", "3", "--replace"}, kProgramSymulatora, konfiguracja.sciezka());
    ASSERT_TRUE(zabity.dziala()) << zabity.blad();
    EXPECT_EQ(zabity.zatrzymaj(SIGKILL), 128 + SIGKILL);
    ASSERT_EQ(::unlink(lacze.c_str()), 0);
    Symulator nastepny({"--com", "3"}, kProgramSymulatora, konfiguracja.sciezka());
    ASSERT_TRUE(nastepny.dziala()) << nastepny.blad();
    EXPECT_EQ(nastepny.zatrzymaj(), 0);
    EXPECT_TRUE(zawartosc(katalog).empty()) << testing::PrintToString(zawartosc(katalog));
  }
  // Killed over the user's link; the user then makes a link of their own to the very pty
  // path the dead run recorded.
  ASSERT_EQ(::symlink("/dev/ttyUSB7", lacze.c_str()), 0);
  Symulator zabity({"--com", "3", "--replace"}, kProgramSymulatora, konfiguracja.sciezka());
  ASSERT_TRUE(zabity.dziala()) << zabity.blad();
  EXPECT_EQ(zabity.zatrzymaj(SIGKILL), 128 + SIGKILL);
  ASSERT_EQ(::unlink(lacze.c_str()), 0);
  ::usleep(20000);  // a new link, not one made within the same clock tick
  ASSERT_EQ(::symlink(zabity.pty().c_str(), lacze.c_str()), 0);
  std::string wyjscie;
  EXPECT_EQ(w_powloce("XDG_CONFIG_HOME='" + konfiguracja.sciezka() + "' " + kProgramSymulatora +
                          " --com 3",
                      wyjscie),
            2);
  EXPECT_NE(wyjscie.find("com3 -> " + zabity.pty() + " exists and was not made by ostrel-sim"),
            std::string::npos)
      << wyjscie;
  {
    Symulator sim({"--com", "3", "--replace"}, kProgramSymulatora, konfiguracja.sciezka());
    ASSERT_TRUE(sim.dziala()) << sim.blad();
    EXPECT_EQ(sim.zatrzymaj(), 0);
  }
  EXPECT_EQ(std::filesystem::read_symlink(lacze).string(), zabity.pty());
  EXPECT_EQ(zawartosc(katalog), (std::vector<std::string>{"com3"}));

  // No configuration folder to be found: a clear refusal, no pty.
  wyjscie.clear();
  EXPECT_EQ(w_powloce("cd '" + konfiguracja.sciezka() + "' && env -u HOME XDG_CONFIG_HOME=wzgl " +
                          kProgramSymulatora + " --com 1",
                      wyjscie),
            2);
  EXPECT_FALSE(std::filesystem::exists(konfiguracja / "wzgl")) << "a folder relative to the cwd";
  EXPECT_NE(wyjscie.find("neither XDG_CONFIG_HOME nor HOME is an absolute path"), std::string::npos)
      << wyjscie;
}

TEST(SymulatorProces, LogHasOneLinePerByteWithTimeDirectionHexAndCharacter) {
  KatalogTymczasowy k;
  Symulator sim({"--device", "AT90S8515", "--log", k / "wire.log"});
  ASSERT_TRUE(sim.dziala()) << sim.blad();
  {
    KlientPty port(sim.pty());
    ASSERT_EQ(port.polecenie({'S'}, 7), bajty("AVR ISP"));
    ASSERT_EQ(port.polecenie({'A', 0x00, 0x20}, 1), Bajty{CR});
  }
  ASSERT_EQ(sim.zatrzymaj(), 0);

  std::ifstream f(k / "wire.log");
  std::string linia;
  std::vector<std::string> bajtowe;
  while (std::getline(f, linia)) {
    if (linia.rfind("#", 0) != 0) bajtowe.push_back(linia);
  }
  ASSERT_EQ(bajtowe.size(), 1u + 7u + 3u + 1u);
  const std::regex kLinia(R"(^\d+\.\d{3} [<>] [0-9A-F]{2}( [!-~])?$)");
  for (const auto& l : bajtowe) EXPECT_TRUE(std::regex_match(l, kLinia)) << l;
  EXPECT_NE(bajtowe[0].find(" < 53 S"), std::string::npos) << bajtowe[0];
  EXPECT_NE(bajtowe[1].find(" > 41 A"), std::string::npos) << bajtowe[1];
  EXPECT_TRUE(bajtowe[4].ends_with(" > 20")) << bajtowe[4];  // the blank: no character
  EXPECT_TRUE(bajtowe[9].ends_with(" < 00")) << bajtowe[9];
  EXPECT_TRUE(bajtowe[11].ends_with(" > 0D")) << bajtowe[11];

  const auto wpisy = czytaj_dziennik(k / "wire.log");
  EXPECT_EQ(bajty_dziennika(wpisy, '<'), (Bajty{'S', 'A', 0x00, 0x20}));
  Bajty wy = bajty("AVR ISP");
  wy.push_back(CR);
  EXPECT_EQ(bajty_dziennika(wpisy, '>'), wy);
  for (std::size_t i = 1; i < wpisy.size(); ++i) EXPECT_LE(wpisy[i - 1].ms, wpisy[i].ms);
}

TEST(SymulatorProces, SilentAnswersNothingButStillListens) {
  KatalogTymczasowy k;
  Symulator sim({"--silent", "--log", k / "wire.log"});
  ASSERT_TRUE(sim.dziala()) << sim.blad();
  {
    KlientPty port(sim.pty());
    port.wyslij({'S', 'V', 'P'});
    EXPECT_TRUE(port.czytaj_do_ciszy(300).empty());
  }
  ASSERT_EQ(sim.zatrzymaj(), 0);
  const auto wpisy = czytaj_dziennik(k / "wire.log");
  EXPECT_EQ(bajty_dziennika(wpisy, '<'), bajty("SVP"));
  EXPECT_TRUE(bajty_dziennika(wpisy, '>').empty());
}

TEST(SymulatorProces, StopAfterAnswersThatManyCommandsThenFallsSilent) {
  Symulator sim({"--stop-after", "3"});
  ASSERT_TRUE(sim.dziala()) << sim.blad();
  KlientPty port(sim.pty());
  EXPECT_EQ(port.polecenie({'P'}, 1), Bajty{CR});
  EXPECT_EQ(port.polecenie({'A', 0x00, 0x01}, 1), Bajty{CR});  // arguments are not commands
  EXPECT_EQ(port.polecenie({'V'}, 2), bajty("12"));
  port.wyslij({'V'});
  EXPECT_TRUE(port.czytaj_do_ciszy(300).empty());
  port.wyslij({'S'});
  EXPECT_TRUE(port.czytaj_do_ciszy(300).empty());
}

TEST(SymulatorProces, HangupAfterClosesThePtyLikeAnUnpluggedAdapter) {
  Symulator sim({"--hangup-after", "2", "--com", "1"});
  ASSERT_TRUE(sim.dziala()) << sim.blad();
  KlientPty port(sim.pty());
  ASSERT_TRUE(port.otwarty());
  EXPECT_EQ(port.polecenie({'P'}, 1), Bajty{CR});
  EXPECT_EQ(port.polecenie({'S'}, 7), bajty("AVR ISP"));  // the second is still answered
  // The host now sees a hang-up: poll reports it and reads fail or give end of file.
  pollfd p{port.fd(), POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 10000), 1);
  EXPECT_NE(p.revents & (POLLHUP | POLLERR), 0);
  std::uint8_t b;
  EXPECT_LE(::read(port.fd(), &b, 1), 0);
  port.zamknij();
  // Nothing is there to reopen, by the pty path or by the link.
  EXPECT_FALSE(KlientPty(sim.pty()).otwarty());
  EXPECT_FALSE(KlientPty(sim.lacze(1)).otwarty());
  // The process stays until it is told to go, and cleans up then.
  EXPECT_TRUE(sim.zyje());
  EXPECT_EQ(sim.zatrzymaj(), 0);
  EXPECT_FALSE(std::filesystem::is_symlink(sim.lacze(1)));
}

TEST(SymulatorProces, GarbageEveryPutsAStrayByteBeforeEveryNthAnswer) {
  Symulator sim({"--garbage-every", "2"});
  ASSERT_TRUE(sim.dziala()) << sim.blad();
  KlientPty port(sim.pty());
  EXPECT_EQ(port.polecenie({'P'}, 1), Bajty{CR});
  EXPECT_EQ(port.polecenie({'P'}, 2), (Bajty{0xA5, CR}));
  EXPECT_EQ(port.polecenie({'V'}, 2), bajty("12"));
  EXPECT_EQ(port.polecenie({'S'}, 8), (Bajty{0xA5, 'A', 'V', 'R', ' ', 'I', 'S', 'P'}));
  EXPECT_TRUE(port.czytaj_do_ciszy(50).empty());
}

TEST(SymulatorProces, IdentGapPausesBetweenTheThirdAndFourthCharacter) {
  KatalogTymczasowy k;
  Symulator sim({"--ident-gap-ms", "200", "--log", k / "wire.log"});
  ASSERT_TRUE(sim.dziala()) << sim.blad();
  {
    KlientPty port(sim.pty());
    const auto t = Zegar::now();
    EXPECT_EQ(port.polecenie({'S'}, 7), bajty("AVR ISP"));
    EXPECT_GE(ms_od(t), 190.0);
    // Other answers are not delayed by it (no upper bound asserted: the log shows it).
    EXPECT_EQ(port.polecenie({'V'}, 2), bajty("12"));
  }
  ASSERT_EQ(sim.zatrzymaj(), 0);
  const auto wpisy = czytaj_dziennik(k / "wire.log");
  std::vector<double> wy;
  for (const auto& w : wpisy) {
    if (w.kierunek == '>') wy.push_back(w.ms);
  }
  ASSERT_EQ(wy.size(), 9u);
  EXPECT_GE(wy[3] - wy[2], 199.0);
  EXPECT_LT(wy[2] - wy[0], wy[3] - wy[2]);
}

TEST(SymulatorProces, TimingModelPacesTheLineAndDelaysAnswers) {
  // 1200 baud: 8.33 ms per character. 'S' (1 in) and "AVR ISP" (7 out) need 66.7 ms.
  {
    KatalogTymczasowy k;
    Symulator sim({"--baud", "1200", "--log", k / "wire.log"});
    ASSERT_TRUE(sim.dziala()) << sim.blad();
    {
      KlientPty port(sim.pty());
      const auto t = Zegar::now();
      EXPECT_EQ(port.polecenie({'S'}, 7), bajty("AVR ISP"));
      EXPECT_GE(ms_od(t), 66.0);
    }
    ASSERT_EQ(sim.zatrzymaj(), 0);
    const auto wpisy = czytaj_dziennik(k / "wire.log");
    ASSERT_EQ(wpisy.size(), 8u);
    // Each character leaves at least one character time after the previous one.
    for (std::size_t i = 1; i < wpisy.size(); ++i) {
      EXPECT_GE(wpisy[i].ms - wpisy[i - 1].ms, 8.3) << i;
    }
  }
  // --latency delays every answer; --write-ms only the acknowledgements of writes.
  {
    Symulator sim({"--device", "AT90S8515", "--latency", "60", "--write-ms", "150"});
    ASSERT_TRUE(sim.dziala()) << sim.blad();
    KlientPty port(sim.pty());
    auto t = Zegar::now();
    EXPECT_EQ(port.polecenie({'P'}, 1), Bajty{CR});
    EXPECT_GE(ms_od(t), 59.0);
    t = Zegar::now();
    EXPECT_EQ(port.polecenie({'c', 0x00}, 1), Bajty{CR});
    EXPECT_GE(ms_od(t), 209.0);
    t = Zegar::now();
    EXPECT_EQ(port.polecenie({'D', 0x00}, 1), Bajty{CR});
    EXPECT_GE(ms_od(t), 209.0);
  }
}

TEST(SymulatorProces, SurvivesManyOpensAndClosesByTheHost) {
  Symulator sim({"--device", "AT90S8515", "--com", "2"});
  ASSERT_TRUE(sim.dziala()) << sim.blad();
  for (int i = 0; i < 100; ++i) {
    KlientPty port(i % 2 ? sim.pty() : sim.lacze(2));
    ASSERT_TRUE(port.otwarty()) << i;
    ASSERT_EQ(port.polecenie({'S'}, 7), bajty("AVR ISP")) << i;
  }
  EXPECT_TRUE(sim.zyje());
  EXPECT_EQ(sim.zatrzymaj(), 0);
}

TEST(SymulatorProces, WhatTheHostLeftUnreadIsGoneWhenItReopens) {
  Symulator sim({"--device", "AT90S8515"});
  ASSERT_TRUE(sim.dziala()) << sim.blad();
  {
    KlientPty port(sim.pty());
    // A closing 'L' whose answer is never read, and half a command.
    ASSERT_TRUE(port.wyslij({'V', 'L', 'A', 0x00}));
    ::usleep(100000);
  }
  ::usleep(300000);  // the simulator notices the close
  KlientPty port(sim.pty());
  EXPECT_EQ(port.polecenie({'S'}, 7), bajty("AVR ISP"));
  EXPECT_TRUE(port.czytaj_do_ciszy(50).empty());
}

TEST(SymulatorProces, SigintAndSigtermEndItCleanly) {
  for (int sygnal : {SIGINT, SIGTERM}) {
    KatalogTymczasowy k;
    Symulator sim({"--device", "AT89S8252", "--dump-eeprom", k / "e.bin", "--com", "5"});
    ASSERT_TRUE(sim.dziala()) << sim.blad();
    KlientPty port(sim.pty());  // a host still holding the port does not keep it alive
    EXPECT_EQ(port.polecenie({'D', 0x5A}, 1), Bajty{CR});
    EXPECT_EQ(sim.zatrzymaj(sygnal), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(sim.lacze(5)));
    const Bajty e = wczytaj(k / "e.bin");
    ASSERT_EQ(e.size(), 2048u);
    EXPECT_EQ(e[0], 0x5A);
  }
}

}  // namespace
}  // namespace ostrel::test
