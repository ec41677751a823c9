#include "serial/platforma_testowa.h"

#include <algorithm>
#include <cstring>

namespace ostrel {

void PlatformaTestowa::dodaj_wejscie(std::uint32_t czas, const std::vector<std::uint8_t>& bajty) {
  for (std::uint8_t b : bajty) w_drodze.emplace_back(czas, b);
}

void PlatformaTestowa::wejscie_teraz(const std::vector<std::uint8_t>& bajty) {
  kolejka_we.insert(kolejka_we.end(), bajty.begin(), bajty.end());
}

void PlatformaTestowa::dostarcz() {
  // Arrived when the clock has reached the arrival time, counted modulo 2^32.
  while (!w_drodze.empty() && static_cast<std::int32_t>(zegar - w_drodze.front().first) >= 0) {
    kolejka_we.push_back(w_drodze.front().second);
    w_drodze.pop_front();
  }
}

Uchwyt PlatformaTestowa::otworz(const std::string& nazwa) {
  nazwy_otwarc.push_back(nazwa);
  if (!otwarcie_udane || otwarty_) return kNieprawidlowyUchwyt;
  otwarty_ = true;
  return uchwyt;
}

bool PlatformaTestowa::ustaw_stan(Uchwyt, const BlokDCB& dcb) {
  stany.push_back(dcb);
  return true;
}

bool PlatformaTestowa::ustaw_kolejki(Uchwyt, std::uint32_t we, std::uint32_t wy) {
  kolejki.emplace_back(we, wy);
  return true;
}

bool PlatformaTestowa::ustaw_czasy(Uchwyt, const CzasyPortu& c) {
  czasy.push_back(c);
  return true;
}

bool PlatformaTestowa::oczysc(Uchwyt, std::uint32_t maska) {
  czyszczenia.push_back(maska);
  if (maska & (kPurgeRxAbort | kPurgeRxClear)) kolejka_we.clear();
  if (maska & (kPurgeTxAbort | kPurgeTxClear)) kolejka_wy = 0;
  return true;
}

bool PlatformaTestowa::stan_kolejek(Uchwyt, std::uint32_t& we, std::uint32_t& wy, Czekanie) {
  ++zapytania_kolejek;
  if (przy_zapytaniu) przy_zapytaniu();
  dostarcz();
  // Like the POSIX layer: an empty queue or a failing line costs a wait.
  if (kolejka_we.empty() || krok_zawsze || blad_zapytania) {
    zegar += krok_ms;
    dostarcz();
  }
  we = wy = 0;
  if (blad_zapytania) return false;
  we = static_cast<std::uint32_t>(kolejka_we.size());
  wy = kolejka_wy;
  return true;
}

bool PlatformaTestowa::linie_modemu(Uchwyt, std::uint32_t& bity) {
  bity = modem_ok ? bity_modemu : 0;
  return modem_ok;
}

bool PlatformaTestowa::czytaj(Uchwyt, void* bufor, std::uint32_t n, std::uint32_t& przeczytane) {
  przeczytane = static_cast<std::uint32_t>(std::min<std::size_t>(n, kolejka_we.size()));
  auto* cel = static_cast<std::uint8_t*>(bufor);
  std::copy_n(kolejka_we.begin(), przeczytane, cel);
  kolejka_we.erase(kolejka_we.begin(), kolejka_we.begin() + przeczytane);
  return true;
}

bool PlatformaTestowa::pisz(Uchwyt, const void* dane, std::uint32_t n, std::uint32_t& zapisane) {
  zapisane = std::min(n, limit_zapisu);
  const auto* zrodlo = static_cast<const std::uint8_t*>(dane);
  wyjscie.insert(wyjscie.end(), zrodlo, zrodlo + zapisane);
  return true;
}

bool PlatformaTestowa::zamknij(Uchwyt) {
  ++zamkniecia;
  otwarty_ = false;
  return true;
}

bool PlatformaTestowa::wersja(WersjaSystemu& w) {
  if (!wersja_ok) return false;
  w = wersja_systemu;
  return true;
}

}  // namespace ostrel
