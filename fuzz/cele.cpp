#include "fuzz/cele.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

#include "hex/intel_hex.h"
#include "hex/strumien.h"
#include "ui/ustawienia.h"

namespace ostrel::fuzz {

namespace {

using Bajty = std::vector<std::uint8_t>;

// Every text the reader may leave besides "Konwersja OK" and the checksum report.
constexpr std::array<std::string_view, 9> kTekstyCzytnika = {
    "Nieprawidłowy format Intel HEX - :",        "Nieprawidłowy format Intel HEX - znak w polu 2-3",
    "Nieprawidłowy format Intel HEX 2 - adres",  "Nieprawidłowy format Intel HEX1 ",
    "Nieprawidłowy format Intel HEX 4",          "Nieprawidłowy format Intel HEX - pole danych",
    "Nieprawidłowy format Intel HEX - pole CRC", "Nieprawidłowy format Intel HEX - CR ",
    "Nieprawidłowy format Intel HEX - LF ",
};

// Largest image any text can produce: segment 0xFFFF, address 0xFFFF, 255 data bytes.
constexpr std::size_t kNajwiekszyObraz = 0xFFFF0 + 0xFFFF + 255;

// A plain, strict reading of the same dialect, written without looking at the reader's
// state machine: records ':' count address '0' type [data] checksum, then CR LF or LF,
// types 00, 01, 02 and 04 with the value 0, digits in either case, the text ending right
// after a record. Data go to segment base + address and a later record overwrites an
// earlier one; every record first pads the image with 0xFF up to its own start, which for
// a record without data is its address field alone.
struct Wzorzec {
  bool poprawny = false;         // the whole text is well-formed records
  Bajty obraz;                   // the image those records describe
  unsigned long zly_rekord = 0;  // last record whose checksum is wrong; 0 = none
  unsigned oczekiwana = 0;       // its expected checksum
  unsigned zapisana = 0;         // its checksum field
};

class CzytnikWzorcowy {
 public:
  CzytnikWzorcowy(const std::uint8_t* d, std::size_t n) : d_(d), n_(n) {}

  Wzorzec czytaj() {
    Wzorzec w;
    if (n_ == 0) return w;
    std::size_t baza = 0;
    unsigned long numer = 0;
    while (p_ < n_) {
      ++numer;
      unsigned liczba = 0, adres = 0, typ = 0;
      if (!znak(':') || !hex(2, liczba) || !hex(4, adres) || !znak('0')) return w;
      if (p_ >= n_) return w;
      const char t = static_cast<char>(d_[p_++]);
      if (t == '0' || t == '1' || t == '2' || t == '4') {
        typ = static_cast<unsigned>(t - '0');
      } else {
        return w;
      }
      // Of the 32-bit records only :020000040000FA (linear base 0) is taken.
      if (typ == 4 && (liczba != 2 || adres != 0)) return w;
      const std::size_t poczatek = typ == 0 ? baza + adres : adres;
      if (w.obraz.size() < poczatek) w.obraz.resize(poczatek, 0xFF);
      unsigned suma = liczba + (adres >> 8) + (adres & 0xFF);
      unsigned segment = 0;
      if (typ == 1) {
        suma = 1;
      } else {
        for (unsigned i = 0; i < liczba; ++i) {
          unsigned b = 0;
          if (!hex(2, b)) return w;
          suma += b;
          if (typ == 0) {
            if (w.obraz.size() <= poczatek + i) w.obraz.resize(poczatek + i + 1, 0xFF);
            w.obraz[poczatek + i] = static_cast<std::uint8_t>(b);
          } else {
            segment = (segment * 256 + b) % 65536;
          }
        }
        if (typ == 2) {
          suma += 2;
          baza = std::size_t{segment} << 4;
        }
        if (typ == 4) {
          if (segment != 0) return w;
          suma += 4;
        }
      }
      unsigned crc = 0;
      if (!hex(2, crc)) return w;
      if (!znak('\n') && !(znak('\r') && znak('\n'))) return w;
      const unsigned oczekiwana = (256 - suma % 256) % 256;
      if (crc != oczekiwana) {
        w.zly_rekord = numer;
        w.oczekiwana = oczekiwana;
        w.zapisana = crc;
      }
    }
    w.poprawny = true;
    return w;
  }

