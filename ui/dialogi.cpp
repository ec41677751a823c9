#include "ui/dialogi.h"

namespace ostrel {

QStringList filtry_qt(const QString& filtr) {
  QStringList wynik;
  const QStringList czesci = filtr.split('|');
  for (qsizetype i = 0; i + 1 < czesci.size(); i += 2) {
    QString wzorce = czesci[i + 1];
    wzorce.replace(';', ' ');
    wynik << czesci[i] + QStringLiteral("(") + wzorce + QStringLiteral(")");
  }
  return wynik;
}

QString pokaz_dialog_pliku(const TFileDialog& d, QWidget* rodzic,
                           const std::function<QString(QFileDialog&)>& wybor) {
  QFileDialog okno(rodzic);
  okno.setOption(QFileDialog::DontUseNativeDialog);
  okno.setOption(QFileDialog::HideNameFilterDetails);
  if (!d.Title.isEmpty()) okno.setWindowTitle(d.Title);
  okno.setNameFilters(filtry_qt(d.Filter));
  if (d.zapis) {
    okno.setAcceptMode(QFileDialog::AcceptSave);
    okno.setFileMode(QFileDialog::AnyFile);
    okno.setDefaultSuffix(d.DefaultExt);
  } else {
    okno.setAcceptMode(QFileDialog::AcceptOpen);
    okno.setFileMode(QFileDialog::ExistingFile);
  }
  if (!d.FileName.isEmpty()) okno.selectFile(d.FileName);
  if (wybor) return wybor(okno);
  if (okno.exec() == QDialog::Accepted && !okno.selectedFiles().isEmpty())
    return okno.selectedFiles().first();
  return QString();
}

}  // namespace ostrel
