// TCommPortDriver: the serial port component. Owns one port, applies the line
// settings, moves bytes with time-outs measured from the last progress, and while the
// port is open polls the input queue on a periodic tick.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "serial/platforma.h"

namespace ostrel {

enum TComPortNumber : std::uint8_t {
  pnCOM1,
  pnCOM2,
  pnCOM3,
  pnCOM4,
  pnCOM5,
  pnCOM6,
  pnCOM7,
  pnCOM8,
  pnCOM9,
  pnCOM10,
  pnCOM11,
  pnCOM12,
  pnCOM13,
  pnCOM14,
  pnCOM15,
  pnCOM16
};
enum TComPortBaudRate : std::uint8_t {
  br110,
  br300,
  br600,
  br1200,
  br2400,
  br4800,
  br9600,
  br14400,
  br19200,
  br38400,
  br56000,
  br57600,
  br115200
};
enum TComPortDataBits : std::uint8_t { db5BITS, db6BITS, db7BITS, db8BITS };
enum TComPortStopBits : std::uint8_t { sb1BITS, sb1HALFBITS, sb2BITS };
enum TComPortParity : std::uint8_t { ptNONE, ptODD, ptEVEN, ptMARK, ptSPACE };
enum TComPortHwHandshaking : std::uint8_t { hhNONE, hhNONERTSON, hhRTSCTS };
enum TComPortSwHandshaking : std::uint8_t { shNONE, shXONXOFF };
enum TPacketMode : std::uint8_t { pmDiscard, pmPass };

// TModemLines: bit 0 mlCTS, bit 1 mlDSR, bit 2 mlRING, bit 3 mlRLSD.
using TModemLines = std::uint8_t;
inline constexpr TModemLines mlCTS = 1, mlDSR = 2, mlRING = 4, mlRLSD = 8;

class TCommPortDriver;
using TComPortReceiveDataEvent =
    std::function<void(TCommPortDriver* Sender, const void* DataPtr, int DataSize)>;
using TComPortReceivePacketEvent =
    std::function<void(TCommPortDriver* Sender, const void* Packet, int DataSize)>;

std::string GetPlatformName(PlatformaSzeregowa& p);
std::uint32_t GetPlatformVersion(PlatformaSzeregowa& p);
std::uint32_t PacketTime(TComPortBaudRate Speed, int Count);

class TCommPortDriver {
 public:
  // `platforma` defaults to POSIX; `timer` may be null (no polling ticks at all).
  explicit TCommPortDriver(std::unique_ptr<PlatformaSzeregowa> platforma = nullptr,
                           TimerPollingu* timer = nullptr);
  ~TCommPortDriver();
  TCommPortDriver(const TCommPortDriver&) = delete;
  TCommPortDriver& operator=(const TCommPortDriver&) = delete;

  bool Open();
  void Close();
  bool IsOpen() const;
  void ApplySettings();
  void PurgeBuffers(bool Input, bool Output);
  std::int32_t InputCount();
  std::uint16_t OutputFree();
  TModemLines LineStatus();
  void PausePolling();
  void ResumePolling();
  std::int32_t WriteData(const void* Data, std::int32_t Size);
  bool SendByte(std::uint8_t Value);
  std::int32_t ReadData(void* Buffer, std::int32_t Size);
  bool ReadByte(std::uint8_t& Value);

  // The polling tick (what the timer calls).
  void Tick();

  // Properties: getters and setters with the component's write rules.
  TComPortNumber ComPort() const;
  void setComPort(TComPortNumber v);
  TComPortBaudRate ComPortSpeed() const;
  void setComPortSpeed(TComPortBaudRate v);
  TComPortDataBits ComPortDataBits() const;
  void setComPortDataBits(TComPortDataBits v);
  TComPortStopBits ComPortStopBits() const;
  void setComPortStopBits(TComPortStopBits v);
  TComPortParity ComPortParity() const;
  void setComPortParity(TComPortParity v);
  TComPortHwHandshaking ComPortHwHandshaking() const;
  void setComPortHwHandshaking(TComPortHwHandshaking v);
  TComPortSwHandshaking ComPortSwHandshaking() const;
  void setComPortSwHandshaking(TComPortSwHandshaking v);
  std::uint16_t ComPortInBufSize() const;
  void setComPortInBufSize(std::uint16_t v);
  std::uint16_t ComPortOutBufSize() const;
  void setComPortOutBufSize(std::uint16_t v);
  std::int16_t PacketSize() const;
  void setPacketSize(std::int16_t v);
  std::int32_t PacketTimeout() const;
  void setPacketTimeout(std::int32_t v);
  TPacketMode PacketMode() const;
  void setPacketMode(TPacketMode v);
  std::uint16_t ComPortPollingDelay() const;
  void setComPortPollingDelay(std::uint16_t v);
  bool EnableDTROnOpen() const;
  void setEnableDTROnOpen(bool v);
  std::uint16_t OutputTimeout() const;
  void setOutputTimeout(std::uint16_t v);
  std::int32_t InputTimeout() const;
  void setInputTimeout(std::int32_t v);
  bool CheckLineStatus() const;
  void setCheckLineStatus(bool v);
  // The device to open instead of the name formatted from ComPort (a path such as
  // /dev/ttyUSB0); empty: "\\.\COMn". Like ComPort, stored only while closed.
  const std::string& DeviceName() const;
  void setDeviceName(const std::string& v);
  TComPortReceiveDataEvent OnReceiveData;
  TComPortReceivePacketEvent OnReceivePacket;

  // The device went away while the port was open (an adapter unplugged, the other end of
  // a pseudo-terminal closed): a read, write, queue query or tick found it so and the port
  // was closed at once, so callers can tell it from a silent line. Cleared by Open.
  bool DeviceGone() const;
  // The device the port has (or last had) open: DeviceName, or the platform's device
  // behind COMn when it tells it (empty otherwise).
  const std::string& OpenedDevice() const;

  // For tests and diagnostics.
  // Why the last Open failed, as the platform tells it (PowodBledu::brak after success).
  const BladOtwarcia& OpenError() const;
  Uchwyt PortHandle() const;
  std::int32_t PollingPauseCount() const;
  std::int32_t PacketStartTime() const;
  std::size_t ReceiveBufferSize() const;
  PlatformaSzeregowa& Platforma();

 private:
  // Closes the port when the platform says its device has gone; true then.
  bool sprawdz_odlaczenie();

  struct Stan;
  std::unique_ptr<Stan> s_;
};

}  // namespace ostrel
