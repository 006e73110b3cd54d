#pragma once

// Recording fakes of the window and the camera, for driving the search
// control headless.

#include <cstdint>
#include <string>
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
    timerStarts.push_back(periodMs);
  }
  void stopTimer() override { timerRunning = false; }
  void paintViews() override { ++paints; }
  void showMode(WindowMode shownMode) override { mode = shownMode; }
  void showParameters(const SearchParameters& parameters) override { shownParameters = parameters; }
  // The scan runs at once, on the caller's thread.
  void startScan(ScanJob& job) override {
    job.runScan();
    job.finishScan();
  }
  void waitForScan() override {}
  void endDialog() override { ended = true; }

  bool timerRunning = false;
  unsigned timerPeriod = 0;
  std::vector<unsigned> timerStarts;
  int paints = 0;
  bool ended = false;
  WindowMode mode = WindowMode::Search;
  SearchParameters shownParameters;
};

// Serves generated pictures as 32-bit bottom-up frames, one picture per grab
// in turn (the last one repeats).
class FakeCamera : public FrameSource {
 public:
  explicit FakeCamera(std::vector<BgrPicture> pictures = {});

  bool start() override;
  bool currentFrame(RawFrame& frame) override;
  bool streamFailed() override { return failStream; }
  void stop() override { ++stops; }

  bool failStart = false;
  bool failGrab = false;
  bool failStream = false;
  int starts = 0;
  int grabs = 0;
  int stops = 0;

 private:
  std::vector<std::vector<std::uint8_t>> frames_;
  std::vector<BgrPicture> pictures_;
};

}  // namespace orvalis::testing
