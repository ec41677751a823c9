// The port listing on Windows: COMn are the system's own names, so there is nothing to
// map, only which ports are there and which another program holds.
#include <string>
#include <vector>

#include "serial/lista_portow.h"

namespace ostrel {

namespace {

// COM ports above this are listed only when the system reports them.
constexpr int kNajwyzszyPort = 16;

}  // namespace

std::string tekst_listy_portow(PlatformaSzeregowa& platforma) {
  std::string t;
  int obecne = 0;
  for (const OpisPortu& o : platforma.opisz_porty(kNajwyzszyPort)) {
    if (!o.istnieje) continue;
    ++obecne;
    t += "COM" + std::to_string(o.numer) + ": ";
    if (!o.terminal) {
      t += "nie jest portem szeregowym\n";
    } else if (o.zajety) {
      t += "zajęty przez inny program\n";
    } else if (!o.dostep) {
      t += "nie można otworzyć" + (o.rada.empty() ? std::string() : ": " + o.rada) + "\n";
    } else {
      t += "wolny\n";
    }
  }
  if (obecne == 0) t += "Nie znaleziono portów COM.\n";
  const std::vector<UrzadzenieSzeregowe> urzadzenia = platforma.urzadzenia();
  if (!urzadzenia.empty()) {
    t += "\nPorty szeregowe systemu:\n";
    for (const UrzadzenieSzeregowe& u : urzadzenia) {
      t += "  " + u.sciezka;
      if (!u.cel.empty()) t += " (" + u.cel + ")";
      t += "\n";
    }
  }
  t += "\nBez --port programator jest szukany na COM1..COM" + std::to_string(kPortySzukania) +
       "; inny port: --port COM7 albo --port 7.\n";
  return t;
}

std::string tekst_bledu_otwarcia(const std::string& nazwa, const BladOtwarcia& blad) {
  switch (blad.powod) {
    case PowodBledu::brak:
    case PowodBledu::nieznana_nazwa:
    case PowodBledu::brak_urzadzenia:
      return {};
    case PowodBledu::brak_uprawnien:
      return nazwa + ": brak uprawnień do odczytu i zapisu" +
             (blad.szczegoly.empty() ? std::string() : "; " + blad.szczegoly);
    case PowodBledu::zajety:
      return nazwa + ": port zajęty przez inny program (zamknij program, który go używa)";
    case PowodBledu::nie_port:
      return nazwa + ": to nie jest port szeregowy";
    case PowodBledu::inny:
      return nazwa + ": nie można otworzyć" +
             (blad.szczegoly.empty() ? std::string() : ": " + blad.szczegoly);
  }
  return {};
}

}  // namespace ostrel
