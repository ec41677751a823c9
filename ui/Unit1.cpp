#include "ui/Unit1.h"

#include <QCloseEvent>
#include <QMessageBox>
#include <QMouseEvent>

#include "devices/uklady.h"
#include "hex/strumien.h"
#include "ui/Unit2.h"
#include "ui/Unit3.h"
#include "ui/Unit4.h"
#include "ui/ustawienia.h"

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

  OpenDialog1.Filter = QString::fromUtf8(kFiltrHex);
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

TForm1::~TForm1() = default;

void TForm1::ustaw_okna(TForm2* f2, TForm3* f3, TForm4* f4) {
  form2_ = f2;
  form3_ = f3;
  form4_ = f4;
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
  const StanOkna& o = programator.okno;
  ProgressBar2.setValue(o.ProgressBar2);
  Label1.setCaption(q(o.Label1));
  Label2.setCaption(q(o.Label2));
  Label3.setCaption(q(o.Label3));
  Label4.setCaption(q(o.Label4));
  GroupBox3.setEnabled(o.GroupBox3);
  const QSignalBlocker blokada(ComboBox1);
  if (o.ComboBox1_index >= 0 && o.ComboBox1_index < ComboBox1.count()) {
    ComboBox1.setCurrentIndex(o.ComboBox1_index);
  } else {
    ComboBox1.setCurrentIndex(-1);
    ComboBox1.setEditText(q(o.ComboBox1_text));
  }
}

void TForm1::okno_zmienione() {
  pokaz_stan();
  // The operation holds the message loop; the bar must still move on the screen.
  repaint();
}

void TForm1::dialog_zmieniony() {
  if (form2_ != nullptr) form2_->pokaz_stan();
}

void TForm1::status_zmieniony(bool pokaz) {
  if (form3_ == nullptr) return;
  form3_->pokaz_stan();
  if (pokaz) {
    form3_->pokaz();
  } else if (!programator.status.widoczny) {
    form3_->hide();
  }
}

void TForm1::pokaz_dialog() {
  if (form2_ == nullptr) return;
  form2_->pokaz_stan();
  form2_->show();
  form2_->raise();
  form2_->activateWindow();
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

bool TForm1::przyjmij_nazwe(const QString& nazwa) {
  const std::string n = nazwa.toStdString();
  if (liczba_znakow(n) > kMaksDlugoscNazwy) {
    komunikat(QStringLiteral("Nazwa pliku ma ponad 255 znaków - wybierz krótszą ścieżkę"));
    return false;
  }
  ustaw_nazwe_pliku(n);
  return true;
}

void TForm1::ustaw_nazwe_pliku(const std::string& nazwa) {
  programator.nazwa_pliku = nazwa;
  programator.okno.Label1 = nazwa;
  Label1.setCaption(q(nazwa));
}

// ---- Buttons

void TForm1::przegladaj() {
  wykonaj(OpenDialog1);
  if (!przyjmij_nazwe(OpenDialog1.FileName)) return;
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
    if (wykonaj(OpenDialog1) && !przyjmij_nazwe(OpenDialog1.FileName)) return false;
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
  if (!przyjmij_nazwe(SaveDialog1.FileName)) return;
  uzbroj(kod);
}

void TForm1::ComboBox1Change() {
  const int indeks = ComboBox1.currentIndex();
  programator.okno.ComboBox1_index = indeks;
  if (indeks >= 0) programator.okno.ComboBox1_text = ComboBox1.itemText(indeks).toStdString();
  programator.ComboBox1Change(indeks);
  pokaz_stan();
  dialog_zmieniony();
}

void TForm1::zaawansowane() {
  programator.zaawansowane();
  pokaz_stan();
  dialog_zmieniony();
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
  setEnabled(false);
  // Clicking the status text enables the window before the start-up has run, and a
  // button pressed then replaces the pending start-up. Without the search the port would
  // never open and every operation of the run would fail, so the search comes first.
  if (!start_wykonany_ && operacja != kStart) start(true);
  switch (operacja) {
    case kCzytajFlash:
    case kCzytajEeprom:
    case kWeryfikujFlash:
    case kWeryfikujEeprom:
    case kProgramujFlash:
    case kProgramujEeprom:
      programator.operacja_pamieci(operacja);
      break;
    case kStart:
      start();
      break;
    case kWyczysc:
      programator.okno.ProgressBar2 = 0;
      programator.okno.Label2.clear();
      programator.okno.Label3.clear();
      programator.okno.Label4.clear();
      break;
    default:
      break;
  }
  pokaz_stan();
  if (programator.okno.ProgressBar2 != 0) uzbroj(kWyczysc);
  setEnabled(true);
}

void TForm1::start(bool przed_operacja) {
  start_wykonany_ = true;
  const int uklad = ComboBox1.currentIndex();
  const std::string nazwa = programator.nazwa_pliku;
  programator.sprawdz();
  wczytaj_ustawienia();
  if (przed_operacja) {
    if (uklad >= 0 && uklad != programator.okno.ComboBox1_index) {
      ComboBox1.setCurrentIndex(uklad);
      ComboBox1Change();
    }
    if (!nazwa.empty()) ustaw_nazwe_pliku(nazwa);
  }
  pokaz_stan();
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
    ComboBox1.setCurrentIndex(u.urzadzenie);
    ComboBox1Change();
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
