// The Win32 platform layer on a real COM port, and the Windows file writes. The port is
// the simulator's pseudo-terminal, led to COMn by Wine's registry; OSTREL_TEST_PORT names
// it ("COM1"). Without it the port tests are skipped.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "cli/pliki.h"
#include "hex/elf.h"
#include "hex/strumien.h"
#include "serial/ComDrv32.h"

namespace ostrel {
namespace {

int numer_portu_testu() {
  const char* p = std::getenv("OSTREL_TEST_PORT");
  if (p == nullptr || _strnicmp(p, "COM", 3) != 0) return 0;
  return std::atoi(p + 3);
}

class PortWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    numer_ = numer_portu_testu();
    if (numer_ < 1 || numer_ > 16) GTEST_SKIP() << "OSTREL_TEST_PORT nie wskazuje portu COM";
    port_.setComPort(static_cast<TComPortNumber>(numer_ - 1));
    port_.setComPortSpeed(br19200);
    ASSERT_TRUE(port_.Open());
  }

  HANDLE uchwyt() const { return reinterpret_cast<HANDLE>(port_.PortHandle()); }

  // Waits (at most 3 s) until `ile` bytes are in the input queue.
  bool czekaj_na(int ile) {
    const DWORD start = GetTickCount();
    while (port_.InputCount() < ile) {
      if (GetTickCount() - start > 3000) return false;
      Sleep(1);
    }
    return true;
  }

  DWORD predkosc_linii() const {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    return GetCommState(uchwyt(), &dcb) ? dcb.BaudRate : 0;
  }

  int numer_ = 0;
  TCommPortDriver port_{nullptr, nullptr};
};

TEST_F(PortWin32, UchwytJestOtwartymPortem) {
  EXPECT_TRUE(port_.IsOpen());
  EXPECT_NE(port_.PortHandle(), kNieprawidlowyUchwyt);
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  EXPECT_TRUE(GetCommState(uchwyt(), &dcb));  // the very handle the system gave
}

