// The POSIX platform: termios ports, a monotonic millisecond tick and the version answer.
//
// Port names: the component asks for "\\.\COMn". COMn is the symbolic link `comn` in the
// configuration folder (katalog_konfiguracji) when that link exists. When none of
// com1..com4 exists, COM1..COM4 are the serial devices present, in order: the adapters of
// <dev>/serial/by-id (by name), the <dev>/ttyUSB* and <dev>/ttyACM* nodes none of them
// leads to, then the <dev>/ttyS ports whose class folder names a UART. Otherwise COMn is
// <dev>/ttyS<n-1>. A name starting with '/' is taken as a device path as it stands.
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
#include <grp.h>
#include <poll.h>
#include <pwd.h>
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
#include <optional>
#include <set>
#include <sstream>
#include <tuple>
#include <utility>
#include <vector>

#include "serial/konfiguracja.h"
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

// A process that has the device open.
struct Otwierajacy {
  long pid = 0;
  bool blokuje = false;  // its open file holds a lock on the device
};

// The first line of a small /proc file.
std::string pierwsza_linia(const std::string& sciezka) {
  std::ifstream plik(sciezka);
  std::string linia;
  std::getline(plik, linia);
  return linia;
}

// The value after "<klucz>:" in a /proc/<pid>/fdinfo file, and whether a "lock:" line is
// there (a lock held through that open file; a child that inherited the descriptor shows
// it too).
bool czytaj_fdinfo(const std::string& sciezka, const char* klucz, long& wartosc) {
  std::ifstream plik(sciezka);
  std::string linia;
  bool blokada = false;
  const std::string k = std::string(klucz) + ":";
  while (std::getline(plik, linia)) {
    if (linia.rfind("lock:", 0) == 0) blokada = true;
    if (linia.rfind(k, 0) == 0) wartosc = std::strtol(linia.c_str() + k.size(), nullptr, 10);
  }
  return blokada;
}

bool ten_sam_plik(const struct stat& a, const struct stat& b) {
  if (S_ISCHR(a.st_mode) || S_ISBLK(a.st_mode))
    return (a.st_mode & S_IFMT) == (b.st_mode & S_IFMT) && a.st_rdev == b.st_rdev;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The index of a pseudo-terminal slave (/dev/pts/N); -1 for any other device.
long indeks_pts(const struct stat& st) {
#if defined(__linux__)
  if (!S_ISCHR(st.st_mode)) return -1;
  const unsigned glowny = major(st.st_rdev);
  if (glowny < 136 || glowny > 143) return -1;
  return static_cast<long>((glowny - 136) * 256 + minor(st.st_rdev));
#else
  (void)st;
  return -1;
#endif
}

// The processes other than this one that have the device open, found the way fuser finds
// them: through the /proc/<pid>/fd links (as far as this user may read them). A process
// that holds the master side of the pseudo-terminal is the other end of the line (the
// simulator, a terminal window) rather than another user of the port, and is left out.
std::vector<Otwierajacy> otwierajacy(const struct stat& cel) {
  std::vector<Otwierajacy> wynik;
  const long ja = static_cast<long>(getpid());
  const long pts = indeks_pts(cel);
  for (const std::string& nazwa : nazwy_w("/proc")) {
    unsigned long pid = 0;
    if (!numer_po(nazwa, "", pid) || static_cast<long>(pid) == ja) continue;
    const std::string proc = "/proc/" + nazwa;
    Otwierajacy o{static_cast<long>(pid), false};
    bool ma = false, druga_strona = false;
    for (const std::string& fd : nazwy_w(proc + "/fd")) {
      struct stat st {};
      if (stat((proc + "/fd/" + fd).c_str(), &st) != 0) continue;
      long indeks = -1;
      if (ten_sam_plik(st, cel)) {
        ma = true;
        if (czytaj_fdinfo(proc + "/fdinfo/" + fd, "tty-index", indeks)) o.blokuje = true;
      } else if (pts >= 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) == 5 &&
                 minor(st.st_rdev) == 2) {
        // A pty master's fdinfo names its slave ("tty-index: 5" for /dev/pts/5).
        czytaj_fdinfo(proc + "/fdinfo/" + fd, "tty-index", indeks);
        if (indeks == pts) druga_strona = true;
      }
    }
    if (ma && !druga_strona) wynik.push_back(o);
  }
  // Lock holders first: they are the ones that keep the port from us.
  std::stable_partition(wynik.begin(), wynik.end(), [](const Otwierajacy& o) { return o.blokuje; });
  return wynik;
}

