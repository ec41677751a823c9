// Which device is COMn on the POSIX platform, over a device folder of the test's own:
// fake /dev/serial/by-id entries and ttyS ports leading to pseudo-terminals, UART types
// from a fake class folder. Also the driver's low-latency flag, requested and given back.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/symulator.h"
#include "serial/ComDrv32.h"
#include "serial/lista_portow.h"

namespace ostrel {
namespace {

namespace fs = std::filesystem;

// One pseudo-terminal; the master side hears what the port sends.
struct Terminal {
  Terminal() {
    char nazwa[256] = {};
    EXPECT_EQ(openpty(&master, &slave, nazwa, nullptr, nullptr), 0);
    sciezka = nazwa;
  }
  ~Terminal() {
    close(master);
    close(slave);
  }
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;
  // Whether the byte `b` arrives at the master within a generous time.
  bool uslyszal(std::uint8_t b) const {
    pollfd p{master, POLLIN, 0};
    std::uint8_t r = 0;
    return poll(&p, 1, 5000) > 0 && read(master, &r, 1) == 1 && r == b;
  }
  int master = -1, slave = -1;
  std::string sciezka;
};

// A device folder, a class folder with UART types and a configuration folder (set as
// XDG_CONFIG_HOME for the process).
class Maszyna {
 public:
  Maszyna() {
    fs::create_directories(dev() + "/serial/by-id");
    fs::create_directories(konfiguracja() + "/ostrel");
    setenv("XDG_CONFIG_HOME", konfiguracja().c_str(), 1);
  }
  std::string dev() const { return katalog_ / "dev"; }
  std::string klasy() const { return katalog_ / "class"; }
  std::string konfiguracja() const { return katalog_ / "config"; }
  std::string lacze(int n) const { return konfiguracja() + "/ostrel/com" + std::to_string(n); }
  // A device entry leading to `cel`; for ttyS, `typ` is its UART type (-1: none known).
  void urzadzenie(const std::string& nazwa, const std::string& cel, int typ = -1) {
    fs::create_symlink(cel, dev() + "/" + nazwa);
    if (typ >= 0) {
      fs::create_directories(klasy() + "/" + nazwa);
      std::ofstream(klasy() + "/" + nazwa + "/type") << typ << "\n";
    }
  }
  std::unique_ptr<PlatformaSzeregowa> platforma(std::shared_ptr<FlagiSterownika> flagi = {}) {
    UstawieniaPosix u;
    u.katalog_urzadzen = dev();
    u.katalog_klas_tty = klasy();
    u.flagi = std::move(flagi);
    return utworz_platforme_posix(u);
  }

