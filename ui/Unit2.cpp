#include "ui/Unit2.h"

#include <QMessageBox>
#include <algorithm>
#include <memory>
#include <optional>

#include "ui/kontrola_ukladu.h"
#include "ui/praca.h"
#include "ui/rdzen_bezpiecznikow.h"
#include "ui/ustawienia_programatora.h"

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
  setFixedSize(293, 437);
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
  GroupBox3.setGeometry(8, 360, 272, 71);
  GroupBox3.setTitle(QStringLiteral(" Programator "));
  typ.setGeometry(36, 20, 89, 21);
  typ.addItem(QString::fromLatin1(nazwa_typu(TypProgramatora::ostrel)));
  typ.addItem(QString::fromLatin1(nazwa_typu(TypProgramatora::avr910)));
  predkosc.setGeometry(192, 20, 72, 21);
  for (const std::uint32_t bps : kPredkosci) predkosc.addItem(QString::number(bps));
  Label7.setBuddy(&typ);
  Label8.setBuddy(&predkosc);

  setTabOrder(&mode, &CheckBox1);
  setTabOrder(&CheckBox1, &CheckBox2);
  setTabOrder(&CheckBox2, &Button1);
  setTabOrder(&Button1, &Button2);
  setTabOrder(&Button2, &Button3);
  setTabOrder(&Button3, &Button4);
  setTabOrder(&Button4, &kasowanie);
  setTabOrder(&kasowanie, &typ);
  setTabOrder(&typ, &predkosc);

  // Only the operator's acts run the handlers; showing the model never does.
  connect(&mode, &QComboBox::activated, this, [this](int) { modeChange(); });
  connect(&CheckBox1, &QCheckBox::clicked, this, [this](bool) { CheckBox1Click(); });
  connect(&CheckBox2, &QCheckBox::clicked, this, [this](bool) { CheckBox2Click(); });
  connect(&kasowanie, &QCheckBox::clicked, this, [this](bool) { kasowanieClick(); });
  connect(&Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(&Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  connect(&Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
  connect(&Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
  connect(&typ, &QComboBox::activated, this, [this](int) { typChange(); });
  connect(&predkosc, &QComboBox::activated, this, [this](int) { predkoscChange(); });
  for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (w != &edytor && w->y() >= 190) ponizej_.emplace_back(w, w->pos());
  }
  edytor.move(8, 14);
  edytor.hide();
  pokaz_stan();
}

void TForm2::uloz() {
  const Uklad u = programator_.uklad();
  if (u.bezpieczniki.data() != edytor.bajty().data() ||
      u.bezpieczniki.size() != edytor.bajty().size()) {
    edytor.ustaw_bajty(u.bezpieczniki);
  }
  const bool jest = edytor_aktywny();
  edytor.setVisible(jest);
  for (QWidget* w : {static_cast<QWidget*>(&GroupBox1), static_cast<QWidget*>(&GroupBox2),
                     static_cast<QWidget*>(&CheckBox1), static_cast<QWidget*>(&CheckBox2)}) {
    w->setVisible(!jest);
  }
  if (jest) {
    bity_nieodczytane.setCaption(QString());
    // The editor takes the place of the lock and fuse boxes in the Tab order too.
    const std::vector<QWidget*> k = edytor.kolejnosc();
    if (!k.empty()) {
      // Each call moves its second widget right after its first: the chain is built
      // link by link.
      setTabOrder(&CheckBox2, k.front());
      for (std::size_t i = 1; i < k.size(); ++i) setTabOrder(k[i - 1], k[i]);
      setTabOrder(k.back(), &Button1);
    }
  }
  // The lock and fuse groups end at 185; the editor may need more.
  const int dy = jest ? std::max(0, edytor.y() + edytor.height() - 185) : 0;
  for (const auto& [w, p] : ponizej_) w->move(p.x(), p.y() + dy);
  setFixedSize(std::max(293, jest ? edytor.x() + edytor.width() + 8 : 0), 437 + dy);
}

// On the window thread with no work running: the type and the speed are read from the
// programmer itself, which the worker does not own now.
void TForm2::pokaz_stan() {
  pokaz_stan(programator_.dialog);
  uloz();
  const QSignalBlocker b1(typ), b2(predkosc);
  typ.setCurrentIndex(programator_.typ() == TypProgramatora::avr910 ? 1 : 0);
  for (int i = 0; i < static_cast<int>(std::size(kPredkosci)); ++i) {
    TComPortBaudRate br{};
    if (predkosc_z_liczby(kPredkosci[i], br) && br == programator_.predkosc) {
      predkosc.setCurrentIndex(i);
    }
  }
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
  bity_nieodczytane.setCaption(d.bity_odczytane ? QString()
                                                : QStringLiteral("Bity lock i bezpieczniki: ") +
                                                      q(kNieOdczytano));
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

void TForm2::sekwencja(std::function<void()> praca, std::function<void()> potem) {
  if (praca_ == nullptr) {
    praca();
    pokaz_stan();
    if (potem) potem();
    return;
  }
  if (praca_->zajety()) return;
  praca_->uruchom(std::move(praca), std::move(potem));
}

void TForm2::po_sprawdzeniu(const char* pytanie, std::function<void()> zapis) {
  auto kontrola = std::make_shared<KontrolaUkladu>();
  sekwencja(
      [this, kontrola, zapis] {
        *kontrola = sprawdz_uklad(programator_);
        if (kontrola->dalej == KontrolaUkladu::Dalej::tak) zapis();
      },
      [this, kontrola, pytanie, zapis] {
        if (kontrola->dalej != KontrolaUkladu::Dalej::pytanie) return;
        if (!zapytaj(QString::fromStdString(pytanie_o_uklad(kontrola->opis, pytanie)))) {
          programator_.komunikat(kNicNieZapisano);
          return;
        }
        sekwencja(zapis);
      });
}

void TForm2::Button1Click() {
  if (edytor_aktywny()) return czytaj_bezpieczniki();
  sekwencja([this] { programator_.Button1Click(); });
}

void TForm2::Button2Click() {
  if (edytor_aktywny()) return zapisz_bezpieczniki();
  po_sprawdzeniu("Wpisać mimo to?", [this] { programator_.Button2Click(); });
}

namespace {
QString hex_bajtu(std::uint8_t b) {
  return QStringLiteral("0x") + QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
}

// The sequence's end on the worker: what went wrong goes to the status window; the
// bytes read go to the editor on the window thread.
void zglos_bezpieczniki(Programator& p, const Uklad& u, const OdczytBezpiecznikow& o,
                        EdytorBezpiecznikow& edytor) {
  if (o.inny_uklad) {
    p.komunikat("Wybrano układ " + nazwa_krotka(u) + ", a układ w podstawce ma sygnaturę " +
                tekst_sygnatury({o.sygnatura[2], o.sygnatura[1], o.sygnatura[0]}));
    return;
  }
  if (!o.wynik.ok() && o.wynik.koniec != Koniec::niezgodnosc) {
    p.zglos(o.wynik, u);
    return;
  }
  p.dialog.Label6 = tekst_sygnatury({o.sygnatura[2], o.sygnatura[1], o.sygnatura[0]});
  p.widok.dialog_zmieniony();
  QMetaObject::invokeMethod(
      &edytor, [&edytor, b = o.bajty] { edytor.przyjmij_odczyt(b); }, Qt::QueuedConnection);
  if (o.wynik.koniec == Koniec::niezgodnosc && o.wynik.roznica.adres < u.bezpieczniki.size()) {
    const Roznica& r = o.wynik.roznica;
    p.komunikat(std::string(kBladWeryfikacji) + ": " + u.bezpieczniki[r.adres].nazwa +
                " (wpisano " + hex_bajtu(r.w_pliku).toStdString() + ", odczytano " +
                hex_bajtu(r.w_ukladzie).toStdString() + ")");
  }
}
}  // namespace

void TForm2::czytaj_bezpieczniki() {
  if (zajety()) return;
  sekwencja([this, u = programator_.uklad()] {
    if (programator_.tryb_demo == 1) return;  // no programmer: nothing to talk to
    zglos_bezpieczniki(programator_, u, czytaj_bajty_bezpiecznikow(programator_.sterownik(), u),
                       edytor);
  });
}

void TForm2::zapisz_bezpieczniki() {
  if (zajety()) return;
  const Uklad u = programator_.uklad();
  const std::vector<std::optional<std::uint8_t>> zapis = edytor.do_zapisu();
  if (std::none_of(zapis.begin(), zapis.end(), [](const auto& z) { return z.has_value(); })) {
    programator_.komunikat("Bezpieczniki bez zmian: nic do wpisania");
    return;
  }
  // Asked before anything is sent: a "Nie" leaves the chip untouched.
  const OcenaBezpiecznikow ocena = ocen_bezpieczniki(u, edytor.w_ukladzie(), zapis);
  if (!ocena.odmowy.empty()) {
    QString t = QStringLiteral("Ta wartość wyłącza programowanie układu tym programatorem:\n");
    for (const std::string& o : ocena.odmowy) {
      t += QStringLiteral("  ") + q(o) + QStringLiteral("\n");
    }
    t +=
        QStringLiteral("\nPo zapisie układu nie da się już programować szeregowo. Wpisać mimo to?");
    if (!zapytaj(t)) return;
  }
  if (!ocena.zegar.empty()) {
    QString bity;
    for (const std::string& b : ocena.zegar) {
      bity += (bity.isEmpty() ? QString() : QStringLiteral(", ")) + q(b);
    }
    if (!zapytaj(QStringLiteral("Nowa wartość zmienia źródło zegara (") + bity +
                 QStringLiteral(") na zewnętrzny zegar albo kwarc; bez niego układ, a z nim "
                                "programowanie szeregowe, nie ruszy.\nWpisać?"))) {
      return;
    }
  }
  sekwencja([this, u, zapis] {
    if (programator_.tryb_demo == 1) return;
    zglos_bezpieczniki(programator_, u,
                       zapisz_bajty_bezpiecznikow(programator_.sterownik(), u, zapis), edytor);
  });
}

bool TForm2::zapytaj(const QString& tekst) {
  if (potwierdzenie) return potwierdzenie(tekst);
  std::optional<Praca::Dialog> otwarty;
  if (praca_ != nullptr) otwarty.emplace(*praca_);
  return QMessageBox::warning(this, windowTitle(), tekst, QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) == QMessageBox::Yes;
}

void TForm2::Button3Click() {
  po_sprawdzeniu("Skasować mimo to?", [this] { programator_.Button3Click(); });
}

void TForm2::typChange() {
  if (zajety()) return;
  programator_.ustaw_typ(typ.currentIndex() == 1 ? TypProgramatora::avr910
                                                 : TypProgramatora::ostrel);
  zapisz_programator();
}

void TForm2::predkoscChange() {
  if (zajety()) return;
  const int i = predkosc.currentIndex();
  if (i < 0 || i >= static_cast<int>(std::size(kPredkosci))) return;
  TComPortBaudRate br{};
  if (!predkosc_z_liczby(kPredkosci[i], br)) return;
  programator_.predkosc = br;
  // The open port changes speed now; the search uses it from the next start on.
  if (programator_.port.IsOpen()) programator_.port.setComPortSpeed(br);
  zapisz_programator();
}

void TForm2::zapisz_programator() {
  UstawieniaProgramatora u;
  u.typ = programator_.typ();
  u.uklad = uklad_do_ustawien(programator_.okno.ComboBox1_index);
  for (const std::uint32_t bps : kPredkosci) {
    TComPortBaudRate br{};
    if (predkosc_z_liczby(bps, br) && br == programator_.predkosc) u.predkosc = bps;
  }
  std::string blad;
  if (!zapisz_ustawienia_programatora(u, blad) && praca_ != nullptr) {
    praca_->zglos_blad(QStringLiteral("Nie można zapisać pliku ustawień ") +
                       q(sciezka_ustawien_programatora()) + QStringLiteral(": ") + q(blad));
  }
}

// Closing only hides: every value stays for the next showing.
void TForm2::Button4Click() {
  hide();
}

}  // namespace ostrel
