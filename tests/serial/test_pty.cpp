// The component on the POSIX platform over real pseudo-terminals: the comN link rule,
// exclusive use, raw line state, the read path, the tick, purging and hang-up.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/symulator.h"
#include "serial/ComDrv32.h"
#include "serial/predkosc.h"
#include "serial/timer_reczny.h"

namespace ostrel {
namespace {

using test::Bajty;

// A pseudo-terminal pair and a private config directory whose ostrel/comN link points
// at the slave. XDG_CONFIG_HOME is set for the whole test process. The directory goes
// with everything a test put in it.
class Pty {
 public:
  explicit Pty(int numer = 5) : numer_(numer) {
    EXPECT_FALSE(katalog_.sciezka().empty());
    mkdir((katalog() + "/ostrel").c_str(), 0700);
    char nazwa[256] = {};
    EXPECT_EQ(openpty(&master, &slave, nazwa, nullptr, nullptr), 0);
    slave_nazwa = nazwa;
    setenv("XDG_CONFIG_HOME", katalog().c_str(), 1);
    EXPECT_EQ(symlink(slave_nazwa.c_str(), lacze().c_str()), 0);
  }
  ~Pty() {
    if (master >= 0) close(master);
    if (slave >= 0) close(slave);
  }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  std::string lacze() const { return katalog() + "/ostrel/com" + std::to_string(numer_); }
  const std::string& katalog() const { return katalog_.sciezka(); }
  TComPortNumber port() const { return static_cast<TComPortNumber>(numer_ - 1); }

  void wyslij(const Bajty& b) const {
    ASSERT_EQ(write(master, b.data(), b.size()), static_cast<ssize_t>(b.size()));
  }
  // Reads `n` bytes that the port sent, waiting generously.
  Bajty odbierz(std::size_t n) const {
    Bajty wynik;
    while (wynik.size() < n) {
      pollfd p{master, POLLIN, 0};
      if (poll(&p, 1, 5000) <= 0) break;
      std::uint8_t b[256];
      const ssize_t r = read(master, b, std::min(sizeof b, n - wynik.size()));
      if (r <= 0) break;
      wynik.insert(wynik.end(), b, b + r);
    }
    return wynik;
  }
  void zamknij_master() {
    close(master);
    master = -1;
  }

  int master = -1;
  int slave = -1;
  std::string slave_nazwa;

 private:
  int numer_;
  test::KatalogTymczasowy katalog_;
};

// Waits (generously) until the port's input queue holds `n` bytes.
bool czekaj_na_wejscie(TCommPortDriver& port, int n) {
  for (int i = 0; i < 5000; ++i)
    if (port.InputCount() >= n) return true;
  return false;
}

// Passes everything to the POSIX platform and counts the queue queries, so a wait that
// spins instead of sleeping shows up as a huge count.
class PlatformaLiczaca final : public PlatformaSzeregowa {
 public:
  explicit PlatformaLiczaca(long* licznik) : wew_(utworz_platforme_posix()), licznik_(licznik) {}
  Uchwyt otworz(const std::string& n) override { return wew_->otworz(n); }
  bool ustaw_stan(Uchwyt h, const BlokDCB& d) override { return wew_->ustaw_stan(h, d); }
  bool ustaw_kolejki(Uchwyt h, std::uint32_t a, std::uint32_t b) override {
    return wew_->ustaw_kolejki(h, a, b);
  }
  bool ustaw_czasy(Uchwyt h, const CzasyPortu& c) override { return wew_->ustaw_czasy(h, c); }
  bool oczysc(Uchwyt h, std::uint32_t m) override { return wew_->oczysc(h, m); }
  bool stan_kolejek(Uchwyt h, std::uint32_t& a, std::uint32_t& b, Czekanie c) override {
    ++*licznik_;
    return wew_->stan_kolejek(h, a, b, c);
  }
  bool linie_modemu(Uchwyt h, std::uint32_t& b) override { return wew_->linie_modemu(h, b); }
  bool czytaj(Uchwyt h, void* d, std::uint32_t n, std::uint32_t& r) override {
    return wew_->czytaj(h, d, n, r);
  }
  bool pisz(Uchwyt h, const void* d, std::uint32_t n, std::uint32_t& r) override {
    return wew_->pisz(h, d, n, r);
  }
  bool zamknij(Uchwyt h) override { return wew_->zamknij(h); }
  bool odlaczone(Uchwyt h) const override { return wew_->odlaczone(h); }
  std::uint32_t licznik_ms() override { return wew_->licznik_ms(); }
  bool wersja(WersjaSystemu& w) override { return wew_->wersja(w); }

