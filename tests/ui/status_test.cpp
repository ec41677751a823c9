// Start-up without a programmer, the status window's OK action (button, text, close box),
// demo mode, messages, the about box and the end of the program.
#include "pomoc.h"

namespace ostrel::test {
namespace {

class Status : public ::testing::Test {
 protected:
  Konfiguracja konfiguracja;
  Okna o;
};

TEST_F(Status, FailedSearchThenOkEntersDemoMode) {
  uruchom_start(o);
  EXPECT_TRUE(o.Form1.isEnabled());
  EXPECT_TRUE(o.Form3.isVisible());
  EXPECT_EQ(o.Form3.Label1.text(), QStringLiteral("Nie znaleziono programatora - tryb demo"));
  EXPECT_TRUE(o.Form3.Button1.isEnabled());
  EXPECT_EQ(o.Form1.programator.brak_programatora, 1);
  EXPECT_EQ(o.Form1.programator.tryb_demo, 0);
  o.Form3.Button1.click();
  EXPECT_EQ(o.Form1.programator.tryb_demo, 1);
  EXPECT_FALSE(o.Form3.isVisible());
  EXPECT_TRUE(o.Form1.isEnabled());
  // A later message brings the window back with OK enabled.
  o.Form1.komunikat(QStringLiteral("Błąd sumy kontrolnej"));
  EXPECT_TRUE(o.Form3.isVisible());
  EXPECT_EQ(o.Form3.Label1.text(), QStringLiteral("Błąd sumy kontrolnej"));
  EXPECT_TRUE(o.Form3.Button1.isEnabled());
}

TEST_F(Status, CloseBoxActsAsOk) {
  uruchom_start(o);
  // Closing without demo mode would leave operations waiting on a port never opened.
  o.Form3.close();
  EXPECT_FALSE(o.Form3.isVisible());
  EXPECT_EQ(o.Form1.programator.tryb_demo, 1);
}

TEST_F(Status, TextClickBeforeTheSearchEnablesTheMainWindowOnly) {
  ASSERT_FALSE(o.Form1.isEnabled());
  ASSERT_FALSE(o.Form3.Button1.isEnabled());
  kliknij(o.Form3.Label1, QPoint(100, 5));
  EXPECT_FALSE(o.Form3.isVisible());
  EXPECT_TRUE(o.Form1.isEnabled());
  EXPECT_EQ(o.Form1.programator.tryb_demo, 0);
  EXPECT_FALSE(o.Form3.Button1.isEnabled());
  // The search shows the window again when it starts.
  uruchom_start(o);
  EXPECT_TRUE(o.Form3.isVisible());
  EXPECT_EQ(o.Form1.programator.tryb_demo, 0);
  // A click on the text works like OK while the button is disabled, too.
  kliknij(o.Form3.Label1, QPoint(100, 5));
  EXPECT_EQ(o.Form1.programator.tryb_demo, 1);
}

// OK while the search is still running is taken when it ends: no programmer, demo mode,
// and a read afterwards neither waits for a port nor says that nothing answers.
TEST_F(Status, OkDuringTheSearchEntersDemoModeWhenItEnds) {
  o.Form1.Timer1Timer();
  ASSERT_TRUE(o.Form1.zajety());
  kliknij(o.Form3.Label1, QPoint(100, 5));
  czekaj_na_prace(o);
  EXPECT_EQ(o.Form3.Label1.text(), QStringLiteral("Nie znaleziono programatora - tryb demo"));
  const std::string plik = konfiguracja.plik("odczyt.hex");
  o.Form1.wybor_pliku = [&](QFileDialog&) { return QString::fromStdString(plik); };
  o.Form1.Button5.click();
  ASSERT_EQ(o.Form1.operacja, TForm1::kCzytajFlash);
  tyknij(o);
  EXPECT_NE(o.Form3.Label1.text().toStdString(), kNieOdpowiada);
  EXPECT_FALSE(std::filesystem::exists(plik));
}

TEST_F(Status, DemoModeRunsNoOperationButKeepsTheFileChoice) {
  uruchom_start(o);
  o.Form3.Button1.click();
  ASSERT_EQ(o.Form1.programator.tryb_demo, 1);
  const std::string plik = konfiguracja.plik("odczyt.hex");
  o.Form1.wybor_pliku = [&](QFileDialog&) { return QString::fromStdString(plik); };
  o.Form1.Button5.click();
  EXPECT_EQ(o.Form1.programator.nazwa_pliku, plik);
  EXPECT_EQ(o.Form1.Label1.text(), QString::fromStdString(plik));
  ASSERT_TRUE(czekaj_az([&] { return !o.Form1.Timer1.isActive(); }));
  czekaj_na_prace(o);
  EXPECT_FALSE(std::filesystem::exists(plik)) << "a read in demo mode writes no file";
  EXPECT_EQ(o.Form1.ProgressBar2.value(), 0);
  EXPECT_EQ(o.Form3.Label1.text(), QString::fromUtf8(kDemoNicNieWyslano));
  // The advanced dialog still opens, untouched by any exchange.
  o.Form1.Button9.click();
  czekaj_na_prace(o);
  EXPECT_TRUE(o.Form2.isVisible());
  EXPECT_EQ(o.Form2.Label6.text(), QStringLiteral("Sygnatura"));

  // A programmer plugged in later is found by the next operation, without a restart.
  Symulator sim({"--com", "2", "--replace"}, kProgramSymulatora, konfiguracja.sciezka());
  ASSERT_TRUE(sim.dziala()) << sim.blad();
  o.Form1.Button5.click();
  o.Form1.Timer1Timer();
  czekaj_na_prace(o);
  EXPECT_EQ(o.Form1.programator.tryb_demo, 0);
  EXPECT_TRUE(std::filesystem::exists(plik)) << o.Form3.Label1.text().toStdString();
}

TEST_F(Status, AboutBoxIsOneBoxBroughtToTheFront) {
  uruchom_start(o);
  o.Form1.Button2.click();
  EXPECT_TRUE(o.Form4.isVisible());
  o.Form1.Button2.click();
  EXPECT_TRUE(o.Form4.isVisible());
  int pudelka = 0;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (qobject_cast<TForm4*>(w) != nullptr && w->isVisible()) ++pudelka;
  }
  EXPECT_EQ(pudelka, 1);
  EXPECT_TRUE(o.Form1.isEnabled()) << "not modal";
  o.Form4.Button1.click();
  EXPECT_FALSE(o.Form4.isVisible());
  o.Form1.Button2.click();
  o.Form4.close();
  EXPECT_FALSE(o.Form4.isVisible());
}

TEST_F(Status, KoniecClosesTheProgram) {
  uruchom_start(o);
  o.Form1.Button2.click();
  int zamkniecia = 0;
  QObject::connect(&o.Form1, &TForm1::zamkniete, [&] { ++zamkniecia; });
  o.Form1.show();
  o.Form1.Button10.click();
  EXPECT_EQ(zamkniecia, 1);
  EXPECT_FALSE(o.Form1.isVisible());
  EXPECT_FALSE(o.Form4.isVisible());
  EXPECT_FALSE(o.Form3.isVisible());
  // With no file name set, nothing was written.
  EXPECT_FALSE(std::filesystem::exists(konfiguracja.plik_ustawien()));
}

}  // namespace
}  // namespace ostrel::test
