// The window tests (and the window fault tests, built with this same entry) need one
// QApplication for the whole run; without a display they use the offscreen platform
// (also while the test list is being discovered).
#include <gtest/gtest.h>

#include <QApplication>

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
  QApplication app(argc, argv);
  poprzedni = qInstallMessageHandler(filtr_komunikatow);
  ostrel::ustaw_wyglad(app);
  const auto tlumacz = ostrel::ustaw_jezyk(app);
  app.setQuitOnLastWindowClosed(false);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
