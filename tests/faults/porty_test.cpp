// COM links that lead nowhere, to an ordinary file or to a port another process holds:
// the search passes over them quickly, writes nothing into them, and finds a working
// programmer behind another link. A port that exists but cannot be opened is explained
// on standard error; `ports` shows how COM1..COM4 map.
#include <grp.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/inotify.h>

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

// The user can mend each of them: a port that cannot be used, not a silent programmer.
TEST(LaczaCom, EachBadLinkAloneIsAPortThatCannotBeUsed) {
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
      const Przebieg r =
          uruchom_cli({"--port", "2", "--device", "AT90S8515", polecenie}, lacza.sciezka());
      ASSERT_FALSE(r.zawieszony);
      EXPECT_EQ(r.status, 4) << polecenie;
      EXPECT_EQ(r.bledy.rfind("ostrel-cli: com2", 0), 0u) << r.bledy;
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
  EXPECT_EQ(drugi.status, 4);
  EXPECT_EQ(drugi.wyjscie, kBrakProgramatora);
  EXPECT_EQ(pierwszy.status, 0) << pierwszy.wyjscie;
  EXPECT_EQ(pierwszy.wyjscie, "Weryfikacja OK!\n");
  sim.zatrzymaj();
  EXPECT_EQ(czytaj_plik(pliki / "eeprom.bin"), obraz);
}

// A held port: the search's texts stay as they are, and standard error says which
// device, that another program holds it, and which one.
TEST(LaczaCom, BusyPortIsExplained) {
  KatalogTymczasowy pliki;
  Symulator sim({"--device", "AT90S8515", "--com", "2", "--log", pliki / "wire.log"});
  ASSERT_TRUE(sim.dziala()) << sim.blad();
  Trzymacz trzymacz(sim.pty());
  ASSERT_TRUE(trzymacz.trzyma());
  const std::string kto = "(PID " + std::to_string(::getpid()) + ")";
  const struct {
    std::string port, nazwa;  // --port value, the name the explanation starts with
  } przypadki[] = {
      {"2", "com2 (" + sim.lacze(2) + ")"},
      {sim.pty(), sim.pty()},
  };
  for (const auto& p : przypadki) {
    SCOPED_TRACE(p.port);
    const Przebieg r = uruchom_cli({"--port", p.port, "detect"}, sim.konfiguracja());
    EXPECT_EQ(r.status, 4);
    EXPECT_EQ(r.wyjscie, kBrakProgramatora);
    const std::string oczekiwany = "ostrel-cli: " + p.nazwa + ": port zajęty przez inny program: ";
    EXPECT_EQ(r.bledy.rfind(oczekiwany, 0), 0u) << r.bledy;
    EXPECT_NE(r.bledy.find(kto), std::string::npos) << r.bledy;
    EXPECT_NE(r.bledy.find("fuser -v"), std::string::npos) << r.bledy;
  }
  sim.zatrzymaj();
  EXPECT_TRUE(czytaj_dziennik(pliki / "wire.log").empty()) << "a held port gets no bytes";
}