// The PIDs /proc/locks names for locks on the device (seen for every user). A PID there
// is the process that took the lock, which may have died since while a child it passed
// the descriptor to keeps holding it; it is only a fallback for processes this user
// cannot look into.
std::vector<long> pidy_blokad(const struct stat& cel) {
  std::vector<long> wynik;
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
    if (glowny == major(cel.st_dev) && poboczny == minor(cel.st_dev) && wezel == cel.st_ino)
      wynik.push_back(pid);
  }
  return wynik;
}

// "minicom (PID 812)" for each process.
std::string nazwy_procesow(const std::vector<long>& pidy) {
  std::string wynik;
  for (long pid : pidy) {
    const std::string program = pierwsza_linia("/proc/" + std::to_string(pid) + "/comm");
    if (!wynik.empty()) wynik += ", ";
    wynik += (program.empty() ? "?" : program) + " (PID " + std::to_string(pid) + ")";
  }
  return wynik;
}

// Who holds the device, and whether anyone holds a lock on it.
struct Trzymanie {
  bool zablokowany = false;
  std::string kto;  // "sleep (PID 9)", lock holders first; empty when none is seen
};

Trzymanie trzymanie(const std::string& sciezka) {
  Trzymanie t;
  struct stat cel {};
  if (stat(sciezka.c_str(), &cel) != 0) return t;
  const std::vector<long> z_blokad = pidy_blokad(cel);
  const long ja = static_cast<long>(getpid());
  t.zablokowany = std::any_of(z_blokad.begin(), z_blokad.end(), [ja](long p) { return p != ja; });
  std::vector<long> pidy;
  for (const Otwierajacy& o : otwierajacy(cel)) {
    pidy.push_back(o.pid);
    if (o.blokuje) t.zablokowany = true;
  }
  if (pidy.empty() && t.zablokowany) {
    // Nobody visible has it open (another user's processes): the lock's own PIDs, those
    // still alive.
    for (long p : z_blokad)
      if (p != ja && access(("/proc/" + std::to_string(p)).c_str(), F_OK) == 0) pidy.push_back(p);
  }
  t.kto = nazwy_procesow(pidy);
  return t;
}

// Whether a device is a terminal, judged without opening it: a character device of one of
// the kernel's tty drivers (/proc/tty/drivers). Where that list cannot be read, any
// character device counts.
bool terminal_bez_otwierania(const struct stat& st) {
  if (!S_ISCHR(st.st_mode)) return false;
#if defined(__linux__)
  std::ifstream sterowniki("/proc/tty/drivers");
  if (!sterowniki) return true;
  std::string linia;
  while (std::getline(sterowniki, linia)) {
    std::istringstream s(linia);
    std::string nazwa, wezel;
    unsigned glowny = 0;
    if (s >> nazwa >> wezel >> glowny && glowny == major(st.st_rdev)) return true;
  }
  return false;
#else
  return true;
#endif
}

