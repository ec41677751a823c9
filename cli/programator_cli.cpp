// The headless programmer front end: the search, then one operation that puts on the
// wire exactly the bytes of the windowed program's operation.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "cli/objasnienie_hex.h"
#include "cli/polecenia.h"
#include "devices/uklady.h"
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
    "użycie: ostrel-cli [--port N|ŚCIEŻKA] [--device NAZWA] [--no-erase] [--fuse1 on|off]\n"
    "                   [--fuse2 on|off] POLECENIE [PLIK|TRYB]\n"
    "       ostrel-cli ports\n"
    "polecenia:\n"
    "  detect                szuka programatora\n"
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
    "albo ścieżkę urządzenia (/dev/ttyUSB0). Bez --device obowiązuje AT89C2051.\n"
    "Kod wyjścia: 0 sukces, 1 błąd weryfikacji lub pliku HEX, 2 błąd pliku lub wywołania,\n"
    "3 programator nie odpowiada.\n";

int blad_uzycia(const std::string& tekst) {
  std::fprintf(stderr, "ostrel-cli: %s\n(ostrel-cli --help opisuje wywołanie)\n", tekst.c_str());
  return 2;
}

// Progress as one updating line on standard error.
class WidokCli : public Widok {
 public:
  // Progress is shown only while an operation runs.
  void pokazuj(const StanOkna* okno) { okno_ = okno; }
  void okno_zmienione() override {
    if (okno_ == nullptr || okno_->ProgressBar2 == ostatni_) return;
    ostatni_ = okno_->ProgressBar2;
    std::fprintf(stderr, "\r%3d%%", ostatni_);
    std::fflush(stderr);
    otwarta_linia_ = true;
  }
  void zamknij_linie() {
    if (otwarta_linia_) std::fputc('\n', stderr);
    otwarta_linia_ = false;
    ostatni_ = -1;
  }

 private:
  const StanOkna* okno_ = nullptr;
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
    if (teraz - poczatek >= kNajdluzej) return;
    const std::int64_t czekaj = timer.do_nastepnego();
    if (czekaj < 0) return;  // port closed: no polling
    std::this_thread::sleep_for(std::chrono::milliseconds(czekaj > 0 ? czekaj : 1));
  }
}

