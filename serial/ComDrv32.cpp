// TCommPortDriver: property rules, the device control block, the timed loops and the
// polling tick. All time arithmetic is done modulo 2^32 on the platform's tick counter.
#include "serial/ComDrv32.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ostrel {

namespace {

// Bits per second by TComPortBaudRate ordinal.
constexpr std::uint32_t kTablicaPredkosci[] = {110,   300,   600,   1200,  2400,  4800,  9600,
                                               14400, 19200, 38400, 56000, 57600, 115200};
constexpr std::size_t kLiczbaPredkosci = sizeof(kTablicaPredkosci) / sizeof(kTablicaPredkosci[0]);

// Modem status bits of the platform and the TModemLines member each one becomes.
struct LiniaModemu {
  std::uint32_t bit_platformy;  // bit reported by linie_modemu()
  TModemLines linia;            // the set member it stands for
};
constexpr LiniaModemu kLinieModemu[] = {
    {0x10, mlCTS},
    {0x20, mlDSR},
    {0x40, mlRING},
    {0x80, mlRLSD},
};

// DCB flag words.
constexpr std::uint32_t kDcbBinary = 0x1;
constexpr std::uint32_t kDcbDtrEnable = 0x10;
constexpr std::uint32_t kDcbRtsEnable = 0x1000;
constexpr std::uint32_t kDcbRtsCtsHandshake = 0x2004;  // fOutxCtsFlow + fRtsControl handshake
constexpr std::uint32_t kDcbXonXoff = 0x300;           // fOutX + fInX

constexpr std::uint16_t kLimitXonNT = 4096;

// The marker of "no partial packet pending".
constexpr std::int32_t kBrakPakietu = -1;

std::uint32_t teraz(PlatformaSzeregowa& p) {
  return p.licznik_ms();
}

// Elapsed ms since `od`, modulo 2^32, widened so it compares sanely with signed limits.
std::int64_t uplynelo(PlatformaSzeregowa& p, std::uint32_t od) {
  return static_cast<std::uint32_t>(teraz(p) - od);
}

// A tick value stored as PacketStartTime. -1 means "none", so the one tick value that
// reads as -1 is moved a millisecond on rather than lost.
std::int32_t jako_znacznik(std::uint32_t t) {
  const auto z = static_cast<std::int32_t>(t);
  return z == kBrakPakietu ? 0 : z;
}

}  // namespace

std::string GetPlatformName(PlatformaSzeregowa& p) {
  WersjaSystemu w;
  if (!p.wersja(w)) return "??";
  switch (w.PlatformId) {
    case 0:
      return "W32S";
    case 1:
      return "W95";
    case 2:
      return "WNT";
    default:
      return {};
  }
}

std::uint32_t GetPlatformVersion(PlatformaSzeregowa& p) {
  WersjaSystemu w;
  if (!p.wersja(w)) return 0;
  return w.MajorVersion * 65536u + w.MinorVersion;
}

std::uint32_t PacketTime(TComPortBaudRate Speed, int Count) {
  const std::size_t i = static_cast<std::size_t>(Speed) % 128;
  const std::uint32_t bps = i < kLiczbaPredkosci - 1 ? kTablicaPredkosci[i] : 115200u;
  // Ten bits per character whatever the format; to nearest, ties to even.
  const long double ms =
      static_cast<long double>(Count) / (static_cast<long double>(bps) * 0.1L) * 1000.0L;
  return static_cast<std::uint32_t>(static_cast<std::int64_t>(std::nearbyintl(ms)));
}

struct TCommPortDriver::Stan {
  std::unique_ptr<PlatformaSzeregowa> platforma;
  TimerPollingu* timer = nullptr;

