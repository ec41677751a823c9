// The four windows as laid out: sizes, places, captions, initial states, tab order,
// fonts, and that no caption is cut by its control.
#include <QFontInfo>
#include <QKeySequence>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>

#include "pomoc.h"

namespace ostrel::test {
namespace {

struct Miejsce {
  const char* nazwa;
  QWidget* w;
  int x, y, szer, wys;
};

void sprawdz_miejsca(const std::vector<Miejsce>& miejsca) {
  for (const auto& m : miejsca) {
    SCOPED_TRACE(m.nazwa);
    EXPECT_EQ(m.w->x(), m.x);
    EXPECT_EQ(m.w->y(), m.y);
    if (m.szer >= 0) {
      EXPECT_EQ(m.w->width(), m.szer);
    }
    if (m.wys >= 0) {
      // A label is at least as tall as its font's line, so no descender is cut.
      const bool etykieta = qobject_cast<QLabel*>(m.w) != nullptr;
      EXPECT_EQ(m.w->height(),
                etykieta ? std::max(m.wys, QFontMetrics(m.w->font()).height()) : m.wys);
    }
  }
}

QString bez_akceleratora(QString t) {
  return t.remove('&');
}

// The caption fits the button's contents rectangle in the style in use.
void sprawdz_przycisk(QPushButton& b) {
  SCOPED_TRACE(b.text().toStdString());
  QStyleOptionButton opcje;
  opcje.initFrom(&b);
  opcje.text = b.text();
  const QRect tresc = b.style()->subElementRect(QStyle::SE_PushButtonContents, &opcje, &b);
  const QFontMetrics fm(b.font());
  EXPECT_LE(fm.horizontalAdvance(bez_akceleratora(b.text())), tresc.width());
  EXPECT_LE(fm.height(), tresc.height());
}

void sprawdz_pole(QCheckBox& p) {
  SCOPED_TRACE(p.text().toStdString());
  QStyleOptionButton opcje;
  opcje.initFrom(&p);
  opcje.text = p.text();
  const QRect tresc = p.style()->subElementRect(QStyle::SE_CheckBoxContents, &opcje, &p);
  const QFontMetrics fm(p.font());
  EXPECT_LE(tresc.left() + fm.horizontalAdvance(bez_akceleratora(p.text())), p.width());
  EXPECT_LE(fm.height(), p.height());
}

void sprawdz_etykiete(TLabel& l) {
  SCOPED_TRACE(l.text().toStdString());
  const QFontMetrics fm(l.font());
  EXPECT_LE(fm.horizontalAdvance(l.text()), l.width());
  EXPECT_LE(fm.height(), l.height());
  // Nothing beyond the parent's edge either.
  EXPECT_LE(l.x() + fm.horizontalAdvance(l.text()), l.parentWidget()->width());
}

void sprawdz_grupe(QGroupBox& g) {
  SCOPED_TRACE(g.title().toStdString());
  const QFontMetrics fm(g.font());
  EXPECT_LE(fm.horizontalAdvance(bez_akceleratora(g.title())) + 16, g.width());
}

std::vector<QWidget*> lancuch_fokusu(QWidget* od, int n) {
  std::vector<QWidget*> w;
  QWidget* b = od;
  for (int i = 0; i < n; ++i) {
    w.push_back(b);
    do {
      b = b->nextInFocusChain();
      // The edit field inside an editable combo box is part of the box.
    } while (!(b->focusPolicy() & Qt::TabFocus) || qobject_cast<QComboBox*>(b->parentWidget()));
  }
  return w;
}

class Uklad : public ::testing::Test {
 protected:
  Konfiguracja konfiguracja;
  Okna o;
};

TEST_F(Uklad, MainWindowFrameCaptionAndStartState) {
  TForm1& f = o.Form1;
  EXPECT_EQ(f.windowTitle(), QStringLiteral("Ostrel prog"));
  EXPECT_EQ(f.size(), QSize(289, 336));
  EXPECT_EQ(f.minimumSize(), f.maximumSize()) << "fixed frame";
  EXPECT_EQ(f.pos(), QPoint(234, 34));
  EXPECT_TRUE(f.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(f.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(f.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(f.isEnabled()) << "created disabled";
  EXPECT_FALSE(f.GroupBox3.isEnabled());
  EXPECT_FALSE(f.Button6.isEnabled());
  EXPECT_EQ(f.programator.tryb_demo, 0);
  // formCreate armed the start-up for 2000 ms.
  EXPECT_TRUE(f.Timer1.isActive());
  EXPECT_TRUE(f.Timer1.isSingleShot());
  EXPECT_EQ(f.Timer1.interval(), 2000);
  EXPECT_EQ(f.operacja, TForm1::kStart);
  // The four globals of the device selection stay 0 until start-up.
  EXPECT_EQ(f.programator.rozmiar_flash, 0);
  EXPECT_EQ(f.programator.kod_ukladu, 0);
}

TEST_F(Uklad, MainWindowControls) {
  TForm1& f = o.Form1;
  sprawdz_miejsca({
      {"GroupBox1", &f.GroupBox1, 8, 11, 273, 85},
      {"Bevel1", &f.Bevel1, 8, 24, 249, 17},
      {"Label1", &f.Label1, 12, 26, -1, 13},
      {"Button1", &f.Button1, 8, 48, 75, 23},
      {"Button2", &f.Button2, 95, 48, 75, 23},
      {"Button10", &f.Button10, 183, 48, 75, 23},
      {"Label2", &f.Label2, 8, 103, -1, 13},
      {"Label3", &f.Label3, 99, 103, -1, 13},
      {"Label4", &f.Label4, 200, 104, -1, 13},
      {"ProgressBar2", &f.ProgressBar2, 8, 119, 273, 19},
      {"GroupBox2", &f.GroupBox2, 8, 144, 272, 52},
      {"Button3", &f.Button3, 8, 24, 75, 23},
      {"Button4", &f.Button4, 96, 24, 75, 23},
      {"Button5", &f.Button5, 184, 24, 75, 23},
      {"GroupBox3", &f.GroupBox3, 8, 203, 272, 52},
      {"Button6", &f.Button6, 8, 24, 75, 23},
      {"Button7", &f.Button7, 96, 24, 75, 23},
      {"Button8", &f.Button8, 184, 24, 75, 23},
      {"GroupBox4", &f.GroupBox4, 8, 256, 171, 49},
      {"ComboBox1", &f.ComboBox1, 16, 16, 137, 21},
      {"Button9", &f.Button9, 192, 264, 89, 41},
  });
  EXPECT_EQ(f.Button3.parentWidget(), &f.GroupBox2);
  EXPECT_EQ(f.Button8.parentWidget(), &f.GroupBox3);
  EXPECT_EQ(f.Label1.parentWidget(), &f.GroupBox1);

  EXPECT_EQ(f.GroupBox1.title(), QStringLiteral(" Plik hex "));
  EXPECT_EQ(f.GroupBox2.title(), QStringLiteral(" Flash "));
  EXPECT_EQ(f.GroupBox3.title(), QStringLiteral(" EEPROM "));
  EXPECT_EQ(f.GroupBox4.title(), QStringLiteral(" Urządzenie "));
  EXPECT_EQ(f.Button1.text(), QStringLiteral("P&rzeglądaj"));
  EXPECT_EQ(f.Button2.text(), QStringLiteral("O programie"));
  EXPECT_EQ(f.Button10.text(), QStringLiteral("Koniec"));
  EXPECT_EQ(f.Button9.text(), QStringLiteral("Z&aawansowane"));
  EXPECT_EQ(f.Label1.text(), QString());
  EXPECT_EQ(f.Label2.text(), QString(21, ' '));
  EXPECT_EQ(f.Label3.text(), QString(21, ' '));
  EXPECT_EQ(f.Label4.text(), QString(20, ' '));
  EXPECT_EQ(f.ProgressBar2.minimum(), 0);
  EXPECT_EQ(f.ProgressBar2.maximum(), 100);
  EXPECT_EQ(f.ProgressBar2.value(), 0);

  // Alt+letter accelerators.
  const std::vector<std::pair<QPushButton*, char>> akceleratory = {
      {&f.Button1, 'R'}, {&f.Button3, 'P'}, {&f.Button4, 'W'}, {&f.Button5, 'C'},
      {&f.Button6, 'O'}, {&f.Button7, 'E'}, {&f.Button8, 'Z'}, {&f.Button9, 'A'}};
  for (auto [b, litera] : akceleratory) {
    EXPECT_EQ(QKeySequence::mnemonic(b->text()),
              QKeySequence(QKeyCombination(Qt::AltModifier, Qt::Key(Qt::Key_A + (litera - 'A')))))
        << b->text().toStdString();
  }
}

TEST_F(Uklad, DeviceBoxItemsAndText) {
  QComboBox& c = o.Form1.ComboBox1;
  const QStringList oczekiwane = {"AT89C51",   "AT89C52",    "AT89C55",       "AT89C1051",
                                  "AT89C2051", "AT89C4051",  "AT89S8252",     "AT89S53",
                                  "AT90S1200", ".AT90S2313", "AT90S4414 /34", "AT90S8515 /35"};
  ASSERT_EQ(c.count(), 12);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(c.itemText(i), oczekiwane[i]);
  EXPECT_TRUE(c.isEditable());
  EXPECT_EQ(c.currentIndex(), -1);
  EXPECT_EQ(c.currentText(), QStringLiteral("AT89C2051"));
  // Every item fits the edit field next to the arrow.
  QStyleOptionComboBox opcje;
  opcje.initFrom(&c);
  opcje.editable = true;
  const QRect pole =
      c.style()->subControlRect(QStyle::CC_ComboBox, &opcje, QStyle::SC_ComboBoxEditField, &c);
  const QFontMetrics fm(c.font());
  for (const auto& t : oczekiwane)
    EXPECT_LE(fm.horizontalAdvance(t), pole.width()) << t.toStdString();
}

TEST_F(Uklad, MainWindowTabOrder) {
  TForm1& f = o.Form1;
  const auto lancuch = lancuch_fokusu(&f.Button1, 11);
  const std::vector<QWidget*> oczekiwany = {&f.Button1, &f.Button2,   &f.Button10, &f.Button3,
                                            &f.Button4, &f.Button5,   &f.Button6,  &f.Button7,
                                            &f.Button8, &f.ComboBox1, &f.Button9};
  EXPECT_EQ(lancuch, oczekiwany);
}

TEST_F(Uklad, FontsAreTheLiberationFacesAtThePixelHeights) {
  for (QWidget* w : {static_cast<QWidget*>(&o.Form1), static_cast<QWidget*>(&o.Form2),
                     static_cast<QWidget*>(&o.Form3), static_cast<QWidget*>(&o.Form4)}) {
    EXPECT_EQ(QFontInfo(w->font()).family(), QStringLiteral("Liberation Sans"));
    EXPECT_EQ(w->font().pixelSize(), 11);
  }
  EXPECT_EQ(QFontInfo(o.Form1.Button3.font()).family(), QStringLiteral("Liberation Sans"));
  EXPECT_EQ(QFontInfo(o.Form3.Label1.font()).family(), QStringLiteral("Liberation Serif"));
  EXPECT_EQ(o.Form3.Label1.font().pixelSize(), 16);
}

TEST_F(Uklad, NoCaptionIsClipped) {
  TForm1& f = o.Form1;
  for (QPushButton* b : {&f.Button1, &f.Button2, &f.Button10, &f.Button3, &f.Button4, &f.Button5,
                         &f.Button6, &f.Button7, &f.Button8, &f.Button9}) {
    sprawdz_przycisk(*b);
  }
  for (QGroupBox* g : {&f.GroupBox1, &f.GroupBox2, &f.GroupBox3, &f.GroupBox4}) sprawdz_grupe(*g);
  // The step labels with every text they take.
  for (const char* t : {"Kasowanie", "Programowanie", "Weryfikacja", "12345"}) {
    f.Label2.setCaption(QString::fromUtf8(t));
    f.Label3.setCaption(QString::fromUtf8(t));
    f.Label4.setCaption(QString::fromUtf8(t));
    sprawdz_etykiete(f.Label2);
    sprawdz_etykiete(f.Label3);
    sprawdz_etykiete(f.Label4);
  }

  TForm2& d = o.Form2;
  for (QPushButton* b : {&d.Button1, &d.Button2, &d.Button3, &d.Button4}) sprawdz_przycisk(*b);
  for (QGroupBox* g : {&d.GroupBox1, &d.GroupBox2}) sprawdz_grupe(*g);
  sprawdz_pole(d.kasowanie);
  // The fuse boxes with the layout captions and with every device's captions.
  sprawdz_pole(d.CheckBox1);
  sprawdz_pole(d.CheckBox2);
  for (int i = 0; i < 12; ++i) {
    o.Form1.ComboBox1.setCurrentIndex(i);
    o.Form1.ComboBox1Change();
    sprawdz_pole(d.CheckBox1);
    sprawdz_pole(d.CheckBox2);
  }
  for (TLabel* l : {&d.opis_modu, &d.info, &d.Label3, &d.Label4, &d.Label5, &d.Label6, &d.target,
                    &d.softhard}) {
    sprawdz_etykiete(*l);
  }
  // The longest lock-mode texts still fit their frames' window.
  d.opis_modu.setCaption(QStringLiteral("B1 [ x ] ; B2 [ x ] ; B3 [ x ]"));
  d.info.setCaption(QStringLiteral("próbkowanie EA w czasie resetu"));
  sprawdz_etykiete(d.opis_modu);
  sprawdz_etykiete(d.info);
  d.softhard.setCaption(QStringLiteral("Soft. 1.2 Hard. 1.0"));
  d.target.setCaption(QStringLiteral("Tryb PAR16"));
  sprawdz_etykiete(d.softhard);
  sprawdz_etykiete(d.target);

  sprawdz_przycisk(o.Form3.Button1);
  const QFontMetrics fm(o.Form3.Label1.font());
  for (const char* t : {"Szukam programatora ...", "Nie znaleziono programatora - tryb demo",
                        "Znaleziono programator na com4", "Programator nie odpowiada",
                        "Weryfikacja OK!", "Błąd weryfikacji"}) {
    EXPECT_LE(fm.horizontalAdvance(QString::fromUtf8(t)), o.Form3.Label1.width()) << t;
  }
  EXPECT_LE(fm.height(), o.Form3.Label1.height());

  sprawdz_przycisk(o.Form4.Button1);
  for (TLabel* l : {&o.Form4.Label1, &o.Form4.Label2, &o.Form4.Label3, &o.Form4.Label4}) {
    const QFontMetrics m(l->font());
    EXPECT_LE(m.horizontalAdvance(l->text()), l->width()) << l->text().toStdString();
    EXPECT_LE(l->x() + l->width(), o.Form4.width());
  }
}

TEST_F(Uklad, AdvancedDialog) {
  TForm2& d = o.Form2;
  EXPECT_EQ(d.windowTitle(), QStringLiteral("Zaawansowane"));
  // The original 293 x 361, grown downwards by the Programator group only.
  EXPECT_EQ(d.size(), QSize(293, 437));
  EXPECT_EQ(d.minimumSize(), d.maximumSize());
  EXPECT_EQ(d.pos(), QPoint(269, 141));
  EXPECT_FALSE(d.isVisible()) << "created hidden";
  EXPECT_FALSE(d.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(d.windowFlags() & Qt::WindowMinimizeButtonHint);
  sprawdz_miejsca({
      {"GroupBox1", &d.GroupBox1, 10, 14, 270, 91},  {"mode", &d.mode, 16, 24, 65, 21},
      {"opis_modu", &d.opis_modu, 101, 27, -1, 13},  {"info", &d.info, 24, 60, -1, 13},
      {"Bevel1", &d.Bevel1, 96, 25, 159, 20},        {"Bevel2", &d.Bevel2, 16, 56, 240, 20},
      {"Label1", &d.Label1, 91, 26, -1, -1},         {"Label2", &d.Label2, 19, 57, -1, -1},
      {"CheckBox1", &d.CheckBox1, 24, 128, 201, 17}, {"CheckBox2", &d.CheckBox2, 24, 153, -1, 17},
      {"Button1", &d.Button1, 24, 200, 75, 22},      {"Button2", &d.Button2, 112, 200, 75, 22},
      {"Button3", &d.Button3, 200, 200, 75, 22},     {"Button4", &d.Button4, 208, 264, 66, 49},
      {"GroupBox2", &d.GroupBox2, 8, 112, 272, 73},  {"kasowanie", &d.kasowanie, 24, 240, 241, 17},
      {"Label3", &d.Label3, 16, 272, -1, 13},        {"Label4", &d.Label4, 16, 303, -1, 13},
      {"Label5", &d.Label5, 16, 333, -1, 13},        {"Label6", &d.Label6, 104, 268, -1, 13},
      {"target", &d.target, 104, 299, -1, 13},       {"softhard", &d.softhard, 104, 332, -1, 13},
      {"Bevel4", &d.Bevel4, 96, 266, 97, 19},        {"Bevel3", &d.Bevel3, 96, 297, 97, 20},
      {"Bevel5", &d.Bevel5, 96, 329, 177, 20},
  });
  // The second fuse box is at least as wide as designed (it grows for its caption).
  EXPECT_GE(d.CheckBox2.width(), 193);
  // The fuse boxes lie over GroupBox2 but belong to the window.
  EXPECT_EQ(d.CheckBox1.parentWidget(), &d);
  EXPECT_EQ(d.GroupBox1.title(), QStringLiteral(" &Bity ( Lock Bits) "));
  EXPECT_EQ(d.GroupBox2.title(), QStringLiteral("&Bezpieczniki (Fuse)"));
  EXPECT_EQ(d.opis_modu.text(), QStringLiteral("B1[  ]  ;  B2[  ] "));
  EXPECT_EQ(d.info.text(), QStringLiteral("zapis i odczyt możliwy"));
  EXPECT_EQ(d.CheckBox1.text(), QStringLiteral("Wewnętrzny &oscylator (RCEN)"));
  EXPECT_EQ(d.CheckBox2.text(), QStringLiteral("Możliwe programowanie I&SP (SPIEN)"));
  EXPECT_FALSE(d.CheckBox1.isChecked());
  EXPECT_FALSE(d.CheckBox2.isChecked());
  EXPECT_TRUE(d.CheckBox1.isEnabled());
  EXPECT_TRUE(d.CheckBox2.isEnabled());
  EXPECT_EQ(d.Button1.text(), QStringLiteral("O&dczytaj"));
  EXPECT_EQ(d.Button2.text(), QStringLiteral("&Wpisz"));
  EXPECT_EQ(d.Button3.text(), QStringLiteral("&Kasuj Chip"));
  EXPECT_EQ(d.Button4.text(), QStringLiteral("Z&amknij"));
  EXPECT_EQ(d.kasowanie.text(), QStringLiteral("kasuj  układ przed programowaniem"));
  EXPECT_TRUE(d.kasowanie.isChecked());
  EXPECT_EQ(d.Label3.text(), QStringLiteral("Sygnatura "));
  EXPECT_EQ(d.Label4.text(), QStringLiteral("Target board"));
  EXPECT_EQ(d.Label5.text(), QStringLiteral("Target SW rev."));
  EXPECT_EQ(d.Label6.text(), QStringLiteral("Sygnatura"));
  EXPECT_EQ(d.target.text(), QStringLiteral("target"));
  EXPECT_EQ(d.softhard.text(), QStringLiteral("softhard"));
  EXPECT_EQ(d.opis_modu.alignment() & Qt::AlignVertical_Mask, Qt::AlignVCenter);
  ASSERT_EQ(d.mode.count(), 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(d.mode.itemText(i), QStringLiteral("Tryb %1").arg(i));
  EXPECT_TRUE(d.mode.isEditable());
  EXPECT_EQ(d.mode.currentIndex(), -1);
  EXPECT_EQ(d.mode.currentText(), QStringLiteral("Tryb 0"));

  const auto lancuch = lancuch_fokusu(&d.mode, 8);
  const std::vector<QWidget*> oczekiwany = {&d.mode,    &d.CheckBox1, &d.CheckBox2, &d.Button1,
                                            &d.Button2, &d.Button3,   &d.Button4,   &d.kasowanie};
  EXPECT_EQ(lancuch, oczekiwany);
}

TEST_F(Uklad, AdvancedDialogCloseHidesAndKeepsEverything) {
  TForm2& d = o.Form2;
  d.show();
  d.kasowanie.click();
  ASSERT_FALSE(o.Form1.programator.dialog.kasowanie);
  d.Button4.click();
  EXPECT_FALSE(d.isVisible());
  d.show();
  d.close();
  EXPECT_FALSE(d.isVisible());
  EXPECT_FALSE(d.kasowanie.isChecked());
  EXPECT_FALSE(o.Form1.programator.dialog.kasowanie);
}

TEST_F(Uklad, StatusWindow) {
  TForm3& s = o.Form3;
  EXPECT_EQ(s.windowTitle(), QStringLiteral("Ostrel prog "));
  EXPECT_TRUE(s.isVisible()) << "visible from its creation";
  EXPECT_TRUE(s.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_FALSE(s.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(s.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_NE(s.minimumSize(), s.maximumSize()) << "sizeable";
  EXPECT_EQ(s.size(), QSize(376, 73)) << "outer 384 x 100 less the sizeable frame";
  EXPECT_EQ(s.Label1.geometry(), QRect(0, 0, 376, 19));
  EXPECT_EQ(s.Label1.text(), QStringLiteral("Szukam programatora ..."));
  EXPECT_EQ(s.Label1.alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
  EXPECT_EQ(s.Button1.geometry(), QRect(144, 32, 75, 25));
  EXPECT_EQ(s.Button1.text(), QStringLiteral("OK"));
  EXPECT_FALSE(s.Button1.isEnabled());
  // Centred on the screen by its outer size.
  const QRect ekran = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_EQ(s.x() + 384 / 2, ekran.center().x());
  EXPECT_EQ(s.y() + 100 / 2, ekran.center().y());
  // The message line keeps the full width when the window is resized.
  s.resize(500, 80);
  EXPECT_EQ(s.Label1.width(), 500);
}

TEST_F(Uklad, AboutBox) {
  TForm4& a = o.Form4;
  EXPECT_EQ(a.windowTitle(), QStringLiteral("O programie"));
  EXPECT_EQ(a.size(), QSize(145, 111));
  EXPECT_EQ(a.minimumSize(), a.maximumSize());
  EXPECT_EQ(a.pos(), QPoint(307, 185));
  EXPECT_FALSE(a.isVisible());
  EXPECT_FALSE(a.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(a.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(a.Label3.pos(), QPoint(24, 44));
  EXPECT_EQ(a.Label4.pos(), QPoint(16, 60));
  EXPECT_EQ(a.Button1.geometry(), QRect(35, 80, 75, 25));
  EXPECT_EQ(a.Button1.text(), QStringLiteral("OK"));
  EXPECT_EQ(a.Label3.palette().color(QPalette::WindowText), QColor(Qt::blue));
  EXPECT_EQ(a.Label4.palette().color(QPalette::WindowText), QColor(Qt::blue));
  EXPECT_EQ(a.Label3.alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
  EXPECT_TRUE(a.Label4.text().contains('@'));
}

TEST_F(Uklad, FileDialogsAsConfigured) {
  TForm1& f = o.Form1;
  std::vector<std::tuple<QStringList, QFileDialog::AcceptMode, QString, QString, bool, bool>>
      widziane;
  f.wybor_pliku = [&](QFileDialog& d) {
    widziane.emplace_back(d.nameFilters(), d.acceptMode(), d.windowTitle(), d.defaultSuffix(),
                          d.testOption(QFileDialog::DontUseNativeDialog),
                          d.testOption(QFileDialog::DontConfirmOverwrite));
    return QString();
  };
  f.przegladaj();
  f.czytaj_flash();
  ASSERT_EQ(widziane.size(), 2u);
  const QStringList filtr = {QStringLiteral("Pliki hex (*.hex,*.eep) (*.hex *.eep)")};
  // Opening offers every file the reader takes (SDCC's .ihx, avr-gcc's ELF) and any file
  // after the HEX files; saving writes HEX only.
  const QStringList otwieranie = {
      QStringLiteral("Wszystkie obsługiwane (*.hex,*.eep,*.ihx,*.elf) (*.hex *.eep *.ihx *.elf)"),
      QStringLiteral("Wszystkie pliki (*) (*)")};
  EXPECT_EQ(std::get<0>(widziane[0]), filtr + otwieranie);
  EXPECT_EQ(std::get<1>(widziane[0]), QFileDialog::AcceptOpen);
  EXPECT_TRUE(std::get<4>(widziane[0]));
  EXPECT_EQ(std::get<0>(widziane[1]), filtr);
  EXPECT_EQ(std::get<1>(widziane[1]), QFileDialog::AcceptSave);
  EXPECT_EQ(std::get<2>(widziane[1]), QStringLiteral("Zapisz jako"));
  EXPECT_EQ(std::get<3>(widziane[1]), QStringLiteral("hex"));
  EXPECT_TRUE(std::get<4>(widziane[1]));
  EXPECT_FALSE(std::get<5>(widziane[1])) << "asks before overwriting";
  // The filter shows one entry whose patterns are *.hex and *.eep.
  EXPECT_EQ(filtry_qt(QString::fromUtf8(kFiltrHex)), filtr);
}

}  // namespace
}  // namespace ostrel::test
