// The AVR910 family of programmers: the programmer's list of parts ('t'), its block
// buffer ('b') and the block transfers ('B', 'g'); everything else as the Parts'
// programmer.
#include <algorithm>
#include <optional>
#include <vector>

#include "protocol/sterownik.h"

namespace ostrel {

namespace {

constexpr std::uint8_t kB = 'B', kg = 'g', kt = 't', kb = 'b';
constexpr std::uint8_t kPamiecFlash = 'F', kPamiecEeprom = 'E';
constexpr std::uint8_t kBloki = 'Y';  // 'b': block commands there, the size follows
// A list longer than this is no device list: the rest is not waited for.
constexpr std::size_t kNajdluzszaLista = 255;
// A buffer larger than any such programmer has is taken at this size: a block's answer
// comes only when the whole block is written.
constexpr std::size_t kNajwiekszyBlok = 1024;
constexpr std::uint8_t kBrakujacyBajt = 0xFF;
constexpr std::uint8_t kCR = '\r';  // the acknowledgement

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

  // That firmware's 'F' clocks an instruction the AT90S parts do not have: its answer
  // is not the chip's state.
  bool czyta_bity() const override { return false; }

  std::uint8_t kod(const Uklad& u) const override {
    const std::optional<std::uint8_t> k = wybrany_kod(u);
    return k ? *k : u.kody_avr910.kody[0];
  }

  void zapisz(const Uklad& u, Pamiec m, Strumien& obraz, const Postep& postep) override {
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
    const std::size_t n = blok(u, m);
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

  void czytaj(const Uklad& u, Pamiec m, Strumien& obraz, const Postep& postep) override {
    const std::size_t n = blok(u, m);
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