 private:
  bool znak(char c) {
    if (p_ >= n_ || d_[p_] != static_cast<std::uint8_t>(c)) return false;
    ++p_;
    return true;
  }
  bool hex(int cyfry, unsigned& wartosc) {
    wartosc = 0;
    for (int i = 0; i < cyfry; ++i) {
      if (p_ >= n_) return false;
      const std::uint8_t c = d_[p_++];
      unsigned v = 0;
      if (c >= '0' && c <= '9') {
        v = c - '0';
      } else if (c >= 'A' && c <= 'F') {
        v = c - 'A' + 10u;
      } else if (c >= 'a' && c <= 'f') {
        v = c - 'a' + 10u;
      } else {
        return false;
      }
      wartosc = wartosc * 16 + v;
    }
    return true;
  }

  const std::uint8_t* d_;
  std::size_t n_;
  std::size_t p_ = 0;
};

std::string tekst_crc(unsigned long numer, unsigned oczekiwana, unsigned zapisana) {
  return "CRC error linia " + std::to_string(numer) + " " + std::to_string(oczekiwana) + " " +
         std::to_string(zapisana);
}

// "CRC error linia N E F" with N >= 1 and E, F in 0..255, decimal without leading zeros.
bool jest_tekstem_crc(std::string_view s) {
  constexpr std::string_view kPoczatek = "CRC error linia ";
  if (s.substr(0, kPoczatek.size()) != kPoczatek) return false;
  s.remove_prefix(kPoczatek.size());
  unsigned long liczby[3] = {};
  for (int k = 0; k < 3; ++k) {
    std::size_t i = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9' && i < 20) {
      liczby[k] = liczby[k] * 10 + static_cast<unsigned long>(s[i] - '0');
      ++i;
    }
    if (i == 0 || (i > 1 && s[0] == '0')) return false;
    s.remove_prefix(i);
    if (k < 2) {
      if (s.empty() || s[0] != ' ') return false;
      s.remove_prefix(1);
    }
  }
  return s.empty() && liczby[0] >= 1 && liczby[1] <= 255 && liczby[2] <= 255;
}

std::string opis_rozmiarow(const Bajty& a, const Bajty& b) {
  auto roznica = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
  return " (sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size()) +
         ", first difference at " + std::to_string(roznica.first - a.begin()) + ")";
}

// The loader the desktop program uses reads a named file; an anonymous memory file gives
// it one without touching the disk.
class PlikWPamieci {
 public:
  PlikWPamieci() : fd_(::memfd_create("ostrel-fuzz", MFD_CLOEXEC)) {}
  ~PlikWPamieci() {
    if (fd_ >= 0) ::close(fd_);
  }
  PlikWPamieci(const PlikWPamieci&) = delete;
  PlikWPamieci& operator=(const PlikWPamieci&) = delete;

  bool zapisz(const std::uint8_t* dane, std::size_t n) {
    if (fd_ < 0 || ::ftruncate(fd_, 0) != 0) return false;
    std::size_t zrobione = 0;
    while (zrobione < n) {
      const ssize_t w = ::pwrite(fd_, dane + zrobione, n - zrobione, static_cast<off_t>(zrobione));
      if (w <= 0) return false;
      zrobione += static_cast<std::size_t>(w);
    }
    return true;
  }
  std::string sciezka() const { return "/proc/self/fd/" + std::to_string(fd_); }

 private:
  int fd_;
};

}  // namespace

