// The narrow operating-system interface of the serial component. Everything the
// component needs from the platform goes through here, so a Win32 implementation can
// stand beside the POSIX one without touching the component.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ostrel {

// The 28-byte device control block the component fills (the layout of Win32's DCB).
struct BlokDCB {
  std::uint32_t DCBlength = 0;
  std::uint32_t BaudRate = 0;
  std::uint32_t Flags = 0;  // fBinary 0x1, DTR enable 0x10, RTS enable 0x1000,
                            // RTS/CTS handshake 0x2004, XON/XOFF 0x300
  std::uint16_t wReserved = 0;
  std::uint16_t XonLim = 0;
  std::uint16_t XoffLim = 0;
  std::uint8_t ByteSize = 0;
  std::uint8_t Parity = 0;
  std::uint8_t StopBits = 0;
  char XonChar = 0;
  char XoffChar = 0;
  char ErrorChar = 0;
  char EofChar = 0;
  char EvtChar = 0;
  std::uint16_t wReserved1 = 0;
};
static_assert(sizeof(BlokDCB) == 28);

struct CzasyPortu {  // COMMTIMEOUTS, in ms
  std::uint32_t ReadIntervalTimeout = 0;
  std::uint32_t ReadTotalTimeoutMultiplier = 0;
  std::uint32_t ReadTotalTimeoutConstant = 0;
  std::uint32_t WriteTotalTimeoutMultiplier = 0;
  std::uint32_t WriteTotalTimeoutConstant = 0;
};

struct WersjaSystemu {
  std::uint32_t PlatformId = 0;  // 0 W32S, 1 W95, 2 WNT
  std::uint32_t MajorVersion = 0;
  std::uint32_t MinorVersion = 0;
};

// Bits of the purge mask given to PlatformaSzeregowa::oczysc().
inline constexpr std::uint32_t kPurgeTxAbort = 1;  // end a write in progress
inline constexpr std::uint32_t kPurgeRxAbort = 2;  // end a read in progress
inline constexpr std::uint32_t kPurgeTxClear = 4;  // drop the output queue
inline constexpr std::uint32_t kPurgeRxClear = 8;  // drop the input queue

// Wide enough for any platform's handle (a file descriptor, a Win32 HANDLE). 0 is no
// handle and kNieprawidlowyUchwyt (-1) the failed open; every other value, of either sign,
// is an open port.
using Uchwyt = std::intptr_t;
inline constexpr Uchwyt kNieprawidlowyUchwyt = -1;

// Why the last otworz() gave kNieprawidlowyUchwyt.
enum class PowodBledu : std::uint8_t {
  brak,             // the last open succeeded (or none was tried)
  nieznana_nazwa,   // the name names no port of this platform
  brak_urzadzenia,  // no device behind the name (missing, or a link leading nowhere)
  brak_uprawnien,   // the device exists; this user may not read and write it
  zajety,           // the device exists; another program holds it
  nie_port,         // something exists there, but no serial port (a file, a folder)
  inny,             // any other failure; the system's text is in `szczegoly`
};

struct BladOtwarcia {
  PowodBledu powod = PowodBledu::brak;
  std::string urzadzenie;  // the device the name led to; empty when it led nowhere
  std::string szczegoly;   // zajety: who holds it ("minicom (PID 812)") when known;
                           // brak_uprawnien: what would give access; inny: the system's
                           // error text
};

// How a COMn came to its device.
enum class Przypisanie : std::uint8_t {
  lacze,         // the user's comn link
  domyslne,      // the fixed default device of COMn
  automatyczne,  // no link configured: the n-th serial device found
  brak,          // nothing (fewer devices found than ports)
};

// One COMn as the platform sees it now, found without opening the device (opening a
// serial port raises DTR, which resets boards wired to it).
struct OpisPortu {
  int numer = 0;                         // n of COMn
  Przypisanie skad = Przypisanie::brak;  // how the device was chosen
  std::string urzadzenie;                // the device; empty with Przypisanie::brak
  bool istnieje = false;                 // something is there
  bool terminal = false;                 // it is a terminal device (else no serial port)
  bool dostep = false;                   // this user may read and write it
  std::string rada;                      // without access: what would give it
  bool zajety = false;                   // another program holds a lock on it
  std::string trzymajacy;                // the other programs that have it open, when seen
                                         // ("cat (PID 5)"); lock holders first
};

// A serial device present on the machine.
struct UrzadzenieSzeregowe {
  std::string sciezka;  // the name to use (a stable by-id name when there is one)
  std::string cel;      // the device node it leads to, when that differs
};

