// The whole program in process against ostrel-sim linked as COM1: start-up, program,
// verify and read flash and EEPROM through the buttons and the scheduler's real timer,
// the advanced dialog, and what reached the simulator's memory and wire.
#include <optional>

#include "hex/intel_hex.h"
#include "pomoc.h"

namespace ostrel::test {
namespace {

// Counts the progress bar's paintings made while the main window is disabled, that is
// while an operation holds the message loop.
class MalowanieWTrakcie : public QObject {
 public:
  explicit MalowanieWTrakcie(TForm1& f) : f_(f) { f_.ProgressBar2.installEventFilter(this); }
  int ile = 0;

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint && !f_.isEnabled()) ++ile;
    return false;
  }

 private:
  TForm1& f_;
};

class Calosc : public ::testing::Test {
 protected:
  void uruchom(const char* uklad) {
    log = konfiguracja.plik("wire.log");
    dump_flash = konfiguracja.plik("flash.bin");
    dump_eeprom = konfiguracja.plik("eeprom.bin");
    sim.emplace(std::vector<std::string>{"--com", "1", "--device", uklad, "--log", log,
                                         "--dump-flash", dump_flash, "--dump-eeprom", dump_eeprom},
                kProgramSymulatora, konfiguracja.sciezka());
    ASSERT_TRUE(sim->dziala()) << sim->blad();
    o.emplace();
    QObject::connect(&o->Form1.Timer1, &QTimer::timeout, [this] { ++tyki; });
    // The real start-up: 2000 ms, then the search.
    ASSERT_TRUE(czekaj_az([&] { return tyki == 1; }));
    czekaj_na_prace(*o);
    ASSERT_EQ(o->Form3.Label1.text(), QStringLiteral("Znaleziono programator na com1"));
    ASSERT_TRUE(o->Form1.isEnabled());
    o->Form3.Button1.click();
    ASSERT_EQ(o->Form1.programator.tryb_demo, 0);
    // The open port is polled from the message loop between operations.
    EXPECT_TRUE(o->Form1.CommPortDriver1.IsOpen());
    EXPECT_TRUE(o->Form1.TimerPollingu1.aktywny());
    EXPECT_EQ(o->Form1.TimerPollingu1.okres(), 50);
  }

  // Presses the button and waits for the tick that runs what it armed.
  void nacisnij(QPushButton& b) {
    const int przed = tyki;
    b.click();
    ASSERT_TRUE(o->Form1.Timer1.isActive()) << "the button armed nothing";
    ASSERT_TRUE(czekaj_az([&] { return tyki > przed; }, 120000));
    czekaj_na_prace(*o);
    ASSERT_TRUE(o->Form1.isEnabled());
  }

  // Waits for operation 7 to clear the progress display.
  void czekaj_na_wyczyszczenie() {
    ASSERT_TRUE(czekaj_az(
        [&] { return !o->Form1.Timer1.isActive() && o->Form1.ProgressBar2.value() == 0; }));
    EXPECT_EQ(o->Form1.Label3.text(), QString());
  }

  void wybierz_plik(const std::string& sciezka) {
    o->Form1.wybor_pliku = [sciezka](QFileDialog&) { return QString::fromStdString(sciezka); };
  }
  void bez_dialogu() {
    o->Form1.wybor_pliku = [](QFileDialog&) {
      ADD_FAILURE() << "no dialog expected";
      return QString();
    };
  }

  Konfiguracja konfiguracja{{1}};
  std::optional<Symulator> sim;
  std::optional<Okna> o;
  std::string log, dump_flash, dump_eeprom;
  int tyki = 0;
};

