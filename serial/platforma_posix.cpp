// The POSIX platform: termios ports, a monotonic millisecond tick and the version answer.
//
// Port names: the component asks for "\\.\COMn". COMn is the symbolic link `comn` in
// $XDG_CONFIG_HOME/ostrel/ (~/.config/ostrel/ when the variable is unset or empty) when
// that link exists. When none of com1..com4 exists, COM1..COM4 are the serial devices
// present, in order: the adapters of <dev>/serial/by-id (by name), then the <dev>/ttyS
// ports that have a UART. Otherwise COMn is <dev>/ttyS<n-1>. A name starting with '/' is
// taken as a device path as it stands.
//
// On open the driver is asked for low latency (an FTDI adapter then hands on received
// bytes after 1 ms instead of 16); the previous setting comes back on close. Ports
// without the setting (pseudo-terminals) are used as they are.
//
// Version answer: the platform reports the NT family (identifier 2) with the running
// kernel's major and minor release numbers from uname(); a modern kernel is thus
// "WNT" 4.0 or later and the 4096 cap on the XON/XOFF limits applies.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <termios.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/serial.h>
#include <sys/sysmacros.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <tuple>
#include <utility>
#include <vector>

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

#if defined(__linux__)
constexpr std::uint32_t kNiskieOpoznienie = ASYNC_LOW_LATENCY;
#else
constexpr std::uint32_t kNiskieOpoznienie = 0;
#endif

// The driver flags through the real ioctls.
class FlagiIoctl final : public FlagiSterownika {
 public:
  bool odczytaj(int fd, std::uint32_t& flagi) override {
#if defined(__linux__)
    serial_struct s{};
    if (ioctl(fd, TIOCGSERIAL, &s) != 0) return false;
    flagi = static_cast<std::uint32_t>(s.flags);
    return true;
#else
    (void)fd;
    (void)flagi;
    return false;
#endif
  }
  bool zapisz(int fd, std::uint32_t flagi) override {
#if defined(__linux__)
    serial_struct s{};
    if (ioctl(fd, TIOCGSERIAL, &s) != 0) return false;
    s.flags = static_cast<int>(flagi);
    return ioctl(fd, TIOCSSERIAL, &s) == 0;
#else
    (void)fd;
    (void)flagi;
    return false;
#endif
  }
};

// Names in a folder (no "." or ".."); empty when it cannot be read.
std::vector<std::string> nazwy_w(const std::string& katalog) {
  std::vector<std::string> nazwy;
  DIR* d = opendir(katalog.c_str());
  if (d == nullptr) return nazwy;
  while (const dirent* e = readdir(d)) {
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
      nazwy.emplace_back(e->d_name);
  }
  closedir(d);
  std::sort(nazwy.begin(), nazwy.end());
  return nazwy;
}

// The number after `przedrostek` when `nazwa` is exactly the prefix and decimal digits.
bool numer_po(const std::string& nazwa, const std::string& przedrostek, unsigned long& n) {
  if (nazwa.size() <= przedrostek.size() || nazwa.compare(0, przedrostek.size(), przedrostek) != 0)
    return false;
  for (std::size_t i = przedrostek.size(); i < nazwa.size(); ++i)
    if (nazwa[i] < '0' || nazwa[i] > '9') return false;
  n = std::strtoul(nazwa.c_str() + przedrostek.size(), nullptr, 10);
  return true;
}

// Names <przedrostek><number> of a folder in numeric order (ttyS2 before ttyS10).
std::vector<std::string> numerowane(const std::vector<std::string>& nazwy,
                                    const std::string& przedrostek) {
  std::vector<std::pair<unsigned long, std::string>> znalezione;
  for (const std::string& n : nazwy) {
    unsigned long numer = 0;
    if (numer_po(n, przedrostek, numer)) znalezione.emplace_back(numer, n);
  }
  std::sort(znalezione.begin(), znalezione.end());
  std::vector<std::string> wynik;
  for (auto& z : znalezione) wynik.push_back(std::move(z.second));
  return wynik;
}

