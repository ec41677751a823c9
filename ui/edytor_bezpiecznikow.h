// The fuse editor of the advanced dialog, for parts whose fuse and lock bytes are reached
// by name: a group per byte, a box per named bit (ticked = programmed = 0, as datasheets
// show them) and the byte in hex beside them, each following the other.
#pragma once

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "devices/uklady.h"
#include "ui/wyglad.h"

namespace ostrel {

class EdytorBezpiecznikow : public QWidget {
  Q_OBJECT

 public:
  explicit EdytorBezpiecznikow(QWidget* rodzic);

  // A group per byte of `bajty` (none: the editor is empty), showing factory values
  // that are no edits; sizes the editor to fit them.
  void ustaw_bajty(std::span<const BajtBezpiecznikow> bajty);
  std::span<const BajtBezpiecznikow> bajty() const { return bajty_; }

  // The values shown, one per byte.
  std::vector<std::uint8_t> wartosci() const;
  // The bytes as the chip holds them (read, or read back after a write): shown, and
  // what later edits are measured against.
  void przyjmij_odczyt(const std::vector<std::uint8_t>& bajty);
  // The chip's bytes as last read; none for those never read.
  std::vector<std::optional<std::uint8_t>> w_ukladzie() const;
  // The bytes a write sends: those that differ from the chip's as read, or, not read,
  // those the user changed. None where nothing is to be written.
  std::vector<std::optional<std::uint8_t>> do_zapisu() const;
  // Every byte at its factory value, each to be written.
  void fabryczne();
  // The controls in the order Tab is to visit them (the dialog links them in): each group's boxes
  // as they stand (bits 7 to 0), its hex field, then the factory button. Empty without groups.
  std::vector<QWidget*> kolejnosc();

  // ---- The user's acts (also what the controls' signals run).
  void ustaw_bit(std::size_t bajt, std::size_t pole, bool zaprogramowany);
  void ustaw_hex(std::size_t bajt, const QString& tekst);

  // One byte's controls. The frame comes first so its children go before it.
  struct Grupa {
    explicit Grupa(QWidget* rodzic) : ramka(rodzic) {}
    QGroupBox ramka;
    // Two hex digits at most; declared before the field that uses it.
    QRegularExpressionValidator walidator{QRegularExpression(QStringLiteral("[0-9A-Fa-f]{0,2}"))};
    TLabel przedrostek{&ramka, 0, 0, 0, 13, QStringLiteral("0x")};
    QLineEdit hex{&ramka};
    std::vector<std::unique_ptr<QCheckBox>> pola;  // one per named bit, in the row's order
    std::uint8_t wartosc = 0xFF;
    std::optional<std::uint8_t> odczytany;  // the chip's, once read
    bool zmieniony = false;                 // changed by the user since the last read
  };
  std::vector<std::unique_ptr<Grupa>> grupy;
  TButton Fabryczne{this, 0, 0, 121, 22, QStringLiteral("Wartości &fabryczne")};

 private:
  // Shows a group's value in its boxes and its hex field.
  void pokaz(std::size_t bajt);
  void pokaz_pola(std::size_t bajt);
  std::span<const BajtBezpiecznikow> bajty_;
};

}  // namespace ostrel
