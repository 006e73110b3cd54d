#pragma once

#include "state/searchState.h"

namespace orvalis {

// Search mode: the walk runs, the parameters are shown but can't be changed,
// "Modifica i parametri della ricerca" is offered. Adjust mode: the walk
// stands still, the viewfinder buttons, the step and the three lists are
// alive, "Avvia una nuova ricerca" is offered in its place.
enum class WindowMode { Search, Adjust };

// The long half of a search tick: the scan, which may take seconds on a
// picture without texture, and what follows it.
class ScanJob {
 public:
  virtual ~ScanJob() = default;
  virtual void runScan() = 0;     // away from the window's thread
  virtual void finishScan() = 0;  // back on the window's thread
};

// What the search control needs of the main window. The Qt dialog
// implements it, mapping modes and values to its widgets in one place; tests
// use a recording fake. Values cross this seam as numbers: what a list shows
// for them is the window's business.
class Window {
 public:
  virtual ~Window() = default;

  // Timer 1: ticks arrive on the window's thread, one at a time.
  virtual void startTimer(unsigned periodMs) = 0;
  virtual void stopTimer() = 0;

  // Draws the query view, the archive view and, after a match, the previews.
  virtual void paintViews() = 0;

  // Which controls are shown and alive.
  virtual void showMode(WindowMode mode) = 0;

  // The pictures a second, filter radius, tolerance and step the controls
  // show. A value the controls don't offer shows no selection.
  virtual void showParameters(const SearchParameters& parameters) = 0;

  // Runs job.runScan() away from the window's thread, then job.finishScan()
  // on it; meanwhile the window repaints and takes input. One job at a time.
  virtual void startScan(ScanJob& job) = 0;

  // Waits until the running job's runScan has returned. The window then no
  // longer calls its finishScan: that is left to the caller.
  virtual void waitForScan() = 0;

  // Ends the window's modal life after the close sequence.
  virtual void endDialog() = 0;
};

}  // namespace orvalis
