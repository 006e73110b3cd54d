#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace orvalis {

// A fixed set of threads made once, which the window's thread lends a piece of
// work to and waits for: the caller runs lane 0 itself, the pool's threads
// the other lanes, and run() returns when every lane has finished. Nothing is
// allocated per run, so the search path stays free of allocations. One run at
// a time: concurrent callers are served one after the other. In a child made
// by fork() (whose only thread is the one that forked) the caller runs every
// lane itself, one after the other.
class WorkerPool {
 public:
  // lanes is clamped to 1..kMaxLanes; 1 means no threads at all.
  explicit WorkerPool(unsigned lanes);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  static constexpr unsigned kMaxLanes = 64;

  unsigned lanes() const { return lanes_; }

  // Calls job(lane) once for every lane 0 .. lanes() - 1, lane 0 on the
  // calling thread, and returns when all have returned. The job must not
  // throw.
  template <typename Job>
  void run(Job& job) {
    runErased(&job, [](void* context, unsigned lane) { (*static_cast<Job*>(context))(lane); });
  }

 private:
  using Trampoline = void (*)(void*, unsigned);
  void runErased(void* context, Trampoline trampoline);
  void workerLoop(unsigned lane);

  unsigned lanes_;
  std::vector<std::thread> threads_;
  std::mutex runMutex_;  // one run at a time
  std::mutex mutex_;
  std::condition_variable wake_, done_;
  std::uint64_t generation_ = 0;
  unsigned pending_ = 0;
  bool stopping_ = false;
  void* context_ = nullptr;
  Trampoline trampoline_ = nullptr;
};

// One lane per hardware thread, at least one.
unsigned hardwareLanes();

}  // namespace orvalis
