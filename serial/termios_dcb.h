// The POSIX line state built from the device control block.
#pragma once

#include <termios.h>

#include "serial/platforma.h"

namespace ostrel {

// Makes `t` raw (no echo, no canonical input, no translation, CLOCAL|CREAD, reads that
// return at once) with the block's character format, flow control and speed. Returns
// false when the speed has no termios constant; the caller then sets it separately.
bool termios_z_dcb(const BlokDCB& dcb, termios& t);

// The modem control lines the block asks for while the port is open. DTR is up when
// fDtrControl is enable or handshake; RTS is up when fRtsControl is enable or handshake
// (CRTSCTS then drives it); toggle mode raises RTS only while sending, so it starts low.
struct LinieSterujace {
  bool dtr;  // Data Terminal Ready
  bool rts;  // Request To Send
};
LinieSterujace linie_z_dcb(const BlokDCB& dcb);

}  // namespace ostrel
