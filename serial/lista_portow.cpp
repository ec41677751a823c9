#include "serial/lista_portow.h"

#include <unistd.h>

#include <vector>

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

}  // namespace

std::string tekst_listy_portow(PlatformaSzeregowa& platforma) {
  std::string t;
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
    t += o.dostep ? ": istnieje, odczyt i zapis dozwolone" : ": istnieje, brak uprawnień";
    if (o.zajety) {
      t += ", zajęty przez inny program";
      if (!o.trzymajacy.empty()) t += ": " + o.trzymajacy;
    } else {
      t += ", wolny";
    }
    t += "\n";
    if (!o.dostep) t += "       (" + std::string(kDialout) + ")\n";
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
  const std::string lacze = platforma.lacze_portu(1);
  if (!lacze.empty()) {
    t += "\nUrządzenie staje się portem COMn przez łącze comn, na przykład COM1:\n";
    t += "  mkdir -p " + katalog(lacze) + " && ln -sfn " + obecne.front().sciezka + " " + lacze +
         "\n";
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
      return kto + ": brak uprawnień do odczytu i zapisu; " + kDialout;
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
