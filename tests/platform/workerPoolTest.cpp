#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/workerPool.h"
#include "tests/support/childProcess.h"
#include "tests/support/testSupport.h"

namespace orvalis {
namespace {

TEST(WorkerPool, EveryLaneRunsOnceAndRunReturnsAfterAll) {
  WorkerPool pool(3);
  ASSERT_EQ(pool.lanes(), 3u);
  const std::thread::id caller = std::this_thread::get_id();
  for (int round = 0; round < 500; ++round) {
    std::atomic<int> calls[3] = {};
    std::atomic<bool> laneZeroOnCaller{false};
    auto job = [&](unsigned lane) {
      if (lane == 0) laneZeroOnCaller = std::this_thread::get_id() == caller;
      calls[lane].fetch_add(1);
    };
    pool.run(job);
    ASSERT_TRUE(laneZeroOnCaller) << "round " << round;
    for (int lane = 0; lane < 3; ++lane) ASSERT_EQ(calls[lane].load(), 1) << "round " << round;
  }
}

TEST(WorkerPool, LaneCountIsClamped) {
  EXPECT_EQ(WorkerPool(0).lanes(), 1u);
  EXPECT_EQ(WorkerPool(1000).lanes(), WorkerPool::kMaxLanes);
  int calls = 0;
  WorkerPool single(1);
  auto job = [&](unsigned) { ++calls; };
  single.run(job);
  EXPECT_EQ(calls, 1);
}

TEST(WorkerPool, AForkedChildRunsEveryLaneItself) {
  // The pool exists before the fork; its threads don't in the child.
  WorkerPool pool(hardwareLanes() < 2 ? 2 : hardwareLanes());
  auto warm = [](unsigned) {};
  pool.run(warm);
  testing::TempDir folder;
  const testing::ChildResult result = testing::runInChild(
      folder.path(),
      [&] {
        std::vector<int> calls(pool.lanes(), 0);
        auto job = [&](unsigned lane) { ++calls[lane]; };
        pool.run(job);
        for (const int count : calls) {
          if (count != 1) std::exit(3);
        }
      },
      std::chrono::seconds(10));
  EXPECT_TRUE(result.exited) << "the child hung";
  EXPECT_EQ(result.exitCode, 0);
}

}  // namespace
}  // namespace orvalis