TEST_F(Calosc, FlashOfAnAt89C2051) {
  uruchom("AT89C2051");
  Programator& p = o->Form1.programator;
  ASSERT_EQ(p.kod_ukladu, 12) << "the start-up defaults";
  const std::string zrodlo = konfiguracja.plik("program.hex");
  Konfiguracja::zapisz_plik(zrodlo, hex_licznik(300));

  // Program with the chip erase ticked, then verify. The bar is drawn as it advances.
  o->Form1.show();
  MalowanieWTrakcie malowanie(o->Form1);
  wybierz_plik(zrodlo);
  nacisnij(o->Form1.Button3);
  EXPECT_GE(malowanie.ile, 50) << "programming and verification each climb to 100";
  EXPECT_EQ(o->Form3.Label1.text(), QStringLiteral("Weryfikacja OK!"));
  EXPECT_TRUE(o->Form3.isVisible());
  EXPECT_EQ(o->Form1.ProgressBar2.value(), 100);
  EXPECT_EQ(o->Form1.Label2.text(), QStringLiteral("Kasowanie"));
  EXPECT_EQ(o->Form1.operacja, TForm1::kWyczysc);
  czekaj_na_wyczyszczenie();
  o->Form3.Button1.click();

  // Again without the erase, and a verification on its own.
  o->Form2.kasowanie.click();
  bez_dialogu();
  nacisnij(o->Form1.Button3);
  EXPECT_EQ(o->Form3.Label1.text(), QStringLiteral("Weryfikacja OK!"));
  czekaj_na_wyczyszczenie();
  nacisnij(o->Form1.Button4);
  EXPECT_EQ(o->Form3.Label1.text(), QStringLiteral("Weryfikacja OK!"));
  czekaj_na_wyczyszczenie();

  // Read the whole flash into a new file, which becomes the current file.
  const std::string odczyt = konfiguracja.plik("odczyt.hex");
  wybierz_plik(odczyt);
  nacisnij(o->Form1.Button5);
  EXPECT_EQ(p.nazwa_pliku, odczyt);
  EXPECT_EQ(o->Form1.Label1.text(), QString::fromStdString(odczyt));
  Bajty oczekiwany(2048, 0xFF);
  for (std::size_t i = 0; i < 300; ++i) oczekiwany[i] = static_cast<std::uint8_t>(i);
  EXPECT_EQ(obraz_pliku(odczyt), oczekiwany) << "1024 words, 2048 bytes";
  czekaj_na_wyczyszczenie();

  // The advanced dialog: the full read, then read, write and erase.
  o->Form1.Button9.click();
  czekaj_na_prace(*o);
  EXPECT_TRUE(o->Form2.isVisible());
  EXPECT_EQ(o->Form2.Label6.text(), QString::fromStdString(tekst_sygnatury(p.sygnatura)));
  EXPECT_NE(o->Form2.Label6.text(), QStringLiteral("Sygnatura"));
  EXPECT_EQ(o->Form2.target.text(), QStringLiteral("Tryb PAR8"));
  EXPECT_EQ(o->Form2.softhard.text(), QStringLiteral("Soft. 1.2 Hard. 1.0"));
  EXPECT_FALSE(o->Form2.CheckBox1.isEnabled());
  o->Form2.Button1.click();
  czekaj_na_prace(*o);
  o->Form2.mode.setCurrentIndex(1);
  o->Form2.modeChange();
  o->Form2.Button2.click();
  czekaj_na_prace(*o);
  o->Form2.Button3.click();
  czekaj_na_prace(*o);
  o->Form2.Button4.click();
  EXPECT_FALSE(o->Form2.isVisible());

  EXPECT_TRUE(o->Form1.TimerPollingu1.aktywny()) << "still polling after the operations";
  EXPECT_FALSE(o->Form1.TimerPollingu1.wstrzymany()) << "polling held back after the work";

  // The erased chip is programmed from the file just read, without asking for a file.
  bez_dialogu();
  nacisnij(o->Form1.Button3);
  EXPECT_EQ(o->Form3.Label1.text(), QStringLiteral("Weryfikacja OK!"));
  czekaj_na_wyczyszczenie();
  o->Form1.close();

  ASSERT_EQ(sim->zatrzymaj(), 0);
  EXPECT_EQ(Konfiguracja::czytaj_plik(dump_flash), oczekiwany);
  const auto polecenia = policz_polecenia(bajty_dziennika(czytaj_dziennik(log), '<'));
  EXPECT_EQ(polecenia.at('e'), 2) << "the first programming and the dialog's erase";
  EXPECT_EQ(polecenia.at('l'), 1);
  EXPECT_EQ(polecenia.count('f'), 0u) << "no fuse byte outside Tryb PAR16";
  // The dialog's two reads, and the chip check before each of the three programmings,
  // the dialog's write and its erase.
  EXPECT_EQ(polecenia.at('s'), 2 + 5);
  // 150 words per programming of the 300-byte file, 1024 of the read file.
  EXPECT_EQ(polecenia.at('c'), 150 * 2 + 1024);
  EXPECT_EQ(polecenia.at('T'), 9 + 5)
      << "every operation that sends 'P' selects the device first, the chip check too";
  // The settings remember the file read last.
  Bajty ustawienia{255, 1};
  ustawienia.insert(ustawienia.end(), odczyt.begin(), odczyt.end());
  EXPECT_EQ(konfiguracja.ustawienia(), ustawienia);
}

