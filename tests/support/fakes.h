#pragma once

// Recording fakes of the window and the camera, for driving the search
// control headless.

#include <cstdint>
#include <map>
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
  void stopTimer() override {
    timerRunning = false;
    ++timerStops;
  }
  void paintViews() override { ++paints; }
  void showControl(int id, bool show) override { shown[id] = show; }
  void enableControl(int id, bool enable) override { enabled[id] = enable; }
  void readMembersFromControls() override {
    ++reads;
    members_ = controls;
  }
  void writeMembersToControls() override { controls = members_; }
  WindowMembers& members() override { return members_; }
  void endDialog() override { ended = true; }

  bool isShown(int id) const { return !shown.count(id) || shown.at(id); }  // controls start visible
  bool isEnabled(int id) const { return !enabled.count(id) || enabled.at(id); }

  bool timerRunning = false;
  unsigned timerPeriod = 0;
  std::vector<unsigned> timerStarts;
  int timerStops = 0;
  int paints = 0;
  int reads = 0;
  bool ended = false;
  std::map<int, bool> shown, enabled;
  WindowMembers controls;  // what the controls show; parameter commands read it

 private:
  WindowMembers members_;
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
