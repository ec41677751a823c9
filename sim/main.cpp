// ostrel-sim: the serial programmer on a pseudo-terminal, for tests, benchmarks and
// for running the program without hardware.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <string>

#include "devices/uklady.h"
#include "hex/intel_hex.h"
#include "hex/strumien.h"
#include "sim/automat.h"
#include "sim/avr910_stronicowy.h"
#include "sim/dziennik.h"
#include "sim/opcje.h"
#include "sim/petla.h"
#include "sim/terminal.h"

namespace {

using namespace ostrel;
using namespace ostrel::sim;

int g_sygnal_zapis = -1;  // write end of the self-pipe, set once before handlers exist

extern "C" void przy_sygnale(int) {
  const char b = 1;
  [[maybe_unused]] const ssize_t n = ::write(g_sygnal_zapis, &b, 1);
}

// Loads an Intel HEX file into a memory of the chip.
bool wczytaj_hex(const std::string& plik, std::vector<std::uint8_t>& pamiec, const char* nazwa,
                 std::string& blad) {
  Strumien tekst;
  std::string blad_pliku;
  if (!tekst.wczytaj_plik(plik, &blad_pliku)) {
    blad = plik + ": " + blad_pliku;
    return false;
  }
  Strumien obraz;
  std::string wynik;
  konwertuj_hex(tekst, obraz, wynik);
  if (wynik != kKonwersjaOK) {
    blad = plik + ": " + wynik;
    return false;
  }
  if (obraz.rozmiar() > pamiec.size()) {
    blad = plik + ": " + std::to_string(obraz.rozmiar()) + " bytes do not fit the " +
           std::to_string(pamiec.size()) + "-byte " + nazwa;
    return false;
  }
  std::copy(obraz.dane().begin(), obraz.dane().end(), pamiec.begin());
  return true;
}

// The avr910 address register at power-up: as asked, or whatever it happens to hold.
std::uint16_t adres_po_wlaczeniu(const Opcje& opcje) {
  if (opcje.adres_startowy) return *opcje.adres_startowy;
  if (opcje.programator.oprogramowanie != Oprogramowanie::avr910) return 0;
  return static_cast<std::uint16_t>(std::random_device{}() & 0xFFFF);
}

// A random power-up state must be in the log, or a failure could not be replayed.
void zapisz_stan_po_wlaczeniu(Dziennik& dziennik, const Ustawienia& u) {
  if (u.oprogramowanie != Oprogramowanie::avr910) return;
  char opis[128];
  std::snprintf(opis, sizeof opis,
                "firmware avr910: address register 0x%04X, device code 0x%02X at power-up",
                u.adres_startowy, u.kod_startowy);
  dziennik.zdarzenie(0.0, opis);
}

int blad(const std::string& tekst) {
  std::fprintf(stderr, "ostrel-sim: %s\n", tekst.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Opcje opcje;
  bool pomoc = false;
  bool wersja = false;
  std::string tekst_bledu;
  if (!parsuj_opcje(argc, argv, opcje, pomoc, wersja, tekst_bledu)) {
    std::fprintf(stderr, "ostrel-sim: %s\n%s", tekst_bledu.c_str(), tekst_pomocy());
    return 2;
  }
  if (pomoc) {
    std::fputs(tekst_pomocy(), stdout);
    return 0;
  }
  if (wersja) {
    std::printf("ostrel-sim %s\n", OSTREL_WERSJA);
    return 0;
  }
  Ustawienia programator = opcje.programator;
  programator.adres_startowy = adres_po_wlaczeniu(opcje);
  // The page-mode parts are modelled with the AVR910 firmware only.
  std::unique_ptr<Model> model;
  if (const UkladStronicowy* u = znajdz_uklad_stronicowy(opcje.uklad)) {
    if (programator.oprogramowanie != Oprogramowanie::avr910) {
      return blad("device " + opcje.uklad + " needs --firmware avr910");
    }
    model = std::make_unique<Avr910Stronicowy>(*u, programator, opcje.kody_firmware,
                                               opcje.nieudane_synchronizacje);
  } else {
    const int indeks = znajdz_uklad(opcje.uklad);
    if (indeks < 0) {
      return blad("unknown device " + opcje.uklad + "; known: " + nazwy_ukladow() +
                  "; with --firmware avr910 also " + nazwy_ukladow_stronicowych());
    }
    model = std::make_unique<Automat>(kUklady[static_cast<std::size_t>(indeks)], programator);
  }
  Model& automat = *model;
  if (!opcje.plik_flash.empty() &&
      !wczytaj_hex(opcje.plik_flash, automat.flash(), "flash", tekst_bledu)) {
    return blad(tekst_bledu);
  }
  if (!opcje.plik_eeprom.empty() &&
      !wczytaj_hex(opcje.plik_eeprom, automat.eeprom(), "EEPROM", tekst_bledu)) {
    return blad(tekst_bledu);
  }

  int rura[2];
  if (::pipe2(rura, O_CLOEXEC | O_NONBLOCK) != 0) return blad("pipe failed");
  g_sygnal_zapis = rura[1];
  struct sigaction sa {};
  sa.sa_handler = przy_sygnale;
  sigemptyset(&sa.sa_mask);
  ::sigaction(SIGINT, &sa, nullptr);
  ::sigaction(SIGTERM, &sa, nullptr);
  // A closed terminal ends the run the same orderly way: the user's link comes back.
  ::sigaction(SIGHUP, &sa, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  Dziennik dziennik;
  if (!opcje.dziennik.empty() && !dziennik.otworz(opcje.dziennik, tekst_bledu)) {
    return blad(tekst_bledu);
  }
  zapisz_stan_po_wlaczeniu(dziennik, programator);
  Terminal terminal;
  if (!terminal.otworz(tekst_bledu)) return blad(tekst_bledu);
  Lacze lacze;
  if (opcje.com > 0 && !lacze.utworz(opcje.com, terminal.sciezka(), opcje.zastap, tekst_bledu)) {
    return blad(tekst_bledu);
  }

  // The first line tells the caller where to connect; it comes once everything is ready.
  std::printf("PTY %s\n", terminal.sciezka().c_str());
  std::fflush(stdout);

  Petla petla(opcje, automat, terminal, dziennik, rura[0]);
  petla.uruchom();

  int wynik = 0;
  if (!opcje.zrzut_flash.empty() && !zapisz_atomowo(opcje.zrzut_flash, automat.flash().data(),
                                                    automat.flash().size(), &tekst_bledu)) {
    wynik = blad(opcje.zrzut_flash + ": " + tekst_bledu);
  }
  if (!opcje.zrzut_eeprom.empty() && !zapisz_atomowo(opcje.zrzut_eeprom, automat.eeprom().data(),
                                                     automat.eeprom().size(), &tekst_bledu)) {
    wynik = blad(opcje.zrzut_eeprom + ": " + tekst_bledu);
  }
  dziennik.oproznij();
  return wynik;
}
