#include "ui/wyglad.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleFactory>
#include <QTextLayout>
#include <cmath>

namespace ostrel {

void ustaw_wyglad(QApplication& app) {
  if (QStyle* styl = QStyleFactory::create(QStringLiteral("Windows"))) app.setStyle(styl);
}

std::unique_ptr<QTranslator> ustaw_jezyk(QApplication& app) {
  QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
  auto tlumacz = std::make_unique<QTranslator>();
  if (!tlumacz->load(QStringLiteral("qtbase_pl"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    return nullptr;  // not installed: Qt's own texts stay English, nothing else changes
  }
  app.installTranslator(tlumacz.get());
  return tlumacz;
}

void zachowaj_kolory(QWidget& w) {
  QPalette p = w.palette();
  for (int r = 0; r < QPalette::NColorRoles; ++r) {
    const auto rola = static_cast<QPalette::ColorRole>(r);
    p.setBrush(QPalette::Disabled, rola, p.brush(QPalette::Active, rola));
  }
  w.setPalette(p);
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
  if (tekst == text()) return;  // nothing to lay out or draw again
  setText(tekst);
  dopasuj();
}

void TLabel::dopasuj() {
  if (!autosize_) return;
  const QFontMetrics fm(font());
  resize(fm.horizontalAdvance(text()), std::max(wysokosc_, fm.height()));
}

void TLabel::ustaw_zawijanie(bool tak) {
  zawijanie_ = tak;
  update();
}

namespace {

// Lays the text out in lines of `szerokosc`; the total height.
qreal rozloz_wiersze(QTextLayout& uklad, int szerokosc) {
  qreal y = 0;
  uklad.beginLayout();
  for (QTextLine w = uklad.createLine(); w.isValid(); w = uklad.createLine()) {
    w.setLineWidth(szerokosc);
    w.setPosition(QPointF(0, y));
    y += w.height();
  }
  uklad.endLayout();
  return y;
}

void przygotuj(QTextLayout& uklad, Qt::Alignment wyrownanie) {
  QTextOption opcje(wyrownanie & Qt::AlignHorizontal_Mask);
  opcje.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  uklad.setTextOption(opcje);
}

}  // namespace

int TLabel::wysokosc_tekstu(int szerokosc) const {
  if (!zawijanie_) return QFontMetrics(font()).height();
  QTextLayout uklad(text(), font());
  przygotuj(uklad, alignment());
  return static_cast<int>(std::ceil(rozloz_wiersze(uklad, szerokosc)));
}

void TLabel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setFont(font());
  // The active colours whatever the enabled state: the disabled look (grey, etched) is
  // for controls that take input.
  p.setPen(palette().color(QPalette::Active, foregroundRole()));
  const QRect r = contentsRect();
  if (!zawijanie_) {
    p.drawText(r, static_cast<int>(QStyle::visualAlignment(layoutDirection(), alignment())),
               text());
    return;
  }
  QTextLayout uklad(text(), font());
  przygotuj(uklad, alignment());
  rozloz_wiersze(uklad, r.width());
  uklad.draw(&p, r.topLeft());
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