class PlatformaSzeregowa {
 public:
  virtual ~PlatformaSzeregowa() = default;
  // Device name as the component formats it ("\\.\COM3"). Exclusive, read/write.
  virtual Uchwyt otworz(const std::string& nazwa) = 0;
  virtual bool ustaw_stan(Uchwyt h, const BlokDCB& dcb) = 0;
  virtual bool ustaw_kolejki(Uchwyt h, std::uint32_t we, std::uint32_t wy) = 0;
  virtual bool ustaw_czasy(Uchwyt h, const CzasyPortu& czasy) = 0;
  // Mask: kPurgeTxAbort, kPurgeRxAbort, kPurgeTxClear, kPurgeRxClear.
  virtual bool oczysc(Uchwyt h, std::uint32_t maska) = 0;
  // What a caller that spins on the queue query is waiting for. A layer that can wait
  // may block up to the tick counter's resolution for it instead of letting the caller
  // spin; it must not wait for anything else (a write must not pay for an empty input).
  enum class Czekanie { brak, na_wejscie, na_miejsce };
  // Combined error-and-status query: input and output queue counts.
  virtual bool stan_kolejek(Uchwyt h, std::uint32_t& we, std::uint32_t& wy, Czekanie c) = 0;
  // Modem status bits: 0x10 CTS, 0x20 DSR, 0x40 RING, 0x80 RLSD.
  virtual bool linie_modemu(Uchwyt h, std::uint32_t& bity) = 0;
  // Returns false on error; `przeczytane`/`zapisane` receive the count moved.
  virtual bool czytaj(Uchwyt h, void* bufor, std::uint32_t n, std::uint32_t& przeczytane) = 0;
  virtual bool pisz(Uchwyt h, const void* dane, std::uint32_t n, std::uint32_t& zapisane) = 0;
  virtual bool zamknij(Uchwyt h) = 0;
  // Whether the device behind an open port has gone (an adapter unplugged, the other end
  // of a pseudo-terminal closed): a read, write or queue query found it so, and nothing on
  // this handle will work again. A platform that cannot tell says no.
  virtual bool odlaczone(Uchwyt /*h*/) const { return false; }
  // 32-bit millisecond tick counter; all elapsed-time arithmetic is modulo 2^32.
  virtual std::uint32_t licznik_ms() = 0;
  virtual bool wersja(WersjaSystemu& w) = 0;

  // Why the last otworz() failed. A platform that cannot tell says nothing.
  virtual BladOtwarcia blad_otwarcia() const { return {}; }
  // COM1..COMile as they map now; the serial devices present; the place of the setting
  // that makes a device COMn (POSIX: the comn link). Empty where the platform cannot tell.
  virtual std::vector<OpisPortu> opisz_porty(int /*ile*/) { return {}; }
  virtual std::vector<UrzadzenieSzeregowe> urzadzenia() { return {}; }
  virtual std::string lacze_portu(int /*n*/) { return {}; }
};

// The driver's own flags of an open port (Linux: serial_struct.flags, read with TIOCGSERIAL
// and written with TIOCSSERIAL). A port that has none (a pseudo-terminal) fails both.
class FlagiSterownika {
 public:
  virtual ~FlagiSterownika() = default;
  virtual bool odczytaj(int fd, std::uint32_t& flagi) = 0;
  virtual bool zapisz(int fd, std::uint32_t flagi) = 0;
};

// Where the POSIX platform looks. The programs take the defaults; tests give folders of
// their own and a fake of the driver flags.
struct UstawieniaPosix {
  std::string katalog_urzadzen = "/dev";            // the device folder
  std::string katalog_klas_tty = "/sys/class/tty";  // <name>/type: the UART type of ttyS ports
  std::shared_ptr<FlagiSterownika> flagi;           // null: the real ioctls
};

// The POSIX termios platform.
std::unique_ptr<PlatformaSzeregowa> utworz_platforme_posix(UstawieniaPosix ustawienia = {});

// The Win32 platform (CreateFileA on \\.\COMn and the Comm calls).
std::unique_ptr<PlatformaSzeregowa> utworz_platforme_win32();

// The platform of the system the program was built for.
std::unique_ptr<PlatformaSzeregowa> utworz_platforme();

// The periodic callback that replaces the original's hidden timer window. The owner
// of the component supplies it: a Qt timer in the GUI, a small loop in the CLI and tests.
// Ticks must run on the owner's thread.
class TimerPollingu {
 public:
  virtual ~TimerPollingu() = default;
  virtual void start(std::uint16_t okres_ms) = 0;  // (re)start with this period
  virtual void stop() = 0;
  // The component installs its tick here; the timer calls it every period while started.
  void ustaw_obsluge(std::function<void()> f) { obsluga_ = std::move(f); }
  void tyknij() {
    if (obsluga_) obsluga_();
  }

 private:
  std::function<void()> obsluga_;
};

}  // namespace ostrel