PowodBledu powod_z_errno(int e) {
  switch (e) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
    case ENOTDIR:
    case ELOOP:
      return PowodBledu::brak_urzadzenia;
    case EACCES:
    case EPERM:
    case EROFS:
      return PowodBledu::brak_uprawnien;
    case EBUSY:
    case EWOULDBLOCK:
      return PowodBledu::zajety;
    case EISDIR:
    case ENOTTY:
      return PowodBledu::nie_port;
    default:
      return PowodBledu::inny;
  }
}

// The processes other than this one that hold the device: the holders of a lock on it
// from /proc/locks (seen for every user); when there are none, those with the device
// open, as far as this user may look. "minicom (PID 812), screen (PID 900)"; empty when
// none is seen.
std::string kto_trzyma(const std::string& sciezka) {
  struct stat cel {};
  if (stat(sciezka.c_str(), &cel) != 0) return {};
  std::set<long> procesy;
  const long ja = static_cast<long>(getpid());
  {
    std::ifstream blokady("/proc/locks");
    std::string linia;
    while (std::getline(blokady, linia)) {
      std::istringstream s(linia);
      std::string numer, rodzaj, tryb, dostep, plik;
      long pid = 0;
      if (!(s >> numer >> rodzaj) || rodzaj == "->") continue;
      if (!(s >> tryb >> dostep >> pid >> plik)) continue;
      unsigned glowny = 0, poboczny = 0;
      unsigned long wezel = 0;
      if (std::sscanf(plik.c_str(), "%x:%x:%lu", &glowny, &poboczny, &wezel) != 3) continue;
      if (glowny == major(cel.st_dev) && poboczny == minor(cel.st_dev) && wezel == cel.st_ino &&
          pid != ja)
        procesy.insert(pid);
    }
  }
  // With lock holders known, they are the ones that matter (others, such as a simulator
  // keeping its own terminal open, only have it open).
  const std::vector<std::string> wszystkie =
      procesy.empty() ? nazwy_w("/proc") : std::vector<std::string>();
  for (const std::string& nazwa : wszystkie) {
    unsigned long pid = 0;
    if (!numer_po(nazwa, "", pid) || static_cast<long>(pid) == ja) continue;
    const std::string fd_katalog = "/proc/" + nazwa + "/fd";
    for (const std::string& fd : nazwy_w(fd_katalog)) {
      struct stat st {};
      if (stat((fd_katalog + "/" + fd).c_str(), &st) == 0 && st.st_dev == cel.st_dev &&
          st.st_ino == cel.st_ino) {
        procesy.insert(static_cast<long>(pid));
        break;
      }
    }
  }
  std::string wynik;
  for (long pid : procesy) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string program;
    std::getline(comm, program);
    if (!wynik.empty()) wynik += ", ";
    wynik += (program.empty() ? "?" : program) + " (PID " + std::to_string(pid) + ")";
  }
  return wynik;
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
  explicit PlatformaPosix(UstawieniaPosix u) : u_(std::move(u)) {
    if (!u_.flagi) u_.flagi = std::make_shared<FlagiIoctl>();
  }
  ~PlatformaPosix() override {
    while (!otwarte_.empty()) zamknij(otwarte_.begin()->first);
  }

  Uchwyt otworz(const std::string& nazwa) override {
    blad_ = {};
    std::string sciezka;
    if (!nazwa.empty() && nazwa[0] == '/') {
      sciezka = nazwa;
    } else {
      const int n = numer_portu(nazwa);
      if (n == 0) return porazka(PowodBledu::nieznana_nazwa);
      sciezka = mapowanie(n).second;
      if (sciezka.empty()) return porazka(PowodBledu::brak_urzadzenia);
    }
    blad_.urzadzenie = sciezka;
    int fd = ::open(sciezka.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return porazka_errno(errno, sciezka);
    // Handle 0 reads as "closed" to the component; keep the port off descriptor 0.
    if (fd == 0) {
      const int nowy = fcntl(fd, F_DUPFD_CLOEXEC, 1);
      const int e = errno;
      ::close(fd);
      if (nowy < 0) return porazka_errno(e, sciezka);
      fd = nowy;
    }
    Otwarty o;
    // Not a terminal (a link to a plain file), or held by another opener: refuse.
    int e = 0;
    if (tcgetattr(fd, &o.poprzedni) != 0) {
      e = errno == ENOTTY || errno == EINVAL ? ENOTTY : errno;
    } else if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0) {
      e = errno;
    }
    if (e != 0) {
      ::close(fd);
      return porazka_errno(e, sciezka);
    }
    // Low latency where the driver has it; refused or missing, the port works as it is.
    std::uint32_t flagi = 0;
    if (kNiskieOpoznienie != 0 && u_.flagi->odczytaj(fd, flagi) &&
        (flagi & kNiskieOpoznienie) == 0 && u_.flagi->zapisz(fd, flagi | kNiskieOpoznienie))
      o.oddaj_opoznienie = true;
    otwarte_[fd] = o;
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
    auto it = otwarte_.find(h);
    if (it == otwarte_.end()) return false;
    // Hand the port back as we found it.
    (void)tcsetattr(h, TCSANOW, &it->second.poprzedni);
    std::uint32_t flagi = 0;
    if (it->second.oddaj_opoznienie && u_.flagi->odczytaj(h, flagi))
      (void)u_.flagi->zapisz(h, flagi & ~kNiskieOpoznienie);
    (void)ioctl(h, TIOCNXCL);
    otwarte_.erase(it);
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

  BladOtwarcia blad_otwarcia() const override { return blad_; }

  std::vector<OpisPortu> opisz_porty(int ile) override {
    std::vector<OpisPortu> opisy;
    for (int n = 1; n <= ile; ++n) {
      OpisPortu o;
      o.numer = n;
      std::tie(o.skad, o.urzadzenie) = mapowanie(n);
      struct stat st {};
      o.istnieje = !o.urzadzenie.empty() && stat(o.urzadzenie.c_str(), &st) == 0;
      if (o.istnieje) {
        o.dostep = access(o.urzadzenie.c_str(), R_OK | W_OK) == 0;
        o.zajety = trzymany(o.urzadzenie);
        if (o.zajety) o.trzymajacy = kto_trzyma(o.urzadzenie);
      }
      opisy.push_back(std::move(o));
    }
    return opisy;
  }

  std::vector<UrzadzenieSzeregowe> urzadzenia() override {
    std::vector<UrzadzenieSzeregowe> wynik;
    std::set<std::string> cele;
    for (const std::string& a : adaptery()) {
      char* cel = realpath(a.c_str(), nullptr);
      UrzadzenieSzeregowe u{a, cel ? cel : ""};
      std::free(cel);
      cele.insert(u.cel);
      wynik.push_back(std::move(u));
    }
    const std::vector<std::string> nazwy = nazwy_w(u_.katalog_urzadzen);
    for (const char* przedrostek : {"ttyUSB", "ttyACM"}) {
      for (const std::string& n : numerowane(nazwy, przedrostek)) {
        const std::string sciezka = u_.katalog_urzadzen + "/" + n;
        char* cel = realpath(sciezka.c_str(), nullptr);
        const bool znany = cel && cele.count(cel) != 0;
        std::free(cel);
        if (!znany) wynik.push_back({sciezka, ""});
      }
    }
    for (const std::string& s : porty_uart()) wynik.push_back({s, ""});
    return wynik;
  }

  std::string lacze_portu(int n) override {
    const std::string k = katalog_konfiguracji();
    return k.empty() ? k : k + "/com" + std::to_string(n);
  }

 private:
  struct Otwarty {
    termios poprzedni{};            // the line state to restore
    bool oddaj_opoznienie = false;  // low latency was switched on by us
  };

  bool nasz(Uchwyt h) const { return otwarte_.count(h) != 0; }

  Uchwyt porazka(PowodBledu p) {
    blad_.powod = p;
    return kNieprawidlowyUchwyt;
  }
  Uchwyt porazka_errno(int e, const std::string& sciezka) {
    blad_.powod = powod_z_errno(e);
    if (blad_.powod == PowodBledu::zajety) blad_.szczegoly = kto_trzyma(sciezka);
    if (blad_.powod == PowodBledu::inny) blad_.szczegoly = std::strerror(e);
    return kNieprawidlowyUchwyt;
  }

  // Whether another program holds the device: exclusive mode or an exclusive lock.
  static bool trzymany(const std::string& sciezka) {
    const int fd = ::open(sciezka.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == EBUSY;
    const bool zajety = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return zajety;
  }

  // n of "\\.\COMn"; 0 when the name is no such port name.
  static int numer_portu(const std::string& nazwa) {
    static constexpr char kPrzedrostek[] = "\\\\.\\COM";
    unsigned long n = 0;
    if (!numer_po(nazwa, kPrzedrostek, n)) return 0;
    const std::string numer = nazwa.substr(sizeof kPrzedrostek - 1);
    if (numer.size() > 5 || numer[0] == '0') return 0;
    return static_cast<int>(n);
  }

  static std::string katalog_konfiguracji() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg) return std::string(xdg) + "/ostrel";
    if (const char* dom = std::getenv("HOME"); dom && *dom)
      return std::string(dom) + "/.config/ostrel";
    return {};
  }

  bool lacze_istnieje(int n) {
    const std::string lacze = lacze_portu(n);
    struct stat st {};
    return !lacze.empty() && lstat(lacze.c_str(), &st) == 0;
  }

  // The adapters of <dev>/serial/by-id, by name.
  std::vector<std::string> adaptery() const {
    const std::string katalog = u_.katalog_urzadzen + "/serial/by-id";
    std::vector<std::string> wynik;
    for (const std::string& n : nazwy_w(katalog)) wynik.push_back(katalog + "/" + n);
    return wynik;
  }

  // The <dev>/ttyS ports that have a UART, in numeric order. The type comes from the
  // class folder without opening the port (opening raises DTR); where that says nothing,
  // from the port itself.
  std::vector<std::string> porty_uart() const {
    std::vector<std::string> wynik;
    for (const std::string& n : numerowane(nazwy_w(u_.katalog_urzadzen), "ttyS")) {
      const std::string sciezka = u_.katalog_urzadzen + "/" + n;
      std::ifstream plik(u_.katalog_klas_tty + "/" + n + "/type");
      int typ = 0;
      if (!(plik >> typ)) typ = typ_uartu(sciezka);
      if (typ != 0) wynik.push_back(sciezka);
    }
    return wynik;
  }

  static int typ_uartu(const std::string& sciezka) {
#if defined(__linux__)
    const int fd = ::open(sciezka.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return 0;
    serial_struct s{};
    const int typ = ioctl(fd, TIOCGSERIAL, &s) == 0 ? s.type : PORT_UNKNOWN;
    ::close(fd);
    return typ;
#else
    (void)sciezka;
    return 0;
#endif
  }

  // How COMn maps now, and to what.
  std::pair<Przypisanie, std::string> mapowanie(int n) {
    if (lacze_istnieje(n)) return {Przypisanie::lacze, lacze_portu(n)};
    constexpr int kPortyAutomatyczne = 4;
    bool jakiekolwiek = false;
    for (int i = 1; i <= kPortyAutomatyczne && !jakiekolwiek; ++i) jakiekolwiek = lacze_istnieje(i);
    if (n <= kPortyAutomatyczne && !jakiekolwiek) {
      std::vector<std::string> obecne = adaptery();
      for (std::string& s : porty_uart()) obecne.push_back(std::move(s));
      if (static_cast<std::size_t>(n) <= obecne.size())
        return {Przypisanie::automatyczne, obecne[static_cast<std::size_t>(n) - 1]};
      return {Przypisanie::brak, {}};
    }
    return {Przypisanie::domyslne, u_.katalog_urzadzen + "/ttyS" + std::to_string(n - 1)};
  }

  UstawieniaPosix u_;
  std::map<Uchwyt, Otwarty> otwarte_;  // open ports and what to restore on close
  BladOtwarcia blad_;                  // why the last open failed
};

}  // namespace

std::unique_ptr<PlatformaSzeregowa> utworz_platforme_posix(UstawieniaPosix ustawienia) {
  return std::make_unique<PlatformaPosix>(std::move(ustawienia));
}

}  // namespace ostrel
