// The serial component's polling tick on the window thread: a periodic QTimer, so the
// tick runs from the message loop between operations like the original's hidden timer.
#pragma once

#include <QTimer>

#include "serial/platforma.h"

namespace ostrel {

class TimerQt : public TimerPollingu {
 public:
  TimerQt() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { tyknij(); });
  }
  void start(std::uint16_t okres_ms) override { timer_.start(okres_ms); }
  void stop() override { timer_.stop(); }
  bool aktywny() const { return timer_.isActive(); }
  int okres() const { return timer_.interval(); }

 private:
  QTimer timer_;
};

}  // namespace ostrel