 private:
  std::unique_ptr<PlatformaSzeregowa> wew_;
  long* licznik_;
};

TEST(PortPty, OpensThroughLinkRaw19200And8N1AndRestoresOnClose) {
  Pty pty;
  termios przed{};
  ASSERT_EQ(tcgetattr(pty.slave, &przed), 0);
  ASSERT_TRUE(przed.c_lflag & ICANON);  // a fresh pty is cooked

  TCommPortDriver port;
  port.setComPort(pty.port());
  port.setComPortSpeed(br19200);
  ASSERT_TRUE(port.Open());
  EXPECT_TRUE(port.IsOpen());
  EXPECT_GT(port.PortHandle(), 0);

  termios t{};
  ASSERT_EQ(tcgetattr(pty.slave, &t), 0);
  EXPECT_EQ(cfgetospeed(&t), B19200);
  EXPECT_EQ(cfgetispeed(&t), B19200);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_FALSE(t.c_cflag & PARENB);
  EXPECT_FALSE(t.c_cflag & CSTOPB);
  EXPECT_FALSE(t.c_cflag & CRTSCTS);
  EXPECT_TRUE(t.c_cflag & CLOCAL);
  EXPECT_TRUE(t.c_cflag & CREAD);
  EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN));
  EXPECT_FALSE(t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IXON | IXOFF | IXANY));
  EXPECT_FALSE(t.c_oflag & OPOST);

  port.setComPortDataBits(db7BITS);
  port.setComPortParity(ptODD);
  port.setComPortStopBits(sb2BITS);
  port.setComPortSwHandshaking(shXONXOFF);
  port.setComPortHwHandshaking(hhRTSCTS);
  ASSERT_EQ(tcgetattr(pty.slave, &t), 0);
  // A pseudo-terminal keeps CS8 without parity whatever it is told; the character
  // format itself is checked on termios_z_dcb.
  EXPECT_TRUE(t.c_cflag & CSTOPB);
  EXPECT_TRUE(t.c_cflag & CRTSCTS);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
  EXPECT_EQ(t.c_cc[VSTART], 17);
  EXPECT_EQ(t.c_cc[VSTOP], 19);

  port.Close();
  EXPECT_FALSE(port.IsOpen());
  termios po{};
  ASSERT_EQ(tcgetattr(pty.slave, &po), 0);
  EXPECT_EQ(po.c_lflag, przed.c_lflag);
  EXPECT_EQ(po.c_iflag, przed.c_iflag);
  EXPECT_EQ(po.c_oflag, przed.c_oflag);
  EXPECT_EQ(po.c_cflag, przed.c_cflag);
}

TEST(PortPty, SecondOpenChangesNothing) {
  Pty pty;
  TCommPortDriver port;
  port.setComPort(pty.port());
  port.setComPortSpeed(br19200);
  ASSERT_TRUE(port.Open());
  const Uchwyt h = port.PortHandle();
  // Someone else moves the line to 9600; a second Open must not re-apply 19200.
  termios t{};
  ASSERT_EQ(tcgetattr(pty.slave, &t), 0);
  cfsetspeed(&t, B9600);
  ASSERT_EQ(tcsetattr(pty.slave, TCSANOW, &t), 0);
  EXPECT_TRUE(port.Open());
  EXPECT_EQ(port.PortHandle(), h);
  ASSERT_EQ(tcgetattr(pty.slave, &t), 0);
  EXPECT_EQ(cfgetospeed(&t), B9600);
}

TEST(PortPty, HeldPortCannotBeOpenedAgain) {
  Pty pty;
  TCommPortDriver pierwszy, drugi;
  pierwszy.setComPort(pty.port());
  drugi.setComPort(pty.port());
  ASSERT_TRUE(pierwszy.Open());
  EXPECT_FALSE(drugi.Open());
  EXPECT_FALSE(drugi.IsOpen());
  EXPECT_EQ(drugi.PortHandle(), kNieprawidlowyUchwyt);

  // Another process (another instance of the program) is refused too.
  const pid_t dziecko = fork();
  ASSERT_GE(dziecko, 0);
  if (dziecko == 0) {
    TCommPortDriver obcy;
    obcy.setComPort(pty.port());
    _exit(obcy.Open() ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(dziecko, &status, 0), dziecko);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);

  // The slave opened by its own path is the same device: still refused.
  pierwszy.Close();
  ASSERT_TRUE(drugi.Open());
  auto wprost = utworz_platforme_posix();
  EXPECT_EQ(wprost->otworz(pty.slave_nazwa), kNieprawidlowyUchwyt);
}

