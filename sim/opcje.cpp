#include "sim/opcje.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <string_view>
#include <vector>

namespace ostrel::sim {

namespace {

bool liczba(std::string_view tekst, std::uint64_t& wynik) {
  if (tekst.empty()) return false;
  auto [koniec, ec] = std::from_chars(tekst.data(), tekst.data() + tekst.size(), wynik);
  return ec == std::errc() && koniec == tekst.data() + tekst.size();
}

bool milisekundy(std::string_view tekst, double& wynik) {
  if (tekst.empty()) return false;
  auto [koniec, ec] = std::from_chars(tekst.data(), tekst.data() + tekst.size(), wynik);
  // An hour is far beyond any useful pause and keeps the nanosecond sums in range.
  return ec == std::errc() && koniec == tekst.data() + tekst.size() && wynik >= 0 &&
         wynik <= 3600000.0;
}

// Decimal, or hexadecimal with 0x, up to `najwiecej`.
bool liczba_z_podstawa(std::string_view tekst, std::uint64_t najwiecej, std::uint64_t& wynik) {
  int podstawa = 10;
  if (tekst.size() > 2 && tekst[0] == '0' && (tekst[1] == 'x' || tekst[1] == 'X')) {
    tekst.remove_prefix(2);
    podstawa = 16;
  }
  if (tekst.empty()) return false;
  auto [koniec, ec] = std::from_chars(tekst.data(), tekst.data() + tekst.size(), wynik, podstawa);
  return ec == std::errc() && koniec == tekst.data() + tekst.size() && wynik <= najwiecej;
}

bool dwa_znaki_drukowalne(std::string_view tekst) {
  if (tekst.size() != 2) return false;
  for (char c : tekst) {
    if (c < 0x20 || c > 0x7e) return false;
  }
  return true;
}

// Two-digit hex bytes separated by commas ("1E,93,01"), at least one.
bool bajty_hex(std::string_view tekst, std::vector<std::uint8_t>& wynik) {
  wynik.clear();
  for (;;) {
    const std::size_t przecinek = tekst.find(',');
    const std::string_view b = tekst.substr(0, przecinek);
    std::uint8_t v = 0;
    if (b.size() != 2) return false;
    auto [koniec, ec] = std::from_chars(b.data(), b.data() + 2, v, 16);
    if (ec != std::errc() || koniec != b.data() + 2) return false;
    wynik.push_back(v);
    if (przecinek == std::string_view::npos) return true;
    tekst.remove_prefix(przecinek + 1);
  }
}

bool sygnatura(std::string_view tekst, std::array<std::uint8_t, 3>& wynik) {
  std::vector<std::uint8_t> b;
  if (!bajty_hex(tekst, b) || b.size() != 3) return false;
  wynik = {b[0], b[1], b[2]};
  return true;
}

}  // namespace

const char* tekst_pomocy() {
  return "Usage: ostrel-sim [options]\n"
         "Simulates the serial programmer on a pseudo-terminal. The first line on\n"
         "stdout is \"PTY <slave path>\"; SIGINT, SIGTERM or SIGHUP end it cleanly.\n"
         "  --device NAME        chip in the socket (default AT89C2051); with --firmware\n"
         "                       avr910 also ATtiny13, ATtiny2313, ATtiny25/45/85, ATmega8,\n"
         "                       16, 32, 48, 88, 168, 328P, 8515, 8535, 162\n"
         "  --flash FILE.hex     load flash from Intel HEX (default erased, 0xFF)\n"
         "  --eeprom FILE.hex    load EEPROM from Intel HEX\n"
         "  --dump-flash FILE    write the flash as raw binary at exit\n"
         "  --dump-eeprom FILE   write the EEPROM as raw binary at exit\n"
         "  --com N              link comN in $XDG_CONFIG_HOME/ostrel/ to the pty\n"
         "  --replace            with --com: replace a comN that no simulator made (it\n"
         "                       is put back at exit); without it such a comN is refused\n"
         "  --log FILE           log every byte: ms direction(< in, > out) hex char\n"
         "  --mode S|P           answer to 'p' (default S)\n"
         "  --sw-version XY      two characters answered to 'V' (default 12)\n"
         "  --hw-version XY      two characters answered to 'v' (default 10)\n"
         "  --baud B             pace both directions as an 8N1 line at B bit/s\n"
         "  --latency MS         delay before every answer\n"
         "  --write-ms MS        delay before acknowledging a flash/EEPROM write\n"
         "  --silent             answer nothing\n"
         "  --mute LETTERS       answer nothing to these commands (e.g. sF)\n"
         "  --stop-after N       fall silent after N commands\n"
         "  --hangup-after N     close the pty master after N commands\n"
         "  --garbage-every N    send an unrequested byte before every Nth answer\n"
         "  --ident TEXT         identification other than \"AVR ISP\"\n"
         "  --ident-gap-ms MS    pause after the third identification byte\n"
         "  --firmware ostrel|avr910\n"
         "                       the programmer's firmware (default ostrel); avr910: one\n"
         "                       address register for flash and EEPROM that 'P' leaves\n"
         "                       alone, the device code only from 'T', busy times with a\n"
         "                       one-byte receive buffer\n"
         "  --power-up-address N|random\n"
         "                       avr910: address register at power-up (default random,\n"
         "                       written to the log); decimal or 0x hex\n"
         "  --power-up-code N    avr910: device code at power-up (default 0x20)\n"
         "  --busy-scale F       avr910: busy times ('P' 100 ms, writes 4 ms) times F;\n"
         "                       0 switches them off (default 1)\n"
         "  --block-size N       avr910: block buffer 'b' reports for 'B'/'g' (default\n"
         "                       64); 0: no block commands, 'b' answered '?'\n"
         "  --device-codes LIST  avr910 with an ATtiny/ATmega: the codes 't' lists, comma\n"
         "                       separated (0x23,0x76); default --device-list's, else\n"
         "                       the firmware's own list\n"
         "  --sync-failures N    avr910 with an ATtiny/ATmega: the chip ignores the first\n"
         "                       N Programming Enables\n"
         "  --signature XX,XX,XX the chip's signature bytes at addresses 0, 1, 2 (hex),\n"
         "                       instead of its part's\n"
         "  --signature-under CODE=XX,XX,XX\n"
         "                       what 's' answers while device code CODE (decimal or 0x\n"
         "                       hex) is in force from 'T'; repeatable\n"
         "  --device-list XX,XX,...\n"
         "                       the device codes (hex) 't' answers before its 00\n"
         "  --version            print the program's name and version\n";
}

bool parsuj_opcje(int argc, char** argv, Opcje& o, bool& pomoc, bool& wersja, std::string& blad) {
  pomoc = false;
  wersja = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view nazwa = argv[i];
    if (nazwa == "--help" || nazwa == "-h") {
      pomoc = true;
      return true;
    }
    if (nazwa == "--version") {
      wersja = true;
      return true;
    }
    if (nazwa == "--silent") {
      o.milczy = true;
      continue;
    }
    if (nazwa == "--replace") {
      o.zastap = true;
      continue;
    }
    if (i + 1 >= argc) {
      blad = "option " + std::string(nazwa) + " needs a value";
      if (nazwa.substr(0, 2) != "--") blad = "unknown option " + std::string(nazwa);
      return false;
    }
    const std::string_view w = argv[++i];
    std::uint64_t n = 0;
    bool dobrze = true;
    if (nazwa == "--device") {
      o.uklad = w;
    } else if (nazwa == "--flash") {
      o.plik_flash = w;
    } else if (nazwa == "--eeprom") {
      o.plik_eeprom = w;
    } else if (nazwa == "--dump-flash") {
      o.zrzut_flash = w;
    } else if (nazwa == "--dump-eeprom") {
      o.zrzut_eeprom = w;
    } else if (nazwa == "--log") {
      o.dziennik = w;
    } else if (nazwa == "--com") {
      dobrze = liczba(w, n) && n >= 1 && n <= 16;
      o.com = static_cast<int>(n);
    } else if (nazwa == "--mute") {
      dobrze = !w.empty();
      o.bez_odpowiedzi += w;
    } else if (nazwa == "--ident") {
      o.programator.identyfikacja = w;
    } else if (nazwa == "--sw-version") {
      dobrze = dwa_znaki_drukowalne(w);
      o.programator.wersja = w;
    } else if (nazwa == "--hw-version") {
      dobrze = dwa_znaki_drukowalne(w);
      o.programator.wersja_sprzetu = w;
    } else if (nazwa == "--mode") {
      dobrze = w == "S" || w == "P";
      if (dobrze) o.programator.tryb = w[0];
    } else if (nazwa == "--baud") {
      dobrze = liczba(w, n) && n >= 50 && n <= 4000000;
      o.baud = static_cast<std::uint32_t>(n);
    } else if (nazwa == "--latency") {
      dobrze = milisekundy(w, o.opoznienie_ms);
    } else if (nazwa == "--write-ms") {
      dobrze = milisekundy(w, o.zapis_ms);
    } else if (nazwa == "--ident-gap-ms") {
      dobrze = milisekundy(w, o.przerwa_identyfikacji_ms);
    } else if (nazwa == "--stop-after") {
      dobrze = liczba(w, n);
      o.milknie_po = n;
    } else if (nazwa == "--hangup-after") {
      dobrze = liczba(w, n);
      o.rozlacza_po = n;
    } else if (nazwa == "--firmware") {
      dobrze = w == "ostrel" || w == "avr910";
      o.programator.oprogramowanie =
          w == "avr910" ? Oprogramowanie::avr910 : Oprogramowanie::ostrel;
    } else if (nazwa == "--power-up-address") {
      if (w == "random") {
        o.adres_startowy.reset();
      } else {
        dobrze = liczba_z_podstawa(w, 0xFFFF, n);
        o.adres_startowy = static_cast<std::uint16_t>(n);
      }
    } else if (nazwa == "--power-up-code") {
      dobrze = liczba_z_podstawa(w, 0xFF, n);
      o.programator.kod_startowy = static_cast<std::uint8_t>(n);
    } else if (nazwa == "--busy-scale") {
      dobrze = milisekundy(w, o.skala_zajetosci) && o.skala_zajetosci <= 100.0;
    } else if (nazwa == "--block-size") {
      dobrze = liczba(w, n) && n <= 4096;
      o.programator.rozmiar_bloku = static_cast<std::uint16_t>(n);
    } else if (nazwa == "--device-codes") {
      o.kody_firmware.clear();
      std::string_view reszta = w;
      while (dobrze && !reszta.empty()) {
        const std::size_t p = reszta.find(',');
        dobrze = liczba_z_podstawa(reszta.substr(0, p), 0xFF, n) && n != 0;
        o.kody_firmware.push_back(static_cast<std::uint8_t>(n));
        reszta = p == std::string_view::npos ? std::string_view{} : reszta.substr(p + 1);
      }
      dobrze = dobrze && !o.kody_firmware.empty();
    } else if (nazwa == "--sync-failures") {
      dobrze = liczba(w, n) && n <= 1000;
      o.nieudane_synchronizacje = static_cast<int>(n);
    } else if (nazwa == "--signature") {
      std::array<std::uint8_t, 3> b{};
      dobrze = sygnatura(w, b);
      o.programator.sygnatura = b;
    } else if (nazwa == "--signature-under") {
      const std::size_t rowna = w.find('=');
      std::array<std::uint8_t, 3> b{};
      dobrze = rowna != std::string_view::npos && liczba_z_podstawa(w.substr(0, rowna), 0xFF, n) &&
               sygnatura(w.substr(rowna + 1), b);
      if (dobrze) o.programator.sygnatura_przy_kodzie[static_cast<std::uint8_t>(n)] = b;
    } else if (nazwa == "--device-list") {
      std::vector<std::uint8_t> kody;
      // 00 ends the list on the wire: it cannot be one of its codes.
      dobrze = bajty_hex(w, kody) && std::find(kody.begin(), kody.end(), 0) == kody.end();
      o.programator.lista_kodow = kody;
    } else if (nazwa == "--garbage-every") {
      dobrze = liczba(w, o.smieci_co) && o.smieci_co >= 1;
    } else {
      blad = "unknown option " + std::string(nazwa);
      return false;
    }
    if (!dobrze) {
      blad = "bad value for " + std::string(nazwa) + ": " + std::string(w);
      return false;
    }
  }
  return true;
}

}  // namespace ostrel::sim
