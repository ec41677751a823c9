// The AVR910 family of programmers: the programmer's list of parts ('t'), its block
// buffer ('b') and the block transfers ('B', 'g'); everything else as the Ostrel
// programmer.
#include <algorithm>
#include <optional>
#include <vector>

#include "protocol/plan_stron.h"
#include "protocol/sterownik.h"

namespace ostrel {

namespace {

constexpr std::uint8_t kB = 'B', kg = 'g', kt = 't', kb = 'b', kc = 'c', kC = 'C', km = 'm';
constexpr std::uint8_t kPamiecFlash = 'F', kPamiecEeprom = 'E';
constexpr std::uint8_t kBloki = 'Y';  // 'b': block commands there, the size follows
// A list longer than this is no device list: the rest is not waited for.
constexpr std::size_t kNajdluzszaLista = 255;
// A buffer larger than any such programmer has is taken at this size: a block's answer
// comes only when the whole block is written.
constexpr std::size_t kNajwiekszyBlok = 1024;
constexpr std::uint8_t kBrakujacyBajt = 0xFF;
// The most 'g' asks for at once: its count is 16 bits, and flash moves in whole words.
constexpr std::size_t kNajwiekszyOdczyt = 0xFFFE;
constexpr std::uint8_t kCR = '\r';  // the acknowledgement

// The image's byte at `i`; past its end what an erased cell holds.
std::uint8_t bajt_obrazu(const Strumien& obraz, std::size_t i) {
  return i < obraz.rozmiar() ? obraz.dane()[i] : kBrakujacyBajt;
}

// Flash moves in whole words: an odd image gets the erased cell's 0xFF as its last high
// byte, as in the byte commands.
std::size_t dlugosc_transferu(const Strumien& obraz, bool flash) {
  const std::size_t n = obraz.rozmiar();
  return flash ? n + (n & 1) : n;
}

class SterownikAvr910 final : public Sterownik {
 public:
  using Sterownik::Sterownik;

  void zapomnij() override {
    lista_kodow_.reset();
    rozmiar_bloku_.reset();
  }

  bool obsluguje(const Uklad& u) override {
    if (!lista_kodow_) {
      // The list's end is a 0 byte: a stray byte in front of it would pass for a code.
      lacze_.oproznij_wejscie();
      lacze_.wyslij(kt);
      std::vector<std::uint8_t> lista;
      for (;;) {
        const std::uint8_t k = lacze_.czekaj_na_bajt();
        // '?' where the list should begin: a programmer without 't', of the other type.
        if (k == '?' && lista.empty()) throw PorzucenieOperacji(Przerwanie::zla_odpowiedz, kt, k);
        if (k == 0) break;
        lista.push_back(k);
        if (lista.size() >= kNajdluzszaLista) break;
      }
      lista_kodow_ = std::move(lista);
    }
    if (!wybrany_kod(u)) return false;
    if (!rozmiar_bloku_) {
      lacze_.wyslij(kb);
      std::size_t rozmiar = 0;
      if (lacze_.czekaj_na_bajt() == kBloki) {
        const std::uint8_t hi = lacze_.czekaj_na_bajt();
        const std::uint8_t lo = lacze_.czekaj_na_bajt();
        rozmiar = static_cast<std::size_t>(hi) << 8 | lo;
      }
      rozmiar_bloku_ = rozmiar;
    }
    return true;
  }

  bool moze_obslugiwac(const Uklad& u) const override { return u.kody_avr910.ile > 0; }

  // That firmware's 'F' clocks an instruction the AT90S parts do not have: its answer
  // is not the chip's state.
  bool czyta_bity() const override { return false; }

  std::uint8_t kod(const Uklad& u) const override {
    const std::optional<std::uint8_t> k = wybrany_kod(u);
    return k ? *k : u.kody_avr910.kody[0];
  }

