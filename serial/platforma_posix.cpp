// The POSIX platform: termios ports, a monotonic millisecond tick and the version answer.
//
// Port names: the component asks for "\\.\COMn". The port is the symbolic link `comn`
// in $XDG_CONFIG_HOME/ostrel/ (~/.config/ostrel/ when the variable is unset or empty)
// when that link exists, otherwise /dev/ttyS<n-1>. A name starting with '/' is taken
// as a device path as it stands.
//
// Version answer: the platform reports the NT family (identifier 2) with the running
// kernel's major and minor release numbers from uname(); a modern kernel is thus
// "WNT" 4.0 or later and the 4096 cap on the XON/XOFF limits applies.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <map>

#include "serial/platforma.h"
#include "serial/predkosc.h"
#include "serial/termios_dcb.h"

namespace ostrel {

namespace {

// Standard termios speeds; anything else goes through the arbitrary-speed path.
struct PredkoscTermios {
  std::uint32_t bps;  // bits per second as the control block names them
  speed_t stala;      // the termios speed constant
};
constexpr PredkoscTermios kPredkosci[] = {
    {110, B110},     {300, B300},     {600, B600},       {1200, B1200},
    {2400, B2400},   {4800, B4800},   {9600, B9600},     {19200, B19200},
    {38400, B38400}, {57600, B57600}, {115200, B115200},
};

// DCB flag bits the line state is built from.
constexpr std::uint32_t kFlagaCts = 0x4;           // fOutxCtsFlow
constexpr std::uint32_t kMaskaDtr = 0x30;          // fDtrControl
constexpr std::uint32_t kFlagaOutX = 0x100;        // fOutX
constexpr std::uint32_t kFlagaInX = 0x200;         // fInX
constexpr std::uint32_t kMaskaRts = 0x3000;        // fRtsControl
constexpr std::uint32_t kDtrWlaczony = 0x10;       // fDtrControl enable
constexpr std::uint32_t kDtrUzgadnianie = 0x20;    // fDtrControl handshake
constexpr std::uint32_t kRtsWlaczony = 0x1000;     // fRtsControl enable
constexpr std::uint32_t kRtsUzgadnianie = 0x2000;  // fRtsControl handshake

// Modem lines: the termios bit and the status bit the component expects.
struct LiniaPosix {
  int tiocm;             // TIOCM_* bit
  std::uint32_t status;  // bit of linie_modemu()
};
constexpr LiniaPosix kLinie[] = {
    {TIOCM_CTS, 0x10},
    {TIOCM_DSR, 0x20},
    {TIOCM_RNG, 0x40},
    {TIOCM_CAR, 0x80},
};

void spij_1ms() {
  timespec t{0, 1000000};
  while (nanosleep(&t, &t) != 0 && errno == EINTR) {
  }
}

void ustaw_linie(int fd, int bit, bool wlacz) {
  // Pseudo-terminals refuse the modem-control calls; like the other line calls their
  // outcome is not examined.
  (void)ioctl(fd, wlacz ? TIOCMBIS : TIOCMBIC, &bit);
}

}  // namespace

bool termios_z_dcb(const BlokDCB& dcb, termios& t) {
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                      IXON | IXOFF | IXANY | INPCK);
#ifdef IUCLC
  // Left on by another program, it would turn the answer "AVR ISP" into "avr isp".
  t.c_iflag &= ~static_cast<tcflag_t>(IUCLC);
#endif
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
#ifdef CMSPAR
  t.c_cflag &= ~static_cast<tcflag_t>(CMSPAR);
#endif
#ifdef CIBAUD
  // A separate input speed (left by an arbitrary-speed setting or by another program)
  // would survive cfsetispeed, which sets only the output bits; with CIBAUD clear the
  // input runs at the output speed.
  t.c_cflag &= ~static_cast<tcflag_t>(CIBAUD);
#endif
  t.c_cflag |= CLOCAL | CREAD;
  switch (dcb.ByteSize) {
    case 5:
      t.c_cflag |= CS5;
      break;
    case 6:
      t.c_cflag |= CS6;
      break;
    case 7:
      t.c_cflag |= CS7;
      break;
    default:
      t.c_cflag |= CS8;
      break;
  }
  // Parity is generated on output; it is not checked on input (fParity is 0).
  switch (dcb.Parity) {
    case 1:
      t.c_cflag |= PARENB | PARODD;
      break;
    case 2:
      t.c_cflag |= PARENB;
      break;
#ifdef CMSPAR
    case 3:
      t.c_cflag |= PARENB | PARODD | CMSPAR;
      break;
    case 4:
      t.c_cflag |= PARENB | CMSPAR;
      break;
#endif
    default:
      break;
  }
  // termios has no 1.5 stop bits; CSTOPB gives 1.5 with 5-bit characters on UARTs.
  if (dcb.StopBits != 0) t.c_cflag |= CSTOPB;
  if (dcb.Flags & kFlagaCts) t.c_cflag |= CRTSCTS;
  if (dcb.Flags & kFlagaOutX) t.c_iflag |= IXON;
  if (dcb.Flags & kFlagaInX) t.c_iflag |= IXOFF;
  t.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
  t.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  bool standardowa = false;
  for (const PredkoscTermios& p : kPredkosci) {
    if (p.bps == dcb.BaudRate) {
      cfsetispeed(&t, p.stala);
      cfsetospeed(&t, p.stala);
      standardowa = true;
    }
  }
  return standardowa;
}

