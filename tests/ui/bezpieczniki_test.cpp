// The fuse editor of the advanced dialog: boxes and hex follow each other, a write sends
// the edited bytes only and a value that ends serial programming nothing unless the user
// insists; parts beyond the twelve in the device box and remembered by name.
#include <QKeyEvent>
#include <algorithm>
#include <optional>

#include "pomoc.h"
#include "ui/ustawienia_programatora.h"

namespace ostrel::test {
namespace {

// The ATmega8: lfuse 0xE1, hfuse 0xD9, lock; no efuse.
const Uklad& atmega8() {
  return kUklady[static_cast<std::size_t>(znajdz_uklad("ATmega8"))];
}

// Types `tekst` into the field as the keyboard would.
void wpisz(QLineEdit& pole, const QString& tekst) {
  pole.setFocus();
  pole.selectAll();
  for (const QChar z : tekst) {
    QKeyEvent wcisniecie(QEvent::KeyPress, 0, Qt::NoModifier, QString(z));
    QApplication::sendEvent(&pole, &wcisniecie);
  }
}

QCheckBox& pole(EdytorBezpiecznikow& e, std::size_t bajt, std::string_view nazwa) {
  for (std::size_t k = 0; k < e.bajty()[bajt].bity.size(); ++k) {
    if (nazwa == e.bajty()[bajt].bity[k].nazwa) return *e.grupy[bajt]->pola[k];
  }
  throw std::logic_error("no such bit");
}

TEST(EdytorBezpiecznikow, BoxesAndHexFollowEachOtherAndOnlyEditedBytesAreWritten) {
  QWidget okno;
  EdytorBezpiecznikow e(&okno);
  e.ustaw_bajty(atmega8().bezpieczniki);
  okno.show();
  ASSERT_EQ(e.grupy.size(), 3u);
  EXPECT_EQ(e.grupy[1]->hex.text(), QStringLiteral("D9"));
  EXPECT_TRUE(pole(e, 1, "SPIEN").isChecked()) << "0 is programmed, shown ticked";
  EXPECT_FALSE(pole(e, 1, "RSTDISBL").isChecked());

  // A tick changes the hex.
  QCheckBox& spien = pole(e, 1, "SPIEN");
  kliknij(spien, spien.rect().center());
  EXPECT_FALSE(spien.isChecked());
  EXPECT_EQ(e.grupy[1]->hex.text(), QStringLiteral("F9"));

  // The hex changes the boxes, once both digits are in.
  wpisz(e.grupy[0]->hex, QStringLiteral("5"));
  EXPECT_FALSE(pole(e, 0, "CKSEL0").isChecked()) << "one digit changes nothing yet";
  EXPECT_EQ(e.wartosci()[0], 0xE1);
  wpisz(e.grupy[0]->hex, QStringLiteral("5a"));
  EXPECT_EQ(e.wartosci()[0], 0x5A);
  EXPECT_TRUE(pole(e, 0, "CKSEL0").isChecked());
  EXPECT_FALSE(pole(e, 0, "CKSEL1").isChecked());
  EXPECT_FALSE(pole(e, 0, "BODEN").isChecked());
  EXPECT_TRUE(pole(e, 0, "BODLEVEL").isChecked());
  EXPECT_TRUE(pole(e, 0, "SUT1").isChecked());

  std::vector<std::optional<std::uint8_t>> zapis = e.do_zapisu();
  ASSERT_EQ(zapis.size(), 3u);
  EXPECT_EQ(zapis[0], std::optional<std::uint8_t>(0x5A));
  EXPECT_EQ(zapis[1], std::optional<std::uint8_t>(0xF9));
  EXPECT_EQ(zapis[2], std::nullopt) << "the lock byte was not touched";

  // After a read, only what differs from the chip is written; factory values all.
  e.przyjmij_odczyt({0x5A, 0xD9, 0xFC});
  EXPECT_TRUE(pole(e, 2, "LB1").isChecked());
  kliknij(pole(e, 2, "LB2"), pole(e, 2, "LB2").rect().center());
  kliknij(pole(e, 2, "LB2"), pole(e, 2, "LB2").rect().center());
  zapis = e.do_zapisu();
  EXPECT_EQ(zapis, (std::vector<std::optional<std::uint8_t>>(3))) << "back to what was read";
  e.Fabryczne.click();
  EXPECT_EQ(e.wartosci(), (std::vector<std::uint8_t>{0xE1, 0xD9, 0xFF}));
  EXPECT_EQ(e.do_zapisu()[0], std::optional<std::uint8_t>(0xE1));
}

// The universal commands on the wire from byte `od` on: four bytes each.
std::vector<std::array<std::uint8_t, 4>> uniwersalne(const Bajty& hosta, std::size_t od) {
  std::vector<std::array<std::uint8_t, 4>> w;
  for (std::size_t i = od; i < hosta.size(); ++i) {
    if (hosta[i] == 'T' || hosta[i] == 'A') {
      i += hosta[i] == 'T' ? 1 : 2;
    } else if (hosta[i] == '.' && i + 4 < hosta.size()) {
      w.push_back({hosta[i + 1], hosta[i + 2], hosta[i + 3], hosta[i + 4]});
      i += 4;
    }
  }
  return w;
}

TEST(EdytorBezpiecznikowOkna, ARefusedValueSendsNothingUnlessForcedAndAWriteOnlyTheEditedByte) {
  Konfiguracja k{{1}};
  Konfiguracja::zapisz_plik(sciezka_ustawien_programatora(), std::string("typ=avr910\n"));
  const std::string log = k.plik("wire.log");
  Symulator sim({"--com", "1", "--device", "ATmega8", "--firmware", "avr910", "--log", log},
                kProgramSymulatora, k.sciezka());
  ASSERT_TRUE(sim.dziala()) << sim.blad();
  std::optional<Okna> okna(std::in_place);
  Okna& o = *okna;
  uruchom_start(o);
  o.Form3.Button1.click();
  o.Form1.ComboBox1.setCurrentIndex(o.Form1.ComboBox1.findText(QStringLiteral("ATmega8")));
  o.Form1.ComboBox1Change();
  ASSERT_EQ(o.Form1.programator.okno.ComboBox1_text, "ATmega8");
  o.Form2.show();
  ASSERT_TRUE(o.Form2.edytor.isVisible());
  EXPECT_FALSE(o.Form2.GroupBox2.isVisible()) << "the twelve's fuse boxes give way";
  EXPECT_GE(o.Form2.Button1.y(), o.Form2.edytor.y() + o.Form2.edytor.height())
      << "the buttons moved below the editor";
  {
    // Tab visits each group's boxes row by row, its hex field, the factory button, then
    // the dialog's buttons.
    std::vector<QWidget*> oczekiwane;
    for (const auto& g : o.Form2.edytor.grupy) {
      std::vector<QWidget*> pola;
      for (const auto& p : g->pola) pola.push_back(p.get());
      std::sort(pola.begin(), pola.end(), [](QWidget* a, QWidget* b) {
        return std::pair(a->y(), a->x()) < std::pair(b->y(), b->x());
      });
      oczekiwane.insert(oczekiwane.end(), pola.begin(), pola.end());
      oczekiwane.push_back(&g->hex);
    }
    oczekiwane.push_back(&o.Form2.edytor.Fabryczne);
    oczekiwane.push_back(&o.Form2.Button1);
    std::vector<QWidget*> tab;
    for (QWidget* w = o.Form2.nextInFocusChain(); w != &o.Form2; w = w->nextInFocusChain()) {
      if (w->isVisibleTo(&o.Form2) && (w->focusPolicy() & Qt::TabFocus)) tab.push_back(w);
    }
    const auto od = std::find(tab.begin(), tab.end(), oczekiwane.front());
    ASSERT_NE(od, tab.end()) << "the editor's boxes are not reached by Tab";
    ASSERT_GE(static_cast<std::size_t>(tab.end() - od), oczekiwane.size());
    EXPECT_TRUE(std::equal(oczekiwane.begin(), oczekiwane.end(), od));
  }

  o.Form2.Button1.click();
  czekaj_na_prace(o);
  ASSERT_TRUE(czekaj_az([&] { return o.Form2.edytor.grupy[1]->odczytany.has_value(); }, 5000))
      << o.Form3.Label1.text().toStdString();

  std::vector<QString> pytania;
  bool zgoda = false;
  o.Form2.potwierdzenie = [&](const QString& t) {
    pytania.push_back(t);
    return zgoda;
  };
  ASSERT_EQ(o.Form2.edytor.wartosci()[0], 0xE1) << "the factory clock: internal RC";
  czekaj_ms(300);
  const std::size_t przed = bajty_dziennika(czytaj_dziennik(log), '<').size();
  wpisz(o.Form2.edytor.grupy[0]->hex, QStringLiteral("E0"));  // an external clock
  o.Form2.Button2.click();
  czekaj_na_prace(o);
  ASSERT_EQ(pytania.size(), 1u);
  EXPECT_TRUE(pytania[0].contains(QStringLiteral("CKSEL0"))) << pytania[0].toStdString();
  EXPECT_FALSE(pytania[0].contains(QStringLiteral("CKSEL1"))) << "only the bits that change";
  wpisz(o.Form2.edytor.grupy[0]->hex, QStringLiteral("E1"));  // back to what the chip has

  wpisz(o.Form2.edytor.grupy[1]->hex, QStringLiteral("FF"));  // SPIEN unprogrammed
  o.Form2.Button2.click();
  czekaj_na_prace(o);
  ASSERT_EQ(pytania.size(), 2u);
  EXPECT_TRUE(pytania[1].contains(QStringLiteral("SPIEN")));
  czekaj_ms(300);
  EXPECT_EQ(bajty_dziennika(czytaj_dziennik(log), '<').size(), przed) << "refused: nothing sent";

  zgoda = true;
  o.Form2.Button2.click();
  czekaj_na_prace(o);
  ASSERT_EQ(pytania.size(), 3u);
  okna.reset();
  sim.zatrzymaj();
  const auto polecenia = uniwersalne(bajty_dziennika(czytaj_dziennik(log), '<'), przed);
  std::vector<std::array<std::uint8_t, 4>> zapisy;
  for (const auto& p : polecenia) {
    if (p[0] == 0xAC) zapisy.push_back(p);
  }
  ASSERT_EQ(zapisy.size(), 1u) << "the edited byte only";
  EXPECT_EQ(zapisy[0], (std::array<std::uint8_t, 4>{0xAC, 0xA8, 0x00, 0xFF}));
}

// The first row beyond the twelve that an AVR910 programmer serves, or -1.
int wiersz_poza_dwunastoma() {
  for (int i = kLiczbaUkladow; i < static_cast<int>(kUklady.size()); ++i) {
    if (kUklady[static_cast<std::size_t>(i)].kody_avr910.ile > 0) return i;
  }
  return -1;
}

TEST(EdytorBezpiecznikowOkna, PartsBeyondTheTwelveAreListedAfterThemAndRememberedByName) {
  const int wiersz = wiersz_poza_dwunastoma();
  if (wiersz < 0) GTEST_SKIP() << "the table has no part beyond the twelve";
  Konfiguracja k;
  const std::vector<std::uint8_t> ostrel_cf = {6, 2, 'x'};
  k.zapisz_ustawienia(ostrel_cf);
  {
    Okna o;
    uruchom_start(o);
    ASSERT_EQ(o.Form1.ComboBox1.count(), kLiczbaUkladow);
    o.Form2.typ.setCurrentIndex(1);
    o.Form2.typChange();
    ASSERT_GT(o.Form1.ComboBox1.count(), kLiczbaUkladow);
    for (int i = 0; i < kLiczbaUkladow; ++i) {
      EXPECT_EQ(o.Form1.ComboBox1.itemText(i),
                QString::fromUtf8(kUklady[static_cast<std::size_t>(i)].nazwa));
    }
    const QString nazwa = QString::fromUtf8(kUklady[static_cast<std::size_t>(wiersz)].nazwa);
    const int pozycja = o.Form1.ComboBox1.findText(nazwa);
    ASSERT_GE(pozycja, kLiczbaUkladow);
    o.Form1.ComboBox1.setCurrentIndex(pozycja);
    o.Form1.ComboBox1Change();
    EXPECT_EQ(o.Form1.programator.okno.ComboBox1_index, wiersz);
    o.Form1.close();
  }
  const auto ostrel = k.ustawienia();
  ASSERT_FALSE(ostrel.empty());
  EXPECT_EQ(ostrel[0], 255) << "Ostrel.cf holds no index beyond the twelve";
  Okna o;
  uruchom_start(o);
  EXPECT_EQ(o.Form1.programator.okno.ComboBox1_index, wiersz);
  EXPECT_EQ(o.Form1.ComboBox1.currentText(),
            QString::fromUtf8(kUklady[static_cast<std::size_t>(wiersz)].nazwa));
}

}  // namespace
}  // namespace ostrel::test
