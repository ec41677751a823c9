#include "serial/lista_portow.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <set>
#include <vector>

#include "serial/konfiguracja.h"

namespace ostrel {

namespace {

// Where a link points, one level down; empty when it is no link.
std::string cel_lacza(const std::string& lacze) {
  std::vector<char> bufor(4096);
  const ssize_t n = readlink(lacze.c_str(), bufor.data(), bufor.size() - 1);
  return n > 0 ? std::string(bufor.data(), static_cast<std::size_t>(n)) : std::string();
}

std::string katalog(const std::string& sciezka) {
  const auto ukosnik = sciezka.rfind('/');
  return ukosnik == std::string::npos ? "." : sciezka.substr(0, ukosnik);
}

constexpr const char* kDialout =
    "dodaj się do grupy dialout (sudo usermod -aG dialout $USER) i zaloguj się ponownie";

bool istnieje_wpis(const std::string& sciezka) {
  struct stat st {};
  return lstat(sciezka.c_str(), &st) == 0;
}

// The device a path finally leads to; the path itself when it leads nowhere.
std::string prawdziwa(const std::string& sciezka) {
  char* cel = realpath(sciezka.c_str(), nullptr);
  std::string wynik = cel != nullptr ? cel : sciezka;
  std::free(cel);
  return wynik;
}

// A word the shell takes as it stands: quoted when it holds anything but the plain
// characters of a path (a home folder with a blank, say).
std::string cytuj(const std::string& slowo) {
  const bool zwykle = !slowo.empty() && slowo.find_first_not_of(
                                            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                            "0123456789/._-+:,@%=") == std::string::npos;
  if (zwykle) return slowo;
  std::string wynik = "'";
  for (char c : slowo) wynik += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return wynik + "'";
}

}  // namespace

std::string tekst_listy_portow(PlatformaSzeregowa& platforma) {
  std::string t;
  if (platforma.lacze_portu(1).empty()) {
    const std::string powod = katalog_konfiguracji().blad;
    if (!powod.empty()) t += "Łącza com1..com4: " + powod + "\n\n";
  }
  for (const OpisPortu& o : platforma.opisz_porty(kPortySzukania)) {
    t += "COM" + std::to_string(o.numer) + ": ";
    switch (o.skad) {
      case Przypisanie::lacze:
        t += "łącze " + o.urzadzenie + " -> " + cel_lacza(o.urzadzenie);
        break;
      case Przypisanie::domyslne:
        t += o.urzadzenie + " (domyślnie)";
        break;
      case Przypisanie::automatyczne:
        t += o.urzadzenie + " (wykryty; nie ma łączy com1..com4)";
        break;
      case Przypisanie::brak:
        t += "brak (wykryto mniej urządzeń szeregowych)\n";
        continue;
    }
    if (!o.istnieje) {
      // A link to nothing still turns the automatic choice off: it must be seen.
      t += o.skad == Przypisanie::lacze
               ? ": nie istnieje (łącze prowadzi donikąd; dopóki jest, porty com1..com4 nie są "
                 "wybierane automatycznie)\n"
               : ": nie istnieje\n";
      continue;
    }
    if (!o.terminal) {
      t += ": nie jest portem szeregowym\n";
      continue;
    }
    t += o.dostep ? ": istnieje, odczyt i zapis dozwolone" : ": istnieje, brak uprawnień";
    if (o.zajety) {
      t += ", zajęty przez inny program";
      if (!o.trzymajacy.empty()) t += ": " + o.trzymajacy;
    } else if (!o.trzymajacy.empty()) {
      // Not locked, so it would open, but that program reads the same bytes.
      t += ", otwarty bez blokady przez inny program: " + o.trzymajacy;
    } else {
      t += ", wolny";
    }
    t += "\n";
    if (!o.dostep) t += "       (" + (o.rada.empty() ? std::string(kDialout) : o.rada) + ")\n";
  }

  const std::vector<UrzadzenieSzeregowe> obecne = platforma.urzadzenia();
  if (obecne.empty()) {
    t += "\nNie znaleziono urządzeń szeregowych.\n";
    return t;
  }
  t += "\nUrządzenia szeregowe:\n";
  for (const UrzadzenieSzeregowe& u : obecne) {
    t += "  " + u.sciezka;
    if (!u.cel.empty() && u.cel != u.sciezka) t += " -> " + u.cel;
    t += "\n";
  }
  if (platforma.lacze_portu(1).empty()) return t;
  // The first of COM1..COM4 without a link, for the first device no link leads to yet;
  // `ln` without -f, so that pasting the command never replaces a link.
  std::set<std::string> polaczone;
  int wolny = 0;
  for (int n = 1; n <= kPortySzukania; ++n) {
    const std::string lacze = platforma.lacze_portu(n);
    if (istnieje_wpis(lacze)) {
      polaczone.insert(prawdziwa(lacze));
    } else if (wolny == 0) {
      wolny = n;
    }
  }
  const UrzadzenieSzeregowe* proponowane = nullptr;
  for (const UrzadzenieSzeregowe& u : obecne) {
    if (polaczone.count(prawdziwa(u.sciezka)) == 0) {
      proponowane = &u;
      break;
    }
  }
  if (wolny != 0 && proponowane != nullptr) {
    const std::string lacze = platforma.lacze_portu(wolny);
    const std::string com = "COM" + std::to_string(wolny);
    t += "\nUrządzenie staje się portem COMn przez łącze comn, na przykład " + com + ":\n";
    t += "  mkdir -p " + cytuj(katalog(lacze)) + " && ln -sn " + cytuj(proponowane->sciezka) + " " +
         cytuj(lacze) + "\n";
    t += "Gdy istnieje choć jedno łącze com1..com4, port bez łącza COMn to /dev/ttyS<n-1>.\n";
  }
  return t;
}

std::string tekst_bledu_otwarcia(const std::string& nazwa, const BladOtwarcia& blad) {
  const std::string kto =
      nazwa + (blad.urzadzenie.empty() || blad.urzadzenie == nazwa ? std::string()
                                                                   : " (" + blad.urzadzenie + ")");
  switch (blad.powod) {
    case PowodBledu::brak:
    case PowodBledu::nieznana_nazwa:
    case PowodBledu::brak_urzadzenia:
      return {};
    case PowodBledu::brak_uprawnien:
      return kto + ": brak uprawnień do odczytu i zapisu; " +
             (blad.szczegoly.empty() ? std::string(kDialout) : blad.szczegoly);
    case PowodBledu::zajety:
      return kto + ": port zajęty przez inny program" +
             (blad.szczegoly.empty() ? std::string() : ": " + blad.szczegoly) +
             " (który program go trzyma, pokaże: fuser -v " + blad.urzadzenie + ")";
    case PowodBledu::nie_port:
      return kto + ": to nie jest port szeregowy";
    case PowodBledu::inny:
      return kto + ": nie można otworzyć" +
             (blad.szczegoly.empty() ? std::string() : ": " + blad.szczegoly);
  }
  return {};
}

}  // namespace ostrel