TEST(PortPty, MissingPortOrNonTerminalFails) {
  Pty pty;
  ASSERT_EQ(unlink(pty.lacze().c_str()), 0);
  ASSERT_EQ(symlink((pty.katalog() + "/nie-ma-takiego").c_str(), pty.lacze().c_str()), 0);
  TCommPortDriver port;
  port.setComPort(pty.port());
  EXPECT_FALSE(port.Open());
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.InputCount(), 65535);

  // A link to a plain file is no port.
  const std::string plik = pty.katalog() + "/plik";
  const int fd = open(plik.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  close(fd);
  ASSERT_EQ(unlink(pty.lacze().c_str()), 0);
  ASSERT_EQ(symlink(plik.c_str(), pty.lacze().c_str()), 0);
  EXPECT_FALSE(port.Open());
  EXPECT_FALSE(port.IsOpen());
}

TEST(PortPty, LinkFoundUnderHomeWhenXdgUnsetOrEmpty) {
  Pty pty;
  const std::string dom = pty.katalog() + "/dom";
  ASSERT_EQ(mkdir(dom.c_str(), 0700), 0);
  ASSERT_EQ(mkdir((dom + "/.config").c_str(), 0700), 0);
  ASSERT_EQ(mkdir((dom + "/.config/ostrel").c_str(), 0700), 0);
  const std::string lacze = dom + "/.config/ostrel/com12";
  ASSERT_EQ(symlink(pty.slave_nazwa.c_str(), lacze.c_str()), 0);
  const char* stary_dom = std::getenv("HOME");
  const std::string zapamietany = stary_dom ? stary_dom : "";
  setenv("HOME", dom.c_str(), 1);
  for (bool pusty : {false, true}) {
    if (pusty)
      setenv("XDG_CONFIG_HOME", "", 1);
    else
      unsetenv("XDG_CONFIG_HOME");
    TCommPortDriver port;
    port.setComPort(pnCOM12);
    EXPECT_TRUE(port.Open()) << "XDG_CONFIG_HOME " << (pusty ? "empty" : "unset");
  }
  if (stary_dom) setenv("HOME", zapamietany.c_str(), 1);
}

TEST(PortPty, BytesPassUntranslatedBothWays) {
  Pty pty;
  TCommPortDriver port;
  port.setComPort(pty.port());
  port.setInputTimeout(2000);
  ASSERT_TRUE(port.Open());
  const Bajty specjalne = {0x0A, 0x0D, 0x11, 0x13, 0x03, 0x04, 0x00, 0xFF, 0x7F};
  for (std::uint8_t b : specjalne) ASSERT_TRUE(port.SendByte(b));
  EXPECT_EQ(pty.odbierz(specjalne.size()), specjalne);
  EXPECT_EQ(port.WriteData("AVR ISP", 7), 7);
  const Bajty napis = pty.odbierz(7);
  EXPECT_EQ(std::string(napis.begin(), napis.end()), "AVR ISP");

  pty.wyslij(specjalne);
  Bajty odebrane(specjalne.size());
  EXPECT_EQ(port.ReadData(odebrane.data(), static_cast<std::int32_t>(odebrane.size())),
            static_cast<std::int32_t>(specjalne.size()));
  EXPECT_EQ(odebrane, specjalne);
}

TEST(PortPty, ByteWrittenDuringReadByteReachesIt) {
  Pty pty;
  TCommPortDriver port;
  port.setComPort(pty.port());
  port.setInputTimeout(3000);
  ASSERT_TRUE(port.Open());
  std::thread peer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    pty.wyslij({0x5A});
  });
  std::uint8_t v = 0;
  const bool ok = port.ReadByte(v);
  peer.join();
  EXPECT_TRUE(ok);
  EXPECT_EQ(v, 0x5A);
}

TEST(PortPty, TickThrowsAwayUnawaitedBytesWithoutHandler) {
  Pty pty;
  TimerReczny timer;
  TCommPortDriver port(nullptr, &timer);
  port.setComPort(pty.port());
  port.setInputTimeout(50);
  ASSERT_TRUE(port.Open());
  pty.wyslij({'L', 'x', 'y'});
  ASSERT_TRUE(czekaj_na_wejscie(port, 3));
  EXPECT_GE(timer.pompuj_przez(120), 1);
  EXPECT_EQ(port.InputCount(), 0);
  std::uint8_t v = 0;
  EXPECT_FALSE(port.ReadByte(v));

  // With a handler the same bytes are handed over.
  Bajty dostane;
  port.OnReceiveData = [&](TCommPortDriver*, const void* d, int n) {
    auto* b = static_cast<const std::uint8_t*>(d);
    dostane.insert(dostane.end(), b, b + n);
  };
  pty.wyslij({1, 2, 3});
  ASSERT_TRUE(czekaj_na_wejscie(port, 3));
  port.Tick();
  EXPECT_EQ(dostane, (Bajty{1, 2, 3}));
}

