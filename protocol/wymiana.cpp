// Command exchange with the programmer and the search for it.
#include <cmath>
#include <cstdio>
#include <string>

#include "protocol/programator.h"

namespace ostrel {

namespace {

constexpr std::uint8_t kS = 'S';
constexpr int kProbyOgraniczone = 33;  // a first read and up to 32 repeats
constexpr const char* kOdpowiedzS = "AVR ISP";
constexpr std::size_t kDlugoscOdpowiedziS = 7;
constexpr int kNajwyzszyPort = 16;  // COM1..COM16 are the ports the serial layer names

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

int kod_wyjscia(Wynik w) {
  switch (w) {
    case Wynik::ok:
      return 0;
    case Wynik::blad_weryfikacji:
    case Wynik::przerwano:
    case Wynik::blad_pliku:  // the operation's own file (a read's target) not written
      return 1;
    case Wynik::blad_hex:
    case Wynik::nic:
    case Wynik::nieobslugiwany:
      return 2;
    case Wynik::demo:
    case Wynik::brak_odpowiedzi:
      return 3;
    case Wynik::port_niedostepny:
      return 4;
    case Wynik::inny_uklad:
      return 5;
  }
  return 2;
}

const char* nazwa_typu(TypProgramatora typ) {
  return typ == TypProgramatora::avr910 ? "AVR910" : "Ostrel";
}

bool predkosc_z_liczby(std::uint32_t bps, TComPortBaudRate& predkosc) {
  switch (bps) {
    case 19200:
      predkosc = br19200;
      return true;
    case 38400:
      predkosc = br38400;
      return true;
    case 57600:
      predkosc = br57600;
      return true;
    case 115200:
      predkosc = br115200;
      return true;
    default:
      return false;
  }
}

void ustaw_CommPortDriver1(TCommPortDriver& port) {
  port.setComPort(pnCOM3);
  port.setComPortSpeed(br19200);
  port.setInputTimeout(50);
}

int procent(std::size_t p, std::size_t s) {
  if (s == 0) return 0;
  const long double q = static_cast<long double>(p) / static_cast<long double>(s) * 100.0L;
  return static_cast<int>(std::lrint(q));  // the default rounding mode: ties to even
}

Programator::Programator(TCommPortDriver& p, Widok& w)
    : port(p), widok(w), sterownik_(utworz_sterownik(typ_, *this)) {
  okno.wiersze = wiersze_listy();
}

Programator::~Programator() = default;

std::uint32_t Programator::teraz() {
  return port.Platforma().licznik_ms();
}

void Programator::wyslij(std::uint8_t b) {
  port.SendByte(b);
}

void Programator::wyslij_dane(const std::uint8_t* dane, std::size_t n) {
  port.WriteData(dane, static_cast<std::int32_t>(n));
}

void Programator::porzuc() {
  if (przerwane()) throw PorzucenieOperacji(Przerwanie::sygnal);
  if (!port.IsOpen()) throw PorzucenieOperacji(Przerwanie::urzadzenie);
  throw PorzucenieOperacji(Przerwanie::brak_odpowiedzi);
}

void Programator::oproznij_wejscie() {
  const std::uint32_t poczatek = teraz();
  std::uint8_t b = 0;
  while (port.ReadByte(b)) {
    // A line that never falls silent is no programmer we can talk to.
    if (teraz() - poczatek > limit_odpowiedzi_ms || przerwane()) porzuc();
  }
}

std::uint8_t Programator::czekaj_na_bajt() {
  const std::uint32_t poczatek = teraz();
  for (;;) {
    if (!port.IsOpen() || przerwane()) porzuc();
    std::uint8_t b = 0;
    if (port.ReadByte(b)) {
      ostatni_bajt_ = b;
      return b;
    }
    if (teraz() - poczatek > limit_odpowiedzi_ms) porzuc();
  }
}

std::uint8_t Programator::czekaj_dluzej(std::uint32_t dodatkowe_ms) {
  const std::uint32_t zwykly = limit_odpowiedzi_ms;
  limit_odpowiedzi_ms = zwykly + dodatkowe_ms;
  try {
    const std::uint8_t b = czekaj_na_bajt();
    limit_odpowiedzi_ms = zwykly;
    return b;
  } catch (...) {
    limit_odpowiedzi_ms = zwykly;
    throw;
  }
}

std::uint8_t Programator::czekaj_ograniczone(std::uint8_t poprzedni) {
  std::uint8_t b = poprzedni;
  sprobuj_ograniczone(b);
  return b;
}

bool Programator::sprobuj_ograniczone(std::uint8_t& wynik) {
  for (int i = 0; i < kProbyOgraniczone; ++i) {
    if (przerwane()) porzuc();
    std::uint8_t b = 0;
    if (port.ReadByte(b)) {
      ostatni_bajt_ = b;
      wynik = b;
      return true;
    }
  }
  return false;
}

std::uint8_t Programator::pojedyncza_proba(std::uint8_t domyslny) {
  std::uint8_t b = domyslny;
  if (port.ReadByte(b)) ostatni_bajt_ = b;
  return b;
}

bool Programator::testuj_port(int n) {
  if (n >= 1 && n <= 4) port.setComPort(static_cast<TComPortNumber>(pnCOM1 + (n - 1)));
  std::string bufor;
  if (!port.Open()) {
    const std::string nazwa = port.DeviceName().empty()
                                  ? "com" + std::to_string(static_cast<int>(port.ComPort()) + 1)
                                  : port.DeviceName();
    nieotwarte.push_back({nazwa, port.OpenError()});
  }
  port.SendByte(kS);
  const std::uint32_t poczatek = teraz();
  std::uint8_t b = 0;
  while (port.ReadByte(b)) {
    if (bufor.size() < kDlugoscOdpowiedziS) bufor.push_back(static_cast<char>(b));
    // A port that chatters without end is judged by what it said first.
    if (teraz() - poczatek > limit_odpowiedzi_ms) break;
  }
  port.Close();
  return bufor == kOdpowiedzS;
}

void Programator::sprawdz() {
  szukaj(1, 4);
}

bool Programator::przerwane() const {
  return przerwanie != nullptr && *przerwanie != 0;
}

void Programator::sprawdz_port(int n) {
  szukaj(n, n);
}

void Programator::sprawdz_urzadzenie(const std::string& sciezka) {
  zacznij_szukanie();
  port.setDeviceName(sciezka);
  // A number outside 1..4 probes the port as it is set: here, the device by its path.
  const bool jest = testuj_port(0);
  if (jest) {
    status.Label1 = przytnij("Znaleziono programator na " + sciezka, 255);
    status.Button1 = true;
    widok.status_zmieniony(false);
  }
  zakoncz_szukanie(jest);
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
  port.setComPortSpeed(predkosc);
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
    return;
  }
  port.Open();
}

void Programator::szukaj(int pierwszy, int ostatni) {
  zacznij_szukanie();
  // The ports by number: a device path of an earlier search must not stand in for them.
  port.setDeviceName({});
  int znaleziony = 0;
  for (int n = pierwszy; n <= ostatni; ++n) {
    if (n < 1 || n > kNajwyzszyPort) continue;
    port.setComPort(static_cast<TComPortNumber>(pnCOM1 + (n - 1)));
    if (testuj_port(n)) {
      status.Label1 = "Znaleziono programator na com" + std::to_string(n);
      status.Button1 = true;
      znaleziony = n;
      widok.status_zmieniony(false);
    }
  }
  znaleziony_port = znaleziony;
  if (znaleziony != 0) port.setComPort(static_cast<TComPortNumber>(pnCOM1 + (znaleziony - 1)));
  zakoncz_szukanie(znaleziony != 0);
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

std::string tekst_zlej_odpowiedzi(std::uint8_t polecenie, std::uint8_t odpowiedz) {
  const std::string p(1, static_cast<char>(polecenie));
  // Only the other type refuses the list of parts.
  if (polecenie == 't' && odpowiedz == '?')
    return std::string(kOdpowiadaJak) + nazwa_typu(TypProgramatora::ostrel) +
           ": zmień typ programatora";
  if (odpowiedz == '?') return "Programator odrzucił polecenie '" + p + "'";
  char b[8];
  std::snprintf(b, sizeof b, "0x%02X", odpowiedz);
  return "Programator odpowiedział na polecenie '" + p + "' bajtem " + b + " zamiast potwierdzenia";
}

bool Programator::nadmiar() {
  std::uint8_t b = 0;
  return port.ReadByte(b);
}

std::string tekst_odlaczenia(const std::string& port) {
  return "Port " + port + " jest niedostępny (urządzenie odłączone?)";
}

std::string Programator::opis_portu() const {
  if (!port.DeviceName().empty()) return port.DeviceName();
  const std::string n = "com" + std::to_string(static_cast<int>(port.ComPort()) + 1);
  return port.OpenedDevice().empty() ? n : n + " (" + port.OpenedDevice() + ")";
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
