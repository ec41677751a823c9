// The headless programmer front end: the search, then one operation that puts on the
// wire exactly the bytes of the windowed program's operation.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "cli/pliki.h"
#include "cli/polecenia.h"
#include "cli/system.h"
#include "devices/uklady.h"
#include "hex/objasnienie.h"
#include "protocol/bezpieczniki.h"
#include "protocol/bity_blokady.h"
#include "protocol/lacze_portu.h"
#include "protocol/operacje.h"
#include "protocol/plik_hex.h"
#include "protocol/szukanie.h"
#include "protocol/teksty.h"
#include "protocol/zgodnosc_ukladu.h"
#include "serial/ComDrv32.h"
#include "serial/lista_portow.h"
#include "serial/timer_reczny.h"

namespace ostrel::cli {

namespace {

enum class Rodzaj {
  wykryj,
  pamiec,
  informacje,
  blokada,
  kasowanie,
  odczyt_bezpiecznikow,
  zapis_bezpiecznikow
};

struct Polecenie {
  const char* nazwa;  // the command word
  Rodzaj rodzaj;      // what it does
  int operacja;       // the scheduler's operation code 0..5 for memory commands, else -1
  bool argument;      // takes FILE or MODE
};

constexpr Polecenie kPolecenia[] = {
    {"detect", Rodzaj::wykryj, -1, false},
    {"read-flash", Rodzaj::pamiec, 0, true},
    {"read-eeprom", Rodzaj::pamiec, 1, true},
    {"verify-flash", Rodzaj::pamiec, 2, true},
    {"verify-eeprom", Rodzaj::pamiec, 3, true},
    {"program-flash", Rodzaj::pamiec, 4, true},
    {"program-eeprom", Rodzaj::pamiec, 5, true},
    {"info", Rodzaj::informacje, -1, false},
    {"write-lock", Rodzaj::blokada, -1, true},
    {"erase", Rodzaj::kasowanie, -1, false},
    {"read-fuses", Rodzaj::odczyt_bezpiecznikow, -1, false},
    {"write-fuses", Rodzaj::zapis_bezpiecznikow, -1, true},
};

constexpr const char* kUzycie =
    "użycie: ostrel-cli [--port N|ŚCIEŻKA] --device NAZWA|auto [--force] [--no-erase]\n"
    "                   [--fuse1 on|off] [--fuse2 on|off] [--programmer ostrel|avr910]\n"
    "                   [--baud 19200|38400|57600|115200] POLECENIE [PLIK|TRYB]\n"
    "       ostrel-cli ports\n"
    "       ostrel-cli parts\n"
    "polecenia:\n"
    "  detect                szuka programatora (bez --device)\n"
    "  read-flash PLIK       czyta pamięć flash do pliku HEX\n"
    "  read-eeprom PLIK      czyta pamięć EEPROM do pliku HEX\n"
    "  verify-flash PLIK     porównuje pamięć flash z plikiem HEX\n"
    "  verify-eeprom PLIK    porównuje pamięć EEPROM z plikiem HEX\n"
    "  program-flash PLIK    programuje pamięć flash (z kasowaniem, chyba że --no-erase)\n"
    "  program-eeprom PLIK   programuje pamięć EEPROM\n"
    "  info                  sygnatura, wersje, tryb programatora, bity lock i bezpieczniki\n"
    "  write-lock TRYB       zapisuje bity lock trybu 0..3 (0..2 przy dwóch bitach lock)\n"
    "                        i bezpieczniki --fuse1/--fuse2 (tylko w trybie PAR16)\n"
    "  erase                 kasuje układ\n"
    "  read-fuses            czyta bezpieczniki i bity lock (ATtiny, ATmega): lfuse, hfuse,\n"
    "                        efuse, lock\n"
    "  write-fuses NAZWA=0xWW ...  zapisuje bezpieczniki i bity lock (lfuse, hfuse, efuse,\n"
    "                        lock); wartości wyłączające programowanie szeregowe tylko z\n"
    "                        --force\n"
    "  parts                 pokazuje wszystkie układy: pamięci, stronę, sygnaturę, programatory\n"
    "  ports                 pokazuje porty com1..com4 i obecne urządzenia szeregowe\n"
    "  hex2bin WE.hex WY.bin, bin2hex WE.bin WY.hex\n"
    "  --version             wypisuje nazwę i wersję programu\n"
    "Bez --port programator jest szukany na com1..com4; --port przyjmuje numer 1..16\n"
    "albo ścieżkę urządzenia (/dev/ttyUSB0).\n"
    "--programmer: ostrel (domyślnie) albo avr910, programatory z oprogramowaniem AVR910:\n"
    "przesyłanie blokami, bez odczytu bitów lock i bezpieczników. --baud: prędkość łącza\n"
    "przy wyszukiwaniu i pracy (domyślnie 19200).\n"
    "--device podaje układ w podstawce; auto rozpoznaje go po sygnaturze (tylko układy\n"
    "programowane szeregowo: AT90S, ATtiny, ATmega i AT89S8252). Przed zapisem i kasowaniem "
    "sygnatura\n"
    "układu jest porównywana z wybranym układem; --force zapisuje mimo niezgodności.\n"
    "Kod wyjścia: 0 wykonano; 1 operacja nie powiodła się (różnica przy weryfikacji,\n"
    "plik nie zapisany); 2 błędne wywołanie albo plik wejściowy; 3 programator nie\n"
    "odpowiada; 4 port jest nie do użycia (nie istnieje, brak uprawnień, zajęty);\n"
    "5 układ w podstawce nie jest wybranym układem.\n";

// The call or the input file is wrong.
constexpr int kKodWywolania = 2;

// A signal that asked the program to end: every wait gives up, the port is closed (and
// so restored), no file is written, and the program dies of the signal.
std::atomic<int> g_sygnal{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

void lap_sygnaly() {
  lap_przerwania(g_sygnal);
}

// An error that is not about the call: said without the pointer to --help.
int blad(const std::string& tekst, int kod) {
  std::fprintf(stderr, "ostrel-cli: %s\n", tekst.c_str());
  return kod;
}

int blad_uzycia(const std::string& tekst) {
  std::fprintf(stderr, "ostrel-cli: %s\n(ostrel-cli --help opisuje wywołanie)\n", tekst.c_str());
  return kKodWywolania;
}

// Progress on standard error, labelled by phase. On a terminal one line rewrites
// itself; elsewhere (a log) each phase gives one line at its end. The operations report
// their progress to `postep`.
class WidokCli {
 public:
  WidokCli() : terminal_(terminal_bledow()) {}
  // Progress is shown only while an operation runs; `fazy` names its phases in order
  // (a fall of the bar starts the next one).
  void pokazuj(std::vector<const char*> fazy = {}) {
    fazy_ = std::move(fazy);
    faza_ = 0;
    szerokosc_ = 0;
    for (const char* f : fazy_) szerokosc_ = std::max(szerokosc_, std::strlen(f));
  }
  void postep(int wartosc) {
    if (fazy_.empty() || wartosc == ostatni_) return;
    if (ostatni_ >= 0 && wartosc < ostatni_ && faza_ + 1 < fazy_.size()) {
      if (!terminal_) zakoncz_faze();
      ++faza_;
    }
    ostatni_ = wartosc;
    if (terminal_) {
      std::fprintf(stderr, "\r%-*s %3d%%", static_cast<int>(szerokosc_), fazy_[faza_], wartosc);
      std::fflush(stderr);
    }
    otwarta_linia_ = true;
  }
  void zamknij_linie() {
    if (otwarta_linia_) {
      if (terminal_) {
        std::fputc('\n', stderr);
      } else {
        zakoncz_faze();
      }
    }
    otwarta_linia_ = false;
    ostatni_ = -1;
  }

 private:
  void zakoncz_faze() {
    if (ostatni_ >= 0 && faza_ < fazy_.size())
      std::fprintf(stderr, "%s %d%%\n", fazy_[faza_], ostatni_);
  }

  const bool terminal_;
  std::vector<const char*> fazy_;
  std::size_t faza_ = 0;
  std::size_t szerokosc_ = 0;
  int ostatni_ = -1;
  bool otwarta_linia_ = false;
};

// Ports the search found but could not open: which device and why, on standard error.
// Returns how many were told.
int zglos_nieotwarte(const std::vector<NieotwartyPort>& nieotwarte) {
  int ile = 0;
  for (const NieotwartyPort& n : nieotwarte) {
    const std::string tekst = tekst_bledu_otwarcia(n.nazwa, n.blad);
    if (tekst.empty()) continue;
    std::fprintf(stderr, "ostrel-cli: %s\n", tekst.c_str());
    ++ile;
  }
  return ile;
}

// The user's comN links among the searched ports that lead nowhere: such a link is no
// programmer, and its mere presence turns the automatic choice of COM1..COM4 off.
int zglos_puste_lacza(PlatformaSzeregowa& platforma, int pierwszy, int ostatni) {
  int ile = 0;
  for (const OpisPortu& o : platforma.opisz_porty(ostatni)) {
    if (o.numer < pierwszy || o.skad != Przypisanie::lacze || o.istnieje) continue;
    const std::string dokad = cel_lacza(o.urzadzenie);
    std::fprintf(stderr,
                 "ostrel-cli: com%d: łącze %s prowadzi do %s, którego nie ma; popraw je albo "
                 "usuń (dopóki istnieje, porty com1..com4 nie są wybierane automatycznie)\n",
                 o.numer, o.urzadzenie.c_str(), dokad.c_str());
    ++ile;
  }
  return ile;
}

bool parsuj_wlacznik(const char* s, int& wynik) {
  if (std::strcmp(s, "on") == 0) {
    wynik = 1;
  } else if (std::strcmp(s, "off") == 0) {
    wynik = 0;
  } else {
    return false;
  }
  return true;
}

bool parsuj_liczbe(const char* s, int& wynik) {
  char* koniec = nullptr;
  const long v = std::strtol(s, &koniec, 10);
  if (*s == '\0' || *koniec != '\0' || v < -1000 || v > 1000) return false;
  wynik = static_cast<int>(v);
  return true;
}

// A line speed in bits per second: decimal digits only.
bool parsuj_predkosc(const char* s, int& wynik) {
  char* koniec = nullptr;
  const long v = std::strtol(s, &koniec, 10);
  if (*s < '0' || *s > '9' || *koniec != '\0' || v > 1000000) return false;
  wynik = static_cast<int>(v);
  return true;
}

// All three bytes came, and they are not what a line without a chip gives.
bool jest_sygnatura(const OdczytSygnatury& o) {
  return o.odebrane == 3 && !pusta_sygnatura(o.bajty);
}

// What was read, in address order; "nic" when no byte came.
std::string tekst_odczytu(const OdczytSygnatury& o) {
  if (o.odebrane == 0) return "brak odpowiedzi";
  // The bytes that came are the last in address order.
  std::string t =
      tekst_bajtow(sygnatura_adresowo(o)).substr(static_cast<std::size_t>(3 * (3 - o.odebrane)));
  if (o.odebrane < 3) t += " (niepełna)";
  return t;
}

std::string opis_ukladu(int indeks) {
  return nazwa_krotka(kUklady[static_cast<std::size_t>(indeks)]) + " (sygnatura " +
         tekst_sygnatury_ukladu(indeks) + ")";
}

// The lock mode's description from the part's row: "Tryb N | opis | info".
std::string opis_trybu(const Uklad& u, int tryb) {
  const auto& tryby = u.tryby->tryby;
  if (tryb < 0 || static_cast<std::size_t>(tryb) >= tryby.size()) return "- | - | -";
  const TrybBlokady& t = tryby[static_cast<std::size_t>(tryb)];
  return "Tryb " + std::to_string(tryb) + " | " + t.opis_modu + " | " + t.info;
}

// What the identification read, as the dialog shows it after its opening read: the
// lock mode the 'F' answer shows (else the first), the fuse boxes by the row's bits.
void wypisz_informacje(const Uklad& u, const Identyfikacja& id) {
  std::printf("Sygnatura: %s\n", tekst_sygnatury(id.sygnatura).c_str());
  std::printf("Wersja: %s\n", id.wersje ? tekst_wersji(*id.wersje).c_str() : "-");
  const char* tryb = id.tryb ? tekst_trybu(*id.tryb, u) : nullptr;
  std::printf("Programator: %s\n", tryb != nullptr ? tryb : "target");
  // The AVR910 type sends no 'F': nothing of the chip's lock bits and fuses is known.
  if (!id.bity) {
    if (!u.bezpieczniki.empty()) return;  // read through '.' (wypisz_bezpieczniki)
    std::printf("Bity lock: %s\n", kNieOdczytano);
    std::printf("Bezpieczniki: %s\n", kNieOdczytano);
    return;
  }
  int tryb_blokady = 0;
  if (u.odczyt_F != OdczytF::brak) {
    if (const int t = tryb_z_F(u, *id.bity); t >= 0) tryb_blokady = t;
  }
  const TrybBlokady* t = ostrel::tryb_blokady(u, tryb_blokady);
  const std::uint8_t lock = t != nullptr ? t->bity_lock : 0xFF;
  // An 'F' answer that says nothing of the part: the mode and byte the program holds
  // are its own choice, never the chip's state, and must not read as if they were.
  if (u.odczyt_F == OdczytF::brak) {
    std::printf("Bity lock i bezpieczniki: ten układ ich nie zwraca, nie są odczytywane\n");
    std::printf("Bity lock (wybrane, nie odczytane): %s\n", opis_trybu(u, tryb_blokady).c_str());
    std::printf("Bajt lock (wybrany, nie odczytany): 0x%02X\n", lock);
    return;
  }
  std::printf("Bity lock: %s\n", opis_trybu(u, tryb_blokady).c_str());
  const PolaBezpiecznikow pola = pola_po_odczycie(u, id.bity);
  // The boxes are active in the programmer's mode that writes them.
  const bool aktywne = tryb == nullptr || tryb_par16(*id.tryb);
  for (int i = 0; i < 2; ++i) {
    std::printf("Bezpiecznik %d: %s [%s]%s\n", i + 1,
                pola.zaznaczone[static_cast<std::size_t>(i)] ? "tak" : "nie", u.pole(i + 1).podpis,
                aktywne ? "" : " (nieaktywny)");
  }
  std::printf("Bajt lock: 0x%02X, bajt fuse: 0x%02X\n", lock, pola.fuse);
}

// The type as --programmer takes it ("avr910").
std::string nazwa_opcji(TypProgramatora typ) {
  std::string nazwa = nazwa_typu(typ);
  for (char& c : nazwa) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return nazwa;
}

// The programmer answered as the other type (it refused the list of parts): the option
// that sets the right one.
void wskazowka_typu(const WynikOperacji& w, TypProgramatora typ) {
  if (w.koniec != Koniec::zla_odpowiedz || w.nadmiar || w.polecenie != 't' || w.odpowiedz != '?')
    return;
  const TypProgramatora inny =
      typ == TypProgramatora::avr910 ? TypProgramatora::ostrel : TypProgramatora::avr910;
  std::fprintf(stderr, "ostrel-cli: podaj --programmer %s\n", nazwa_opcji(inny).c_str());
}

// What the user reads of an operation that did not end as done; the front end's Wynik.
Wynik zglos_wynik(LaczePortu& lacze, TypProgramatora typ, const WynikOperacji& w, const Uklad& u) {
  // The adapter gone shows as silence or as garbage: the device is named, exit 4.
  if (w.koniec != Koniec::wykonano && w.koniec != Koniec::niezgodnosc &&
      w.koniec != Koniec::odmowa && lacze.port.DeviceGone()) {
    std::printf("%s\n", tekst_odlaczenia(lacze.opis_portu()).c_str());
    return Wynik::port_niedostepny;
  }
  switch (w.koniec) {
    case Koniec::wykonano:
      return Wynik::ok;
    case Koniec::niezgodnosc:
      std::printf("%s pod adresem 0x%04X: w pliku 0x%02X, w układzie 0x%02X\n", kBladWeryfikacji,
                  static_cast<unsigned>(w.roznica.adres), w.roznica.w_pliku, w.roznica.w_ukladzie);
      return Wynik::blad_weryfikacji;
    case Koniec::przerwano:
      return Wynik::brak_odpowiedzi;  // the signal's own ending follows
    case Koniec::zla_odpowiedz: {
      // A stray byte or a refusal: nothing of the answer is trusted, and no file is written.
      const std::string t = w.nadmiar ? std::string(kNadmiaroweDane)
                                      : tekst_zlej_odpowiedzi(w.polecenie, w.odpowiedz);
      std::printf("%s\n", t.c_str());
      wskazowka_typu(w, typ);
      return Wynik::brak_odpowiedzi;
    }
    case Koniec::brak_odpowiedzi:
    case Koniec::urzadzenie:
      std::printf("%s\n", kNieOdpowiada);
      return Wynik::brak_odpowiedzi;
    case Koniec::odmowa:
      break;
  }
  switch (w.powod) {
    case Odmowa::nieobslugiwany:
      std::printf("%s%s\n", kNieObslugujeUkladu, nazwa_krotka(u).c_str());
      return Wynik::nieobslugiwany;
    case Odmowa::za_duzy:
      std::printf("%s\n", kPlikZaDuzy);
      return Wynik::blad_hex;
    case Odmowa::adres_poza_zasiegiem:
      std::printf("%s\n", kPozaAdresami);
      return Wynik::blad_hex;
    case Odmowa::brak_pamieci:
    case Odmowa::brak:
      break;
  }
  return Wynik::nic;
}

// The inputs every command that talks to the programmer shares.
struct Sesja {
  LaczePortu& lacze;
  Sterownik& sterownik;
  TypProgramatora typ;
  Uklad uklad;  // the chosen row (or the one recognised)
  WidokCli& widok;
  const Polecenie& polecenie;
  std::string argument;                           // FILE or MODE
  Strumien obraz{};                               // the loaded image of a program or verify command
  std::vector<ZapisBezpiecznika> bezpieczniki{};  // write-fuses: the bytes asked for
  std::vector<std::string> argumenty{};           // write-fuses: NAME=0xVV as given
  bool wymus = false;                             // --force
  int tryb = -1;                                  // write-lock's mode
  int bezpiecznik[2] = {-1, -1};
  bool kasowanie = true;
  bool jest_obraz = false;
  bool sprawdzono = false;  // the chip's signature was read (and the input drained) just now
  bool w_trybie = false;    // that read left the part in programming mode
  // EEPROM: the runs of bytes the file holds; only they are written and compared.
  std::vector<Przebieg> przebiegi{};
  std::array<std::uint8_t, 3> sygnatura{};  // info: the signature its read gave
};

Wynik zglos_wynik(Sesja& s, const WynikOperacji& w, const Uklad& u) {
  return zglos_wynik(s.lacze, s.typ, w, u);
}

// A step that identifies or checks the chip: a stop leaves programming mode (its answer
// is not awaited), the device gone or silence is said as for any operation.
Wynik zglos_kroku(Sesja& s, const WynikOperacji& w, const Uklad& u) {
  const bool porzucony = w.koniec == Koniec::zla_odpowiedz || w.koniec == Koniec::brak_odpowiedzi ||
                         w.koniec == Koniec::urzadzenie || w.koniec == Koniec::przerwano;
  if (porzucony && !s.lacze.port.DeviceGone() && s.lacze.przerwane()) {
    s.lacze.wyslij('L');
    return Wynik::przerwano;
  }
  if (g_sygnal != 0) return Wynik::przerwano;
  return zglos_wynik(s, w, u);
}

Wynik polecenie_pamieci(Sesja& s) {
  static const std::vector<const char*> kFazy[] = {{"Odczyt"},
                                                   {"Odczyt"},
                                                   {"Weryfikacja"},
                                                   {"Weryfikacja"},
                                                   {"Programowanie", "Weryfikacja"},
                                                   {"Programowanie", "Weryfikacja"}};
  const int kod = s.polecenie.operacja;
  const Pamiec m = kod % 2 == 0 ? Pamiec::flash : Pamiec::eeprom;
  const Uklad& u = s.uklad;
  s.widok.pokazuj(kFazy[kod]);
  const Postep postep = [&](std::size_t z, std::size_t w) { s.widok.postep(procent(z, w)); };
  Strumien odczyt;
  WynikOperacji w;
  if (kod < 2) {
    w = czytaj(s.sterownik, u, m, odczyt, postep, s.w_trybie);
  } else if (kod < 4) {
    w = weryfikuj(s.sterownik, u, m, s.obraz, postep, !s.sprawdzono, s.w_trybie, s.przebiegi);
  } else {
    w = programuj(s.sterownik, u, m, s.obraz,
                  {.kasowanie = s.kasowanie,
                   .oproznij = !s.sprawdzono,
                   .w_trybie = s.w_trybie,
                   .przebiegi = s.przebiegi},
                  postep);
  }
  s.widok.zamknij_linie();
  s.widok.pokazuj();
  if (g_sygnal != 0) return Wynik::brak_odpowiedzi;
  if (!w.ok()) return zglos_wynik(s, w, u);
  if (kod >= 2) {
    std::printf("%s\n", kWeryfikacjaOK);
    return Wynik::ok;
  }
  Strumien tekst;
  zapisz_hex(odczyt, tekst);
  if (!tekst.zapisz_plik(s.argument)) {
    std::printf("Nie można zapisać pliku %s\n", s.argument.c_str());
    return Wynik::blad_pliku;
  }
  return Wynik::ok;
}

// The fuse and lock bytes read, as "lfuse 0xE1" lines; with `bity`, each followed by its
// named bits (0 = programmed, as datasheets count).
void wypisz_bezpieczniki(const Uklad& u, const std::vector<std::uint8_t>& wartosci, bool bity) {
  for (std::size_t i = 0; i < wartosci.size() && i < u.bezpieczniki.size(); ++i) {
    const BajtBezpiecznikow& b = u.bezpieczniki[i];
    std::printf("%s 0x%02X", b.nazwa, wartosci[i]);
    if (bity) {
      std::printf(":");
      for (const BitBezpiecznika& bit : b.bity) {
        std::printf(" %s=%u", bit.nazwa, static_cast<unsigned>(wartosci[i] >> bit.bit & 1u));
      }
    }
    std::printf("\n");
  }
}

Wynik polecenie_informacji(Sesja& s) {
  const Uklad& u = s.uklad;
  Identyfikacja id;
  if (const WynikOperacji w = identyfikuj(s.sterownik, u, true, 255, id); !w.ok())
    return zglos_kroku(s, w, u);
  s.sygnatura = id.sygnatura;
  wypisz_informacje(u, id);
  if (!u.bezpieczniki.empty()) {
    std::vector<std::uint8_t> wartosci;
    const WynikOperacji r = czytaj_bezpieczniki(s.sterownik, u, wartosci);
    if (g_sygnal != 0) return Wynik::brak_odpowiedzi;
    if (!r.ok()) return zglos_wynik(s, r, u);
    std::printf("Bezpieczniki i bity lock (0 = zaprogramowany):\n");
    wypisz_bezpieczniki(u, wartosci, true);
  }
  // Out now, while the port is still ours: a reader that has gone is then told apart
  // (SIGPIPE) before the port is handed back, not after.
  std::fflush(stdout);
  return Wynik::ok;
}

Wynik polecenie_blokady(Sesja& s) {
  const Uklad& u = s.uklad;
  // The dialog's write works on what its opening read left: the programmer's mode
  // decides whether the fuse byte goes out, the read fuse bits are the base.
  Identyfikacja id;
  if (const WynikOperacji w = identyfikuj(s.sterownik, u, true, 255, id); !w.ok())
    return zglos_kroku(s, w, u);
  const bool par16 = id.tryb && tryb_par16(*id.tryb);
  const char* tryb_programatora = id.tryb ? tekst_trybu(*id.tryb, u) : nullptr;
  // A fuse asked for but not written would pass for done: refused before the lock
  // byte goes out too.
  for (int i = 0; i < 2; ++i) {
    if (s.bezpiecznik[i] < 0) continue;
    if (!par16) {
      blad_uzycia(std::string(i == 0 ? "--fuse1" : "--fuse2") +
                  ": bezpieczniki zapisuje się tylko w trybie \"" + kTrybPAR16 +
                  "\", programator jest w trybie \"" +
                  (tryb_programatora != nullptr ? tryb_programatora : "target") +
                  "\"; nic nie zapisano");
      return Wynik::nic;
    }
  }
  PolaBezpiecznikow pola = pola_po_odczycie(u, id.bity);
  for (int i = 0; i < 2; ++i) {
    if (s.bezpiecznik[i] >= 0) pola = zaznacz_pole(u, pola, i + 1, s.bezpiecznik[i] == 1);
  }
  const TrybBlokady* tryb = tryb_blokady(u, s.tryb);
  if (tryb == nullptr) return Wynik::nic;  // refused with the call's checks
  const std::optional<std::uint8_t> fuse = fuse_do_zapisu(pola.fuse, par16);
  if (const WynikOperacji w = zapisz_bity(s.sterownik, u, tryb->bity_lock, fuse); !w.ok())
    return zglos_kroku(s, w, u);
  std::printf("Zapisano bity lock 0x%02X (%s)", tryb->bity_lock, tryb->info);
  if (fuse) std::printf(", bezpieczniki 0x%02X", *fuse);
  std::printf("\n");
  return Wynik::ok;
}

Wynik polecenie_kasowania(Sesja& s) {
  const Uklad& u = s.uklad;
  const WynikOperacji w = kasuj(s.sterownik, u, s.w_trybie);
  if (g_sygnal != 0) return Wynik::brak_odpowiedzi;
  if (!w.ok()) return zglos_wynik(s, w, u);
  std::printf("Układ skasowany\n");
  return Wynik::ok;
}

Wynik polecenie_odczytu_bezpiecznikow(Sesja& s) {
  const Uklad& u = s.uklad;
  std::vector<std::uint8_t> wartosci;
  const WynikOperacji w = czytaj_bezpieczniki(s.sterownik, u, wartosci);
  if (g_sygnal != 0) return Wynik::brak_odpowiedzi;
  if (!w.ok()) return zglos_wynik(s, w, u);
  wypisz_bezpieczniki(u, wartosci, false);
  return Wynik::ok;
}

std::string nazwy_bitow(const std::vector<const char*>& bity) {
  std::string t;
  for (const char* b : bity) t += (t.empty() ? "" : ", ") + std::string(b);
  return t;
}

Wynik polecenie_zapisu_bezpiecznikow(Sesja& s) {
  const Uklad& u = s.uklad;
  // The clock source's change is judged against the chip's own byte.
  std::vector<std::uint8_t> obecne;
  WynikOperacji w = czytaj_bezpieczniki(s.sterownik, u, obecne);
  if (g_sygnal != 0) return Wynik::brak_odpowiedzi;
  if (!w.ok()) return zglos_wynik(s, w, u);
  for (const ZapisBezpiecznika& z : s.bezpieczniki) {
    const OcenaBezpiecznika o = ocen_bezpiecznik(u, z.bajt, z.wartosc, obecne.at(z.bajt));
    if (!o.zegar.empty()) {
      std::fprintf(stderr,
                   "ostrel-cli: uwaga: %s=0x%02X zmienia źródło zegara (%s) na zewnętrzny zegar "
                   "albo kwarc; bez niego układ, a z nim programowanie szeregowe, nie ruszy\n",
                   u.bezpieczniki[z.bajt].nazwa, z.wartosc, nazwy_bitow(o.zegar).c_str());
    }
  }
  w = zapisz_bezpieczniki(s.sterownik, u, s.bezpieczniki);
  if (g_sygnal != 0) return Wynik::brak_odpowiedzi;
  if (w.koniec == Koniec::niezgodnosc) {
    std::printf("%s po zapisie 0x%02X odczytano 0x%02X\n", u.bezpieczniki[w.roznica.adres].nazwa,
                w.roznica.w_pliku, w.roznica.w_ukladzie);
    return Wynik::blad_weryfikacji;
  }
  if (!w.ok()) return zglos_wynik(s, w, u);
  for (const ZapisBezpiecznika& z : s.bezpieczniki) {
    std::printf("Zapisano %s 0x%02X\n", u.bezpieczniki[z.bajt].nazwa, z.wartosc);
  }
  return Wynik::ok;
}

// Runs the command on a programmer that has been found; prints the result texts.
Wynik wykonaj(Sesja& s) {
  switch (s.polecenie.rodzaj) {
    case Rodzaj::wykryj:
      break;
    case Rodzaj::pamiec:
      return polecenie_pamieci(s);
    case Rodzaj::informacje:
      return polecenie_informacji(s);
    case Rodzaj::blokada:
      return polecenie_blokady(s);
    case Rodzaj::kasowanie:
      return polecenie_kasowania(s);
    case Rodzaj::odczyt_bezpiecznikow:
      return polecenie_odczytu_bezpiecznikow(s);
    case Rodzaj::zapis_bezpiecznikow:
      return polecenie_zapisu_bezpiecznikow(s);
  }
  return Wynik::nic;
}

}  // namespace

namespace {

// Commands that write or erase the chip: refused on another part's signature.
bool zapisuje(const Polecenie& p) {
  return p.rodzaj == Rodzaj::blokada || p.rodzaj == Rodzaj::kasowanie ||
         p.rodzaj == Rodzaj::zapis_bezpiecznikow || (p.rodzaj == Rodzaj::pamiec && p.operacja >= 4);
}

// The checks that need the chosen part; -1 when all pass, else the exit status.
int sprawdz_dla_ukladu(int indeks, const Polecenie& polecenie, const Strumien* obraz, int tryb,
                       const int (&bezpiecznik)[2]) {
  const Uklad& u = kUklady[static_cast<std::size_t>(indeks)];
  for (int i = 0; i < 2; ++i) {
    if (bezpiecznik[i] >= 0 && !ma_bezpiecznik(u, i + 1)) {
      return blad_uzycia(std::string(i == 0 ? "--fuse1" : "--fuse2") + ": układ " +
                         nazwa_krotka(u) + " nie ma takiego bezpiecznika");
    }
  }
  if (polecenie.rodzaj == Rodzaj::pamiec) {
    const int kod = polecenie.operacja;
    const bool eeprom = kod == 1 || kod == 3 || kod == 5;
    if (eeprom && u.rozmiar_eeprom == 0)
      return blad("układ " + nazwa_krotka(u) + " nie ma pamięci EEPROM", kKodWywolania);
    if (obraz != nullptr && obraz->rozmiar() > u.bajty(!eeprom)) {
      std::printf("%s: %s\n", kPlikZaDuzy,
                  objasnienie_rozmiaru(obraz->rozmiar(), !eeprom, nazwa_krotka(u), u.bajty(!eeprom))
                      .c_str());
      return kKodWywolania;
    }
  } else if (polecenie.rodzaj == Rodzaj::blokada) {
    const int liczba = u.liczba_trybow;
    if (tryb < 0 || tryb >= liczba)
      return blad_uzycia(std::string("tryb blokady układu ") + nazwa_krotka(u) +
                         " musi być liczbą 0.." + std::to_string(liczba - 1));
  }
  return -1;
}

// A byte value as C writes it (0xE1, 225, 0341), nothing after it and no sign.
bool bajt_z_tekstu(const std::string& wartosc, std::uint8_t& v) {
  char* koniec = nullptr;
  errno = 0;
  const unsigned long l = std::strtoul(wartosc.c_str(), &koniec, 0);
  if (wartosc.empty() || koniec == nullptr || *koniec != '\0' || errno != 0 || l > 0xFF ||
      wartosc[0] == '-' || wartosc[0] == '+')
    return false;
  v = static_cast<std::uint8_t>(l);
  return true;
}

// write-fuses NAME=0xVV ...: the bytes the part has, each once, values that keep serial
// programming (unless forced). -1 when all pass, else the exit status; nothing has been
// sent.
int sprawdz_bezpieczniki(const Uklad& u, const std::vector<std::string>& argumenty, bool wymus,
                         std::vector<ZapisBezpiecznika>& zapisy) {
  zapisy.clear();
  std::string nazwy;
  for (const BajtBezpiecznikow& b : u.bezpieczniki)
    nazwy += (nazwy.empty() ? "" : ", ") + std::string(b.nazwa);
  if (u.bezpieczniki.empty())
    return blad_uzycia("układ " + nazwa_krotka(u) + " nie ma bezpieczników zapisywanych przez '.'");
  for (const std::string& a : argumenty) {
    const std::size_t rowne = a.find('=');
    const int bajt =
        rowne == std::string::npos ? -1 : znajdz_bajt_bezpiecznikow(u, a.substr(0, rowne));
    if (bajt < 0)
      return blad_uzycia("write-fuses: " + a + ": podaj NAZWA=0xWW, NAZWA jedna z: " + nazwy +
                         " (układ " + nazwa_krotka(u) + ")");
    std::uint8_t v = 0;
    if (!bajt_z_tekstu(a.substr(rowne + 1), v))
      return blad_uzycia("write-fuses: " + a + ": wartość musi być bajtem 0x00..0xFF");
    for (const ZapisBezpiecznika& z : zapisy) {
      if (z.bajt == static_cast<std::size_t>(bajt))
        return blad_uzycia("write-fuses: " + a.substr(0, rowne) + " podano dwa razy");
    }
    zapisy.push_back({static_cast<std::size_t>(bajt), v});
  }
  for (const ZapisBezpiecznika& z : zapisy) {
    const OcenaBezpiecznika o = ocen_bezpiecznik(u, z.bajt, z.wartosc, std::nullopt);
    if (o.konczace.empty()) continue;
    char tekst[64];
    std::snprintf(tekst, sizeof tekst, "%s=0x%02X", u.bezpieczniki[z.bajt].nazwa, z.wartosc);
    const std::string opis = std::string("write-fuses: ") + tekst + " ustawia " +
                             nazwy_bitow(o.konczace) +
                             " tak, że programowanie szeregowe przestanie działać";
    if (!wymus) return blad(opis + "; nic nie zapisano (--force zapisuje mimo to)", kKodWywolania);
    std::fprintf(stderr, "ostrel-cli: %s; --force: zapis mimo to\n", opis.c_str());
  }
  return -1;
}

// write-fuses with --device auto, before the port is touched: what needs no part is
// checked as for a named part (each argument NAME=0xVV with a name some part has, a byte,
// each name once). The values are judged by the bits of the part the signature shows,
// before anything is written to it. -1 to go on.
int sprawdz_bezpieczniki_auto(const std::vector<std::string>& argumenty) {
  std::vector<std::string> nazwy;
  for (const Uklad& u : kUklady) {
    if (u.rownolegly_12v) continue;
    for (const BajtBezpiecznikow& b : u.bezpieczniki) {
      if (std::find(nazwy.begin(), nazwy.end(), b.nazwa) == nazwy.end())
        nazwy.emplace_back(b.nazwa);
    }
  }
  std::string lista;
  for (const std::string& n : nazwy) lista += (lista.empty() ? "" : ", ") + n;
  std::vector<std::string> podane;
  for (const std::string& a : argumenty) {
    const std::size_t rowne = a.find('=');
    const std::string nazwa = rowne == std::string::npos ? std::string() : a.substr(0, rowne);
    if (std::find(nazwy.begin(), nazwy.end(), nazwa) == nazwy.end())
      return blad_uzycia("write-fuses: " + a + ": podaj NAZWA=0xWW, NAZWA jedna z: " + lista);
    std::uint8_t v = 0;
    if (!bajt_z_tekstu(a.substr(rowne + 1), v))
      return blad_uzycia("write-fuses: " + a + ": wartość musi być bajtem 0x00..0xFF");
    if (std::find(podane.begin(), podane.end(), nazwa) != podane.end())
      return blad_uzycia("write-fuses: " + nazwa + " podano dwa razy");
    podane.push_back(nazwa);
  }
  return -1;
}

// read-fuses and write-fuses need a part whose fuse bytes are read through '.'; -1 to go on.
int sprawdz_polecenie_bezpiecznikow(Sesja& s, const Uklad& u) {
  if (s.polecenie.rodzaj == Rodzaj::zapis_bezpiecznikow)
    return sprawdz_bezpieczniki(u, s.argumenty, s.wymus, s.bezpieczniki);
  if (s.polecenie.rodzaj == Rodzaj::odczyt_bezpiecznikow && u.bezpieczniki.empty())
    return blad_uzycia("układ " + nazwa_krotka(u) +
                       " nie ma bezpieczników odczytywanych przez '.'");
  return -1;
}

// ostrel-cli parts: every row with its memories, page, signature and the programmer
// types that can serve it (each type judges by the row alone; no port is opened).
void wypisz_uklady() {
  TimerReczny timer;
  TCommPortDriver port(nullptr, &timer);
  LaczePortu lacze(port);
  const TypProgramatora kTypy[] = {TypProgramatora::ostrel, TypProgramatora::avr910};
  std::vector<std::pair<std::string, std::unique_ptr<Sterownik>>> sterowniki;
  for (const TypProgramatora t : kTypy)
    sterowniki.emplace_back(nazwa_opcji(t), utworz_sterownik(t, lacze));
  for (const Uklad& u : kUklady) {
    std::string typy;
    for (const auto& [nazwa, s] : sterowniki) {
      if (s->moze_obslugiwac(u)) typy += (typy.empty() ? "" : ", ") + nazwa;
    }
    std::printf("%s: flash %u B, EEPROM %u B, strona %s, sygnatura %s, programatory: %s\n",
                nazwa_krotka(u).c_str(), u.bajty_flash(), u.rozmiar_eeprom,
                u.rozmiar_strony > 0 ? (std::to_string(u.rozmiar_strony) + " B").c_str() : "-",
                tekst_sygnatury_ukladu(u).c_str(), typy.c_str());
  }
}

// Compares the chip's signature with the chosen part before the command runs. -1 to go
// on, else the exit status.
int ocen_sygnature(int indeks, const Polecenie& polecenie, bool wymus, const OdczytSygnatury& o);

// 'L' for a session the signature read left open, and whatever came late drained.
void zamknij_sesje(Sesja& s, bool& otwarta) {
  if (!otwarta) return;
  otwarta = false;
  zakoncz_sesje(s.sterownik);
  try {
    s.lacze.oproznij_wejscie();
  } catch (const PorzucenieOperacji&) {
    // The command that follows meets the same line and says so.
  }
}

// `otwarta` asks to keep the part in programming mode for the command (the commands run
// through the operations: one 'P' for the check and the command); it says on return
// whether the session is still open.
int sprawdz_sygnature(Sesja& s, int indeks, const Polecenie& polecenie, bool wymus, bool& otwarta) {
  OdczytSygnatury o;
  if (const WynikOperacji w = sygnatura(s.sterownik, s.uklad, o, otwarta); !w.ok()) {
    otwarta = false;
    const Wynik z = zglos_kroku(s, w, s.uklad);
    if (g_sygnal != 0) return -1;
    return kod_wyjscia(z);
  }
  const int k = ocen_sygnature(indeks, polecenie, wymus, o);
  // Going on with a chip that answered: the session stays open for the command.
  if (k < 0 && jest_sygnatura(o)) return k;
  // Refused, or no signature (a late part of the answer must not pass for the next
  // command's acknowledgement): the session ends here.
  zamknij_sesje(s, otwarta);
  return k;
}

int ocen_sygnature(int indeks, const Polecenie& polecenie, bool wymus, const OdczytSygnatury& o) {
  const std::string wybrany = nazwa_krotka(kUklady[static_cast<std::size_t>(indeks)]);
  if (!jest_sygnatura(o)) {
    // A chip that gives no signature gives no fuse bytes either: what '.' brought back
    // would be the line's idle level, not the chip's bits.
    if (polecenie.rodzaj == Rodzaj::odczyt_bezpiecznikow ||
        polecenie.rodzaj == Rodzaj::zapis_bezpiecznikow) {
      return blad("programator nie podał sygnatury układu (odczytano: " + tekst_odczytu(o) +
                      "); układ " + wybrany + " nie odpowiada, bezpieczniki nie zostały " +
                      (polecenie.rodzaj == Rodzaj::odczyt_bezpiecznikow ? "odczytane" : "zapisane"),
                  kod_wyjscia(Wynik::brak_odpowiedzi));
    }
    std::fprintf(stderr,
                 "ostrel-cli: programator nie podał sygnatury układu (odczytano: %s); nie można "
                 "sprawdzić, czy w podstawce jest %s\n",
                 tekst_odczytu(o).c_str(), wybrany.c_str());
    return -1;
  }
  const auto bajty = sygnatura_adresowo(o);
  if (sygnatura_pasuje(indeks, bajty)) {
    std::fprintf(stderr, "Sygnatura %s: %s\n", tekst_bajtow(bajty).c_str(), wybrany.c_str());
    return -1;
  }
  // The window asks with the same words.
  const std::string tekst = opis_innego_ukladu(kUklady[static_cast<std::size_t>(indeks)], o);
  if (!zapisuje(polecenie)) {
    std::fprintf(stderr, "ostrel-cli: uwaga: %s\n", tekst.c_str());
    return -1;
  }
  if (wymus) {
    std::fprintf(stderr, "ostrel-cli: %s; --force: zapis mimo to\n", tekst.c_str());
    return -1;
  }
  return blad(tekst + "; nic nie zapisano (--force zapisuje mimo to)",
              kod_wyjscia(Wynik::inny_uklad));
}

// --device auto: the part whose signature the chip gives in a low-voltage serial mode.
// The 12 V mode (device code 12) is never selected: a guess must not put 12 V on a chip
// that does not take it. The row's index, or -1 after the refusal was said.
int rozpoznaj_uklad(Sesja& s, int& kod_wyjscia_bledu) {
  std::vector<const Uklad*> kandydaci;
  for (const Uklad& u : kUklady) {
    if (!u.rownolegly_12v) kandydaci.push_back(&u);
  }
  // The AVR parts first: the most common in the socket.
  std::stable_partition(kandydaci.begin(), kandydaci.end(), [](const Uklad* u) { return u->avr; });
  std::vector<std::uint8_t> kody;  // the modes tried: a part of the same mode reads the same
  const std::string lista = "; podaj układ: --device NAZWA (" + nazwy_ukladow() + ")";
  std::string odczytano = "brak odpowiedzi";
  for (const Uklad* kandydat : kandydaci) {
    const std::uint8_t kod = s.sterownik.kod(*kandydat);
    if (std::find(kody.begin(), kody.end(), kod) != kody.end()) continue;
    kody.push_back(kod);
    OdczytSygnatury o;
    const WynikOperacji odczyt = sygnatura(s.sterownik, *kandydat, o);
    // A mode this programmer does not have.
    if (odczyt.koniec == Koniec::odmowa && odczyt.powod == Odmowa::nieobslugiwany) continue;
    if (!odczyt.ok()) {
      kod_wyjscia_bledu = kod_wyjscia(zglos_kroku(s, odczyt, *kandydat));
      return -1;
    }
    if (o.odebrane == 0) break;  // the programmer gives no signature in any mode
    if (!jest_sygnatura(o)) {
      odczytano = tekst_odczytu(o);
      continue;
    }
    const auto bajty = sygnatura_adresowo(o);
    const int indeks = uklad_o_sygnaturze(bajty);
    kod_wyjscia_bledu = kKodWywolania;
    if (indeks < 0) {
      blad("--device auto: sygnatura " + tekst_bajtow(bajty) + " nie należy do żadnego znanego " +
               "układu" + lista,
           kKodWywolania);
      return -1;
    }
    const Uklad& u = kUklady[static_cast<std::size_t>(indeks)];
    if (u.rownolegly_12v) {
      blad("--device auto: sygnatura " + tekst_bajtow(bajty) + " to " + nazwa_krotka(u) +
               ", programowany w trybie 12 V, którego rozpoznawanie nie próbuje" + lista,
           kKodWywolania);
      return -1;
    }
    // Read in the part's own mode, the signature must stay the same.
    if (s.sterownik.kod(u) != kod) {
      OdczytSygnatury w;
      if (const WynikOperacji r = sygnatura(s.sterownik, u, w); !r.ok()) {
        kod_wyjscia_bledu = kod_wyjscia(zglos_kroku(s, r, u));
        return -1;
      }
      if (w.odebrane != 3 || w.bajty != o.bajty) {
        blad("--device auto: sygnatura " + tekst_bajtow(bajty) + " (" + nazwa_krotka(u) +
                 ") nie potwierdziła się w trybie tego układu (odczytano: " + tekst_odczytu(w) +
                 ")" + lista,
             kKodWywolania);
        return -1;
      }
    }
    std::fprintf(stderr, "Rozpoznano układ %s (sygnatura %s)\n", nazwa_krotka(u).c_str(),
                 tekst_bajtow(bajty).c_str());
    return indeks;
  }
  kod_wyjscia_bledu = kKodWywolania;
  blad("--device auto: układ nie podał sygnatury (odczytano: " + odczytano + ")" + lista,
       kKodWywolania);
  return -1;
}

// Ends the program the way the signal would have, after the port has been handed back.
// A write may have changed part of the chip before the signal came, and a read may have
// written its file before it: each is said as it is.
[[noreturn]] void zakoncz_sygnalem(TCommPortDriver& port, bool zapis,
                                   const std::string& zapisany_plik = {}) {
  const int numer = g_sygnal;
  port.Close();
  std::fflush(stdout);
  const std::string co = zapis ? "układ mógł zostać zmieniony częściowo"
                         : zapisany_plik.empty()
                             ? "żaden plik nie został zapisany"
                             : "plik " + zapisany_plik + " został zapisany przed sygnałem";
  std::fprintf(stderr, "ostrel-cli: przerwano (sygnał %d); port przywrócony, %s\n", numer,
               co.c_str());
  zakoncz_przerwaniem(numer);
}

}  // namespace

namespace {

// The call as the command line gives it.
struct Wywolanie {
  int numer_portu = 0;
  std::string sciezka_portu;
  std::string uklad;
  bool bez_kasowania = false;
  bool wymus = false;
  TypProgramatora typ = TypProgramatora::ostrel;
  TComPortBaudRate predkosc = br19200;
  int bezpiecznik[2] = {-1, -1};
  const Polecenie* polecenie = nullptr;
  std::string argument;
  std::vector<std::string> argumenty;  // write-fuses: NAME=0xVV each
  bool automatycznie = false;
  int indeks = -1;  // the chosen part's row, -1 auto or none
};

// Reads the options and the command. -1 to go on, else the exit status (help, ports).
int parsuj_wywolanie(int argc, char** argv, Wywolanie& w) {
  std::vector<std::string> pozycyjne;
  bool koniec_opcji = false;
  for (int i = 1; i < argc; ++i) {
    if (koniec_opcji || argv[i][0] != '-' || argv[i][1] == '\0') {
      pozycyjne.emplace_back(argv[i]);
      continue;
    }
    // "--opt=value" is "--opt value": the name alone below, the value kept aside.
    std::string nazwa_opcji = argv[i];
    std::optional<std::string> po_rownasie;
    if (const auto r = nazwa_opcji.find('=');
        nazwa_opcji.rfind("--", 0) == 0 && r != std::string::npos) {
      po_rownasie = nazwa_opcji.substr(r + 1);
      nazwa_opcji.resize(r);
    }
    const char* a = nazwa_opcji.c_str();
    // The value of an option: after its '=', else the next argument; null when none.
    auto wartosc = [&]() -> const char* {
      if (po_rownasie) return po_rownasie->c_str();
      return i + 1 < argc ? argv[++i] : nullptr;
    };
    // A switch given a value ("--force=yes") is no switch this program knows.
    auto bez_wartosci = [&]() { return !po_rownasie.has_value(); };
    if (std::strcmp(a, "--") == 0) {
      koniec_opcji = true;
    } else if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
      std::fputs(kUzycie, stdout);
      std::fputs(dopisek_uzycia(), stdout);
      return 0;
    } else if (std::strcmp(a, "--port") == 0) {
      const char* v = wartosc();
      // A device path names the device itself; anything else must be a port number.
      if (v != nullptr && numer_nazwanego_portu(v) != 0) {
        w.numer_portu = numer_nazwanego_portu(v);
        w.sciezka_portu.clear();
      } else if (v != nullptr && jest_sciezka_urzadzenia(v)) {
        w.sciezka_portu = v;
        w.numer_portu = 0;
      } else if (v == nullptr) {
        return blad_uzycia("--port wymaga numeru portu 1..16 albo ścieżki urządzenia");
      } else if (!parsuj_liczbe(v, w.numer_portu) || w.numer_portu < 1 || w.numer_portu > 16) {
        // "ttyUSB0" is meant as a device: say how to name one.
        return blad_uzycia(std::string("--port ") + v +
                           ": to nie jest numer portu 1..16 ani ścieżka urządzenia (ścieżka "
                           "zawiera ukośnik: /dev/ttyUSB0, ./ttyUSB0)");
      } else {
        w.sciezka_portu.clear();
      }
    } else if (std::strcmp(a, "--device") == 0) {
      const char* v = wartosc();
      if (v == nullptr) return blad_uzycia("--device wymaga nazwy układu albo auto");
      w.uklad = v;
    } else if (std::strcmp(a, "--no-erase") == 0 && bez_wartosci()) {
      w.bez_kasowania = true;
    } else if (std::strcmp(a, "--force") == 0 && bez_wartosci()) {
      w.wymus = true;
    } else if (std::strcmp(a, "--programmer") == 0) {
      const char* v = wartosc();
      if (v != nullptr && std::strcmp(v, "ostrel") == 0) {
        w.typ = TypProgramatora::ostrel;
      } else if (v != nullptr && std::strcmp(v, "avr910") == 0) {
        w.typ = TypProgramatora::avr910;
      } else {
        return blad_uzycia("--programmer wymaga ostrel albo avr910");
      }
    } else if (std::strcmp(a, "--baud") == 0) {
      const char* v = wartosc();
      int bps = 0;
      if (v == nullptr || !parsuj_predkosc(v, bps) ||
          !predkosc_z_liczby(static_cast<std::uint32_t>(bps), w.predkosc))
        return blad_uzycia("--baud wymaga prędkości 19200, 38400, 57600 albo 115200");
    } else if (std::strcmp(a, "--fuse1") == 0 || std::strcmp(a, "--fuse2") == 0) {
      const char* v = wartosc();
      const int ktory = a[6] == '1' ? 0 : 1;
      if (v == nullptr || !parsuj_wlacznik(v, w.bezpiecznik[ktory]))
        return blad_uzycia(std::string(a) + " wymaga on albo off");
    } else if (po_rownasie &&
               (std::strcmp(a, "--no-erase") == 0 || std::strcmp(a, "--force") == 0)) {
      return blad_uzycia(std::string("opcja ") + a + " nie przyjmuje wartości");
    } else {
      return blad_uzycia(std::string("nieznana opcja ") + a);
    }
  }