TEST_F(Calosc, EepromOfAnAt90S8515AndAVerificationDifference) {
  uruchom("AT90S8515");
  o->Form1.ComboBox1.setCurrentIndex(11);
  emit o->Form1.ComboBox1.activated(11);
  ASSERT_TRUE(o->Form1.GroupBox3.isEnabled());
  const std::string eep = konfiguracja.plik("dane.eep");
  Konfiguracja::zapisz_plik(eep, hex_licznik(100));

  wybierz_plik(eep);
  nacisnij(o->Form1.Button6);
  EXPECT_EQ(o->Form3.Label1.text(), QStringLiteral("Weryfikacja OK!"));
  EXPECT_EQ(o->Form1.Label2.text(), QString(21, ' ')) << "EEPROM leaves the erase label";
  czekaj_na_wyczyszczenie();
  nacisnij(o->Form1.Button7);
  EXPECT_EQ(o->Form3.Label1.text(), QStringLiteral("Weryfikacja OK!"));
  czekaj_na_wyczyszczenie();

  const std::string odczyt = konfiguracja.plik("odczyt.eep");
  wybierz_plik(odczyt);
  nacisnij(o->Form1.Button8);
  Bajty oczekiwany(512, 0xFF);
  for (std::size_t i = 0; i < 100; ++i) oczekiwany[i] = static_cast<std::uint8_t>(i);
  EXPECT_EQ(obraz_pliku(odczyt), oczekiwany);
  czekaj_na_wyczyszczenie();

  // The erased flash differs from the file in its first word: bar 2, unit 1 shown for
  // 2000 ms, then cleared.
  const std::string inny = konfiguracja.plik("inny.hex");
  Konfiguracja::zapisz_plik(inny, hex_licznik(64));
  wybierz_plik(inny);
  o->Form1.Button1.click();
  nacisnij(o->Form1.Button4);
  EXPECT_EQ(o->Form3.Label1.text(), QStringLiteral("Błąd weryfikacji"));
  EXPECT_EQ(o->Form1.ProgressBar2.value(), 2);
  EXPECT_EQ(o->Form1.Label2.text().trimmed(), QStringLiteral("1"));
  czekaj_na_wyczyszczenie();
  EXPECT_EQ(o->Form1.Label2.text(), QString());
  o->Form1.close();

  ASSERT_EQ(sim->zatrzymaj(), 0);
  EXPECT_EQ(Konfiguracja::czytaj_plik(dump_eeprom), oczekiwany);
  const auto polecenia = policz_polecenia(bajty_dziennika(czytaj_dziennik(log), '<'));
  EXPECT_EQ(polecenia.at('D'), 100);
  EXPECT_EQ(polecenia.count('e'), 0u) << "EEPROM programming erases nothing";
  EXPECT_EQ(konfiguracja.ustawienia()[0], 11);
}

}  // namespace
}  // namespace ostrel::test
