// The window fault tests need one QApplication for the whole run; without a display they
// use the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>

namespace {
QtMessageHandler poprzedni = nullptr;

// The offscreen platform cannot raise windows and says so every time; the rest is kept.
void filtr(QtMsgType typ, const QMessageLogContext& kontekst, const QString& tekst) {
  if (tekst.contains(QStringLiteral("does not support raise()"))) return;
  if (poprzedni != nullptr) poprzedni(typ, kontekst, tekst);
}
}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  poprzedni = qInstallMessageHandler(filtr);
  app.setQuitOnLastWindowClosed(false);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
