#include "serial/timer_reczny.h"

#include <chrono>
#include <thread>

namespace ostrel {

namespace {

std::uint32_t zegar_monotoniczny() {
  const auto t = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(t).count());
}

}  // namespace

TimerReczny::TimerReczny(std::function<std::uint32_t()> zegar)
    : zegar_(zegar ? std::move(zegar) : zegar_monotoniczny) {}

void TimerReczny::start(std::uint16_t okres_ms) {
  okres_ = okres_ms;
  aktywny_ = true;
  ostatni_ = zegar_();
  ++starty_;
}

void TimerReczny::stop() {
  aktywny_ = false;
}

std::int64_t TimerReczny::do_nastepnego() const {
  if (!aktywny_) return -1;
  const std::uint32_t minelo = zegar_() - ostatni_;
  return minelo >= okres_ ? 0 : static_cast<std::int64_t>(okres_ - minelo);
}

bool TimerReczny::pompuj() {
  if (!aktywny_) return false;
  const std::uint32_t teraz = zegar_();
  if (static_cast<std::uint32_t>(teraz - ostatni_) < okres_) return false;
  ostatni_ = teraz;
  // The tick may stop or restart this timer; that is fine, the state is already saved.
  tyknij();
  return true;
}

int TimerReczny::pompuj_przez(std::uint32_t ms) {
  const std::uint32_t poczatek = zegar_();
  int tyki = 0;
  while (static_cast<std::uint32_t>(zegar_() - poczatek) < ms) {
    if (pompuj()) ++tyki;
    // Signed: the clock may have passed the end since the loop's check, and an unsigned
    // difference would then read as a wait of some 49 days.
    const std::int64_t zostalo =
        static_cast<std::int64_t>(ms) - static_cast<std::uint32_t>(zegar_() - poczatek);
    std::int64_t czekaj = do_nastepnego();
    if (czekaj < 0 || czekaj > zostalo) czekaj = zostalo;
    if (czekaj > 0) std::this_thread::sleep_for(std::chrono::milliseconds(czekaj));
  }
  return tyki;
}

}  // namespace ostrel
