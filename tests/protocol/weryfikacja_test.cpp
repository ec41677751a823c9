// A byte after a verify's last answer fails the verify as it fails a read: every answer
// after a stray byte is moved along by one, so a comparison that passed proves nothing.
#include <gtest/gtest.h>

#include "protocol/stanowisko.h"

namespace ostrel::test {
namespace {

constexpr int kAT90S2313 = 9;

struct Typ {
  const char* nazwa;
  TypProgramatora typ;
  std::vector<std::string> opcje;  // the simulator's firmware
  // --garbage-every: the verify's last answer, on its own and after programming.
  const char* smieci_weryfikacja;
  const char* smieci_programowanie;
};

class NadmiarWeryfikacji : public ::testing::TestWithParam<Typ> {};

// Chip and file hold 0xA5, the stray byte's own value: shifted by it, the last answer
// still compares equal, and only the byte left over after it tells.
TEST_P(NadmiarWeryfikacji, StrayByteFailsAVerifyThatComparedEqual) {
  const Typ& t = GetParam();
  KatalogTymczasowy k;
  const Bajty obraz(16, 0xA5);
  zapisz_plik(k / "chip.hex", hex_z(obraz));
  for (const int kod : {2, 4}) {
    SCOPED_TRACE(kod == 2 ? "verify" : "program");
    std::vector<std::string> opcje = {
        "--device",        "AT90S2313",
        "--flash",         k / "chip.hex",
        "--garbage-every", kod == 2 ? t.smieci_weryfikacja : t.smieci_programowanie};
    opcje.insert(opcje.end(), t.opcje.begin(), t.opcje.end());
    Stanowisko s(opcje);
    s.p.ustaw_typ(t.typ);
    ASSERT_TRUE(s.uruchom(kAT90S2313)) << s.sim.blad();
    zapisz_plik(s.pracownia / "a.hex", hex_z(obraz));
    s.p.nazwa_pliku = s.pracownia / "a.hex";
    s.p.dialog.kasowanie = false;

    EXPECT_EQ(s.p.operacja_pamieci(kod), Wynik::brak_odpowiedzi);
    EXPECT_EQ(s.p.status.Label1, kNadmiaroweDane);
    s.zatrzymaj();
    const std::vector<Krok> kroki = s.kroki_po_wyszukaniu();
    ASSERT_GE(kroki.size(), 2u);
    const Krok& ostatni_odczyt = kroki[kroki.size() - 2];
    EXPECT_NE(ostatni_odczyt.host.front(), 'L');
    EXPECT_EQ(ostatni_odczyt.odp.front(), 0xA5) << "the stray byte before the last read";
    EXPECT_EQ(kroki.back().host, Bajty{'L'}) << "programming mode left";
  }
}

INSTANTIATE_TEST_SUITE_P(Typy, NadmiarWeryfikacji,
                         ::testing::Values(Typ{"Ostrel", TypProgramatora::ostrel, {}, "13", "37"},
                                           Typ{"Avr910",
                                               TypProgramatora::avr910,
                                               {"--firmware", "avr910", "--busy-scale", "0"},
                                               "8",
                                               "10"}),
                         [](const auto& info) { return std::string(info.param.nazwa); });

}  // namespace
}  // namespace ostrel::test
