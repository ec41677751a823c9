// The window tests need one QApplication for the whole run; without a display they use
// the offscreen platform (also while the test list is being discovered).
#include <gtest/gtest.h>

#include <QApplication>

#include "ui/wyglad.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ostrel::ustaw_wyglad(app);
  app.setQuitOnLastWindowClosed(false);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
