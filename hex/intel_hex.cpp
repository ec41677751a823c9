#include "hex/intel_hex.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace ostrel {

namespace {

constexpr const char* kBladDwukropek = "Nieprawidłowy format Intel HEX - :";
constexpr const char* kBladLiczba = "Nieprawidłowy format Intel HEX - znak w polu 2-3";
constexpr const char* kBladAdres = "Nieprawidłowy format Intel HEX 2 - adres";
constexpr const char* kBladTyp1 = "Nieprawidłowy format Intel HEX1 ";
constexpr const char* kBladTyp2 = "Nieprawidłowy format Intel HEX 4";
constexpr const char* kBladDane = "Nieprawidłowy format Intel HEX - pole danych";
constexpr const char* kBladSuma = "Nieprawidłowy format Intel HEX - pole CRC";
constexpr const char* kBladCR = "Nieprawidłowy format Intel HEX - CR ";
constexpr const char* kBladLF = "Nieprawidłowy format Intel HEX - LF ";

// Cuts `s` to at most `limit` characters (UTF-8 code points), never inside a character.
std::string utnij(std::string s, std::size_t limit) {
  std::size_t znaki = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if ((c & 0xC0) == 0x80) continue;  // continuation byte of the current character
    if (znaki == limit) {
      s.resize(i);
      break;
    }
    ++znaki;
  }
  return s;
}

// One conversion: the text being read, the image being built and the state that lives
// across records.
class Czytnik {
 public:
  Czytnik(Strumien& tekst, Strumien& obraz, std::size_t limit)
      : tekst_(tekst), obraz_(obraz), limit_(limit) {}

  std::string konwertuj(PrzyczynaHex* przyczyna) {
    ustaw_wynik(kKonwersjaOK);
    do {
      rekord();
    } while (tekst_.pozycja() < tekst_.rozmiar() && !blad_);
    if (przyczyna != nullptr) *przyczyna = przyczyna_;
    return wynik_;
  }

  // The runs the data records wrote, in record order, unjoined.
  std::vector<Przebieg> przebiegi;

 private:
  // Takes one character. At the end of the text the previous character stays current,
  // so every later read sees the text's last byte again.
  std::uint8_t znak() {
    std::uint8_t b;
    if (tekst_.czytaj_bajt(b)) {
      znak_ = b;
      jest_znak_ = true;
    }
    return znak_;
  }

  bool koniec_tekstu() const { return tekst_.pozycja() >= tekst_.rozmiar(); }

  // A format failure. The first one of a record is its cause: the later ones are mostly
  // the characters of a record gone astray being read as the wrong fields.
  void porazka(const char* tekst, BladHex rodzaj) {
    ustaw_wynik(tekst);
    blad_ = true;
    if (!blad_w_rekordzie_) {
      blad_w_rekordzie_ = true;
      przyczyna_ = {rodzaj, numer_, rodzaj == BladHex::typ ? typ_ : -1,
                    rodzaj == BladHex::typ ? liniowy_ : -1};
    }
  }

  void ustaw_wynik(const std::string& tekst) { wynik_ = utnij(tekst, limit_); }

  static std::uint8_t wielka(std::uint8_t c) {
    return c >= 'a' && c <= 'z' ? static_cast<std::uint8_t>(c - 'a' + 'A') : c;
  }

