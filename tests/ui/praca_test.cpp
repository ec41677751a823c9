// Operations on the worker thread against ostrel-sim pacing a 19200-baud line: clicks
// made meanwhile start nothing, then or later; a close request waits for the end. Also the
// look of a window closed to input, whole status texts, and Qt's own texts in Polish.
#include <QApplication>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <filesystem>
#include <optional>

#include "pomoc.h"
#include "ui/ustawienia.h"

namespace ostrel::test {
namespace {

class Praca : public ::testing::Test {
 protected:
  void SetUp() override {
    log = konfiguracja.plik("wire.log");
    sim.emplace(std::vector<std::string>{"--com", "1", "--device", "AT89C2051", "--baud", "19200",
                                         "--log", log},
                kProgramSymulatora, konfiguracja.sciezka());
    ASSERT_TRUE(sim->dziala()) << sim->blad();
    o.emplace();
    uruchom_start(*o);
    ASSERT_EQ(o->Form3.Label1.text(), QStringLiteral("Znaleziono programator na com1"));
    o->Form3.Button1.click();
    o->Form1.show();
    plik = konfiguracja.plik("program.hex");
    o->Form1.wybor_pliku = [this](QFileDialog&) { return QString::fromStdString(plik); };
  }
  // The host's commands on the wire from byte `od` on.
  std::map<char, int> polecenia_od(std::size_t od) const {
    const Bajty wszystkie = bajty_dziennika(czytaj_dziennik(log), '<');
    return policz_polecenia(
        Bajty(wszystkie.begin() + static_cast<std::ptrdiff_t>(od), wszystkie.end()));
  }
  std::size_t bajtow_hosta() const { return bajty_dziennika(czytaj_dziennik(log), '<').size(); }
  // Arms flash programming with its button and starts it at once.
  void programuj() {
    o->Form1.Button3.click();
    ASSERT_EQ(o->Form1.operacja, TForm1::kProgramujFlash);
    o->Form1.Timer1Timer();
    ASSERT_TRUE(o->Form1.zajety());
  }

