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

// The other lanes lower the value in streams of keys, each a little below the
// last, while lane 0 now and then cuts in below them and watches: with every
// lowering a compare-and-swap the value never rises. A load then a store lets
// a stream's lowering that was between the two put back a higher key, and
// the stream then stays above lane 0's key for a while.
TEST(LowerTo, TheLowestOfLanesRacingStays) {
  WorkerPool pool(std::max(2u, std::min(8u, std::thread::hardware_concurrency())));
  const std::uint64_t lanes = pool.lanes();
  constexpr std::uint64_t kStream = 20000, kCuts = 20, kGap = 64;
  std::atomic<std::uint64_t> value;
  std::atomic<unsigned> started, finished;
  std::atomic<bool> rose;
  for (int round = 0; round < 300; ++round) {
    value = std::numeric_limits<std::uint64_t>::max();
    started = finished = 0;
    rose = false;
    auto race = [&](unsigned lane) {
      started.fetch_add(1);
      while (started.load() < lanes) std::this_thread::yield();
      if (lane != 0) {
        for (std::uint64_t k = kStream; k > 0; --k) lowerTo(value, (kCuts + k) * lanes + lane);
        finished.fetch_add(1);
        return;
      }
      // Once the streams pass a mark, a key kGap steps below them that no
      // stream uses (a multiple of the lanes). Spinning, not yielding, keeps
      // this lane on a core of its own beside the streams.
      std::uint64_t mine = std::numeric_limits<std::uint64_t>::max();
      bool up = false;
      for (std::uint64_t cut = kCuts; cut > 0; --cut) {
        const std::uint64_t mark = (kCuts + cut * kStream / kCuts) * lanes;
        std::uint64_t seen;
        while ((seen = value.load()) > mark && finished.load() < lanes - 1) up = up || seen > mine;
        // Near the streams' end a cut would fall below their last keys.
        if (seen / lanes < kCuts + 2 + kGap) break;
        mine = (seen / lanes - kGap) * lanes;
        lowerTo(value, mine);
        for (int look = 0; look < 256; ++look) up = up || value.load() > mine;
      }
      rose = up;
    };
    pool.run(race);
    ASSERT_FALSE(rose) << "round " << round;
    ASSERT_EQ(value.load(), (kCuts + 1) * lanes + 1) << "round " << round;
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
