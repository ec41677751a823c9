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

std::string katalog_laczy() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] != '\0') return std::string(xdg) + "/ostrel";
  const char* dom = std::getenv("HOME");
  return std::string(dom != nullptr ? dom : "") + "/.config/ostrel";
}

Lacze::~Lacze() {
  usun();
}

bool Lacze::utworz(int com, const std::string& cel, std::string& blad) {
  const std::string katalog = katalog_laczy();
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
  const std::string sciezka = katalog + "/com" + std::to_string(com);
  // A new link beside the old one, renamed over it: the name never goes missing.
  const std::string tymczasowa = sciezka + ".sim" + std::to_string(::getpid());
  ::unlink(tymczasowa.c_str());
  if (::symlink(cel.c_str(), tymczasowa.c_str()) != 0) {
    blad = blad_systemu(tymczasowa.c_str());
    return false;
  }
  if (::rename(tymczasowa.c_str(), sciezka.c_str()) != 0) {
    blad = blad_systemu(sciezka.c_str());
    ::unlink(tymczasowa.c_str());
    return false;
  }
  sciezka_ = sciezka;
  cel_ = cel;
  return true;
}

void Lacze::usun() {
  if (sciezka_.empty()) return;
  // Only our own link: another simulator may have taken the name over since.
  std::vector<char> bufor(cel_.size() + 2);
  const ssize_t n = ::readlink(sciezka_.c_str(), bufor.data(), bufor.size());
  if (n >= 0 && std::string(bufor.data(), static_cast<std::size_t>(n)) == cel_) {
    ::unlink(sciezka_.c_str());
  }
  sciezka_.clear();
}

}  // namespace ostrel::sim
