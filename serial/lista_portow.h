// The text of the port listing: how COM1..COM4 map now and which serial devices are
// present, with the command that makes one of them COMn. Front ends print it.
#pragma once

#include <string>

#include "serial/platforma.h"

namespace ostrel {

// The ports the search looks at.
inline constexpr int kPortySzukania = 4;

std::string tekst_listy_portow(PlatformaSzeregowa& platforma);

// One line saying why a port that exists could not be opened, and what to do about it;
// empty when the reason is no such thing (no device at all, or no failure).
std::string tekst_bledu_otwarcia(const std::string& nazwa, const BladOtwarcia& blad);

}  // namespace ostrel