TEST(PortPty, SpeedChangeWhileOpenPurgesInput) {
  Pty pty;
  TCommPortDriver port;
  port.setComPort(pty.port());
  port.setComPortSpeed(br19200);
  ASSERT_TRUE(port.Open());
  pty.wyslij({1, 2, 3, 4});
  ASSERT_TRUE(czekaj_na_wejscie(port, 4));
  port.setComPortSpeed(br9600);
  EXPECT_EQ(port.InputCount(), 0);
  termios t{};
  ASSERT_EQ(tcgetattr(pty.slave, &t), 0);
  EXPECT_EQ(cfgetospeed(&t), B9600);
  // Speeds termios has no constant for are set as they are.
  const std::pair<TComPortBaudRate, std::uint32_t> predkosci[] = {
      {br14400, 14400}, {br56000, 56000}, {br110, 110}, {br115200, 115200}};
  for (const auto& [predkosc, bps] : predkosci) {
    port.setComPortSpeed(predkosc);
    EXPECT_EQ(odczytaj_predkosc(pty.slave), bps);
  }
  EXPECT_TRUE(port.IsOpen());
  EXPECT_TRUE(port.SendByte(0x55));
  EXPECT_EQ(pty.odbierz(1), Bajty{0x55});
}

// cfsetispeed alone leaves a separate input speed in place: after 14400 (set through the
// arbitrary-speed path) a standard speed must move the input too, and a port another
// program left at 14400 must come up at 19200 both ways.
TEST(PortPty, InputSpeedFollowsEverySpeedChange) {
  Pty pty;
  ASSERT_TRUE(ustaw_dowolna_predkosc(pty.slave, 14400));
  ASSERT_EQ(odczytaj_predkosc_wejscia(pty.slave), 14400u);
  TCommPortDriver port;
  port.setComPort(pty.port());
  port.setComPortSpeed(br19200);
  ASSERT_TRUE(port.Open());
  EXPECT_EQ(odczytaj_predkosc_wejscia(pty.slave), 19200u);
  EXPECT_EQ(odczytaj_predkosc(pty.slave), 19200u);
  const std::pair<TComPortBaudRate, std::uint32_t> kolejne[] = {
      {br14400, 14400}, {br9600, 9600}, {br56000, 56000}, {br19200, 19200}};
  for (const auto& [predkosc, bps] : kolejne) {
    port.setComPortSpeed(predkosc);
    EXPECT_EQ(odczytaj_predkosc_wejscia(pty.slave), bps);
    EXPECT_EQ(odczytaj_predkosc(pty.slave), bps);
  }
}

// A hung-up line is told apart from a silent one: the read, the write and the tick each
// close the port at once and say the device went away; the next open starts afresh.
TEST(PortPty, HangUpClosesThePortAtOnceAndSaysSo) {
  const auto sprawdz = [](const char* droga, const std::function<void(TCommPortDriver&)>& uzyj) {
    Pty pty;
    TCommPortDriver port(nullptr, nullptr);
    port.setComPort(pty.port());
    // Far longer than the test may take: a time-out cannot pass for the detection.
    port.setInputTimeout(60000);
    port.setOutputTimeout(60000);
    ASSERT_TRUE(port.Open()) << droga;
    EXPECT_EQ(port.OpenedDevice(), pty.lacze()) << droga;
    EXPECT_FALSE(port.DeviceGone()) << droga;
    pty.zamknij_master();
    uzyj(port);
    EXPECT_TRUE(port.DeviceGone()) << droga;
    EXPECT_FALSE(port.IsOpen()) << droga;
  };
  sprawdz("odczyt", [](TCommPortDriver& p) {
    std::uint8_t v = 0xEE;
    EXPECT_FALSE(p.ReadByte(v));
    EXPECT_EQ(v, 0xEE);
  });
  sprawdz("zapis", [](TCommPortDriver& p) { EXPECT_FALSE(p.SendByte(1)); });
  sprawdz("tyk", [](TCommPortDriver& p) { p.Tick(); });

  // A new device behind the same link opens, and the mark is gone.
  Pty pty;
  TCommPortDriver port(nullptr, nullptr);
  port.setComPort(pty.port());
  ASSERT_TRUE(port.Open());
  pty.zamknij_master();
  port.Tick();
  ASSERT_TRUE(port.DeviceGone());
  Pty nowy;
  ASSERT_TRUE(port.Open());
  EXPECT_FALSE(port.DeviceGone());
}

