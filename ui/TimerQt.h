// The serial component's polling tick on the window thread: a periodic QTimer, so the
// tick runs from the message loop between operations like the original's hidden timer.
// While an operation owns the port on the worker thread the ticks are held back, and
// the component's start and stop calls from that thread reach the timer as queued calls.
#pragma once

#include <QThread>
#include <QTimer>

#include "serial/platforma.h"
#include "ui/przekazanie.h"

namespace ostrel {

class TimerQt : public TimerPollingu {
 public:
  TimerQt() {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      ++tyki_;
      tyknij();
    });
  }
  void start(std::uint16_t okres_ms) override {
    wykonaj([this, okres_ms] {
      okres_ = okres_ms;
      wlaczony_ = true;
      if (!wstrzymany_) timer_.start(okres_);
    });
  }
  void stop() override {
    wykonaj([this] {
      wlaczony_ = false;
      timer_.stop();
    });
  }
  // Started by the component (the port is open), whether or not held back just now.
  bool aktywny() const { return wlaczony_; }
  int okres() const { return okres_; }
  // Window thread only: while held, the timer does not run (an operation owns the port);
  // released, it runs again if the component has it started.
  void wstrzymaj(bool tak) {
    wstrzymany_ = tak;
    if (tak) {
      timer_.stop();
    } else if (wlaczony_) {
      timer_.start(okres_);
    }
  }
  bool wstrzymany() const { return wstrzymany_; }
  // Ticks run so far (window thread): the line has been drained when this moved on.
  std::uint64_t tyki() const { return tyki_; }

 private:
  // On the timer's own thread at once; from the worker as a queued call, in order.
  template <class F>
  void wykonaj(F f) {
    if (QThread::currentThread() == timer_.thread()) {
      f();
    } else {
      poczta_.wyslij(f);
    }
  }

  QTimer timer_;
  Przekazanie poczta_;
  int okres_ = 0;
  bool wlaczony_ = false;
  bool wstrzymany_ = false;
  std::uint64_t tyki_ = 0;
};

}  // namespace ostrel
