// The line that tells the user of ostrel-cli what was wrong with a refused HEX file and
// how to mend it.
#pragma once

#include <string>

#include "hex/intel_hex.h"

namespace ostrel::cli {

// One line without its end; empty when there is nothing to explain.
std::string objasnienie_hex(const PrzyczynaHex& przyczyna);

}  // namespace ostrel::cli
