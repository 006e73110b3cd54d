#pragma once

// A thread of one's own with the mutex and condition variable its body waits
// on, and the stop that ends it: what every background helper of the search
// (decode-ahead, progress, watchdog, the window's scan) would otherwise write
// again, with the same chances of a lost wake-up or a missing join.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

namespace orvalis {

class StoppableThread {
 public:
  StoppableThread() = default;
  ~StoppableThread() { stop(); }
  StoppableThread(const StoppableThread&) = delete;
  StoppableThread& operator=(const StoppableThread&) = delete;

  // Runs body on the thread. Call it last, once everything body reads exists.
  template <typename Body>
  void start(Body&& body) {
    thread_ = std::thread(std::forward<Body>(body));
  }

  // Asks the body to return, wakes it and waits for it; once is enough.
  void stop() {
    if (!thread_.joinable()) return;
    change([this] { stopping_ = true; });
    thread_.join();
  }

  // What the body and its owner share is guarded by this mutex.
  std::mutex& mutex() { return mutex_; }

  // Changes what is shared under the mutex, then wakes the body, so that no
  // wake-up is lost.
  template <typename Change>
  void change(Change&& changeShared) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      changeShared();
    }
    wake_.notify_all();
  }

  // In the body, holding lock on mutex(): waits until ready() holds; false,
  // at once, when a stop was asked for.
  template <typename Ready>
  bool waitUntil(std::unique_lock<std::mutex>& lock, Ready ready) {
    wake_.wait(lock, [&] { return stopping_ || ready(); });
    return !stopping_;
  }

  // In the body, holding lock on mutex(): true when a stop is asked for
  // within limit.
  template <typename Rep, typename Period>
  bool stopWithin(std::unique_lock<std::mutex>& lock, std::chrono::duration<Rep, Period> limit) {
    return wake_.wait_for(lock, limit, [this] { return stopping_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace orvalis
