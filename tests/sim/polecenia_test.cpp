// The simulator's answers on the wire: every command, both addressing schemes, the
// memories and the lock/fuse byte, through a raw client of its pty.
#include <gtest/gtest.h>

#include "common/symulator.h"

namespace ostrel::test {
namespace {

constexpr std::uint8_t CR = 13;

// Starts the simulator and opens its pty; a fixture so every test gets a fresh chip.
class Polaczenie {
 public:
  explicit Polaczenie(std::vector<std::string> argumenty)
      : sim_(std::move(argumenty)), port_(sim_.pty()) {}
  bool gotowe() const { return sim_.dziala() && port_.otwarty(); }
  Symulator& sim() { return sim_; }
  KlientPty& port() { return port_; }
  // A command that must be answered by exactly `oczekiwane`, and nothing more.
  ::testing::AssertionResult odpowiada(const Bajty& polecenie, const Bajty& oczekiwane) {
    const Bajty odp = port_.polecenie(polecenie, oczekiwane.size());
    const Bajty nadmiar = port_.czytaj_do_ciszy(30);
    if (odp == oczekiwane && nadmiar.empty()) return ::testing::AssertionSuccess();
    auto hex = [](const Bajty& b) {
      std::string s;
      char t[4];
      for (auto x : b) std::snprintf(t, sizeof t, "%02X ", x), s += t;
      return s;
    };
    return ::testing::AssertionFailure()
           << "command " << hex(polecenie) << "answered " << hex(odp) << "+ extra " << hex(nadmiar)
           << "; expected " << hex(oczekiwane);
  }
  std::uint8_t jeden(const Bajty& polecenie) {
    const Bajty odp = port_.polecenie(polecenie, 1);
    return odp.empty() ? 0 : odp[0];
  }

