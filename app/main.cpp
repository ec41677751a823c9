// The desktop program: creates the four windows in order (main window, advanced dialog,
// status window, about box) and runs the message loop until the main window closes.
#include <QApplication>
#include <QStyleFactory>
#include <optional>

#include "ui/Unit1.h"
#include "ui/Unit2.h"
#include "ui/Unit3.h"
#include "ui/Unit4.h"
#include "ui/zrzuty.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // The same look on every desktop, whatever theme it has.
  if (QStyle* styl = QStyleFactory::create(QStringLiteral("Fusion"))) app.setStyle(styl);
  // The program ends when the main window closes, even with other windows open.
  app.setQuitOnLastWindowClosed(false);

  // Undocumented: "--screenshot DIR" saves a picture of each window and ends.
  QString katalog_zrzutow;
  const QStringList argumenty = app.arguments();
  const auto i = argumenty.indexOf(QStringLiteral("--screenshot"));
  if (i >= 0 && i + 1 < argumenty.size()) katalog_zrzutow = argumenty[i + 1];

  ostrel::TForm1 form1;
  ostrel::TForm2 form2(form1.programator);
  ostrel::TForm3 form3(form1.programator, form1);
  ostrel::TForm4 form4;
  form1.ustaw_okna(&form2, &form3, &form4);
  QObject::connect(&form1, &ostrel::TForm1::zamkniete, &app, &QCoreApplication::quit);

  form1.show();
  form3.raise();

  std::optional<ostrel::ZrzutyOkien> zrzuty;
  if (!katalog_zrzutow.isEmpty()) zrzuty.emplace(form1, form2, form3, form4, katalog_zrzutow);
  const int wynik = app.exec();
  if (wynik != 0) return wynik;
  return zrzuty ? zrzuty->wynik() : 0;
}
