// Fonts and small control helpers shared by the four windows. The original's fonts
// (MS Sans Serif, Times New Roman) are not on Linux; the metric-compatible Liberation
// faces stand in at the same pixel heights.
#pragma once

#include <QApplication>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QTranslator>
#include <memory>

namespace ostrel {

inline constexpr const char* kCzcionkaSans = "Liberation Sans";
inline constexpr const char* kCzcionkaSerif = "Liberation Serif";

// The classic look the windows were drawn for (group box titles on the frame line,
// raised buttons), the same on every desktop whatever its theme.
void ustaw_wyglad(QApplication& app);

// Qt's own texts (file dialogs, standard buttons) in Polish, like every other text the
// operator sees. The translator returned must live as long as the application.
std::unique_ptr<QTranslator> ustaw_jezyk(QApplication& app);

// The widget keeps its colours when disabled: a window closed to input during an
// operation still shows its progress at full contrast.
void zachowaj_kolory(QWidget& w);

// The windows' default font: "MS Sans Serif" 8 pt, 11 pixels high.
QFont czcionka_okna();
// The status line's font: "Times New Roman", 16 pixels high.
QFont czcionka_statusu();

// A label that reports a click (the status window binds its OK action to it) and can
// follow its text's width like an auto-sized label.
class TLabel : public QLabel {
  Q_OBJECT
 public:
  TLabel(QWidget* rodzic, int x, int y, int w, int h, const QString& tekst, bool autosize = true);
  // Sets the text; an auto-sized label then takes the text's width.
  void setCaption(const QString& tekst);
  QString caption() const { return text(); }
  bool autoSize() const { return autosize_; }
  // Word wrap: lines break between words, and inside a word (a long path) only when the
  // word is wider than the line.
  void ustaw_zawijanie(bool tak);
  // The height the whole text takes at this width.
  int wysokosc_tekstu(int szerokosc) const;

 signals:
  void clicked();

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  // A new font (the window's, applied after the label was made) changes the text's size.
  void changeEvent(QEvent* e) override;
  // A label shows, it takes no input: drawn alike whether its window is enabled or not.
  void paintEvent(QPaintEvent* e) override;

 private:
  void dopasuj();
  bool autosize_;
  bool zawijanie_ = false;
  int wysokosc_;
  bool wcisniety_ = false;
};

// A sunken frame (a bevel drawn as a lowered box).
class TBevel : public QFrame {
 public:
  TBevel(QWidget* rodzic, int x, int y, int w, int h);
};

// A push button at a fixed place; never a default button, as in the original's windows.
class TButton : public QPushButton {
 public:
  TButton(QWidget* rodzic, int x, int y, int w, int h, const QString& tekst);
};

}  // namespace ostrel
