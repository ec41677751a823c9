// Choosing a device in the main window: the selection state, the EEPROM group, and the
// advanced dialog's mode list and fuse captions.
#include "devices/uklady.h"
#include "pomoc.h"

namespace ostrel::test {
namespace {

class Wybor : public ::testing::Test {
 protected:
  void wybierz(int i) {
    o.Form1.ComboBox1.setCurrentIndex(i);
    emit o.Form1.ComboBox1.activated(i);
  }
  Konfiguracja konfiguracja;
  Okna o;
};

struct Wiersz {
  int indeks;
  unsigned flash, eeprom, bajtowo, kod;
  bool eeprom_grupa;
  int tryby;
  const char* c1;
  const char* c2;
};

TEST_F(Wybor, EveryRowAppliesItsValues) {
  // Sizes as the device table carries them (the parts' real memories).
  const Wiersz tabela[] = {
      {0, 4096, 0, 1, 12, false, 4, "", ""},
      {1, 8192, 0, 1, 12, false, 4, "", ""},
      {2, 20480, 0, 1, 12, false, 4, "", ""},
      {3, 512, 0, 0, 12, false, 3, "", ""},
      {4, 1024, 0, 0, 12, false, 3, "", ""},
      {5, 2048, 0, 0, 12, false, 3, "", ""},
      {6, 8192, 2048, 1, 134, true, 4, "", "Programowanie SPI (SPIEN)"},
      {7, 12288, 0, 1, 12, false, 4, " ", " "},
      {8, 512, 64, 0, 19, true, 3, "Wewnętrzny oscylator (RCEN)", "Programowanie SPI (SPIEN)"},
      {9, 1024, 128, 0, 32, true, 3, "Szybki start (FSTRT)", "Programowanie SPI (SPIEN)"},
      {10, 2048, 256, 0, 40, true, 3, "Szybki start (FSTRT)", "Programowanie SPI (SPIEN)"},
      {11, 4096, 512, 0, 56, true, 3, "Szybki start (FSTRT)", "Programowanie SPI (SPIEN)"},
  };
  const Programator& p = o.Form1.programator;
  for (const auto& w : tabela) {
    SCOPED_TRACE(w.indeks);
    wybierz(w.indeks);
    EXPECT_EQ(p.rozmiar_flash, w.flash);
    EXPECT_EQ(p.rozmiar_eeprom, w.eeprom);
    EXPECT_EQ(p.adresowanie_bajtowe, w.bajtowo);
    EXPECT_EQ(p.kod_ukladu, w.kod);
    EXPECT_EQ(o.Form1.GroupBox3.isEnabledTo(&o.Form1), w.eeprom_grupa);
    EXPECT_EQ(o.Form1.ComboBox1.currentIndex(), w.indeks);
    ASSERT_EQ(o.Form2.mode.count(), w.tryby);
    EXPECT_EQ(o.Form2.mode.itemText(w.tryby - 1), QStringLiteral("Tryb %1").arg(w.tryby - 1));
    EXPECT_EQ(o.Form2.mode.currentIndex(), 0);
    EXPECT_EQ(o.Form2.CheckBox1.text(), QString::fromUtf8(w.c1));
    EXPECT_EQ(o.Form2.CheckBox2.text(), QString::fromUtf8(w.c2));
  }
}

TEST_F(Wybor, SelectionResetsTheModeWithoutApplyingIt) {
  wybierz(6);
  o.Form2.mode.setCurrentIndex(2);
  emit o.Form2.mode.activated(2);
  ASSERT_EQ(o.Form1.programator.bity_lock, 63);
  ASSERT_EQ(o.Form2.info.text(), QStringLiteral("jak wyżej + blokada  odczytu "));
  // The same device again still goes back to "Tryb 0", and modeChange does not run.
  wybierz(6);
  EXPECT_EQ(o.Form2.mode.currentIndex(), 0);
  EXPECT_EQ(o.Form2.mode.currentText(), QStringLiteral("Tryb 0"));
  EXPECT_EQ(o.Form1.programator.bity_lock, 63);
  EXPECT_EQ(o.Form2.info.text(), QStringLiteral("jak wyżej + blokada  odczytu "));
  EXPECT_EQ(o.Form2.opis_modu.text(), QStringLiteral("B1 [ x ] ; B2 [ x ] ; B3 [  ]"));
}

TEST_F(Wybor, TickedBoxStaysTickedWhenItsCaptionEmpties) {
  wybierz(8);
  o.Form2.CheckBox1.click();
  ASSERT_TRUE(o.Form2.CheckBox1.isChecked());
  wybierz(0);
  EXPECT_TRUE(o.Form2.CheckBox1.isChecked());
  EXPECT_EQ(o.Form2.CheckBox1.text(), QString());
  // ...and the EEPROM group is disabled again with no EEPROM left.
  EXPECT_FALSE(o.Form1.GroupBox3.isEnabledTo(&o.Form1));
  EXPECT_EQ(o.Form1.programator.rozmiar_eeprom, 0);
}

TEST_F(Wybor, DialogControlsDriveTheModel) {
  wybierz(11);
  const Programator& p = o.Form1.programator;
  o.Form2.CheckBox2.click();
  EXPECT_TRUE(p.dialog.CheckBox2.zaznaczone);
  o.Form2.CheckBox2.click();
  EXPECT_FALSE(p.dialog.CheckBox2.zaznaczone);
  EXPECT_EQ(p.bity_fuse & 0x20, 0x20) << "unticked SPIEN sets bit 5";
  o.Form2.mode.setCurrentIndex(2);
  emit o.Form2.mode.activated(2);
  EXPECT_EQ(p.dialog.mode_index, 2);
  EXPECT_EQ(p.bity_lock, 249);
  EXPECT_EQ(o.Form2.opis_modu.text(), QStringLiteral("B1 [ x ] ; B2 [ x ]"));
  EXPECT_EQ(o.Form2.info.text(), QStringLiteral("blokada zapisu i odczytu"));
}

TEST_F(Wybor, EepromReadDoesNothingWithoutEeprom) {
  int dialogi = 0;
  o.Form1.wybor_pliku = [&](QFileDialog&) {
    ++dialogi;
    return QString::fromStdString(konfiguracja.plik("x.hex"));
  };
  o.Form1.Timer1.stop();
  wybierz(4);
  o.Form1.czytaj_eeprom();
  EXPECT_EQ(dialogi, 0);
  EXPECT_FALSE(o.Form1.Timer1.isActive());
  wybierz(9);
  o.Form1.czytaj_eeprom();
  EXPECT_EQ(dialogi, 1);
  EXPECT_TRUE(o.Form1.Timer1.isActive());
  EXPECT_EQ(o.Form1.operacja, TForm1::kCzytajEeprom);
}

}  // namespace
}  // namespace ostrel::test
