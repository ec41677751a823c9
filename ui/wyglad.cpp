#include "ui/wyglad.h"

#include <QMouseEvent>
#include <QStyle>
#include <QStyleFactory>

namespace ostrel {

void ustaw_wyglad(QApplication& app) {
  if (QStyle* styl = QStyleFactory::create(QStringLiteral("Windows"))) app.setStyle(styl);
}

QFont czcionka_okna() {
  QFont f(kCzcionkaSans);
  f.setPixelSize(11);
  f.setStyleStrategy(QFont::PreferAntialias);
  return f;
}

QFont czcionka_statusu() {
  QFont f(kCzcionkaSerif);
  f.setPixelSize(16);
  return f;
}

TLabel::TLabel(QWidget* rodzic, int x, int y, int w, int h, const QString& tekst, bool autosize)
    : QLabel(rodzic), autosize_(autosize), wysokosc_(h) {
  // Texts are file names and messages, never markup.
  setTextFormat(Qt::PlainText);
  setGeometry(x, y, w, h);
  setCaption(tekst);
}

void TLabel::setCaption(const QString& tekst) {
  setText(tekst);
  dopasuj();
}

void TLabel::dopasuj() {
  if (!autosize_) return;
  const QFontMetrics fm(font());
  resize(fm.horizontalAdvance(text()), std::max(wysokosc_, fm.height()));
}

void TLabel::changeEvent(QEvent* e) {
  QLabel::changeEvent(e);
  if (e->type() == QEvent::FontChange) dopasuj();
}

void TLabel::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) {
    wcisniety_ = true;
    e->accept();
    return;
  }
  QLabel::mousePressEvent(e);
}

void TLabel::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton && wcisniety_) {
    wcisniety_ = false;
    if (rect().contains(e->position().toPoint())) emit clicked();
    e->accept();
    return;
  }
  QLabel::mouseReleaseEvent(e);
}

TBevel::TBevel(QWidget* rodzic, int x, int y, int w, int h) : QFrame(rodzic) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(1);
  setGeometry(x, y, w, h);
}

TButton::TButton(QWidget* rodzic, int x, int y, int w, int h, const QString& tekst)
    : QPushButton(tekst, rodzic) {
  setGeometry(x, y, w, h);
  setAutoDefault(false);
}

}  // namespace ostrel
