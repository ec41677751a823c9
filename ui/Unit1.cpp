#include "ui/Unit1.h"

#include <QCloseEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QThread>
#include <exception>

#include "devices/uklady.h"
#include "hex/strumien.h"
#include "ui/Unit2.h"
#include "ui/Unit3.h"
#include "ui/Unit4.h"
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

QStringList filtry_qt(const QString& filtr) {
  QStringList wynik;
  const QStringList czesci = filtr.split('|');
  for (qsizetype i = 0; i + 1 < czesci.size(); i += 2) {
    QString wzorce = czesci[i + 1];
    wzorce.replace(';', ' ');
    wynik << czesci[i] + QStringLiteral("(") + wzorce + QStringLiteral(")");
  }
  return wynik;
}

TForm1::TForm1(QWidget* rodzic)
    : QWidget(rodzic, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      CommPortDriver1(nullptr, &TimerPollingu1),
      programator(CommPortDriver1, *this) {
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
  for (const auto& u : kUklady) ComboBox1.addItem(QString::fromUtf8(u.nazwa));
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

  OpenDialog1.Filter = QString::fromUtf8(kFiltrHex) + QStringLiteral("Pliki ELF (*.elf) |*.elf|");
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

  // The component's designed settings: COM3, 19200 baud, 50 ms input time-out.
  ustaw_CommPortDriver1(CommPortDriver1);

  // Created disabled; the start-up operation enables it.
  setEnabled(false);
  formCreate();
}

TForm1::~TForm1() {
  zaczekaj_na_prace();
}

void TForm1::ustaw_okna(TForm2* f2, TForm3* f3, TForm4* f4) {
  form2_ = f2;
  form3_ = f3;
  form4_ = f4;
  if (form2_ != nullptr) form2_->ustaw_form1(this);
}

void TForm1::formCreate() {
  uzbroj(kStart);
  programator.tryb_demo = 0;
}

void TForm1::uzbroj(int kod) {
  Timer1.setInterval(kOpoznienieMs);
  Timer1.start();
  operacja = kod;
}

// ---- Showing the model

void TForm1::pokaz_stan() {
  pokaz_stan(programator.okno);
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
  if (o.ComboBox1_index >= 0 && o.ComboBox1_index < ComboBox1.count()) {
    if (ComboBox1.currentIndex() != o.ComboBox1_index) ComboBox1.setCurrentIndex(o.ComboBox1_index);
  } else {
    if (ComboBox1.currentIndex() != -1) ComboBox1.setCurrentIndex(-1);
    const QString tekst = q(o.ComboBox1_text);
    if (ComboBox1.currentText() != tekst) ComboBox1.setEditText(tekst);
  }
}

// The core calls these on the thread that owns the model: on this thread they show it
// at once; from the worker they send a copy, and the window shows it when the message
// loop delivers it, in the order sent.

bool TForm1::w_watku_okien() const {
  return QThread::currentThread() == thread();
}

void TForm1::okno_zmienione() {
  if (w_watku_okien()) {
    pokaz_stan();
    return;
  }
  QMetaObject::invokeMethod(
      this, [this, s = programator.okno] { pokaz_stan(s); }, Qt::QueuedConnection);
}

void TForm1::dialog_zmieniony() {
  if (form2_ == nullptr) return;
  if (w_watku_okien()) {
    form2_->pokaz_stan();
    return;
  }
  QMetaObject::invokeMethod(
      this, [this, s = programator.dialog] { form2_->pokaz_stan(s); }, Qt::QueuedConnection);
}

void TForm1::status_zmieniony(bool pokaz) {
  if (form3_ == nullptr) return;
  const auto pokaz_status = [this, pokaz](const StanStatusu& s) {
    form3_->pokaz_stan(s);
    if (pokaz) {
      form3_->pokaz();
    } else if (!s.widoczny) {
      form3_->hide();
    }
  };
  if (w_watku_okien()) {
    pokaz_status(programator.status);
    return;
  }
  QMetaObject::invokeMethod(
      this, [pokaz_status, s = programator.status] { pokaz_status(s); }, Qt::QueuedConnection);
}

void TForm1::pokaz_dialog() {
  if (form2_ == nullptr) return;
  const auto pokaz = [this](const StanDialogu& s) {
    form2_->pokaz_stan(s);
    form2_->show();
    form2_->raise();
    form2_->activateWindow();
  };
  if (w_watku_okien()) {
    pokaz(programator.dialog);
    return;
  }
  QMetaObject::invokeMethod(
      this, [pokaz, s = programator.dialog] { pokaz(s); }, Qt::QueuedConnection);
}

// ---- Work on the worker thread

void TForm1::w_tle(std::function<void()> praca, std::function<void()> potem) {
  zajety_ = true;
  potem_ = std::move(potem);
  zablokuj(true);
  // One thread at a time owns the port: no polling tick while the worker uses it.
  TimerPollingu1.wstrzymaj(true);
  watek_ = std::thread([this, praca = std::move(praca)] {
    try {
      praca();
    } catch (const std::exception& e) {
      // The general error report, as for an error raised inside a handler.
      zglos_blad(QString::fromUtf8(e.what()));
    }
    QMetaObject::invokeMethod(
        this, [this] { koniec_pracy(); }, Qt::QueuedConnection);
  });
}

void TForm1::koniec_pracy() {
  // The worker has posted this as its last act: the join returns at once.
  if (watek_.joinable()) watek_.join();
  TimerPollingu1.wstrzymaj(false);
  zajety_ = false;
  if (potwierdzenie_odlozone_) {
    potwierdzenie_odlozone_ = false;
    // The OK action's part in the model, now that the model is ours again. The status
    // window stays as the operation left it (a message shown after the click stays).
    if (programator.brak_programatora == 1) programator.tryb_demo = 1;
    programator.status.widoczny = form3_ != nullptr && form3_->isVisible();
  }
  const auto potem = std::move(potem_);
  potem_ = nullptr;
  zablokuj(false);
  pokaz_stan();
  if (form2_ != nullptr) form2_->pokaz_stan();
  if (potem) potem();
  const QStringList bledy = std::move(bledy_w_tle_);
  bledy_w_tle_.clear();
  for (const QString& b : bledy) zglos_blad(b);
  emit praca_zakonczona();
  if (zamknij_po_) {
    close();
    return;
  }
  if (tyk_odlozony_) {
    tyk_odlozony_ = false;
    Timer1Timer();
  }
}

void TForm1::zaczekaj_na_prace() {
  if (watek_.joinable()) watek_.join();
}

void TForm1::zablokuj(bool tak) {
  setEnabled(!tak);
  if (form2_ != nullptr) form2_->setEnabled(!tak);
}

void TForm1::komunikat(const QString& tekst) {
  programator.komunikat(tekst.toStdString());
}

// ---- File choice

bool TForm1::wykonaj(TFileDialog& d) {
  QFileDialog okno(this);
  // Qt's own dialog, so it looks and behaves the same on every desktop.
  okno.setOption(QFileDialog::DontUseNativeDialog);
  okno.setOption(QFileDialog::HideNameFilterDetails);
  if (!d.Title.isEmpty()) okno.setWindowTitle(d.Title);
  okno.setNameFilters(filtry_qt(d.Filter));
  if (d.zapis) {
    okno.setAcceptMode(QFileDialog::AcceptSave);
    okno.setFileMode(QFileDialog::AnyFile);
    okno.setDefaultSuffix(d.DefaultExt);
  } else {
    okno.setAcceptMode(QFileDialog::AcceptOpen);
    okno.setFileMode(QFileDialog::ExistingFile);
  }
  if (!d.FileName.isEmpty()) okno.selectFile(d.FileName);
  QString wybrana;
  if (wybor_pliku) {
    wybrana = wybor_pliku(okno);
  } else if (okno.exec() == QDialog::Accepted && !okno.selectedFiles().isEmpty()) {
    wybrana = okno.selectedFiles().first();
  }
  if (!wybrana.isEmpty()) d.FileName = wybrana;
  return !d.FileName.isEmpty();
}

bool TForm1::przyjmij_nazwe(TFileDialog& d) {
  const std::string n = d.FileName.toStdString();
  if (liczba_znakow(n) > kMaksDlugoscNazwy) {
    // Kept, the name would come back with every showing of the dialog, and a cancel
    // would bring this message again. The dialog goes back to the current file, so a
    // cancel keeps it.
    d.FileName = q(programator.nazwa_pliku);
    komunikat(QStringLiteral("Nazwa pliku ma ponad 255 znaków"));
    return false;
  }
  ustaw_nazwe_pliku(n);
  pokaz_stan();
  return true;
}

void TForm1::ustaw_nazwe_pliku(const std::string& nazwa) {
  programator.nazwa_pliku = nazwa;
  programator.okno.Label1 = nazwa;
}

void TForm1::wybierz_uklad(int indeks) {
  programator.okno.ComboBox1_index = indeks;
  if (indeks >= 0 && indeks < kLiczbaUkladow) {
    programator.okno.ComboBox1_text = kUklady[static_cast<std::size_t>(indeks)].nazwa;
  }
  programator.ComboBox1Change(indeks);
}

// ---- Buttons

void TForm1::przegladaj() {
  wykonaj(OpenDialog1);
  if (!przyjmij_nazwe(OpenDialog1)) return;
  if (programator.nazwa_pliku.empty()) return;
  // Check the file at once, so a bad file shows before anything is armed.
  Strumien obraz;
  std::string tekst;
  if (wczytaj_hex(programator.nazwa_pliku, obraz, tekst) != Wynik::ok) komunikat(q(tekst));
}

// Programming starts the dialog empty; verifying shows the name it held last.
bool TForm1::plik_operacji(bool pusty_dialog) {
  if (programator.nazwa_pliku.empty()) {
    if (pusty_dialog) OpenDialog1.FileName.clear();
    if (wykonaj(OpenDialog1) && !przyjmij_nazwe(OpenDialog1)) return false;
  }
  return !programator.nazwa_pliku.empty();
}

void TForm1::prog_flash() {
  if (!plik_operacji(true)) return;
  programator.okno.Label2 = programator.dialog.kasowanie ? "Kasowanie" : " ";
  programator.okno.Label3 = "Programowanie";
  programator.okno.Label4 = "Weryfikacja";
  pokaz_stan();
  uzbroj(kProgramujFlash);
}

void TForm1::prog_eeprom() {
  if (!plik_operacji(true)) return;
  programator.okno.Label3 = "Programowanie";
  programator.okno.Label4 = "Weryfikacja";
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
  programator.okno.Label4 = "Weryfikacja";
  pokaz_stan();
  uzbroj(kod);
}

void TForm1::czytaj_flash() {
  odczyt(kCzytajFlash);
}

void TForm1::czytaj_eeprom() {
  if (programator.rozmiar_eeprom == 0) return;
  odczyt(kCzytajEeprom);
}

// Both read buttons: the save dialog starts empty every time.
void TForm1::odczyt(int kod) {
  SaveDialog1.FileName.clear();
  if (!wykonaj(SaveDialog1)) return;
  if (!przyjmij_nazwe(SaveDialog1)) return;
  uzbroj(kod);
}

void TForm1::ComboBox1Change() {
  wybierz_uklad(ComboBox1.currentIndex());
  pokaz_stan();
  dialog_zmieniony();
}

void TForm1::zaawansowane() {
  if (zajety_) return;
  w_tle([this] { programator.zaawansowane(); });
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
  programator.okno.ProgressBar2 = 0;
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
  // A dialog sequence holds the port: the tick runs when it ends, as a timer message
  // waited in the queue behind it.
  if (zajety_) {
    tyk_odlozony_ = true;
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
    const int uklad = ComboBox1.currentIndex();
    w_tle(
        [this, kod, przed, pamiec, uklad] {
          if (przed) start(true, uklad);
          if (kod == kStart) start();
          if (pamiec) programator.operacja_pamieci(kod);
        },
        [this] { koniec_tyku(); });
    return;
  }
  setEnabled(false);
  if (kod == kWyczysc) {
    programator.okno.ProgressBar2 = 0;
    programator.okno.Label2.clear();
    programator.okno.Label3.clear();
    programator.okno.Label4.clear();
  }
  koniec_tyku();
}

void TForm1::koniec_tyku() {
  pokaz_stan();
  if (programator.okno.ProgressBar2 != 0) uzbroj(kWyczysc);
  setEnabled(true);
}

void TForm1::start(bool przed_operacja, int uklad) {
  const std::string nazwa = programator.nazwa_pliku;
  // The programmer's type and speed before the search, which runs at that speed.
  const UstawieniaProgramatora up = wczytaj_ustawienia_programatora();
  programator.ustaw_typ(up.typ);
  predkosc_z_liczby(up.predkosc, programator.predkosc);
  programator.sprawdz();
  wczytaj_ustawienia();
  if (przed_operacja) {
    if (uklad >= 0 && uklad != programator.okno.ComboBox1_index) wybierz_uklad(uklad);
    if (!nazwa.empty()) ustaw_nazwe_pliku(nazwa);
  }
  okno_zmienione();
  dialog_zmieniony();
}

void TForm1::wczytaj_ustawienia() {
  const std::string sciezka = sciezka_ustawien();
  if (!plik_istnieje(sciezka)) {
    programator.domyslne();
    return;
  }
  std::vector<std::uint8_t> bajty;
  std::string blad;
  if (!wczytaj_bajty(sciezka, bajty, blad)) {
    zglos_blad(QStringLiteral("Błąd odczytu pliku ustawień ") + q(sciezka) + QStringLiteral(": ") +
               q(blad));
    // Nothing of the file was applied: without the defaults every device value would stay
    // 0 and the next operation would send device code 0.
    programator.domyslne();
    return;
  }
  const Ustawienia u = czytaj_ustawienia(bajty);
  if (u.urzadzenie < kLiczbaUkladow) {
    wybierz_uklad(u.urzadzenie);
  } else {
    // An index no entry has (255 is what a run that kept the default stores) would leave
    // every device value 0, and the next operation would send device code 0. The
    // start-up defaults apply instead.
    programator.domyslne();
  }
  programator.przywroc_tryb(u.tryb);
  ustaw_nazwe_pliku(u.nazwa);
}

// ---- Closing

void TForm1::zglos_blad(const QString& tekst) {
  if (!w_watku_okien()) {
    bledy_w_tle_ << tekst;
    return;
  }
  if (raport_bledu) {
    raport_bledu(tekst);
    return;
  }
  QMessageBox::critical(this, windowTitle(), tekst);
}

void TForm1::FormClose() {
  CommPortDriver1.Close();
  if (programator.nazwa_pliku.empty()) return;
  const std::string sciezka = sciezka_ustawien();
  const auto bajty = zapisz_ustawienia(programator.okno.ComboBox1_index,
                                       programator.dialog.mode_index, programator.nazwa_pliku);
  std::string blad;
  if (!zapisz_plik_ustawien(sciezka, bajty, blad)) {
    // Reported, and the window still closes: keeping it open with the port already
    // closed would leave a program that can never be ended.
    zglos_blad(QStringLiteral("Nie można zapisać pliku ustawień ") + q(sciezka) +
               QStringLiteral(": ") + q(blad));
  }
}

void TForm1::closeEvent(QCloseEvent* e) {
  if (zajety_) {
    // The worker owns the port: the window closes, and the settings are saved, when the
    // operation has ended.
    zamknij_po_ = true;
    e->ignore();
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
