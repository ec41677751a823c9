// The chip check before an erase or a write from the windows. The signature is read on
// the worker; a chip that is not the part chosen is put to the user on the window
// thread (never waiting on the line there), and the write runs as separate work only
// when the user says so.
#pragma once

#include <string>

#include "ui/model/programator.h"

namespace ostrel {

struct KontrolaUkladu {
  enum class Dalej : std::uint8_t {
    tak,      // the write may go on at once
    koniec,   // the read failed and the status window says why: nothing more is sent
    pytanie,  // another chip in the socket: `opis` says which, the user decides
  };
  Dalej dalej = Dalej::tak;
  std::string opis;
};

// Reads the chip's signature for the part selected (on the worker, the model owned):
// drain, 'T', 'P', 's', 'L', drain. Demo mode, a part without a signature to compare,
// a match, and a programmer that gives no signature go on at once.
KontrolaUkladu sprawdz_uklad(Programator& p);

// Whether the scheduler's operation `kod` writes the chip and would send anything: a
// program operation on a file that loads, in a memory the part has.
bool operacja_zapisuje(const Programator& p, int kod);

// The question shown for another chip: the check's words and `pytanie` under them.
std::string pytanie_o_uklad(const std::string& opis, const char* pytanie);

// What the question's "Nie" leaves in the status window.
inline constexpr const char* kNicNieZapisano = "Nic nie zapisano";

}  // namespace ostrel
