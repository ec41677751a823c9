// The scheduler with its real 2000 ms timer: the last button wins, operation 7 clears the
// progress display, a failed conversion arms nothing, the buttons' file handling.
#include "hex/objasnienie.h"
#include "pomoc.h"
#include "ui/ustawienia.h"

namespace ostrel::test {
namespace {

class Harmonogram : public ::testing::Test {
 protected:
  void SetUp() override {
    uruchom_start(o);
    o.Form3.Button1.click();  // no programmer: demo mode
    plik = konfiguracja.plik("program.hex");
    Konfiguracja::zapisz_plik(plik, hex_licznik(64));
    // Every tick is recorded with the code it runs.
    QObject::connect(&o.Form1.Timer1, &QTimer::timeout, [this] {
      tyki.push_back({o.Form1.operacja, zegar.elapsed()});
    });
    zegar.start();
  }
  struct Tyk {
    int kod;
    qint64 ms;
  };
  Konfiguracja konfiguracja;
  Okna o;
  std::string plik;
  std::vector<Tyk> tyki;
  QElapsedTimer zegar;
};

TEST_F(Harmonogram, LastButtonWithinTheDelayWins) {
  o.Form1.wybor_pliku = [&](QFileDialog&) { return QString::fromStdString(plik); };
  o.Form1.Button4.click();  // verify flash, asks for the file
  EXPECT_EQ(o.Form1.operacja, TForm1::kWeryfikujFlash);
  EXPECT_EQ(o.Form1.Label4.text(), QStringLiteral("Weryfikacja"));
  czekaj_ms(500);
  ASSERT_TRUE(tyki.empty());
  o.Form1.wybor_pliku = nullptr;  // the file is chosen: no dialog any more
  const qint64 drugi = zegar.elapsed();
  o.Form1.Button3.click();  // program flash
  EXPECT_EQ(o.Form1.Label2.text(), QStringLiteral("Kasowanie"));
  EXPECT_EQ(o.Form1.Label3.text(), QStringLiteral("Programowanie"));
  ASSERT_TRUE(czekaj_az([&] { return !tyki.empty(); }));
  czekaj_na_prace(o);
  czekaj_ms(300);
  ASSERT_EQ(tyki.size(), 1u);
  EXPECT_EQ(tyki[0].kod, TForm1::kProgramujFlash);
  EXPECT_GE(tyki[0].ms - drugi, 1900) << "2000 ms after the second press";
  EXPECT_TRUE(o.Form1.isEnabled());
}

TEST_F(Harmonogram, UntickedEraseLeavesOneBlank) {
  o.Form1.ComboBox1.setCurrentIndex(6);
  o.Form1.ComboBox1Change();
  o.Form2.kasowanie.click();
  ASSERT_FALSE(o.Form1.programator.dialog.kasowanie);
  o.Form1.wybor_pliku = [&](QFileDialog&) { return QString::fromStdString(plik); };
  o.Form1.Button3.click();
  EXPECT_EQ(o.Form1.Label2.text(), QStringLiteral(" "));
  o.Form1.Button6.click();  // the EEPROM button leaves Label2 alone
  EXPECT_EQ(o.Form1.Label2.text(), QStringLiteral(" "));
  EXPECT_EQ(o.Form1.operacja, TForm1::kProgramujEeprom);
}

TEST_F(Harmonogram, OperationSevenClearsTheBarAndLabelsTwoSecondsLater) {
  o.Form1.wybor_pliku = [&](QFileDialog&) { return QString::fromStdString(plik); };
  o.Form1.Button3.click();
  // As a transfer would leave it.
  o.Form1.programator.okno.ProgressBar2 = 100;
  o.Form1.pokaz_stan();
  ASSERT_TRUE(czekaj_az([&] { return tyki.size() == 1; }));
  czekaj_na_prace(o);
  EXPECT_TRUE(o.Form1.Timer1.isActive());
  EXPECT_EQ(o.Form1.operacja, TForm1::kWyczysc);
  EXPECT_EQ(o.Form1.ProgressBar2.value(), 100);
  EXPECT_EQ(o.Form1.Label3.text(), QStringLiteral("Programowanie"));
  ASSERT_TRUE(czekaj_az([&] { return tyki.size() == 2; }));
  EXPECT_GE(tyki[1].ms - tyki[0].ms, 1900);
  EXPECT_EQ(o.Form1.ProgressBar2.value(), 0);
  EXPECT_EQ(o.Form1.Label2.text(), QString());
  EXPECT_EQ(o.Form1.Label3.text(), QString());
  EXPECT_EQ(o.Form1.Label4.text(), QString());
  EXPECT_FALSE(o.Form1.Timer1.isActive()) << "the bar is at 0: nothing more is armed";
}

TEST_F(Harmonogram, BackgroundClickZeroesTheBarButOperationSevenStillClearsLabels) {
  o.Form1.programator.okno.ProgressBar2 = 2;
  o.Form1.programator.okno.Label2 = "17";
  o.Form1.pokaz_stan();
  tyknij(o);  // an operation ends with the bar above 0
  ASSERT_EQ(o.Form1.operacja, TForm1::kWyczysc);
  // A click on a label is not a click on the window.
  kliknij(o.Form1, o.Form1.Label3.geometry().center());
  EXPECT_EQ(o.Form1.ProgressBar2.value(), 2);
  const QPoint tlo(4, 330);
  ASSERT_EQ(o.Form1.childAt(tlo), nullptr);
  kliknij(o.Form1, tlo);
  EXPECT_EQ(o.Form1.ProgressBar2.value(), 0);
  ASSERT_TRUE(czekaj_az([&] { return !o.Form1.Timer1.isActive(); }));
  EXPECT_EQ(o.Form1.Label2.text(), QString());
}

class HarmonogramBezDemo : public ::testing::Test {
 protected:
  Konfiguracja konfiguracja;
  Okna o;
};

// The window says what the command-line tool says: the reader's text first, then the
// line, the cause and the fix.
TEST_F(HarmonogramBezDemo, FailedConversionArmsNothingWhenTheBarIsZero) {
  // A programmer, so the scheduler loads and converts the file.
  Symulator sim({"--com", "2", "--replace"}, kProgramSymulatora, konfiguracja.sciezka());
  ASSERT_TRUE(sim.dziala()) << sim.blad();
  uruchom_start(o);
  o.Form3.Button1.click();
  ASSERT_EQ(o.Form1.programator.tryb_demo, 0);
  const std::string zly = konfiguracja.plik("zly.hex");
  Konfiguracja::zapisz_plik(zly, ":0400000001020304F1\r\n:00000001FF\r\n");
  o.Form1.wybor_pliku = [&](QFileDialog&) { return QString::fromStdString(zly); };
  o.Form1.Button3.click();
  ASSERT_TRUE(czekaj_az([&] { return o.Form3.isVisible(); }));
  czekaj_na_prace(o);
  Strumien obraz;
  std::string tekst;
  PrzyczynaHex przyczyna;
  ASSERT_NE(wczytaj_hex(zly, obraz, tekst, static_cast<std::size_t>(-1), &przyczyna), Wynik::ok);
  ASSERT_FALSE(objasnienie_hex(przyczyna).empty());
  EXPECT_EQ(o.Form3.Label1.text(),
            QString::fromStdString(tekst + "\n" + objasnienie_hex(przyczyna)));
  EXPECT_FALSE(o.Form1.Timer1.isActive());
  EXPECT_TRUE(o.Form1.isEnabled());
  EXPECT_EQ(o.Form1.ProgressBar2.value(), 0);
  EXPECT_EQ(o.Form1.Label3.text(), QStringLiteral("Programowanie"));
  EXPECT_EQ(o.Form1.Label4.text(), QStringLiteral("Weryfikacja"));
}

TEST_F(HarmonogramBezDemo, BrowseChecksTheFileAtOnce) {
  uruchom_start(o);
  o.Form3.Button1.click();
  o.Form1.Timer1.stop();
  const std::string zly = konfiguracja.plik("zly.hex");
  Konfiguracja::zapisz_plik(zly, "to nie jest HEX\r\n");
  o.Form1.wybor_pliku = [&](QFileDialog&) { return QString::fromStdString(zly); };
  o.Form1.Button1.click();
  EXPECT_EQ(o.Form1.programator.nazwa_pliku, zly);
  EXPECT_TRUE(o.Form3.isVisible());
  EXPECT_NE(o.Form3.Label1.text(), QStringLiteral("Nie znaleziono programatora - tryb demo"));
  EXPECT_FALSE(o.Form1.Timer1.isActive()) << "browsing arms nothing";

  // A file that is not there is named in the message.
  const std::string brak = konfiguracja.plik("brak.hex");
  o.Form1.wybor_pliku = [&](QFileDialog&) { return QString::fromStdString(brak); };
  o.Form1.Button1.click();
  EXPECT_EQ(o.Form3.Label1.text(),
            QStringLiteral("Nie można otworzyć pliku ") + QString::fromStdString(brak));

  // Cancelling keeps the dialog's last name, which stays the current file.
  o.Form1.wybor_pliku = [&](QFileDialog&) { return QString(); };
  o.Form1.Button1.click();
  EXPECT_EQ(o.Form1.programator.nazwa_pliku, brak);
}

TEST_F(HarmonogramBezDemo, ProgramWithoutAFileAndNoChoiceDoesNothing) {
  o.Form1.Timer1.stop();
  o.Form1.setEnabled(true);
  int dialogi = 0;
  o.Form1.wybor_pliku = [&](QFileDialog&) {
    ++dialogi;
    return QString();
  };
  o.Form1.Button3.click();
  o.Form1.Button4.click();
  o.Form1.Button5.click();
  EXPECT_EQ(dialogi, 3);
  EXPECT_FALSE(o.Form1.Timer1.isActive());
  EXPECT_EQ(o.Form1.Label3.text(), QString(21, ' '));
}

TEST_F(HarmonogramBezDemo, OverlongNameIsRefusedNotCut) {
  o.Form1.Timer1.stop();
  o.Form1.setEnabled(true);
  const std::string dluga = "/tmp/" + std::string(260, 'a') + ".hex";
  o.Form1.wybor_pliku = [&](QFileDialog&) { return QString::fromStdString(dluga); };
  o.Form1.Button5.click();
  EXPECT_TRUE(o.Form1.programator.nazwa_pliku.empty());
  EXPECT_FALSE(o.Form1.Timer1.isActive());
  EXPECT_TRUE(o.Form3.isVisible());
  EXPECT_TRUE(o.Form3.Label1.text().contains(QStringLiteral("255")));
  // Exactly 255 characters (Polish letters count one each) is accepted.
  std::string granica = "/tmp/";
  while (liczba_znakow(granica) < 251) granica += "ż";
  granica += ".hex";
  ASSERT_EQ(liczba_znakow(granica), 255u);
  o.Form1.wybor_pliku = [&](QFileDialog&) { return QString::fromStdString(granica); };
  o.Form1.Button5.click();
  EXPECT_EQ(o.Form1.programator.nazwa_pliku, granica);
  EXPECT_TRUE(o.Form1.Timer1.isActive());
  o.Form1.Timer1.stop();

  // Browsing to the long name: refused, and forgotten by the dialog, so a cancel later
  // neither repeats the message nor loses the current file.
  o.Form3.Button1.click();
  o.Form1.wybor_pliku = [&](QFileDialog&) { return QString::fromStdString(dluga); };
  o.Form1.Button1.click();
  EXPECT_TRUE(o.Form3.isVisible());
  EXPECT_EQ(o.Form1.OpenDialog1.FileName.toStdString(), granica);
  o.Form3.Button1.click();
  o.Form1.wybor_pliku = [&](QFileDialog&) { return QString(); };
  o.Form1.Button1.click();
  // (The file itself is not there: that is the message now, not the name's.)
  EXPECT_FALSE(o.Form3.Label1.text().contains(QStringLiteral("255")));
  EXPECT_EQ(o.Form1.programator.nazwa_pliku, granica);
}

// The start-up's tick falls while the file dialog of "Przeglądaj" is open: it runs once
// the handler has taken the chosen file, which the start-up then keeps.
TEST_F(HarmonogramBezDemo, TickHeldByAFileDialogRunsAfterItsHandler) {
  kliknij(o.Form3.Label1, QPoint(100, 5));
  ASSERT_TRUE(o.Form1.isEnabled());
  const std::string plik = konfiguracja.plik("wybrany.hex");
  Konfiguracja::zapisz_plik(plik, hex_licznik(16));
  o.Form1.wybor_pliku = [&](QFileDialog&) {
    o.Form1.Timer1Timer();
    return QString::fromStdString(plik);
  };
  o.Form1.Button1.click();
  o.Form1.wybor_pliku = nullptr;
  ASSERT_TRUE(czekaj_az([&] { return o.Form1.programator.brak_programatora == 1; }, 10000))
      << "the start-up never ran";
  czekaj_na_prace(o);
  EXPECT_EQ(o.Form1.programator.nazwa_pliku, plik);
  EXPECT_EQ(o.Form1.Label1.text().toStdString(), plik);
}

TEST_F(HarmonogramBezDemo, ButtonBeforeTheStartUpStillSearchesFirst) {
  // The last run used AT89S8252 and another file.
  konfiguracja.zapisz_ustawienia({6, 1, '/', 'x', '.', 'h', 'e', 'x'});
  // The text is clicked within the first 2000 ms: the window is enabled early...
  kliknij(o.Form3.Label1, QPoint(100, 5));
  ASSERT_TRUE(o.Form1.isEnabled());
  // ...and the operator picks a device and a file and presses a button, which replaces
  // the pending start-up.
  o.Form1.ComboBox1.setCurrentIndex(11);
  o.Form1.ComboBox1Change();
  const std::string plik = konfiguracja.plik("wybrany.hex");
  Konfiguracja::zapisz_plik(plik, hex_licznik(16));
  o.Form1.wybor_pliku = [&](QFileDialog&) { return QString::fromStdString(plik); };
  o.Form1.Button4.click();
  ASSERT_EQ(o.Form1.operacja, TForm1::kWeryfikujFlash);
  tyknij(o);
  // The search ran (and found nothing here), the settings came back, and the operator's
  // own choices stayed.
  EXPECT_EQ(o.Form1.programator.brak_programatora, 1);
  EXPECT_EQ(o.Form1.ComboBox1.currentIndex(), 11);
  EXPECT_EQ(o.Form1.programator.kod_ukladu, 56);
  EXPECT_EQ(o.Form1.programator.nazwa_pliku, plik);
  // The operation itself then found no open port.
  EXPECT_EQ(o.Form3.Label1.text(), QString::fromUtf8(kNieOdpowiada));
  EXPECT_TRUE(o.Form1.isEnabled());
  // The start-up does not run a second time.
  o.Form1.Button4.click();
  tyknij(o);
  EXPECT_EQ(o.Form1.ComboBox1.currentIndex(), 11);
}

}  // namespace
}  // namespace ostrel::test
