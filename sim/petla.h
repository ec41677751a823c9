// The simulator's event loop: moves bytes between the pty and the command interpreter,
// applies the timing model and injects the requested faults.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "sim/automat.h"
#include "sim/dziennik.h"
#include "sim/opcje.h"
#include "sim/terminal.h"

namespace ostrel::sim {

class Petla {
 public:
  // `przerwanie` is the read end of the pipe the signal handler writes to.
  Petla(const Opcje& opcje, Model& automat, Terminal& terminal, Dziennik& dziennik, int przerwanie);
  // Runs until the pipe becomes readable.
  void uruchom();

 private:
  struct Wejscie {
    std::int64_t czas;  // when its last bit has arrived (ns, monotonic clock)
    std::uint8_t bajt;
  };
  struct Wyjscie {
    std::int64_t czas;  // not before this moment (ns, monotonic clock)
    int bajt;           // the byte, or kRozlaczenie
  };
  static constexpr int kRozlaczenie = -1;

  std::int64_t teraz() const;
  double ms(std::int64_t czas) const;
  void czytaj(std::int64_t teraz);
  // Handles everything due at `teraz`; returns the next deadline or -1 for none.
  std::int64_t przetworz(std::int64_t teraz);
  void polecenie(std::int64_t czas, const Odpowiedz& odp);
  bool wyslij(std::int64_t teraz);  // false when the pty cannot take more now
  void rozlacz(std::int64_t teraz);

  const Opcje& opcje_;
  Model& automat_;
  Terminal& terminal_;
  Dziennik& dziennik_;
  int przerwanie_;
  std::int64_t start_;
  std::int64_t znak_ns_ = 0;        // one 10-bit character at --baud; 0 = no pacing
  std::int64_t wejscie_wolne_ = 0;  // when the host->sim line is free again
  std::int64_t wyjscie_wolne_ = 0;  // when the sim->host line is free again
  std::deque<Wejscie> wejscie_;
  std::deque<Wyjscie> wyjscie_;
  bool czeka_na_zapis_ = false;  // the pty is full: wait until it can take bytes
  bool rozlaczenie_zaplanowane_ = false;
  std::optional<std::int64_t> termin_rozlaczenia_;  // hang up by then even if unread
  std::int64_t ostatni_zapis_ = 0;                  // when bytes last went to the pty
  std::uint64_t polecenia_ = 0;                     // complete commands received
  std::uint64_t odpowiedzi_ = 0;                    // answers sent (counted for --garbage-every)
  std::vector<std::uint8_t> bufor_;
  // The firmware's busy time (avr910): until `zajety_do_` it takes no byte; the first
  // that arrives meanwhile waits in its one-byte receive buffer, any further one is lost.
  std::int64_t zajety_do_ = 0;
  std::optional<Wejscie> trzymany_;
};

// The unrequested byte of --garbage-every: neither an acknowledgement (CR) nor
// anything printable that a host could take for an answer.
inline constexpr std::uint8_t kBajtSmieci = 0xA5;

}  // namespace ostrel::sim
