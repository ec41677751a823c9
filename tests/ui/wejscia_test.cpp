// An operation owns its inputs from the tick that starts it: a tick that falls while a
// file dialog is open waits for the dialog, whose result is then dropped, so the read
// goes to the file chosen for it and the user's other files stay whole. Work that
// follows work with no polling tick between drains the line first. Anything thrown on
// the worker is reported and leaves the program usable.
#include <optional>

#include "hex/intel_hex.h"
#include "pomoc.h"

namespace ostrel::test {
namespace {

Bajty wzor(std::size_t n, unsigned krok) {
  Bajty b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * krok + 1);
  return b;
}

class Wejscia : public ::testing::Test {
 protected:
  // The simulator as COM1 with `pamiec` in the chip; `opcje` add to its options.
  void uruchom(const char* uklad, const char* rodzaj, const Bajty& pamiec,
               std::vector<std::string> opcje = {}) {
    log = konfiguracja.plik("wire.log");
    const std::string obraz = konfiguracja.plik("chip.hex");
    zapisz_hex_pliku(obraz, pamiec);
    opcje.insert(opcje.end(), {"--com", "1", "--device", uklad, rodzaj, obraz, "--log", log});
    sim.emplace(opcje, kProgramSymulatora, konfiguracja.sciezka());
    ASSERT_TRUE(sim->dziala()) << sim->blad();
    o.emplace();
    uruchom_start(*o);
    ASSERT_EQ(o->Form3.Label1.text(), QStringLiteral("Znaleziono programator na com1"));
    o->Form3.Button1.click();
    o->Form1.show();
  }
  std::size_t bajtow_hosta() const { return bajty_dziennika(czytaj_dziennik(log), '<').size(); }
  void wybierz(const std::string& sciezka) {
    o->Form1.wybor_pliku = [sciezka](QFileDialog&) { return QString::fromStdString(sciezka); };
  }

  Konfiguracja konfiguracja{{1}};
  std::optional<Symulator> sim;
  std::optional<Okna> o;
  std::string log;
};

TEST_F(Wejscia, TickDuringAFileDialogWaitsForItAndTheReadKeepsItsFile) {
  const Bajty chip = wzor(2048, 7);
  uruchom("AT89C2051", "--flash", chip);
  const std::string zrodlo = konfiguracja.plik("zrodlo.hex");
  const std::string odczyt = konfiguracja.plik("odczyt.hex");
  zapisz_hex_pliku(zrodlo, wzor(300, 3));
  const Bajty zrodlo_przed = Konfiguracja::czytaj_plik(zrodlo);

  // "Przeglądaj" picks the source; "Czytaj" saves as odczyt.hex and arms the read.
  wybierz(zrodlo);
  o->Form1.Button1.click();
  wybierz(odczyt);
  o->Form1.Button5.click();
  ASSERT_EQ(o->Form1.operacja, TForm1::kCzytajFlash);
  ASSERT_EQ(o->Form1.programator.nazwa_pliku, odczyt);

  // "Przeglądaj" again, with Qt's own dialog: the tick falls while it is open, then the
  // dialog is closed from its title bar.
  o->Form1.wybor_pliku = nullptr;
  bool widziany = false, zajety = true;
  std::size_t bajty_przed = 0, bajty_w_trakcie = 1;
  QTimer::singleShot(50, [&] {
    QWidget* dialog = QApplication::activeModalWidget();
    widziany = qobject_cast<QFileDialog*>(dialog) != nullptr;
    if (dialog == nullptr) return;
    bajty_przed = bajtow_hosta();
    o->Form1.Timer1Timer();
    czekaj_ms(300);
    zajety = o->Form1.zajety();
    bajty_w_trakcie = bajtow_hosta();
    dialog->close();
  });
  o->Form1.Button1.click();
  ASSERT_TRUE(widziany);
  EXPECT_FALSE(zajety) << "an operation started inside the dialog";
  EXPECT_EQ(bajty_w_trakcie, bajty_przed) << "bytes went to the programmer inside the dialog";

  // The read runs once the dialog has closed, into the file chosen for it.
  ASSERT_TRUE(czekaj_az([&] { return o->Form1.operacja == TForm1::kWyczysc; }))
      << "the read never ran";
  czekaj_na_prace(*o);
  EXPECT_EQ(obraz_pliku(odczyt), chip);
  EXPECT_EQ(Konfiguracja::czytaj_plik(zrodlo), zrodlo_przed) << "the source file was touched";
  EXPECT_EQ(o->Form1.programator.nazwa_pliku, odczyt);
  EXPECT_EQ(o->Form1.Label1.text(), QString::fromStdString(odczyt));
}

TEST_F(Wejscia, ReadDeferredByADialogSequenceDrainsTheLineFirst) {
  // A programmer behind a USB adapter: every answer 20 ms late. The EEPROM of the
  // AT90S1200 (64 bytes) keeps the run short.
  const Bajty chip = wzor(64, 5);
  uruchom("AT90S1200", "--eeprom", chip, {"--latency", "20"});
  o->Form1.ComboBox1.setCurrentIndex(8);
  o->Form1.ComboBox1Change();
  o->Form1.Button9.click();
  czekaj_na_prace(*o);
  czekaj_ms(200);

  const std::string odczyt = konfiguracja.plik("odczyt.eep");
  wybierz(odczyt);
  o->Form1.Button8.click();
  ASSERT_EQ(o->Form1.operacja, TForm1::kCzytajEeprom);
  // The dialog's read (it ends with a 'L' whose answer nobody awaits) holds the port
  // when the tick falls: the read runs straight after it.
  o->Form2.Button1.click();
  ASSERT_TRUE(o->Form1.zajety());
  o->Form1.Timer1Timer();
  ASSERT_TRUE(czekaj_az([&] { return std::filesystem::exists(odczyt); }, 20000));
  czekaj_na_prace(*o);
  EXPECT_EQ(obraz_pliku(odczyt), chip);
}

TEST(WyjatekWTle, AnythingThrownIsReportedAndTheWindowsOpenAgain) {
  Konfiguracja konfiguracja;
  Okna o;
  o.Form1.Timer1.stop();
  QStringList bledy;
  o.Form1.raport_bledu = [&](const QString& t) { bledy << t; };
  o.Form1.praca.uruchom([] { throw 7; });
  czekaj_na_prace(o);
  ASSERT_EQ(bledy.size(), 1);
  EXPECT_FALSE(bledy[0].isEmpty());
  EXPECT_TRUE(o.Form1.isEnabled());
  o.Form1.praca.uruchom([] { throw std::runtime_error("zepsute"); });
  czekaj_na_prace(o);
  ASSERT_EQ(bledy.size(), 2);
  EXPECT_EQ(bledy[1], QStringLiteral("zepsute"));
}

}  // namespace
}  // namespace ostrel::test
