// Page writes through an AVR910 firmware: the planned steps, played to the simulator's
// page-mode chip, leave exactly the image in flash, with no block over a page boundary
// and no blind wait the image does not force.
#include "protocol/plan_stron.h"

#include <gtest/gtest.h>

#include <random>

#include "common/symulator.h"

namespace ostrel::test {
namespace {

constexpr std::uint8_t kCR = 13;

struct Czesc {
  friend void PrintTo(const Czesc& c, std::ostream* os) { *os << c.nazwa << " " << c.bufor; }
  const char* nazwa;
  std::uint8_t kod;
  std::uint32_t strona;
  std::uint32_t flash;
  std::uint32_t bufor;  // the firmware's block buffer; 0: none
};

// Plays the steps with 'A' before each, as a host would.
void odegraj(KlientPty& port, const std::vector<KrokZapisu>& plan, const Bajty& obraz) {
  const auto bajt = [&](std::size_t i) -> std::uint8_t {
    return i < obraz.size() ? obraz[i] : 0xFF;
  };
  for (const KrokZapisu& k : plan) {
    ASSERT_EQ(port.polecenie({'A', static_cast<std::uint8_t>(k.slowo >> 8),
                              static_cast<std::uint8_t>(k.slowo & 0xFF)},
                             1),
              Bajty{kCR});
    if (k.rodzaj == KrokZapisu::Rodzaj::strona) {
      ASSERT_EQ(port.polecenie({'m'}, 1), Bajty{kCR});
      continue;
    }
    if (k.rodzaj == KrokZapisu::Rodzaj::slowa) {
      for (std::uint32_t w = k.slowo; w < k.slowo + k.slowa; ++w) {
        ASSERT_EQ(port.polecenie({'c', bajt(2 * w)}, 1), Bajty{kCR});
        ASSERT_EQ(port.polecenie({'C', bajt(2 * w + 1)}, 1), Bajty{kCR});
      }
      continue;
    }
    const std::uint32_t n = 2 * k.slowa;
    Bajty b{'B', static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n & 0xFF), 'F'};
    for (std::uint32_t i = 0; i < n; ++i) b.push_back(bajt(2 * std::size_t{k.slowo} + i));
    ASSERT_EQ(port.polecenie(b, 1), Bajty{kCR});
  }
}

class PlanStron : public ::testing::TestWithParam<Czesc> {};

// An image that starts and ends inside a page, with a long gap, short gaps, words whose
// high byte is 0xFF at block ends, and one page holding only such words.
TEST_P(PlanStron, WritesTheImageExactlyWithoutStraddlesOrAvoidableBlindWaits) {
  const Czesc& c = GetParam();
  const unsigned ziarno = std::random_device{}();
  std::mt19937 los(ziarno);
  Bajty obraz(c.flash / 2 + 37, 0xFF);
  for (std::size_t i = 37; i < obraz.size(); ++i) obraz[i] = static_cast<std::uint8_t>(los());
  const std::ptrdiff_t cwierc = static_cast<std::ptrdiff_t>(obraz.size() / 4);
  std::fill(obraz.begin() + cwierc, obraz.begin() + cwierc + 300, 0xFF);  // a gap over pages
  std::fill(obraz.begin() + 2 * cwierc + 1, obraz.begin() + 2 * cwierc + 5, 0xFF);  // a short one
  for (std::size_t i = 2 * 31 + 1; i < obraz.size(); i += c.strona) obraz[i] = 0xFF;
  for (std::size_t i = 2 * 15 + 1; i < obraz.size(); i += 64) obraz[i] = 0xFF;
  // Page 3: words whose high bytes are all 0xFF.
  for (std::size_t i = 3 * c.strona; i < 4 * c.strona; i += 2) obraz[i + 1] = 0xFF;
  const auto plan = plan_zapisu_stron(obraz.data(), obraz.size(), c.strona, c.bufor);
  // Words go in blocks; 'c'/'C' only for what cannot end one: page 3 and a word or two
  // of a page.
  std::uint32_t wczytane = 0;
  for (const KrokZapisu& k : plan) {
    if (k.rodzaj == KrokZapisu::Rodzaj::slowa) wczytane += k.slowa;
  }
  if (c.bufor > 0) {
    EXPECT_LE(wczytane, c.strona / 2 + 2 * (c.flash / 2 / c.strona));
  }
  for (const KrokZapisu& k : plan) {
    if (k.rodzaj != KrokZapisu::Rodzaj::blok) continue;
    EXPECT_LE(2 * k.slowa, c.bufor);
    EXPECT_EQ(k.slowo / (c.strona / 2), (k.slowo + k.slowa - 1) / (c.strona / 2)) << k.slowo;
  }

  KatalogTymczasowy k;
  Symulator sim({"--device", c.nazwa, "--firmware", "avr910", "--busy-scale", "0", "--block-size",
                 std::to_string(c.bufor), "--dump-flash", k / "zrzut.bin", "--log", k / "log"});
  ASSERT_TRUE(sim.dziala()) << sim.blad();
  KlientPty port(sim.pty());
  ASSERT_EQ(port.polecenie({'T', c.kod}, 1), Bajty{kCR});
  ASSERT_EQ(port.polecenie({'P'}, 1), Bajty{kCR});
  ASSERT_EQ(port.polecenie({'e'}, 1), Bajty{kCR});
  odegraj(port, plan, obraz);
  port.zamknij();
  ASSERT_EQ(sim.zatrzymaj(), 0);
  std::ifstream f(k / "zrzut.bin", std::ios::binary);
  const Bajty flash((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  ASSERT_EQ(flash.size(), c.flash);
  Bajty oczekiwane(c.flash, 0xFF);
  std::copy(obraz.begin(), obraz.end(), oczekiwane.begin());
  EXPECT_TRUE(flash == oczekiwane) << "seed " << ziarno;
  std::ifstream l(k / "log");
  const std::string log((std::istreambuf_iterator<char>(l)), std::istreambuf_iterator<char>());
  EXPECT_EQ(log.find("straddles"), std::string::npos);
  EXPECT_EQ(log.find("blind wait"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Czesci, PlanStron,
                         ::testing::Values(Czesc{"ATmega8", 0x76, 64, 8192, 64},
                                           Czesc{"ATmega328P", 0x72, 128, 32768, 64},
                                           Czesc{"ATtiny2313", 0x23, 32, 2048, 64},
                                           Czesc{"ATmega8", 0x76, 64, 8192, 0}),
                         [](const ::testing::TestParamInfo<Czesc>& i) {
                           return std::string(i.param.nazwa) + "_bufor" +
                                  std::to_string(i.param.bufor);
                         });

// A full image without 0xFF block ends goes in whole-buffer blocks back to back from
// word 0: the fastest conversation the firmware allows.
TEST(PlanStronPelny, WholeBufferBlocksBackToBack) {
  Bajty obraz(32768);
  for (std::size_t a = 0; a < obraz.size(); ++a) obraz[a] = static_cast<std::uint8_t>(a % 251);
  const auto plan = plan_zapisu_stron(obraz.data(), obraz.size(), 128, 64);
  ASSERT_EQ(plan.size(), 512u);
  for (std::size_t i = 0; i < plan.size(); ++i) {
    EXPECT_EQ(plan[i],
              (KrokZapisu{KrokZapisu::Rodzaj::blok, static_cast<std::uint32_t>(32 * i), 32}));
  }
}

}  // namespace
}  // namespace ostrel::test