  static int cyfra(std::uint8_t c) {
    c = wielka(c);
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  // Reads `n` hex digits. A bad character keeps the value, names the field in the result
  // and the rest of the field is read all the same.
  unsigned pole(int n, const char* opis_bledu) {
    unsigned wartosc = 0;
    for (int i = 0; i < n; ++i) {
      const int d = cyfra(znak());
      if (d < 0) {
        porazka(opis_bledu, BladHex::znak);
      } else {
        wartosc = wartosc * 16 + static_cast<unsigned>(d);
      }
    }
    return wartosc;
  }

  // Appends 0xFF up to `koniec`, so that bytes between what the image holds and a record's
  // start read as erased flash.
  void wypelnij_do(std::size_t koniec) {
    if (koniec <= obraz_.rozmiar()) return;
    obraz_.ustaw_pozycje(obraz_.rozmiar());
    while (obraz_.rozmiar() < koniec) obraz_.zapisz_bajt(0xFF);
  }

  // The value of a type 04 record from the four characters after its type, looked at
  // without taking them: a refused record is read on as if it had no data. -1 when they
  // are not four hex digits.
  long podejrzyj_liniowy() {
    const std::size_t pozycja = tekst_.pozycja();
    long wartosc = 0;
    for (int i = 0; i < 4 && wartosc >= 0; ++i) {
      std::uint8_t b;
      const int d = tekst_.czytaj_bajt(b) ? cyfra(b) : -1;
      wartosc = d < 0 ? -1 : wartosc * 16 + d;
    }
    tekst_.ustaw_pozycje(pozycja);
    return wartosc;
  }

  // Whether a type 04 record with this count and address holds the value 0 (seen ahead,
  // without taking anything).
  bool liniowy_zero(unsigned liczba, unsigned adres) {
    return liczba == 2 && adres == 0 && podejrzyj_liniowy() == 0;
  }

  void rekord() {
    ++numer_;
    blad_w_rekordzie_ = false;
    typ_ = -1;
    liniowy_ = -1;
    const bool po_koncu = po_koncu_;
    po_koncu_ = false;
    // Before the first byte there is no character, and that is no colon either.
    if (znak() != ':' || !jest_znak_) {
      porazka(kBladDwukropek, !jest_znak_ ? BladHex::pusty
                              : po_koncu  ? BladHex::po_koncu
                                          : BladHex::dwukropek);
      return;
    }

    unsigned suma = 0;
    const unsigned liczba = pole(2, kBladLiczba);
    suma += liczba;
    const unsigned adres = pole(4, kBladAdres) & 0xFFFF;
    suma += (adres >> 8) + (adres & 0xFF);

    // The type decides where the padding goes, so it is taken first; the padding itself
    // does not depend on whether the type is sound.
    std::uint8_t typ = 0;
    const bool typ_od_zera = znak() == '0';
    if (typ_od_zera) {
      typ = wielka(znak());
      typ_ = cyfra(typ);
    }

    // Data go to their address within the current segment; a record that runs past 0xFFFF
    // goes on upwards rather than wrapping. Any other record pads only up to its own
    // address field: a segment's base says where data go, not that the image reaches it.
    const bool dane = typ_od_zera && typ == '0';
    const std::size_t poczatek = dane ? baza_ + adres : adres;
    wypelnij_do(poczatek);

    if (!typ_od_zera) {
      porazka(kBladTyp1, BladHex::typ);
    } else if (typ == '0') {
      // Data bytes overwrite whatever an earlier record left at the same place: a file
      // may hold records in any order, and the later one wins.
      if (liczba > 0) przebiegi.push_back({poczatek, poczatek + liczba});
      for (unsigned i = 0; i < liczba; ++i) {
        const unsigned bajt = pole(2, kBladDane);
        obraz_.ustaw_pozycje(poczatek + i);
        obraz_.zapisz_bajt(static_cast<std::uint8_t>(bajt));
        suma += bajt;
      }
    } else if (typ == '1') {
      suma = 1;
      po_koncu_ = true;
    } else if (typ == '4' && liniowy_zero(liczba, adres)) {
      // :020000040000FA, which srec_cat writes first: the linear base stays 0, so the
      // record changes nothing.
      pole(4, kBladDane);
      suma += 4;
    } else if (typ == '2') {
      unsigned segment = 0;
      for (unsigned i = 0; i < liczba; ++i) {
        const unsigned bajt = pole(2, kBladDane);
        segment = ((segment << 8) | bajt) & 0xFFFF;
        suma += bajt;
      }
      suma += 2;
      baza_ = static_cast<std::size_t>(segment) * 16;
    } else {
      if (typ == '4') liniowy_ = podejrzyj_liniowy();
      porazka(kBladTyp2, BladHex::typ);
    }

    const unsigned crc = pole(2, kBladSuma);
    const unsigned oczekiwana = (256 - suma % 256) % 256;
    if (oczekiwana != crc) {
      ustaw_wynik("CRC error linia " + std::to_string(numer_) + " " + std::to_string(oczekiwana) +
                  " " + std::to_string(crc));
      if (!blad_w_rekordzie_)
        przyczyna_ = {po_koncu_ ? BladHex::suma_konca : BladHex::suma, numer_};
    }

    // A line ended by LF alone (the text files of this platform) counts as ended by CR LF.
    // Only an LF really taken counts: at the end of the text the last byte merely repeats.
    const bool bez_konca = koniec_tekstu();
    const std::uint8_t po_sumie = znak();
    if (po_sumie == 0x0A && !bez_konca) return;
    if (po_sumie != 0x0D) porazka(kBladCR, bez_konca ? BladHex::brak_konca_linii : BladHex::cr);
    if (znak() != 0x0A) porazka(kBladLF, BladHex::lf);
  }

  Strumien& tekst_;
  Strumien& obraz_;
  std::size_t limit_;
  std::string wynik_;
  unsigned long numer_ = 0;        // records attempted; the first is 1
  bool blad_ = false;              // a format failure happened; never cleared
  std::uint8_t znak_ = 0;          // the last byte taken from the text
  bool jest_znak_ = false;         // false until the first byte has been taken
  std::size_t baza_ = 0;           // segment base from the latest type 02 record (value * 16)
  bool po_koncu_ = false;          // the record just read was an end-of-file record
  bool blad_w_rekordzie_ = false;  // the current record has had a format failure
  int typ_ = -1;                   // the current record's type, -1 when not two hex digits
  long liniowy_ = -1;              // a refused type 04 record's value, -1 when unknown
  PrzyczynaHex przyczyna_;         // the cause reported with the result
};

void pisz_hex2(Strumien& tekst, unsigned wartosc) {
  static constexpr char kCyfry[] = "0123456789ABCDEF";
  tekst.zapisz_bajt(static_cast<std::uint8_t>(kCyfry[(wartosc >> 4) & 0xF]));
  tekst.zapisz_bajt(static_cast<std::uint8_t>(kCyfry[wartosc & 0xF]));
}

// One record: ':' count address type data checksum CR LF.
void pisz_rekord(Strumien& tekst, unsigned typ, unsigned adres, const std::uint8_t* dane,
                 unsigned liczba) {
  tekst.zapisz_bajt(':');
  pisz_hex2(tekst, liczba);
  pisz_hex2(tekst, (adres >> 8) & 0xFF);
  pisz_hex2(tekst, adres & 0xFF);
  pisz_hex2(tekst, typ);
  unsigned suma = liczba + ((adres >> 8) & 0xFF) + (adres & 0xFF) + typ;
  for (unsigned i = 0; i < liczba; ++i) {
    pisz_hex2(tekst, dane[i]);
    suma += dane[i];
  }
  pisz_hex2(tekst, (256 - suma % 256) % 256);
  tekst.zapisz_bajt(0x0D);
  tekst.zapisz_bajt(0x0A);
}

}  // namespace

