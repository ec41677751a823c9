// The serial component's polling tick on the window thread: a periodic QTimer, so the
// tick runs from the message loop between operations like the original's hidden timer.
// While an operation owns the port on the worker thread the ticks are held back, and
// the component's start and stop calls from that thread reach the timer as queued calls.
#pragma once

#include <QThread>
#include <QTimer>

#include "serial/platforma.h"

namespace ostrel {

class TimerQt : public TimerPollingu {
 public:
  TimerQt() {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (!wstrzymany_) tyknij();
    });
  }
  void start(std::uint16_t okres_ms) override {
    if (w_swoim_watku()) {
      timer_.start(okres_ms);
    } else {
      QMetaObject::invokeMethod(
          &timer_, [this, okres_ms] { timer_.start(okres_ms); }, Qt::QueuedConnection);
    }
  }
  void stop() override {
    if (w_swoim_watku()) {
      timer_.stop();
    } else {
      QMetaObject::invokeMethod(
          &timer_, [this] { timer_.stop(); }, Qt::QueuedConnection);
    }
  }
  bool aktywny() const { return timer_.isActive(); }
  int okres() const { return timer_.interval(); }
  // Window thread only: while held, a tick does nothing (an operation owns the port).
  void wstrzymaj(bool tak) { wstrzymany_ = tak; }
  bool wstrzymany() const { return wstrzymany_; }

 private:
  bool w_swoim_watku() const { return QThread::currentThread() == timer_.thread(); }

  QTimer timer_;
  bool wstrzymany_ = false;
};

}  // namespace ostrel
