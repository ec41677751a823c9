// The file dialogs: their lasting state, and showing one. Qt's own dialog is used, so it
// looks and behaves the same on every desktop.
#pragma once

#include <QFileDialog>
#include <QString>
#include <QStringList>
#include <functional>

namespace ostrel {

// A file dialog's lasting state, as the original's dialog components kept it: the name
// survives between showings and stays when the operator cancels.
struct TFileDialog {
  QString FileName;    // the name it holds
  QString Filter;      // "name|patterns|..." with patterns separated by ';'
  QString Title;       // window title; empty for the platform's default
  QString DefaultExt;  // suffix added to a name given without one
  bool zapis = false;  // a save dialog (asks before overwriting)
};

// Qt's form of a filter: one "name (patterns)" entry per pair.
QStringList filtry_qt(const QString& filtr);

// Shows the dialog modally over `rodzic` and returns the chosen name, empty when the
// operator cancelled (or closed it from its title bar). `wybor`, when set, stands in for
// the dialog's own loop: it gets the configured dialog and returns the name (tests).
QString pokaz_dialog_pliku(const TFileDialog& d, QWidget* rodzic,
                           const std::function<QString(QFileDialog&)>& wybor);

}  // namespace ostrel