  void zapisz(const Uklad& u, Pamiec m, Strumien& obraz, const Postep& postep) override {
    if (m == Pamiec::flash && u.rozmiar_strony > 0) return zapisz_strony(u, obraz, postep);
    const std::size_t n = blok(u, m);
    if (n == 0) return Sterownik::zapisz(u, m, obraz, postep);
    const bool flash = m == Pamiec::flash;
    obraz.ustaw_pozycje(0);
    const std::size_t rozmiar = obraz.rozmiar();
    const std::size_t dlugosc = dlugosc_transferu(obraz, flash);
    std::vector<std::uint8_t> dane;
    for (std::size_t od = 0; od < dlugosc; od += n) {
      const std::size_t ile = std::min(n, dlugosc - od);
      dane.clear();
      for (std::size_t k = 0; k < ile; ++k) {
        std::uint8_t b = kBrakujacyBajt;
        obraz.czytaj_bajt(b);
        dane.push_back(b);
      }
      // Every block says where it goes: the register is not relied on between commands.
      adres(static_cast<std::uint32_t>(flash ? od / 2 : od));
      naglowek(kB, ile, flash);
      lacze_.wyslij_dane(dane.data(), dane.size());
      // The answer comes once the block is written: the bound grows with it.
      potwierdzenie(kB, static_cast<std::uint32_t>(ile) * u.czasy.zapis_bajtu_ms);
      postep(obraz.pozycja(), rozmiar);
    }
  }

  bool weryfikuj(const Uklad& u, Pamiec m, Strumien& obraz, const Postep& postep,
                 Roznica& roznica) override {
    const std::size_t n = blok_odczytu(u, m);
    if (n == 0) return Sterownik::weryfikuj(u, m, obraz, postep, roznica);
    const bool flash = m == Pamiec::flash;
    obraz.ustaw_pozycje(0);
    const std::size_t rozmiar = obraz.rozmiar();
    const std::size_t dlugosc = dlugosc_transferu(obraz, flash);
    for (std::size_t od = 0; od < dlugosc; od += n) {
      const std::size_t ile = std::min(n, dlugosc - od);
      adres(static_cast<std::uint32_t>(flash ? od / 2 : od));
      naglowek(kg, ile, flash);
      // The whole answer is read even past a difference: the next command must not meet
      // the rest of it.
      std::size_t pierwsza = ile;
      std::uint8_t w_pliku = 0, w_ukladzie = 0;
      for (std::size_t k = 0; k < ile; ++k) {
        const std::uint8_t r = lacze_.czekaj_na_bajt();
        std::uint8_t b = kBrakujacyBajt;
        obraz.czytaj_bajt(b);
        if (r != b && pierwsza == ile) {
          pierwsza = k;
          w_pliku = b;
          w_ukladzie = r;
        }
      }
      if (pierwsza < ile) {
        const std::size_t bajt = od + pierwsza;
        roznica = {static_cast<std::uint32_t>(bajt), w_pliku, w_ukladzie,
                   static_cast<std::uint32_t>(flash ? bajt / 2 + 1 : bajt + 1)};
        return false;
      }
      postep(obraz.pozycja(), rozmiar);
    }
    return true;
  }

  // EEPROM runs in blocks, each block from its own 'A' as in the whole-memory write.
  void zapisz_przebiegi(const Uklad& u, Strumien& obraz, const std::vector<Przebieg>& p,
                        const Postep& postep) override {
    const std::size_t n = blok(u, Pamiec::eeprom);
    if (n == 0) return Sterownik::zapisz_przebiegi(u, obraz, p, postep);
    const std::size_t wszystkie = bajty_przebiegow(p);
    std::size_t zrobione = 0;
    std::vector<std::uint8_t> dane;
    for (const Przebieg& r : p) {
      for (std::size_t od = r.od; od < r.do_; od += n) {
        const std::size_t ile = std::min(n, r.do_ - od);
        dane.clear();
        for (std::size_t i = od; i < od + ile; ++i) dane.push_back(bajt_obrazu(obraz, i));
        adres(static_cast<std::uint32_t>(od));
        naglowek(kB, ile, false);
        lacze_.wyslij_dane(dane.data(), dane.size());
        potwierdzenie(kB, static_cast<std::uint32_t>(ile) * u.czasy.zapis_bajtu_ms);
        zrobione += ile;
        postep(zrobione, wszystkie);
      }
    }
  }