  Uchwyt PortHandle = 0;
  TComPortNumber ComPort = pnCOM2;
  TComPortBaudRate ComPortSpeed = br9600;
  TComPortDataBits ComPortDataBits = db8BITS;
  TComPortStopBits ComPortStopBits = sb1BITS;
  TComPortParity ComPortParity = ptNONE;
  TComPortHwHandshaking ComPortHwHandshaking = hhNONERTSON;
  TComPortSwHandshaking ComPortSwHandshaking = shNONE;
  std::uint16_t ComPortInBufSize = 2048;
  std::uint16_t ComPortOutBufSize = 2048;
  std::int16_t PacketSize = -1;
  std::int32_t PacketTimeout = -1;
  TPacketMode PacketMode = pmDiscard;
  std::uint16_t ComPortPollingDelay = 50;
  bool EnableDTROnOpen = true;
  std::uint16_t OutputTimeout = 500;
  std::int32_t InputTimeout = 200;
  bool CheckLineStatus = false;
  std::string DeviceName;
  BladOtwarcia BladOtwarcia_;
  bool DeviceGone = false;
  std::string OpenedDevice;

  std::vector<std::uint8_t> ReceiveBuffer;
  std::int32_t PacketStartTime = kBrakPakietu;
  std::int32_t PollingPauseCount = 0;

  // A zero period would make a timer fire as fast as it can; one ms is the least.
  void uruchom_timer() const {
    if (timer) timer->start(std::max<std::uint16_t>(ComPortPollingDelay, 1));
  }
};

TCommPortDriver::TCommPortDriver(std::unique_ptr<PlatformaSzeregowa> platforma,
                                 TimerPollingu* timer)
    : s_(std::make_unique<Stan>()) {
  s_->platforma = platforma ? std::move(platforma) : utworz_platforme();
  s_->timer = timer;
  s_->ReceiveBuffer.assign(s_->ComPortInBufSize, 0);
  if (s_->timer) s_->timer->ustaw_obsluge([this] { Tick(); });
}

TCommPortDriver::~TCommPortDriver() {
  Close();
  if (s_->timer) s_->timer->ustaw_obsluge(nullptr);
}

bool TCommPortDriver::IsOpen() const {
  // A Win32 handle is a pointer: its sign says nothing.
  return s_->PortHandle != 0 && s_->PortHandle != kNieprawidlowyUchwyt;
}

bool TCommPortDriver::Open() {
  if (IsOpen()) return true;
  char nazwa[32];
  std::snprintf(nazwa, sizeof nazwa, "\\\\.\\COM%-d", static_cast<int>(s_->ComPort) + 1);
  s_->PortHandle = s_->platforma->otworz(s_->DeviceName.empty() ? nazwa : s_->DeviceName);
  s_->DeviceGone = false;
  if (!IsOpen()) {
    s_->BladOtwarcia_ = s_->platforma->blad_otwarcia();
    return false;
  }
  // The platform names the device it tried even when the open succeeded.
  s_->OpenedDevice =
      s_->DeviceName.empty() ? s_->platforma->blad_otwarcia().urzadzenie : s_->DeviceName;
  s_->BladOtwarcia_ = {};
  ApplySettings();
  // Every platform read and write returns within about a millisecond; the waiting is
  // done by the component's own loops.
  CzasyPortu czasy;
  czasy.ReadIntervalTimeout = 1;
  czasy.ReadTotalTimeoutMultiplier = 0;
  czasy.ReadTotalTimeoutConstant = 1;
  czasy.WriteTotalTimeoutMultiplier = 0;
  czasy.WriteTotalTimeoutConstant = 1;
  s_->platforma->ustaw_czasy(s_->PortHandle, czasy);
  s_->uruchom_timer();
  return true;
}

void TCommPortDriver::Close() {
  if (!IsOpen()) return;
  if (s_->timer) s_->timer->stop();
  s_->platforma->zamknij(s_->PortHandle);
  s_->PortHandle = 0;
}

bool TCommPortDriver::sprawdz_odlaczenie() {
  if (!IsOpen() || !s_->platforma->odlaczone(s_->PortHandle)) return false;
  // Held open, a gone device keeps its node (a re-plugged adapter would come back under
  // another name) and every later call would wait for its time-out in vain.
  Close();
  s_->DeviceGone = true;
  return true;
}

