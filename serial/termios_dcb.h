// The POSIX line state built from the device control block.
#pragma once

#include <termios.h>

#include "serial/platforma.h"

namespace ostrel {

// Makes `t` raw (no echo, no canonical input, no translation, CLOCAL|CREAD, reads that
// return at once) with the block's character format, flow control and speed. Returns
// false when the speed has no termios constant; the caller then sets it separately.
bool termios_z_dcb(const BlokDCB& dcb, termios& t);

}  // namespace ostrel
