// The line that tells the user of ostrel-cli what was wrong with a refused HEX file and
// how to mend it.
#pragma once

#include <string>

#include "hex/intel_hex.h"

namespace ostrel::cli {

// Without the end of its last line; empty when there is nothing to explain. Commands to
// paste stand on lines of their own, indented by two blanks.
std::string objasnienie_hex(const PrzyczynaHex& przyczyna);

}  // namespace ostrel::cli
