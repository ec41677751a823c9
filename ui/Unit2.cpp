#include "ui/Unit2.h"

#include <algorithm>

#include "ui/praca.h"

namespace ostrel {

namespace {
QString q(const std::string& s) {
  return QString::fromStdString(s);
}

void ustaw_pole(QCheckBox& p, int x, int y, int w, int h, const PoleWyboru& stan) {
  p.setText(q(stan.podpis));
  // Liberation Sans runs wider than the original's bitmap font: a box grows to the right
  // rather than cut its caption.
  p.setGeometry(x, y, std::max(w, p.sizeHint().width()), h);
  p.setChecked(stan.zaznaczone);
  p.setEnabled(stan.aktywne);
}
}  // namespace

TForm2::TForm2(Programator& programator, QWidget* rodzic)
    : QWidget(rodzic, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      programator_(programator) {
  setObjectName(QStringLiteral("Form2"));
  setWindowTitle(QStringLiteral("Zaawansowane"));
  setFont(czcionka_okna());
  setFixedSize(293, 361);
  move(269, 141);

  const StanDialogu& d = programator_.dialog;
  GroupBox1.setGeometry(10, 14, 270, 91);
  GroupBox1.setTitle(QStringLiteral(" &Bity ( Lock Bits) "));
  mode.setGeometry(16, 24, 65, 21);
  mode.setEditable(true);
  mode.setInsertPolicy(QComboBox::NoInsert);
  for (const auto& t : d.mode_items) mode.addItem(q(t));
  mode.setCurrentIndex(-1);
  mode.setEditText(QStringLiteral("Tryb 0"));
  opis_modu.setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  target.setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  GroupBox2.setGeometry(8, 112, 272, 73);
  GroupBox2.setTitle(QStringLiteral("&Bezpieczniki (Fuse)"));
  ustaw_pole(CheckBox1, 24, 128, 201, 17, d.CheckBox1);
  ustaw_pole(CheckBox2, 24, 153, 193, 17, d.CheckBox2);
  kasowanie.setGeometry(24, 240, 241, 17);
  kasowanie.setText(QStringLiteral("kasuj  układ przed programowaniem"));
  kasowanie.setChecked(d.kasowanie);

  setTabOrder(&mode, &CheckBox1);
  setTabOrder(&CheckBox1, &CheckBox2);
  setTabOrder(&CheckBox2, &Button1);
  setTabOrder(&Button1, &Button2);
  setTabOrder(&Button2, &Button3);
  setTabOrder(&Button3, &Button4);
  setTabOrder(&Button4, &kasowanie);

  // Only the operator's acts run the handlers; showing the model never does.
  connect(&mode, &QComboBox::activated, this, [this](int) { modeChange(); });
  connect(&CheckBox1, &QCheckBox::clicked, this, [this](bool) { CheckBox1Click(); });
  connect(&CheckBox2, &QCheckBox::clicked, this, [this](bool) { CheckBox2Click(); });
  connect(&kasowanie, &QCheckBox::clicked, this, [this](bool) { kasowanieClick(); });
  connect(&Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(&Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  connect(&Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
  connect(&Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
}

void TForm2::pokaz_stan() {
  pokaz_stan(programator_.dialog);
}

void TForm2::pokaz_stan(const StanDialogu& d) {
  {
    const QSignalBlocker blokada(mode);
    QStringList pozycje;
    for (const auto& t : d.mode_items) pozycje << q(t);
    QStringList obecne;
    for (int i = 0; i < mode.count(); ++i) obecne << mode.itemText(i);
    const QString tekst = mode.currentText();
    if (pozycje != obecne) {
      mode.clear();
      mode.addItems(pozycje);
    }
    if (d.mode_index >= 0 && d.mode_index < mode.count()) {
      mode.setCurrentIndex(d.mode_index);
    } else {
      // No entry selected: the box keeps the text it showed.
      mode.setCurrentIndex(-1);
      mode.setEditText(tekst);
    }
  }
  opis_modu.setCaption(q(d.opis_modu));
  info.setCaption(q(d.info));
  Label6.setCaption(q(d.Label6));
  target.setCaption(q(d.target));
  softhard.setCaption(q(d.softhard));
  ustaw_pole(CheckBox1, 24, 128, 201, 17, d.CheckBox1);
  ustaw_pole(CheckBox2, 24, 153, 193, 17, d.CheckBox2);
  kasowanie.setChecked(d.kasowanie);
}

void TForm2::modeChange() {
  if (zajety()) return;
  programator_.wybierz_tryb(mode.currentIndex());
  programator_.modeChange();
  pokaz_stan();
}

void TForm2::CheckBox1Click() {
  if (zajety()) return;
  programator_.ustaw_CheckBox1(CheckBox1.isChecked());
  pokaz_stan();
}

void TForm2::CheckBox2Click() {
  if (zajety()) return;
  programator_.ustaw_CheckBox2(CheckBox2.isChecked());
  pokaz_stan();
}

void TForm2::kasowanieClick() {
  if (zajety()) return;
  programator_.dialog.kasowanie = kasowanie.isChecked();
}

bool TForm2::zajety() const {
  return praca_ != nullptr && praca_->zajety();
}

void TForm2::sekwencja(std::function<void()> praca) {
  if (praca_ == nullptr) {
    praca();
    pokaz_stan();
    return;
  }
  if (praca_->zajety()) return;
  praca_->uruchom(std::move(praca));
}

void TForm2::Button1Click() {
  sekwencja([this] { programator_.Button1Click(); });
}

void TForm2::Button2Click() {
  sekwencja([this] { programator_.Button2Click(); });
}

void TForm2::Button3Click() {
  sekwencja([this] { programator_.Button3Click(); });
}

// Closing only hides: every value stays for the next showing.
void TForm2::Button4Click() {
  hide();
}

}  // namespace ostrel
