// The advanced dialog's programmer group: type and speed survive a restart of the
// program in their own file; an absent or unreadable file gives the defaults.
#include <gtest/gtest.h>

#include <filesystem>

#include "ui/pomoc.h"
#include "ui/ustawienia_programatora.h"

namespace ostrel::test {
namespace {

void oczekuj_domyslnych(Okna& o) {
  EXPECT_EQ(o.Form1.programator.typ(), TypProgramatora::ostrel);
  EXPECT_EQ(o.Form1.programator.predkosc, br19200);
  EXPECT_EQ(o.Form2.typ.currentText(), QStringLiteral("Ostrel"));
  EXPECT_EQ(o.Form2.predkosc.currentText(), QStringLiteral("19200"));
}

TEST(ProgramatorOkna, TypeAndSpeedSurviveARestart) {
  Konfiguracja k;
  const std::vector<std::uint8_t> ostrel_cf = {6, 2, 'x'};
  k.zapisz_ustawienia(ostrel_cf);
  {
    Okna o;
    uruchom_start(o);
    oczekuj_domyslnych(o);
    o.Form2.typ.setCurrentIndex(1);
    o.Form2.typChange();
    o.Form2.predkosc.setCurrentIndex(3);
    o.Form2.predkoscChange();
    o.Form1.close();
  }
  EXPECT_EQ(k.ustawienia(), ostrel_cf) << "Ostrel.cf keeps its own layout";
  Okna o;
  uruchom_start(o);
  EXPECT_EQ(o.Form1.programator.typ(), TypProgramatora::avr910);
  EXPECT_EQ(o.Form1.programator.predkosc, br115200);
  EXPECT_EQ(o.Form1.CommPortDriver1.ComPortSpeed(), br115200) << "the search's speed";
  EXPECT_EQ(o.Form2.typ.currentText(), QStringLiteral("AVR910"));
  EXPECT_EQ(o.Form2.predkosc.currentText(), QStringLiteral("115200"));
}

TEST(ProgramatorOkna, AbsentOrUnreadableFileGivesTheDefaults) {
  Konfiguracja k;
  const std::string plik = sciezka_ustawien_programatora();
  ASSERT_EQ(plik, k.sciezka() + "/ostrel/Programator.cf");
  {
    Okna o;  // absent
    uruchom_start(o);
    oczekuj_domyslnych(o);
  }
  Konfiguracja::zapisz_plik(plik, std::string("typ=avr911\npredkosc=9600\n\x1A\xFF"));
  {
    Okna o;
    uruchom_start(o);
    oczekuj_domyslnych(o);
  }
  std::filesystem::remove(plik);
  std::filesystem::create_directory(plik);  // cannot be read as a file
  Okna o;
  uruchom_start(o);
  oczekuj_domyslnych(o);
}

}  // namespace
}  // namespace ostrel::test
