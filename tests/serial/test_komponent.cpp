// The component against the scripted platform: property rules, the control block,
// time-outs, the polling tick and packet mode, all on a clock the test controls.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <limits>
#include <memory>
#include <numeric>
#include <vector>

#include "serial/ComDrv32.h"
#include "serial/platforma_testowa.h"
#include "serial/timer_reczny.h"

namespace ostrel {
namespace {

using Bajty = std::vector<std::uint8_t>;

class Komponent : public ::testing::Test {
 protected:
  Komponent() {
    auto pl = std::make_unique<PlatformaTestowa>();
    p = pl.get();
    p->zegar = 1000;
    port = std::make_unique<TCommPortDriver>(std::move(pl), &timer);
  }

  // Collects every event as (kind, bytes).
  void zbieraj() {
    port->OnReceiveData = [this](TCommPortDriver* s, const void* d, int n) {
      EXPECT_EQ(s, port.get());
      auto* b = static_cast<const std::uint8_t*>(d);
      dane.emplace_back(b, b + n);
    };
    port->OnReceivePacket = [this](TCommPortDriver* s, const void* d, int n) {
      EXPECT_EQ(s, port.get());
      auto* b = static_cast<const std::uint8_t*>(d);
      pakiety.emplace_back(b, b + n);
    };
  }

  static Bajty kolejne(int n, std::uint8_t od = 0) {
    Bajty b(static_cast<std::size_t>(n));
    std::iota(b.begin(), b.end(), od);
    return b;
  }