void TCommPortDriver::ApplySettings() {
  if (!IsOpen()) return;
  Stan& s = *s_;
  BlokDCB dcb;
  dcb.DCBlength = sizeof(BlokDCB);
  dcb.BaudRate = kTablicaPredkosci[std::min<std::size_t>(s.ComPortSpeed, kLiczbaPredkosci - 1)];
  std::uint32_t flagi = kDcbBinary;
  if (s.EnableDTROnOpen) flagi |= kDcbDtrEnable;
  if (s.ComPortSwHandshaking == shXONXOFF) flagi |= kDcbXonXoff;
  switch (s.ComPortHwHandshaking) {
    case hhNONE:
      break;
    case hhNONERTSON:
      flagi |= kDcbRtsEnable;
      break;
    case hhRTSCTS:
      flagi |= kDcbRtsCtsHandshake;
      break;
  }
  dcb.Flags = flagi;
  std::uint16_t limit = s.ComPortInBufSize / 4;
  // The NT family from 4.0 on refuses XON/XOFF limits above 4096.
  if (GetPlatformName(*s.platforma) == "WNT" && GetPlatformVersion(*s.platforma) >= 4u * 65536u)
    limit = std::min(limit, kLimitXonNT);
  dcb.XonLim = limit;
  dcb.XoffLim = limit;
  dcb.ByteSize = static_cast<std::uint8_t>(s.ComPortDataBits + 5);
  dcb.Parity = static_cast<std::uint8_t>(s.ComPortParity);
  dcb.StopBits = static_cast<std::uint8_t>(s.ComPortStopBits);
  dcb.XonChar = 17;
  dcb.XoffChar = 19;
  s.platforma->ustaw_stan(s.PortHandle, dcb);
  PurgeBuffers(true, true);
  s.platforma->ustaw_kolejki(s.PortHandle, s.ComPortInBufSize, s.ComPortOutBufSize);
}

void TCommPortDriver::PurgeBuffers(bool Input, bool Output) {
  if (!IsOpen()) return;
  std::uint32_t maska = 0;
  if (Output) maska |= kPurgeTxAbort | kPurgeTxClear;
  if (Input) maska |= kPurgeRxAbort | kPurgeRxClear;
  s_->platforma->oczysc(s_->PortHandle, maska);
  s_->PacketStartTime = kBrakPakietu;
}

std::int32_t TCommPortDriver::InputCount() {
  if (!IsOpen()) return 65535;
  std::uint32_t we = 0, wy = 0;
  // A failed query (a hung-up line) reads as an empty queue, never as bytes to fetch.
  if (!s_->platforma->stan_kolejek(s_->PortHandle, we, wy,
                                   PlatformaSzeregowa::Czekanie::na_wejscie)) {
    sprawdz_odlaczenie();
    return 0;
  }
  return static_cast<std::int32_t>(std::min<std::uint32_t>(we, 0x7fffffff));
}

std::uint16_t TCommPortDriver::OutputFree() {
  if (!IsOpen()) return 65535;
  std::uint32_t we = 0, wy = 0;
  if (!s_->platforma->stan_kolejek(s_->PortHandle, we, wy,
                                   PlatformaSzeregowa::Czekanie::na_miejsce)) {
    if (sprawdz_odlaczenie()) return 0;
    wy = 0;
  }
  return static_cast<std::uint16_t>(s_->ComPortOutBufSize - static_cast<std::uint16_t>(wy));
}

TModemLines TCommPortDriver::LineStatus() {
  if (!IsOpen()) return 0;
  std::uint32_t bity = 0;
  if (!s_->platforma->linie_modemu(s_->PortHandle, bity)) return 0;
  TModemLines wynik = 0;
  for (const LiniaModemu& l : kLinieModemu)
    if (bity & l.bit_platformy) wynik |= l.linia;
  return wynik;
}

void TCommPortDriver::PausePolling() {
  ++s_->PollingPauseCount;
}
void TCommPortDriver::ResumePolling() {
  --s_->PollingPauseCount;
}

