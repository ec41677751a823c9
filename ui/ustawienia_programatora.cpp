#include "ui/ustawienia_programatora.h"

#include <charconv>
#include <filesystem>
#include <string_view>

#include "ui/ustawienia.h"

namespace ostrel {

namespace {
constexpr std::string_view kTyp = "typ=", kPredkosc = "predkosc=";
}  // namespace

UstawieniaProgramatora czytaj_ustawienia_programatora(const std::vector<std::uint8_t>& bajty) {
  UstawieniaProgramatora u;
  const std::string tekst(bajty.begin(), bajty.end());
  std::size_t od = 0;
  while (od < tekst.size()) {
    std::size_t koniec = tekst.find('\n', od);
    if (koniec == std::string::npos) koniec = tekst.size();
    std::string_view linia(tekst.data() + od, koniec - od);
    if (!linia.empty() && linia.back() == '\r') linia.remove_suffix(1);
    if (linia.substr(0, kTyp.size()) == kTyp) {
      const std::string_view w = linia.substr(kTyp.size());
      if (w == "ostrel") u.typ = TypProgramatora::ostrel;
      if (w == "avr910") u.typ = TypProgramatora::avr910;
    } else if (linia.substr(0, kPredkosc.size()) == kPredkosc) {
      const std::string_view w = linia.substr(kPredkosc.size());
      std::uint32_t bps = 0;
      const auto [p, ec] = std::from_chars(w.data(), w.data() + w.size(), bps);
      TComPortBaudRate predkosc{};
      if (ec == std::errc() && p == w.data() + w.size() && predkosc_z_liczby(bps, predkosc)) {
        u.predkosc = bps;
      }
    }
    od = koniec + 1;
  }
  return u;
}

std::vector<std::uint8_t> zapisz_ustawienia_programatora(const UstawieniaProgramatora& u) {
  const std::string tekst = std::string(kTyp) +
                            (u.typ == TypProgramatora::avr910 ? "avr910" : "ostrel") + "\n" +
                            std::string(kPredkosc) + std::to_string(u.predkosc) + "\n";
  return std::vector<std::uint8_t>(tekst.begin(), tekst.end());
}

std::string sciezka_ustawien_programatora() {
  return (std::filesystem::path(sciezka_ustawien()).parent_path() / "Programator.cf").string();
}

UstawieniaProgramatora wczytaj_ustawienia_programatora() {
  std::vector<std::uint8_t> bajty;
  std::string blad;
  if (!wczytaj_bajty(sciezka_ustawien_programatora(), bajty, blad)) return {};
  return czytaj_ustawienia_programatora(bajty);
}

bool zapisz_ustawienia_programatora(const UstawieniaProgramatora& u, std::string& blad) {
  return zapisz_plik_ustawien(sciezka_ustawien_programatora(), zapisz_ustawienia_programatora(u),
                              blad);
}

}  // namespace ostrel