  bool weryfikuj_przebiegi(const Uklad& u, Strumien& obraz, const std::vector<Przebieg>& p,
                           const Postep& postep, Roznica& roznica) override {
    const std::size_t n = blok_odczytu(u, Pamiec::eeprom);
    if (n == 0) return Sterownik::weryfikuj_przebiegi(u, obraz, p, postep, roznica);
    const std::size_t wszystkie = bajty_przebiegow(p);
    std::size_t zrobione = 0;
    for (const Przebieg& r : p) {
      for (std::size_t od = r.od; od < r.do_; od += n) {
        const std::size_t ile = std::min(n, r.do_ - od);
        adres(static_cast<std::uint32_t>(od));
        naglowek(kg, ile, false);
        // The whole answer is read even past a difference: the next command must not
        // meet the rest of it.
        bool rozne = false;
        for (std::size_t i = od; i < od + ile; ++i) {
          const std::uint8_t z = lacze_.czekaj_na_bajt();
          const std::uint8_t b = bajt_obrazu(obraz, i);
          if (z != b && !rozne) {
            rozne = true;
            roznica = {static_cast<std::uint32_t>(i), b, z, static_cast<std::uint32_t>(i + 1)};
          }
        }
        if (rozne) return false;
        zrobione += ile;
        postep(zrobione, wszystkie);
      }
    }
    return true;
  }

  void czytaj(const Uklad& u, Pamiec m, Strumien& obraz, const Postep& postep) override {
    const std::size_t n = blok_odczytu(u, m);
    if (n == 0) return Sterownik::czytaj(u, m, obraz, postep);
    const bool flash = m == Pamiec::flash;
    obraz.ustaw_pozycje(0);
    const std::size_t bajty = u.bajty(flash);
    for (std::size_t od = 0; od < bajty; od += n) {
      const std::size_t ile = std::min(n, bajty - od);
      postep(od + ile, bajty);
      adres(static_cast<std::uint32_t>(flash ? od / 2 : od));
      naglowek(kg, ile, flash);
      for (std::size_t k = 0; k < ile; ++k) obraz.zapisz_bajt(lacze_.czekaj_na_bajt());
    }
  }

 protected:
  // That firmware acknowledges with CR and refuses with '?'; anything else is a byte out
  // of place (a stray one, or the rest of an earlier answer), and nothing after it can
  // be trusted.
  void sprawdz_potwierdzenie(std::uint8_t polecenie, std::uint8_t odpowiedz) override {
    if (odpowiedz != kCR) throw PorzucenieOperacji(Przerwanie::zla_odpowiedz, polecenie, odpowiedz);
  }