  if (pozycyjne.empty()) return blad_uzycia("brak polecenia");
  if (pozycyjne[0] == "ports") {
    if (pozycyjne.size() != 1) return blad_uzycia("polecenie ports nie ma argumentów");
    std::fputs(tekst_listy_portow(*utworz_platforme()).c_str(), stdout);
    return 0;
  }
  if (pozycyjne[0] == "parts") {
    if (pozycyjne.size() != 1) return blad_uzycia("polecenie parts nie ma argumentów");
    wypisz_uklady();
    return 0;
  }
  for (const Polecenie& p : kPolecenia) {
    if (pozycyjne[0] == p.nazwa) w.polecenie = &p;
  }
  const Polecenie* polecenie = w.polecenie;
  if (polecenie == nullptr) return blad_uzycia("nieznane polecenie " + pozycyjne[0]);
  const std::size_t oczekiwane = polecenie->argument ? 2 : 1;
  if (polecenie->rodzaj == Rodzaj::zapis_bezpiecznikow && pozycyjne.size() >= 2) {
    w.argumenty.assign(pozycyjne.begin() + 1, pozycyjne.end());
  } else if (pozycyjne.size() != oczekiwane) {
    return blad_uzycia(polecenie->argument
                           ? std::string("polecenie ") + polecenie->nazwa + " wymaga argumentu"
                           : std::string("polecenie ") + polecenie->nazwa + " nie ma argumentów");
  }
  w.argument = polecenie->argument ? pozycyjne[1] : std::string();
  if ((w.bezpiecznik[0] >= 0 || w.bezpiecznik[1] >= 0) && polecenie->rodzaj != Rodzaj::blokada)
    return blad_uzycia("--fuse1 i --fuse2 działają tylko z write-lock");

