// The status window: the search's progress and result, then every operation's message.
// It stays on top; OK (or a click on the text, or the close box) confirms it.
#pragma once

#include <QWidget>

#include "ui/praca.h"
#include "ui/wyglad.h"

namespace ostrel {

class TForm1;

class TForm3 : public QWidget {
  Q_OBJECT

 public:
  TForm3(Praca& praca, TForm1& form1, QWidget* rodzic = nullptr);

  // Shows the model's message and the OK button's state; the window grows to show the
  // whole message.
  void pokaz_stan();
  void pokaz_stan(const StanStatusu& s);
  // Shows the window (not modal) on top of the others.
  void pokaz();

  // The OK action: demo mode when no programmer answered, the main window enabled, this
  // window hidden.
  void Button1Click();

  TLabel Label1{this, 0, 0, 376, 19, QStringLiteral("Szukam programatora ..."), false};
  TButton Button1{this, 144, 32, 75, 25, QStringLiteral("OK")};

 protected:
  // The close box confirms like OK: after a failed search, closing without demo mode
  // would leave the program waiting on a port that was never opened.
  void closeEvent(QCloseEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  // Lays out the message (wrapped to the width) and the button below it.
  void rozloz();
  // The size that shows the whole message, within the screen.
  void dopasuj_rozmiar();

  Praca& praca_;
  Programator& programator_;
  TForm1& form1_;
};

}  // namespace ostrel