 private:
  // Flash of a page-mode part: the firmware writes a page at the end of every block, so
  // blocks keep within pages and end on words it can poll (see plan_zapisu_stron);
  // without blocks the words are loaded with 'c'/'C' and each page written with 'm'.
  void zapisz_strony(const Uklad& u, Strumien& obraz, const Postep& postep) {
    const std::vector<std::uint8_t>& d = obraz.dane();
    const std::size_t rozmiar = d.size();
    const auto bajt = [&](std::size_t i) { return i < rozmiar ? d[i] : kBrakujacyBajt; };
    const std::vector<KrokZapisu> plan =
        plan_zapisu_stron(d.data(), rozmiar, u.rozmiar_strony, blok(u, Pamiec::flash));
    std::optional<std::uint32_t> rejestr;  // the firmware's address register, when known
    std::vector<std::uint8_t> dane;
    for (const KrokZapisu& k : plan) {
      if (rejestr != k.slowo) adres(k.slowo);
      switch (k.rodzaj) {
        case KrokZapisu::Rodzaj::blok: {
          dane.clear();
          for (std::size_t i = 2 * std::size_t{k.slowo}; i < 2 * std::size_t{k.slowo + k.slowa};
               ++i)
            dane.push_back(bajt(i));
          naglowek(kB, dane.size(), true);
          lacze_.wyslij_dane(dane.data(), dane.size());
          // The answer comes once the words are in and the page is written.
          lacze_.czekaj_dluzej(static_cast<std::uint32_t>(dane.size()) * u.czasy.zapis_bajtu_ms);
          rejestr = k.slowo + k.slowa;
          break;
        }
        case KrokZapisu::Rodzaj::slowa:
          for (std::uint32_t w = k.slowo; w < k.slowo + k.slowa; ++w) {
            lacze_.wyslij(kc);
            lacze_.wyslij_i_czekaj(bajt(2 * std::size_t{w}));
            lacze_.wyslij(kC);
            lacze_.wyslij_i_czekaj(bajt(2 * std::size_t{w} + 1));
          }
          rejestr = k.slowo + k.slowa;
          break;
        case KrokZapisu::Rodzaj::strona:
          lacze_.wyslij(km);
          lacze_.czekaj_dluzej(u.czasy.kasowanie_ms);
          rejestr = k.slowo;
          break;
      }
      postep(std::min(rozmiar, 2 * std::size_t{k.slowo + k.slowa}), rozmiar);
    }
    obraz.ustaw_pozycje(rozmiar);
  }

  // Reads: a page-mode part's flash comes back in one 'g' for the whole run (the
  // firmware streams it as it clocks it out); anything else by the block buffer.
  std::size_t blok_odczytu(const Uklad& u, Pamiec m) const {
    const std::size_t n = blok(u, m);
    if (n == 0 || m != Pamiec::flash || u.rozmiar_strony == 0) return n;
    return kNajwiekszyOdczyt;
  }

  // The first of the part's codes the programmer lists.
  std::optional<std::uint8_t> wybrany_kod(const Uklad& u) const {
    if (!lista_kodow_) return std::nullopt;
    for (std::size_t i = 0; i < u.kody_avr910.ile && i < u.kody_avr910.kody.size(); ++i) {
      const std::uint8_t k = u.kody_avr910.kody[i];
      if (std::find(lista_kodow_->begin(), lista_kodow_->end(), k) != lista_kodow_->end()) return k;
    }
    return std::nullopt;
  }

  // The block size for this memory (bytes, whole words for flash), 0 for byte commands.
  std::size_t blok(const Uklad& u, Pamiec m) const {
    if (!rozmiar_bloku_) return 0;
    const bool flash = m == Pamiec::flash;
    // 'F' blocks count words: a part with byte-addressed flash keeps the byte commands.
    if (flash && u.adresowanie_bajtowe != 0) return 0;
    std::size_t n = std::min(*rozmiar_bloku_, kNajwiekszyBlok);
    if (flash) n &= ~std::size_t{1};
    return n;
  }

  // The header of 'B' and 'g': size high, size low, memory type.
  void naglowek(std::uint8_t polecenie, std::size_t n, bool flash) {
    lacze_.wyslij(polecenie);
    lacze_.wyslij(static_cast<std::uint8_t>((n >> 8) & 0xFF));
    lacze_.wyslij(static_cast<std::uint8_t>(n & 0xFF));
    lacze_.wyslij(flash ? kPamiecFlash : kPamiecEeprom);
  }

  std::optional<std::vector<std::uint8_t>> lista_kodow_;  // the 't' answer
  std::optional<std::size_t> rozmiar_bloku_;              // 'b', 0 = no blocks
};

}  // namespace

std::unique_ptr<Sterownik> utworz_sterownik_avr910(Lacze& l) {
  return std::make_unique<SterownikAvr910>(l);
}

}  // namespace ostrel