// Ports the search found but could not open: which device and why, on standard error.
void zglos_nieotwarte(const Programator& p) {
  for (const Programator::NieotwartyPort& n : p.nieotwarte) {
    const std::string tekst = tekst_bledu_otwarcia(n.nazwa, n.blad);
    if (!tekst.empty()) std::fprintf(stderr, "ostrel-cli: %s\n", tekst.c_str());
  }
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

std::string katalog_pliku(const std::string& sciezka) {
  const auto ukosnik = sciezka.rfind('/');
  if (ukosnik == std::string::npos) return ".";
  if (ukosnik == 0) return "/";
  return sciezka.substr(0, ukosnik);
}

void wypisz_informacje(const Programator& p) {
  const StanDialogu& d = p.dialog;
  std::printf("Sygnatura: %s\n", d.Label6.c_str());
  std::printf("Wersja: %s\n", d.softhard.c_str());
  std::printf("Programator: %s\n", d.target.c_str());
  const bool wybrany = d.mode_index >= 0 && d.mode_index < static_cast<int>(d.mode_items.size());
  // The 'F' answer of code 12 is not decoded: the mode and byte the program holds are
  // its own choice, never the chip's state, and must not read as if they were.
  if (p.kod_ukladu == kKodBezOdczytuBlokad) {
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

// Runs the command on a programmer that has been found; prints the result texts.
Wynik wykonaj(Programator& p, const Polecenie& polecenie, WidokCli& widok, TimerReczny& timer,
              const std::uint32_t& ostatnie_dane, int tryb, const int (&bezpiecznik)[2]) {
  Wynik w = Wynik::nic;
  switch (polecenie.rodzaj) {
    case Rodzaj::wykryj:
      break;
    case Rodzaj::pamiec:
      widok.pokazuj(&p.okno);
      w = p.operacja_pamieci(polecenie.operacja);
      widok.pokazuj(nullptr);
      widok.zamknij_linie();
      if (w == Wynik::blad_weryfikacji) {
        std::printf("%s, jednostka %s\n", p.status.Label1.c_str(), p.okno.Label2.c_str());
      } else if (w != Wynik::ok || polecenie.operacja >= 2) {
        std::printf("%s\n", p.status.Label1.c_str());
      }
      return w;
    case Rodzaj::informacje:
      w = p.zaawansowane();
      if (w != Wynik::ok) break;
      wypisz_informacje(p);
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
  std::printf("%s\n", p.status.Label1.c_str());
  return w;
}

}  // namespace

int programator(int argc, char** argv) {
  int numer_portu = 0;
  std::string sciezka_portu;
  std::string uklad;
  bool bez_kasowania = false;
  int bezpiecznik[2] = {-1, -1};
  std::vector<std::string> pozycyjne;
  bool koniec_opcji = false;

  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (koniec_opcji || a[0] != '-' || a[1] == '\0') {
      pozycyjne.emplace_back(a);
      continue;
    }
    // The value that follows an option, or null at the end of the line.
    auto wartosc = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
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
      } else if (v == nullptr || !parsuj_liczbe(v, numer_portu) || numer_portu < 1 ||
                 numer_portu > 16) {
        return blad_uzycia("--port wymaga numeru portu 1..16 albo ścieżki urządzenia");
      } else {
        sciezka_portu.clear();
      }
    } else if (std::strcmp(a, "--device") == 0) {
      const char* v = wartosc();
      if (v == nullptr) return blad_uzycia("--device wymaga nazwy układu");
      uklad = v;
    } else if (std::strcmp(a, "--no-erase") == 0) {
      bez_kasowania = true;
    } else if (std::strcmp(a, "--fuse1") == 0 || std::strcmp(a, "--fuse2") == 0) {
      const char* v = wartosc();
      const int ktory = a[6] == '1' ? 0 : 1;
      if (v == nullptr || !parsuj_wlacznik(v, bezpiecznik[ktory]))
        return blad_uzycia(std::string(a) + " wymaga on albo off");
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

  int indeks = kUkladDomyslny;
  if (uklad.empty()) {
    p.domyslne();
  } else {
    indeks = znajdz_uklad(uklad);
    if (indeks < 0)
      return blad_uzycia("nieznany układ " + uklad + "; znane układy: " + nazwy_ukladow());
    p.ComboBox1Change(indeks);
  }
  const Uklad& wybrany = kUklady[static_cast<std::size_t>(indeks)];
  for (int i = 0; i < 2; ++i) {
    if (bezpiecznik[i] >= 0 && !ma_bezpiecznik(wybrany, i + 1)) {
      return blad_uzycia(std::string(i == 0 ? "--fuse1" : "--fuse2") + ": układ " +
                         nazwa_krotka(wybrany) + " nie ma takiego bezpiecznika");
    }
  }

  // Everything that can be checked without the programmer is checked before any port
  // is touched.
  int tryb = -1;
  if (polecenie->rodzaj == Rodzaj::pamiec) {
    const int kod = polecenie->operacja;
    const bool eeprom = kod == 1 || kod == 3 || kod == 5;
    if (eeprom && p.rozmiar_eeprom == 0)
      return blad_uzycia("układ " + p.okno.ComboBox1_text + " nie ma pamięci EEPROM");
    if (kod >= 2) {
      Strumien obraz;
      std::string tekst;
      PrzyczynaHex przyczyna;
      const Wynik w = wczytaj_hex(argument, obraz, tekst, p.pojemnosc(!eeprom), &przyczyna,
                                  eeprom ? PamiecElf::eeprom : PamiecElf::flash);
      if (w != Wynik::ok) {
        std::printf("%s\n", tekst.c_str());
        std::fflush(stdout);
        const std::string objasnienie = objasnienie_hex(przyczyna);
        if (!objasnienie.empty()) std::fprintf(stderr, "%s\n", objasnienie.c_str());
        return kod_wyjscia(w);
      }
    } else if (access(katalog_pliku(argument).c_str(), W_OK) != 0) {
      std::printf("Nie można zapisać pliku %s\n", argument.c_str());
      return kod_wyjscia(Wynik::blad_pliku);
    }
    p.nazwa_pliku = argument;
  } else if (polecenie->rodzaj == Rodzaj::blokada) {
    const int liczba = static_cast<int>(p.dialog.mode_items.size());
    if (!parsuj_liczbe(argument.c_str(), tryb) || tryb < 0 || tryb >= liczba)
      return blad_uzycia(std::string("tryb blokady układu ") + nazwa_krotka(wybrany) +
                         " musi być liczbą 0.." + std::to_string(liczba - 1));
  }

  if (!sciezka_portu.empty()) {
    p.sprawdz_urzadzenie(sciezka_portu);
  } else if (numer_portu != 0) {
    p.sprawdz_port(numer_portu);
  } else {
    p.sprawdz();
  }
  if (p.brak_programatora != 0) {
    std::printf("%s\n", p.status.Label1.c_str());
    std::fflush(stdout);
    zglos_nieotwarte(p);
    return kod_wyjscia(Wynik::brak_odpowiedzi);
  }
  if (polecenie->rodzaj == Rodzaj::wykryj) {
    std::printf("%s\n", p.status.Label1.c_str());
    std::fflush(stdout);
    zglos_nieotwarte(p);
    return 0;
  }
  std::fprintf(stderr, "%s\n", p.status.Label1.c_str());
  zglos_nieotwarte(p);
  przepusc_polling(timer, ostatnie_dane);

  const Wynik w = wykonaj(p, *polecenie, widok, timer, ostatnie_dane, tryb, bezpiecznik);
  // The answer of a closing 'L' that nobody awaits is still on its way: let the polling
  // take it before the port closes, as the windowed program would.
  przepusc_polling(timer, ostatnie_dane);
  return kod_wyjscia(w);
}

}  // namespace ostrel::cli
