#include "ui/edytor_bezpiecznikow.h"

#include <QSignalBlocker>
#include <algorithm>

namespace ostrel {

namespace {
// A group: its title, two rows of boxes (bits 7..4 over bits 3..0, as datasheets draw a
// byte), a margin.
constexpr int kWysokoscGrupy = 64;
constexpr int kOdstep = 6;
constexpr int kKolumny = 4;
}  // namespace

EdytorBezpiecznikow::EdytorBezpiecznikow(QWidget* rodzic) : QWidget(rodzic) {
  setObjectName(QStringLiteral("edytor_bezpiecznikow"));
  connect(&Fabryczne, &QPushButton::clicked, this, [this] { fabryczne(); });
}

void EdytorBezpiecznikow::ustaw_bajty(std::span<const BajtBezpiecznikow> bajty) {
  grupy.clear();
  bajty_ = bajty;
  // The widest caption sets the columns: a name is never cut.
  int kolumna = 60;
  for (std::size_t i = 0; i < bajty.size(); ++i) {
    auto g = std::make_unique<Grupa>(this);
    g->ramka.setTitle(QStringLiteral(" ") + QString::fromUtf8(bajty[i].nazwa) +
                      QStringLiteral(" "));
    g->wartosc = bajty[i].fabryczny;
    g->hex.setValidator(&g->walidator);
    for (std::size_t k = 0; k < bajty[i].bity.size(); ++k) {
      const BitBezpiecznika& b = bajty[i].bity[k];
      auto pole = std::make_unique<QCheckBox>(QString::fromUtf8(b.nazwa), &g->ramka);
      pole->setToolTip(QString::fromUtf8(b.opis));
      kolumna = std::max(kolumna, pole->sizeHint().width() + 4);
      connect(pole.get(), &QCheckBox::clicked, this,
              [this, i, k](bool zaznaczone) { ustaw_bit(i, k, zaznaczone); });
      g->pola.push_back(std::move(pole));
    }
    connect(&g->hex, &QLineEdit::textEdited, this,
            [this, i](const QString& t) { ustaw_hex(i, t); });
    // An unfinished entry gives way to the value in force.
    connect(&g->hex, &QLineEdit::editingFinished, this, [this, i] { pokaz(i); });
    grupy.push_back(std::move(g));
  }
  const int szerokosc_hex = 28;
  const int szerokosc = 8 + kKolumny * kolumna + 18 + szerokosc_hex + 8;
  int y = 0;
  for (std::size_t i = 0; i < grupy.size(); ++i) {
    Grupa& g = *grupy[i];
    g.ramka.setGeometry(0, y, szerokosc, kWysokoscGrupy);
    for (std::size_t k = 0; k < g.pola.size(); ++k) {
      const int bit = bajty[i].bity[k].bit & 7;
      const int x = 8 + (7 - bit) % kKolumny * kolumna;
      g.pola[k]->setGeometry(x, bit >= 4 ? 18 : 40, kolumna, 17);
    }
    const int x_hex = 8 + kKolumny * kolumna + 4;
    g.przedrostek.move(x_hex, 31);
    g.hex.setGeometry(x_hex + 14, 27, szerokosc_hex, 21);
    y += kWysokoscGrupy + kOdstep;
    pokaz(i);
  }
  Fabryczne.move(0, y);
  Fabryczne.setVisible(!grupy.empty());
  setFixedSize(szerokosc, grupy.empty() ? 0 : y + Fabryczne.height());
}

std::vector<std::uint8_t> EdytorBezpiecznikow::wartosci() const {
  std::vector<std::uint8_t> w;
  for (const auto& g : grupy) w.push_back(g->wartosc);
  return w;
}

void EdytorBezpiecznikow::przyjmij_odczyt(const std::vector<std::uint8_t>& bajty) {
  for (std::size_t i = 0; i < grupy.size() && i < bajty.size(); ++i) {
    grupy[i]->wartosc = bajty[i];
    grupy[i]->odczytany = bajty[i];
    grupy[i]->zmieniony = false;
    pokaz(i);
  }
}

std::vector<std::optional<std::uint8_t>> EdytorBezpiecznikow::w_ukladzie() const {
  std::vector<std::optional<std::uint8_t>> w;
  for (const auto& g : grupy) w.push_back(g->odczytany);
  return w;
}

std::vector<std::optional<std::uint8_t>> EdytorBezpiecznikow::do_zapisu() const {
  std::vector<std::optional<std::uint8_t>> z;
  for (const auto& g : grupy) {
    const bool pisz = g->odczytany ? g->wartosc != *g->odczytany : g->zmieniony;
    z.push_back(pisz ? std::optional<std::uint8_t>(g->wartosc) : std::nullopt);
  }
  return z;
}

std::vector<QWidget*> EdytorBezpiecznikow::kolejnosc() {
  std::vector<QWidget*> k;
  for (std::size_t i = 0; i < grupy.size(); ++i) {
    std::vector<std::size_t> pola(grupy[i]->pola.size());
    for (std::size_t p = 0; p < pola.size(); ++p) pola[p] = p;
    std::stable_sort(pola.begin(), pola.end(), [&](std::size_t a, std::size_t b) {
      return (bajty_[i].bity[a].bit & 7) > (bajty_[i].bity[b].bit & 7);
    });
    for (const std::size_t p : pola) k.push_back(grupy[i]->pola[p].get());
    k.push_back(&grupy[i]->hex);
  }
  if (!k.empty()) k.push_back(&Fabryczne);
  return k;
}

void EdytorBezpiecznikow::fabryczne() {
  for (std::size_t i = 0; i < grupy.size(); ++i) {
    grupy[i]->wartosc = bajty_[i].fabryczny;
    grupy[i]->zmieniony = true;
    pokaz(i);
  }
}

void EdytorBezpiecznikow::ustaw_bit(std::size_t bajt, std::size_t pole, bool zaprogramowany) {
  if (bajt >= grupy.size() || pole >= bajty_[bajt].bity.size()) return;
  Grupa& g = *grupy[bajt];
  const auto maska = static_cast<std::uint8_t>(1u << (bajty_[bajt].bity[pole].bit & 7));
  g.wartosc = zaprogramowany ? static_cast<std::uint8_t>(g.wartosc & ~maska)
                             : static_cast<std::uint8_t>(g.wartosc | maska);
  g.zmieniony = true;
  pokaz(bajt);
}

void EdytorBezpiecznikow::ustaw_hex(std::size_t bajt, const QString& tekst) {
  if (bajt >= grupy.size()) return;
  // One digit is an entry under way: the byte changes when the second comes.
  if (tekst.size() != 2) return;
  bool ok = false;
  const uint v = tekst.toUInt(&ok, 16);
  if (!ok || v > 0xFF) return;
  Grupa& g = *grupy[bajt];
  g.wartosc = static_cast<std::uint8_t>(v);
  g.zmieniony = true;
  pokaz_pola(bajt);
}

void EdytorBezpiecznikow::pokaz_pola(std::size_t bajt) {
  Grupa& g = *grupy[bajt];
  for (std::size_t k = 0; k < g.pola.size(); ++k) {
    const QSignalBlocker b(*g.pola[k]);
    g.pola[k]->setChecked((g.wartosc >> (bajty_[bajt].bity[k].bit & 7) & 1u) == 0);
  }
}

void EdytorBezpiecznikow::pokaz(std::size_t bajt) {
  pokaz_pola(bajt);
  Grupa& g = *grupy[bajt];
  const QSignalBlocker b(g.hex);
  g.hex.setText(QStringLiteral("%1").arg(g.wartosc, 2, 16, QLatin1Char('0')).toUpper());
}

}  // namespace ostrel