 private:
  Symulator sim_;
  KlientPty port_;
};

TEST(SymulatorPolecenia, EveryCommandHasItsAnswerAndByteCount) {
  Polaczenie p({"--device", "AT90S8515"});
  ASSERT_TRUE(p.gotowe()) << p.sim().blad();
  const struct {
    Bajty polecenie;
    Bajty odpowiedz;
  } kPrzypadki[] = {
      {{'S'}, bajty("AVR ISP")},
      {{'V'}, bajty("12")},
      {{'v'}, bajty("10")},
      {{'p'}, {'S'}},
      {{'s'}, {0x01, 0x93, 0x1E}},  // last signature byte first
      {{'F'}, {0xDF}},
      {{'T', 56}, {CR}},
      {{'P'}, {CR}},
      {{'A', 0x00, 0x10}, {CR}},
      {{'c', 0x12}, {CR}},
      {{'C', 0x34}, {CR}},
      {{'R'}, {0xFF, 0xFF}},
      {{'D', 0x55}, {CR}},
      {{'d'}, {0xFF}},
      {{'e'}, {CR}},
      {{'l', 0xFF}, {CR}},
      {{'f', 0xDF}, {CR}},
      {{'L'}, {CR}},
      // The start-up queries of other host software.
      {{'a'}, {'Y'}},
      {{'b'}, {'N'}},
      {{'t'}, {0x0C, 0x86, 0x13, 0x20, 0x28, 0x38, 0x00}},
      {{'.', 0x30, 0x00, 0x01, 0x00}, {0x93, CR}},
      {{'x', 0x00}, {CR}},
      {{'y', 0x00}, {CR}},
      // Anything else is refused.
      {{'Z'}, {'?'}},
      {{0x00}, {'?'}},
      {{0xFF}, {'?'}},
      {{'E'}, {'?'}},
  };
  for (const auto& k : kPrzypadki) EXPECT_TRUE(p.odpowiada(k.polecenie, k.odpowiedz));
}

TEST(SymulatorPolecenia, ArgumentBytesAreNeverTakenForCommands) {
  // 'S' (0x53) and 'e' (0x65) as argument bytes must not identify or erase.
  Polaczenie p({"--device", "AT90S8515"});
  ASSERT_TRUE(p.gotowe()) << p.sim().blad();
  EXPECT_TRUE(p.odpowiada({'P'}, {CR}));
  EXPECT_TRUE(p.odpowiada({'A', 'S', 'e'}, {CR}));
  EXPECT_TRUE(p.odpowiada({'c', 'S'}, {CR}));
  EXPECT_TRUE(p.odpowiada({'C', 'e'}, {CR}));
  EXPECT_TRUE(p.odpowiada({'A', 'S', 'e'}, {CR}));
  EXPECT_TRUE(p.odpowiada({'R'}, {'e', 'S'}));
  // A whole command sequence in one write is answered in order.
  EXPECT_TRUE(p.odpowiada({'P', 'R', 'd', 'V'}, {CR, 0xFF, 0xFF, 0xFF, '1', '2'}));
}

TEST(SymulatorPolecenia, PairedAddressingWritesWordsAndReadsHighByteFirst) {
  Polaczenie p({"--device", "AT90S2313"});
  ASSERT_TRUE(p.gotowe()) << p.sim().blad();
  ASSERT_TRUE(p.odpowiada({'P'}, {CR}));
  // 'A' sets the word address; 'C' advances it, so consecutive words need one 'A'.
  ASSERT_TRUE(p.odpowiada({'A', 0x00, 0x00}, {CR}));
  for (std::uint8_t w = 0; w < 4; ++w) {
    ASSERT_TRUE(p.odpowiada({'c', static_cast<std::uint8_t>(0x10 + w)}, {CR}));
    ASSERT_TRUE(p.odpowiada({'C', static_cast<std::uint8_t>(0x20 + w)}, {CR}));
  }
  ASSERT_TRUE(p.odpowiada({'A', 0x03, 0xFF}, {CR}));  // the chip's last word (1024 words)
  ASSERT_TRUE(p.odpowiada({'c', 0xAB}, {CR}));
  ASSERT_TRUE(p.odpowiada({'C', 0xCD}, {CR}));
  // 'P' puts the word counter back to 0 and every 'R' advances it.
  ASSERT_TRUE(p.odpowiada({'P'}, {CR}));
  for (std::uint8_t w = 0; w < 4; ++w) {
    EXPECT_TRUE(p.odpowiada(
        {'R'}, {static_cast<std::uint8_t>(0x20 + w), static_cast<std::uint8_t>(0x10 + w)}));
  }
  EXPECT_TRUE(p.odpowiada({'R'}, {0xFF, 0xFF}));
  EXPECT_TRUE(p.odpowiada({'A', 0x00, 0x02}, {CR}));
  EXPECT_TRUE(p.odpowiada({'R'}, {0x22, 0x12}));
  EXPECT_TRUE(p.odpowiada({'A', 0x03, 0xFF}, {CR}));
  EXPECT_TRUE(p.odpowiada({'R'}, {0xCD, 0xAB}));
  EXPECT_TRUE(p.odpowiada({'L'}, {CR}));
  EXPECT_EQ(p.sim().zatrzymaj(), 0);
}

TEST(SymulatorPolecenia, ByteAddressingReadsAndWritesAtTheGivenByte) {
  KatalogTymczasowy k;
  const std::string zrzut = k / "flash.bin";
  Polaczenie p({"--device", "AT89C51", "--dump-flash", zrzut});
  ASSERT_TRUE(p.gotowe()) << p.sim().blad();
  ASSERT_TRUE(p.odpowiada({'T', 12}, {CR}));
  ASSERT_TRUE(p.odpowiada({'P'}, {CR}));
  const std::uint8_t dane[] = {0x12, 0x34, 0x56, 0x78};
  for (std::uint8_t i = 0; i < 4; ++i) {
    ASSERT_TRUE(p.odpowiada({'A', 0x01, static_cast<std::uint8_t>(0x23 + i)}, {CR}));
    ASSERT_TRUE(p.odpowiada({'c', dane[i]}, {CR}));
  }
  // 'R' answers one byte and stays at its address.
  ASSERT_TRUE(p.odpowiada({'A', 0x01, 0x24}, {CR}));
  EXPECT_TRUE(p.odpowiada({'R'}, {0x34}));
  EXPECT_TRUE(p.odpowiada({'R'}, {0x34}));
  EXPECT_TRUE(p.odpowiada({'A', 0x01, 0x22}, {CR}));
  EXPECT_TRUE(p.odpowiada({'R'}, {0xFF}));
  EXPECT_TRUE(p.odpowiada({'L'}, {CR}));
  ASSERT_EQ(p.sim().zatrzymaj(), 0);

  std::ifstream f(zrzut, std::ios::binary);
  const Bajty obraz((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  ASSERT_EQ(obraz.size(), 4096u);  // the AT89C51's 4 KB
  for (std::size_t i = 0; i < obraz.size(); ++i) {
    const std::uint8_t oczekiwany = (i >= 0x123 && i < 0x127) ? dane[i - 0x123] : 0xFF;
    ASSERT_EQ(obraz[i], oczekiwany) << "at " << i;
  }
}

TEST(SymulatorPolecenia, EepromAddressStartsAtZeroAfterPAndAdvances) {
  Polaczenie p({"--device", "AT90S1200"});
  ASSERT_TRUE(p.gotowe()) << p.sim().blad();
  ASSERT_TRUE(p.odpowiada({'P'}, {CR}));
  for (std::uint8_t i = 0; i < 5; ++i) ASSERT_TRUE(p.odpowiada({'D', i}, {CR}));
  ASSERT_TRUE(p.odpowiada({'P'}, {CR}));
  for (std::uint8_t i = 0; i < 5; ++i) EXPECT_TRUE(p.odpowiada({'d'}, {i}));
  EXPECT_TRUE(p.odpowiada({'d'}, {0xFF}));
  // 'P' in the middle of a read starts it over; so does 'A' at its address.
  ASSERT_TRUE(p.odpowiada({'P'}, {CR}));
  EXPECT_TRUE(p.odpowiada({'d'}, {0}));
  ASSERT_TRUE(p.odpowiada({'A', 0x00, 0x03}, {CR}));
  EXPECT_TRUE(p.odpowiada({'d'}, {3}));
  // An EEPROM byte can be rewritten without an erase (its cell erases itself).
  ASSERT_TRUE(p.odpowiada({'P'}, {CR}));
  ASSERT_TRUE(p.odpowiada({'D', 0xF0}, {CR}));
  ASSERT_TRUE(p.odpowiada({'P'}, {CR}));
  EXPECT_TRUE(p.odpowiada({'d'}, {0xF0}));
  // The AT90S1200's 64 bytes wrap around.
  ASSERT_TRUE(p.odpowiada({'A', 0x00, 64}, {CR}));
  EXPECT_TRUE(p.odpowiada({'d'}, {0xF0}));
}

TEST(SymulatorPolecenia, FlashProgrammingOnlyClearsBitsUntilChipErase) {
  Polaczenie p({"--device", "AT90S8515"});
  ASSERT_TRUE(p.gotowe()) << p.sim().blad();
  ASSERT_TRUE(p.odpowiada({'P'}, {CR}));
  ASSERT_TRUE(p.odpowiada({'A', 0x00, 0x00}, {CR}));
  ASSERT_TRUE(p.odpowiada({'c', 0x0F}, {CR}));
  ASSERT_TRUE(p.odpowiada({'C', 0x3C}, {CR}));
  ASSERT_TRUE(p.odpowiada({'A', 0x00, 0x00}, {CR}));
  ASSERT_TRUE(p.odpowiada({'c', 0xF5}, {CR}));
  ASSERT_TRUE(p.odpowiada({'C', 0xFF}, {CR}));
  ASSERT_TRUE(p.odpowiada({'D', 0x42}, {CR}));
  ASSERT_TRUE(p.odpowiada({'l', 0xF9}, {CR}));
  ASSERT_TRUE(p.odpowiada({'P'}, {CR}));
  EXPECT_TRUE(p.odpowiada({'R'}, {0x3C, 0x05}));
  EXPECT_TRUE(p.odpowiada({'d'}, {0x42}));
  EXPECT_TRUE(p.odpowiada({'F'}, {0x1F}));
  // Chip erase brings flash, EEPROM and lock bits back to 1; the fuses stay.
  ASSERT_TRUE(p.odpowiada({'f', 0xDE}, {CR}));
  ASSERT_TRUE(p.odpowiada({'e'}, {CR}));
  ASSERT_TRUE(p.odpowiada({'P'}, {CR}));
  EXPECT_TRUE(p.odpowiada({'R'}, {0xFF, 0xFF}));
  EXPECT_TRUE(p.odpowiada({'d'}, {0xFF}));
  EXPECT_TRUE(p.odpowiada({'F'}, {0xDE}));
  ASSERT_TRUE(p.odpowiada({'A', 0x00, 0x00}, {CR}));
  ASSERT_TRUE(p.odpowiada({'c', 0xF5}, {CR}));
  ASSERT_TRUE(p.odpowiada({'C', 0xFF}, {CR}));
  ASSERT_TRUE(p.odpowiada({'P'}, {CR}));
  EXPECT_TRUE(p.odpowiada({'R'}, {0xFF, 0xF5}));
}

// 'F' after 'l' and 'f', in the layout the host decodes for each family.
struct PrzypadekF {
  friend void PrintTo(const PrzypadekF& p, std::ostream* os) { *os << p.uklad; }
  const char* uklad;
  Bajty zapisy;          // 'l'/'f' commands with their bytes
  std::uint8_t f_przed;  // 'F' of a new chip
  std::uint8_t f_po;     // 'F' after the writes
};

class SymulatorF : public ::testing::TestWithParam<PrzypadekF> {};

TEST_P(SymulatorF, LockAndFuseBitsComeBackInTheFamilyLayout) {
  const PrzypadekF& k = GetParam();
  Polaczenie p({"--device", k.uklad});
  ASSERT_TRUE(p.gotowe()) << p.sim().blad();
  ASSERT_TRUE(p.odpowiada({'P'}, {CR}));
  EXPECT_TRUE(p.odpowiada({'F'}, {k.f_przed}));
  for (std::size_t i = 0; i + 1 < k.zapisy.size(); i += 2) {
    ASSERT_TRUE(p.odpowiada({k.zapisy[i], k.zapisy[i + 1]}, {CR}));
  }
  EXPECT_TRUE(p.odpowiada({'F'}, {k.f_po}));
}

INSTANTIATE_TEST_SUITE_P(Rodziny, SymulatorF,
                         ::testing::Values(
                             // AVR: lock bits 2..1 of the written byte come back in bits 7..6 (bit
                             // 1 -> 7), SPIEN in bit 5, FSTRT/RCEN in bit 0. "Tryb 1" (253) with
                             // both fuses programmed reads 0x5E.
                             PrzypadekF{"AT90S2313", {'l', 253, 'f', 0xDE}, 0xDF, 0x5E},
                             PrzypadekF{"AT90S8515", {'l', 249}, 0xDF, 0x1F},
                             PrzypadekF{"AT90S1200", {'f', 0xFF}, 0xDF, 0xFF},
                             PrzypadekF{"AT90S4414", {'l', 0xFB}, 0xDF, 0x9F},  // the pattern 10
                             // Lock bits are only ever programmed: a later 255 does not undo 253.
                             PrzypadekF{"AT90S2313", {'l', 253, 'l', 255}, 0xDF, 0x5F},
                             // AT89S8252: lock bits 7..5 as written, SPIEN in bit 0.
                             PrzypadekF{"AT89S8252", {'l', 127}, 0xFE, 0x7E},
                             PrzypadekF{"AT89S8252", {'l', 31, 'f', 0xFF}, 0xFE, 0x1F},
                             // AT89C parts have no fuses: the lock byte comes back as written.
                             PrzypadekF{"AT89C2051", {'l', 253, 'f', 0x00}, 0xFF, 0xFD},
                             PrzypadekF{"AT89C52", {'l', 63, 'l', 127}, 0xFF, 0x3F}),
                         [](const ::testing::TestParamInfo<PrzypadekF>& i) {
                           return std::string(i.param.uklad) + "_" + std::to_string(i.index);
                         });

// Every chip answers 's' with its own signature, last byte first.
TEST(SymulatorPolecenia, SignatureOfEveryChipIsAtmelsSentLastByteFirst) {
  const struct {
    const char* uklad;
    Bajty odpowiedz;
  } kChipy[] = {
      {"AT89C51", {0xFF, 0x51, 0x1E}},       {"AT89C52", {0xFF, 0x52, 0x1E}},
      {"AT89C55", {0xFF, 0x55, 0x1E}},       {"AT89C1051", {0xFF, 0x11, 0x1E}},
      {"AT89C2051", {0xFF, 0x21, 0x1E}},     {"AT89C4051", {0xFF, 0x41, 0x1E}},
      {"AT89S8252", {0x06, 0x72, 0x1E}},     {"AT89S53", {0x06, 0x53, 0x1E}},
      {"AT90S1200", {0x01, 0x90, 0x1E}},     {".AT90S2313", {0x01, 0x91, 0x1E}},
      {"at90s4414 /34", {0x01, 0x92, 0x1E}}, {"AT90S8515", {0x01, 0x93, 0x1E}},
  };
  for (const auto& k : kChipy) {
    Polaczenie p({"--device", k.uklad});
    ASSERT_TRUE(p.gotowe()) << k.uklad << ": " << p.sim().blad();
    EXPECT_TRUE(p.odpowiada({'s'}, k.odpowiedz)) << k.uklad;
  }
}

TEST(SymulatorPolecenia, IdentificationRevisionsAndModeFollowTheOptions) {
  Polaczenie p({"--device", "AT89C2051", "--mode", "P", "--sw-version", "3a", "--hw-version", "2b",
                "--ident", "XYZ"});
  ASSERT_TRUE(p.gotowe()) << p.sim().blad();
  EXPECT_TRUE(p.odpowiada({'p'}, {'P'}));
  EXPECT_TRUE(p.odpowiada({'V'}, bajty("3a")));
  EXPECT_TRUE(p.odpowiada({'v'}, bajty("2b")));
  EXPECT_TRUE(p.odpowiada({'S'}, bajty("XYZ")));
}

// The chip's signature, the one read under another device code, and the list of codes can
// differ from the program's tables.
TEST(SymulatorPolecenia, SignatureAndDeviceListFollowTheOptions) {
  for (const char* firmware : {"ostrel", "avr910"}) {
    SCOPED_TRACE(firmware);
    Polaczenie p({"--device", "AT89S8252", "--firmware", firmware, "--busy-scale", "0",
                  "--signature", "1E,72,05", "--signature-under", "0x13=1E,91,01", "--device-list",
                  "86,13"});
    ASSERT_TRUE(p.gotowe()) << p.sim().blad();
    EXPECT_TRUE(p.odpowiada({'T', 0x86}, {CR}));
    EXPECT_TRUE(p.odpowiada({'s'}, {0x05, 0x72, 0x1E}));
    EXPECT_TRUE(p.odpowiada({'.', 0x30, 0x00, 0x02, 0x00}, {0x05, CR}));
    EXPECT_TRUE(p.odpowiada({'T', 0x13}, {CR}));
    EXPECT_TRUE(p.odpowiada({'s'}, {0x01, 0x91, 0x1E}));
    EXPECT_TRUE(p.odpowiada({'t'}, {0x86, 0x13, 0x00}));
  }
}

TEST(SymulatorPolecenia, UniversalCommandReadsAndWritesTheAvrMemories) {
  Polaczenie p({"--device", "AT90S8515"});
  ASSERT_TRUE(p.gotowe()) << p.sim().blad();
  EXPECT_TRUE(p.odpowiada({'.', 0x30, 0x00, 0x00, 0x00}, {0x1E, CR}));
  EXPECT_TRUE(p.odpowiada({'.', 0x40, 0x00, 0x05, 0x11}, {0x00, CR}));
  EXPECT_TRUE(p.odpowiada({'.', 0x48, 0x00, 0x05, 0x22}, {0x00, CR}));
  EXPECT_TRUE(p.odpowiada({'A', 0x00, 0x05}, {CR}));
  EXPECT_TRUE(p.odpowiada({'R'}, {0x22, 0x11}));
  EXPECT_TRUE(p.odpowiada({'.', 0xC0, 0x01, 0x00, 0x77}, {0x00, CR}));
  EXPECT_TRUE(p.odpowiada({'.', 0xA0, 0x01, 0x00, 0x00}, {0x77, CR}));
  EXPECT_TRUE(p.odpowiada({'.', 0xAC, 0x80, 0x00, 0x00}, {0x00, CR}));
  EXPECT_TRUE(p.odpowiada({'.', 0x20, 0x00, 0x05, 0x00}, {0xFF, CR}));
}

// The AVR910 firmware: one address register for flash and EEPROM that 'P' leaves alone,
// the device code only from 'T', and while it is not the chip's the chip stays untouched
// and the answers take the shape of the code in force.
TEST(SymulatorAvr910, SharedAddressRegisterAndDeviceCodeFromTOnly) {
  KatalogTymczasowy k;
  Polaczenie p({"--device", "AT90S2313", "--firmware", "avr910", "--power-up-address", "0x0005",
                "--busy-scale", "0", "--log", k / "wire.log"});
  ASSERT_TRUE(p.gotowe()) << p.sim().blad();
  // The power-up code 0x20 is the AT90S2313's, so the chip answers from the start.
  EXPECT_TRUE(p.odpowiada({'d'}, {0xFF}));  // EEPROM byte 5; the register moves on to 6
  EXPECT_TRUE(p.odpowiada({'A', 0x00, 0x00}, {CR}));
  EXPECT_TRUE(p.odpowiada({'c', 0x11}, {CR}));
  EXPECT_TRUE(p.odpowiada({'C', 0x22}, {CR}));  // word 0; the register is 1 now
  EXPECT_TRUE(p.odpowiada({'D', 0x33}, {CR}));  // EEPROM byte 1; the register is 2
  EXPECT_TRUE(p.odpowiada({'P'}, {CR}));
  EXPECT_TRUE(p.odpowiada({'R'}, {0xFF, 0xFF}));  // word 2: 'P' did not reset it
  EXPECT_TRUE(p.odpowiada({'A', 0x00, 0x00}, {CR}));
  EXPECT_TRUE(p.odpowiada({'R'}, {0x22, 0x11}));
  EXPECT_TRUE(p.odpowiada({'d'}, {0x33}));  // the same register: EEPROM byte 1

  // An AT89S8252's code: one byte per 'R', nothing read or erased.
  EXPECT_TRUE(p.odpowiada({'T', 0x86}, {CR}));
  EXPECT_TRUE(p.odpowiada({'P'}, {CR}));
  EXPECT_TRUE(p.odpowiada({'A', 0x00, 0x00}, {CR}));
  EXPECT_TRUE(p.odpowiada({'R'}, {0xFF}));
  EXPECT_TRUE(p.odpowiada({'s'}, {0xFF, 0xFF, 0xFF}));
  EXPECT_TRUE(p.odpowiada({'e'}, {CR}));
  EXPECT_TRUE(p.odpowiada({'T', 0x20}, {CR}));
  EXPECT_TRUE(p.odpowiada({'P'}, {CR}));
  EXPECT_TRUE(p.odpowiada({'A', 0x00, 0x00}, {CR}));
  EXPECT_TRUE(p.odpowiada({'R'}, {0x22, 0x11})) << "the erase under another code did nothing";
  EXPECT_TRUE(p.odpowiada({'s'}, {0x01, 0x91, 0x1E}));
  p.sim().zatrzymaj();
  std::ifstream we(k / "wire.log");
  std::string pierwsza;
  std::getline(we, pierwsza);
  EXPECT_NE(pierwsza.find("address register 0x0005, device code 0x20 at power-up"),
            std::string::npos)
      << pierwsza;
}

// 'P' keeps the firmware busy for 100 ms: of the bytes sent meanwhile the first waits in
// the one-byte receive buffer and is answered afterwards, the others are lost and logged.
TEST(SymulatorAvr910, BytesSentWhileBusyBeyondTheBufferAreLost) {
  KatalogTymczasowy k;
  Polaczenie p({"--device", "AT90S2313", "--firmware", "avr910", "--log", k / "wire.log"});
  ASSERT_TRUE(p.gotowe()) << p.sim().blad();
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(p.port().wyslij({'P', 'p', 'V', 'v'}));
  EXPECT_EQ(p.port().czytaj(1), Bajty{CR});
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(p.port().czytaj_do_ciszy(300), Bajty{'S'});
  std::printf("'P' answered after %.1f ms\n", ms);
  p.sim().zatrzymaj();
  std::ifstream we(k / "wire.log");
  std::string linia;
  int utracone = 0;
  while (std::getline(we, linia)) utracone += linia.find("lost byte") != std::string::npos;
  EXPECT_EQ(utracone, 2);
  // A random power-up address is written down so that a failure can be replayed.
  we.clear();
  we.seekg(0);
  std::getline(we, linia);
  EXPECT_NE(linia.find("firmware avr910: address register 0x"), std::string::npos) << linia;
}

// A block keeps the firmware busy 4 ms for each of its bytes before its answer.
TEST(SymulatorAvr910, BlockAnswerWaitsForEveryByteToBeWritten) {
  KatalogTymczasowy k;
  Polaczenie p({"--device", "AT90S2313", "--firmware", "avr910", "--power-up-address", "0", "--log",
                k / "wire.log"});
  ASSERT_TRUE(p.gotowe()) << p.sim().blad();
  Bajty blok = {'B', 0, 64, 'F'};
  blok.resize(4 + 64, 0x5A);
  EXPECT_TRUE(p.odpowiada(blok, {CR}));
  p.sim().zatrzymaj();
  // On the simulator's own clock: from the block's last byte to its answer.
  const auto wpisy = czytaj_dziennik(k / "wire.log");
  double ostatni = -1, odpowiedz = -1;
  for (const auto& w : wpisy) {
    if (w.kierunek == '<') ostatni = w.ms;
    if (w.kierunek == '>' && odpowiedz < 0) odpowiedz = w.ms;
  }
  ASSERT_GE(ostatni, 0);
  std::printf("a 64-byte block answered %.1f ms after its last byte\n", odpowiedz - ostatni);
  EXPECT_GE(odpowiedz - ostatni, 64 * 4.0);
}

}  // namespace
}  // namespace ostrel::test