void konwertuj_hex(Strumien& tekst, Strumien& obraz, std::string& wynik, std::size_t limit,
                   PrzyczynaHex* przyczyna, std::vector<Przebieg>* przebiegi) {
  obraz.ustaw_pozycje(0);
  Czytnik czytnik(tekst, obraz, limit);
  wynik = czytnik.konwertuj(przyczyna);
  if (przebiegi == nullptr) return;
  std::vector<Przebieg> p = std::move(czytnik.przebiegi);
  std::sort(p.begin(), p.end(), [](const Przebieg& a, const Przebieg& b) { return a.od < b.od; });
  przebiegi->clear();
  for (const Przebieg& r : p) {
    if (!przebiegi->empty() && r.od <= przebiegi->back().do_) {
      przebiegi->back().do_ = std::max(przebiegi->back().do_, r.do_);
    } else {
      przebiegi->push_back(r);
    }
  }
}

bool zapisz_hex(Strumien& obraz, Strumien& tekst) {
  const std::size_t rozmiar = obraz.rozmiar();
  if (rozmiar > kNajwiekszyObrazHex) return false;
  obraz.ustaw_pozycje(0);
  std::uint8_t dane[16];
  for (std::size_t poczatek = 0; poczatek < rozmiar; poczatek += 16) {
    // Beyond 64 KB every 64 KB block opens with its segment; smaller images, all that the
    // devices hold, never carry one.
    if (poczatek != 0 && poczatek % 0x10000 == 0) {
      const unsigned segment = static_cast<unsigned>(poczatek / 16);
      const std::uint8_t seg[2] = {static_cast<std::uint8_t>(segment >> 8),
                                   static_cast<std::uint8_t>(segment & 0xFF)};
      pisz_rekord(tekst, 2, 0, seg, 2);
    }
    unsigned n = 0;
    while (n < 16 && poczatek + n < rozmiar) {
      obraz.czytaj_bajt(dane[n]);
      ++n;
    }
    pisz_rekord(tekst, 0, static_cast<unsigned>(poczatek & 0xFFFF), dane, n);
  }
  pisz_rekord(tekst, 1, 0, nullptr, 0);
  return true;
}

}  // namespace ostrel
