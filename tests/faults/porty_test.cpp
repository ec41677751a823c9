// COM links that lead nowhere, to an ordinary file or to a port another process holds:
// the search passes over them quickly, writes nothing into them, and finds a working
// programmer behind another link.
#include <gtest/gtest.h>
#include <sys/file.h>

#include <filesystem>
#include <string>
#include <thread>

#include "pomoc.h"

namespace ostrel::test {
namespace {

namespace fs = std::filesystem;

// A configuration folder whose comN links are set by the test.
class Lacza {
 public:
  Lacza() { fs::create_directories(katalog_ / "ostrel"); }
  void ustaw(int n, const std::string& cel) {
    const std::string lacze = katalog_ / ("ostrel/com" + std::to_string(n));
    std::error_code ec;
    fs::remove(lacze, ec);
    fs::create_symlink(cel, lacze);
  }
  const std::string& sciezka() const { return katalog_.sciezka(); }
  std::string plik(const std::string& nazwa) const { return katalog_ / nazwa; }

 private:
  KatalogTymczasowy katalog_;
};

// Holds a terminal the way another program using the port would: an exclusive flock.
class Trzymacz {
 public:
  explicit Trzymacz(const std::string& sciezka)
      : fd_(::open(sciezka.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    if (fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~Trzymacz() {
    if (fd_ >= 0) ::close(fd_);
  }
  Trzymacz(const Trzymacz&) = delete;
  Trzymacz& operator=(const Trzymacz&) = delete;
  bool trzyma() const { return fd_ >= 0; }

 private:
  int fd_;
};

TEST(LaczaCom, EachBadLinkAloneMeansNoProgrammer) {
  Lacza lacza;
  const std::string zwykly = lacza.plik("zwykly_plik");
  zapisz_plik(zwykly, "nie jestem portem");
  KatalogTymczasowy sim_folder;
  Symulator zajety({"--device", "AT90S8515", "--log", sim_folder / "wire.log"});
  ASSERT_TRUE(zajety.dziala()) << zajety.blad();
  Trzymacz trzymacz(zajety.pty());
  ASSERT_TRUE(trzymacz.trzyma());

  const struct {
    const char* opis;
    std::string cel;
  } przypadki[] = {
      {"nowhere", "/nonexistent/ostrel-no-port"},
      {"a regular file", zwykly},
      {"a folder", lacza.sciezka()},
      {"a port held by another process", zajety.pty()},
  };
  for (const auto& p : przypadki) {
    SCOPED_TRACE(p.opis);
    lacza.ustaw(2, p.cel);
    for (const char* polecenie : {"detect", "info"}) {
      const Przebieg r = uruchom_cli({"--port", "2", polecenie}, lacza.sciezka());
      ASSERT_FALSE(r.zawieszony);
      EXPECT_EQ(r.status, 3) << polecenie;
      EXPECT_EQ(r.wyjscie, kBrakProgramatora) << polecenie;
      EXPECT_LE(r.sekundy, kGranicaCiszy + kZapas) << polecenie;
    }
  }
  EXPECT_EQ(czytaj_plik(zwykly), bajty("nie jestem portem"));
  zajety.zatrzymaj();
  EXPECT_TRUE(czytaj_dziennik(sim_folder / "wire.log").empty()) << "a held port gets no bytes";
}

// The search over COM1..COM4 passes every bad link and uses the one that answers.
TEST(LaczaCom, SearchPassesBadLinksAndFindsTheProgrammer) {
  Lacza lacza;
  const std::string zwykly = lacza.plik("zwykly_plik");
  zapisz_plik(zwykly, "AVR ISP");  // even a file holding the answer is no programmer
  Symulator zajety({"--device", "AT90S8515"});
  ASSERT_TRUE(zajety.dziala()) << zajety.blad();
  Trzymacz trzymacz(zajety.pty());
  ASSERT_TRUE(trzymacz.trzyma());
  Symulator dobry({"--device", "AT90S8515"}, kProgramSymulatora, lacza.sciezka());
  ASSERT_TRUE(dobry.dziala()) << dobry.blad();

  // Each bad kind of link sits once above the working port; the search takes the
  // highest port that answers.
  lacza.ustaw(1, dobry.pty());
  lacza.ustaw(2, "/nonexistent/ostrel-no-port");
  lacza.ustaw(3, zwykly);
  lacza.ustaw(4, zajety.pty());
  const Przebieg r = uruchom_cli({"--device", "AT90S8515", "info"}, lacza.sciezka());
  ASSERT_FALSE(r.zawieszony);
  EXPECT_EQ(r.status, 0) << r.wyjscie;
  EXPECT_EQ(r.bledy.rfind("Znaleziono programator na com1", 0), 0u) << r.bledy;
  EXPECT_NE(r.wyjscie.find("Sygnatura: 1E 93 01"), std::string::npos) << r.wyjscie;
  EXPECT_EQ(czytaj_plik(zwykly), bajty("AVR ISP"));
}

// Two instances of the program on one port: the second is turned away at once and the
// first finishes its work undisturbed.
TEST(LaczaCom, SecondProgramOnABusyPortIsTurnedAway) {
  KatalogTymczasowy pliki;
  const Bajty obraz = wzor(512, 21);
  zapisz_plik(pliki / "eeprom.hex", hex_obrazu(obraz));
  // A 2 ms latency per answer keeps the first program busy for a few seconds.
  const std::string dziennik = pliki / "wire.log";
  Symulator sim({"--device", "AT90S8515", "--com", "2", "--latency", "2", "--log", dziennik,
                 "--dump-eeprom", pliki / "eeprom.bin"});
  ASSERT_TRUE(sim.dziala()) << sim.blad();
  Przebieg pierwszy;
  std::thread watek([&] {
    pierwszy = uruchom_cli(
        {"--port", "2", "--device", "AT90S8515", "program-eeprom", pliki / "eeprom.hex"},
        sim.konfiguracja());
  });
  // Once the EEPROM bytes flow, the first program holds the port. (Watching the log
  // rather than trying the port keeps this side from ever holding it at the wrong time.)
  bool zajety = false;
  for (int i = 0; i < 1200 && !zajety; ++i) {
    ::usleep(25000);
    const Bajty host = bajty_dziennika(czytaj_dziennik(dziennik), '<');
    zajety = std::count(host.begin(), host.end(), 'D') > 20;
  }
  Przebieg drugi;
  if (zajety) drugi = uruchom_cli({"--port", "2", "detect"}, sim.konfiguracja());
  watek.join();
  ASSERT_TRUE(zajety) << "the first program never got under way";
  EXPECT_EQ(drugi.status, 3);
  EXPECT_EQ(drugi.wyjscie, kBrakProgramatora);
  EXPECT_EQ(pierwszy.status, 0) << pierwszy.wyjscie;
  EXPECT_EQ(pierwszy.wyjscie, "Weryfikacja OK!\n");
  sim.zatrzymaj();
  EXPECT_EQ(czytaj_plik(pliki / "eeprom.bin"), obraz);
}

}  // namespace
}  // namespace ostrel::test
