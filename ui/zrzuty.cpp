#include "ui/zrzuty.h"

#include <QDir>
#include <QPixmap>
#include <cstdio>

#include "ui/Unit1.h"
#include "ui/Unit2.h"
#include "ui/Unit3.h"
#include "ui/Unit4.h"

namespace ostrel {

namespace {

bool zapisz(QWidget& okno, const QString& katalog, const char* nazwa) {
  const QPixmap obraz = okno.grab();
  const QString sciezka = QDir(katalog).filePath(QString::fromUtf8(nazwa));
  if (obraz.isNull() || obraz.width() < 10 || !obraz.save(sciezka, "PNG")) {
    std::fprintf(stderr, "nie można zapisać zrzutu %s\n", sciezka.toLocal8Bit().constData());
    return false;
  }
  std::printf("%s %dx%d\n", sciezka.toLocal8Bit().constData(), obraz.width(), obraz.height());
  std::fflush(stdout);
  return true;
}

}  // namespace

ZrzutyOkien::ZrzutyOkien(TForm1& f1, TForm2& f2, TForm3& f3, TForm4& f4, QString katalog)
    : f1_(f1), f2_(f2), f3_(f3), f4_(f4), katalog_(std::move(katalog)) {
  QDir().mkpath(katalog_);
  czekanie_.setInterval(100);
  QObject::connect(&czekanie_, &QTimer::timeout, &f1_, [this] { sprawdz(); });
  czekanie_.start();
}

void ZrzutyOkien::sprawdz() {
  // Each step waits for the work before it: the start-up operation has run when the
  // main window is enabled with nothing armed; the dialog's read runs on the worker.
  if (!f1_.isEnabled() || f1_.Timer1.isActive() || f1_.zajety()) return;
  if (krok_ == 0) {
    ok_ = zapisz(f3_, katalog_, "status.png");
    f3_.Button1Click();
    ok_ = zapisz(f1_, katalog_, "glowne.png") && ok_;
    f1_.zaawansowane();
    krok_ = 1;
    return;
  }
  // A part with a fuse editor is shown with its bytes read from the chip.
  if (krok_ == 1 && f2_.edytor.isVisible()) {
    f2_.Button1Click();
    krok_ = 2;
    return;
  }
  czekanie_.stop();
  ok_ = zapisz(f2_, katalog_, "zaawansowane.png") && ok_;
  f1_.Button2Click();
  ok_ = zapisz(f4_, katalog_, "o_programie.png") && ok_;
  wynik_ = ok_ ? 0 : 1;
  f1_.close();
}

}  // namespace ostrel
