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

namespace ostrel {

inline constexpr const char* kCzcionkaSans = "Liberation Sans";
inline constexpr const char* kCzcionkaSerif = "Liberation Serif";

// The classic look the windows were drawn for (group box titles on the frame line,
// raised buttons), the same on every desktop whatever its theme.
void ustaw_wyglad(QApplication& app);

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

 signals:
  void clicked();

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  // A new font (the window's, applied after the label was made) changes the text's size.
  void changeEvent(QEvent* e) override;

 private:
  void dopasuj();
  bool autosize_;
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