std::string sprawdz_konwersje(const std::uint8_t* dane, std::size_t rozmiar) {
  Strumien tekst(Bajty(dane, dane + rozmiar));
  Strumien obraz;
  std::string wynik;
  konwertuj_hex(tekst, obraz, wynik, 255);

  const bool ok = wynik == kKonwersjaOK;
  const bool znany =
      ok || jest_tekstem_crc(wynik) ||
      std::find(kTekstyCzytnika.begin(), kTekstyCzytnika.end(), wynik) != kTekstyCzytnika.end();
  if (!znany) return "unknown result text \"" + wynik + "\"";
  if (obraz.rozmiar() > kNajwiekszyObraz) {
    return "image of " + std::to_string(obraz.rozmiar()) + " bytes, more than any text can hold";
  }

  const Wzorzec w = CzytnikWzorcowy(dane, rozmiar).czytaj();
  if (ok && !w.poprawny) return "\"Konwersja OK\" for a text that is not well-formed records";
  if (ok && w.zly_rekord != 0) {
    return "\"Konwersja OK\" despite a wrong checksum in record " + std::to_string(w.zly_rekord);
  }
  if (w.poprawny) {
    const std::string oczekiwany = w.zly_rekord == 0
                                       ? std::string(kKonwersjaOK)
                                       : tekst_crc(w.zly_rekord, w.oczekiwana, w.zapisana);
    if (wynik != oczekiwany) {
      return "well-formed text gave \"" + wynik + "\", expected \"" + oczekiwany + "\"";
    }
    if (obraz.dane() != w.obraz) {
      return "image differs from the reference placement" + opis_rozmiarow(obraz.dane(), w.obraz);
    }
  }
  if (!ok) return {};

  // The writer covers the first kNajwiekszyObrazHex bytes; bigger images are refused by
  // its callers, and no device comes near.
  if (obraz.rozmiar() > kNajwiekszyObrazHex) return {};
  Strumien zapisany;
  zapisz_hex(obraz, zapisany);
  zapisany.ustaw_pozycje(0);  // read the text from its start, as a loaded file is
  Strumien powrot;
  std::string wynik2;
  konwertuj_hex(zapisany, powrot, wynik2, 255);
  if (wynik2 != kKonwersjaOK) return "the writer's text reads back as \"" + wynik2 + "\"";
  if (powrot.dane() != obraz.dane()) {
    return "the writer's text reads back as another image" +
           opis_rozmiarow(powrot.dane(), obraz.dane());
  }
  return {};
}

std::string sprawdz_ustawienia(const std::uint8_t* dane, std::size_t rozmiar) {
  const Bajty bajty(dane, dane + rozmiar);
  const Ustawienia u = czytaj_ustawienia(bajty);

  // What the file says, read directly: an index is its byte, or 26 when the file ends
  // there or an earlier byte is 0x1A (which is met again by every later read).
  constexpr int kEof = 0x1A;
  int urzadzenie = rozmiar > 0 ? dane[0] : kEof;
  int tryb = urzadzenie == kEof ? kEof : (rozmiar > 1 ? dane[1] : kEof);
  std::string nazwa;
  if (tryb != kEof) {
    for (std::size_t i = 2; i < rozmiar && nazwa.size() < kMaksDlugoscNazwy; ++i) {
      if (dane[i] == 0x0D || dane[i] == kEof) break;
      nazwa += static_cast<char>(dane[i]);
    }
  }
  if (u.urzadzenie != urzadzenie || u.tryb != tryb) {
    return "indexes " + std::to_string(u.urzadzenie) + "," + std::to_string(u.tryb) +
           ", expected " + std::to_string(urzadzenie) + "," + std::to_string(tryb);
  }
  const auto z_powrotem = utf8_na_cp1250(u.nazwa);
  if (!z_powrotem) return "the loaded name is not text that the file can hold";
  if (*z_powrotem != nazwa) return "the loaded name is not the stored one";
  if (liczba_znakow(u.nazwa) != nazwa.size()) return "the loaded name has the wrong length";

  // What the program would store on closing loads back as the same three values.
  const Bajty zapis = zapisz_ustawienia(u.urzadzenie, u.tryb, u.nazwa);
  const Ustawienia u2 = czytaj_ustawienia(zapis);
  if (u2.urzadzenie != u.urzadzenie || u2.tryb != u.tryb || u2.nazwa != u.nazwa) {
    return "storing the loaded settings and loading them again changes them";
  }

  // The same bytes through the desktop program's file loader.
  PlikWPamieci plik;
  if (plik.zapisz(dane, rozmiar)) {
    Bajty z_pliku;
    std::string blad;
    if (!wczytaj_bajty(plik.sciezka(), z_pliku, blad)) return "file load failed: " + blad;
    if (z_pliku != bajty) return "the file loader returned other bytes";
  }
  return {};
}

}  // namespace ostrel::fuzz
