#include "platform/workerPool.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>

namespace orvalis {

namespace {

// A child made by fork() has the calling thread only: the pool's threads
// stayed behind in the parent, so the child runs every lane itself.
std::atomic<bool> forkedChild{false};

void noteForkedChild() {
  forkedChild.store(true);
}

}  // namespace

WorkerPool::WorkerPool(unsigned lanes) : lanes_(std::clamp(lanes, 1u, kMaxLanes)) {
  static const bool watching = pthread_atfork(nullptr, nullptr, noteForkedChild) == 0;
  (void)watching;
  threads_.reserve(lanes_ - 1);
  for (unsigned lane = 1; lane < lanes_; ++lane) threads_.emplace_back([this, lane] { workerLoop(lane); });
}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void WorkerPool::runErased(void* context, Trampoline trampoline) {
  if (forkedChild.load()) {
    for (unsigned lane = 0; lane < lanes_; ++lane) trampoline(context, lane);
    return;
  }
  std::lock_guard<std::mutex> runLock(runMutex_);
  if (lanes_ > 1) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      context_ = context;
      trampoline_ = trampoline;
      pending_ = lanes_ - 1;
      ++generation_;
    }
    wake_.notify_all();
  }
  trampoline(context, 0);
  if (lanes_ > 1) {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return pending_ == 0; });
  }
}

void WorkerPool::workerLoop(unsigned lane) {
  std::uint64_t seen = 0;
  for (;;) {
    void* context = nullptr;
    Trampoline trampoline = nullptr;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
      if (stopping_) return;
      seen = generation_;
      context = context_;
      trampoline = trampoline_;
    }
    trampoline(context, lane);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (--pending_ == 0) done_.notify_one();
    }
  }
}

unsigned hardwareLanes() {
  return std::max(1u, std::thread::hardware_concurrency());
}

}  // namespace orvalis
