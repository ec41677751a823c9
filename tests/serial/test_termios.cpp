// The line state built from the control block, checked on plain termios records since
// a pseudo-terminal ignores the character format.
#include <gtest/gtest.h>
#include <termios.h>

#include "serial/termios_dcb.h"

namespace ostrel {
namespace {

termios gotowany() {
  termios t{};
  t.c_iflag = ICRNL | IXON | IXANY | ISTRIP | INPCK;
  t.c_oflag = OPOST | ONLCR;
  t.c_lflag = ICANON | ECHO | ECHOE | ISIG | IEXTEN;
  t.c_cflag = CS7 | PARENB | HUPCL;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 5;
  return t;
}

BlokDCB blok(std::uint32_t bps, std::uint8_t bity, std::uint8_t parzystosc, std::uint8_t stop,
             std::uint32_t flagi) {
  BlokDCB d;
  d.DCBlength = 28;
  d.BaudRate = bps;
  d.ByteSize = bity;
  d.Parity = parzystosc;
  d.StopBits = stop;
  d.Flags = flagi;
  d.XonChar = 17;
  d.XoffChar = 19;
  return d;
}

// Every flag set, as a program that left the line in the strangest state would leave it:
// each flag the raw line must not have is then seen cleared.
termios wszystko_ustawione() {
  termios t{};
  t.c_iflag = ~tcflag_t{0};
  t.c_oflag = ~tcflag_t{0};
  t.c_lflag = ~tcflag_t{0};
  t.c_cflag = ~tcflag_t{0};
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 5;
  return t;
}

TEST(TermiosZDcb, RawFromAnyStartingState) {
  termios t = wszystko_ustawione();
  EXPECT_TRUE(termios_z_dcb(blok(19200, 8, 0, 0, 0x1011), t));
  // PARMRK would double every 0xFF received (erased flash), IGNCR/INLCR/ICRNL would eat or
  // change CR and LF, IGNBRK/BRKINT would turn a break into nothing or a signal, IUCLC
  // would lower-case the identification answer.
  const tcflag_t wejscie[] = {IGNBRK, BRKINT, PARMRK, ISTRIP, INLCR, IGNCR,
                              ICRNL,  IUCLC,  IXON,   IXOFF,  IXANY, INPCK};
  for (tcflag_t f : wejscie) EXPECT_FALSE(t.c_iflag & f) << std::oct << f;
  EXPECT_FALSE(t.c_oflag & OPOST);
  const tcflag_t lokalne[] = {ECHO, ECHONL, ICANON, ISIG, IEXTEN};
  for (tcflag_t f : lokalne) EXPECT_FALSE(t.c_lflag & f) << std::oct << f;
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  const tcflag_t sterowanie[] = {PARENB, PARODD, CMSPAR, CSTOPB, CRTSCTS};
  for (tcflag_t f : sterowanie) EXPECT_FALSE(t.c_cflag & f) << std::oct << f;
  // No separate input speed: the input runs at the output speed.
  EXPECT_EQ(t.c_cflag & CIBAUD, 0u);
  EXPECT_EQ(cfgetospeed(&t), B19200);
  EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
  EXPECT_EQ(t.c_cc[VMIN], 0);
  EXPECT_EQ(t.c_cc[VTIME], 0);
}

// The control lines each handshaking setting and DTR choice give (a pty cannot show them).
TEST(LinieZDcb, DtrAndRtsFromTheControlBlock) {
  struct Przypadek {
    std::uint32_t flagi;  // DCB flag word
    bool dtr, rts;        // expected lines
  };
  const Przypadek przypadki[] = {
      {0x1 | 0x10 | 0x1000, true, true},          // the programmer link: DTR on, hhNONERTSON
      {0x1 | 0x1000, false, true},                // EnableDTROnOpen false
      {0x1 | 0x10, true, false},                  // hhNONE
      {0x1 | 0x10 | 0x2004, true, true},          // hhRTSCTS: RTS up, CRTSCTS drives it
      {0x1, false, false},                        // nothing asked
      {0x1 | 0x20 | 0x3000, true, false},         // DTR handshake up; RTS toggle starts low
      {0x1 | 0x10 | 0x1000 | 0x300, true, true},  // XON/XOFF changes no line
  };
  for (const Przypadek& p : przypadki) {
    const LinieSterujace l = linie_z_dcb(blok(19200, 8, 0, 0, p.flagi));
    EXPECT_EQ(l.dtr, p.dtr) << std::hex << p.flagi;
    EXPECT_EQ(l.rts, p.rts) << std::hex << p.flagi;
  }
}

TEST(TermiosZDcb, ProgrammerLineIsRaw8N1) {
  termios t = gotowany();
  EXPECT_TRUE(termios_z_dcb(blok(19200, 8, 0, 0, 0x1011), t));
  EXPECT_EQ(cfgetospeed(&t), B19200);
  EXPECT_EQ(cfgetispeed(&t), B19200);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_FALSE(t.c_cflag & (PARENB | PARODD | CSTOPB | CRTSCTS));
  EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
  EXPECT_FALSE(t.c_iflag & (ICRNL | IXON | IXOFF | IXANY | ISTRIP | INPCK));
  EXPECT_FALSE(t.c_oflag & OPOST);
  EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN));
  EXPECT_EQ(t.c_cc[VMIN], 0);
  EXPECT_EQ(t.c_cc[VTIME], 0);
}

TEST(TermiosZDcb, CharacterFormatsAndFlowControl) {
  struct Przypadek {
    std::uint8_t bity, parzystosc, stop;  // control block fields
    tcflag_t rozmiar, parzystosc_flagi;   // expected CSIZE and parity bits
    bool cstopb;                          // expected CSTOPB
  };
  const Przypadek przypadki[] = {
      {5, 0, 1, CS5, 0, true},
      {6, 1, 0, CS6, PARENB | PARODD, false},
      {7, 2, 2, CS7, PARENB, true},
      {8, 3, 0, CS8, PARENB | PARODD | CMSPAR, false},
      {8, 4, 0, CS8, PARENB | CMSPAR, false},
  };
  for (const Przypadek& p : przypadki) {
    termios t = gotowany();
    termios_z_dcb(blok(9600, p.bity, p.parzystosc, p.stop, 0x1), t);
    EXPECT_EQ(t.c_cflag & CSIZE, p.rozmiar) << int(p.bity);
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), p.parzystosc_flagi) << int(p.parzystosc);
    EXPECT_EQ((t.c_cflag & CSTOPB) != 0, p.cstopb);
    EXPECT_FALSE(t.c_iflag & INPCK);  // parity is never checked on input
  }
  termios t = gotowany();
  termios_z_dcb(blok(9600, 8, 0, 0, 0x1 | 0x2004 | 0x300), t);
  EXPECT_TRUE(t.c_cflag & CRTSCTS);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
  EXPECT_EQ(t.c_cc[VSTART], 17);
  EXPECT_EQ(t.c_cc[VSTOP], 19);
}

}  // namespace
}  // namespace ostrel