 private:
  test::KatalogTymczasowy katalog_;
};

TEST(Urzadzenia, WithoutLinksUsbAdaptersComeFirstThenUartPorts) {
  Maszyna m;
  Terminal a, b, s9, s10, bez_uartu, acm;
  m.urzadzenie("serial/by-id/usb-FTDI_B-if00-port0", b.sciezka);
  m.urzadzenie("serial/by-id/usb-FTDI_A-if00-port0", a.sciezka);
  m.urzadzenie("ttyUSB0", a.sciezka);  // the node behind adapter A
  m.urzadzenie("ttyACM0", acm.sciezka);
  m.urzadzenie("ttyS0", bez_uartu.sciezka, 0);  // PORT_UNKNOWN: no UART behind it
  m.urzadzenie("ttyS10", s10.sciezka, 4);
  m.urzadzenie("ttyS9", s9.sciezka, 4);
  m.urzadzenie("ttyS3", bez_uartu.sciezka);  // no type known; a pty has no UART either
  const std::string id = m.dev() + "/serial/by-id/";

  auto p = m.platforma();
  const std::vector<OpisPortu> porty = p->opisz_porty(4);
  ASSERT_EQ(porty.size(), 4u);
  // ttyUSB0 is adapter A again; ttyACM0 has no by-id name and comes after the adapters.
  const std::string oczekiwane[] = {id + "usb-FTDI_A-if00-port0", id + "usb-FTDI_B-if00-port0",
                                    m.dev() + "/ttyACM0", m.dev() + "/ttyS9"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(porty[i].numer, i + 1);
    EXPECT_EQ(porty[i].skad, Przypisanie::automatyczne) << i;
    EXPECT_EQ(porty[i].urzadzenie, oczekiwane[i]);
    EXPECT_TRUE(porty[i].istnieje);
    EXPECT_FALSE(porty[i].zajety);
  }
  // The one adapter plugged in first is COM1: the search's probe reaches it.
  TCommPortDriver port(m.platforma());
  port.setComPort(pnCOM1);
  ASSERT_TRUE(port.Open());
  EXPECT_TRUE(port.SendByte('S'));
  EXPECT_TRUE(a.uslyszal('S'));
  port.Close();

  // Present devices: by-id first with their nodes, ttyUSB0 not twice, UART ports last.
  const std::vector<UrzadzenieSzeregowe> obecne = p->urzadzenia();
  std::vector<std::string> sciezki;
  for (const auto& u : obecne) sciezki.push_back(u.sciezka);
  EXPECT_EQ(sciezki, (std::vector<std::string>{oczekiwane[0], oczekiwane[1], oczekiwane[2],
                                               oczekiwane[3], m.dev() + "/ttyS10"}));
  EXPECT_EQ(obecne[0].cel, fs::canonical(a.sciezka).string());
  const std::string tekst = tekst_listy_portow(*p);
  EXPECT_NE(tekst.find("COM1: " + oczekiwane[0] + " (wykryty"), std::string::npos) << tekst;
  EXPECT_NE(tekst.find("ln -sn " + oczekiwane[0] + " " + m.lacze(1)), std::string::npos) << tekst;

  // A configured link always wins, and with one link the other ports take their defaults.
  fs::create_symlink(s10.sciezka, m.lacze(3));
  const std::vector<OpisPortu> z_laczem = p->opisz_porty(4);
  EXPECT_EQ(z_laczem[0].skad, Przypisanie::domyslne);
  EXPECT_EQ(z_laczem[0].urzadzenie, m.dev() + "/ttyS0");
  EXPECT_EQ(z_laczem[2].skad, Przypisanie::lacze);
  EXPECT_EQ(z_laczem[3].urzadzenie, m.dev() + "/ttyS3");
  EXPECT_FALSE(z_laczem[1].istnieje);  // no ttyS1 in this folder
  port.setComPort(pnCOM3);
  ASSERT_TRUE(port.Open());
  EXPECT_TRUE(port.SendByte('T'));
  EXPECT_TRUE(s10.uslyszal('T'));
}

TEST(Urzadzenia, FewerDevicesThanPortsLeaveTheRestEmpty) {
  Maszyna m;
  Terminal a;
  m.urzadzenie("serial/by-id/usb-Prolific-if00-port0", a.sciezka);
  auto p = m.platforma();
  const auto porty = p->opisz_porty(4);
  EXPECT_EQ(porty[0].skad, Przypisanie::automatyczne);
  EXPECT_EQ(porty[1].skad, Przypisanie::brak);
  EXPECT_EQ(p->otworz("\\\\.\\COM2"), kNieprawidlowyUchwyt);
  EXPECT_EQ(p->blad_otwarcia().powod, PowodBledu::brak_urzadzenia);
  // COM5 and above never take part in the automatic choice.
  EXPECT_EQ(p->opisz_porty(5)[4].urzadzenie, m.dev() + "/ttyS4");
}

// Without udev there is no by-id folder: the ttyUSB and ttyACM nodes are the adapters.
TEST(Urzadzenia, UsbAndAcmNodesWithoutByIdBecomePorts) {
  Maszyna m;
  Terminal usb0, usb1, acm, s0;
  m.urzadzenie("ttyACM0", acm.sciezka);
  m.urzadzenie("ttyUSB1", usb1.sciezka);
  m.urzadzenie("ttyUSB0", usb0.sciezka);
  m.urzadzenie("ttyS0", s0.sciezka, 4);
  auto p = m.platforma();
  const auto porty = p->opisz_porty(4);
  const std::string oczekiwane[] = {"ttyUSB0", "ttyUSB1", "ttyACM0", "ttyS0"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(porty[i].skad, Przypisanie::automatyczne) << i;
    EXPECT_EQ(porty[i].urzadzenie, m.dev() + "/" + oczekiwane[i]);
  }
  TCommPortDriver port(m.platforma());
  port.setComPort(pnCOM3);
  ASSERT_TRUE(port.Open());
  EXPECT_TRUE(port.SendByte('A'));
  EXPECT_TRUE(acm.uslyszal('A'));
}

// Watches device nodes for any open while it lives.
class StrazOtwarc {
 public:
  StrazOtwarc() : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}
  ~StrazOtwarc() { close(fd_); }
  StrazOtwarc(const StrazOtwarc&) = delete;
  StrazOtwarc& operator=(const StrazOtwarc&) = delete;
  void pilnuj(const std::string& sciezka) {
    const int w = inotify_add_watch(fd_, sciezka.c_str(), IN_OPEN);
    EXPECT_GE(w, 0) << sciezka;
    nazwy_[w] = sciezka;
  }
  // The nodes opened since the watches were set.
  std::vector<std::string> otwarte() const {
    std::vector<std::string> wynik;
    alignas(inotify_event) char bufor[4096];
    ssize_t n;
    while ((n = read(fd_, bufor, sizeof bufor)) > 0) {
      for (ssize_t i = 0; i < n;) {
        const auto* z = reinterpret_cast<const inotify_event*>(bufor + i);
        if (z->mask & IN_OPEN) wynik.push_back(nazwy_.at(z->wd));
        i += static_cast<ssize_t>(sizeof(inotify_event) + z->len);
      }
    }
    return wynik;
  }

