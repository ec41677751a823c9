// Calls handed from another thread (the worker) to the window thread, run there in the
// order sent. The calls wait in a queue under a mutex; the window thread learns of them
// through an event that carries nothing, so every byte they carry is ordered by the
// mutex, which a thread checker sees (Qt's own event queue it does not).
#pragma once

#include <QEvent>
#include <QObject>
#include <functional>
#include <mutex>
#include <vector>

namespace ostrel {

class Przekazanie : public QObject {
 public:
  // Any thread; `f` runs on the thread this object lives on.
  void wyslij(std::function<void()> f);

 protected:
  bool event(QEvent* e) override;

 private:
  std::mutex mutex_;
  std::vector<std::function<void()>> kolejka_;
  char kanal_ = 0;  // the address the thread checker is told the event is ordered by
};

}  // namespace ostrel
