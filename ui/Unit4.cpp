#include "ui/Unit4.h"

namespace ostrel {

TForm4::TForm4(QWidget* rodzic)
    : QWidget(rodzic, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("Form4"));
  setWindowTitle(QStringLiteral("O programie"));
  setFont(czcionka_okna());
  setFixedSize(145, 111);
  move(307, 185);

  QFont tytul = czcionka_okna();
  tytul.setBold(true);
  Label1.setFont(tytul);
  for (TLabel* l : {&Label1, &Label2, &Label3, &Label4}) l->setAlignment(Qt::AlignHCenter);
  // The two addresses are plain blue text; clicking them does nothing.
  for (TLabel* l : {&Label3, &Label4}) {
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, Qt::blue);
    l->setPalette(p);
  }
  connect(&Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
}

void TForm4::Button1Click() {
  hide();
}

}  // namespace ostrel