  Konfiguracja konfiguracja{{1}};
  std::optional<Symulator> sim;
  std::optional<Okna> o;
  std::string log, plik;
};

TEST_F(Praca, ClicksDuringAnOperationStartNothingAndACloseWaitsForTheEnd) {
  Konfiguracja::zapisz_plik(plik, hex_licznik(512));
  o->Form1.Button9.click();
  czekaj_na_prace(*o);
  ASSERT_TRUE(o->Form2.isVisible());
  const std::size_t przed = bajtow_hosta();

  programuj();
  ASSERT_TRUE(czekaj_az([&] { return o->Form1.ProgressBar2.value() > 0; }));
  ASSERT_TRUE(o->Form1.zajety());
  // The operator's clicks, as the window system delivers them, on the flash buttons of
  // the main window and on the dialog's read and erase.
  for (QPushButton* b :
       {static_cast<QPushButton*>(&o->Form1.Button3), static_cast<QPushButton*>(&o->Form1.Button4),
        static_cast<QPushButton*>(&o->Form2.Button1),
        static_cast<QPushButton*>(&o->Form2.Button3)}) {
    kliknij(*b, b->rect().center());
  }
  EXPECT_EQ(o->Form1.operacja, TForm1::kProgramujFlash) << "a click armed something";
  czekaj_na_prace(*o);
  EXPECT_EQ(o->Form3.Label1.text(), QStringLiteral("Weryfikacja OK!"));
  // Operation 7 clears the bar 2000 ms later; nothing else comes after it.
  ASSERT_TRUE(czekaj_az([&] { return !o->Form1.Timer1.isActive(); }));
  czekaj_ms(2500);
  EXPECT_FALSE(o->Form1.Timer1.isActive());
  auto polecenia = polecenia_od(przed);
  EXPECT_EQ(polecenia['T'], 2) << "one operation (and its chip check) selected the device";
  EXPECT_EQ(polecenia['e'], 1) << "one erase: the programming's own";
  EXPECT_EQ(polecenia['F'], 0) << "the dialog's read ran";
  EXPECT_EQ(polecenia['R'], 256) << "one verification of 256 words";

  // A close request during an operation: the window closes when it has ended, with the
  // settings saved.
  int zamkniecia = 0;
  QObject::connect(&o->Form1, &TForm1::zamkniete, [&] { ++zamkniecia; });
  programuj();
  // Asked whether to stop, the operator lets it run.
  int pytania = 0;
  o->Form1.odpowiedz_na_pytanie = [&](const QString&) {
    ++pytania;
    return false;
  };
  o->Form1.close();
  EXPECT_EQ(pytania, 1);
  EXPECT_EQ(zamkniecia, 0);
  EXPECT_TRUE(o->Form1.isVisible());
  EXPECT_TRUE(o->Form1.CommPortDriver1.IsOpen());
  czekaj_na_prace(*o);
  EXPECT_EQ(zamkniecia, 1);
  EXPECT_FALSE(o->Form1.isVisible());
  EXPECT_FALSE(o->Form1.CommPortDriver1.IsOpen());
  EXPECT_EQ(o->Form3.Label1.text(), QStringLiteral("Weryfikacja OK!"));
  const Bajty ustawienia = konfiguracja.ustawienia();
  ASSERT_GE(ustawienia.size(), 2u);
  EXPECT_EQ(std::string(ustawienia.begin() + 2, ustawienia.end()), plik);
}

// The AVR910 type asks the programmer's list of parts before the first work after the
// search. Bytes that reached the line before the question (here the answer to a 'V' that
// another client of the line sent) are no part of the list: "8 " would read as the codes
// of the AT90S8515 and the AT90S2313, which this programmer does not list.
TEST(PracaAvr910, BytesOnTheLineBeforeTheListAreNoDeviceCodes) {
  Konfiguracja konfiguracja{{1}};
  Konfiguracja::zapisz_plik(konfiguracja.sciezka() + "/ostrel/Programator.cf",
                            std::string("typ=avr910\n"));
  const std::string log = konfiguracja.plik("wire.log");
  Symulator sim({"--com", "1", "--device", "AT90S8515", "--firmware", "avr910", "--busy-scale", "0",
                 "--device-list", "13", "--sw-version", "8 ", "--log", log},
                kProgramSymulatora, konfiguracja.sciezka());
  ASSERT_TRUE(sim.dziala()) << sim.blad();
  // Opened before the program holds the port for itself.
  KlientPty drugi(sim.pty());
  ASSERT_TRUE(drugi.otwarty());
  Okna o;
  uruchom_start(o);
  ASSERT_EQ(o.Form3.Label1.text(), QStringLiteral("Znaleziono programator na com1"));
  o.Form3.Button1.click();
  o.Form1.ComboBox1.setCurrentIndex(11);
  o.Form1.ComboBox1Change();
  const std::string plik = konfiguracja.plik("f.hex");
  Konfiguracja::zapisz_plik(plik, hex_licznik(64));
  o.Form1.wybor_pliku = [&](QFileDialog&) { return QString::fromStdString(plik); };
  o.Form1.Button3.click();
  ASSERT_EQ(o.Form1.operacja, TForm1::kProgramujFlash);
  // Polling ticks after the search's work: the worker owes the line no drain of its own.
  const std::uint64_t tyki = o.Form1.praca.tyki_pollingu();
  ASSERT_TRUE(czekaj_az([&] { return o.Form1.praca.tyki_pollingu() >= tyki + 2; }, 5000));

  // The event loop stands still from here: no tick takes the answer off the line.
  const auto odpowiedzi = [&] { return bajty_dziennika(czytaj_dziennik(log), '>').size(); };
  const std::size_t przed = odpowiedzi();
  ASSERT_TRUE(drugi.wyslij({'V'}));
  for (int i = 0; i < 500 && odpowiedzi() < przed + 2; ++i) ::usleep(10000);
  ASSERT_EQ(odpowiedzi(), przed + 2) << "the answer to 'V' never went out";
  o.Form1.Timer1Timer();
  czekaj_na_prace(o);
  EXPECT_EQ(o.Form3.Label1.text().toStdString(), "Programator nie obsługuje układu AT90S8515");
  const Bajty host = bajty_dziennika(czytaj_dziennik(log), '<');
  const auto v = std::find(host.rbegin(), host.rend(), 'V');
  ASSERT_NE(v, host.rend());
  EXPECT_EQ(Bajty(v.base(), host.end()), Bajty{'t'}) << "only the list was asked for";
}

// Esc during programming stops it at the next command: 'L' leaves programming mode and
// the status window says "Przerwano". A close during a read, answered "stop", writes no
// file and closes the window.
TEST_F(Praca, EscOrCloseStopsTheOperation) {
  Konfiguracja::zapisz_plik(plik, hex_licznik(2048));
  QString pytanie;
  o->Form1.odpowiedz_na_pytanie = [&](const QString& p) {
    pytanie = p;
    return true;
  };
  programuj();
  ASSERT_TRUE(czekaj_az([&] { return o->Form1.ProgressBar2.value() > 0; }));
  QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&o->Form1.Button3, &esc);
  EXPECT_EQ(pytanie, QString::fromUtf8(kPytanieOPrzerwanie));
  czekaj_na_prace(*o);
  EXPECT_EQ(o->Form3.Label1.text(), QString::fromUtf8(kPrzerwano));
  EXPECT_LT(polecenia_od(0)['c'], 1024) << "it ran to its end";
  czekaj_ms(300);  // the simulator writes its log when idle
  const Bajty host = bajty_dziennika(czytaj_dziennik(log), '<');
  ASSERT_FALSE(host.empty());
  EXPECT_EQ(host.back(), 'L');

