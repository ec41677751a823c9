#include "protocol/plan_stron.h"

namespace ostrel {

namespace {

// Words of 0xFFFF a block carries rather than end there: each costs 0.52 ms of the
// firmware's clocking and two characters, another block a page write and its poll.
constexpr std::uint32_t kNajdluzszyMostek = 4;

class Slowa {
 public:
  Slowa(const std::uint8_t* obraz, std::size_t n) : obraz_(obraz), n_(n) {}
  std::uint32_t liczba() const { return static_cast<std::uint32_t>((n_ + 1) / 2); }
  std::uint8_t wysoki(std::uint32_t w) const { return bajt(2 * std::size_t{w} + 1); }
  bool pisane(std::uint32_t w) const {
    return bajt(2 * std::size_t{w}) != 0xFF || bajt(2 * std::size_t{w} + 1) != 0xFF;
  }
  // A block may end here: the firmware can poll the word's high byte.
  bool konczy(std::uint32_t w) const { return pisane(w) && wysoki(w) != 0xFF; }

 private:
  std::uint8_t bajt(std::size_t i) const { return i < n_ ? obraz_[i] : 0xFF; }
  const std::uint8_t* obraz_;
  std::size_t n_;
};

// 'c'/'C' steps for the written words of [od, do_] (inclusive), one per run.
void wczytaj(const Slowa& s, std::uint32_t od, std::uint32_t do_, std::vector<KrokZapisu>& plan) {
  for (std::uint32_t w = od; w <= do_;) {
    if (!s.pisane(w)) {
      ++w;
      continue;
    }
    const std::uint32_t start = w;
    while (w <= do_ && s.pisane(w)) ++w;
    plan.push_back({KrokZapisu::Rodzaj::slowa, start, w - start});
  }
}

}  // namespace

std::vector<KrokZapisu> plan_zapisu_stron(const std::uint8_t* obraz, std::size_t n,
                                          std::uint32_t strona, std::uint32_t bufor) {
  std::vector<KrokZapisu> plan;
  const std::uint32_t slowa_strony = strona / 2;
  if (slowa_strony == 0) return plan;
  const std::uint32_t najwiecej = bufor / 2;  // words a block carries
  const Slowa s(obraz, n);
  const std::uint32_t wszystkie = s.liczba();
  for (std::uint32_t poczatek = 0; poczatek < wszystkie; poczatek += slowa_strony) {
    const std::uint32_t koniec = std::min(poczatek + slowa_strony, wszystkie) - 1;
    std::uint32_t ostatnie = koniec + 1;        // the page's last written word
    std::uint32_t ostatni_koniec = koniec + 1;  // the last word a block can end on
    for (std::uint32_t w = poczatek; w <= koniec; ++w) {
      if (s.pisane(w)) ostatnie = w;
      if (s.konczy(w)) ostatni_koniec = w;
    }
    if (ostatnie > koniec) continue;  // nothing to write in this page
    if (najwiecej == 0 || ostatni_koniec > koniec) {
      // Without blocks, or without a word the firmware could poll: load, then 'm'.
      wczytaj(s, poczatek, koniec, plan);
      plan.push_back({KrokZapisu::Rodzaj::strona, poczatek, 0});
      continue;
    }
    // Words after the last pollable one ride on a page write of the blocks below.
    if (ostatnie > ostatni_koniec) wczytaj(s, ostatni_koniec + 1, ostatnie, plan);
    std::uint32_t w = poczatek;
    while (w <= ostatni_koniec) {
      while (!s.pisane(w)) ++w;  // ostatni_koniec is written, so this stops
      // A run: written words with gaps of at most kNajdluzszyMostek words between them.
      std::uint32_t koniec_serii = w;
      for (std::uint32_t v = w + 1;
           v <= ostatni_koniec && v - koniec_serii <= kNajdluzszyMostek + 1; ++v) {
        if (s.pisane(v)) koniec_serii = v;
      }
      while (w <= koniec_serii) {
        const std::uint32_t granica = std::min(w + najwiecej - 1, koniec_serii);
        std::uint32_t e = granica;
        while (e > w && !s.konczy(e)) --e;
        if (!s.konczy(e)) {
          // No word here can end a block: load them for a later page write.
          wczytaj(s, w, granica, plan);
          w = granica + 1;
          continue;
        }
        plan.push_back({KrokZapisu::Rodzaj::blok, w, e - w + 1});
        if (granica == koniec_serii && e < granica) {
          wczytaj(s, e + 1, granica, plan);
          w = granica + 1;
        } else {
          w = e + 1;
        }
        while (w <= koniec_serii && !s.pisane(w)) ++w;
      }
      w = koniec_serii + 1;
    }
  }
  return plan;
}

}  // namespace ostrel
