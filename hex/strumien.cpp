#include "hex/strumien.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ostrel {

bool Strumien::czytaj_bajt(std::uint8_t& b) {
  if (pozycja_ >= dane_.size()) return false;
  b = dane_[pozycja_++];
  return true;
}

void Strumien::zapisz_bajt(std::uint8_t b) {
  if (pozycja_ >= dane_.size()) dane_.resize(pozycja_ + 1);
  dane_[pozycja_++] = b;
}

void Strumien::zapisz(const void* dane, std::size_t n) {
  const auto* p = static_cast<const std::uint8_t*>(dane);
  for (std::size_t i = 0; i < n; ++i) zapisz_bajt(p[i]);
}

namespace {
void ustaw_blad(std::string* blad, int err) {
  if (blad) *blad = std::strerror(err);
}
}  // namespace

bool Strumien::wczytaj_plik(const std::string& sciezka, std::string* blad) {
  wyczysc();
  int fd = ::open(sciezka.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    ustaw_blad(blad, errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    int err = S_ISDIR(st.st_mode) ? EISDIR : (errno ? errno : EINVAL);
    ::close(fd);
    ustaw_blad(blad, err);
    return false;
  }
  std::vector<std::uint8_t> bufor;
  bufor.reserve(static_cast<std::size_t>(st.st_size));
  std::uint8_t kawalek[65536];
  for (;;) {
    ssize_t n = ::read(fd, kawalek, sizeof kawalek);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd);
      ustaw_blad(blad, err);
      return false;
    }
    if (n == 0) break;
    bufor.insert(bufor.end(), kawalek, kawalek + n);
  }
  ::close(fd);
  dane_ = std::move(bufor);
  pozycja_ = 0;
  return true;
}

bool Strumien::zapisz_plik(const std::string& sciezka, std::string* blad) const {
  return zapisz_atomowo(sciezka, dane_.data(), dane_.size(), blad);
}

bool zapisz_atomowo(const std::string& sciezka, const void* dane, std::size_t n,
                    std::string* blad) {
  // A file that is a symbolic link is replaced through its target, so links keep working.
  std::string cel = sciezka;
  char rzeczywista[4096];
  ssize_t dl = ::readlink(sciezka.c_str(), rzeczywista, sizeof rzeczywista - 1);
  if (dl > 0) {
    rzeczywista[dl] = '\0';
    if (rzeczywista[0] == '/') {
      cel = rzeczywista;
    } else {
      auto ukosnik = sciezka.rfind('/');
      cel = (ukosnik == std::string::npos ? std::string() : sciezka.substr(0, ukosnik + 1)) +
            rzeczywista;
    }
  }
  struct stat st {};
  bool istnieje = ::stat(cel.c_str(), &st) == 0;
  if (istnieje && S_ISDIR(st.st_mode)) {
    ustaw_blad(blad, EISDIR);
    return false;
  }
  mode_t tryb = istnieje ? (st.st_mode & 07777) : 0666;

  std::string tymczasowy = cel + ".tmp-XXXXXX";
  std::vector<char> wzor(tymczasowy.begin(), tymczasowy.end());
  wzor.push_back('\0');
  int fd = ::mkstemp(wzor.data());
  if (fd < 0) {
    ustaw_blad(blad, errno);
    return false;
  }
  tymczasowy = wzor.data();
  auto porzuc = [&](int err) {
    ::close(fd);
    ::unlink(tymczasowy.c_str());
    ustaw_blad(blad, err);
    return false;
  };
  if (!istnieje) {
    mode_t maska = ::umask(0);
    ::umask(maska);
    tryb = 0666 & ~maska;
  }
  ::fchmod(fd, tryb);
  const auto* p = static_cast<const std::uint8_t*>(dane);
  std::size_t zostalo = n;
  while (zostalo > 0) {
    ssize_t w = ::write(fd, p, zostalo);
    if (w < 0) {
      if (errno == EINTR) continue;
      return porzuc(errno);
    }
    p += w;
    zostalo -= static_cast<std::size_t>(w);
  }
  if (::fsync(fd) != 0) return porzuc(errno);
  if (::close(fd) != 0) {
    int err = errno;
    ::unlink(tymczasowy.c_str());
    ustaw_blad(blad, err);
    return false;
  }
  if (::rename(tymczasowy.c_str(), cel.c_str()) != 0) {
    int err = errno;
    ::unlink(tymczasowy.c_str());
    ustaw_blad(blad, err);
    return false;
  }
  return true;
}

}  // namespace ostrel
