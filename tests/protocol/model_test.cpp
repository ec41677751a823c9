// The dialog model, the lock-mode table and the rules that need no programmer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/uklady.h"
#include "serial/ComDrv32.h"
#include "ui/model/programator.h"

namespace ostrel {
namespace {

struct LicznikWidoku : Widok {
  int okno = 0, dialog = 0, status = 0, pokazany_dialog = 0;
  std::vector<bool> pokaz;
  void okno_zmienione() override { ++okno; }
  void dialog_zmieniony() override { ++dialog; }
  void status_zmieniony(bool p) override {
    ++status;
    pokaz.push_back(p);
  }
  void pokaz_dialog() override { ++pokazany_dialog; }
};

// A programmer object on a port that is never opened.
struct Model : ::testing::Test {
  TCommPortDriver port;
  LicznikWidoku widok;
  Programator p{port, widok};
};

TEST(Postep, RoundsTiesToEven) {
  const int osiem[] = {12, 25, 38, 50, 62, 75, 88, 100};
  for (int i = 1; i <= 8; ++i) EXPECT_EQ(procent(static_cast<std::size_t>(i), 8), osiem[i - 1]);
  EXPECT_EQ(procent(1, 3), 33);
  EXPECT_EQ(procent(2, 3), 67);
  EXPECT_EQ(procent(1, 200), 0);  // 0.5 goes to the even 0
  EXPECT_EQ(procent(3, 200), 2);  // 1.5 goes to 2
  EXPECT_EQ(procent(2047, 2048), 100);
}

TEST(Sygnatura, ReverseOrderUpperCaseWithTrailingBlank) {
  EXPECT_EQ(tekst_sygnatury({0x1E, 0x91, 0x01}), "01 91 1E ");
  EXPECT_EQ(tekst_sygnatury({0x00, 0xab, 0xFF}), "FF AB 00 ");
}

// A three-item list has no row for index 3: nothing changes.
TEST_F(Model, ModeIndexWithoutRowChangesNothing) {
  p.ComboBox1Change(znajdz_uklad("AT90S2313"));
  ASSERT_EQ(p.dialog.mode_items.size(), 3u);
  p.wybierz_tryb(2);
  p.modeChange();
  EXPECT_EQ(p.bity_lock, 249);
  p.dialog.mode_index = 3;
  p.modeChange();
  EXPECT_EQ(p.bity_lock, 249);
  EXPECT_EQ(p.dialog.info, "blokada zapisu i odczytu");
}

TEST_F(Model, LockModeTableFourItems) {
  ASSERT_EQ(p.dialog.mode_items.size(), 4u);  // the layout's list
  const struct {
    const char* opis;
    const char* info;
    int bajt;
  } oczekiwane[] = {
      {"B1 [  ] ; B2 [  ] ; B3 [  ]", "zapis i odczyt możliwy", 255},
      {"B1 [ x ] ;  B2 [  ] ; B3 [  ]", "próbkowanie EA w czasie resetu", 127},
      {"B1 [ x ] ; B2 [ x ] ; B3 [  ]", "jak wyżej + blokada  odczytu ", 63},
      {"B1 [ x ] ; B2 [ x ] ; B3 [ x ]", "jak wyżej + blokada zapisu ", 31},
  };
  for (int i = 0; i < 4; ++i) {
    p.wybierz_tryb(i);
    p.modeChange();
    EXPECT_EQ(p.dialog.opis_modu, oczekiwane[i].opis);
    EXPECT_EQ(p.dialog.info, oczekiwane[i].info);
    EXPECT_EQ(p.bity_lock, oczekiwane[i].bajt);
  }
}

TEST_F(Model, ModeChangeWithoutSelectionChangesNothing) {
  const std::string opis = p.dialog.opis_modu;
  p.modeChange();
  EXPECT_EQ(p.dialog.mode_index, -1);
  EXPECT_EQ(p.dialog.opis_modu, opis);
  EXPECT_EQ(p.bity_lock, 0);
  EXPECT_FALSE(p.tryb_zastosowany);
}

TEST_F(Model, SelectingModeFromCodeDoesNotApplyIt) {
  p.wybierz_tryb(2);
  EXPECT_EQ(p.dialog.mode_index, 2);
  EXPECT_EQ(p.bity_lock, 0);
  EXPECT_EQ(p.dialog.opis_modu, "B1[  ]  ;  B2[  ] ");
  p.wybierz_tryb(7);  // beyond the list: nothing selected
  EXPECT_EQ(p.dialog.mode_index, -1);
}

TEST_F(Model, DeviceSelectionPreparesDialogWithoutApplyingMode) {
  p.wybierz_tryb(1);
  p.modeChange();
  ASSERT_EQ(p.bity_lock, 127);
  p.ustaw_CheckBox1(true);
  p.ComboBox1Change(znajdz_uklad("AT89S8252"));
  EXPECT_EQ(p.kod_ukladu, 134);
  EXPECT_EQ(p.rozmiar_eeprom, kUklady[6].rozmiar_eeprom);
  EXPECT_EQ(p.adresowanie_bajtowe, 1);
  EXPECT_TRUE(p.okno.GroupBox3);
  EXPECT_EQ(p.dialog.mode_items.size(), 4u);
  EXPECT_EQ(p.dialog.CheckBox1.podpis, "");
  EXPECT_EQ(p.dialog.CheckBox2.podpis, "Programowanie SPI (SPIEN)");
  EXPECT_TRUE(p.dialog.CheckBox1.zaznaczone);  // the ticked state survives
  EXPECT_EQ(p.dialog.mode_index, 0);
  EXPECT_EQ(p.bity_lock, 127);  // not applied
  EXPECT_EQ(p.dialog.info, "próbkowanie EA w czasie resetu");

  p.ComboBox1Change(znajdz_uklad("AT89S53"));
  EXPECT_FALSE(p.okno.GroupBox3);
  EXPECT_EQ(p.dialog.CheckBox1.podpis, " ");
  EXPECT_EQ(p.dialog.CheckBox2.podpis, " ");

  p.ComboBox1Change(znajdz_uklad("AT90S1200"));
  p.wybierz_tryb(2);
  p.ComboBox1Change(znajdz_uklad("AT89C51"));
  EXPECT_FALSE(p.okno.GroupBox3);
  EXPECT_EQ(p.rozmiar_eeprom, 0);
  EXPECT_EQ(p.dialog.mode_index, 0);

  // An index beyond the list applies no row and only resets the mode selection.
  p.wybierz_tryb(3);
  p.ComboBox1Change(255);
  EXPECT_EQ(p.kod_ukladu, 12);
  EXPECT_EQ(p.rozmiar_flash, kUklady[0].rozmiar_flash);
  EXPECT_EQ(p.dialog.mode_index, 0);
}

TEST_F(Model, StartUpDefaults) {
  p.domyslne();
  EXPECT_EQ(p.rozmiar_flash, 1024);
  EXPECT_EQ(p.rozmiar_eeprom, 0);
  EXPECT_EQ(p.adresowanie_bajtowe, 0);
  EXPECT_EQ(p.kod_ukladu, 12);
  EXPECT_FALSE(p.okno.GroupBox3);
  EXPECT_EQ(p.okno.ComboBox1_text, "AT89C2051");
  EXPECT_EQ(p.okno.ComboBox1_index, -1);
  EXPECT_EQ(p.dialog.mode_index, -1);
  // The AT89C2051's own list: its two lock bits go in bits 2..1 of the byte written.
  EXPECT_EQ(p.dialog.mode_items, (std::vector<std::string>{"Tryb 0", "Tryb 1", "Tryb 2"}));
  const int bajty[] = {255, 253, 249};
  for (int i = 0; i < 3; ++i) {
    p.wybierz_tryb(i);
    p.modeChange();
    EXPECT_EQ(p.bity_lock, bajty[i]) << i;
  }
}

// The mode index of the settings file comes after the device; one the list does not
// hold (the three-item list has no index 3; 255 and 26 are "none") gives "Tryb 0".
TEST_F(Model, RestoredModeIndexOutsideTheListSelectsModeZero) {
  for (const int indeks : {3, 255, 26, -1}) {
    p.ComboBox1Change(znajdz_uklad("AT90S2313"));
    p.wybierz_tryb(2);
    p.modeChange();
    p.przywroc_tryb(indeks);
    EXPECT_EQ(p.dialog.mode_index, 0) << indeks;
    EXPECT_EQ(p.bity_lock, 255) << indeks;
    EXPECT_EQ(p.dialog.info, "zapis i odczyt możliwy") << indeks;
  }
  p.domyslne();
  p.przywroc_tryb(2);
  EXPECT_EQ(p.dialog.mode_index, 2);
  EXPECT_EQ(p.bity_lock, 249);
}

TEST_F(Model, CheckBoxHandlersRunOnlyOnChange) {
  p.ComboBox1Change(znajdz_uklad("AT90S8515"));
  p.bity_fuse = 255;
  p.ustaw_CheckBox1(true);
  EXPECT_EQ(p.bity_fuse, 0xFE);
  p.bity_fuse = 0x00;  // a handler that ran again would set bit 0
  p.ustaw_CheckBox1(true);
  EXPECT_EQ(p.bity_fuse, 0x00);
  p.ustaw_CheckBox2(true);  // bit 5 cleared
  EXPECT_EQ(p.bity_fuse, 0x00);
  p.ustaw_CheckBox2(false);
  EXPECT_EQ(p.bity_fuse, 0x20);
  p.ustaw_CheckBox1(false);
  EXPECT_EQ(p.bity_fuse, 0x21);
}

TEST_F(Model, CheckBoxHandlersByDeviceFamily) {
  p.ComboBox1Change(znajdz_uklad("AT89S8252"));
  p.bity_fuse = 0x10;
  p.ustaw_CheckBox1(true);  // code 134: the first box only resets the fuse byte
  EXPECT_EQ(p.bity_fuse, 255);
  p.ustaw_CheckBox2(true);  // SPIEN in bit 0
  EXPECT_EQ(p.bity_fuse, 254);
  p.ustaw_CheckBox2(false);
  EXPECT_EQ(p.bity_fuse, 255);

  p.ComboBox1Change(znajdz_uklad("AT89C2051"));
  p.bity_lock = 31;
  p.bity_fuse = 0;
  p.ustaw_CheckBox1(false);  // code 12: both bytes back to 255
  EXPECT_EQ(p.bity_lock, 255);
  EXPECT_EQ(p.bity_fuse, 255);
  p.bity_lock = 31;
  p.ustaw_CheckBox2(true);
  EXPECT_EQ(p.bity_lock, 255);
}

TEST_F(Model, StatusConfirmationSwitchesDemoOnlyAfterFailedSearch) {
  p.potwierdz_status();
  EXPECT_EQ(p.tryb_demo, 0);
  EXPECT_FALSE(p.status.widoczny);
  p.brak_programatora = 1;
  p.potwierdz_status();
  EXPECT_EQ(p.tryb_demo, 1);
}

TEST_F(Model, KomunikatCutsTo255Characters) {
  p.komunikat(std::string(300, 'x'));
  EXPECT_EQ(p.status.Label1.size(), 255u);
  std::string polskie;
  for (int i = 0; i < 300; ++i) polskie += "ż";
  p.komunikat(polskie);
  EXPECT_EQ(p.status.Label1.size(), 255u * 2);
  EXPECT_TRUE(p.status.widoczny);
  EXPECT_TRUE(widok.pokaz.back());
}

// Before the demo confirmation the port is closed: every operation gives up at once
// instead of waiting without end.
TEST_F(Model, ClosedPortAbandonsAtOnce) {
  p.domyslne();
  p.Button1Click();
  EXPECT_EQ(p.status.Label1, "Programator nie odpowiada");
  p.status.Label1.clear();
  EXPECT_EQ(p.Button2Click(), Wynik::brak_odpowiedzi);
  EXPECT_EQ(p.status.Label1, "Programator nie odpowiada");
  EXPECT_EQ(p.Button3Click(), Wynik::brak_odpowiedzi);
  EXPECT_EQ(p.zaawansowane(), Wynik::brak_odpowiedzi);
  EXPECT_EQ(widok.pokazany_dialog, 0);
  p.nazwa_pliku = std::string(OSTREL_BINARY_DIR) + "/nie-powstanie.hex";
  EXPECT_EQ(p.operacja_pamieci(0), Wynik::brak_odpowiedzi);
  FILE* f = std::fopen(p.nazwa_pliku.c_str(), "rb");
  EXPECT_EQ(f, nullptr);  // an abandoned read writes no file
  if (f) std::fclose(f);
}

TEST_F(Model, DemoModeDoesNothingButStillOpensDialog) {
  p.domyslne();
  p.ComboBox1Change(znajdz_uklad("AT90S2313"));
  p.tryb_demo = 1;
  p.bity_fuse = 3;
  p.nazwa_pliku = "/nie/ma/takiego.hex";
  for (int kod = 0; kod <= 5; ++kod) EXPECT_EQ(p.operacja_pamieci(kod), Wynik::demo);
  EXPECT_EQ(p.status.Label1, "Szukam programatora ...");  // no message, no HEX conversion
  EXPECT_EQ(p.Button1Click(), Wynik::demo);
  EXPECT_EQ(p.Button2Click(), Wynik::demo);
  EXPECT_EQ(p.Button3Click(), Wynik::demo);
  EXPECT_EQ(p.zaawansowane(), Wynik::demo);
  EXPECT_EQ(p.bity_fuse, 255);
  EXPECT_EQ(p.bity_lock, 255);  // the mode selected by the device choice was applied
  EXPECT_EQ(widok.pokazany_dialog, 1);
}

TEST_F(Model, FileErrorsBeforeAnyTraffic) {
  p.domyslne();
  p.nazwa_pliku = "/nie/ma/takiego.hex";
  EXPECT_EQ(p.operacja_pamieci(2), Wynik::blad_pliku);
  EXPECT_EQ(p.status.Label1, "Nie można otworzyć pliku /nie/ma/takiego.hex");
  // The device has no EEPROM: nothing to do.
  EXPECT_EQ(p.operacja_pamieci(3), Wynik::nic);
}

}  // namespace
}  // namespace ostrel