  PlatformaTestowa* p = nullptr;
  TimerReczny timer{[this] { return p->zegar; }};
  std::unique_ptr<TCommPortDriver> port;
  std::vector<Bajty> dane, pakiety;
};

TEST_F(Komponent, DefaultsAfterConstruction) {
  EXPECT_EQ(port->ComPort(), pnCOM2);
  EXPECT_EQ(port->ComPortSpeed(), br9600);
  EXPECT_EQ(port->ComPortDataBits(), db8BITS);
  EXPECT_EQ(port->ComPortStopBits(), sb1BITS);
  EXPECT_EQ(port->ComPortParity(), ptNONE);
  EXPECT_EQ(port->ComPortHwHandshaking(), hhNONERTSON);
  EXPECT_EQ(port->ComPortSwHandshaking(), shNONE);
  EXPECT_EQ(port->ComPortInBufSize(), 2048);
  EXPECT_EQ(port->ComPortOutBufSize(), 2048);
  EXPECT_EQ(port->PacketSize(), -1);
  EXPECT_EQ(port->PacketTimeout(), -1);
  EXPECT_EQ(port->PacketMode(), pmDiscard);
  EXPECT_EQ(port->ComPortPollingDelay(), 50);
  EXPECT_TRUE(port->EnableDTROnOpen());
  EXPECT_EQ(port->OutputTimeout(), 500);
  EXPECT_EQ(port->InputTimeout(), 200);
  EXPECT_FALSE(port->CheckLineStatus());
  EXPECT_FALSE(port->OnReceiveData);
  EXPECT_FALSE(port->OnReceivePacket);
  EXPECT_EQ(port->PortHandle(), 0);
  EXPECT_FALSE(port->IsOpen());
  EXPECT_EQ(port->PacketStartTime(), -1);
  EXPECT_EQ(port->PollingPauseCount(), 0);
  EXPECT_EQ(port->ReceiveBufferSize(), 2048u);
  EXPECT_FALSE(timer.aktywny());
}

TEST_F(Komponent, ClosedPortResultsTouchNothing) {
  p->wejscie_teraz({1, 2, 3});
  std::uint8_t v = 0xAB;
  std::uint8_t bufor[4] = {};
  EXPECT_EQ(port->InputCount(), 65535);
  EXPECT_EQ(port->OutputFree(), 65535);
  EXPECT_EQ(port->LineStatus(), 0);
  EXPECT_EQ(port->WriteData("ab", 2), 0);
  EXPECT_FALSE(port->SendByte(7));
  EXPECT_EQ(port->ReadData(bufor, 4), 0);
  EXPECT_FALSE(port->ReadByte(v));
  EXPECT_EQ(v, 0xAB);
  port->Close();
  port->ApplySettings();
  port->PurgeBuffers(true, true);
  port->setComPortSpeed(br19200);
  port->Tick();
  EXPECT_EQ(p->kolejka_we.size(), 3u);
  EXPECT_TRUE(p->wyjscie.empty());
  EXPECT_TRUE(p->stany.empty());
  EXPECT_TRUE(p->czyszczenia.empty());
  EXPECT_EQ(p->zamkniecia, 0);
  EXPECT_EQ(p->zapytania_kolejek, 0);
  EXPECT_EQ(p->zegar, 1000u);
}

TEST_F(Komponent, OpenAppliesSettingsTimeoutsAndStartsTimer) {
  port->setComPort(pnCOM3);
  ASSERT_TRUE(port->Open());
  EXPECT_TRUE(port->IsOpen());
  EXPECT_EQ(port->PortHandle(), 7);
  ASSERT_EQ(p->nazwy_otwarc.size(), 1u);
  EXPECT_EQ(p->nazwy_otwarc[0], "\\\\.\\COM3");
  EXPECT_EQ(p->stany.size(), 1u);
  EXPECT_EQ(p->czyszczenia, std::vector<std::uint32_t>{0xF});
  ASSERT_EQ(p->kolejki.size(), 1u);
  EXPECT_EQ(p->kolejki[0], std::make_pair(2048u, 2048u));
  ASSERT_EQ(p->czasy.size(), 1u);
  EXPECT_EQ(p->czasy[0].ReadIntervalTimeout, 1u);
  EXPECT_EQ(p->czasy[0].ReadTotalTimeoutMultiplier, 0u);
  EXPECT_EQ(p->czasy[0].ReadTotalTimeoutConstant, 1u);
  EXPECT_EQ(p->czasy[0].WriteTotalTimeoutMultiplier, 0u);
  EXPECT_EQ(p->czasy[0].WriteTotalTimeoutConstant, 1u);
  EXPECT_TRUE(timer.aktywny());
  EXPECT_EQ(timer.okres(), 50);

  // Opening again changes nothing: no second open, no settings, no timer restart.
  EXPECT_TRUE(port->Open());
  EXPECT_EQ(p->nazwy_otwarc.size(), 1u);
  EXPECT_EQ(p->stany.size(), 1u);
  EXPECT_EQ(timer.liczba_startow(), 1);

  port->PausePolling();
  port->Close();
  EXPECT_FALSE(port->IsOpen());
  EXPECT_EQ(port->PortHandle(), 0);
  EXPECT_EQ(p->zamkniecia, 1);
  EXPECT_FALSE(timer.aktywny());
  EXPECT_EQ(port->PollingPauseCount(), 1);  // Close leaves the pause count alone
  port->Close();
  EXPECT_EQ(p->zamkniecia, 1);
}

TEST_F(Komponent, DeviceNamesForEveryPort) {
  for (int n = pnCOM1; n <= pnCOM16; ++n) {
    port->setComPort(static_cast<TComPortNumber>(n));
    ASSERT_TRUE(port->Open());
    port->Close();
    EXPECT_EQ(p->nazwy_otwarc.back(), "\\\\.\\COM" + std::to_string(n + 1));
  }
}

TEST_F(Komponent, FailedOpenLeavesInvalidHandleAndNoTimer) {
  p->otwarcie_udane = false;
  EXPECT_FALSE(port->Open());
  EXPECT_FALSE(port->IsOpen());
  EXPECT_EQ(port->PortHandle(), kNieprawidlowyUchwyt);
  EXPECT_FALSE(timer.aktywny());
  EXPECT_TRUE(p->stany.empty());
  EXPECT_TRUE(p->czasy.empty());
  EXPECT_EQ(port->InputCount(), 65535);
}

// A Win32 HANDLE is a pointer: one with the top bit set is as open as any other.
TEST_F(Komponent, AnyHandleButZeroAndInvalidIsOpen) {
  for (Uchwyt h : {Uchwyt{-8}, std::numeric_limits<Uchwyt>::min(), Uchwyt{0x7FFF0000}}) {
    p->uchwyt = h;
    ASSERT_TRUE(port->Open());
    EXPECT_TRUE(port->IsOpen());
    EXPECT_EQ(port->PortHandle(), h);
    EXPECT_EQ(p->stany.size(), 1u);  // the settings went to that handle
    port->Close();
    EXPECT_FALSE(port->IsOpen());
    p->stany.clear();
  }
}

TEST_F(Komponent, PacketTimeoutRule) {
  port->setPacketTimeout(49);
  EXPECT_EQ(port->PacketTimeout(), 200);
  port->setPacketTimeout(50);
  EXPECT_EQ(port->PacketTimeout(), 50);
  port->setPacketTimeout(0);
  EXPECT_EQ(port->PacketTimeout(), -1);
  port->setPacketTimeout(-7);
  EXPECT_EQ(port->PacketTimeout(), -1);
  port->setPacketTimeout(100000);
  EXPECT_EQ(port->PacketTimeout(), 100000);
}

TEST_F(Komponent, PacketSizeRuleGrowsInputSizeAndBuffer) {
  port->setPacketSize(3000);
  EXPECT_EQ(port->PacketSize(), 3000);
  EXPECT_EQ(port->ComPortInBufSize(), 6000);
  EXPECT_EQ(port->ReceiveBufferSize(), 6000u);
  port->setPacketSize(6000);  // not above the size: nothing grows
  EXPECT_EQ(port->ComPortInBufSize(), 6000);
  port->setPacketSize(0);
  EXPECT_EQ(port->PacketSize(), -1);
  port->setPacketSize(-100);
  EXPECT_EQ(port->PacketSize(), -1);
  port->setPacketSize(32767);
  EXPECT_EQ(port->ComPortInBufSize(), 65534);
  EXPECT_EQ(port->ReceiveBufferSize(), 65534u);
}

TEST_F(Komponent, InBufSizeKeepsBufferInStepAndReappliesPacketRule) {
  port->setPacketSize(80);
  port->setComPortInBufSize(100);
  EXPECT_EQ(port->ComPortInBufSize(), 100);
  EXPECT_EQ(port->ReceiveBufferSize(), 100u);
  port->setComPortInBufSize(50);  // smaller than the packet: the packet rule doubles it
  EXPECT_EQ(port->ComPortInBufSize(), 160);
  EXPECT_EQ(port->ReceiveBufferSize(), 160u);
  EXPECT_EQ(port->PacketSize(), 80);
}

TEST_F(Komponent, PortAndQueueSizesIgnoredWhileOpen) {
  ASSERT_TRUE(port->Open());
  port->setComPort(pnCOM9);
  port->setComPortInBufSize(100);
  port->setComPortOutBufSize(100);
  EXPECT_EQ(port->ComPort(), pnCOM2);
  EXPECT_EQ(port->ComPortInBufSize(), 2048);
  EXPECT_EQ(port->ComPortOutBufSize(), 2048);
  EXPECT_EQ(port->ReceiveBufferSize(), 2048u);
  port->Close();
  port->setComPort(pnCOM9);
  EXPECT_EQ(port->ComPort(), pnCOM9);
}

TEST_F(Komponent, PacketLargerThanBufferRefusedWhileOpen) {
  // The input size cannot grow while open, so such a packet would overrun the buffer.
  ASSERT_TRUE(port->Open());
  port->setPacketSize(100);
  EXPECT_EQ(port->PacketSize(), 100);
  port->setPacketSize(3000);
  EXPECT_EQ(port->PacketSize(), 100);
  EXPECT_EQ(port->ComPortInBufSize(), 2048);
  EXPECT_EQ(port->ReceiveBufferSize(), 2048u);
  p->wejscie_teraz(kolejne(250));
  zbieraj();
  port->Tick();
  EXPECT_EQ(pakiety.size(), 2u);
}

TEST_F(Komponent, PollingDelayRestartsTimerAndReappliesTimeoutRule) {
  port->setPacketTimeout(60);
  ASSERT_TRUE(port->Open());
  EXPECT_EQ(timer.liczba_startow(), 1);
  port->setComPortPollingDelay(50);  // same value: nothing at all
  EXPECT_EQ(timer.liczba_startow(), 1);
  EXPECT_EQ(port->PacketTimeout(), 60);
  port->setComPortPollingDelay(100);
  EXPECT_EQ(timer.liczba_startow(), 2);
  EXPECT_EQ(timer.okres(), 100);
  EXPECT_TRUE(timer.aktywny());
  EXPECT_EQ(port->PacketTimeout(), 250);
  port->Close();
  port->setComPortPollingDelay(20);
  EXPECT_FALSE(timer.aktywny());
  EXPECT_EQ(timer.liczba_startow(), 2);
  EXPECT_EQ(port->ComPortPollingDelay(), 20);
}

TEST_F(Komponent, ZeroPollingDelayNeverGivesTheTimerAZeroPeriod) {
  port->setComPortPollingDelay(0);
  ASSERT_TRUE(port->Open());
  EXPECT_EQ(port->ComPortPollingDelay(), 0);
  EXPECT_EQ(timer.okres(), 1);
}

TEST_F(Komponent, LineSettingsWhileOpenReapplyAndPurge) {
  ASSERT_TRUE(port->Open());
  p->wejscie_teraz({1, 2, 3});
  port->setComPortSpeed(br19200);
  EXPECT_EQ(p->stany.size(), 2u);
  EXPECT_EQ(p->stany.back().BaudRate, 19200u);
  EXPECT_EQ(p->czyszczenia.back(), 0xFu);
  EXPECT_EQ(p->kolejki.size(), 2u);
  EXPECT_TRUE(p->kolejka_we.empty());
  port->setComPortDataBits(db7BITS);
  port->setComPortStopBits(sb2BITS);
  port->setComPortParity(ptODD);
  port->setComPortHwHandshaking(hhRTSCTS);
  port->setComPortSwHandshaking(shXONXOFF);
  EXPECT_EQ(p->stany.size(), 7u);
  // Plain stores: no control block until the next apply.
  port->setEnableDTROnOpen(false);
  port->setOutputTimeout(10);
  port->setInputTimeout(10);
  port->setCheckLineStatus(true);
  port->setPacketMode(pmPass);
  EXPECT_EQ(p->stany.size(), 7u);
  EXPECT_EQ(p->stany.back().Flags & 0x30u, 0x10u);
  port->ApplySettings();
  EXPECT_EQ(p->stany.back().Flags & 0x30u, 0u);
}

TEST_F(Komponent, ControlBlockDefaults) {
  ASSERT_TRUE(port->Open());
  const BlokDCB& d = p->stany.back();
  EXPECT_EQ(d.DCBlength, 28u);
  EXPECT_EQ(d.BaudRate, 9600u);
  EXPECT_EQ(d.Flags, 0x1011u);
  EXPECT_EQ(d.wReserved, 0);
  EXPECT_EQ(d.XonLim, 512);
  EXPECT_EQ(d.XoffLim, 512);
  EXPECT_EQ(d.ByteSize, 8);
  EXPECT_EQ(d.Parity, 0);
  EXPECT_EQ(d.StopBits, 0);
  EXPECT_EQ(d.XonChar, 17);
  EXPECT_EQ(d.XoffChar, 19);
  EXPECT_EQ(d.ErrorChar, 0);
  EXPECT_EQ(d.EofChar, 0);
  EXPECT_EQ(d.EvtChar, 0);
  EXPECT_EQ(d.wReserved1, 0);
}

TEST_F(Komponent, ControlBlockForOtherSettings) {
  port->setComPortSpeed(br19200);
  port->setComPortDataBits(db7BITS);
  port->setComPortParity(ptEVEN);
  port->setComPortStopBits(sb2BITS);
  port->setComPortHwHandshaking(hhRTSCTS);
  port->setComPortSwHandshaking(shXONXOFF);
  port->setEnableDTROnOpen(false);
  ASSERT_TRUE(port->Open());
  BlokDCB d = p->stany.back();
  EXPECT_EQ(d.BaudRate, 19200u);
  EXPECT_EQ(d.Flags, 0x2305u);
  EXPECT_EQ(d.ByteSize, 7);
  EXPECT_EQ(d.Parity, 2);
  EXPECT_EQ(d.StopBits, 2);

  port->setComPortHwHandshaking(hhNONE);
  port->setComPortSwHandshaking(shNONE);
  port->setEnableDTROnOpen(true);
  port->setComPortDataBits(db5BITS);
  port->setComPortParity(ptSPACE);
  port->setComPortStopBits(sb1HALFBITS);
  d = p->stany.back();
  EXPECT_EQ(d.Flags, 0x11u);
  EXPECT_EQ(d.ByteSize, 5);
  EXPECT_EQ(d.Parity, 4);
  EXPECT_EQ(d.StopBits, 1);
  port->setComPortParity(ptMARK);
  EXPECT_EQ(p->stany.back().Parity, 3);

  const std::uint32_t tablica[] = {110,   300,   600,   1200,  2400,  4800,  9600,
                                   14400, 19200, 38400, 56000, 57600, 115200};
  for (int i = br110; i <= br115200; ++i) {
    port->setComPortSpeed(static_cast<TComPortBaudRate>(i));
    EXPECT_EQ(p->stany.back().BaudRate, tablica[i]) << i;
  }
}

struct PrzypadekLimitu {
  std::uint16_t we;          // ComPortInBufSize
  WersjaSystemu wersja;      // what the platform answers
  bool wersja_ok;            // whether it answers at all
  std::uint16_t oczekiwany;  // XonLim and XoffLim
};

TEST_F(Komponent, XonXoffLimitCappedOnlyOnNt4AndLater) {
  const PrzypadekLimitu przypadki[] = {
      {20000, {2, 4, 0}, true, 4096},  {20000, {2, 10, 0}, true, 4096},
      {20000, {1, 4, 10}, true, 5000}, {20000, {2, 3, 51}, true, 5000},
      {20000, {0, 3, 10}, true, 5000}, {20000, {2, 4, 0}, false, 5000},
      {16388, {2, 4, 0}, true, 4096},  {16388, {1, 4, 0}, true, 4097},
      {2048, {2, 4, 0}, true, 512},    {2048, {1, 4, 0}, true, 512},
  };
  for (const PrzypadekLimitu& c : przypadki) {
    p->wersja_systemu = c.wersja;
    p->wersja_ok = c.wersja_ok;
    port->setComPortInBufSize(c.we);
    ASSERT_TRUE(port->Open());
    EXPECT_EQ(p->stany.back().XonLim, c.oczekiwany) << c.we << " id " << c.wersja.PlatformId;
    EXPECT_EQ(p->stany.back().XoffLim, c.oczekiwany);
    EXPECT_EQ(p->kolejki.back().first, c.we);
    port->Close();
  }
}

TEST(Platforma, NameVersionAndPacketTime) {
  PlatformaTestowa p;
  const char* nazwy[] = {"W32S", "W95", "WNT", ""};
  for (std::uint32_t id = 0; id < 4; ++id) {
    p.wersja_systemu = {id, 4, 10};
    EXPECT_EQ(GetPlatformName(p), nazwy[id]);
    EXPECT_EQ(GetPlatformVersion(p), 4u * 65536u + 10u);
  }
  p.wersja_ok = false;
  EXPECT_EQ(GetPlatformName(p), "??");
  EXPECT_EQ(GetPlatformVersion(p), 0u);

  EXPECT_EQ(PacketTime(br19200, 1), 1u);
  EXPECT_EQ(PacketTime(br19200, 10), 5u);
  EXPECT_EQ(PacketTime(br2400, 3), 12u);  // exactly 12.5 ms: ties go to the even 12
  EXPECT_EQ(PacketTime(br2400, 9), 38u);  // 37.5 ms: to the even 38
  EXPECT_EQ(PacketTime(br110, 1), 91u);
  EXPECT_EQ(PacketTime(br9600, 1000), 1042u);
  EXPECT_EQ(PacketTime(br56000, 56), 10u);
  EXPECT_EQ(PacketTime(br115200, 1152), 100u);
  // Ordinals beyond the table read as 115200, after reduction modulo 128.
  EXPECT_EQ(PacketTime(static_cast<TComPortBaudRate>(13), 1152), 100u);
  EXPECT_EQ(PacketTime(static_cast<TComPortBaudRate>(128 + 8), 10), 5u);
}

TEST_F(Komponent, QueueCountsLinesAndPurgeMasks) {
  ASSERT_TRUE(port->Open());
  p->wejscie_teraz({1, 2, 3});
  EXPECT_EQ(port->InputCount(), 3);
  p->kolejka_wy = 48;
  EXPECT_EQ(port->OutputFree(), 2000);
  p->kolejka_wy = 3000;  // more than the requested size: 16-bit arithmetic
  EXPECT_EQ(port->OutputFree(), static_cast<std::uint16_t>(2048 - 3000));
  p->bity_modemu = 0x10;
  EXPECT_EQ(port->LineStatus(), mlCTS);
  p->bity_modemu = 0xA0;
  EXPECT_EQ(port->LineStatus(), mlDSR | mlRLSD);
  p->bity_modemu = 0xFF;
  EXPECT_EQ(port->LineStatus(), mlCTS | mlDSR | mlRING | mlRLSD);
  p->modem_ok = false;
  EXPECT_EQ(port->LineStatus(), 0);

  p->czyszczenia.clear();
  port->setPacketSize(10);
  p->wejscie_teraz({4});
  port->Tick();
  EXPECT_NE(port->PacketStartTime(), -1);
  port->PurgeBuffers(false, true);
  EXPECT_EQ(port->PacketStartTime(), -1);
  port->PurgeBuffers(true, false);
  port->PurgeBuffers(true, true);
  port->PurgeBuffers(false, false);
  EXPECT_EQ(p->czyszczenia, (std::vector<std::uint32_t>{0x5, 0xA, 0xF, 0x0}));
}

TEST_F(Komponent, ReadTimesOutStrictlyAfterTheLimit) {
  port->setInputTimeout(50);
  ASSERT_TRUE(port->Open());
  std::uint8_t v = 0xAB;
  EXPECT_FALSE(port->ReadByte(v));
  EXPECT_EQ(v, 0xAB);
  // Gives up at the first check at which more than 50 ms have passed.
  EXPECT_EQ(p->zegar, 1051u);
  EXPECT_EQ(port->PollingPauseCount(), 0);

  // A byte arriving with exactly 50 ms gone, or at the 51st, still counts...
  p->dodaj_wejscie(p->zegar + 51, {0x42});
  EXPECT_TRUE(port->ReadByte(v));
  EXPECT_EQ(v, 0x42);
  // ...one at the 52nd does not, and stays queued.
  const std::uint32_t t0 = p->zegar;
  p->dodaj_wejscie(t0 + 52, {0x43});
  EXPECT_FALSE(port->ReadByte(v));
  EXPECT_EQ(p->zegar, t0 + 51);
  EXPECT_EQ(v, 0x42);
  EXPECT_TRUE(port->ReadByte(v));
  EXPECT_EQ(v, 0x43);
}

TEST_F(Komponent, ReadTimeoutRunsFromTheLastByte) {
  port->setInputTimeout(50);
  ASSERT_TRUE(port->Open());
  const std::uint32_t t0 = p->zegar;
  p->dodaj_wejscie(t0 + 40, {1});
  p->dodaj_wejscie(t0 + 85, {2, 3});
  p->dodaj_wejscie(t0 + 130, {4});
  std::uint8_t bufor[8] = {};
  EXPECT_EQ(port->ReadData(bufor, 8), 4);
  EXPECT_EQ(p->zegar, t0 + 130 + 51);
  EXPECT_EQ(bufor[0], 1);
  EXPECT_EQ(bufor[3], 4);
  // A read stops as soon as it has all it asked for.
  p->dodaj_wejscie(p->zegar + 5, {5, 6, 7});
  EXPECT_EQ(port->ReadData(bufor, 2), 2);
  EXPECT_EQ(p->kolejka_we.size(), 1u);
}

TEST_F(Komponent, ReadTimeoutSurvivesCounterWrap) {
  p->zegar = 0xFFFFFFF0u;
  port->setInputTimeout(50);
  ASSERT_TRUE(port->Open());
  std::uint8_t v = 0;
  EXPECT_FALSE(port->ReadByte(v));
  EXPECT_EQ(p->zegar, 0xFFFFFFF0u + 51u);
  p->zegar = 0xFFFFFFF0u;
  p->dodaj_wejscie(0xFFFFFFF0u + 45u, {9});
  EXPECT_TRUE(port->ReadByte(v));
  EXPECT_EQ(v, 9);
}

TEST_F(Komponent, FailedQueueQueryStillTimesOut) {
  port->setInputTimeout(50);
  ASSERT_TRUE(port->Open());
  p->wejscie_teraz({1});
  p->blad_zapytania = true;
  EXPECT_EQ(port->InputCount(), 0);
  std::uint8_t v = 0;
  EXPECT_FALSE(port->ReadByte(v));
  EXPECT_LT(p->zapytania_kolejek, 200);
}

TEST_F(Komponent, TickNeverRunsInsideARead) {
  port->setInputTimeout(50);
  ASSERT_TRUE(port->Open());
  p->dodaj_wejscie(p->zegar + 10, {0x77});
  p->przy_zapytaniu = [this] { port->Tick(); };
  std::uint8_t v = 0;
  EXPECT_TRUE(port->ReadByte(v));
  EXPECT_EQ(v, 0x77);
  p->przy_zapytaniu = nullptr;
  EXPECT_EQ(port->PollingPauseCount(), 0);
}

TEST_F(Komponent, WriteTimeoutRunsFromLastProgress) {
  ASSERT_TRUE(port->Open());
  // One byte per pass, a millisecond per pass: 1000 ms in all, yet never 500 without progress.
  p->limit_zapisu = 1;
  const Bajty dane_wy = kolejne(1000);
  EXPECT_EQ(port->WriteData(dane_wy.data(), 1000), 1000);
  EXPECT_EQ(p->wyjscie, dane_wy);
  EXPECT_GE(p->zegar, 1000u + 999u);

  // No room at all: gives up just after OutputTimeout.
  p->wyjscie.clear();
  p->kolejka_wy = 2048;
  const std::uint32_t t0 = p->zegar;
  EXPECT_FALSE(port->SendByte(1));
  EXPECT_EQ(p->zegar, t0 + 501);
  EXPECT_TRUE(p->wyjscie.empty());

  // The platform takes nothing: the time-out runs on.
  p->kolejka_wy = 0;
  p->limit_zapisu = 0;
  EXPECT_EQ(port->WriteData("abc", 3), 0);

  p->limit_zapisu = 0xFFFFFFFF;
  EXPECT_TRUE(port->SendByte(0x41));
  EXPECT_EQ(p->wyjscie, Bajty{0x41});
}

TEST_F(Komponent, WriteChecksLinesWhenAsked) {
  ASSERT_TRUE(port->Open());
  port->setCheckLineStatus(true);
  const std::uint32_t t0 = p->zegar;
  EXPECT_EQ(port->WriteData("abc", 3), 0);
  EXPECT_TRUE(p->wyjscie.empty());
  EXPECT_LT(p->zegar - t0, 10u);  // stops at once, no time-out
  p->bity_modemu = 0x20;
  EXPECT_EQ(port->WriteData("abc", 3), 3);
}

TEST_F(Komponent, PlainTickHandsBytesToHandlerOrDropsThem) {
  ASSERT_TRUE(port->Open());
  p->wejscie_teraz({1, 2, 3});
  port->Tick();  // no handler: thrown away
  EXPECT_TRUE(p->kolejka_we.empty());

  zbieraj();
  p->wejscie_teraz({4, 5});
  port->Tick();
  ASSERT_EQ(dane.size(), 1u);
  EXPECT_EQ(dane[0], (Bajty{4, 5}));
  port->Tick();  // nothing waiting: no event
  EXPECT_EQ(dane.size(), 1u);
  EXPECT_TRUE(pakiety.empty());
}

TEST_F(Komponent, TickTakesNoMoreThanTheBuffer) {
  port->setComPortInBufSize(100);
  ASSERT_TRUE(port->Open());
  zbieraj();
  p->wejscie_teraz(kolejne(250));
  port->Tick();
  port->Tick();
  port->Tick();
  ASSERT_EQ(dane.size(), 3u);
  EXPECT_EQ(dane[0].size(), 100u);
  EXPECT_EQ(dane[2].size(), 50u);
  EXPECT_EQ(dane[2].back(), 249);
}

TEST_F(Komponent, PausedPollingCountsAndDoesNothing) {
  ASSERT_TRUE(port->Open());
  zbieraj();
  p->wejscie_teraz({1});
  port->PausePolling();
  port->PausePolling();
  port->Tick();
  port->ResumePolling();
  port->Tick();
  EXPECT_TRUE(dane.empty());
  EXPECT_EQ(port->PollingPauseCount(), 1);
  port->ResumePolling();
  port->Tick();
  EXPECT_EQ(dane.size(), 1u);
  port->ResumePolling();  // no clamping: the caller pairs them
  EXPECT_EQ(port->PollingPauseCount(), -1);
}

TEST_F(Komponent, TimerDrivesTheTickOnlyWhileOpen) {
  zbieraj();
  p->wejscie_teraz({1});
  EXPECT_FALSE(timer.pompuj());
  ASSERT_TRUE(port->Open());
  p->wejscie_teraz({2});
  p->przesun(49);
  EXPECT_FALSE(timer.pompuj());
  p->przesun(1);
  EXPECT_TRUE(timer.pompuj());
  ASSERT_EQ(dane.size(), 1u);
  EXPECT_EQ(dane[0], Bajty{2});  // Open purged the byte that came before
  port->Close();
  p->przesun(500);
  EXPECT_FALSE(timer.pompuj());
  port.reset();
  timer.tyknij();  // the destroyed component left no dangling tick behind
}

TEST_F(Komponent, PacketModeDeliversWholePacketsAndKeepsTheRest) {
  port->setPacketSize(10);
  ASSERT_TRUE(port->Open());
  zbieraj();
  p->wejscie_teraz(kolejne(25));
  port->Tick();
  ASSERT_EQ(pakiety.size(), 2u);
  EXPECT_EQ(pakiety[0], kolejne(10));
  EXPECT_EQ(pakiety[1], kolejne(10, 10));
  EXPECT_EQ(p->kolejka_we.size(), 5u);
  EXPECT_TRUE(dane.empty());
  // No partial packet was recorded before: the leftover counts from this tick.
  EXPECT_EQ(port->PacketStartTime(), 1000);

  // Packets that empty the queue exactly leave no partial packet behind.
  p->wejscie_teraz(kolejne(15, 25));
  port->Tick();
  EXPECT_EQ(pakiety.size(), 4u);
  EXPECT_EQ(port->PacketStartTime(), -1);
  EXPECT_TRUE(p->kolejka_we.empty());
}

TEST_F(Komponent, RecordedStartAdvancesByPacketTimes) {
  port->setPacketSize(10);
  port->setPacketTimeout(200);
  port->setPacketMode(pmPass);
  ASSERT_TRUE(port->Open());
  zbieraj();
  p->wejscie_teraz(kolejne(5));
  port->Tick();
  EXPECT_EQ(port->PacketStartTime(), 1000);
  p->przesun(50);
  p->wejscie_teraz(kolejne(20, 5));
  port->Tick();
  ASSERT_EQ(pakiety.size(), 2u);
  EXPECT_EQ(pakiety[1], kolejne(10, 10));
  EXPECT_EQ(port->PacketStartTime(), static_cast<std::int32_t>(1000 + 2 * PacketTime(br9600, 10)));

  // At 110 baud one packet is worth 909 ms: the start moves ahead of the clock, and the
  // leftover must not be taken for timed out at the next tick.
  port->setComPortSpeed(br110);
  pakiety.clear();
  p->wejscie_teraz({1});
  port->Tick();
  const std::uint32_t t0 = p->zegar;
  p->przesun(10);
  p->wejscie_teraz(kolejne(14));
  port->Tick();
  ASSERT_EQ(pakiety.size(), 1u);
  EXPECT_EQ(port->PacketStartTime(), static_cast<std::int32_t>(t0 + 909));
  p->przesun(10);
  port->Tick();
  EXPECT_EQ(pakiety.size(), 1u);
  p->zegar = t0 + 909 + 201;
  port->Tick();
  ASSERT_EQ(pakiety.size(), 2u);
  EXPECT_EQ(pakiety[1].size(), 5u);
}

TEST_F(Komponent, LeftoverAfterPacketsGetsItsFullTimeout) {
  port->setPacketSize(10);
  port->setPacketTimeout(200);
  port->setPacketMode(pmPass);
  ASSERT_TRUE(port->Open());
  zbieraj();
  p->wejscie_teraz(kolejne(25));
  port->Tick();
  ASSERT_EQ(pakiety.size(), 2u);
  p->przesun(150);
  port->Tick();
  EXPECT_EQ(pakiety.size(), 2u);
  p->przesun(100);
  port->Tick();
  ASSERT_EQ(pakiety.size(), 3u);
  EXPECT_EQ(pakiety[2], kolejne(5, 20));
}

TEST_F(Komponent, PartialPacketTimesOutPassOrDiscard) {
  for (TPacketMode tryb : {pmPass, pmDiscard}) {
    pakiety.clear();
    port->setPacketSize(10);
    port->setPacketTimeout(200);
    port->setPacketMode(tryb);
    ASSERT_TRUE(port->Open());
    zbieraj();
    p->zegar = 1000;
    p->wejscie_teraz({1, 2, 3, 4, 5});
    port->Tick();
    EXPECT_EQ(port->PacketStartTime(), 1000);
    p->zegar = 1200;  // exactly 200 gone: not yet
    port->Tick();
    EXPECT_TRUE(pakiety.empty());
    EXPECT_EQ(port->PacketStartTime(), 1000);
    p->zegar = 1201;
    port->Tick();
    EXPECT_EQ(port->PacketStartTime(), -1);
    EXPECT_TRUE(p->kolejka_we.empty());
    if (tryb == pmPass) {
      ASSERT_EQ(pakiety.size(), 1u);
      EXPECT_EQ(pakiety[0], (Bajty{1, 2, 3, 4, 5}));
    } else {
      EXPECT_TRUE(pakiety.empty());
    }
    port->Close();
  }
}

TEST_F(Komponent, PartialPacketWithoutTimeoutWaits) {
  port->setPacketSize(10);
  ASSERT_TRUE(port->Open());
  zbieraj();
  p->wejscie_teraz({1, 2, 3});
  port->Tick();
  p->przesun(100000);
  port->Tick();
  EXPECT_TRUE(pakiety.empty());
  EXPECT_EQ(p->kolejka_we.size(), 3u);
  p->wejscie_teraz(kolejne(7));
  port->Tick();
  EXPECT_EQ(pakiety.size(), 1u);
}

TEST_F(Komponent, HandlerChangingThePortEndsThePacketLoop) {
  port->setPacketSize(10);
  ASSERT_TRUE(port->Open());
  int wywolania = 0;
  port->OnReceivePacket = [&](TCommPortDriver* s, const void*, int) {
    ++wywolania;
    s->setPacketSize(0);  // back to plain mode in the middle of the loop
  };
  p->wejscie_teraz(kolejne(35));
  port->Tick();
  EXPECT_EQ(wywolania, 1);
  EXPECT_EQ(p->kolejka_we.size(), 25u);

  port->setPacketSize(10);
  wywolania = 0;
  port->OnReceivePacket = [&](TCommPortDriver* s, const void*, int) {
    ++wywolania;
    s->Close();
  };
  port->Tick();
  EXPECT_EQ(wywolania, 1);
  EXPECT_FALSE(port->IsOpen());
}

TEST(TimerRecznyTest, TicksOncePerElapsedPeriod) {
  std::uint32_t zegar = 0;
  TimerReczny t([&] { return zegar; });
  int tyki = 0;
  t.ustaw_obsluge([&] { ++tyki; });
  EXPECT_FALSE(t.pompuj());
  EXPECT_EQ(t.do_nastepnego(), -1);
  t.start(50);
  zegar = 49;
  EXPECT_FALSE(t.pompuj());
  EXPECT_EQ(t.do_nastepnego(), 1);
  zegar = 50;
  EXPECT_TRUE(t.pompuj());
  EXPECT_FALSE(t.pompuj());
  zegar = 1000;  // missed periods are not made up
  EXPECT_TRUE(t.pompuj());
  EXPECT_FALSE(t.pompuj());
  EXPECT_EQ(tyki, 2);
  zegar = 0xFFFFFFF0u;
  t.start(50);
  zegar += 50;  // across the wrap
  EXPECT_TRUE(t.pompuj());
  t.stop();
  zegar += 500;
  EXPECT_FALSE(t.pompuj());
  EXPECT_EQ(tyki, 3);
}

// A clock that passes the end between the loop's check and the computation of the time
// left must not read as a wait of 2^32 ms. Run in a child with an alarm, so a fault ends
// the child instead of the test run.
TEST(TimerRecznyTest, ClockPassingTheEndNeverMeansALongSleep) {
  const pid_t dziecko = fork();
  ASSERT_GE(dziecko, 0);
  if (dziecko == 0) {
    alarm(10);
    int wywolanie = 0;
    // start, the loop's check, then past the end for good.
    TimerReczny t([&]() -> std::uint32_t { return ++wywolanie <= 2 ? 0u : 20u; });
    t.pompuj_przez(10);  // stopped timer: the sleep is bounded only by the time left
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(dziecko, &status, 0), dziecko);
  ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace ostrel
