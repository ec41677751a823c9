// The search as the status window tells it, demo mode and the status window's texts.
#include <string>

#include "protocol/szukanie.h"
#include "ui/model/programator.h"

namespace ostrel {

namespace {

// Cuts a UTF-8 text to at most `n` characters (the status window's short text).
std::string przytnij(const std::string& s, std::size_t n) {
  std::size_t znaki = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
      if (znaki == n) return s.substr(0, i);
      ++znaki;
    }
  }
  return s;
}

}  // namespace

Programator::Programator(TCommPortDriver& p, Widok& w)
    : LaczePortu(p), widok(w), sterownik_(utworz_sterownik(typ_, *this)) {
  okno.wiersze = wiersze_listy();
}

Programator::~Programator() = default;

bool Programator::testuj_port(int n) {
  return probuj_port(port, n, limit_odpowiedzi_ms, nieotwarte);
}

void Programator::sprawdz() {
  szukaj(1, 4);
}

void Programator::sprawdz_port(int n) {
  szukaj(n, n);
}

void Programator::sprawdz_urzadzenie(const std::string& sciezka) {
  zacznij_szukanie();
  const WynikSzukania w =
      szukaj_na_urzadzeniu(port, sciezka, predkosc, limit_odpowiedzi_ms, [&](int) {
        status.Label1 = przytnij("Znaleziono programator na " + sciezka, 255);
        status.Button1 = true;
        widok.status_zmieniony(false);
      });
  nieotwarte = w.nieotwarte;
  zakoncz_szukanie(w.znaleziony);
}

void Programator::ustaw_typ(TypProgramatora t) {
  typ_ = t;
  sterownik_ = utworz_sterownik(t, *this);
  std::vector<int> wiersze = wiersze_listy();
  if (wiersze != okno.wiersze) {
    okno.wiersze = std::move(wiersze);
    widok.okno_zmienione();
  }
}

std::vector<int> Programator::wiersze_listy() const {
  std::vector<int> w;
  for (int i = 0; i < static_cast<int>(kUklady.size()); ++i) {
    if (i < kLiczbaUkladow || sterownik_->moze_obslugiwac(kUklady[static_cast<std::size_t>(i)])) {
      w.push_back(i);
    }
  }
  return w;
}

void Programator::zacznij_szukanie() {
  // Another programmer may answer this time: what the last one said is forgotten.
  sterownik_->zapomnij();
  nieotwarte.clear();
  status.Label1 = "Szukam programatora ...";
  status.Button1 = false;
  status.widoczny = true;
  widok.status_zmieniony(true);
}

void Programator::zakoncz_szukanie(bool znaleziony) {
  if (!znaleziony) {
    brak_programatora = 1;
    status.Label1 = "Nie znaleziono programatora - tryb demo";
    status.Button1 = true;
    widok.status_zmieniony(false);
  }
}

void Programator::szukaj(int pierwszy, int ostatni) {
  zacznij_szukanie();
  const WynikSzukania w =
      szukaj_programatora(port, pierwszy, ostatni, predkosc, limit_odpowiedzi_ms, [&](int n) {
        status.Label1 = "Znaleziono programator na com" + std::to_string(n);
        status.Button1 = true;
        widok.status_zmieniony(false);
      });
  nieotwarte = w.nieotwarte;
  znaleziony_port = w.port;
  zakoncz_szukanie(w.znaleziony);
}

void Programator::potwierdz_status() {
  if (brak_programatora == 1) tryb_demo = 1;
  status.widoczny = false;
  widok.status_zmieniony(false);
}

void Programator::komunikat(const std::string& tekst) {
  komunikat(tekst, {});
}

void Programator::komunikat(const std::string& tekst, const std::string& objasnienie) {
  status.Label1 = przytnij(tekst, 255);
  if (!objasnienie.empty()) status.Label1 += "\n" + objasnienie;
  status.widoczny = true;
  widok.status_zmieniony(true);
}

Wynik Programator::porzucone() {
  if (port.DeviceGone()) {
    komunikat(tekst_odlaczenia(opis_portu()));
    return Wynik::port_niedostepny;
  }
  if (przerwane()) {
    // Out of programming mode, so the chip runs again; the answer is dropped by the
    // polling, as after a read.
    wyslij('L');
    komunikat(kPrzerwano);
    return Wynik::przerwano;
  }
  komunikat(kNieOdpowiada);
  return Wynik::brak_odpowiedzi;
}

}  // namespace ostrel
