// The headless programmer front end: the search, then one operation that puts on the
// wire exactly the bytes of the windowed program's operation.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/pliki.h"
#include "cli/polecenia.h"
#include "devices/uklady.h"
#include "hex/objasnienie.h"
#include "protocol/programator.h"
#include "serial/ComDrv32.h"
#include "serial/lista_portow.h"
#include "serial/timer_reczny.h"

namespace ostrel::cli {

namespace {

enum class Rodzaj { wykryj, pamiec, informacje, blokada, kasowanie };

struct Polecenie {
  const char* nazwa;  // the command word
  Rodzaj rodzaj;      // what it does
  int operacja;       // the scheduler's operation code 0..5 for memory commands, else -1
  bool argument;      // takes FILE or MODE
};

constexpr Polecenie kPolecenia[] = {
    {"detect", Rodzaj::wykryj, -1, false},       {"read-flash", Rodzaj::pamiec, 0, true},
    {"read-eeprom", Rodzaj::pamiec, 1, true},    {"verify-flash", Rodzaj::pamiec, 2, true},
    {"verify-eeprom", Rodzaj::pamiec, 3, true},  {"program-flash", Rodzaj::pamiec, 4, true},
    {"program-eeprom", Rodzaj::pamiec, 5, true}, {"info", Rodzaj::informacje, -1, false},
    {"write-lock", Rodzaj::blokada, -1, true},   {"erase", Rodzaj::kasowanie, -1, false},
};

constexpr const char* kUzycie =
    "użycie: ostrel-cli [--port N|ŚCIEŻKA] --device NAZWA|auto [--force] [--no-erase]\n"
    "                   [--fuse1 on|off] [--fuse2 on|off] [--programmer ostrel|avr910]\n"
    "                   [--baud 19200|38400|57600|115200] POLECENIE [PLIK|TRYB]\n"
    "       ostrel-cli ports\n"
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
    "  ports                 pokazuje porty com1..com4 i obecne urządzenia szeregowe\n"
    "  hex2bin WE.hex WY.bin, bin2hex WE.bin WY.hex\n"
    "  --version             wypisuje nazwę i wersję programu\n"
    "Bez --port programator jest szukany na com1..com4; --port przyjmuje numer 1..16\n"
    "albo ścieżkę urządzenia (/dev/ttyUSB0).\n"
    "--programmer: ostrel (domyślnie) albo avr910, programatory z oprogramowaniem AVR910:\n"
    "przesyłanie blokami, bez odczytu bitów lock i bezpieczników. --baud: prędkość łącza\n"
    "przy wyszukiwaniu i pracy (domyślnie 19200).\n"
    "--device podaje układ w podstawce; auto rozpoznaje go po sygnaturze (tylko układy\n"
    "programowane szeregowo: AT90S i AT89S8252). Przed zapisem i kasowaniem sygnatura\n"
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

extern "C" void przy_sygnale(int numer) {
  g_sygnal = numer;
}

void lap_sygnaly() {
  struct sigaction sa {};
  sa.sa_handler = przy_sygnale;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  // SIGPIPE too: a reader that went away (ostrel-cli info | head -c1) must not end the
  // program with the port still in its raw state.
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaction(s, &sa, nullptr);
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
// itself; elsewhere (a log) each phase gives one line at its end.
class WidokCli : public Widok {
 public:
  WidokCli() : terminal_(isatty(STDERR_FILENO) != 0) {}
  // Progress is shown only while an operation runs; `fazy` names its phases in order
  // (a fall of the bar starts the next one).
  void pokazuj(const StanOkna* okno, std::vector<const char*> fazy = {}) {
    okno_ = okno;
    fazy_ = std::move(fazy);
    faza_ = 0;
    szerokosc_ = 0;
    for (const char* f : fazy_) szerokosc_ = std::max(szerokosc_, std::strlen(f));
  }
  void okno_zmienione() override {
    if (okno_ == nullptr || fazy_.empty() || okno_->ProgressBar2 == ostatni_) return;
    // A verification difference puts its unit into Label2 and 2 into the bar: no progress.
    if (okno_->Label2.find_first_not_of(' ') != std::string::npos) return;
    const int wartosc = okno_->ProgressBar2;
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
  const StanOkna* okno_ = nullptr;
  std::vector<const char*> fazy_;
  std::size_t faza_ = 0;
  std::size_t szerokosc_ = 0;
  int ostatni_ = -1;
  bool otwarta_linia_ = false;
};

std::uint32_t zegar_ms() {
  using namespace std::chrono;
  return static_cast<std::uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Lets the component's polling run between operations, as the windowed program's event
// loop does: the answers nobody awaits (a closing 'L') are thrown away here. Runs until
// the line has been quiet for a while, at least a few ticks, at most the answer bound.
void przepusc_polling(TimerReczny& timer, const std::uint32_t& ostatnie_dane) {
  constexpr std::uint32_t kNajkrocej = 250, kCisza = 120, kNajdluzej = 5000;
  const std::uint32_t poczatek = zegar_ms();
  for (;;) {
    timer.pompuj();
    const std::uint32_t teraz = zegar_ms();
    if (teraz - poczatek >= kNajkrocej && teraz - ostatnie_dane >= kCisza) return;
    if (teraz - poczatek >= kNajdluzej || g_sygnal != 0) return;
    const std::int64_t czekaj = timer.do_nastepnego();
    if (czekaj < 0) return;  // port closed: no polling
    std::this_thread::sleep_for(std::chrono::milliseconds(czekaj > 0 ? czekaj : 1));
  }
}

// Ports the search found but could not open: which device and why, on standard error.
// Returns how many were told.
int zglos_nieotwarte(const Programator& p) {
  int ile = 0;
  for (const Programator::NieotwartyPort& n : p.nieotwarte) {
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
    std::vector<char> cel(4096);
    const ssize_t n = readlink(o.urzadzenie.c_str(), cel.data(), cel.size() - 1);
    const std::string dokad = n > 0 ? std::string(cel.data(), static_cast<std::size_t>(n)) : "";
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

// Signature bytes in address order (0x1E first) from the order the programmer sends.
std::array<std::uint8_t, 3> adresowo(const std::array<std::uint8_t, 3>& odebrane) {
  return {odebrane[2], odebrane[1], odebrane[0]};
}

std::string tekst_bajtow(const std::array<std::uint8_t, 3>& b, int ile = 3) {
  std::string t;
  for (int i = 0; i < ile; ++i) {
    char s[4];
    std::snprintf(s, sizeof s, "%02X", b[static_cast<std::size_t>(i)]);
    if (!t.empty()) t += ' ';
    t += s;
  }
  return t;
}

// All three bytes came, and they are not what a line without a chip gives.
bool jest_sygnatura(const Programator::OdczytSygnatury& o) {
  if (o.odebrane < 3) return false;
  const auto& b = o.bajty;
  const bool puste =
      (b[0] == 0xFF && b[1] == 0xFF && b[2] == 0xFF) || (b[0] == 0 && b[1] == 0 && b[2] == 0);
  return !puste;
}

// What was read, in address order; "nic" when no byte came.
std::string tekst_odczytu(const Programator::OdczytSygnatury& o) {
  if (o.odebrane == 0) return "brak odpowiedzi";
  const auto a = adresowo(o.bajty);
  std::string t;
  // The bytes that came are the last in address order.
  for (int i = 3 - o.odebrane; i < 3; ++i) {
    char s[4];
    std::snprintf(s, sizeof s, "%02X", a[static_cast<std::size_t>(i)]);
    if (!t.empty()) t += ' ';
    t += s;
  }
  if (o.odebrane < 3) t += " (niepełna)";
  return t;
}

std::string opis_ukladu(int indeks) {
  return nazwa_krotka(kUklady[static_cast<std::size_t>(indeks)]) + " (sygnatura " +
         tekst_sygnatury_ukladu(indeks) + ")";
}

void wypisz_informacje(const Programator& p) {
  const StanDialogu& d = p.dialog;
  std::printf("Sygnatura: %s\n", d.Label6.c_str());
  std::printf("Wersja: %s\n", d.softhard.c_str());
  std::printf("Programator: %s\n", d.target.c_str());
  const bool wybrany = d.mode_index >= 0 && d.mode_index < static_cast<int>(d.mode_items.size());
  // The 'F' answer of code 12 is not decoded: the mode and byte the program holds are
  // its own choice, never the chip's state, and must not read as if they were.
  // The AVR910 type sends no 'F': nothing of the chip's lock bits and fuses is known.
  if (!d.bity_odczytane) {
    std::printf("Bity lock: %s\n", kNieOdczytano);
    std::printf("Bezpieczniki: %s\n", kNieOdczytano);
    return;
  }
  if (p.uklad().odczyt_F == OdczytF::brak) {
    std::printf("Bity lock i bezpieczniki: ten układ ich nie zwraca, nie są odczytywane\n");
    if (!wybrany || !p.bity_lock_ustawiony) {
      std::printf("Bity lock (wybrane, nie odczytane): nie wybrano trybu\n");
      return;
    }
    std::printf("Bity lock (wybrane, nie odczytane): %s | %s | %s\n",
                d.mode_items[static_cast<std::size_t>(d.mode_index)].c_str(), d.opis_modu.c_str(),
                d.info.c_str());
    std::printf("Bajt lock (wybrany, nie odczytany): 0x%02X\n", p.bity_lock);
    return;
  }
  std::printf("Bity lock: %s | %s | %s\n",
              wybrany ? d.mode_items[static_cast<std::size_t>(d.mode_index)].c_str() : "-",
              d.opis_modu.c_str(), d.info.c_str());
  const PoleWyboru* pola[] = {&d.CheckBox1, &d.CheckBox2};
  for (int i = 0; i < 2; ++i) {
    std::printf("Bezpiecznik %d: %s [%s]%s\n", i + 1, pola[i]->zaznaczone ? "tak" : "nie",
                pola[i]->podpis.c_str(), pola[i]->aktywne ? "" : " (nieaktywny)");
  }
  std::printf("Bajt lock: 0x%02X, bajt fuse: 0x%02X\n", p.bity_lock, p.bity_fuse);
}

// The programmer answered as the other type: the option that sets the right one.
void wskazowka_typu(const Programator& p) {
  if (p.status.Label1.rfind(kOdpowiadaJak, 0) != 0) return;
  const TypProgramatora inny =
      p.typ() == TypProgramatora::avr910 ? TypProgramatora::ostrel : TypProgramatora::avr910;
  std::string nazwa = nazwa_typu(inny);
  for (char& c : nazwa) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::fprintf(stderr, "ostrel-cli: podaj --programmer %s\n", nazwa.c_str());
}

// Runs the command on a programmer that has been found; prints the result texts.
Wynik wykonaj(Programator& p, const Polecenie& polecenie, WidokCli& widok, TimerReczny& timer,
              const std::uint32_t& ostatnie_dane, int tryb, const int (&bezpiecznik)[2]) {
  Wynik w = Wynik::nic;
  switch (polecenie.rodzaj) {
    case Rodzaj::wykryj:
      break;
    case Rodzaj::pamiec: {
      static const std::vector<const char*> kFazy[] = {{"Odczyt"},
                                                       {"Odczyt"},
                                                       {"Weryfikacja"},
                                                       {"Weryfikacja"},
                                                       {"Programowanie", "Weryfikacja"},
                                                       {"Programowanie", "Weryfikacja"}};
      widok.pokazuj(&p.okno, kFazy[polecenie.operacja]);
      w = p.operacja_pamieci(polecenie.operacja);
      widok.zamknij_linie();
      widok.pokazuj(nullptr);
      if (g_sygnal != 0) return w;
      if (w == Wynik::blad_weryfikacji) {
        const Programator::Roznica& r = p.pierwsza_roznica;
        std::printf("%s pod adresem 0x%04X: w pliku 0x%02X, w układzie 0x%02X\n", kBladWeryfikacji,
                    static_cast<unsigned>(r.adres), r.w_pliku, r.w_ukladzie);
      } else if (w != Wynik::ok || polecenie.operacja >= 2) {
        std::printf("%s\n", p.status.Label1.c_str());
      }
      return w;
    }
    case Rodzaj::informacje:
      w = p.zaawansowane();
      if (w != Wynik::ok) break;
      wypisz_informacje(p);
      // Out now, while the port is still ours: a reader that has gone is then told apart
      // (SIGPIPE) before the port is handed back, not after.
      std::fflush(stdout);
      return Wynik::ok;
    case Rodzaj::blokada: {
      // The dialog's write works on what its opening read left: the programmer's mode
      // decides whether the fuse byte goes out, the read fuse bits are the base.
      w = p.zaawansowane();
      if (w != Wynik::ok) break;
      przepusc_polling(timer, ostatnie_dane);
      // A fuse asked for but not written would pass for done: refused before the lock
      // byte goes out too.
      for (int i = 0; i < 2; ++i) {
        if (bezpiecznik[i] < 0) continue;
        const PoleWyboru& pole = i == 0 ? p.dialog.CheckBox1 : p.dialog.CheckBox2;
        if (!pole.aktywne || p.dialog.target != kTrybPAR16) {
          widok.zamknij_linie();
          blad_uzycia(std::string(i == 0 ? "--fuse1" : "--fuse2") +
                      ": bezpieczniki zapisuje się tylko w trybie \"" + kTrybPAR16 +
                      "\", programator jest w trybie \"" + p.dialog.target +
                      "\"; nic nie zapisano");
          return Wynik::nic;
        }
      }
      for (int i = 0; i < 2; ++i) {
        if (bezpiecznik[i] < 0) continue;
        if (i == 0) {
          p.ustaw_CheckBox1(bezpiecznik[i] == 1);
        } else {
          p.ustaw_CheckBox2(bezpiecznik[i] == 1);
        }
      }
      // The mode last, so that it decides the lock byte.
      p.wybierz_tryb(tryb);
      p.modeChange();
      w = p.Button2Click();
      if (w != Wynik::ok) break;
      std::printf("Zapisano bity lock 0x%02X (%s)", p.bity_lock, p.dialog.info.c_str());
      if (p.dialog.target == kTrybPAR16) std::printf(", bezpieczniki 0x%02X", p.bity_fuse);
      std::printf("\n");
      return Wynik::ok;
    }
    case Rodzaj::kasowanie:
      w = p.Button3Click();
      if (w != Wynik::ok) break;
      std::printf("Układ skasowany\n");
      return Wynik::ok;
  }
  widok.zamknij_linie();
  if (g_sygnal == 0) std::printf("%s\n", p.status.Label1.c_str());
  wskazowka_typu(p);
  return w;
}

}  // namespace

namespace {

// Commands that write or erase the chip: refused on another part's signature.
bool zapisuje(const Polecenie& p) {
  return p.rodzaj == Rodzaj::blokada || p.rodzaj == Rodzaj::kasowanie ||
         (p.rodzaj == Rodzaj::pamiec && p.operacja >= 4);
}

// The checks that need the chosen part; -1 when all pass, else the exit status.
int sprawdz_dla_ukladu(const Programator& p, int indeks, const Polecenie& polecenie,
                       const Strumien* obraz, int tryb, const int (&bezpiecznik)[2]) {
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
    if (eeprom && p.rozmiar_eeprom == 0)
      return blad("układ " + nazwa_krotka(u) + " nie ma pamięci EEPROM", kKodWywolania);
    if (obraz != nullptr && obraz->rozmiar() > p.pojemnosc(!eeprom)) {
      std::printf(
          "%s: %s\n", kPlikZaDuzy,
          objasnienie_rozmiaru(obraz->rozmiar(), !eeprom, nazwa_krotka(u), p.pojemnosc(!eeprom))
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

// Compares the chip's signature with the chosen part before the command runs. -1 to go
// on, else the exit status.
int sprawdz_sygnature(Programator& p, int indeks, const Polecenie& polecenie, bool wymus) {
  Programator::OdczytSygnatury o;
  if (const Wynik w = p.czytaj_sygnature_ukladu(p.uklad(), o); w != Wynik::ok) {
    if (g_sygnal != 0) return -1;
    std::printf("%s\n", p.status.Label1.c_str());
    wskazowka_typu(p);
    return kod_wyjscia(
        w == Wynik::nieobslugiwany || w == Wynik::port_niedostepny ? w : Wynik::brak_odpowiedzi);
  }
  const std::string wybrany = nazwa_krotka(kUklady[static_cast<std::size_t>(indeks)]);
  if (!jest_sygnatura(o)) {
    std::fprintf(stderr,
                 "ostrel-cli: programator nie podał sygnatury układu (odczytano: %s); nie można "
                 "sprawdzić, czy w podstawce jest %s\n",
                 tekst_odczytu(o).c_str(), wybrany.c_str());
    return -1;
  }
  const auto bajty = adresowo(o.bajty);
  if (sygnatura_pasuje(indeks, bajty)) {
    std::fprintf(stderr, "Sygnatura %s: %s\n", tekst_bajtow(bajty).c_str(), wybrany.c_str());
    return -1;
  }
  const int znaleziony = uklad_o_sygnaturze(bajty);
  std::string tekst =
      "wybrano układ " + opis_ukladu(indeks) + ", a układ w podstawce ma " + "sygnaturę " +
      tekst_bajtow(bajty) +
      (znaleziony >= 0 ? ", czyli " + nazwa_krotka(kUklady[static_cast<std::size_t>(znaleziony)])
                       : ", której nie ma żaden znany układ");
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
int rozpoznaj_uklad(Programator& p, int& kod_wyjscia_bledu) {
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
    const std::uint8_t kod = p.sterownik().kod(*kandydat);
    if (std::find(kody.begin(), kody.end(), kod) != kody.end()) continue;
    kody.push_back(kod);
    Programator::OdczytSygnatury o;
    const Wynik odczyt = p.czytaj_sygnature_ukladu(*kandydat, o);
    if (odczyt == Wynik::nieobslugiwany) continue;  // a mode this programmer does not have
    if (odczyt != Wynik::ok) {
      kod_wyjscia_bledu = kod_wyjscia(Wynik::brak_odpowiedzi);
      if (g_sygnal == 0) std::printf("%s\n", p.status.Label1.c_str());
      return -1;
    }
    if (o.odebrane == 0) break;  // the programmer gives no signature in any mode
    if (!jest_sygnatura(o)) {
      odczytano = tekst_odczytu(o);
      continue;
    }
    const auto bajty = adresowo(o.bajty);
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
    if (p.sterownik().kod(u) != kod) {
      Programator::OdczytSygnatury w;
      if (p.czytaj_sygnature_ukladu(u, w) != Wynik::ok) {
        kod_wyjscia_bledu = kod_wyjscia(Wynik::brak_odpowiedzi);
        if (g_sygnal == 0) std::printf("%s\n", p.status.Label1.c_str());
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
  std::signal(numer, SIG_DFL);
  std::raise(numer);
  std::_Exit(128 + numer);
}

}  // namespace

int programator(int argc, char** argv) {
  int numer_portu = 0;
  std::string sciezka_portu;
  std::string uklad;
  bool bez_kasowania = false;
  bool wymus = false;
  TypProgramatora typ = TypProgramatora::ostrel;
  TComPortBaudRate predkosc = br19200;
  int bezpiecznik[2] = {-1, -1};
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
      return 0;
    } else if (std::strcmp(a, "--port") == 0) {
      const char* v = wartosc();
      // A device path names the device itself; anything else must be a port number.
      if (v != nullptr && std::strchr(v, '/') != nullptr) {
        sciezka_portu = v;
        numer_portu = 0;
      } else if (v == nullptr) {
        return blad_uzycia("--port wymaga numeru portu 1..16 albo ścieżki urządzenia");
      } else if (!parsuj_liczbe(v, numer_portu) || numer_portu < 1 || numer_portu > 16) {
        // "ttyUSB0" is meant as a device: say how to name one.
        return blad_uzycia(std::string("--port ") + v +
                           ": to nie jest numer portu 1..16 ani ścieżka urządzenia (ścieżka "
                           "zawiera ukośnik: /dev/ttyUSB0, ./ttyUSB0)");
      } else {
        sciezka_portu.clear();
      }
    } else if (std::strcmp(a, "--device") == 0) {
      const char* v = wartosc();
      if (v == nullptr) return blad_uzycia("--device wymaga nazwy układu albo auto");
      uklad = v;
    } else if (std::strcmp(a, "--no-erase") == 0 && bez_wartosci()) {
      bez_kasowania = true;
    } else if (std::strcmp(a, "--force") == 0 && bez_wartosci()) {
      wymus = true;
    } else if (std::strcmp(a, "--programmer") == 0) {
      const char* v = wartosc();
      if (v != nullptr && std::strcmp(v, "ostrel") == 0) {
        typ = TypProgramatora::ostrel;
      } else if (v != nullptr && std::strcmp(v, "avr910") == 0) {
        typ = TypProgramatora::avr910;
      } else {
        return blad_uzycia("--programmer wymaga ostrel albo avr910");
      }
    } else if (std::strcmp(a, "--baud") == 0) {
      const char* v = wartosc();
      int bps = 0;
      if (v == nullptr || !parsuj_predkosc(v, bps) ||
          !predkosc_z_liczby(static_cast<std::uint32_t>(bps), predkosc))
        return blad_uzycia("--baud wymaga prędkości 19200, 38400, 57600 albo 115200");
    } else if (std::strcmp(a, "--fuse1") == 0 || std::strcmp(a, "--fuse2") == 0) {
      const char* v = wartosc();
      const int ktory = a[6] == '1' ? 0 : 1;
      if (v == nullptr || !parsuj_wlacznik(v, bezpiecznik[ktory]))
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
    std::fputs(tekst_listy_portow(*utworz_platforme_posix()).c_str(), stdout);
    return 0;
  }
  const Polecenie* polecenie = nullptr;
  for (const Polecenie& p : kPolecenia) {
    if (pozycyjne[0] == p.nazwa) polecenie = &p;
  }
  if (polecenie == nullptr) return blad_uzycia("nieznane polecenie " + pozycyjne[0]);
  const std::size_t oczekiwane = polecenie->argument ? 2 : 1;
  if (pozycyjne.size() != oczekiwane) {
    return blad_uzycia(polecenie->argument
                           ? std::string("polecenie ") + polecenie->nazwa + " wymaga argumentu"
                           : std::string("polecenie ") + polecenie->nazwa + " nie ma argumentów");
  }
  const std::string argument = polecenie->argument ? pozycyjne[1] : std::string();
  if ((bezpiecznik[0] >= 0 || bezpiecznik[1] >= 0) && polecenie->rodzaj != Rodzaj::blokada)
    return blad_uzycia("--fuse1 i --fuse2 działają tylko z write-lock");

  // A command that talks to the chip must know which chip: a wrong guess writes with
  // another part's algorithm.
  std::string auto_klucz = uklad;
  for (char& c : auto_klucz) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const bool automatycznie = auto_klucz == "auto";
  int indeks = -1;
  if (!automatycznie && !uklad.empty()) {
    indeks = znajdz_uklad(uklad);
    if (indeks < 0)
      return blad_uzycia("nieznany układ " + uklad + "; znane układy: " + nazwy_ukladow());
  }
  if (uklad.empty() && polecenie->rodzaj != Rodzaj::wykryj) {
    return blad_uzycia("polecenie " + std::string(polecenie->nazwa) +
                       " wymaga układu: --device NAZWA (" + nazwy_ukladow() +
                       ") albo --device auto");
  }

  TimerReczny timer;
  TCommPortDriver port(nullptr, &timer);
  ustaw_CommPortDriver1(port);
  std::uint32_t ostatnie_dane = zegar_ms();
  port.OnReceiveData = [&ostatnie_dane](TCommPortDriver*, const void*, int) {
    ostatnie_dane = zegar_ms();
  };
  WidokCli widok;
  Programator p(port, widok);
  p.dialog.kasowanie = !bez_kasowania;
  p.przerwanie = &g_sygnal;
  p.ustaw_typ(typ);
  p.predkosc = predkosc;
  if (indeks >= 0) {
    p.ComboBox1Change(indeks);
  } else {
    p.domyslne();
  }

  // Everything that can be checked without the programmer is checked before any port
  // is touched.
  int tryb = -1;
  Strumien obraz;
  bool jest_obraz = false;
  if (polecenie->rodzaj == Rodzaj::pamiec) {
    const int kod = polecenie->operacja;
    if (kod >= 2) {
      std::string tekst;
      PrzyczynaHex przyczyna;
      const Wynik w = wczytaj_hex(argument, obraz, tekst, static_cast<std::size_t>(-1), &przyczyna,
                                  kod % 2 == 1 ? PamiecElf::eeprom : PamiecElf::flash);
      if (w != Wynik::ok) {
        // The reason the file could not be read, in the program's words.
        if (w == Wynik::blad_pliku && tekst == "Nie można otworzyć pliku " + argument) {
          Strumien s;
          std::string powod;
          if (!s.wczytaj_plik(argument, &powod) && !powod.empty()) tekst += ": " + powod;
        }
        std::printf("%s\n", tekst.c_str());
        std::fflush(stdout);
        const std::string objasnienie = objasnienie_hex(przyczyna);
        if (!objasnienie.empty()) std::fprintf(stderr, "%s\n", objasnienie.c_str());
        return kKodWywolania;
      }
      jest_obraz = true;
    } else if (const std::string powod = powod_zapisu(argument); !powod.empty()) {
      std::printf("Nie można zapisać pliku %s: %s\n", argument.c_str(), powod.c_str());
      return kKodWywolania;
    }
    p.nazwa_pliku = argument;
  } else if (polecenie->rodzaj == Rodzaj::blokada) {
    if (!parsuj_liczbe(argument.c_str(), tryb) || tryb < 0 || tryb > 3)
      return blad_uzycia("tryb blokady musi być liczbą 0..3 (0..2 przy dwóch bitach lock)");
  }
  if (indeks >= 0) {
    const int k =
        sprawdz_dla_ukladu(p, indeks, *polecenie, jest_obraz ? &obraz : nullptr, tryb, bezpiecznik);
    if (k >= 0) return k;
  }

  // An explicit device that is not there is said before anything else; a relative
  // path is taken from the current folder, as a shell user means it.
  if (!sciezka_portu.empty()) {
    if (sciezka_portu[0] != '/') {
      while (sciezka_portu.rfind("./", 0) == 0) sciezka_portu.erase(0, 2);
      std::vector<char> katalog(4096);
      if (getcwd(katalog.data(), katalog.size()) != nullptr)
        sciezka_portu = std::string(katalog.data()) + "/" + sciezka_portu;
    }
    struct stat st {};
    if (stat(sciezka_portu.c_str(), &st) != 0) {
      const int e = errno;
      return blad("--port " + sciezka_portu + ": " +
                      (e == EACCES ? std::string("brak uprawnień") : std::string("nie istnieje")),
                  kod_wyjscia(Wynik::port_niedostepny));
    }
  }

  lap_sygnaly();
  if (!sciezka_portu.empty()) {
    p.sprawdz_urzadzenie(sciezka_portu);
  } else if (numer_portu != 0) {
    p.sprawdz_port(numer_portu);
  } else {
    p.sprawdz();
  }
  if (g_sygnal != 0) zakoncz_sygnalem(port, false);
  // The command-line tool has no demo mode: the search's text says only what it found.
  const std::string kTrybDemo = " - tryb demo";
  std::string wynik_szukania = p.status.Label1;
  if (wynik_szukania.size() > kTrybDemo.size() &&
      wynik_szukania.compare(wynik_szukania.size() - kTrybDemo.size(), kTrybDemo.size(),
                             kTrybDemo) == 0)
    wynik_szukania.resize(wynik_szukania.size() - kTrybDemo.size());
  if (p.brak_programatora != 0) {
    std::printf("%s\n", wynik_szukania.c_str());
    std::fflush(stdout);
    int powody = zglos_nieotwarte(p);
    if (sciezka_portu.empty()) {
      powody += numer_portu != 0 ? zglos_puste_lacza(port.Platforma(), numer_portu, numer_portu)
                                 : zglos_puste_lacza(port.Platforma(), 1, kPortySzukania);
    }
    return powody > 0 ? kod_wyjscia(Wynik::port_niedostepny) : kod_wyjscia(Wynik::brak_odpowiedzi);
  }
  // Found by the probe, but taken by another program before it could be opened again.
  if (!port.IsOpen()) {
    const std::string nazwa =
        !sciezka_portu.empty() ? sciezka_portu : "com" + std::to_string(p.znaleziony_port);
    std::string tekst = tekst_bledu_otwarcia(nazwa, port.OpenError());
    if (tekst.empty()) tekst = nazwa + ": port zniknął po wyszukaniu programatora";
    return blad(tekst, kod_wyjscia(Wynik::port_niedostepny));
  }
  if (polecenie->rodzaj == Rodzaj::wykryj) {
    std::printf("%s\n", wynik_szukania.c_str());
    std::fflush(stdout);
    zglos_nieotwarte(p);
    return 0;
  }
  std::fprintf(stderr, "%s\n", wynik_szukania.c_str());
  zglos_nieotwarte(p);
  przepusc_polling(timer, ostatnie_dane);
  if (g_sygnal != 0) zakoncz_sygnalem(port, false);

  if (automatycznie) {
    int kod = kKodWywolania;
    indeks = rozpoznaj_uklad(p, kod);
    if (g_sygnal != 0) zakoncz_sygnalem(port, false);
    if (indeks < 0) return kod;
    p.ComboBox1Change(indeks);
    const int k =
        sprawdz_dla_ukladu(p, indeks, *polecenie, jest_obraz ? &obraz : nullptr, tryb, bezpiecznik);
    if (k >= 0) return k;
    przepusc_polling(timer, ostatnie_dane);
  } else if (polecenie->rodzaj != Rodzaj::informacje) {
    const int k = sprawdz_sygnature(p, indeks, *polecenie, wymus);
    if (g_sygnal != 0) zakoncz_sygnalem(port, false);
    if (k >= 0) return k;
    przepusc_polling(timer, ostatnie_dane);
  }
  if (g_sygnal != 0) zakoncz_sygnalem(port, false);

  const Wynik w = wykonaj(p, *polecenie, widok, timer, ostatnie_dane, tryb, bezpiecznik);
  // A read that ended before the signal has written its file.
  const bool odczyt = polecenie->rodzaj == Rodzaj::pamiec && polecenie->operacja < 2;
  const std::string zapisany = odczyt && w == Wynik::ok ? argument : std::string();
  if (g_sygnal != 0) zakoncz_sygnalem(port, zapisuje(*polecenie), zapisany);
  // info reads the signature itself: a part other than the chosen one is pointed out.
  if (polecenie->rodzaj == Rodzaj::informacje && w == Wynik::ok && !automatycznie) {
    const auto bajty = adresowo(p.sygnatura);
    if (!sygnatura_pasuje(indeks, bajty)) {
      const int znaleziony = uklad_o_sygnaturze(bajty);
      std::fprintf(
          stderr, "ostrel-cli: uwaga: wybrano układ %s, a sygnatura to %s%s\n",
          opis_ukladu(indeks).c_str(), tekst_bajtow(bajty).c_str(),
          znaleziony >= 0
              ? (", czyli " + nazwa_krotka(kUklady[static_cast<std::size_t>(znaleziony)])).c_str()
              : "");
    }
  }
  // The answer of a closing 'L' that nobody awaits is still on its way: let the polling
  // take it before the port closes, as the windowed program would.
  przepusc_polling(timer, ostatnie_dane);
  if (g_sygnal != 0) zakoncz_sygnalem(port, zapisuje(*polecenie), zapisany);
  return kod_wyjscia(w);
}

}  // namespace ostrel::cli
