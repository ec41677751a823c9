// The search for the programmer: 'S' on each port in turn, "AVR ISP" the answer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "serial/ComDrv32.h"

namespace ostrel {

// A port the search could not open, and why: a front end tells the user what a bare
// "not found" leaves out.
struct NieotwartyPort {
  std::string nazwa;  // "com2", or the device path the search was given
  BladOtwarcia blad;  // the platform's reason
};

struct WynikSzukania {
  bool znaleziony = false;
  int port = 0;  // the number of the port chosen (1..16); 0 none, or a device path
  std::vector<NieotwartyPort> nieotwarte;
  // The chosen port's probe ended with a whole input time-out of silence (not cut off
  // by a line that chattered on).
  bool cisza = false;
};

// Called for each port that answered, as it answers (0 for a device path): the search
// goes on, and the last port to answer is the one chosen.
using ZnalezionoPort = std::function<void(int numer)>;

// One probe: 'S' and the answer; the port is closed after it. A number 1..4 sets COMn
// first; any other number probes the port as it is set. A port that cannot be opened
// is added to `nieotwarte` (and still probed: its answer is then nothing).
// `cisza`, when given, says whether the answer ended with silence.
bool probuj_port(TCommPortDriver& port, int n, std::uint32_t limit_ms,
                 std::vector<NieotwartyPort>& nieotwarte, bool* cisza = nullptr);

// Ports pierwszy..ostatni (numbers outside 1..16 are skipped) at `predkosc`; the last
// that answers is chosen and left open.
WynikSzukania szukaj_programatora(TCommPortDriver& port, int pierwszy, int ostatni,
                                  TComPortBaudRate predkosc, std::uint32_t limit_ms,
                                  const ZnalezionoPort& znaleziono = {});

// The device named by its path; left open when it answers.
WynikSzukania szukaj_na_urzadzeniu(TCommPortDriver& port, const std::string& sciezka,
                                   TComPortBaudRate predkosc, std::uint32_t limit_ms,
                                   const ZnalezionoPort& znaleziono = {});

}  // namespace ostrel