// A terminal this user may not read and write: the advice names the device's group when
// joining it would help, and otherwise who owns the device and its rights. As root (which
// passes any file's rights) the program runs as nobody; as anyone else the rights alone
// keep it out, and only the case without any group's access can be made.
TEST(LaczaCom, PortWithoutRightsIsExplained) {
  const group* dialout = ::getgrnam("dialout");
  const bool root = ::geteuid() == 0;
  const std::string ja = ::getpwuid(::geteuid()) != nullptr ? ::getpwuid(::geteuid())->pw_name : "";
  const struct {
    const char* opis;
    gid_t grupa;  // (gid_t)-1: left as it is
    mode_t prawa;
    std::string rada;  // what the message says after "brak uprawnień do odczytu i zapisu; "
  } przypadki[] = {
      {"dialout device", dialout != nullptr ? dialout->gr_gid : 0, 0660,
       "dodaj się do grupy dialout (sudo usermod -aG dialout $USER) i zaloguj się ponownie"},
      // Joining the group would give only half of the access both directions need.
      {"dialout read-only device", dialout != nullptr ? dialout->gr_gid : 0, 0640,
       "urządzenie należy do root:dialout z prawami 0640, żadna grupa nie daje do niego "
       "dostępu; prawa może zmienić administrator (na przykład regułą udev)"},
      {"dialout write-only device", dialout != nullptr ? dialout->gr_gid : 0, 0620,
       "urządzenie należy do root:dialout z prawami 0620, żadna grupa nie daje do niego "
       "dostępu; prawa może zmienić administrator (na przykład regułą udev)"},
      {"root-only device", 0, 0600,
       "urządzenie należy do root:root z prawami 0600, żadna grupa nie daje do niego dostępu; "
       "prawa może zmienić administrator (na przykład regułą udev)"},
      {"own device without rights", static_cast<gid_t>(-1), 0, ""},
  };
  for (const auto& p : przypadki) {
    SCOPED_TRACE(p.opis);
    if (root == (p.grupa == static_cast<gid_t>(-1))) continue;
    if (root && p.grupa != 0 && dialout == nullptr) continue;
    int master = -1, slave = -1;
    char nazwa[256] = {};
    ASSERT_EQ(openpty(&master, &slave, nazwa, nullptr, nullptr), 0);
    const std::string sciezka = nazwa;
    if (root) {
      ASSERT_EQ(::chown(sciezka.c_str(), 0, p.grupa), 0);
    }
    ASSERT_EQ(::chmod(sciezka.c_str(), p.prawa), 0);
    struct stat st {};
    ASSERT_EQ(::stat(sciezka.c_str(), &st), 0);
    const group* g = ::getgrgid(st.st_gid);
    const std::string rada =
        !p.rada.empty() ? p.rada
                        : "urządzenie należy do " + ja + ":" + (g ? g->gr_name : "?") +
                              " z prawami 0000, żadna grupa nie daje do niego dostępu; prawa "
                              "może zmienić administrator (na przykład regułą udev)";
    KatalogTymczasowy pliki;
    const std::string wy = pliki / "out", bl = pliki / "err";
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      const int o = ::open(wy.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int e = ::open(bl.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(o, STDOUT_FILENO);
      ::dup2(e, STDERR_FILENO);
      if (root && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
        ::_exit(125);
      char* argv[] = {const_cast<char*>(OSTREL_CLI), const_cast<char*>("--port"),
                      const_cast<char*>(sciezka.c_str()), const_cast<char*>("detect"), nullptr};
      ::execve(argv[0], argv, environ);
      ::_exit(126);
    }
    int stan = 0;
    ASSERT_EQ(::waitpid(pid, &stan, 0), pid);
    ::close(master);
    ::close(slave);
    ASSERT_TRUE(WIFEXITED(stan));
    if (WEXITSTATUS(stan) == 125) GTEST_SKIP() << "cannot give up root here";
    ASSERT_NE(WEXITSTATUS(stan), 126) << "the program cannot be run as nobody";
    EXPECT_EQ(WEXITSTATUS(stan), 4);
    const Bajty o = czytaj_plik(wy), e = czytaj_plik(bl);
    EXPECT_EQ(std::string(o.begin(), o.end()), kBrakProgramatora);
    EXPECT_EQ(std::string(e.begin(), e.end()),
              "ostrel-cli: " + sciezka + ": brak uprawnień do odczytu i zapisu; " + rada + "\n");
  }
}

// `ports` with links: each COMn with its link and target and what the port is like now.
TEST(LaczaCom, PortsListsLinksAndTheirState) {
  Lacza lacza;
  Symulator wolny({"--device", "AT90S8515"});
  Symulator zajety({"--device", "AT90S8515"});
  ASSERT_TRUE(wolny.dziala() && zajety.dziala()) << wolny.blad() << zajety.blad();
  Trzymacz trzymacz(zajety.pty());
  ASSERT_TRUE(trzymacz.trzyma());
  lacza.ustaw(1, wolny.pty());
  lacza.ustaw(2, "/nonexistent/ostrel-no-port");
  lacza.ustaw(4, zajety.pty());
  const std::string cfg = lacza.sciezka() + "/ostrel/com";
  // Listing opens no port (an open raises DTR): the real command, watched for opens.
  const int straz = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(::inotify_add_watch(straz, wolny.pty().c_str(), IN_OPEN), 0);
  ASSERT_GE(::inotify_add_watch(straz, zajety.pty().c_str(), IN_OPEN), 0);
  const Przebieg r = uruchom_cli({"ports"}, lacza.sciezka());
  alignas(inotify_event) char zdarzenia[1024];
  EXPECT_LE(::read(straz, zdarzenia, sizeof zdarzenia), 0) << "ports opened a port";
  ::close(straz);
  EXPECT_EQ(r.status, 0) << r.bledy;
  const std::string linie[] = {
      "COM1: łącze " + cfg + "1 -> " + wolny.pty() +
          ": istnieje, odczyt i zapis dozwolone, wolny\n",
      "COM2: łącze " + cfg +
          "2 -> /nonexistent/ostrel-no-port: nie istnieje (łącze prowadzi "
          "donikąd; dopóki jest, porty com1..com4 nie są wybierane automatycznie)\n",
      "COM3: /dev/ttyS2 (domyślnie)",
      "COM4: łącze " + cfg + "4 -> " + zajety.pty() +
          ": istnieje, odczyt i zapis dozwolone, zajęty przez inny program: ",
  };
  std::size_t od = 0;
  for (const std::string& l : linie) {
    const std::size_t gdzie = r.wyjscie.find(l, od);
    EXPECT_NE(gdzie, std::string::npos) << l << "\n---\n" << r.wyjscie;
    if (gdzie != std::string::npos) od = gdzie + l.size();
  }
  EXPECT_NE(r.wyjscie.find("(PID " + std::to_string(::getpid()) + ")"), std::string::npos)
      << r.wyjscie;
  // Listing takes nothing: the free port is still free for the program.
  const Przebieg d = uruchom_cli({"--device", "AT90S8515", "detect"}, lacza.sciezka());
  EXPECT_EQ(d.wyjscie, "Znaleziono programator na com1\n") << d.bledy;
}

}  // namespace
}  // namespace ostrel::test
