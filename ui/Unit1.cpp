#include "ui/Unit1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <memory>

#include "devices/uklady.h"
#include "hex/objasnienie.h"
#include "hex/strumien.h"
#include "ui/Unit2.h"
#include "ui/Unit3.h"
#include "ui/Unit4.h"
#include "ui/kontrola_ukladu.h"
#include "ui/ustawienia.h"
#include "ui/ustawienia_programatora.h"

namespace ostrel {

namespace {

QString q(const std::string& s) {
  return QString::fromStdString(s);
}

void ustaw_grupe(QGroupBox& g, int x, int y, int w, int h, const QString& tytul) {
  g.setGeometry(x, y, w, h);
  g.setTitle(tytul);
}

}  // namespace

TForm1::TForm1(QWidget* rodzic)
    : QWidget(rodzic, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      CommPortDriver1(nullptr, &TimerPollingu1),
      praca(CommPortDriver1, TimerPollingu1),
      programator(praca.programator) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Ostrel prog"));
  setFont(czcionka_okna());
  setFixedSize(289, 336);
  move(234, 34);

  ustaw_grupe(GroupBox1, 8, 11, 273, 85, QStringLiteral(" Plik hex "));
  Bevel1.lower();
  ProgressBar2.setGeometry(8, 119, 273, 19);
  ProgressBar2.setRange(0, 100);
  ProgressBar2.setValue(0);
  ProgressBar2.setTextVisible(false);
  // The progress is what an operation shows while the window takes no input.
  zachowaj_kolory(ProgressBar2);
  ustaw_grupe(GroupBox2, 8, 144, 272, 52, QStringLiteral(" Flash "));
  ustaw_grupe(GroupBox3, 8, 203, 272, 52, QStringLiteral(" EEPROM "));
  GroupBox3.setEnabled(false);
  ustaw_grupe(GroupBox4, 8, 256, 171, 49, QStringLiteral(" Urządzenie "));
  ComboBox1.setGeometry(16, 16, 137, 21);
  ComboBox1.setEditable(true);
  // Typing must never add entries: the list is the device table.
  ComboBox1.setInsertPolicy(QComboBox::NoInsert);
  pokaz_liste(StanOkna{}.wiersze);
  ComboBox1.setCurrentIndex(-1);
  ComboBox1.setEditText(QStringLiteral("AT89C2051"));

  // Tab order: the groups in the window's order, inside each the order of its buttons.
  setTabOrder(&Button1, &Button2);
  setTabOrder(&Button2, &Button10);
  setTabOrder(&Button10, &Button3);
  setTabOrder(&Button3, &Button4);
  setTabOrder(&Button4, &Button5);
  setTabOrder(&Button5, &Button6);
  setTabOrder(&Button6, &Button7);
  setTabOrder(&Button7, &Button8);
  setTabOrder(&Button8, &ComboBox1);
  setTabOrder(&ComboBox1, &Button9);

  OpenDialog1.Filter = QString::fromUtf8(kFiltrHex) + QString::fromUtf8(kFiltrOtwierania);
  SaveDialog1.Filter = QString::fromUtf8(kFiltrHex);
  SaveDialog1.Title = QStringLiteral("Zapisz jako");
  SaveDialog1.DefaultExt = QStringLiteral("hex");
  SaveDialog1.zapis = true;

  Timer1.setSingleShot(true);
  Timer1.setInterval(kOpoznienieMs);

  connect(&Button1, &QPushButton::clicked, this, [this] { przegladaj(); });
  connect(&Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  connect(&Button10, &QPushButton::clicked, this, [this] { Button10Click(); });
  connect(&Button3, &QPushButton::clicked, this, [this] { prog_flash(); });
  connect(&Button4, &QPushButton::clicked, this, [this] { weryf_flash(); });
  connect(&Button5, &QPushButton::clicked, this, [this] { czytaj_flash(); });
  connect(&Button6, &QPushButton::clicked, this, [this] { prog_eeprom(); });
  connect(&Button7, &QPushButton::clicked, this, [this] { weryf_eeprom(); });
  connect(&Button8, &QPushButton::clicked, this, [this] { czytaj_eeprom(); });
  connect(&Button9, &QPushButton::clicked, this, [this] { zaawansowane(); });
  connect(&ComboBox1, &QComboBox::activated, this, [this](int) { ComboBox1Change(); });
  connect(&Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
  connect(&praca, &Praca::zakonczona, this, [this] {
    emit praca_zakonczona();
    // A close request waited for the end of the work.
    if (zamknij_po_) close();
  });

  // The component's designed settings: COM3, 19200 baud, 50 ms input time-out.
  ustaw_CommPortDriver1(CommPortDriver1);

  // Created disabled; the start-up operation enables it.
  setEnabled(false);
  formCreate();
  if (qApp != nullptr) qApp->installEventFilter(this);
}

TForm1::~TForm1() {
  praca.zaczekaj();
}

void TForm1::ustaw_okna(TForm2* f2, TForm3* f3, TForm4* f4) {
  form2_ = f2;
  form3_ = f3;
  form4_ = f4;
  if (form2_ != nullptr) form2_->ustaw_prace(&praca);
  praca.ustaw_okna(this, f2, f3);
}

void TForm1::formCreate() {
  uzbroj(kStart);
  model().tryb_demo = 0;
}

void TForm1::uzbroj(int kod) {
  praca.anuluj_tyk();
  Timer1.setInterval(kOpoznienieMs);
  Timer1.start();
  operacja = kod;
}

// ---- Showing the model

void TForm1::pokaz_stan() {
  pokaz_stan(model().okno);
}

void TForm1::pokaz_stan(const StanOkna& o) {
  // Only what changed is set: an operation sends the model at every step of the bar, and
  // setting each control afresh would cost the window thread a large share of its time.
  if (ProgressBar2.value() != o.ProgressBar2) ProgressBar2.setValue(o.ProgressBar2);
  Label1.setCaption(q(o.Label1));
  Label2.setCaption(q(o.Label2));
  Label3.setCaption(q(o.Label3));
  Label4.setCaption(q(o.Label4));
  if (GroupBox3.isEnabledTo(this) != o.GroupBox3) GroupBox3.setEnabled(o.GroupBox3);
  const QSignalBlocker blokada(ComboBox1);
  if (o.wiersze != wiersze_) pokaz_liste(o.wiersze);
  const auto w = std::find(wiersze_.begin(), wiersze_.end(), o.ComboBox1_index);
  const int pozycja = w == wiersze_.end() ? -1 : static_cast<int>(w - wiersze_.begin());
  if (o.ComboBox1_index >= 0 && pozycja >= 0) {
    if (ComboBox1.currentIndex() != pozycja) ComboBox1.setCurrentIndex(pozycja);
  } else {
    if (ComboBox1.currentIndex() != -1) ComboBox1.setCurrentIndex(-1);
    const QString tekst = q(o.ComboBox1_text);
    if (ComboBox1.currentText() != tekst) ComboBox1.setEditText(tekst);
  }
}

void TForm1::pokaz_liste(const std::vector<int>& wiersze) {
  const QSignalBlocker blokada(ComboBox1);
  const QString tekst = ComboBox1.currentText();
  ComboBox1.clear();
  for (const int i : wiersze) {
    ComboBox1.addItem(QString::fromUtf8(kUklady[static_cast<std::size_t>(i)].nazwa));
  }
  wiersze_ = wiersze;
  ComboBox1.setCurrentIndex(-1);
  ComboBox1.setEditText(tekst);
}

int TForm1::wiersz_wybrany() const {
  const int i = ComboBox1.currentIndex();
  return i >= 0 && i < static_cast<int>(wiersze_.size()) ? wiersze_[static_cast<std::size_t>(i)]
                                                         : -1;
}

void TForm1::komunikat(const QString& tekst) {
  model().komunikat(tekst.toStdString());
}

// ---- File choice

std::optional<bool> TForm1::wykonaj(TFileDialog& d) {
  QString wybrana;
  {
    const Praca::Dialog otwarty(praca);
    wybrana = pokaz_dialog_pliku(d, this, wybor_pliku);
  }
  // The scheduler's tick fell while the dialog was open: the operation it starts owns
  // the file name, the device and the rest from that moment, so the choice is dropped
  // (the operator sees the current file unchanged).
  const bool due = praca.tyk_odlozony() && operacja >= kCzytajFlash && operacja <= kProgramujEeprom;
  if (praca.zajety() || due) return std::nullopt;
  if (!wybrana.isEmpty()) d.FileName = wybrana;
  return !d.FileName.isEmpty();
}

bool TForm1::przyjmij_nazwe(TFileDialog& d) {
  const std::string n = d.FileName.toStdString();
  if (liczba_znakow(n) > kMaksDlugoscNazwy) {
    // Kept, the name would come back with every showing of the dialog, and a cancel
    // would bring this message again. The dialog goes back to the current file, so a
    // cancel keeps it.
    d.FileName = q(model().nazwa_pliku);
    komunikat(QStringLiteral("Nazwa pliku ma ponad 255 znaków"));
    return false;
  }
  model().nazwa_pliku = n;
  model().okno.Label1 = n;
  pokaz_stan();
  return true;
}

// ---- Buttons

void TForm1::przegladaj() {
  if (!wykonaj(OpenDialog1).has_value()) return;
  if (!przyjmij_nazwe(OpenDialog1)) return;
  if (model().nazwa_pliku.empty()) return;
  // Check the file at once, so a bad file shows before anything is armed.
  Strumien obraz;
  std::string tekst;
  PrzyczynaHex przyczyna;
  if (wczytaj_hex(model().nazwa_pliku, obraz, tekst, static_cast<std::size_t>(-1), &przyczyna) !=
      Wynik::ok)
    model().komunikat(tekst, objasnienie_hex(przyczyna));
}

// Programming starts the dialog empty; verifying shows the name it held last.
bool TForm1::plik_operacji(bool pusty_dialog) {
  if (model().nazwa_pliku.empty()) {
    const QString poprzednia = OpenDialog1.FileName;
    if (pusty_dialog) OpenDialog1.FileName.clear();
    const auto jest = wykonaj(OpenDialog1);
    if (!jest) {
      OpenDialog1.FileName = poprzednia;
      return false;
    }
    if (*jest && !przyjmij_nazwe(OpenDialog1)) return false;
  }
  return !model().nazwa_pliku.empty();
}

void TForm1::prog_flash() {
  if (!plik_operacji(true)) return;
  model().okno.Label2 = model().dialog.kasowanie ? "Kasowanie" : " ";
  model().okno.Label3 = "Programowanie";
  model().okno.Label4 = "Weryfikacja";
  pokaz_stan();
  uzbroj(kProgramujFlash);
}

void TForm1::prog_eeprom() {
  if (!plik_operacji(true)) return;
  model().okno.Label3 = "Programowanie";
  model().okno.Label4 = "Weryfikacja";
  pokaz_stan();
  uzbroj(kProgramujEeprom);
}

void TForm1::weryf_flash() {
  weryfikacja(kWeryfikujFlash);
}

void TForm1::weryf_eeprom() {
  weryfikacja(kWeryfikujEeprom);
}

// Both verify buttons.
void TForm1::weryfikacja(int kod) {
  if (!plik_operacji(false)) return;
  model().okno.Label4 = "Weryfikacja";
  pokaz_stan();
  uzbroj(kod);
}

void TForm1::czytaj_flash() {
  odczyt(kCzytajFlash);
}

void TForm1::czytaj_eeprom() {
  if (model().rozmiar_eeprom == 0) return;
  odczyt(kCzytajEeprom);
}

// Both read buttons: the save dialog starts empty every time.
void TForm1::odczyt(int kod) {
  const QString poprzednia = SaveDialog1.FileName;
  SaveDialog1.FileName.clear();
  const auto jest = wykonaj(SaveDialog1);
  if (!jest) SaveDialog1.FileName = poprzednia;
  if (!jest.value_or(false)) return;
  if (!przyjmij_nazwe(SaveDialog1)) return;
  uzbroj(kod);
}

void TForm1::ComboBox1Change() {
  if (praca.zajety()) return;
  wybierz_uklad(praca.model(), wiersz_wybrany());
  pokaz_stan();
  if (form2_ != nullptr) form2_->pokaz_stan();
}

void TForm1::zaawansowane() {
  if (praca.zajety()) return;
  const bool szukaj = start_wykonany_;
  praca.uruchom([this, szukaj] {
    if (szukaj) szukaj_ponownie();
    praca.model().zaawansowane();
  });
}

void TForm1::Button2Click() {
  if (form4_ == nullptr) return;
  form4_->show();
  form4_->raise();
  form4_->activateWindow();
}

void TForm1::Button10Click() {
  close();
}

void TForm1::FormClick() {
  model().okno.ProgressBar2 = 0;
  pokaz_stan();
}

void TForm1::mousePressEvent(QMouseEvent* e) {
  // Only the window's own background: clicks on controls (and on the labels and group
  // boxes, which pass them on) are not the window's.
  klik_tla_ = e->button() == Qt::LeftButton && childAt(e->position().toPoint()) == nullptr;
  if (klik_tla_) {
    e->accept();
    return;
  }
  QWidget::mousePressEvent(e);
}

void TForm1::mouseReleaseEvent(QMouseEvent* e) {
  if (klik_tla_ && e->button() == Qt::LeftButton) {
    klik_tla_ = false;
    if (rect().contains(e->position().toPoint())) FormClick();
    e->accept();
    return;
  }
  QWidget::mouseReleaseEvent(e);
}

// ---- The scheduler

void TForm1::Timer1Timer() {
  Timer1.stop();
  // Work holds the port, or a dialog of ours is open (whose result the operation must
  // not take): the tick runs when both have ended.
  if (praca.zajety() || praca.dialog_otwarty()) {
    praca.odloz_tyk();
    return;
  }
  const int kod = operacja;
  // Clicking the status text enables the window before the start-up has run, and a
  // button pressed then replaces the pending start-up. Without the search the port would
  // never open and every operation of the run would fail, so the search comes first.
  const bool przed = !start_wykonany_ && kod != kStart;
  const bool pamiec = kod >= kCzytajFlash && kod <= kProgramujEeprom;
  if (kod == kStart || przed || pamiec) {
    start_wykonany_ = true;
    const int uklad = wiersz_wybrany();
    // From here the worker owns the model: the code is copied, and the file name, the
    // device, the erase box, the lock mode and the fuses are read by the operation from
    // a model no window writes until it has ended.
    // What the chip check found, for the window thread once the work has ended.
    auto kontrola = std::make_shared<KontrolaUkladu>();
    praca.uruchom(
        [this, kod, przed, pamiec, uklad, kontrola] {
          if (przed) start(true, uklad);
          if (kod == kStart) start();
          if (pamiec) {
            if (!przed) szukaj_ponownie();
            Programator& p = praca.model();
            // A program operation checks the chip in the socket before the operation's
            // own conversation, which stays as it is when the chip is the part chosen.
            if (operacja_zapisuje(p, kod)) {
              *kontrola = sprawdz_uklad(p);
              if (kontrola->dalej != KontrolaUkladu::Dalej::tak) return;
            }
            operacja_pamieci(kod);
          }
        },
        [this, kod, kontrola] {
          if (kontrola->dalej == KontrolaUkladu::Dalej::pytanie)
            return zapytaj_o_uklad(kod, *kontrola);
          koniec_tyku();
        });
    return;
  }
  setEnabled(false);
  if (kod == kWyczysc) {
    model().okno.ProgressBar2 = 0;
    model().okno.Label2.clear();
    model().okno.Label3.clear();
    model().okno.Label4.clear();
  }
  koniec_tyku();
}

void TForm1::operacja_pamieci(int kod) {
  Programator& p = praca.model();
  // Demo mode sends nothing; the operator is told so rather than left guessing.
  if (p.operacja_pamieci(kod) == Wynik::demo) p.komunikat(kDemoNicNieWyslano);
}

void TForm1::zapytaj_o_uklad(int kod, const KontrolaUkladu& k) {
  // A close asked for meanwhile is no consent to write.
  bool tak = !zamknij_po_;
  if (tak) {
    const QString pytanie = QString::fromStdString(pytanie_o_uklad(k.opis, "Programować mimo to?"));
    if (odpowiedz_na_pytanie) {
      tak = odpowiedz_na_pytanie(pytanie);
    } else {
      // A tick that falls meanwhile waits for the answer.
      const Praca::Dialog otwarty(praca);
      tak = QMessageBox::warning(this, windowTitle(), pytanie, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
    }
  }
  if (!tak) {
    komunikat(QString::fromUtf8(kNicNieZapisano));
    koniec_tyku();
    return;
  }
  // The model is as the check left it: the question kept every window from input.
  praca.uruchom([this, kod] { operacja_pamieci(kod); }, [this] { koniec_tyku(); });
}

void TForm1::koniec_tyku() {
  pokaz_stan();
  if (model().okno.ProgressBar2 != 0) uzbroj(kWyczysc);
  setEnabled(true);
}

void TForm1::start(bool przed_operacja, int uklad) {
  Programator& p = praca.model();
  const std::string nazwa = p.nazwa_pliku;
  // The programmer's type and speed before the search, which runs at that speed.
  const UstawieniaProgramatora up = wczytaj_ustawienia_programatora();
  p.ustaw_typ(up.typ);
  predkosc_z_liczby(up.predkosc, p.predkosc);
  p.sprawdz();
  std::string blad;
  if (!laduj_ustawienia(p, blad)) praca.zglos_blad(QString::fromStdString(blad));
  // A part beyond the twelve is kept by name: it takes the place of Ostrel.cf's device.
  const int zapamietany = uklad_z_ustawien(up, p.okno.wiersze);
  if (zapamietany >= 0) wybierz_uklad(p, zapamietany);
  if (przed_operacja) {
    if (uklad >= 0 && uklad != p.okno.ComboBox1_index) wybierz_uklad(p, uklad);
    if (!nazwa.empty()) {
      p.nazwa_pliku = nazwa;
      p.okno.Label1 = nazwa;
    }
  }
  if (!przed_operacja && !plik_startowy_.isEmpty()) {
    p.nazwa_pliku = plik_startowy_.toStdString();
    p.okno.Label1 = p.nazwa_pliku;
  }
  praca.okno_zmienione();
  praca.dialog_zmieniony();
}

void TForm1::szukaj_ponownie() {
  Programator& p = praca.model();
  if (p.port.IsOpen()) return;
  p.sprawdz();
  const bool jest = p.port.IsOpen();
  p.brak_programatora = jest ? 0 : 1;
  p.tryb_demo = jest ? 0 : 1;
}

void TForm1::ustaw_plik_startowy(const QString& nazwa) {
  // Cut like a dialog's name: a longer one is no short text.
  if (liczba_znakow(nazwa.toStdString()) > kMaksDlugoscNazwy) return;
  plik_startowy_ = nazwa;
  OpenDialog1.FileName = nazwa;
}

// ---- Stopping

bool TForm1::zapytaj_o_przerwanie() {
  if (!praca.zajety() || pytanie_otwarte_) return false;
  pytanie_otwarte_ = true;
  const QString pytanie = QString::fromUtf8(kPytanieOPrzerwanie);
  bool tak = false;
  if (odpowiedz_na_pytanie) {
    tak = odpowiedz_na_pytanie(pytanie);
  } else {
    tak = QMessageBox::question(this, windowTitle(), pytanie, QMessageBox::Yes | QMessageBox::No,
                                QMessageBox::No) == QMessageBox::Yes;
  }
  pytanie_otwarte_ = false;
  if (tak) praca.przerwij();
  return tak;
}

bool TForm1::eventFilter(QObject* cel, QEvent* e) {
  // Only a widget's event is looked at: the worker's hand-over to this thread posts
  // events of its own, made on the worker, that must not be touched before it takes them.
  if (cel->isWidgetType() && e->type() == QEvent::KeyPress && praca.zajety() &&
      static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) {
    const QWidget* okno = static_cast<QWidget*>(cel)->window();
    if (okno == this || okno == static_cast<QWidget*>(form2_) ||
        okno == static_cast<QWidget*>(form3_)) {
      zapytaj_o_przerwanie();
      return true;
    }
  }
  return QWidget::eventFilter(cel, e);
}

// ---- Closing

void TForm1::zglos_blad(const QString& tekst) {
  if (raport_bledu) {
    raport_bledu(tekst);
    return;
  }
  const Praca::Dialog otwarty(praca);
  QMessageBox::critical(this, windowTitle(), tekst);
}

void TForm1::FormClose() {
  CommPortDriver1.Close();
  std::string blad;
  // Reported, and the window still closes: keeping it open with the port already closed
  // would leave a program that can never be ended.
  if (!zachowaj_ustawienia(model(), blad)) zglos_blad(QString::fromStdString(blad));
  if (!zachowaj_uklad(model(), blad)) zglos_blad(QString::fromStdString(blad));
}

void TForm1::closeEvent(QCloseEvent* e) {
  if (praca.zajety()) {
    // The worker owns the port: the window closes, and the settings are saved, when the
    // work has ended, stopped at its next command when the operator says so.
    zamknij_po_ = true;
    e->ignore();
    zapytaj_o_przerwanie();
    return;
  }
  if (!zamkniete_) {
    zamkniete_ = true;
    Timer1.stop();
    FormClose();
    for (QWidget* w : {static_cast<QWidget*>(form2_), static_cast<QWidget*>(form3_),
                       static_cast<QWidget*>(form4_)}) {
      if (w != nullptr) w->hide();
    }
    emit zamkniete();
  }
  e->accept();
}

}  // namespace ostrel
