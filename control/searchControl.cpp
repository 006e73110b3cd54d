#include "control/searchControl.h"

#include "control/archivePictures.h"
#include "control/captureGraph.h"
#include "control/saveParameters.h"
#include "control/searchStart.h"
#include "files/archiveNaming.h"
#include "files/loadJpeg.h"
#include "files/paths.h"
#include "imaging/glyphs.h"
#include "matching/admissibleCentre.h"
#include "matching/matchViews.h"
#include "matching/ringSignature.h"
#include "matching/searchSteps.h"

namespace orvalis {

unsigned searchTimerPeriod(std::uint32_t framesPerSecond) {
  if (framesPerSecond == 0) return 1000;
  const unsigned period = 1000u / framesPerSecond;
  return period == 0 ? 1 : period;
}

SearchControl::SearchControl(Workspace& workspace, Window& window, FrameSource& camera, ExitPath& exitPath)
    : ws_(workspace),
      state_(workspace.state),
      images_(workspace.images),
      window_(window),
      camera_(camera),
      exitPath_(exitPath) {}

void SearchControl::prepareControls() {
  window_.showMode(WindowMode::Search);
}

void SearchControl::startUp() {
  startingUp_ = true;

  // The worker threads and the fast kernels' memory, made once, here, so
  // that no tick makes a thread or allocates; likewise the room for the name
  // of the picture in work.
  useKernels(ws_, ws_.kernels);
  lastPicture_.file.reserve(256);

  // The start-up of the tool, with the backdrop, in still-image mode; a
  // stored viewfinder that does not fit is reset, and not saved until the
  // next command.
  SearchSetup setup;
  setup.needsBackdrop = true;
  setup.profile = ws_.profile;  // what the window was started with
  const SearchStart start = prepareSearch(ws_, setup);
  window_.showParameters(start.parameters);
  switch (start.failure) {
    case StartFailure::None:
    // A refused template finds nothing, as it always has; the walk and the
    // commands go on.
    case StartFailure::TemplateRefused: state_.cameraMode = 0; break;
    case StartFailure::NoStillQuery:
      if (!startCamera()) return;
      break;
    case StartFailure::QuerySizeMismatch: exitPath_.fail(ExitScript::CurrentDatabaseMismatch);
    // The window names no parameters file and no viewfinder of its own.
    case StartFailure::ParametersUnreadable:
    case StartFailure::ViewfinderDoesNotFit:
    case StartFailure::MissingResources: exitPath_.fail(ExitScript::MissingResources);
  }

  startingUp_ = false;
  if (closePending_) {
    closeApplication();
    return;
  }
  window_.startTimer(searchTimerPeriod(state_.framesPerSecond));
}

bool SearchControl::startCamera() {
  state_.cameraMode = 1;
  exitPath_.runScript(ExitScript::ScannerMode);
  buildCaptureGraph(camera_, exitPath_);
  if (!grabFirstFrame(ws_, camera_, exitPath_, closePending_)) {
    startingUp_ = false;
    closeApplication();
    return false;
  }
  static_cast<void>(buildTemplate(ws_));
  return true;
}

void SearchControl::onTimerTick() {
  if (scanInFlight_) {
    // The last tick's scan still runs: no tick overlaps it. A lost camera
    // still ends the program, the scan abandoned first.
    if (state_.cameraMode == 1 && camera_.streamFailed()) {
      abandonScan();
      pollMediaEvents(camera_, exitPath_);
    }
    return;
  }
  if (state_.cameraMode == 1) {
    cameraTick();
    // Drained also when the tick returned early: a lost camera ends the
    // program even while the search stands still.
    if (scanInFlight_ && camera_.streamFailed()) abandonScan();
    pollMediaEvents(camera_, exitPath_);
  } else {
    stillImageTick();
  }
  if (!scanInFlight_) state_.painted = 1;
}

void SearchControl::redrawQuery() {
  drawQueryGray(ws_);
  drawViewfinder();
}

void SearchControl::drawViewfinder() {
  const SearchState& s = state_;
  drawViewfinderGlyph(images_.queryImage.data(), s.queryWidth, s.queryHeight, s.viewfinderX, s.viewfinderY,
                      s.viewfinderRadius);
}

void SearchControl::scanAndShow() {
  redrawQuery();
  PictureResult& result = lastPicture_;
  result.index = static_cast<std::uint32_t>(state_.archiveIndex);
  const ArchiveFileName name = archiveFileName(state_.archiveIndex);
  result.file.assign(name.c_str());
  scanInFlight_ = true;
  window_.startScan(*this);
}

void SearchControl::runScan() {
  // The filter radius was checked when the parameters were read, so the
  // picture is always processed.
  static_cast<void>(processArchivePicture(ws_, lastPicture_));
}

void SearchControl::completeScan() {
  if (!scanInFlight_) return;
  window_.waitForScan();
  finishScan();
}

void SearchControl::abandonScan() {
  if (!scanInFlight_) return;
  ws_.abandonScan = true;
  window_.waitForScan();
  ws_.abandonScan = false;
  scanInFlight_ = false;
}

void SearchControl::finishScan() {
  scanInFlight_ = false;
  const PictureResult& result = lastPicture_;
  drawArchiveGray(ws_);
  if (state_.matchFound == 1) prepareMatchViews(ws_);
  if (tickLog_ != nullptr) {
    static_cast<void>(writePictureLine(tickLog_, result));
    std::fflush(tickLog_);
  }
  state_.painted = 1;
  window_.paintViews();
}

// In adjust mode a tick only shows the query with its viewfinder and the
// archive picture as it stands.
void SearchControl::showAdjustViews() {
  redrawQuery();
  drawArchiveGray(ws_);
  window_.paintViews();
}

bool SearchControl::loadNextArchivePicture() {
  SearchState& s = state_;
  ++s.archiveIndex;
  return loadArchivePicture(archiveFileName(s.archiveIndex).c_str(), images_.archiveImage, s.archiveWidth,
                            s.archiveHeight);
}

void SearchControl::cameraTick() {
  SearchState& s = state_;
  if (s.searchStopped == 1) return;

  if (s.adjustMode == 1) {
    grabFrame(ws_, camera_, exitPath_);
    splitQueryPlanes(ws_);
    showAdjustViews();
    return;
  }

  if (!loadNextArchivePicture()) {
    // End of the archive (or the -1 start): a fresh frame, a fresh template,
    // and the walk starts over at picture 0.
    grabFrame(ws_, camera_, exitPath_);
    static_cast<void>(buildTemplate(ws_));
    s.archiveIndex = 0;
    static_cast<void>(loadJpeg(kFirstArchivePath, images_.archiveImage, s.archiveWidth, s.archiveHeight));
  }
  if (s.archiveHeight != s.queryHeight || s.archiveWidth != s.queryWidth) {
    releaseCaptureGraph(camera_);
    exitPath_.fail(ExitScript::ScannerDatabaseMismatch);
  }
  scanAndShow();
}

void SearchControl::stillImageTick() {
  SearchState& s = state_;
  if (s.archiveExhausted == 1 || s.searchStopped == 1) return;

  if (s.adjustMode == 1) {
    // The still picture's channels were split once at start-up.
    showAdjustViews();
    return;
  }

  if (!loadNextArchivePicture()) {
    // -1 is the start of the walk; any other missing number is its end, and
    // the last picture is scanned once more in this tick.
    if (s.archiveIndex == -1) {
      s.archiveIndex = 0;
    } else {
      --s.archiveIndex;
      s.archiveExhausted = 1;
    }
    static_cast<void>(loadJpeg(archiveFileName(s.archiveIndex).c_str(), images_.archiveImage, s.archiveWidth,
                               s.archiveHeight));
  }
  if (s.archiveHeight != s.queryHeight || s.archiveWidth != s.queryWidth) {
    exitPath_.fail(ExitScript::CurrentDatabaseMismatch);
  }
  scanAndShow();
}

void SearchControl::enterAdjustMode() {
  completeScan();
  window_.showMode(WindowMode::Adjust);
  window_.stopTimer();
  state_.archiveExhausted = 0;
  state_.searchStopped = 0;
  state_.adjustMode = 1;
  window_.startTimer(kAdjustTimerPeriod);
}

void SearchControl::startNewSearch() {
  completeScan();
  static_cast<void>(buildTemplateSignature(ws_));
  static_cast<void>(buildTemplateHistograms(state_));
  static_cast<void>(filterArchiveImage(ws_));
  window_.showMode(WindowMode::Search);
  window_.stopTimer();
  state_.archiveIndex = -2;
  state_.adjustMode = 0;
  window_.startTimer(searchTimerPeriod(state_.framesPerSecond));
}

void SearchControl::save() {
  saveParameters(state_, exitPath_, kParametersPath, &camera_,
                 savesConfinedTo_.empty() ? nullptr : savesConfinedTo_.c_str());
}

void SearchControl::stepViewfinder(bool admitted, std::uint32_t& field, bool increase) {
  // A scan in flight ends first; it leaves the viewfinder as it was.
  completeScan();
  if (admitted) {
    field = increase ? field + state_.viewfinderStep : field - state_.viewfinderStep;
    drawViewfinder();
  }
  save();
}

// A move checks only the side it moves towards (equality admitted), so a
// viewfinder that overhangs another side, as a camera frame of another size
// can leave it, can still be steered back. Values are read as unsigned 32-bit
// converted to double.
void SearchControl::moveViewfinder(std::uint32_t& centre, std::uint32_t extent, bool increase) {
  const double c = centre, r = state_.viewfinderRadius, s = state_.viewfinderStep;
  stepViewfinder(increase ? c + r + s <= static_cast<double>(extent) - 2 : c - r - s >= 1, centre, increase);
}

void SearchControl::moveViewfinderUp() {
  moveViewfinder(state_.viewfinderY, state_.queryHeight, false);
}

void SearchControl::moveViewfinderDown() {
  moveViewfinder(state_.viewfinderY, state_.queryHeight, true);
}

void SearchControl::moveViewfinderLeft() {
  moveViewfinder(state_.viewfinderX, state_.queryWidth, false);
}

void SearchControl::moveViewfinderRight() {
  moveViewfinder(state_.viewfinderX, state_.queryWidth, true);
}

void SearchControl::growViewfinder() {
  const double grown = static_cast<double>(state_.viewfinderRadius) + state_.viewfinderStep;
  // The grown disc is held to the rule every disc is held to.
  stepViewfinder(
      grown <= kMaxViewfinderRadius && isAdmissibleCentre(state_.viewfinderY, state_.viewfinderX, grown,
                                                          state_.queryWidth, state_.queryHeight),
      state_.viewfinderRadius, true);
}

void SearchControl::shrinkViewfinder() {
  const double shrunk = static_cast<double>(state_.viewfinderRadius) - state_.viewfinderStep;
  stepViewfinder(shrunk >= kMinViewfinderRadius, state_.viewfinderRadius, false);
}

template <typename Field, typename Value>
void SearchControl::setParameter(Field& field, Value value) {
  completeScan();
  field = value;
  save();
}

void SearchControl::selectViewfinderStep(std::uint32_t step) {
  setParameter(state_.viewfinderStep, step);
}

void SearchControl::selectFramesPerSecond(std::uint32_t framesPerSecond) {
  setParameter(state_.framesPerSecond, framesPerSecond);
}

void SearchControl::selectFilterRadius(std::uint32_t filterRadius) {
  setParameter(state_.filterRadius, filterRadius);
}

void SearchControl::selectColorTolerance(std::uint8_t colorTolerance) {
  setParameter(state_.colorTolerance, colorTolerance);
}

void SearchControl::closeApplication() {
  if (startingUp_) {
    closePending_ = true;
    camera_.interruptWait();
    return;
  }
  window_.stopTimer();
  abandonScan();
  releaseCaptureGraph(camera_);
  window_.endDialog();
}

}  // namespace orvalis
