#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <numeric>
#include <random>
#include <thread>
#include <vector>

#include "platform/atomicMinimum.h"
#include "platform/workerPool.h"
#include "tests/support/childProcess.h"
#include "tests/support/testSupport.h"

namespace orvalis {
namespace {

// Lanes released together lower one value at the same instant, round after
// round: whatever the interleaving, the lowest candidate stays. A load then
// store in place of the compare-and-swap loses it within a few rounds.
TEST(LowerTo, TheLowestOfLanesRacingStays) {
  WorkerPool pool(std::max(2u, std::min(8u, std::thread::hardware_concurrency())));
  std::vector<std::uint64_t> keys(pool.lanes());
  std::iota(keys.begin(), keys.end(), 100);
  std::mt19937 shuffle(7);
  std::atomic<std::uint64_t> value;
  std::atomic<unsigned> arrived;
  for (int round = 0; round < 20000; ++round) {
    std::shuffle(keys.begin(), keys.end(), shuffle);
    value = std::numeric_limits<std::uint64_t>::max();
    arrived = 0;
    auto race = [&](unsigned lane) {
      arrived.fetch_add(1);
      while (arrived.load() < keys.size()) std::this_thread::yield();
      lowerTo(value, keys[lane]);
    };
    pool.run(race);
    ASSERT_EQ(value.load(), 100u) << "round " << round;
  }
}

TEST(WorkerPool, EveryLaneRunsOnceAndRunReturnsAfterAll) {
  EXPECT_EQ(WorkerPool(0).lanes(), 1u);
  WorkerPool pool(3);
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

TEST(WorkerPool, AForkedChildRunsEveryLaneItself) {
  // The pool's threads stay behind in the parent.
  WorkerPool pool(4);
  auto warm = [](unsigned) {};
  pool.run(warm);
  testing::TempDir folder;
  const testing::ChildResult result = testing::runInChild(folder.path(), [&] {
    std::vector<int> calls(pool.lanes(), 0);
    auto job = [&](unsigned lane) { ++calls[lane]; };
    pool.run(job);
    std::_Exit(calls == std::vector<int>(pool.lanes(), 1) ? 0 : 3);
  });
  EXPECT_FALSE(result.timedOut) << "the child hung";
  EXPECT_EQ(result.exitCode, 0);
}

}  // namespace
}  // namespace orvalis