LinieSterujace linie_z_dcb(const BlokDCB& dcb) {
  const std::uint32_t dtr = dcb.Flags & kMaskaDtr;
  const std::uint32_t rts = dcb.Flags & kMaskaRts;
  return {dtr == kDtrWlaczony || dtr == kDtrUzgadnianie,
          rts == kRtsWlaczony || rts == kRtsUzgadnianie};
}

namespace {

class PlatformaPosix final : public PlatformaSzeregowa {
 public:
  ~PlatformaPosix() override {
    while (!poprzednie_.empty()) zamknij(poprzednie_.begin()->first);
  }

  Uchwyt otworz(const std::string& nazwa) override {
    const std::string sciezka = sciezka_portu(nazwa);
    if (sciezka.empty()) return kNieprawidlowyUchwyt;
    int fd = ::open(sciezka.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return kNieprawidlowyUchwyt;
    // Handle 0 reads as "closed" to the component; keep the port off descriptor 0.
    if (fd == 0) {
      const int nowy = fcntl(fd, F_DUPFD_CLOEXEC, 1);
      ::close(fd);
      if (nowy < 0) return kNieprawidlowyUchwyt;
      fd = nowy;
    }
    termios poprzedni{};
    // Not a terminal (a link to a plain file), or held by another opener: refuse.
    if (tcgetattr(fd, &poprzedni) != 0 || flock(fd, LOCK_EX | LOCK_NB) != 0 ||
        ioctl(fd, TIOCEXCL) != 0) {
      ::close(fd);
      return kNieprawidlowyUchwyt;
    }
    poprzednie_[fd] = poprzedni;
    return fd;
  }

  bool ustaw_stan(Uchwyt h, const BlokDCB& dcb) override {
    if (!nasz(h)) return false;
    termios t{};
    if (tcgetattr(h, &t) != 0) return false;
    const bool standardowa = termios_z_dcb(dcb, t);
    bool ok = tcsetattr(h, TCSANOW, &t) == 0;
    if (!standardowa) ok = ustaw_dowolna_predkosc(h, dcb.BaudRate) && ok;
    const LinieSterujace linie = linie_z_dcb(dcb);
    ustaw_linie(h, TIOCM_DTR, linie.dtr);
    ustaw_linie(h, TIOCM_RTS, linie.rts);
    return ok;
  }

  // The kernel's queues have fixed sizes; there is nothing to request.
  bool ustaw_kolejki(Uchwyt h, std::uint32_t, std::uint32_t) override { return nasz(h); }

  // Descriptors are non-blocking: every read and write returns at once.
  bool ustaw_czasy(Uchwyt h, const CzasyPortu&) override { return nasz(h); }

  bool oczysc(Uchwyt h, std::uint32_t maska) override {
    if (!nasz(h)) return false;
    const bool we = maska & (kPurgeRxAbort | kPurgeRxClear);
    const bool wy = maska & (kPurgeTxAbort | kPurgeTxClear);
    if (we && wy) return tcflush(h, TCIOFLUSH) == 0;
    if (we) return tcflush(h, TCIFLUSH) == 0;
    if (wy) return tcflush(h, TCOFLUSH) == 0;
    return true;
  }

  bool stan_kolejek(Uchwyt h, std::uint32_t& we, std::uint32_t& wy, Czekanie c) override {
    we = wy = 0;
    if (!nasz(h)) return false;
    int n_we = 0, n_wy = 0;
    if (ioctl(h, FIONREAD, &n_we) != 0) {
      // A line gone bad must not be polled in a tight loop.
      spij_1ms();
      return false;
    }
    if (n_we == 0 && c == Czekanie::na_wejscie) {
      // The read loop calls this once per pass; wait here, up to the tick
      // counter's resolution, for input instead of spinning.
      pollfd p{h, POLLIN, 0};
      const int r = poll(&p, 1, 1);
      if (r > 0 && (p.revents & POLLIN)) {
        if (ioctl(h, FIONREAD, &n_we) != 0) n_we = 0;
      } else if (r != 0) {
        // Hang-up or error: poll returns at once, so sleep the millisecond instead.
        spij_1ms();
      }
    }
    if (ioctl(h, TIOCOUTQ, &n_wy) != 0) n_wy = 0;
    if (c == Czekanie::na_miejsce) {
      // A write loop may be stuck on a full output queue (whose count not every driver
      // reports). Wait the millisecond for room; with room, poll returns at once.
      pollfd p{h, POLLOUT, 0};
      if (poll(&p, 1, 1) > 0 && (p.revents & POLLOUT) == 0) spij_1ms();
    }
    we = n_we > 0 ? static_cast<std::uint32_t>(n_we) : 0;
    wy = n_wy > 0 ? static_cast<std::uint32_t>(n_wy) : 0;
    return true;
  }

  bool linie_modemu(Uchwyt h, std::uint32_t& bity) override {
    bity = 0;
    if (!nasz(h)) return false;
    int stan = 0;
    if (ioctl(h, TIOCMGET, &stan) != 0) return false;
    for (const LiniaPosix& l : kLinie)
      if (stan & l.tiocm) bity |= l.status;
    return true;
  }

  bool czytaj(Uchwyt h, void* bufor, std::uint32_t n, std::uint32_t& przeczytane) override {
    przeczytane = 0;
    if (!nasz(h)) return false;
    if (n == 0) return true;
    const ssize_t r = ::read(h, bufor, n);
    if (r > 0) {
      przeczytane = static_cast<std::uint32_t>(r);
      return true;
    }
    return r == 0 || errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
  }

  bool pisz(Uchwyt h, const void* dane, std::uint32_t n, std::uint32_t& zapisane) override {
    zapisane = 0;
    if (!nasz(h)) return false;
    if (n == 0) return true;
    const ssize_t r = ::write(h, dane, n);
    if (r > 0) {
      zapisane = static_cast<std::uint32_t>(r);
      return true;
    }
    return r == 0 || errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
  }

  bool zamknij(Uchwyt h) override {
    auto it = poprzednie_.find(h);
    if (it == poprzednie_.end()) return false;
    // Hand the port back as we found it.
    (void)tcsetattr(h, TCSANOW, &it->second);
    (void)ioctl(h, TIOCNXCL);
    poprzednie_.erase(it);
    return ::close(h) == 0;
  }

  std::uint32_t licznik_ms() override {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    const auto ms = static_cast<std::uint64_t>(t.tv_sec) * 1000u +
                    static_cast<std::uint64_t>(t.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
  }

  bool wersja(WersjaSystemu& w) override {
    utsname u{};
    if (uname(&u) != 0) return false;
    char* koniec = nullptr;
    const unsigned long major = std::strtoul(u.release, &koniec, 10);
    unsigned long minor = 0;
    if (koniec && *koniec == '.') minor = std::strtoul(koniec + 1, nullptr, 10);
    w.PlatformId = 2;
    w.MajorVersion = static_cast<std::uint32_t>(major);
    w.MinorVersion = static_cast<std::uint32_t>(minor);
    return true;
  }

 private:
  bool nasz(Uchwyt h) const { return poprzednie_.count(h) != 0; }

  static std::string sciezka_portu(const std::string& nazwa) {
    if (!nazwa.empty() && nazwa[0] == '/') return nazwa;
    static constexpr char kPrzedrostek[] = "\\\\.\\COM";
    const std::string przedrostek = kPrzedrostek;
    if (nazwa.compare(0, przedrostek.size(), przedrostek) != 0) return {};
    const std::string numer = nazwa.substr(przedrostek.size());
    if (numer.empty() || numer.size() > 5 || numer[0] == '0') return {};
    for (char c : numer)
      if (c < '0' || c > '9') return {};
    const unsigned long n = std::strtoul(numer.c_str(), nullptr, 10);

    std::string katalog;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg) {
      katalog = xdg;
    } else if (const char* dom = std::getenv("HOME"); dom && *dom) {
      katalog = std::string(dom) + "/.config";
    }
    if (!katalog.empty()) {
      const std::string lacze = katalog + "/ostrel/com" + numer;
      struct stat st {};
      if (lstat(lacze.c_str(), &st) == 0) return lacze;
    }
    return "/dev/ttyS" + std::to_string(n - 1);
  }

  std::map<Uchwyt, termios> poprzednie_;  // open ports and the termios to restore
};

}  // namespace

std::unique_ptr<PlatformaSzeregowa> utworz_platforme_posix() {
  return std::make_unique<PlatformaPosix>();
}

}  // namespace ostrel