std::int32_t TCommPortDriver::WriteData(const void* Data, std::int32_t Size) {
  if (!IsOpen() || Data == nullptr) return 0;
  PlatformaSzeregowa& p = *s_->platforma;
  const auto* wsk = static_cast<const std::uint8_t*>(Data);
  const std::int64_t limit = s_->OutputTimeout;
  std::int32_t zapisane = 0;
  std::uint32_t ostatni_postep = teraz(p);
  while (Size > 0) {
    const std::uint16_t wolne = OutputFree();
    if (!IsOpen()) break;
    if (wolne != 0) {
      if (s_->CheckLineStatus && LineStatus() == 0) break;
      const auto n = static_cast<std::uint32_t>(std::min<std::int32_t>(Size, wolne));
      std::uint32_t poszlo = 0;
      if (!p.pisz(s_->PortHandle, wsk, n, poszlo) && sprawdz_odlaczenie()) break;
      poszlo = std::min(poszlo, n);
      if (poszlo > 0) {
        zapisane += static_cast<std::int32_t>(poszlo);
        wsk += poszlo;
        Size -= static_cast<std::int32_t>(poszlo);
        ostatni_postep = teraz(p);
        continue;
      }
    }
    if (uplynelo(p, ostatni_postep) > limit) break;
  }
  return zapisane;
}

bool TCommPortDriver::SendByte(std::uint8_t Value) {
  return WriteData(&Value, 1) == 1;
}

std::int32_t TCommPortDriver::ReadData(void* Buffer, std::int32_t Size) {
  if (!IsOpen() || Buffer == nullptr) return 0;
  PlatformaSzeregowa& p = *s_->platforma;
  auto* wsk = static_cast<std::uint8_t*>(Buffer);
  const std::int64_t limit = s_->InputTimeout;
  PausePolling();
  std::int32_t przeczytane = 0;
  std::uint32_t ostatni_bajt = teraz(p);
  while (Size > 0) {
    const std::int32_t czeka = InputCount();
    if (!IsOpen()) break;
    if (czeka > 0) {
      const auto n = static_cast<std::uint32_t>(std::min(Size, czeka));
      std::uint32_t przyszlo = 0;
      if (!p.czytaj(s_->PortHandle, wsk, n, przyszlo) && sprawdz_odlaczenie()) break;
      przyszlo = std::min(przyszlo, n);
      // Only bytes actually moved restart the time-out: a line that reports data it
      // cannot deliver (hung up) must still time out.
      if (przyszlo > 0) {
        przeczytane += static_cast<std::int32_t>(przyszlo);
        wsk += przyszlo;
        Size -= static_cast<std::int32_t>(przyszlo);
        ostatni_bajt = teraz(p);
        continue;
      }
    }
    if (uplynelo(p, ostatni_bajt) > limit) break;
  }
  ResumePolling();
  return przeczytane;
}

bool TCommPortDriver::ReadByte(std::uint8_t& Value) {
  std::uint8_t bajt = 0;
  if (ReadData(&bajt, 1) != 1) return false;
  Value = bajt;
  return true;
}

