// The window tests (and the window fault tests, built with this same entry) need one
// QApplication for the whole run; without a display they use the offscreen platform
// (also while the test list is being discovered).
#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>

#include "common/symulator.h"
#include "ui/wyglad.h"

namespace {
QtMessageHandler poprzedni = nullptr;

// The offscreen platform cannot raise windows and says so every time; the rest is kept.
void filtr_komunikatow(QtMsgType typ, const QMessageLogContext& kontekst, const QString& tekst) {
  if (tekst.contains(QStringLiteral("does not support raise()"))) return;
  if (poprzedni != nullptr) poprzedni(typ, kontekst, tekst);
}
}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Qt keeps the settings folder it first meets for the whole run, and the file dialogs
  // write their state there: a folder of the run's own, removed after the last window,
  // rather than the first test's folder, which would come back after the test removed it.
  const ostrel::test::KatalogTymczasowy ustawienia_qt;
  int wynik = 0;
  {
    QApplication app(argc, argv);
    for (const QSettings::Format f : {QSettings::NativeFormat, QSettings::IniFormat})
      QSettings::setPath(f, QSettings::UserScope, QString::fromStdString(ustawienia_qt.sciezka()));
    poprzedni = qInstallMessageHandler(filtr_komunikatow);
    ostrel::ustaw_wyglad(app);
    const auto tlumacz = ostrel::ustaw_jezyk(app);
    app.setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    wynik = RUN_ALL_TESTS();
  }
  return wynik;
}
