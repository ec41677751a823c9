// The main window: file choice, device choice, the buttons of the memory operations and
// the scheduler that runs them. Every button only prepares the labels, stores an
// operation code and arms the one-shot Timer1; the tick runs the operation.
#pragma once

#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QProgressBar>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>
#include <thread>

#include "protocol/model.h"
#include "protocol/programator.h"
#include "serial/ComDrv32.h"
#include "ui/TimerQt.h"
#include "ui/wyglad.h"

namespace ostrel {

class TForm2;
class TForm3;
class TForm4;

// A file dialog's lasting state, as the original's dialog components kept it: the name
// survives between showings and stays when the operator cancels.
struct TFileDialog {
  QString FileName;    // the name it holds
  QString Filter;      // "name|patterns|..." with patterns separated by ';'
  QString Title;       // window title; empty for the platform's default
  QString DefaultExt;  // suffix added to a name given without one
  bool zapis = false;  // a save dialog (asks before overwriting)
};

// The filter of both dialogs.
inline constexpr const char* kFiltrHex = "Pliki hex (*.hex,*.eep) |*.hex;*.eep|";

// Qt's form of a filter: one "name (patterns)" entry per pair.
QStringList filtry_qt(const QString& filtr);

class TForm1 : public QWidget, public Widok {
  Q_OBJECT

 public:
  // Operation codes of the scheduler.
  enum : int {
    kCzytajFlash = 0,
    kCzytajEeprom = 1,
    kWeryfikujFlash = 2,
    kWeryfikujEeprom = 3,
    kProgramujFlash = 4,
    kProgramujEeprom = 5,
    kStart = 6,
    kWyczysc = 7,
  };
  static constexpr int kOpoznienieMs = 2000;

  explicit TForm1(QWidget* rodzic = nullptr);
  ~TForm1() override;

  // The other windows, created after this one (the entry wires them in).
  void ustaw_okna(TForm2* f2, TForm3* f3, TForm4* f4);

  // ---- Handlers
  void przegladaj();
  void prog_flash();
  void prog_eeprom();
  void weryf_flash();
  void weryf_eeprom();
  void czytaj_flash();
  void czytaj_eeprom();
  void ComboBox1Change();
  void zaawansowane();
  void Button2Click();
  void Button10Click();
  void FormClick();
  void Timer1Timer();
  void komunikat(const QString& tekst);

  // Shows the model: progress, labels, the EEPROM group, the device box. Window thread,
  // and not while an operation runs (the worker owns the model then).
  void pokaz_stan();
  // Shows a snapshot of it (what an operation sends while it runs).
  void pokaz_stan(const StanOkna& o);

  // ---- Work on the worker thread. The operations and the dialog's sequences run there,
  // so the message loop keeps running: the windows repaint and answer the desktop, and
  // the polling of the port is held back until the operation ends.
  // True from the start of such work until its end has been handled on this thread.
  bool zajety() const { return zajety_; }
  // Runs `praca` on the worker thread with the main window and the dialog closed to
  // input; `potem` runs on this thread once it has ended. Only when not busy.
  void w_tle(std::function<void()> praca, std::function<void()> potem = {});
  // The status window was confirmed while an operation ran: demo mode follows at its end.
  void potwierdzenie_w_trakcie() { potwierdzenie_odlozone_ = true; }
  // Waits for running work to end (the windows are going away).
  void zaczekaj_na_prace();
  // The general error report, for the other windows.
  void zglos(const QString& tekst) { zglos_blad(tekst); }

  // ---- Test hooks. When set, `wybor_pliku` stands in for the dialog's own loop: it gets
  // the configured dialog and returns the chosen name (empty: cancelled).
  std::function<QString(QFileDialog&)> wybor_pliku;
  // When set, receives the texts of the general error report instead of a message box.
  std::function<void(const QString&)> raport_bledu;

