// A polling timer driven by hand: the owner's loop calls pompuj() and the tick runs on
// that thread whenever a period has passed. The CLI and the tests use it where the GUI
// uses a Qt timer.
#pragma once

#include <cstdint>
#include <functional>

#include "serial/platforma.h"

namespace ostrel {

class TimerReczny : public TimerPollingu {
 public:
  // `zegar` gives milliseconds (modulo 2^32); by default a monotonic clock.
  explicit TimerReczny(std::function<std::uint32_t()> zegar = {});

  void start(std::uint16_t okres_ms) override;
  void stop() override;

  // Runs the tick once when a whole period has passed since the last tick (or the
  // start); returns whether it ran. Periods missed meanwhile are not made up.
  bool pompuj();
  // Milliseconds until the next tick is due (0 when due now); -1 when stopped.
  std::int64_t do_nastepnego() const;
  // Pumps for `ms` milliseconds of `zegar`, sleeping between ticks; returns the ticks
  // run. Only for a clock that moves by itself.
  int pompuj_przez(std::uint32_t ms);

  bool aktywny() const { return aktywny_; }
  std::uint16_t okres() const { return okres_; }
  int liczba_startow() const { return starty_; }

 private:
  std::function<std::uint32_t()> zegar_;
  bool aktywny_ = false;
  std::uint16_t okres_ = 0;
  std::uint32_t ostatni_ = 0;
  int starty_ = 0;
};

}  // namespace ostrel
