// The desktop program: creates the four windows in order (main window, advanced dialog,
// status window, about box) and runs the message loop until the main window closes.
#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <cstdio>
#include <cstring>
#include <optional>

#include "ui/Okna.h"
#include "ui/zrzuty.h"

int main(int argc, char** argv) {
  // Answered before Qt starts, so it works without a display.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("ostrel %s\n", OSTREL_WERSJA);
      return 0;
    }
  }
  QApplication app(argc, argv);
  QApplication::setApplicationVersion(QStringLiteral(OSTREL_WERSJA));
  // Ties the windows to the desktop entry and its icon (GNOME, KDE, Wayland).
  QGuiApplication::setDesktopFileName(QStringLiteral("ostrel"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("ostrel")));
  ostrel::ustaw_wyglad(app);
  const auto tlumacz = ostrel::ustaw_jezyk(app);
  // The program ends when the main window closes, even with other windows open.
  app.setQuitOnLastWindowClosed(false);

  // Undocumented: "--screenshot DIR" saves a picture of each window and ends.
  QString katalog_zrzutow;
  const QStringList argumenty = app.arguments();
  const auto i = argumenty.indexOf(QStringLiteral("--screenshot"));
  if (i >= 0 && i + 1 < argumenty.size()) katalog_zrzutow = argumenty[i + 1];
  // "ostrel FILE.hex" (a file manager's "open with"): that file is chosen at start.
  QString plik;
  for (qsizetype k = 1; k < argumenty.size(); ++k) {
    if (argumenty[k] == QStringLiteral("--screenshot")) {
      ++k;
    } else if (!argumenty[k].startsWith('-') && plik.isEmpty()) {
      plik = QFileInfo(argumenty[k]).absoluteFilePath();
    }
  }

  ostrel::Okna okna;
  if (!plik.isEmpty()) okna.Form1.ustaw_plik_startowy(plik);
  QObject::connect(&okna.Form1, &ostrel::TForm1::zamkniete, &app, &QCoreApplication::quit);

  okna.Form1.show();
  okna.Form3.raise();

  std::optional<ostrel::ZrzutyOkien> zrzuty;
  if (!katalog_zrzutow.isEmpty())
    zrzuty.emplace(okna.Form1, okna.Form2, okna.Form3, okna.Form4, katalog_zrzutow);
  const int wynik = app.exec();
  if (wynik != 0) return wynik;
  return zrzuty ? zrzuty->wynik() : 0;
}