  // The next operation works as ever.
  Konfiguracja::zapisz_plik(plik, hex_licznik(8));
  o->Form1.Button3.click();
  o->Form1.Timer1Timer();
  czekaj_na_prace(*o);
  EXPECT_EQ(o->Form3.Label1.text(), QStringLiteral("Weryfikacja OK!"));

  const std::string odczyt = konfiguracja.plik("odczyt.hex");
  o->Form1.wybor_pliku = [&](QFileDialog&) { return QString::fromStdString(odczyt); };
  o->Form1.Button5.click();
  o->Form1.Timer1Timer();
  ASSERT_TRUE(czekaj_az([&] { return o->Form1.ProgressBar2.value() > 0; }));
  o->Form1.close();
  czekaj_na_prace(*o);
  EXPECT_FALSE(o->Form1.isVisible());
  EXPECT_FALSE(std::filesystem::exists(odczyt)) << "a stopped read writes no file";
}

// The main window closed to input keeps the look of its progress and step labels.
TEST(Wyglad, ProgressAndStepLabelsKeepTheirLookWhileTheWindowTakesNoInput) {
  Konfiguracja konfiguracja;
  Okna o;
  o.Form1.Timer1.stop();
  o.Form1.programator.okno.ProgressBar2 = 60;
  o.Form1.programator.okno.Label2 = "Kasowanie";
  o.Form1.programator.okno.Label3 = "Programowanie";
  o.Form1.programator.okno.Label4 = "Weryfikacja";
  o.Form1.pokaz_stan();
  const auto obrazy = [&] {
    return std::vector<QImage>{o.Form1.ProgressBar2.grab().toImage(),
                               o.Form1.Label2.grab().toImage(), o.Form1.Label3.grab().toImage(),
                               o.Form1.Label4.grab().toImage()};
  };
  o.Form1.setEnabled(true);
  const auto czynne = obrazy();
  o.Form1.setEnabled(false);
  const auto wylaczone = obrazy();
  ASSERT_EQ(czynne.size(), wylaczone.size());
  for (std::size_t i = 0; i < czynne.size(); ++i) {
    EXPECT_EQ(czynne[i], wylaczone[i]) << "control " << i << " is drawn differently";
  }
  // The buttons do change: they show that they take no input.
  o.Form1.setEnabled(true);
  const QImage przycisk = o.Form1.Button3.grab().toImage();
  o.Form1.setEnabled(false);
  EXPECT_NE(przycisk, o.Form1.Button3.grab().toImage());
}

// The whole text is inside the label, the label and the button inside the window, the
// window on the screen.
void sprawdz_caly(const TForm3& s, const QString& tekst) {
  SCOPED_TRACE(tekst.toStdString());
  EXPECT_EQ(s.Label1.text(), tekst);
  EXPECT_LE(s.Label1.wysokosc_tekstu(s.Label1.width()), s.Label1.height());
  EXPECT_TRUE(s.rect().contains(s.Label1.geometry()));
  EXPECT_TRUE(s.rect().contains(s.Button1.geometry()));
  EXPECT_GT(s.Button1.y(), s.Label1.geometry().bottom()) << "the button covers the text";
  const QRect ekran = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_TRUE(ekran.contains(s.geometry())) << "the window leaves the screen";
}

TEST(Teksty, EveryStatusTextIsShownWhole) {
  Konfiguracja konfiguracja;
  Okna o;
  o.Form1.Timer1.stop();
  o.Form1.setEnabled(true);
  // A path of 200 characters, and one of 200 without any separator to break at.
  std::string sciezka = konfiguracja.plik("");
  while (sciezka.size() < 190) sciezka += "katalog/";
  sciezka.resize(196, 'x');
  sciezka += ".hex";
  ASSERT_EQ(sciezka.size(), 200u);
  const std::string zlepek = std::string(196, 'a') + ".hex";
  const QString wynik_crc = QStringLiteral("CRC error linia 65535 255 255");

  // Through the buttons: a file that cannot be opened, a name that is too long.
  for (const std::string& nazwa : {sciezka, zlepek}) {
    o.Form1.wybor_pliku = [&](QFileDialog&) { return QString::fromStdString(nazwa); };
    o.Form1.Button1.click();
    sprawdz_caly(o.Form3,
                 QStringLiteral("Nie można otworzyć pliku ") + QString::fromStdString(nazwa));
  }
  const std::string za_dluga = "/" + std::string(300, 'n');
  o.Form1.wybor_pliku = [&](QFileDialog&) { return QString::fromStdString(za_dluga); };
  o.Form1.Button1.click();
  sprawdz_caly(o.Form3, o.Form3.Label1.text());
  EXPECT_TRUE(o.Form3.Label1.text().contains(QStringLiteral("255")));

  // Every other text, as the operations show it.
  const QStringList teksty = {
      QStringLiteral("Szukam programatora ..."),
      QStringLiteral("Znaleziono programator na com16"),
      QStringLiteral("Nie znaleziono programatora - tryb demo"),
      QStringLiteral("Weryfikacja OK!"),
      QStringLiteral("Błąd weryfikacji"),
      QStringLiteral("Programator nie odpowiada"),
      QStringLiteral("Nie wybrano pliku"),
      QStringLiteral("Nie można zapisać pliku ") + QString::fromStdString(sciezka),
      QStringLiteral("Nie można zapisać pliku ") + QString::fromStdString(zlepek),
      QString::fromUtf8(kPlikZaDuzy),
      QStringLiteral("Nieprawidłowy format Intel HEX - :"),
      QStringLiteral("Nieprawidłowy format Intel HEX - znak w polu 2-3"),
      QStringLiteral("Nieprawidłowy format Intel HEX 2 - adres"),
      QStringLiteral("Nieprawidłowy format Intel HEX1 "),
      QStringLiteral("Nieprawidłowy format Intel HEX 4"),
      QStringLiteral("Nieprawidłowy format Intel HEX - pole danych"),
      QStringLiteral("Nieprawidłowy format Intel HEX - pole CRC"),
      QStringLiteral("Nieprawidłowy format Intel HEX - CR "),
      QStringLiteral("Nieprawidłowy format Intel HEX - LF "),
      wynik_crc,
      // The longest a message can be: 255 characters.
      QString(255, QChar(u'W')),
  };
  for (const QString& t : teksty) {
    o.Form1.komunikat(t);
    sprawdz_caly(o.Form3, t);
  }
  // A short text after a long one: the window is back to its designed size.
  o.Form1.komunikat(QStringLiteral("Weryfikacja OK!"));
  EXPECT_EQ(o.Form3.size(), QSize(376, 73));
}

TEST(Teksty, QtsOwnDialogsSpeakPolish) {
  QDialogButtonBox przyciski(QDialogButtonBox::Open | QDialogButtonBox::Cancel);
  EXPECT_EQ(przyciski.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Anuluj"));
  EXPECT_NE(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("Look in:"));
}

}  // namespace
}  // namespace ostrel::test
