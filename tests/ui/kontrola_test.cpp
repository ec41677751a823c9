// The chip check before the window writes: another chip in the socket (or none) is put
// to the user, and nothing goes to the programmer after the signature read unless the
// user says so.
#include <QMessageBox>
#include <optional>

#include "pomoc.h"
#include "ui/kontrola_ukladu.h"

namespace ostrel::test {
namespace {

class SprawdzenieUkladu : public ::testing::Test {
 protected:
  // The simulator as COM1 with `opcje`; the window keeps the start-up's AT89C2051.
  void uruchom(std::vector<std::string> opcje) {
    log = konfiguracja.plik("wire.log");
    zrzut = konfiguracja.plik("flash.bin");
    opcje.insert(opcje.end(), {"--com", "1", "--log", log, "--dump-flash", zrzut});
    sim.emplace(opcje, kProgramSymulatora, konfiguracja.sciezka());
    ASSERT_TRUE(sim->dziala()) << sim->blad();
    o.emplace();
    uruchom_start(*o);
    ASSERT_EQ(o->Form3.Label1.text(), QStringLiteral("Znaleziono programator na com1"));
    o->Form3.Button1.click();
    plik = konfiguracja.plik("program.hex");
    Konfiguracja::zapisz_plik(plik, hex_licznik(64));
    o->Form1.wybor_pliku = [this](QFileDialog&) { return QString::fromStdString(plik); };
  }
  // What the host sent after its last signature read ('s' is no byte of the file's).
  Bajty po_sygnaturze() const {
    czekaj_ms(300);  // the simulator writes its log when idle
    const Bajty host = bajty_dziennika(czytaj_dziennik(log), '<');
    const auto s = std::find(host.rbegin(), host.rend(), 's');
    return s == host.rend() ? Bajty{} : Bajty(s.base(), host.end());
  }

  Konfiguracja konfiguracja{{1}};
  std::optional<Symulator> sim;
  std::optional<Okna> o;
  std::string log, zrzut, plik;
};

// The dangerous case: an AT89C part (12 V programming) chosen over a serial AVR part.
TEST_F(SprawdzenieUkladu, ProgrammingAnotherChipWaitsForTheUsersYes) {
  uruchom({"--device", "AT90S2313"});
  ASSERT_EQ(o->Form1.programator.kod_ukladu, 12);
  const QString pytanie = QStringLiteral(
      "Wybrano układ AT89C2051 (sygnatura 1E 21), a układ w podstawce ma sygnaturę 1E 91 01, "
      "czyli AT90S2313.\n\nProgramować mimo to?");

  // "Nie" in the message box itself, clicked from a timer of the box's own loop.
  QString zadane;
  QTimer nie;
  nie.setInterval(20);
  QObject::connect(&nie, &QTimer::timeout, [&] {
    auto* m = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (m == nullptr) return;
    nie.stop();
    zadane = m->text();
    m->button(QMessageBox::No)->click();
  });
  nie.start();
  o->Form1.Button3.click();
  tyknij(*o);
  nie.stop();
  EXPECT_EQ(zadane, pytanie);
  EXPECT_EQ(o->Form3.Label1.text(), QString::fromUtf8(kNicNieZapisano));
  EXPECT_EQ(po_sygnaturze(), Bajty{'L'}) << "the check's 'L', and nothing after it";
  EXPECT_TRUE(o->Form1.isEnabled());

  // "Tak": the operation follows the check with its own conversation.
  int pytania = 0;
  o->Form1.odpowiedz_na_pytanie = [&](const QString& p) {
    ++pytania;
    EXPECT_EQ(p, pytanie);
    return true;
  };
  int konce = 0;  // the ends of work the window announces
  QObject::connect(&o->Form1, &TForm1::praca_zakonczona, [&] { ++konce; });
  o->Form1.Button3.click();
  tyknij(*o);
  EXPECT_EQ(pytania, 1);
  EXPECT_EQ(konce, 1) << "the check and the write it led to end once, with the write";
  EXPECT_EQ(o->Form3.Label1.text(), QStringLiteral("Weryfikacja OK!"));
  const Bajty reszta = po_sygnaturze();
  ASSERT_GE(reszta.size(), 5u);
  EXPECT_EQ(Bajty(reszta.begin(), reszta.begin() + 5), (Bajty{'L', 'T', 0x0C, 'P', 'e'}));
  o->Form1.close();
  ASSERT_EQ(sim->zatrzymaj(), 0);
  Bajty flash(2048, 0xFF);
  for (std::size_t i = 0; i < 64; ++i) flash[i] = static_cast<std::uint8_t>(i);
  EXPECT_EQ(Konfiguracja::czytaj_plik(zrzut), flash);
}

// A socket that answers all 0xFF holds no chip: the dialog's erase and lock write ask.
TEST_F(SprawdzenieUkladu, DialogEraseAndLockWriteOnAnEmptySocketAsk) {
  uruchom({"--device", "AT89C2051", "--signature", "FF,FF,FF"});
  QStringList pytania;
  bool odpowiedz = false;
  o->Form2.potwierdzenie = [&](const QString& p) {
    pytania << p;
    return odpowiedz;
  };
  const QString opis = QStringLiteral(
      "Wybrano układ AT89C2051 (sygnatura 1E 21), a układ w podstawce ma sygnaturę FF FF FF "
      "(brak układu?).\n\n");
  o->Form2.Button3.click();
  czekaj_na_prace(*o);
  o->Form2.Button2.click();
  czekaj_na_prace(*o);
  EXPECT_EQ(pytania, QStringList({opis + QStringLiteral("Skasować mimo to?"),
                                  opis + QStringLiteral("Wpisać mimo to?")}));
  EXPECT_EQ(po_sygnaturze(), Bajty{'L'});
  EXPECT_EQ(o->Form3.Label1.text(), QString::fromUtf8(kNicNieZapisano));

  odpowiedz = true;
  o->Form2.Button3.click();
  czekaj_na_prace(*o);
  EXPECT_EQ(pytania.size(), 3);
  EXPECT_EQ(po_sygnaturze(), (Bajty{'L', 'T', 0x0C, 'P', 'e', 'L'}));
  const auto polecenia = policz_polecenia(bajty_dziennika(czytaj_dziennik(log), '<'));
  EXPECT_EQ(polecenia.at('e'), 1);
  EXPECT_EQ(polecenia.count('l'), 0u);
}

}  // namespace
}  // namespace ostrel::test
