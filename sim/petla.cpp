#include "sim/petla.h"

#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>

namespace ostrel::sim {

namespace {

constexpr std::int64_t kNs = 1'000'000'000;

std::int64_t na_ns(double ms) {
  return static_cast<std::int64_t>(ms * 1e6 + 0.5);
}

}  // namespace

Petla::Petla(const Opcje& opcje, Model& automat, Terminal& terminal, Dziennik& dziennik,
             int przerwanie)
    : opcje_(opcje),
      automat_(automat),
      terminal_(terminal),
      dziennik_(dziennik),
      przerwanie_(przerwanie),
      start_(teraz()) {
  if (opcje_.baud > 0) znak_ns_ = 10 * kNs / opcje_.baud;
  // Paced bytes leave on their nanosecond; the default 50 us slack would blur that.
  if (znak_ns_ > 0 || opcje_.opoznienie_ms > 0 || opcje_.zapis_ms > 0 ||
      (opcje_.programator.oprogramowanie == Oprogramowanie::avr910 && opcje_.skala_zajetosci > 0)) {
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
  }
}

std::int64_t Petla::teraz() const {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<std::int64_t>(t.tv_sec) * kNs + t.tv_nsec;
}

double Petla::ms(std::int64_t czas) const {
  return static_cast<double>(czas - start_) / 1e6;
}

void Petla::uruchom() {
  if (opcje_.rozlacza_po && *opcje_.rozlacza_po == 0) rozlacz(teraz());
  for (;;) {
    const std::int64_t nastepny = przetworz(teraz());
    const std::int64_t t = teraz();
    if (nastepny < 0 || nastepny > t) dziennik_.oproznij();

    pollfd fds[3] = {};
    nfds_t n = 0;
    fds[n++] = {przerwanie_, POLLIN, 0};
    const int indeks_powiadomien = terminal_.powiadomienia() >= 0 ? static_cast<int>(n) : -1;
    if (indeks_powiadomien >= 0) fds[n++] = {terminal_.powiadomienia(), POLLIN, 0};
    int indeks_mastera = -1;
    if (!terminal_.rozlaczony()) {
      indeks_mastera = static_cast<int>(n);
      fds[n++] = {terminal_.master(), static_cast<short>(POLLIN | (czeka_na_zapis_ ? POLLOUT : 0)),
                  0};
    }
    timespec limit{};
    timespec* wsk_limit = nullptr;
    if (nastepny >= 0) {
      const std::int64_t d = std::max<std::int64_t>(0, nastepny - t);
      limit.tv_sec = static_cast<time_t>(d / kNs);
      limit.tv_nsec = static_cast<long>(d % kNs);
      wsk_limit = &limit;
    }
    const int r = ::ppoll(fds, n, wsk_limit, nullptr);
    if (r < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[0].revents != 0) return;
    const std::int64_t po = teraz();
    bool przeczytane = false;
    if (indeks_mastera >= 0) {
      const short re = fds[indeks_mastera].revents;
      if (re & POLLOUT) czeka_na_zapis_ = false;
      if (re & (POLLIN | POLLHUP | POLLERR)) {
        czytaj(po);
        przeczytane = true;
      }
    }
    // Open/close notices after the bytes: the host's open is queued before anything it
    // writes, so every open that precedes the bytes just read is counted before they
    // are answered (an answer while nobody holds the port is lost).
    if (przeczytane || (indeks_powiadomien >= 0 && fds[indeks_powiadomien].revents != 0)) {
      const auto zmiana = terminal_.obsluz_powiadomienia();
      if (zmiana.zamkniety) {
        automat_.przerwij();
        dziennik_.zdarzenie(ms(po), "host closed the port");
      }
      if (zmiana.otwarty) dziennik_.zdarzenie(ms(po), "host opened the port");
    }
  }
}

void Petla::czytaj(std::int64_t t) {
  std::uint8_t bufor[4096];
  for (;;) {
    const ssize_t n = ::read(terminal_.master(), bufor, sizeof bufor);
    if (n <= 0) {
      // Without any host the master reports a hang-up; we hold the slave open, so this
      // only happens on a broken pty. Wait a little rather than spin on it.
      if (n < 0 && errno == EIO) ::usleep(10000);
      return;
    }
    for (ssize_t i = 0; i < n; ++i) {
      std::int64_t czas = t;
      if (znak_ns_ > 0) {
        // 8N1 at the given rate: each character takes ten bit times after the previous.
        czas = std::max(t, wejscie_wolne_) + znak_ns_;
        wejscie_wolne_ = czas;
      }
      wejscie_.push_back({czas, bufor[i]});
    }
    if (static_cast<std::size_t>(n) < sizeof bufor) return;
  }
}

std::int64_t Petla::przetworz(std::int64_t t) {
  for (;;) {
    // The byte waiting in the receive buffer is taken as soon as the firmware is free,
    // before any byte that arrives later.
    const bool trzym =
        trzymany_ && zajety_do_ <= t && (wejscie_.empty() || zajety_do_ <= wejscie_.front().czas);
    const bool we = !trzym && !wejscie_.empty() && wejscie_.front().czas <= t;
    const bool wy = !wyjscie_.empty() && wyjscie_.front().czas <= t && !czeka_na_zapis_;
    const std::int64_t kiedy = trzym ? zajety_do_ : we ? wejscie_.front().czas : 0;
    if ((trzym || we) && (!wy || kiedy <= wyjscie_.front().czas)) {
      Wejscie w{};
      if (trzym) {
        w = {zajety_do_, trzymany_->bajt};
        trzymany_.reset();
      } else {
        w = wejscie_.front();
        wejscie_.pop_front();
        dziennik_.bajt(ms(w.czas), '<', w.bajt);
        if (w.czas < zajety_do_) {
          if (trzymany_) {
            char opis[96];
            std::snprintf(opis, sizeof opis,
                          "lost byte %02X: arrived while busy with the receive buffer full",
                          w.bajt);
            dziennik_.zdarzenie(ms(w.czas), opis);
          } else {
            trzymany_ = w;
          }
          continue;
        }
      }
      Odpowiedz odp;
      if (automat_.przyjmij(w.bajt, odp)) polecenie(w.czas, odp);
      continue;
    }
    if (wy) {
      if (!wyslij(t)) break;
      continue;
    }
    break;
  }
  std::int64_t nastepny = -1;
  if (!wejscie_.empty()) nastepny = wejscie_.front().czas;
  if (trzymany_ && (nastepny < 0 || zajety_do_ < nastepny)) nastepny = zajety_do_;
  // While the pty is full the answers wait for POLLOUT, not for their time.
  if (!wyjscie_.empty() && !czeka_na_zapis_ && (nastepny < 0 || wyjscie_.front().czas < nastepny)) {
    nastepny = wyjscie_.front().czas;
  }
  return nastepny;
}

void Petla::polecenie(std::int64_t czas, const Odpowiedz& odp) {
  ++polecenia_;
  if (rozlaczenie_zaplanowane_ || terminal_.rozlaczony()) return;
  const bool milczy =
      opcje_.milczy || (opcje_.milknie_po && polecenia_ > *opcje_.milknie_po) ||
      opcje_.bez_odpowiedzi.find(static_cast<char>(odp.polecenie)) != std::string::npos;
  for (const std::string& z : odp.zdarzenia) dziennik_.zdarzenie(ms(czas), z.c_str());
  const auto skalowane = [this](double m) { return na_ns(m * opcje_.skala_zajetosci); };
  const bool po_bajcie = !odp.gotowosc_ms.empty();
  std::int64_t t = czas;
  if (odp.zajetosc_ms > 0) {
    zajety_do_ = czas + skalowane(odp.zajetosc_ms);
    if (!po_bajcie) t = zajety_do_;
  }
  if (!milczy && !odp.bajty.empty()) {
    std::vector<std::uint8_t> bajty;
    ++odpowiedzi_;
    if (opcje_.smieci_co > 0 && odpowiedzi_ % opcje_.smieci_co == 0) bajty.push_back(kBajtSmieci);
    const std::size_t poczatek = bajty.size();
    bajty.insert(bajty.end(), odp.bajty.begin(), odp.bajty.end());
    // The pause sits between the third and the fourth character of the identification.
    std::size_t przerwa = bajty.size();
    if (odp.identyfikacja && opcje_.przerwa_identyfikacji_ms > 0 && odp.bajty.size() > 1) {
      przerwa = poczatek + std::min<std::size_t>(3, odp.bajty.size() - 1);
    }
    t += na_ns(opcje_.opoznienie_ms);
    if (odp.zapis_pamieci) t += na_ns(opcje_.zapis_ms);
    for (std::size_t i = 0; i < bajty.size(); ++i) {
      if (i == przerwa) t += na_ns(opcje_.przerwa_identyfikacji_ms);
      // A byte the firmware produces while it works (a block read) leaves when it is ready.
      if (po_bajcie && i >= poczatek && i - poczatek < odp.gotowosc_ms.size()) {
        t = std::max(t,
                     czas + skalowane(odp.gotowosc_ms[i - poczatek]) + na_ns(opcje_.opoznienie_ms));
      }
      if (znak_ns_ > 0) {
        // The answer cannot start before the command's last character has arrived
        // (t >= czas) nor overtake the answer still on the line.
        t = std::max(t, wyjscie_wolne_) + znak_ns_;
        wyjscie_wolne_ = t;
      }
      wyjscie_.push_back({t, bajty[i]});
    }
  }
  if (opcje_.rozlacza_po && polecenia_ >= *opcje_.rozlacza_po) {
    wyjscie_.push_back({t, kRozlaczenie});
    rozlaczenie_zaplanowane_ = true;
  }
}

bool Petla::wyslij(std::int64_t t) {
  bufor_.clear();
  std::size_t ile = 0;
  // Paced bytes go one at a time; unpaced ones in as few writes as possible.
  const std::size_t najwiecej = znak_ns_ > 0 ? 1 : wyjscie_.size();
  while (ile < najwiecej && wyjscie_[ile].czas <= t && wyjscie_[ile].bajt >= 0) {
    bufor_.push_back(static_cast<std::uint8_t>(wyjscie_[ile].bajt));
    ++ile;
  }
  if (ile == 0) {
    // Closing the master throws away what the host has not read yet; an adapter pulled
    // out after its last answer would have delivered it. Give the host a moment (at
    // most a second) to take it, then hang up.
    if (!termin_rozlaczenia_) termin_rozlaczenia_ = t + kNs;
    if (t < *termin_rozlaczenia_ &&
        (terminal_.nieodebrane() > 0 || t < ostatni_zapis_ + 20'000'000)) {
      wyjscie_.front().czas = t + 2'000'000;
      return true;
    }
    rozlacz(t);
    return true;
  }
  // With nobody holding the port the bytes go out on the line and are lost, as on a
  // real port; the log still shows them.
  std::size_t wyslane = ile;
  if (terminal_.host_obecny()) {
    const ssize_t n = ::write(terminal_.master(), bufor_.data(), bufor_.size());
    if (n < 0) {
      if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        wyjscie_.erase(wyjscie_.begin(), wyjscie_.begin() + static_cast<std::ptrdiff_t>(ile));
        return true;
      }
      wyslane = 0;
    } else {
      wyslane = static_cast<std::size_t>(n);
    }
  }
  if (wyslane > 0) ostatni_zapis_ = t;
  // A paced byte is logged at its moment on the modelled line (it leaves the pty a few
  // microseconds later, without pushing the following ones back); an unpaced one when
  // it went out.
  for (std::size_t i = 0; i < wyslane; ++i) {
    dziennik_.bajt(ms(znak_ns_ > 0 ? wyjscie_[i].czas : t), '>', bufor_[i]);
  }
  wyjscie_.erase(wyjscie_.begin(), wyjscie_.begin() + static_cast<std::ptrdiff_t>(wyslane));
  if (wyslane < ile) {
    czeka_na_zapis_ = true;
    return false;
  }
  return true;
}

void Petla::rozlacz(std::int64_t t) {
  terminal_.rozlacz();
  wejscie_.clear();
  wyjscie_.clear();
  trzymany_.reset();
  czeka_na_zapis_ = false;
  rozlaczenie_zaplanowane_ = true;
  dziennik_.zdarzenie(ms(t), "hangup: pty closed");
}

}  // namespace ostrel::sim
