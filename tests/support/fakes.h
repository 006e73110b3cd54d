#pragma once

// Recording fakes of the window and the camera, to drive the search headless.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "capture/frameSource.h"
#include "control/window.h"
#include "tests/support/testSupport.h"

namespace orvalis::testing {

class FakeWindow : public Window {
 public:
  void startTimer(unsigned periodMs) override {
    timerRunning = true;
    timerPeriod = periodMs;
  }
  void stopTimer() override { timerRunning = false; }
  void paintViews() override { ++paints; }
  void showMode(WindowMode) override {}
  void showParameters(const SearchParameters&) override {}
  // The scan runs at once, on the caller's thread.
  void startScan(ScanJob& job) override {
    job.runScan();
    job.finishScan();
  }
  void waitForScan() override {}
  void endDialog() override { ended = true; }

  bool timerRunning = false;
  unsigned timerPeriod = 0;
  int paints = 0;
  bool ended = false;
};

// Serves its pictures as packed top-down frames, one a grab (the last repeats).
class FakeCamera : public FrameSource {
 public:
  explicit FakeCamera(std::vector<BgrPicture> pictures = {}) : pictures_(std::move(pictures)) {}

  bool start() override {
    ++starts;
    return !failStart;
  }
  bool currentFrame(RawFrame& frame) override {
    if (failGrab || pictures_.empty()) return false;
    const BgrPicture& p = pictures_[std::min<std::size_t>(grabs++, pictures_.size() - 1)];
    frame = RawFrame{p.width, p.height, 24, std::size_t{3} * p.width, p.pixels.data(), RowOrder::TopDown};
    return true;
  }
  bool streamFailed() override { return failStream; }
  void stop() override { ++stops; }

  bool failStart = false;
  bool failGrab = false;
  bool failStream = false;
  int starts = 0;
  int grabs = 0;
  int stops = 0;

 private:
  std::vector<BgrPicture> pictures_;
};

}  // namespace orvalis::testing
