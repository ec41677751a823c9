// The main window: file choice, device choice, the buttons of the memory operations and
// the scheduler that runs them. Every button only prepares the labels, stores an
// operation code and arms the one-shot Timer1; the tick runs the operation.
#pragma once

#include <QComboBox>
#include <QGroupBox>
#include <QProgressBar>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "serial/ComDrv32.h"
#include "ui/TimerQt.h"
#include "ui/dialogi.h"
#include "ui/model/model.h"
#include "ui/model/programator.h"
#include "ui/praca.h"
#include "ui/wyglad.h"

namespace ostrel {

class TForm2;
class TForm3;
class TForm4;
struct KontrolaUkladu;

// The filter of both dialogs.
inline constexpr const char* kFiltrHex = "Pliki hex (*.hex,*.eep) |*.hex;*.eep|";
// What the open dialog offers after it: every file the reader takes (SDCC's .ihx,
// avr-gcc's ELF), and any file at all.
inline constexpr const char* kFiltrOtwierania =
    "Wszystkie obsługiwane (*.hex,*.eep,*.ihx,*.elf) |*.hex;*.eep;*.ihx;*.elf|"
    "Wszystkie pliki (*) |*|";
// After a memory operation in demo mode.
inline constexpr const char* kDemoNicNieWyslano = "tryb demo – nic nie wysłano";
// The question of a close or Esc while an operation runs.
inline constexpr const char* kPytanieOPrzerwanie = "Operacja trwa. Przerwać ją?";

class TForm1 : public QWidget {
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
  // and not while work runs (the worker owns the model then).
  void pokaz_stan();
  // Shows a copy of it (what an operation sends while it runs).
  void pokaz_stan(const StanOkna& o);

  // True while the worker runs an operation or a dialog sequence.
  bool zajety() const { return praca.zajety(); }
  // The general error report: a message box over this window (window thread).
  void zglos_blad(const QString& tekst);
  // The window has closed (the program is ending).
  bool po_zamknieciu() const { return zamkniete_; }

  // ---- Test hooks. When set, `wybor_pliku` stands in for the dialog's own loop: it gets
  // the configured dialog and returns the chosen name (empty: cancelled).
  std::function<QString(QFileDialog&)> wybor_pliku;
  // When set, receives the texts of the general error report instead of a message box.
  std::function<void(const QString&)> raport_bledu;
  // When set, answers the window's questions instead of a message box: whether to stop
  // the running operation (true: stop), whether to program a chip that is not the part
  // chosen (true: program).
  std::function<bool(const QString&)> odpowiedz_na_pytanie;

  // The file given on the command line (`ostrel FILE.hex`): chosen once the start-up has
  // run, in place of the settings' file.
  void ustaw_plik_startowy(const QString& nazwa);

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

  // The serial component and its polling tick, then the worker that owns the model.
  TimerQt TimerPollingu1;
  TCommPortDriver CommPortDriver1;
  Praca praca;
  Programator& programator;

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
  // Esc during an operation, whichever of our windows has the focus (the main window
  // takes no input then, so the key is caught before it).
  bool eventFilter(QObject* cel, QEvent* e) override;

 private:
  // The model, through the worker's check that this thread owns it now.
  Programator& model() { return praca.model(); }
  void formCreate();
  // Fills the device box with the rows `wiersze` (kUklady indices), in that order.
  void pokaz_liste(const std::vector<int>& wiersze);
  // The row of the device box's selected entry, or -1.
  int wiersz_wybrany() const;
  void FormClose();
  void koniec_tyku();
  // The memory operation `kod` on the worker, as armed.
  void operacja_pamieci(int kod);
  // Another chip in the socket: asks whether to program it all the same and, when told
  // so, runs the operation as new work; else nothing is sent.
  void zapytaj_o_uklad(int kod, const KontrolaUkladu& k);
  // Arms operation `kod` for 2000 ms; arming again restarts the delay.
  void uzbroj(int kod);
  void weryfikacja(int kod);
  void odczyt(int kod);
  // The file a program or verify button works on: the open dialog asks when none is set
  // (`pusty_dialog`: with no name in it). True when there is a file.
  bool plik_operacji(bool pusty_dialog);
  // Shows the dialog: true when it now holds a name; nothing when its result came while
  // an operation is due or running (the operation owns the inputs), and is dropped.
  std::optional<bool> wykonaj(TFileDialog& d);
  // Takes the dialog's name as the current file. A name longer than a short text is
  // refused with a message rather than cut into the name of another file, and the
  // dialog forgets it (it holds the current file again).
  bool przyjmij_nazwe(TFileDialog& d);
  // Start-up, on the worker: the programmer search, then the settings or the defaults.
  // Run before an operation (a button replaced the pending start-up), what the operator
  // already chose (device `uklad`, file) stays chosen.
  void start(bool przed_operacja = false, int uklad = -1);
  // On the worker, before an operation: with the port gone or none found, the search runs
  // again, so a programmer plugged in (back) since is found without a restart.
  void szukaj_ponownie();
  // Asks whether to stop the running operation and stops it when told; true then.
  bool zapytaj_o_przerwanie();

  TForm2* form2_ = nullptr;
  TForm3* form3_ = nullptr;
  TForm4* form4_ = nullptr;
  bool zamkniete_ = false;
  bool zamknij_po_ = false;  // a close request came during work
  bool klik_tla_ = false;
  bool start_wykonany_ = false;
  std::vector<int> wiersze_;  // the rows the device box lists, in its order
  QString plik_startowy_;
  bool pytanie_otwarte_ = false;
};

}  // namespace ostrel
