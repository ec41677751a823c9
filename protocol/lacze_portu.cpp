// The waiting primitives over the serial component.
#include "protocol/lacze_portu.h"

namespace ostrel {

namespace {

constexpr int kProbyOgraniczone = 33;  // a first read and up to 32 repeats

}  // namespace

std::uint32_t LaczePortu::teraz() {
  return port.Platforma().licznik_ms();
}

void LaczePortu::wyslij(std::uint8_t b) {
  cisza = false;
  port.SendByte(b);
}

void LaczePortu::wyslij_dane(const std::uint8_t* dane, std::size_t n) {
  cisza = false;
  port.WriteData(dane, static_cast<std::int32_t>(n));
}

bool LaczePortu::przerwane() const {
  return przerwanie != nullptr && *przerwanie != 0;
}

void LaczePortu::porzuc() {
  if (przerwane()) throw PorzucenieOperacji(Przerwanie::sygnal);
  if (!port.IsOpen()) throw PorzucenieOperacji(Przerwanie::urzadzenie);
  throw PorzucenieOperacji(Przerwanie::brak_odpowiedzi);
}

void LaczePortu::oproznij_wejscie() {
  std::uint8_t b = 0;
  if (cisza) {
    cisza = false;
    for (std::int32_t n = port.InputCount(); n > 0; --n) port.ReadByte(b);
    return;
  }
  const std::uint32_t poczatek = teraz();
  while (port.ReadByte(b)) {
    // A line that never falls silent is no programmer we can talk to.
    if (teraz() - poczatek > limit_odpowiedzi_ms || przerwane()) porzuc();
  }
}

std::uint8_t LaczePortu::czekaj_na_bajt() {
  const std::uint32_t poczatek = teraz();
  for (;;) {
    if (!port.IsOpen() || przerwane()) porzuc();
    std::uint8_t b = 0;
    if (port.ReadByte(b)) return b;
    if (teraz() - poczatek > limit_odpowiedzi_ms) porzuc();
  }
}

std::uint8_t LaczePortu::czekaj_dluzej(std::uint32_t dodatkowe_ms) {
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

std::uint8_t LaczePortu::czekaj_ograniczone(std::uint8_t poprzedni) {
  std::uint8_t b = poprzedni;
  sprobuj_ograniczone(b);
  return b;
}

bool LaczePortu::sprobuj_ograniczone(std::uint8_t& wynik) {
  for (int i = 0; i < kProbyOgraniczone; ++i) {
    if (przerwane()) porzuc();
    std::uint8_t b = 0;
    if (port.ReadByte(b)) {
      wynik = b;
      return true;
    }
  }
  return false;
}

std::uint8_t LaczePortu::pojedyncza_proba(std::uint8_t domyslny) {
  std::uint8_t b = domyslny;
  port.ReadByte(b);
  return b;
}

bool LaczePortu::nadmiar() {
  std::uint8_t b = 0;
  return port.ReadByte(b);
}

std::string LaczePortu::opis_portu() const {
  if (!port.DeviceName().empty()) return port.DeviceName();
  const std::string n = "com" + std::to_string(static_cast<int>(port.ComPort()) + 1);
  return port.OpenedDevice().empty() ? n : n + " (" + port.OpenedDevice() + ")";
}

void ustaw_CommPortDriver1(TCommPortDriver& port) {
  port.setComPort(pnCOM3);
  port.setComPortSpeed(br19200);
  port.setInputTimeout(50);
}

std::string tekst_odlaczenia(const std::string& port) {
  return "Port " + port + " jest niedostępny (urządzenie odłączone?)";
}

}  // namespace ostrel
