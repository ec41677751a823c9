// The advanced dialog: signature, the programmer's mode and revisions, the lock-bit mode,
// the fuse boxes, read, write and chip erase, and the erase-before-programming box.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QPoint>
#include <QWidget>
#include <functional>
#include <utility>
#include <vector>

#include "ui/edytor_bezpiecznikow.h"
#include "ui/model/programator.h"
#include "ui/wyglad.h"

namespace ostrel {

class Praca;

class TForm2 : public QWidget {
  Q_OBJECT

 public:
  explicit TForm2(Programator& programator, QWidget* rodzic = nullptr);

  // Shows the dialog's model: mode list and selection, texts, boxes.
  void pokaz_stan();
  // Shows a snapshot of it (what a sequence sends while it runs).
  void pokaz_stan(const StanDialogu& d);
  // The worker that runs the sequences.
  void ustaw_prace(Praca* p) { praca_ = p; }

  // ---- Handlers
  void modeChange();
  void CheckBox1Click();
  void CheckBox2Click();
  void kasowanieClick();
  void Button1Click();
  void Button2Click();
  void Button3Click();
  void Button4Click();
  // The programmer group: the type or the speed chosen. Applied at once (the speed to
  // the open port too) and stored in the programmer's settings file.
  void typChange();
  void predkoscChange();

  // ---- Controls, in the window's layout. GroupBox2 comes before the fuse boxes so they
  // lie over it; the bevels come before the labels they frame.
  QGroupBox GroupBox1{this};
  TBevel Bevel1{&GroupBox1, 96, 25, 159, 20};
  TBevel Bevel2{&GroupBox1, 16, 56, 240, 20};
  QComboBox mode{&GroupBox1};
  TLabel opis_modu{&GroupBox1, 101, 27, 68, 13, QStringLiteral("B1[  ]  ;  B2[  ] ")};
  TLabel info{&GroupBox1, 24, 60, 102, 13, QStringLiteral("zapis i odczyt możliwy")};
  TLabel Label1{&GroupBox1, 91, 26, 0, 13, QString()};
  TLabel Label2{&GroupBox1, 19, 57, 0, 13, QString()};
  QGroupBox GroupBox2{this};
  QCheckBox CheckBox1{this};
  QCheckBox CheckBox2{this};
  TButton Button1{this, 24, 200, 75, 22, QStringLiteral("O&dczytaj")};
  TButton Button2{this, 112, 200, 75, 22, QStringLiteral("&Wpisz")};
  TButton Button3{this, 200, 200, 75, 22, QStringLiteral("&Kasuj Chip")};
  TButton Button4{this, 208, 264, 66, 49, QStringLiteral("Z&amknij")};
  QCheckBox kasowanie{this};
  TLabel Label3{this, 16, 272, 51, 13, QStringLiteral("Sygnatura ")};
  TLabel Label4{this, 16, 303, 61, 13, QStringLiteral("Target board")};
  TLabel Label5{this, 16, 333, 73, 13, QStringLiteral("Target SW rev.")};
  TBevel Bevel4{this, 96, 266, 97, 19};
  TBevel Bevel3{this, 96, 297, 97, 20};
  TBevel Bevel5{this, 96, 329, 177, 20};
  TLabel Label6{this, 104, 268, 48, 13, QStringLiteral("Sygnatura")};
  TLabel target{this, 104, 299, 27, 13, QStringLiteral("target")};
  TLabel softhard{this, 104, 332, 38, 13, QStringLiteral("softhard")};
  // ---- The programmer, below the controls above: its firmware type and line speed.
  QGroupBox GroupBox3{this};
  TLabel Label7{&GroupBox3, 8, 24, 24, 13, QStringLiteral("Typ")};
  QComboBox typ{&GroupBox3};
  TLabel Label8{&GroupBox3, 136, 24, 48, 13, QStringLiteral("Prędkość")};
  QComboBox predkosc{&GroupBox3};
  // Shown when the lock mode and the fuse boxes were not read from the chip.
  TLabel bity_nieodczytane{&GroupBox3, 8, 52, 0, 13, QString()};
  // In place of the lock mode and the fuse boxes for a part whose fuse bytes have named
  // bits; the controls below it move down to make room.
  EdytorBezpiecznikow edytor{this};

  // ---- Test hook. When set, receives the text of a question before a risky fuse write
  // instead of a message box, and answers it (true: write).
  std::function<bool(const QString&)> potwierdzenie;

 private:
  // The worker owns the model: the dialog takes no input (it is disabled meanwhile).
  bool zajety() const;
  // Runs a sequence on the worker, then `potem` on the window thread; with no worker (a
  // dialog on its own) both at once. Dropped while other work runs.
  void sekwencja(std::function<void()> praca, std::function<void()> potem = {});
  // An erase or a write: the chip check first, and for another chip in the socket
  // `pytanie` under the check's words; `zapis` runs when the chip is the part chosen or
  // the user says so.
  void po_sprawdzeniu(const char* pytanie, std::function<void()> zapis);

  // Stores the type and speed the programmer now has; a failure goes to the error report.
  void zapisz_programator();

  // The fuse editor for the selected part, or the twelve's controls; the dialog's size.
  void uloz();
  bool edytor_aktywny() const { return !edytor.bajty().empty(); }
  void czytaj_bezpieczniki();
  void zapisz_bezpieczniki();
  // Asks the user; true to go on.
  bool zapytaj(const QString& tekst);

  // The controls below the lock and fuse groups at their places in the dialog's layout.
  std::vector<std::pair<QWidget*, QPoint>> ponizej_;

  Programator& programator_;
  Praca* praca_ = nullptr;
};

}  // namespace ostrel