void TCommPortDriver::Tick() {
  if (!IsOpen()) return;
  Stan& s = *s_;
  if (s.PollingPauseCount > 0) return;
  PlatformaSzeregowa& p = *s.platforma;
  std::uint32_t we = 0, wy = 0;
  if (!p.stan_kolejek(s.PortHandle, we, wy, PlatformaSzeregowa::Czekanie::brak)) {
    if (sprawdz_odlaczenie()) return;
    we = 0;
  }
  std::int64_t czeka = we;
  // Never more than the receive buffer holds; the rest waits for the next tick.
  const auto pojemnosc = static_cast<std::int64_t>(s.ReceiveBuffer.size());

  if (s.PacketSize <= 0) {
    const auto n = static_cast<std::uint32_t>(std::min(czeka, pojemnosc));
    if (n == 0) return;
    std::uint32_t przyszlo = 0;
    if (!p.czytaj(s.PortHandle, s.ReceiveBuffer.data(), n, przyszlo)) {
      sprawdz_odlaczenie();
      return;
    }
    if (przyszlo > 0 && OnReceiveData)
      OnReceiveData(this, s.ReceiveBuffer.data(), static_cast<int>(std::min(przyszlo, n)));
    return;
  }

  if (s.PacketSize <= czeka) {
    // Whole packets found with no partial one recorded: advancing -1 would date the
    // leftover bytes to a moment long past and time them out at the next tick. They are
    // seen for the first time now, so their time-out counts from now.
    const bool bez_poczatku = s.PacketStartTime == kBrakPakietu;
    // A handler may close the port or change the packet size; re-check before each packet.
    while (IsOpen() && s.PacketSize > 0 && s.PacketSize <= czeka && s.PacketSize <= pojemnosc) {
      const auto rozmiar = static_cast<std::uint32_t>(s.PacketSize);
      const auto pakiet_ms = PacketTime(s.ComPortSpeed, s.PacketSize);
      std::uint32_t przyszlo = 0;
      if (p.czytaj(s.PortHandle, s.ReceiveBuffer.data(), rozmiar, przyszlo) && przyszlo > 0 &&
          OnReceivePacket)
        OnReceivePacket(this, s.ReceiveBuffer.data(),
                        static_cast<int>(std::min(przyszlo, rozmiar)));
      s.PacketStartTime = jako_znacznik(static_cast<std::uint32_t>(s.PacketStartTime) + pakiet_ms);
      czeka -= rozmiar;
      if (czeka == 0) s.PacketStartTime = kBrakPakietu;
    }
    if (bez_poczatku && czeka > 0) s.PacketStartTime = jako_znacznik(teraz(p));
    return;
  }

  // Advanced by whole packets, the start may lie a little ahead of now; a signed
  // difference reads that as "not yet" rather than as a wrapped, huge elapsed time.
  if (s.PacketTimeout > 0 && s.PacketStartTime != kBrakPakietu &&
      static_cast<std::int32_t>(teraz(p) - static_cast<std::uint32_t>(s.PacketStartTime)) >
          s.PacketTimeout) {
    const auto n = static_cast<std::uint32_t>(std::min(czeka, pojemnosc));
    std::uint32_t przyszlo = 0;
    const bool ok = n == 0 || p.czytaj(s.PortHandle, s.ReceiveBuffer.data(), n, przyszlo);
    if (ok && s.PacketMode == pmPass && przyszlo > 0 && OnReceivePacket)
      OnReceivePacket(this, s.ReceiveBuffer.data(), static_cast<int>(std::min(przyszlo, n)));
    s.PacketStartTime = kBrakPakietu;
    return;
  }
  if (czeka > 0 && s.PacketStartTime == kBrakPakietu) s.PacketStartTime = jako_znacznik(teraz(p));
}

// Properties.

TComPortNumber TCommPortDriver::ComPort() const {
  return s_->ComPort;
}
void TCommPortDriver::setComPort(TComPortNumber v) {
  if (!IsOpen()) s_->ComPort = v;
}

TComPortBaudRate TCommPortDriver::ComPortSpeed() const {
  return s_->ComPortSpeed;
}
void TCommPortDriver::setComPortSpeed(TComPortBaudRate v) {
  s_->ComPortSpeed = v;
  ApplySettings();
}

TComPortDataBits TCommPortDriver::ComPortDataBits() const {
  return s_->ComPortDataBits;
}
void TCommPortDriver::setComPortDataBits(TComPortDataBits v) {
  s_->ComPortDataBits = v;
  ApplySettings();
}

TComPortStopBits TCommPortDriver::ComPortStopBits() const {
  return s_->ComPortStopBits;
}
void TCommPortDriver::setComPortStopBits(TComPortStopBits v) {
  s_->ComPortStopBits = v;
  ApplySettings();
}

TComPortParity TCommPortDriver::ComPortParity() const {
  return s_->ComPortParity;
}
void TCommPortDriver::setComPortParity(TComPortParity v) {
  s_->ComPortParity = v;
  ApplySettings();
}

TComPortHwHandshaking TCommPortDriver::ComPortHwHandshaking() const {
  return s_->ComPortHwHandshaking;
}
void TCommPortDriver::setComPortHwHandshaking(TComPortHwHandshaking v) {
  s_->ComPortHwHandshaking = v;
  ApplySettings();
}

TComPortSwHandshaking TCommPortDriver::ComPortSwHandshaking() const {
  return s_->ComPortSwHandshaking;
}
void TCommPortDriver::setComPortSwHandshaking(TComPortSwHandshaking v) {
  s_->ComPortSwHandshaking = v;
  ApplySettings();
}

