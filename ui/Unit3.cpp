#include "ui/Unit3.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

#include "ui/Unit1.h"

namespace ostrel {

TForm3::TForm3(Praca& praca, TForm1& form1, QWidget* rodzic)
    : QWidget(rodzic, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::WindowStaysOnTopHint),
      praca_(praca),
      programator_(praca.programator),
      form1_(form1) {
  setObjectName(QStringLiteral("Form3"));
  setWindowTitle(QStringLiteral("Ostrel prog "));
  setFont(czcionka_okna());
  // Outer size 384 x 100 with a sizeable frame: a client area of 376 x 73.
  resize(376, 73);
  Label1.setFont(czcionka_statusu());
  Label1.setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  Label1.setAutoFillBackground(false);
  // Every message is shown whole: the line wraps and the window grows to hold it.
  Label1.ustaw_zawijanie(true);
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
  pokaz_stan(programator_.status);
}

void TForm3::pokaz_stan(const StanStatusu& s) {
  Label1.setCaption(QString::fromStdString(s.Label1));
  Button1.setEnabled(s.Button1);
  dopasuj_rozmiar();
}

void TForm3::pokaz() {
  show();
  raise();
}

// The designed client area (376 x 73) holds one line; a longer message makes the window
// taller, and wider only when the screen has no room for the height.
void TForm3::dopasuj_rozmiar() {
  constexpr int kPodTekstem = 73 - 19;  // the button and the margins below the text
  QRect ekran(0, 0, 1 << 14, 1 << 14);
  if (const QScreen* e = screen() != nullptr ? screen() : QGuiApplication::primaryScreen())
    ekran = e->availableGeometry();
  // The frame's own share of the outer size (title bar, borders), at least as designed.
  const int ramka_w = std::max(8, frameGeometry().width() - width());
  const int ramka_h = std::max(27, frameGeometry().height() - height());
  int szerokosc = std::max(376, width());
  auto wysokosc = [&] { return std::max(19, Label1.wysokosc_tekstu(szerokosc)) + kPodTekstem; };
  while (wysokosc() + ramka_h > ekran.height() && szerokosc + ramka_w < ekran.width())
    szerokosc = std::min(ekran.width() - ramka_w, szerokosc + 100);
  const int h = std::min(wysokosc(), ekran.height() - ramka_h);
  if (szerokosc != width() || h != height()) resize(szerokosc, h);
  rozloz();
  // Grown past the screen's edge: moved back onto it.
  QRect r = frameGeometry();
  if (r.right() > ekran.right()) r.moveRight(ekran.right());
  if (r.bottom() > ekran.bottom()) r.moveBottom(ekran.bottom());
  if (r.left() < ekran.left()) r.moveLeft(ekran.left());
  if (r.top() < ekran.top()) r.moveTop(ekran.top());
  if (r.topLeft() != frameGeometry().topLeft()) move(r.topLeft());
}

void TForm3::rozloz() {
  // The message line is attached to the top edge over the whole width; the button keeps
  // its place under it, centred as designed.
  const int h = std::max(19, Label1.wysokosc_tekstu(width()));
  Label1.setGeometry(0, 0, width(), h);
  Button1.move(144 + (width() - 376) / 2, h + 13);
}

void TForm3::Button1Click() {
  hide();
  // An operation owns the model: its demo-mode part follows when the operation ends,
  // and the main window stays closed to input until then.
  if (praca_.zajety()) {
    praca_.potwierdzenie_w_trakcie();
    return;
  }
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
  rozloz();
  QWidget::resizeEvent(e);
}

}  // namespace ostrel
