// The search for the programmer over the serial component.
#include "protocol/szukanie.h"

namespace ostrel {

namespace {

constexpr std::uint8_t kS = 'S';
constexpr const char* kOdpowiedzS = "AVR ISP";
constexpr std::size_t kDlugoscOdpowiedziS = 7;
constexpr int kNajwyzszyPort = 16;  // COM1..COM16 are the ports the serial layer names

}  // namespace

bool probuj_port(TCommPortDriver& port, int n, std::uint32_t limit_ms,
                 std::vector<NieotwartyPort>& nieotwarte, bool* cisza) {
  if (n >= 1 && n <= 4) port.setComPort(static_cast<TComPortNumber>(pnCOM1 + (n - 1)));
  std::string bufor;
  if (!port.Open()) {
    const std::string nazwa = port.DeviceName().empty()
                                  ? "com" + std::to_string(static_cast<int>(port.ComPort()) + 1)
                                  : port.DeviceName();
    nieotwarte.push_back({nazwa, port.OpenError()});
  }
  port.SendByte(kS);
  const std::uint32_t poczatek = port.Platforma().licznik_ms();
  std::uint8_t b = 0;
  bool cicho = true;
  while (port.ReadByte(b)) {
    if (bufor.size() < kDlugoscOdpowiedziS) bufor.push_back(static_cast<char>(b));
    // A port that chatters without end is judged by what it said first.
    if (port.Platforma().licznik_ms() - poczatek > limit_ms) {
      cicho = false;
      break;
    }
  }
  if (cisza != nullptr) *cisza = cicho;
  port.Close();
  return bufor == kOdpowiedzS;
}

WynikSzukania szukaj_programatora(TCommPortDriver& port, int pierwszy, int ostatni,
                                  TComPortBaudRate predkosc, std::uint32_t limit_ms,
                                  const ZnalezionoPort& znaleziono) {
  WynikSzukania w;
  port.setComPortSpeed(predkosc);
  // The ports by number: a device path of an earlier search must not stand in for them.
  port.setDeviceName({});
  for (int n = pierwszy; n <= ostatni; ++n) {
    if (n < 1 || n > kNajwyzszyPort) continue;
    port.setComPort(static_cast<TComPortNumber>(pnCOM1 + (n - 1)));
    bool cicho = false;
    if (probuj_port(port, n, limit_ms, w.nieotwarte, &cicho)) {
      w.port = n;
      w.cisza = cicho;
      if (znaleziono) znaleziono(n);
    }
  }
  w.znaleziony = w.port != 0;
  if (w.znaleziony) {
    port.setComPort(static_cast<TComPortNumber>(pnCOM1 + (w.port - 1)));
    port.Open();
  }
  return w;
}

WynikSzukania szukaj_na_urzadzeniu(TCommPortDriver& port, const std::string& sciezka,
                                   TComPortBaudRate predkosc, std::uint32_t limit_ms,
                                   const ZnalezionoPort& znaleziono) {
  WynikSzukania w;
  port.setComPortSpeed(predkosc);
  port.setDeviceName(sciezka);
  // A number outside 1..4 probes the port as it is set: here, the device by its path.
  w.znaleziony = probuj_port(port, 0, limit_ms, w.nieotwarte, &w.cisza);
  if (w.znaleziony) {
    if (znaleziono) znaleziono(0);
    port.Open();
  }
  return w;
}

}  // namespace ostrel