// What would give this user read and write access to the device: joining its group when
// that group may read and write it, else only a change of its rights will do.
std::string rada_dostepu(const std::string& sciezka) {
  struct stat st {};
  if (stat(sciezka.c_str(), &st) != 0) return {};
  const group* g = getgrgid(st.st_gid);
  const std::string grupa = g != nullptr ? g->gr_name : std::to_string(st.st_gid);
  if (st.st_gid != 0 && (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP) && g != nullptr)
    return "dodaj się do grupy " + grupa + " (sudo usermod -aG " + grupa +
           " $USER) i zaloguj się ponownie";
  const passwd* w = getpwuid(st.st_uid);
  const std::string wlasciciel = w != nullptr ? w->pw_name : std::to_string(st.st_uid);
  char prawa[8];
  std::snprintf(prawa, sizeof prawa, "%04o", static_cast<unsigned>(st.st_mode & 07777));
  return "urządzenie należy do " + wlasciciel + ":" + grupa + " z prawami " + prawa +
         ", żadna grupa nie daje do niego dostępu; prawa może zmienić administrator (na "
         "przykład regułą udev)";
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
    } else if (inni_otwieraja(fd)) {
      // A program that opened the port without a lock (cat, a terminal program) would
      // read the answers meant for us: the port is held, as a serial port that opens
      // only once would be, and the refusal names that program.
      e = EBUSY;
    }
    if (e != 0) {
      // TIOCEXCL may already be set: left on a port we do not keep, it would lock every
      // later opener but root out while the other program has it.
      (void)ioctl(fd, TIOCNXCL);
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
      if (sprawdz_znikniecie(h, errno)) return false;
      // A line gone bad must not be polled in a tight loop.
      spij_1ms();
      return false;
    }
    if (n_we == 0 && c == Czekanie::na_wejscie) {
      // The read loop calls this once per pass; wait here, up to the tick
      // counter's resolution, for input instead of spinning.
      pollfd p{static_cast<int>(h), POLLIN, 0};
      const int r = poll(&p, 1, 1);
      if (r > 0 && (p.revents & POLLIN)) {
        if (ioctl(h, FIONREAD, &n_we) != 0) n_we = 0;
      } else if (r != 0) {
        if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
          oznacz_znikniecie(h);
          return false;
        }
        // An error: poll returns at once, so sleep the millisecond instead.
        spij_1ms();
      }
    }
    if (ioctl(h, TIOCOUTQ, &n_wy) != 0) n_wy = 0;
    if (c == Czekanie::na_miejsce) {
      // A write loop may be stuck on a full output queue (whose count not every driver
      // reports). Wait the millisecond for room; with room, poll returns at once.
      pollfd p{static_cast<int>(h), POLLOUT, 0};
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
    if (r < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return true;
      sprawdz_znikniecie(h, errno);
      return false;
    }
    // Without VMIN/VTIME a read of an empty line gives 0 too: only a hang-up is an end.
    if (rozlaczony(h)) {
      oznacz_znikniecie(h);
      return false;
    }
    return true;
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
    if (r == 0 || errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return true;
    sprawdz_znikniecie(h, errno);
    return false;
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

  bool odlaczone(Uchwyt h) const override {
    const auto it = otwarte_.find(h);
    return it != otwarte_.end() && it->second.odlaczone;
  }

  BladOtwarcia blad_otwarcia() const override { return blad_; }

  // Nothing here opens a device: the state comes from stat(), access() and /proc.
  std::vector<OpisPortu> opisz_porty(int ile) override {
    std::vector<OpisPortu> opisy;
    const std::vector<std::string> wykryte = wykryte_urzadzenia();
    for (int n = 1; n <= ile; ++n) {
      OpisPortu o;
      o.numer = n;
      std::tie(o.skad, o.urzadzenie) = mapowanie(n, wykryte);
      struct stat st {};
      o.istnieje = !o.urzadzenie.empty() && stat(o.urzadzenie.c_str(), &st) == 0;
      if (o.istnieje) o.terminal = terminal_bez_otwierania(st);
      if (o.terminal) {
        o.dostep = access(o.urzadzenie.c_str(), R_OK | W_OK) == 0;
        if (!o.dostep) o.rada = rada_dostepu(o.urzadzenie);
        const Trzymanie t = trzymanie(o.urzadzenie);
        o.zajety = t.zablokowany;
        o.trzymajacy = t.kto;
      }
      opisy.push_back(std::move(o));
    }
    return opisy;
  }

  std::vector<UrzadzenieSzeregowe> urzadzenia() override {
    std::vector<UrzadzenieSzeregowe> wynik;
    for (const std::string& a : adaptery()) {
      char* cel = realpath(a.c_str(), nullptr);
      wynik.push_back({a, cel ? cel : ""});
      std::free(cel);
    }
    for (std::string& s : wezly_usb(wynik)) wynik.push_back({std::move(s), ""});
    for (std::string& s : porty_uart()) wynik.push_back({std::move(s), ""});
    return wynik;
  }

  std::string lacze_portu(int n) override {
    const std::string k = katalog_konfiguracji().sciezka;
    return k.empty() ? k : k + "/com" + std::to_string(n);
  }

 private:
  struct Otwarty {
    termios poprzedni{};            // the line state to restore
    bool oddaj_opoznienie = false;  // low latency was switched on by us
    bool odlaczone = false;         // the device has gone
  };

  bool nasz(Uchwyt h) const { return otwarte_.count(h) != 0; }

  void oznacz_znikniecie(Uchwyt h) {
    auto it = otwarte_.find(h);
    if (it != otwarte_.end()) it->second.odlaczone = true;
  }

  // EIO and ENXIO (and ENODEV, EPIPE) on a terminal mean its device is gone: an adapter
  // unplugged, a pseudo-terminal whose other end closed. True when `e` says so.
  bool sprawdz_znikniecie(Uchwyt h, int e) {
    if (e != EIO && e != ENXIO && e != ENODEV && e != EPIPE) return false;
    oznacz_znikniecie(h);
    return true;
  }

  // A hung-up line: poll reports it at once without waiting.
  static bool rozlaczony(int fd) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
  }

  static bool inni_otwieraja(int fd) {
    struct stat st {};
    return fstat(fd, &st) == 0 && !otwierajacy(st).empty();
  }

  Uchwyt porazka(PowodBledu p) {
    blad_.powod = p;
    return kNieprawidlowyUchwyt;
  }
  Uchwyt porazka_errno(int e, const std::string& sciezka) {
    blad_.powod = powod_z_errno(e);
    if (blad_.powod == PowodBledu::zajety) blad_.szczegoly = trzymanie(sciezka).kto;
    if (blad_.powod == PowodBledu::brak_uprawnien) blad_.szczegoly = rada_dostepu(sciezka);
    if (blad_.powod == PowodBledu::inny) blad_.szczegoly = std::strerror(e);
    return kNieprawidlowyUchwyt;
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

  // The <dev>/ttyUSB* and <dev>/ttyACM* nodes (numeric order) that none of `znane` leads
  // to: adapters without a by-id name, as on systems without udev.
  std::vector<std::string> wezly_usb(const std::vector<UrzadzenieSzeregowe>& znane) const {
    std::set<std::string> cele;
    for (const UrzadzenieSzeregowe& u : znane) cele.insert(u.cel);
    std::vector<std::string> wynik;
    const std::vector<std::string> nazwy = nazwy_w(u_.katalog_urzadzen);
    for (const char* przedrostek : {"ttyUSB", "ttyACM"}) {
      for (const std::string& n : numerowane(nazwy, przedrostek)) {
        const std::string sciezka = u_.katalog_urzadzen + "/" + n;
        char* cel = realpath(sciezka.c_str(), nullptr);
        const bool znany = cel && cele.count(cel) != 0;
        std::free(cel);
        if (!znany) wynik.push_back(sciezka);
      }
    }
    return wynik;
  }

  // The <dev>/ttyS ports that have a UART, in numeric order, by the type in the class
  // folder. The port itself is never asked (opening it raises DTR): without a type there,
  // a ttyS port is not chosen automatically.
  std::vector<std::string> porty_uart() const {
    std::vector<std::string> wynik;
    for (const std::string& n : numerowane(nazwy_w(u_.katalog_urzadzen), "ttyS")) {
      std::ifstream plik(u_.katalog_klas_tty + "/" + n + "/type");
      int typ = 0;
      if (plik >> typ && typ != 0) wynik.push_back(u_.katalog_urzadzen + "/" + n);
    }
    return wynik;
  }

  // The devices COM1..COM4 take in turn when no link is configured: the by-id adapters,
  // then ttyUSB/ttyACM nodes no adapter name leads to, then the UART ports.
  std::vector<std::string> wykryte_urzadzenia() {
    std::vector<std::string> wynik;
    for (UrzadzenieSzeregowe& u : urzadzenia()) wynik.push_back(std::move(u.sciezka));
    return wynik;
  }

  // How COMn maps now, and to what. `wykryte`: the automatic choice, when already known.
  std::pair<Przypisanie, std::string> mapowanie(
      int n, const std::optional<std::vector<std::string>>& wykryte = std::nullopt) {
    if (lacze_istnieje(n)) return {Przypisanie::lacze, lacze_portu(n)};
    constexpr int kPortyAutomatyczne = 4;
    bool jakiekolwiek = false;
    for (int i = 1; i <= kPortyAutomatyczne && !jakiekolwiek; ++i) jakiekolwiek = lacze_istnieje(i);
    if (n <= kPortyAutomatyczne && !jakiekolwiek) {
      const std::vector<std::string> obecne = wykryte ? *wykryte : wykryte_urzadzenia();
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