std::uint16_t TCommPortDriver::ComPortInBufSize() const {
  return s_->ComPortInBufSize;
}
void TCommPortDriver::setComPortInBufSize(std::uint16_t v) {
  if (IsOpen()) return;
  s_->ReceiveBuffer.clear();
  s_->ReceiveBuffer.shrink_to_fit();
  s_->ComPortInBufSize = v;
  s_->ReceiveBuffer.assign(v, 0);
  setPacketSize(s_->PacketSize);
}

std::uint16_t TCommPortDriver::ComPortOutBufSize() const {
  return s_->ComPortOutBufSize;
}
void TCommPortDriver::setComPortOutBufSize(std::uint16_t v) {
  if (!IsOpen()) s_->ComPortOutBufSize = v;
}

std::int16_t TCommPortDriver::PacketSize() const {
  return s_->PacketSize;
}
void TCommPortDriver::setPacketSize(std::int16_t v) {
  if (v < 1) v = -1;
  if (v > s_->ComPortInBufSize) {
    // The input size cannot grow while the port is open; a packet larger than the
    // receive buffer would overrun it, so such a write is refused then.
    if (IsOpen()) return;
    setComPortInBufSize(static_cast<std::uint16_t>(v * 2));
  }
  s_->PacketSize = v;
}

std::int32_t TCommPortDriver::PacketTimeout() const {
  return s_->PacketTimeout;
}
void TCommPortDriver::setPacketTimeout(std::int32_t v) {
  if (v < 1)
    v = -1;
  else if (v < s_->ComPortPollingDelay)
    v = s_->ComPortPollingDelay + 150;
  s_->PacketTimeout = v;
}

TPacketMode TCommPortDriver::PacketMode() const {
  return s_->PacketMode;
}
void TCommPortDriver::setPacketMode(TPacketMode v) {
  s_->PacketMode = v;
}

std::uint16_t TCommPortDriver::ComPortPollingDelay() const {
  return s_->ComPortPollingDelay;
}
void TCommPortDriver::setComPortPollingDelay(std::uint16_t v) {
  if (v == s_->ComPortPollingDelay) return;
  if (IsOpen()) {
    if (s_->timer) s_->timer->stop();
    s_->ComPortPollingDelay = v;
    s_->uruchom_timer();
  } else {
    s_->ComPortPollingDelay = v;
  }
  setPacketTimeout(s_->PacketTimeout);
}

bool TCommPortDriver::EnableDTROnOpen() const {
  return s_->EnableDTROnOpen;
}
void TCommPortDriver::setEnableDTROnOpen(bool v) {
  s_->EnableDTROnOpen = v;
}

std::uint16_t TCommPortDriver::OutputTimeout() const {
  return s_->OutputTimeout;
}
void TCommPortDriver::setOutputTimeout(std::uint16_t v) {
  s_->OutputTimeout = v;
}

std::int32_t TCommPortDriver::InputTimeout() const {
  return s_->InputTimeout;
}
void TCommPortDriver::setInputTimeout(std::int32_t v) {
  s_->InputTimeout = v;
}

bool TCommPortDriver::CheckLineStatus() const {
  return s_->CheckLineStatus;
}
void TCommPortDriver::setCheckLineStatus(bool v) {
  s_->CheckLineStatus = v;
}

const std::string& TCommPortDriver::DeviceName() const {
  return s_->DeviceName;
}
void TCommPortDriver::setDeviceName(const std::string& v) {
  if (!IsOpen()) s_->DeviceName = v;
}

bool TCommPortDriver::DeviceGone() const {
  return s_->DeviceGone;
}
const std::string& TCommPortDriver::OpenedDevice() const {
  return s_->OpenedDevice;
}

const BladOtwarcia& TCommPortDriver::OpenError() const {
  return s_->BladOtwarcia_;
}
Uchwyt TCommPortDriver::PortHandle() const {
  return s_->PortHandle;
}
std::int32_t TCommPortDriver::PollingPauseCount() const {
  return s_->PollingPauseCount;
}
std::int32_t TCommPortDriver::PacketStartTime() const {
  return s_->PacketStartTime;
}
std::size_t TCommPortDriver::ReceiveBufferSize() const {
  return s_->ReceiveBuffer.size();
}
PlatformaSzeregowa& TCommPortDriver::Platforma() {
  return *s_->platforma;
}

}  // namespace ostrel