  // A command that talks to the chip must know which chip: a wrong guess writes with
  // another part's algorithm.
  std::string auto_klucz = w.uklad;
  for (char& c : auto_klucz) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  w.automatycznie = auto_klucz == "auto";
  if (!w.automatycznie && !w.uklad.empty()) {
    w.indeks = znajdz_uklad(w.uklad);
    if (w.indeks < 0)
      return blad_uzycia("nieznany układ " + w.uklad + "; znane układy: " + nazwy_ukladow());
  }
  if (w.uklad.empty() && polecenie->rodzaj != Rodzaj::wykryj) {
    return blad_uzycia("polecenie " + std::string(polecenie->nazwa) +
                       " wymaga układu: --device NAZWA (" + nazwy_ukladow() +
                       ") albo --device auto");
  }
  return -1;
}

// The command's input, checked before any port is touched: the image to write or
// compare, the file a read will write, the lock mode. -1 to go on, else the exit status.
int przygotuj_wejscie(Sesja& s) {
  const std::string& argument = s.argument;
  if (s.polecenie.rodzaj == Rodzaj::pamiec) {
    const int kod = s.polecenie.operacja;
    if (kod >= 2) {
      std::string tekst;
      PrzyczynaHex przyczyna;
      const Wynik w =
          wczytaj_hex(argument, s.obraz, tekst, static_cast<std::size_t>(-1), &przyczyna,
                      kod % 2 == 1 ? PamiecElf::eeprom : PamiecElf::flash, &s.przebiegi);
      if (w != Wynik::ok) {
        // The reason the file could not be read, in the program's words.
        if (w == Wynik::blad_pliku && tekst == "Nie można otworzyć pliku " + argument) {
          Strumien plik;
          std::string powod;
          if (!plik.wczytaj_plik(argument, &powod) && !powod.empty()) tekst += ": " + powod;
        }
        std::printf("%s\n", tekst.c_str());
        std::fflush(stdout);
        const std::string objasnienie = objasnienie_hex(przyczyna);
        if (!objasnienie.empty()) std::fprintf(stderr, "%s\n", objasnienie.c_str());
        return kKodWywolania;
      }
      s.jest_obraz = true;
    } else if (const std::string powod = powod_zapisu(argument); !powod.empty()) {
      std::printf("Nie można zapisać pliku %s: %s\n", argument.c_str(), powod.c_str());
      return kKodWywolania;
    }
  } else if (s.polecenie.rodzaj == Rodzaj::blokada) {
    if (!parsuj_liczbe(argument.c_str(), s.tryb) || s.tryb < 0 || s.tryb > 3)
      return blad_uzycia("tryb blokady musi być liczbą 0..3 (0..2 przy dwóch bitach lock)");
  }
  return -1;
}

// An explicit device or port that is not there is said before anything else; a relative
// path is taken from the current folder, as a shell user means it. -1 to go on.
int sprawdz_port_wywolania(Wywolanie& w) {
  if (!w.sciezka_portu.empty()) {
    w.sciezka_portu = pelna_sciezka_urzadzenia(w.sciezka_portu);
    if (const std::string powod = brak_urzadzenia(w.sciezka_portu); !powod.empty())
      return blad("--port " + w.sciezka_portu + ": " + powod, kod_wyjscia(Wynik::port_niedostepny));
  } else if (w.numer_portu != 0) {
    if (const std::string powod = brak_portu(w.numer_portu); !powod.empty()) {
      return blad("--port COM" + std::to_string(w.numer_portu) + ": " + powod,
                  kod_wyjscia(Wynik::port_niedostepny));
    }
  }
  return -1;
}

// The search on the port the call names, or on com1..com4. -1 when the programmer was
// found and its port is open (what was found is said), else the exit status.
int znajdz_programator(LaczePortu& lacze, const Wywolanie& w) {
  TCommPortDriver& port = lacze.port;
  const WynikSzukania z =
      !w.sciezka_portu.empty()
          ? szukaj_na_urzadzeniu(port, w.sciezka_portu, w.predkosc, lacze.limit_odpowiedzi_ms)
      : w.numer_portu != 0
          ? szukaj_programatora(port, w.numer_portu, w.numer_portu, w.predkosc,
                                lacze.limit_odpowiedzi_ms)
          : szukaj_programatora(port, 1, kPortySzukania, w.predkosc, lacze.limit_odpowiedzi_ms);
  if (g_sygnal != 0) zakoncz_sygnalem(port, false);
  // The command-line tool has no demo mode: it says only what it found.
  if (!z.znaleziony) {
    std::printf("Nie znaleziono programatora\n");
    std::fflush(stdout);
    int powody = zglos_nieotwarte(z.nieotwarte);
    if (w.sciezka_portu.empty()) {
      powody += w.numer_portu != 0
                    ? zglos_puste_lacza(port.Platforma(), w.numer_portu, w.numer_portu)
                    : zglos_puste_lacza(port.Platforma(), 1, kPortySzukania);
    }
    return powody > 0 ? kod_wyjscia(Wynik::port_niedostepny) : kod_wyjscia(Wynik::brak_odpowiedzi);
  }
  const std::string nazwa =
      !w.sciezka_portu.empty() ? w.sciezka_portu : "com" + std::to_string(z.port);
  // Found by the probe, but taken by another program before it could be opened again.
  if (!port.IsOpen()) {
    std::string tekst = tekst_bledu_otwarcia(nazwa, port.OpenError());
    if (tekst.empty()) tekst = nazwa + ": port zniknął po wyszukaniu programatora";
    return blad(tekst, kod_wyjscia(Wynik::port_niedostepny));
  }
  const std::string znaleziono = "Znaleziono programator na " + nazwa;
  if (w.polecenie->rodzaj == Rodzaj::wykryj) {
    std::printf("%s\n", znaleziono.c_str());
    std::fflush(stdout);
  } else {
    std::fprintf(stderr, "%s\n", znaleziono.c_str());
  }
  zglos_nieotwarte(z.nieotwarte);
  // The probe's silence is the first step's drain: it need not wait for it again.
  lacze.cisza = z.cisza;
  return -1;
}

// The part in the socket: recognised by its signature (auto), or the chosen one checked
// against it. -1 to go on, else the exit status.
int ustal_uklad(Wywolanie& w, Sesja& s) {
  TCommPortDriver& port = s.lacze.port;
  if (w.automatycznie) {
    int kod = kKodWywolania;
    w.indeks = rozpoznaj_uklad(s, kod);
    if (g_sygnal != 0) zakoncz_sygnalem(port, false);
    if (w.indeks < 0) return kod;
    s.uklad = kUklady[static_cast<std::size_t>(w.indeks)];
    s.sprawdzono = true;
    if (const int b =
            sprawdz_polecenie_bezpiecznikow(s, kUklady[static_cast<std::size_t>(w.indeks)]);
        b >= 0)
      return b;
    return sprawdz_dla_ukladu(w.indeks, s.polecenie, s.jest_obraz ? &s.obraz : nullptr, s.tryb,
                              s.bezpiecznik);
  }
  // info reads the signature itself.
  if (s.polecenie.rodzaj == Rodzaj::informacje) return -1;
  // The commands that run through the operations go on in the check's session.
  bool otwarta = s.polecenie.rodzaj == Rodzaj::pamiec || s.polecenie.rodzaj == Rodzaj::kasowanie;
  const int k = sprawdz_sygnature(s, w.indeks, s.polecenie, w.wymus, otwarta);
  if (g_sygnal != 0) zakoncz_sygnalem(port, false);
  s.sprawdzono = true;
  s.w_trybie = otwarta;
  return k;
}

// info names a part other than the chosen one that its signature read shows.
void uwaga_o_sygnaturze(const Sesja& s, int indeks) {
  const auto bajty = sygnatura_adresowo(s.sygnatura);
  if (sygnatura_pasuje(indeks, bajty)) return;
  const int znaleziony = uklad_o_sygnaturze(bajty);
  std::fprintf(
      stderr, "ostrel-cli: uwaga: wybrano układ %s, a sygnatura to %s%s\n",
      opis_ukladu(indeks).c_str(), tekst_bajtow(bajty).c_str(),
      znaleziony >= 0
          ? (", czyli " + nazwa_krotka(kUklady[static_cast<std::size_t>(znaleziony)])).c_str()
          : "");
}

}  // namespace

int programator(int argc, char** argv) {
  Wywolanie w;
  if (const int k = parsuj_wywolanie(argc, argv, w); k >= 0) return k;

  TimerReczny timer;
  TCommPortDriver port(nullptr, &timer);
  ustaw_CommPortDriver1(port);
  WidokCli widok;
  LaczePortu lacze(port);
  lacze.przerwanie = &g_sygnal;
  const std::unique_ptr<Sterownik> sterownik = utworz_sterownik(w.typ, lacze);
  Sesja s{.lacze = lacze,
          .sterownik = *sterownik,
          .typ = w.typ,
          .uklad = kUklady[static_cast<std::size_t>(w.indeks >= 0 ? w.indeks : kUkladDomyslny)],
          .widok = widok,
          .polecenie = *w.polecenie,
          .argument = w.argument};
  s.kasowanie = !w.bez_kasowania;
  s.bezpiecznik[0] = w.bezpiecznik[0];
  s.bezpiecznik[1] = w.bezpiecznik[1];
  s.argumenty = w.argumenty;
  s.wymus = w.wymus;

  // Everything that can be checked without the programmer is checked before any port
  // is touched.
  if (const int k = przygotuj_wejscie(s); k >= 0) return k;
  if (w.indeks >= 0) {
    const int k = sprawdz_dla_ukladu(w.indeks, s.polecenie, s.jest_obraz ? &s.obraz : nullptr,
                                     s.tryb, s.bezpiecznik);
    if (k >= 0) return k;
    if (const int b =
            sprawdz_polecenie_bezpiecznikow(s, kUklady[static_cast<std::size_t>(w.indeks)]);
        b >= 0)
      return b;
  }
  if (w.automatycznie && s.polecenie.rodzaj == Rodzaj::zapis_bezpiecznikow) {
    if (const int k = sprawdz_bezpieczniki_auto(s.argumenty); k >= 0) return k;
  }
  if (const int k = sprawdz_port_wywolania(w); k >= 0) return k;

  lap_sygnaly();
  if (const int k = znajdz_programator(lacze, w); k >= 0) return k;
  if (s.polecenie.rodzaj == Rodzaj::wykryj) return 0;
  if (const int k = ustal_uklad(w, s); k >= 0) return k;
  if (g_sygnal != 0) zakoncz_sygnalem(port, false);

  const Wynik wynik = wykonaj(s);
  // A read that ended before the signal has written its file.
  const bool odczyt = s.polecenie.rodzaj == Rodzaj::pamiec && s.polecenie.operacja < 2;
  const std::string zapisany = odczyt && wynik == Wynik::ok ? s.argument : std::string();
  if (g_sygnal != 0) zakoncz_sygnalem(port, zapisuje(s.polecenie), zapisany);
  if (s.polecenie.rodzaj == Rodzaj::informacje && wynik == Wynik::ok && !w.automatycznie)
    uwaga_o_sygnaturze(s, w.indeks);
  return kod_wyjscia(wynik);
}

}  // namespace ostrel::cli
