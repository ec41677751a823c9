#include "ui/ustawienia_programatora.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <string_view>

#include "ui/ustawienia.h"

namespace ostrel {

namespace {
constexpr std::string_view kTyp = "typ=", kPredkosc = "predkosc=", kUklad = "uklad=";
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
    } else if (linia.substr(0, kUklad.size()) == kUklad) {
      u.uklad = std::string(linia.substr(kUklad.size()));
    }
    od = koniec + 1;
  }
  return u;
}

std::vector<std::uint8_t> zapisz_ustawienia_programatora(const UstawieniaProgramatora& u) {
  const std::string tekst =
      std::string(kTyp) + (u.typ == TypProgramatora::avr910 ? "avr910" : "ostrel") + "\n" +
      std::string(kPredkosc) + std::to_string(u.predkosc) + "\n" +
      (u.uklad.empty() ? std::string() : std::string(kUklad) + u.uklad + "\n");
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

int uklad_z_ustawien(const UstawieniaProgramatora& u, const std::vector<int>& wiersze) {
  if (u.uklad.empty()) return -1;
  const int i = znajdz_uklad(u.uklad);
  if (i < kLiczbaUkladow) return -1;
  return std::find(wiersze.begin(), wiersze.end(), i) != wiersze.end() ? i : -1;
}

std::string uklad_do_ustawien(int indeks) {
  if (indeks < kLiczbaUkladow || indeks >= static_cast<int>(kUklady.size())) return {};
  return nazwa_krotka(kUklady[static_cast<std::size_t>(indeks)]);
}

bool zachowaj_uklad(const Programator& p, std::string& blad) {
  UstawieniaProgramatora u = wczytaj_ustawienia_programatora();
  std::string uklad = uklad_do_ustawien(p.okno.ComboBox1_index);
  if (uklad == u.uklad) return true;
  u.uklad = std::move(uklad);
  std::string powod;
  if (zapisz_ustawienia_programatora(u, powod)) return true;
  blad = "Nie można zapisać pliku ustawień " + sciezka_ustawien_programatora() + ": " + powod;
  return false;
}

}  // namespace ostrel
