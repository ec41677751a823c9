#include "ui/Unit3.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>

#include "ui/Unit1.h"

namespace ostrel {

TForm3::TForm3(Programator& programator, TForm1& form1, QWidget* rodzic)
    : QWidget(rodzic, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::WindowStaysOnTopHint),
      programator_(programator),
      form1_(form1) {
  setObjectName(QStringLiteral("Form3"));
  setWindowTitle(QStringLiteral("Ostrel prog "));
  setFont(czcionka_okna());
  // Outer size 384 x 100 with a sizeable frame: a client area of 376 x 73.
  resize(376, 73);
  Label1.setFont(czcionka_statusu());
  Label1.setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  Label1.setAutoFillBackground(false);
  Button1.setEnabled(false);
  connect(&Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(&Label1, &TLabel::clicked, this, [this] { Button1Click(); });
  if (const QScreen* ekran = QGuiApplication::primaryScreen()) {
    const QRect obszar = ekran->availableGeometry();
    // Centred by its outer size, as designed.
    move(obszar.center().x() - 384 / 2, obszar.center().y() - 100 / 2);
  }
  pokaz_stan();
  // Visible from its creation.
  show();
}

void TForm3::pokaz_stan() {
  const StanStatusu& s = programator_.status;
  Label1.setCaption(QString::fromStdString(s.Label1));
  Button1.setEnabled(s.Button1);
}

void TForm3::pokaz() {
  programator_.status.widoczny = true;
  show();
  raise();
  // The call comes from inside an operation: draw the text now.
  repaint();
}

void TForm3::Button1Click() {
  programator_.potwierdz_status();
  form1_.setEnabled(true);
  programator_.status.widoczny = false;
  hide();
}

void TForm3::closeEvent(QCloseEvent* e) {
  Button1Click();
  e->accept();
}

void TForm3::resizeEvent(QResizeEvent* e) {
  // The message line is attached to the top edge over the whole width.
  Label1.setGeometry(0, 0, width(), Label1.height());
  QWidget::resizeEvent(e);
}

}  // namespace ostrel