// A port refused because another program has it open must not be left exclusive: a
// later opener that is not root would get EBUSY for as long as that program keeps it.
TEST(PortPty, RefusedPortStaysOpenableForOthers) {
  Pty pty;
  ASSERT_EQ(chmod(pty.slave_nazwa.c_str(), 0666), 0);
  int gotowy[2], koniec[2];
  ASSERT_EQ(pipe(gotowy), 0);
  ASSERT_EQ(pipe(koniec), 0);
  // The other program: the port opened without a lock, held until told to go.
  const pid_t inny = fork();
  ASSERT_GE(inny, 0);
  if (inny == 0) {
    // Holding the master too, it would be the line's other end rather than a program
    // using the port.
    close(pty.master);
    const int fd = open(pty.slave_nazwa.c_str(), O_RDWR | O_NOCTTY);
    char b = fd >= 0 ? 'j' : 'n';
    (void)!write(gotowy[1], &b, 1);
    (void)!read(koniec[0], &b, 1);
    _exit(0);
  }
  char b = 0;
  ASSERT_EQ(read(gotowy[0], &b, 1), 1);
  ASSERT_EQ(b, 'j');

  TCommPortDriver port(nullptr, nullptr);
  port.setComPort(pty.port());
  EXPECT_FALSE(port.Open());
  EXPECT_EQ(port.OpenError().powod, PowodBledu::zajety);

  // A normal user opens it (the test may run as root, which TIOCEXCL never stops).
  const pid_t uzytkownik = fork();
  ASSERT_GE(uzytkownik, 0);
  if (uzytkownik == 0) {
    if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
    const int fd = open(pty.slave_nazwa.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    _exit(fd >= 0 ? 0 : (errno == EBUSY ? 1 : 3));
  }
  int status = -1;
  ASSERT_EQ(waitpid(uzytkownik, &status, 0), uzytkownik);
  (void)!write(koniec[1], &b, 1);
  int status_innego = 0;
  waitpid(inny, &status_innego, 0);
  for (int fd : {gotowy[0], gotowy[1], koniec[0], koniec[1]}) close(fd);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: EBUSY (left exclusive), 2: no user to become";
}

TEST(PortPty, WriteToStalledPeerDoesNotSpinWhileInputWaits) {
  Pty pty;
  long zapytania = 0;
  TCommPortDriver port(std::make_unique<PlatformaLiczaca>(&zapytania));
  port.setComPort(pty.port());
  port.setOutputTimeout(100);
  ASSERT_TRUE(port.Open());
  pty.wyslij({1, 2, 3});  // input that nobody reads during the write
  ASSERT_TRUE(czekaj_na_wejscie(port, 3));
  // The peer never reads: the write fills the pseudo-terminal and then stalls.
  const std::vector<std::uint8_t> duzo(1 << 20, 0x55);
  zapytania = 0;
  const std::int32_t zapisane = port.WriteData(duzo.data(), static_cast<std::int32_t>(duzo.size()));
  EXPECT_GT(zapisane, 0);
  EXPECT_LT(zapisane, static_cast<std::int32_t>(duzo.size()));
  EXPECT_LT(zapytania, 5000);
  EXPECT_EQ(port.InputCount(), 3);
}

TEST(PortPty, PlatformAnswersAndClock) {
  auto p = utworz_platforme_posix();
  EXPECT_EQ(GetPlatformName(*p), "WNT");
  EXPECT_GE(GetPlatformVersion(*p), 4u * 65536u);  // any kernel from 4.0 on
  const std::uint32_t a = p->licznik_ms();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const std::uint32_t b = p->licznik_ms();
  EXPECT_GE(b - a, 20u);
  EXPECT_LT(b - a, 10000u);
  EXPECT_EQ(p->otworz("COM1"), kNieprawidlowyUchwyt);  // not a device name
  EXPECT_EQ(p->otworz("\\\\.\\COM"), kNieprawidlowyUchwyt);
  EXPECT_EQ(p->otworz("\\\\.\\COM1x"), kNieprawidlowyUchwyt);
}

}  // namespace
}  // namespace ostrel
