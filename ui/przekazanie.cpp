#include "ui/przekazanie.h"

#include <QCoreApplication>
#include <memory>

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* adres);
extern "C" void __tsan_release(void* adres);
#endif

namespace ostrel {

namespace {
const QEvent::Type kZdarzenie = static_cast<QEvent::Type>(QEvent::registerEventType());
}  // namespace

void Przekazanie::wyslij(std::function<void()> f) {
  {
    const std::lock_guard<std::mutex> blokada(mutex_);
    kolejka_.push_back(std::move(f));
  }
  auto zdarzenie = std::make_unique<QEvent>(kZdarzenie);
#if defined(__SANITIZE_THREAD__)
  // The event is made here and freed by Qt on the window thread, after event().
  __tsan_release(&kanal_);
#endif
  QCoreApplication::postEvent(this, zdarzenie.release());
}

bool Przekazanie::event(QEvent* e) {
#if defined(__SANITIZE_THREAD__)
  // Before the event is touched at all: it may be one made on the worker.
  __tsan_acquire(&kanal_);
#endif
  if (e->type() != kZdarzenie) return QObject::event(e);
  std::vector<std::function<void()>> wywolania;
  {
    const std::lock_guard<std::mutex> blokada(mutex_);
    wywolania.swap(kolejka_);
  }
  for (auto& f : wywolania) f();
  return true;
}

}  // namespace ostrel