  // ---- Controls, in the window's layout.
  QGroupBox GroupBox1{this};
  TBevel Bevel1{&GroupBox1, 8, 24, 249, 17};
  TLabel Label1{&GroupBox1, 12, 26, 0, 13, QString()};
  TButton Button1{&GroupBox1, 8, 48, 75, 23, QStringLiteral("P&rzeglądaj")};
  TButton Button2{&GroupBox1, 95, 48, 75, 23, QStringLiteral("O programie")};
  TButton Button10{&GroupBox1, 183, 48, 75, 23, QStringLiteral("Koniec")};
  TLabel Label2{this, 8, 103, 63, 13, QString(21, ' ')};
  TLabel Label3{this, 99, 103, 63, 13, QString(21, ' ')};
  TLabel Label4{this, 200, 104, 60, 13, QString(20, ' ')};
  QProgressBar ProgressBar2{this};
  QGroupBox GroupBox2{this};
  TButton Button3{&GroupBox2, 8, 24, 75, 23, QStringLiteral("&Programuj")};
  TButton Button4{&GroupBox2, 96, 24, 75, 23, QStringLiteral("&Weryfikuj")};
  TButton Button5{&GroupBox2, 184, 24, 75, 23, QStringLiteral("&Czytaj")};
  QGroupBox GroupBox3{this};
  TButton Button6{&GroupBox3, 8, 24, 75, 23, QStringLiteral("Pr&ogramuj")};
  TButton Button7{&GroupBox3, 96, 24, 75, 23, QStringLiteral("W&eryfikuj")};
  TButton Button8{&GroupBox3, 184, 24, 75, 23, QStringLiteral("C&zytaj")};
  QGroupBox GroupBox4{this};
  QComboBox ComboBox1{&GroupBox4};
  TButton Button9{this, 192, 264, 89, 41, QStringLiteral("Z&aawansowane")};

  TFileDialog OpenDialog1;
  TFileDialog SaveDialog1;
  QTimer Timer1;

  // The serial component and its polling tick, then the protocol over them.
  TimerQt TimerPollingu1;
  TCommPortDriver CommPortDriver1;
  Programator programator;

  int operacja = 0;

 signals:
  // The window has closed: the program ends.
  void zamkniete();
  // Work on the worker thread has ended and the windows take input again.
  void praca_zakonczona();

 protected:
  void closeEvent(QCloseEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;

  // Widok: the core reports changes of the model while it works.
  void okno_zmienione() override;
  void dialog_zmieniony() override;
  void status_zmieniony(bool pokaz) override;
  void pokaz_dialog() override;

 private:
  void formCreate();
  void FormClose();
  bool w_watku_okien() const;
  void koniec_pracy();
  void koniec_tyku();
  // Closes or opens the main window and the dialog to input; the progress bar and the
  // labels keep their look either way.
  void zablokuj(bool tak);
  // Arms operation `kod` for 2000 ms; arming again restarts the delay.
  void uzbroj(int kod);
  void weryfikacja(int kod);
  void odczyt(int kod);
  // The file a program or verify button works on: the open dialog asks when none is set
  // (`pusty_dialog`: with no name in it). True when there is a file.
  bool plik_operacji(bool pusty_dialog);
  // Shows the dialog; true when it now holds a name.
  bool wykonaj(TFileDialog& d);
  // Takes the dialog's name as the current file. A name longer than a short text is
  // refused with a message rather than cut into the name of another file, and the
  // dialog forgets it (it holds the current file again).
  bool przyjmij_nazwe(TFileDialog& d);
  // The model's part of a new file name (any thread that owns the model).
  void ustaw_nazwe_pliku(const std::string& nazwa);
  // Selects and applies a device in the model, as ComboBox1Change does.
  void wybierz_uklad(int indeks);
  // Start-up, on the worker: the programmer search, then the settings or the defaults.
  // Run before an operation (a button replaced the pending start-up), what the operator
  // already chose (device `uklad`, file) stays chosen.
  void start(bool przed_operacja = false, int uklad = -1);
  void wczytaj_ustawienia();
  // The general error report; from the worker the text waits for the end of the work.
  void zglos_blad(const QString& tekst);

  TForm2* form2_ = nullptr;
  TForm3* form3_ = nullptr;
  TForm4* form4_ = nullptr;
  bool zamkniete_ = false;
  bool klik_tla_ = false;
  bool start_wykonany_ = false;

  std::thread watek_;
  std::function<void()> potem_;
  bool zajety_ = false;
  bool zamknij_po_ = false;              // a close request came during the work
  bool tyk_odlozony_ = false;            // Timer1 fired during a dialog sequence
  bool potwierdzenie_odlozone_ = false;  // the status window was confirmed meanwhile
  QStringList bledy_w_tle_;              // error reports made on the worker
};

}  // namespace ostrel
