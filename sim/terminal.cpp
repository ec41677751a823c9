#include "sim/terminal.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "serial/konfiguracja.h"

namespace ostrel::sim {

namespace {

std::string blad_systemu(const char* co) {
  return std::string(co) + ": " + std::strerror(errno);
}

void zamknij(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

Terminal::~Terminal() {
  rozlacz();
  zamknij(inotify_);
}

bool Terminal::otworz(std::string& blad) {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) {
    blad = blad_systemu("posix_openpt");
    return false;
  }
  if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
    blad = blad_systemu("unlockpt");
    return false;
  }
  char nazwa[128];
  if (::ptsname_r(master_, nazwa, sizeof nazwa) != 0) {
    blad = blad_systemu("ptsname");
    return false;
  }
  sciezka_ = nazwa;
  slave_ = ::open(nazwa, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_ < 0) {
    blad = blad_systemu(nazwa);
    return false;
  }
  // Raw bytes both ways until the host sets its own line: no echo, no CR/LF rewriting.
  termios t{};
  if (::tcgetattr(slave_, &t) == 0) {
    ::cfmakeraw(&t);
    ::cfsetspeed(&t, B19200);
    ::tcsetattr(slave_, TCSANOW, &t);
  }
  // Answers are written without blocking; a host that stops reading must not stall us.
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);

  // Our own open above came before the watch, so only the host's are counted.
  inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotify_ >= 0 &&
      ::inotify_add_watch(inotify_, nazwa, IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
    zamknij(inotify_);
  }
  return true;
}

Terminal::Zmiana Terminal::obsluz_powiadomienia() {
  Zmiana zmiana;
  if (inotify_ < 0) return zmiana;
  alignas(inotify_event) char bufor[4096];
  for (;;) {
    const ssize_t n = ::read(inotify_, bufor, sizeof bufor);
    if (n <= 0) break;
    for (ssize_t i = 0; i < n;) {
      const auto* z = reinterpret_cast<const inotify_event*>(bufor + i);
      if (z->mask & IN_OPEN) {
        if (otwarcia_++ == 0) zmiana.otwarty = true;
      }
      if ((z->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) && otwarcia_ > 0) {
        if (--otwarcia_ == 0) {
          zmiana.zamkniety = true;
          if (slave_ >= 0) ::tcflush(slave_, TCIFLUSH);
        }
      }
      i += static_cast<ssize_t>(sizeof(inotify_event) + z->len);
    }
  }
  return zmiana;
}

int Terminal::nieodebrane() const {
  int n = 0;
  if (slave_ < 0 || ::ioctl(slave_, FIONREAD, &n) != 0) return 0;
  return n;
}

void Terminal::rozlacz() {
  zamknij(slave_);
  zamknij(master_);
}

Lacze::~Lacze() {
  usun();
}