 private:
  int fd_;
  std::map<int, std::string> nazwy_;
};

// Listing the ports must not touch a line: opening a serial port raises DTR, which
// resets a board wired to it. Every device is watched for opens while the listing runs,
// with links and without, including a ttyS port whose UART type only the port could tell.
TEST(ListaPortow, OpensNoDeviceAndTellsWhatIsNoPort) {
  Maszyna m;
  Terminal a, usb, s0, s1, inny;
  m.urzadzenie("serial/by-id/usb-FTDI_A-if00-port0", a.sciezka);
  m.urzadzenie("ttyUSB3", usb.sciezka);
  m.urzadzenie("ttyS0", s0.sciezka);  // no type in the class folder
  m.urzadzenie("ttyS1", s1.sciezka, 4);
  StrazOtwarc straz;
  for (const Terminal* t : {&a, &usb, &s0, &s1, &inny}) straz.pilnuj(t->sciezka);
  auto p = m.platforma();
  const std::string bez_laczy = tekst_listy_portow(*p);
  EXPECT_NE(bez_laczy.find("COM2: " + m.dev() + "/ttyUSB3 (wykryty"), std::string::npos)
      << bez_laczy;
  EXPECT_NE(bez_laczy.find("COM3: " + m.dev() + "/ttyS1 (wykryty"), std::string::npos) << bez_laczy;

  const std::string zwykly = m.konfiguracja() + "/zwykly";
  std::ofstream(zwykly) << "root:x:0:0\n";
  fs::create_symlink(a.sciezka, m.lacze(1));
  fs::create_symlink(zwykly, m.lacze(2));
  fs::create_symlink(inny.sciezka, m.lacze(4));
  const std::string z_laczami = tekst_listy_portow(*p);
  EXPECT_TRUE(straz.otwarte().empty()) << testing::PrintToString(straz.otwarte());

  EXPECT_NE(z_laczami.find("COM2: łącze " + m.lacze(2) + " -> " + zwykly +
                           ": nie jest portem szeregowym\n"),
            std::string::npos)
      << z_laczami;
  EXPECT_NE(z_laczami.find("COM4: łącze " + m.lacze(4) + " -> " + inny.sciezka +
                           ": istnieje, odczyt i zapis dozwolone, wolny\n"),
            std::string::npos)
      << z_laczami;
  // The hint takes the first COMn without a link and the first device no link leads
  // to, and never replaces a link.
  EXPECT_NE(z_laczami.find("ln -sn " + m.dev() + "/ttyUSB3 " + m.lacze(3) + "\n"),
            std::string::npos)
      << z_laczami;
  EXPECT_EQ(z_laczami.find("-sfn"), std::string::npos) << z_laczami;
  // Pasted, it makes the link; pasted again, it leaves the link as it is.
  const auto od = z_laczami.find("  mkdir -p ");
  ASSERT_NE(od, std::string::npos);
  const std::string polecenie = z_laczami.substr(od, z_laczami.find('\n', od) - od);
  EXPECT_EQ(std::system(polecenie.c_str()), 0) << polecenie;
  EXPECT_EQ(fs::read_symlink(m.lacze(3)).string(), m.dev() + "/ttyUSB3");
  EXPECT_NE(std::system((polecenie + " 2>/dev/null").c_str()), 0);
}

// Runs `sleep` with the descriptor `fd` inherited; returns its PID.
pid_t uspij_z(int fd) {
  const pid_t pid = fork();
  if (pid == 0) {
    // Nothing else of ours: the pty's master would make it the other end of the line.
    for (int i = 3; i < 1024; ++i)
      if (i != fd) close(i);
    execlp("sleep", "sleep", "30", static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

void zakoncz(pid_t pid) {
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

// A child of the test, killed and reaped however the test ends.
struct Sprzatacz {
  pid_t pid = -1;
  ~Sprzatacz() { zakoncz(); }
  void zakoncz() {
    if (pid > 0) ::ostrel::zakoncz(pid);
    pid = -1;
  }
};

// Waits until the process has run exec (its name is then `nazwa`).
bool czekaj_na_nazwe(pid_t pid, const std::string& nazwa) {
  for (int i = 0; i < 400; ++i) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string n;
    if (std::getline(comm, n) && n == nazwa) return true;
    usleep(5000);
  }
  return false;
}

// The holder is whoever has the port open now: a program without a lock is named (the
// port would open, but two readers share its bytes), and a lock whose taker has died is
// held by the child that inherited the descriptor, which is the one named.
TEST(ListaPortow, HolderIsTheProcessThatHasThePortOpen) {
  Maszyna m;
  Terminal t;
  fs::create_symlink(t.sciezka, m.lacze(1));
  auto p = m.platforma();

  const int fd = open(t.sciezka.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  Sprzatacz bez_blokady{uspij_z(fd)};
  const std::string kto_bez_blokady = "sleep (PID " + std::to_string(bez_blokady.pid) + ")";
  close(fd);
  ASSERT_TRUE(czekaj_na_nazwe(bez_blokady.pid, "sleep"));
  const std::string otwarty = tekst_listy_portow(*p);
  // The port would open, but the other program would take the programmer's answers:
  // the search is refused it, with the program named. A handle it got all the same is
  // given back before anything is checked: its lock would hold up the locker below.
  const Uchwyt odmowa = p->otworz("\\\\.\\COM1");
  const BladOtwarcia blad_odmowy = p->blad_otwarcia();
  if (odmowa != kNieprawidlowyUchwyt) p->zamknij(odmowa);
  EXPECT_EQ(odmowa, kNieprawidlowyUchwyt);
  EXPECT_EQ(blad_odmowy.powod, PowodBledu::zajety);
  EXPECT_EQ(blad_odmowy.szczegoly, kto_bez_blokady);
  bez_blokady.zakoncz();
  const Uchwyt wolny = p->otworz("\\\\.\\COM1");
  EXPECT_GT(wolny, 0);
  p->zamknij(wolny);
  EXPECT_NE(otwarty.find(t.sciezka +
                         ": istnieje, odczyt i zapis dozwolone, otwarty bez blokady "
                         "przez inny program: " +
                         kto_bez_blokady + "\n"),
            std::string::npos)
      << otwarty;

  // flock(1)'s way: the locker forks the command, which inherits the locked descriptor,
  // and the locker is killed. /proc/locks still names the dead locker.
  int rura[2];
  ASSERT_EQ(pipe(rura), 0);
  const pid_t blokujacy = fork();
  if (blokujacy == 0) {
    // Never waits for the lock: a test that failed to give its own back must not hang.
    const int f = open(t.sciezka.c_str(), O_RDWR | O_NOCTTY);
    if (f < 0 || flock(f, LOCK_EX | LOCK_NB) != 0) _exit(1);
    const pid_t dziecko = uspij_z(f);
    [[maybe_unused]] const ssize_t n = write(rura[1], &dziecko, sizeof dziecko);
    _exit(0);
  }
  close(rura[1]);
  pid_t dziecko = -1;
  ASSERT_EQ(read(rura[0], &dziecko, sizeof dziecko), static_cast<ssize_t>(sizeof dziecko));
  close(rura[0]);
  ASSERT_EQ(waitpid(blokujacy, nullptr, 0), blokujacy);
  ASSERT_TRUE(czekaj_na_nazwe(dziecko, "sleep"));
  const std::string zajety = tekst_listy_portow(*p);
  const Uchwyt h = p->otworz("\\\\.\\COM1");
  const BladOtwarcia blad = p->blad_otwarcia();
  if (h != kNieprawidlowyUchwyt) p->zamknij(h);
  kill(dziecko, SIGKILL);  // a grandchild: init reaps it
  const std::string kto = "sleep (PID " + std::to_string(dziecko) + ")";
  EXPECT_NE(zajety.find(t.sciezka +
                        ": istnieje, odczyt i zapis dozwolone, zajęty przez inny "
                        "program: " +
                        kto + "\n"),
            std::string::npos)
      << zajety;
  EXPECT_EQ(zajety.find("PID " + std::to_string(blokujacy)), std::string::npos) << zajety;
  EXPECT_EQ(h, kNieprawidlowyUchwyt);
  EXPECT_EQ(blad.powod, PowodBledu::zajety);
  EXPECT_EQ(blad.szczegoly, kto);
}

// The driver's flags of a fake adapter, per descriptor.
class FlagiTestowe final : public FlagiSterownika {
 public:
  bool obslugiwane = true;            // a pty has no such flags at all
  std::uint32_t poczatkowe = 0x40;    // what the driver holds before the open
  std::map<int, std::uint32_t> stan;  // descriptor -> current flags
  int zapisy = 0;
  bool odczytaj(int fd, std::uint32_t& flagi) override {
    if (!obslugiwane) return false;
    if (stan.count(fd) == 0) stan[fd] = poczatkowe;
    flagi = stan[fd];
    return true;
  }
  bool zapisz(int fd, std::uint32_t flagi) override {
    if (!obslugiwane) return false;
    ++zapisy;
    stan[fd] = flagi;
    return true;
  }
};

constexpr std::uint32_t kNiskie = 1u << 13;  // ASYNC_LOW_LATENCY

TEST(NiskieOpoznienie, RequestedOnOpenAndGivenBackOnClose) {
  Maszyna m;
  Terminal t;
  auto flagi = std::make_shared<FlagiTestowe>();
  auto p = m.platforma(flagi);
  const Uchwyt h = p->otworz(t.sciezka);
  ASSERT_GT(h, 0);
  EXPECT_EQ(flagi->stan[h], 0x40u | kNiskie);  // the other flags untouched
  EXPECT_TRUE(p->zamknij(h));
  EXPECT_EQ(flagi->stan[h], 0x40u);

  // Already low latency (set by the user): nothing written, and left on at close.
  flagi->stan.clear();
  flagi->zapisy = 0;
  flagi->poczatkowe = 0x40 | kNiskie;
  const Uchwyt h2 = p->otworz(t.sciezka);
  ASSERT_GT(h2, 0);
  EXPECT_TRUE(p->zamknij(h2));
  EXPECT_EQ(flagi->zapisy, 0);
  EXPECT_EQ(flagi->stan[h2], 0x40u | kNiskie);

  // A driver without the flags: the port opens and works all the same.
  flagi->obslugiwane = false;
  const Uchwyt h3 = p->otworz(t.sciezka);
  ASSERT_GT(h3, 0);
  std::uint32_t n = 0;
  EXPECT_TRUE(p->pisz(h3, "x", 1, n));
  EXPECT_TRUE(t.uslyszal('x'));
  EXPECT_TRUE(p->zamknij(h3));
}

// The real ioctls on a pseudo-terminal: refused, and the port is used as it is.
TEST(NiskieOpoznienie, PseudoTerminalsRefusalIsHarmless) {
  Terminal t;
  auto p = utworz_platforme_posix();
  const Uchwyt h = p->otworz(t.sciezka);
  ASSERT_GT(h, 0);
  std::uint32_t n = 0;
  EXPECT_TRUE(p->pisz(h, "y", 1, n));
  EXPECT_TRUE(t.uslyszal('y'));
  EXPECT_TRUE(p->zamknij(h));
}

}  // namespace
}  // namespace ostrel
