#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

#include "capture/frameSource.h"
#include "control/exitPath.h"
#include "control/searchSequence.h"
#include "control/window.h"
#include "state/workspace.h"

namespace orvalis {

// The search control: start-up, the timer cycle and the user's commands, all
// run on the window's thread one after another. It owns nothing: the
// workspace, the window, the camera and the exit path are handed in, so tests
// drive it headless with fakes.
class SearchControl : private ScanJob {
 public:
  SearchControl(Workspace& workspace, Window& window, FrameSource& camera, ExitPath& exitPath);

  // Puts the window into its start state: search mode.
  void prepareControls();

  // Loads the parameters and pictures, chooses still-image or camera mode,
  // builds the template and starts timer 1. Every failure ends the process
  // through its exit script. A close asked for meanwhile runs at its end,
  // and the timer is not started.
  void startUp();

  // One line per processed archive picture on this stream (null: none), in
  // the words of `orvalis-search --human`.
  void setTickLog(std::FILE* log) { tickLog_ = log; }

  // Saves of the parameters file may replace only a file inside this folder
  // (a real path); a save whose target, after every link, lies elsewhere
  // fails. Empty: no such limit.
  void confineSavesTo(std::string realFolder) { savesConfinedTo_ = std::move(realFolder); }

  // One tick of timer 1.
  void onTimerTick();
  void cameraTick();
  void stillImageTick();

  // Mode commands.
  void enterAdjustMode();
  void startNewSearch();

  // Viewfinder commands: refused silently when the viewfinder would leave the
  // picture; the parameters file is rewritten either way.
  void moveViewfinderUp();
  void moveViewfinderDown();
  void moveViewfinderLeft();
  void moveViewfinderRight();
  void growViewfinder();
  void shrinkViewfinder();

  // Parameter commands, with the value the user chose: stored, then the
  // parameters file is rewritten. The search takes them up with the next
  // "Avvia una nuova ricerca".
  void selectViewfinderStep(std::uint32_t step);
  void selectFramesPerSecond(std::uint32_t framesPerSecond);
  void selectFilterRadius(std::uint32_t filterRadius);
  void selectColorTolerance(std::uint8_t colorTolerance);

  // "Chiudi" and the window's close box: a scan in flight is abandoned.
  // During start-up: cuts short the wait for a first camera frame, and the
  // close runs once start-up is through.
  void closeApplication();

  // Whether a tick's scan is running away from the window's thread. Ticks
  // that arrive meanwhile are skipped, and commands wait for it to end, so
  // that every result is the one a tick run to its end gives.
  bool scanInFlight() const { return scanInFlight_; }

 private:
  // Camera mode, at start-up: the notice, the capture graph, the first frame
  // and the template from it. False when a close cut the first frame's wait
  // short (the close has run).
  bool startCamera();
  void redrawQuery();
  void showAdjustViews();
  bool loadNextArchivePicture();
  void scanAndShow();
  void runScan() override;
  void finishScan() override;
  // Commands first let a scan in flight end and show its result.
  void completeScan();
  // The close and the fatal paths end a scan in flight without its result.
  void abandonScan();
  void drawViewfinder();
  // Moves or resizes by one step when admitted (and draws the glyph there);
  // saves the parameters either way.
  void stepViewfinder(bool admitted, std::uint32_t& field, bool increase);
  void moveViewfinder(std::uint32_t& centre, std::uint32_t extent, bool increase);

  void save();
  // A parameter command: stores the value once a scan in flight has ended,
  // then saves.
  template <typename Field, typename Value>
  void setParameter(Field& field, Value value);

  Workspace& ws_;
  SearchState& state_;
  ImageStore& images_;
  Window& window_;
  FrameSource& camera_;
  ExitPath& exitPath_;
  std::FILE* tickLog_ = nullptr;
  std::string savesConfinedTo_;
  // A close asked for while start-up runs (events are processed while it
  // waits for the first camera frame) is held until start-up has returned,
  // so the camera is never released under that wait.
  bool startingUp_ = false;
  bool closePending_ = false;
  PictureResult lastPicture_;  // its file name keeps its room between ticks
  bool scanInFlight_ = false;
};

// 1000 / framesPerSecond ms, integer division; at least 1 ms so that a rate
// above 1000 a second never asks for a zero period.
unsigned searchTimerPeriod(std::uint32_t framesPerSecond);

inline constexpr unsigned kAdjustTimerPeriod = 100;

}  // namespace orvalis