namespace {

// The target of a symbolic link; nothing when `sciezka` is no link.
bool czytaj_lacze(const std::string& sciezka, std::string& cel) {
  std::vector<char> bufor(256);
  for (;;) {
    const ssize_t n = ::readlink(sciezka.c_str(), bufor.data(), bufor.size());
    if (n < 0) return false;
    if (static_cast<std::size_t>(n) < bufor.size()) {
      cel.assign(bufor.data(), static_cast<std::size_t>(n));
      return true;
    }
    bufor.resize(bufor.size() * 2);
  }
}

bool czytaj_plik(const std::string& sciezka, std::string& tresc) {
  const int fd = ::open(sciezka.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  tresc.clear();
  char bufor[512];
  ssize_t n;
  while ((n = ::read(fd, bufor, sizeof bufor)) > 0)
    tresc.append(bufor, static_cast<std::size_t>(n));
  ::close(fd);
  return n == 0;
}

// Writes a new file beside `sciezka` and renames it over: the name is never half written.
bool zapisz_plik(const std::string& sciezka, const std::string& tresc, std::string& blad) {
  const std::string tymczasowy = sciezka + ".tmp" + std::to_string(::getpid());
  const int fd = ::open(tymczasowy.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    blad = blad_systemu(tymczasowy.c_str());
    return false;
  }
  const bool zapisany =
      ::write(fd, tresc.data(), tresc.size()) == static_cast<ssize_t>(tresc.size());
  if (::close(fd) != 0 || !zapisany || ::rename(tymczasowy.c_str(), sciezka.c_str()) != 0) {
    blad = blad_systemu(sciezka.c_str());
    ::unlink(tymczasowy.c_str());
    return false;
  }
  return true;
}

// What tells one link from another with the same target: its inode and its modification
// time, which a rename keeps and a link made anew (by the user, say) does not share.
std::string tozsamosc(const std::string& sciezka) {
  struct stat st {};
  if (::lstat(sciezka.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return {};
  return std::to_string(st.st_ino) + " " + std::to_string(st.st_mtim.tv_sec) + "." +
         std::to_string(st.st_mtim.tv_nsec);
}

// The record beside a simulator's link: the target, then the link's identity.
std::string tresc_zapisu(const std::string& cel, const std::string& id) {
  return cel + "\n" + id + "\n";
}

// Whether `sciezka` is the very link a simulator recorded in `zapis`. A leftover record
// whose target a user's own link happens to share (ptys are numbered anew) does not match.
bool lacze_symulatora(const std::string& sciezka, const std::string& zapis) {
  std::string cel, tresc;
  if (!czytaj_lacze(sciezka, cel) || !czytaj_plik(zapis, tresc)) return false;
  const std::string id = tozsamosc(sciezka);
  return !id.empty() && tresc == tresc_zapisu(cel, id);
}

// A copy of the entry `z` under the name `do_`: a link is made anew with the same target,
// anything else gets a second hard link. Replaces whatever `do_` held.
bool zachowaj(const std::string& z, const std::string& do_, std::string& blad) {
  const std::string tymczasowa = do_ + ".tmp" + std::to_string(::getpid());
  ::unlink(tymczasowa.c_str());
  std::string cel;
  const bool zrobiona = czytaj_lacze(z, cel) ? ::symlink(cel.c_str(), tymczasowa.c_str()) == 0
                                             : ::link(z.c_str(), tymczasowa.c_str()) == 0;
  if (!zrobiona || ::rename(tymczasowa.c_str(), do_.c_str()) != 0) {
    blad = blad_systemu(z.c_str());
    ::unlink(tymczasowa.c_str());
    return false;
  }
  return true;
}

}  // namespace

bool Lacze::utworz(int com, const std::string& cel, bool zastap, std::string& blad) {
  const KatalogKonfiguracji k = katalog_konfiguracji();
  if (k.sciezka.empty()) {
    blad =
        "no configuration folder for the comN link: neither XDG_CONFIG_HOME nor HOME is an "
        "absolute path";
    return false;
  }
  const std::string& katalog = k.sciezka;
  // mkdir -p: every missing component, tolerating ones that exist.
  for (std::size_t i = 1; i <= katalog.size(); ++i) {
    if (i == katalog.size() || katalog[i] == '/') {
      const std::string czesc = katalog.substr(0, i);
      if (::mkdir(czesc.c_str(), 0755) != 0 && errno != EEXIST) {
        blad = blad_systemu(czesc.c_str());
        return false;
      }
    }
  }
  const std::string nazwa = "com" + std::to_string(com);
  const std::string sciezka = katalog + "/" + nazwa;
  const std::string zapis = katalog + "/." + nazwa + ".ostrel-sim";
  const std::string kopia = zapis + "-kopia";

  struct stat st {};
  if (::lstat(sciezka.c_str(), &st) != 0) {
    if (errno != ENOENT) {
      blad = blad_systemu(sciezka.c_str());
      return false;
    }
    // Nothing to keep: a copy left by a killed run must not come back at our exit over a
    // link the user has removed since.
    ::unlink(kopia.c_str());
  } else if (!lacze_symulatora(sciezka, zapis)) {
    // Someone's own configuration, say com2 pointing at a USB adapter.
    std::string obecny;
    czytaj_lacze(sciezka, obecny);
    if (!zastap) {
      blad = sciezka + (obecny.empty() ? "" : " -> " + obecny) +
             " exists and was not made by ostrel-sim; it is left alone (--replace "
             "replaces it for this run and puts it back at exit)";
      return false;
    }
    if (!zachowaj(sciezka, kopia, blad)) return false;
  }
  // Otherwise a simulator's link: taken over, with the copy of what it replaced, if any.

  // A new link beside the old one, renamed over it: the name never goes missing. The
  // record comes first: until the rename it names a link that is not in place yet.
  const std::string tymczasowa = sciezka + ".sim" + std::to_string(::getpid());
  ::unlink(tymczasowa.c_str());
  if (::symlink(cel.c_str(), tymczasowa.c_str()) != 0) {
    blad = blad_systemu(tymczasowa.c_str());
    return false;
  }
  const std::string id = tozsamosc(tymczasowa);
  if (!zapisz_plik(zapis, tresc_zapisu(cel, id), blad)) {
    ::unlink(tymczasowa.c_str());
    return false;
  }
  if (::rename(tymczasowa.c_str(), sciezka.c_str()) != 0) {
    blad = blad_systemu(sciezka.c_str());
    ::unlink(tymczasowa.c_str());
    return false;
  }
  sciezka_ = sciezka;
  cel_ = cel;
  id_ = id;
  zapis_ = zapis;
  kopia_ = kopia;
  return true;
}

void Lacze::usun() {
  if (sciezka_.empty()) return;
  std::string obecny;
  struct stat st {};
  if (czytaj_lacze(sciezka_, obecny) && obecny == cel_ && tozsamosc(sciezka_) == id_) {
    // Still our own link: what it replaced comes back, or the name goes.
    if (::lstat(kopia_.c_str(), &st) != 0 || ::rename(kopia_.c_str(), sciezka_.c_str()) != 0) {
      ::unlink(sciezka_.c_str());
    }
    ::unlink(zapis_.c_str());
  } else if (::lstat(sciezka_.c_str(), &st) != 0 && errno == ENOENT) {
    // The user removed the link meanwhile: nothing is to come back there later either.
    ::unlink(kopia_.c_str());
    ::unlink(zapis_.c_str());
  }
  // Otherwise another simulator has taken the name over since, and with it the copy of
  // what was there before us; or the user put a link of their own there.
  sciezka_.clear();
}

}  // namespace ostrel::sim