TEST_F(PortWin32, StanLiniiTrafiaDoSterownikaIWracaPoZamknieciu) {
  EXPECT_EQ(predkosc_linii(), 19200u);
  port_.setComPortSpeed(br115200);
  EXPECT_EQ(predkosc_linii(), 115200u);
  port_.Close();
  // Someone else's setting is found at the next open and put back at its close.
  const std::string nazwa = "\\\\.\\COM" + std::to_string(numer_);
  HANDLE h = CreateFileA(nazwa.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  ASSERT_TRUE(GetCommState(h, &dcb));
  dcb.BaudRate = 9600;
  ASSERT_TRUE(SetCommState(h, &dcb));
  CloseHandle(h);
  port_.setComPortSpeed(br38400);
  ASSERT_TRUE(port_.Open());
  EXPECT_EQ(predkosc_linii(), 38400u);
  port_.Close();
  h = CreateFileA(nazwa.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                  nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(GetCommState(h, &dcb));
  EXPECT_EQ(dcb.BaudRate, 9600u);
  CloseHandle(h);
}

TEST_F(PortWin32, KolejkiLiczaIOczyszczanieJeOprozinia) {
  EXPECT_EQ(port_.OutputFree(), port_.ComPortOutBufSize());  // nothing waits to go out
  // The identification answer: seven bytes counted in the input queue, then read.
  ASSERT_TRUE(port_.SendByte('S'));
  ASSERT_TRUE(czekaj_na(7)) << "w kolejce: " << port_.InputCount();
  EXPECT_EQ(port_.InputCount(), 7);
  char odp[8] = {};
  port_.setInputTimeout(500);
  EXPECT_EQ(port_.ReadData(odp, 7), 7);
  EXPECT_STREQ(odp, "AVR ISP");
  EXPECT_EQ(port_.InputCount(), 0);

  ASSERT_TRUE(port_.SendByte('S'));
  ASSERT_TRUE(czekaj_na(7));
  port_.PurgeBuffers(true, false);
  EXPECT_EQ(port_.InputCount(), 0);
  port_.setInputTimeout(100);
  std::uint8_t b = 0;
  EXPECT_FALSE(port_.ReadByte(b));
}

TEST_F(PortWin32, CzytanieCzekaCalyCzasOczekiwania) {
  for (int t : {50, 300}) {
    port_.setInputTimeout(t);
    std::uint8_t b = 0;
    const DWORD start = GetTickCount();
    EXPECT_FALSE(port_.ReadByte(b));
    const DWORD minelo = GetTickCount() - start;
    // Only the lower bound is asserted; the figure is printed.
    EXPECT_GE(minelo, static_cast<DWORD>(t));
    std::printf("ReadByte bez odpowiedzi, InputTimeout %d ms: %lu ms\n", t,
                static_cast<unsigned long>(minelo));
  }
}

// A folder under %TEMP%, removed with what it holds.
class KatalogTymczasowy {
 public:
  KatalogTymczasowy() {
    sciezka_ = std::filesystem::temp_directory_path() /
               ("ostrel-test-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::create_directories(sciezka_);
  }
  ~KatalogTymczasowy() {
    std::error_code ec;
    std::filesystem::remove_all(sciezka_, ec);
  }
  std::string operator/(const std::string& nazwa) const { return (sciezka_ / nazwa).string(); }
  const std::filesystem::path& sciezka() const { return sciezka_; }

 private:
  std::filesystem::path sciezka_;
};

std::string zawartosc(const std::string& sciezka) {
  std::ifstream f(sciezka, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), {}};
}

TEST(PlikiWin32, ZapisZastepujePlikAPorazkaZostawiaStary) {
  KatalogTymczasowy k;
  const std::string plik = k / "wynik.hex";
  std::ofstream(plik, std::ios::binary) << "stary";
  std::string blad;
  ASSERT_TRUE(zapisz_atomowo(plik, "nowy\n", 5, &blad)) << blad;
  EXPECT_EQ(zawartosc(plik), "nowy\n");  // no line-end translation either
  // Nothing but the file itself is left behind.
  int ile = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(k.sciezka())) ++ile;
  EXPECT_EQ(ile, 1);
  // Saving over a folder fails, is said, and touches nothing.
  std::filesystem::create_directory(k / "katalog");
  EXPECT_FALSE(zapisz_atomowo(k / "katalog", "x", 1, &blad));
  EXPECT_EQ(blad, "to jest katalog");
  EXPECT_FALSE(zapisz_atomowo(k / "brak\\wynik.hex", "x", 1, &blad));
  EXPECT_FALSE(blad.empty());
  EXPECT_EQ(zawartosc(plik), "nowy\n");
}

TEST(PlikiWin32, NazwyZPolskimiLiteramiIKatalogiZLiteraDysku) {
  KatalogTymczasowy k;
  const std::string plik = k / "zażółć.hex";  // UTF-8, as the program passes every name
  ASSERT_TRUE(zapisz_atomowo(plik, "abc", 3));
  Strumien s;
  std::string blad;
  ASSERT_TRUE(s.wczytaj_plik(plik, &blad)) << blad;
  EXPECT_EQ(s.rozmiar(), 3u);
  EXPECT_FALSE(s.wczytaj_plik(k / "nie_ma.hex", &blad));
  EXPECT_EQ(blad, "nie istnieje");
  EXPECT_EQ(cli::katalog_pliku("C:\\dane\\a.hex"), "C:\\dane");
  EXPECT_EQ(cli::katalog_pliku("C:\\a.hex"), "C:\\");
  EXPECT_EQ(cli::katalog_pliku("D:a.hex"), "D:");
  EXPECT_EQ(cli::katalog_pliku("dane/a.hex"), "dane");
  EXPECT_EQ(cli::powod_zapisu(k / "brak\\a.hex"), "katalog " + (k / "brak") + " nie istnieje");
  EXPECT_EQ(cli::powod_zapisu(k.sciezka().string()), "to jest katalog");
}

// Wine lets a COM port be opened twice, so the refusals are shown on files, through the
// same calls: one held by another opener is busy, one that is there is no serial port.
TEST(PlatformaWin32, PowodyNieudanegoOtwarcia) {
  KatalogTymczasowy k;
  const std::string plik = k / "port";
  std::ofstream(plik) << "x";
  auto p = utworz_platforme();
  EXPECT_EQ(p->otworz(plik), kNieprawidlowyUchwyt);
  EXPECT_EQ(p->blad_otwarcia().powod, PowodBledu::nie_port);
  HANDLE trzyma = CreateFileA(plik.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
  ASSERT_NE(trzyma, INVALID_HANDLE_VALUE);
  EXPECT_EQ(p->otworz(plik), kNieprawidlowyUchwyt);
  EXPECT_EQ(p->blad_otwarcia().powod, PowodBledu::zajety);
  CloseHandle(trzyma);
  EXPECT_EQ(p->otworz(k / "nie_ma"), kNieprawidlowyUchwyt);
  EXPECT_EQ(p->blad_otwarcia().powod, PowodBledu::brak_urzadzenia);
  EXPECT_EQ(p->otworz("\\\\.\\COM99"), kNieprawidlowyUchwyt);
  EXPECT_EQ(p->blad_otwarcia().powod, PowodBledu::brak_urzadzenia);
}

TEST(ElfWin32, PlikElfOdrzuconyZPoleceniemKonwersji) {
  Strumien elf(std::vector<std::uint8_t>{0x7f, 'E', 'L', 'F', 1, 1, 1, 0});
  ASSERT_TRUE(jest_elf(elf));
  Strumien obraz(std::vector<std::uint8_t>{1, 2, 3});
  const std::string t = konwertuj_elf(elf, PamiecElf::eeprom, obraz);
  EXPECT_NE(t, "Konwersja OK");
  EXPECT_NE(t.find("avr-objcopy -O ihex -j .eeprom"), std::string::npos) << t;
  EXPECT_EQ(obraz.rozmiar(), 0u);
}

}  // namespace
}  // namespace ostrel
