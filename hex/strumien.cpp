#include "hex/strumien.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <new>

namespace ostrel {

namespace {
// The reasons a user meets, in the program's own language; anything rarer as the
// system words it.
void ustaw_blad(std::string* blad, int err) {
  if (!blad) return;
  switch (err) {
    case ENOENT:
      *blad = "nie istnieje";
      break;
    case ENOTDIR:
      *blad = "nie istnieje (część ścieżki nie jest katalogiem)";
      break;
    case EACCES:
    case EPERM:
      *blad = "brak uprawnień";
      break;
    case EISDIR:
      *blad = "to jest katalog";
      break;
    case EINVAL:  // what the loader gives a pipe or a device
      *blad = "to nie jest zwykły plik";
      break;
    case ENOSPC:
      *blad = "brak miejsca na dysku";
      break;
    case EROFS:
      *blad = "system plików jest tylko do odczytu";
      break;
    default:
      *blad = std::strerror(err);
      break;
  }
}
}  // namespace

bool Strumien::wczytaj_plik(const std::string& sciezka, std::string* blad, std::size_t limit) {
  wyczysc();
  // Non-blocking, so that naming a pipe fails at once instead of waiting for a writer;
  // reads of a regular file are not affected.
  int fd = ::open(sciezka.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    ustaw_blad(blad, errno);
    return false;
  }
  struct stat st {};
  int err = 0;
  if (::fstat(fd, &st) != 0) {
    err = errno;
  } else if (S_ISDIR(st.st_mode)) {
    err = EISDIR;
  } else if (!S_ISREG(st.st_mode)) {
    err = EINVAL;  // a pipe or a device has no whole contents to load
  }
  if (err != 0) {
    ::close(fd);
    ustaw_blad(blad, err);
    return false;
  }
  auto za_duzy = [&] {
    ::close(fd);
    if (blad) *blad = kPlikZaDuzyDoWczytania;
    return false;
  };
  if (static_cast<std::uintmax_t>(st.st_size) > limit) return za_duzy();
  std::vector<std::uint8_t> bufor;
  try {
    bufor.reserve(static_cast<std::size_t>(st.st_size));
    std::uint8_t kawalek[65536];
    for (;;) {
      ssize_t n = ::read(fd, kawalek, sizeof kawalek);
      if (n < 0) {
        if (errno == EINTR) continue;
        err = errno;
        ::close(fd);
        ustaw_blad(blad, err);
        return false;
      }
      if (n == 0) break;
      // A file that grows while it is read is held to the same limit.
      if (static_cast<std::size_t>(n) > limit - bufor.size()) return za_duzy();
      bufor.insert(bufor.end(), kawalek, kawalek + n);
    }
  } catch (const std::bad_alloc&) {
    ::close(fd);
    if (blad) *blad = "za mało pamięci na wczytanie pliku";
    return false;
  }
  ::close(fd);
  dane_ = std::move(bufor);
  pozycja_ = 0;
  return true;
}

bool Strumien::zapisz_plik(const std::string& sciezka, std::string* blad) const {
  return zapisz_atomowo(sciezka, dane_.data(), dane_.size(), blad);
}

namespace {

// Follows a chain of symbolic links to the file they finally name (which need not exist
// yet), so that saving through a link replaces the file and keeps the links.
std::string cel_dowiazania(const std::string& sciezka) {
  std::string cel = sciezka;
  for (int krok = 0; krok < 40; ++krok) {
    std::vector<char> bufor(4096);
    ssize_t dl;
    for (;;) {
      dl = ::readlink(cel.c_str(), bufor.data(), bufor.size());
      if (dl < 0 || static_cast<std::size_t>(dl) < bufor.size()) break;
      bufor.resize(bufor.size() * 2);
    }
    if (dl <= 0) break;
    std::string nastepny(bufor.data(), static_cast<std::size_t>(dl));
    if (nastepny[0] != '/') {
      auto ukosnik = cel.rfind('/');
      if (ukosnik != std::string::npos) nastepny = cel.substr(0, ukosnik + 1) + nastepny;
    }
    cel = nastepny;
  }
  return cel;
}

bool zapisz_wszystko(int fd, const void* dane, std::size_t n) {
  const auto* p = static_cast<const std::uint8_t*>(dane);
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

// Creates a new file beside `cel` with a name no other file has. The mode 0666 goes through
// the process's umask, like any new file; the umask is never changed, since other threads
// may be creating files at the same time.
int utworz_tymczasowy(const std::string& cel, std::string& nazwa) {
  static constexpr char kZnaki[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  struct timespec t {};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  std::uint64_t ziarno = static_cast<std::uint64_t>(t.tv_nsec) ^
                         (static_cast<std::uint64_t>(::getpid()) << 32) ^
                         reinterpret_cast<std::uintptr_t>(&nazwa);
  for (int proba = 0; proba < 100; ++proba) {
    nazwa = cel + ".tmp-";
    for (int i = 0; i < 6; ++i) {
      ziarno = ziarno * 6364136223846793005ULL + 1442695040888963407ULL;
      nazwa += kZnaki[(ziarno >> 33) % (sizeof kZnaki - 1)];
    }
    int fd = ::open(nazwa.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

bool zapisz_atomowo(const std::string& sciezka, const void* dane, std::size_t n,
                    std::string* blad) {
  const std::string cel = cel_dowiazania(sciezka);
  struct stat st {};
  const bool istnieje = ::stat(cel.c_str(), &st) == 0;
  if (istnieje && S_ISDIR(st.st_mode)) {
    ustaw_blad(blad, EISDIR);
    return false;
  }
  // A device or a pipe (/dev/null, /dev/stdout) cannot be replaced, only written to;
  // renaming a file over it would destroy the device node.
  if (istnieje && !S_ISREG(st.st_mode)) {
    int fd = ::open(cel.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
      ustaw_blad(blad, errno);
      return false;
    }
    const bool ok = zapisz_wszystko(fd, dane, n);
    int err = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) err = errno;
    if (err != 0) {
      ustaw_blad(blad, err);
      return false;
    }
    return true;
  }

  std::string tymczasowy;
  int fd = utworz_tymczasowy(cel, tymczasowy);
  if (fd < 0) {
    ustaw_blad(blad, errno);
    return false;
  }
  auto porzuc = [&](int err) {
    ::close(fd);
    ::unlink(tymczasowy.c_str());
    ustaw_blad(blad, err);
    return false;
  };
  // A replaced file keeps its permissions.
  if (istnieje && ::fchmod(fd, st.st_mode & 07777) != 0) return porzuc(errno);
  if (!zapisz_wszystko(fd, dane, n)) return porzuc(errno);
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
