// Pictures of the four windows for the documentation, taken by the program itself once
// the start-up operation has run.
#pragma once

#include <QString>
#include <QTimer>

namespace ostrel {

class TForm1;
class TForm2;
class TForm3;
class TForm4;

// Waits for the start-up to finish, then saves status.png, glowne.png, zaawansowane.png
// and o_programie.png into the folder and closes the main window.
class ZrzutyOkien {
 public:
  ZrzutyOkien(TForm1& f1, TForm2& f2, TForm3& f3, TForm4& f4, QString katalog);
  // 0 when every picture was saved, 1 otherwise (or while not yet taken).
  int wynik() const { return wynik_; }

 private:
  void sprawdz();

  TForm1& f1_;
  TForm2& f2_;
  TForm3& f3_;
  TForm4& f4_;
  QString katalog_;
  QTimer czekanie_;
  int wynik_ = 1;
  int krok_ = 0;  // 0: waiting for the start-up; 1: for the dialog's read; 2: for the
                  // fuse editor's read
  bool ok_ = true;
};

}  // namespace ostrel
