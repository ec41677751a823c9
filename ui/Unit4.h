// The about box: shown by "O programie", hidden by its OK or its close box; there is
// only ever one.
#pragma once

#include <QWidget>

#include "ui/wyglad.h"

namespace ostrel {

class TForm4 : public QWidget {
  Q_OBJECT

 public:
  explicit TForm4(QWidget* rodzic = nullptr);

  void Button1Click();

  TLabel Label1{this, 0, 8, 145, 16, QStringLiteral("Ostrel prog " OSTREL_WERSJA), false};
  TLabel Label2{this, 0, 24, 145, 13, QStringLiteral("programator AT89 / AT90"), false};
  TLabel Label3{this, 24, 44, 97, 13, QStringLiteral("ostrel.example.org"), false};
  TLabel Label4{this, 16, 60, 113, 13, QStringLiteral("ostrel@example.org"), false};
  TButton Button1{this, 35, 80, 75, 25, QStringLiteral("OK")};
};

}  // namespace ostrel
