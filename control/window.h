#pragma once

#include <string>

namespace orvalis {

// Identifiers of the window's controls.
enum ControlId : int {
  kCloseButton = 1000,
  kAdjustButton = 1001,     // "Modifica i parametri della ricerca"
  kNewSearchButton = 1002,  // "Avvia una nuova ricerca", same place as 1001
  kRightButton = 1003,
  kLeftButton = 1004,
  kUpButton = 1005,
  kDownButton = 1006,
  kGrowButton = 1007,
  kShrinkButton = 1008,
  kStep1Radio = 1009,
  kStep10Radio = 1010,
  kStep25Radio = 1011,
  kStep50Radio = 1012,
  kStepGroupBox = 1013,
  kColorToleranceList = 1015,
  kFilterRadiusList = 1016,
  kFramesPerSecondList = 1017,
};

// The thirteen controls that only adjust mode enables, in the order they are
// enabled and disabled.
inline constexpr int kParameterControls[13] = {
    kFramesPerSecondList, kFilterRadiusList, kColorToleranceList, kStep1Radio, kStep10Radio,
    kStep25Radio,         kStep50Radio,      kUpButton,           kDownButton, kLeftButton,
    kRightButton,         kGrowButton,       kShrinkButton};

// The four values the window exchanges with its controls.
struct WindowMembers {
  int stepIndex = 0;  // checked radio button of 1009..1012, -1 when none
  std::string filterRadiusText;
  std::string colorToleranceText;
  std::string framesPerSecondText;
};

// What the search control needs of the main window. The Qt dialog implements
// it; tests use a recording fake.
class Window {
 public:
  virtual ~Window() = default;

  // Timer 1: ticks arrive on the window's thread, one at a time.
  virtual void startTimer(unsigned periodMs) = 0;
  virtual void stopTimer() = 0;

  // Draws the query view, the archive view and, after a match, the previews.
  virtual void paintViews() = 0;

  virtual void showControl(int id, bool shown) = 0;
  virtual void enableControl(int id, bool enabled) = 0;

  // Data exchange: controls -> members, members -> controls.
  virtual void readMembersFromControls() = 0;
  virtual void writeMembersToControls() = 0;
  virtual WindowMembers& members() = 0;

  // Ends the window's modal life after the close sequence.
  virtual void endDialog() = 0;
};

}  // namespace orvalis
