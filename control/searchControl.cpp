#include "control/searchControl.h"

#include "control/archiveWalk.h"
#include "control/captureGraph.h"
#include "control/saveParameters.h"
#include "files/archiveNaming.h"
#include "files/loadJpeg.h"
#include "files/parametersFile.h"
#include "files/paths.h"
#include "imaging/circularMeanFilterFast.h"
#include "imaging/glyphs.h"
#include "imaging/pixelConversions.h"
#include "imaging/pixelConversionsFast.h"
#include "matching/archiveScan.h"
#include "matching/fastScan.h"
#include "matching/matchViews.h"
#include "matching/ringSignature.h"

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
  for (int id : kParameterControls) window_.enableControl(id, false);
  window_.showControl(kNewSearchButton, false);
}

void SearchControl::startUp() {
  SearchState& s = state_;

  // The worker threads and the fast kernels' memory, made once, here, so
  // that no tick makes a thread or allocates.
  if (ws_.kernels == Kernels::Fast) {
    prepareCircularMeanFilterFast();
    prepareFastScan();
  }

  // Parameters and what the lists and the radio group show of them.
  loadParameters(s);
  WindowMembers& members = window_.members();
  members.framesPerSecondText = parameterText(Parameter::FramesPerSecond, s.framesPerSecond);
  members.filterRadiusText = parameterText(Parameter::FilterRadius, s.filterRadius);
  members.colorToleranceText = parameterText(Parameter::ColorTolerance, s.colorTolerance);
  members.stepIndex = stepIndexOf(s.viewfinderStep);

  // Backdrop and archive picture 0 must exist.
  if (loadJpeg(kBackdropPath, images_.backgroundImage, s.backgroundHeight, s.backgroundWidth,
               s.backgroundByteCount) == 0) {
    exitPath_.fail(ExitScript::MissingResources);
  }
  if (loadJpeg(kFirstArchivePath, images_.archiveImage, s.archiveHeight, s.archiveWidth,
               s.archiveByteCount) == 0) {
    exitPath_.fail(ExitScript::MissingResources);
  }
  s.landscape = s.archiveWidth >= s.archiveHeight ? 1 : 0;

  // The viewfinder must lie inside archive picture 0 with a one-pixel margin;
  // otherwise it goes to the centre with a sixth of the shorter side. The
  // reset is not saved until the next command.
  checkViewfinder(s, s.archiveWidth, s.archiveHeight);

  // The still query decides the mode.
  const int stillLoaded =
      loadJpeg(kStillQueryPath, images_.queryImage, s.queryHeight, s.queryWidth, s.queryByteCount);
  if (stillLoaded == 1 && s.queryHeight == s.archiveHeight && s.queryWidth == s.archiveWidth) {
    s.cameraMode = 0;
  } else if (s.queryHeight != 0) {
    exitPath_.fail(ExitScript::CurrentDatabaseMismatch);
  } else {
    s.cameraMode = 1;
    exitPath_.runScript(ExitScript::ScannerMode);
    buildCaptureGraph(camera_, exitPath_);
    grabFrame(ws_, camera_, exitPath_);
  }

  splitPlanes(images_.queryImage.data(), s.queryWidth, s.queryHeight, images_.queryB.data(),
              images_.queryG.data(), images_.queryR.data());
  buildTemplateSignature(ws_);
  buildTemplateHistograms(s);

  window_.startTimer(searchTimerPeriod(s.framesPerSecond));
}

void SearchControl::onTimerTick() {
  if (state_.cameraMode == 1) {
    cameraTick();
    // Drained also when the tick returned early: a lost camera ends the
    // program even while the search stands still.
    pollMediaEvents(camera_, exitPath_);
  } else {
    stillImageTick();
  }
  state_.painted = 1;
}

void SearchControl::redrawQuery() {
  const SearchState& s = state_;
  const auto toBgr = ws_.kernels == Kernels::Fast ? grayToBgrFast : grayToBgr;
  toBgr(images_.queryB.data(), images_.queryG.data(), images_.queryR.data(), s.queryWidth, s.queryHeight,
        images_.queryImage.data());
  drawViewfinder();
}

void SearchControl::drawViewfinder() {
  const SearchState& s = state_;
  drawViewfinderGlyph(images_.queryImage.data(), s.queryWidth, s.queryHeight, s.viewfinderX, s.viewfinderY,
                      s.viewfinderRadius);
}

void SearchControl::prepareArchive() {
  const SearchState& s = state_;
  const bool fast = ws_.kernels == Kernels::Fast;
  (fast ? splitPlanesFast : splitPlanes)(images_.archiveImage.data(), s.archiveWidth, s.archiveHeight,
                                         images_.archiveB.data(), images_.archiveG.data(),
                                         images_.archiveR.data());
  filterArchiveImage(ws_);
  (fast ? grayToBgrFast : grayToBgr)(images_.archiveB.data(), images_.archiveG.data(),
                                     images_.archiveR.data(), s.archiveWidth, s.archiveHeight,
                                     images_.archiveImage.data());
}

void SearchControl::scanAndShow() {
  redrawQuery();
  prepareArchive();
  scanArchiveImage(ws_, static_cast<double>(state_.viewfinderRadius));
  if (state_.matchFound == 1) prepareMatchViews(ws_);
  window_.paintViews();
}

void SearchControl::cameraTick() {
  SearchState& s = state_;
  if (s.searchStopped == 1) return;

  if (s.adjustMode == 1) {
    grabFrame(ws_, camera_, exitPath_);
    splitPlanes(images_.queryImage.data(), s.queryWidth, s.queryHeight, images_.queryB.data(),
                images_.queryG.data(), images_.queryR.data());
    redrawQuery();
    grayToBgr(images_.archiveB.data(), images_.archiveG.data(), images_.archiveR.data(), s.archiveWidth,
              s.archiveHeight, images_.archiveImage.data());
    window_.paintViews();
    return;
  }

  ++s.archiveIndex;
  if (loadArchivePicture(archiveFileName(s.archiveIndex).c_str(), images_.archiveImage, s.archiveHeight,
                         s.archiveWidth, s.archiveByteCount) == 0) {
    // End of the archive (or the -1 start): a fresh frame, a fresh template,
    // and the walk starts over at picture 0.
    grabFrame(ws_, camera_, exitPath_);
    splitPlanes(images_.queryImage.data(), s.queryWidth, s.queryHeight, images_.queryB.data(),
                images_.queryG.data(), images_.queryR.data());
    buildTemplateSignature(ws_);
    buildTemplateHistograms(s);
    s.archiveIndex = 0;
    loadJpeg(kFirstArchivePath, images_.archiveImage, s.archiveHeight, s.archiveWidth, s.archiveByteCount);
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
    redrawQuery();
    grayToBgr(images_.archiveB.data(), images_.archiveG.data(), images_.archiveR.data(), s.archiveWidth,
              s.archiveHeight, images_.archiveImage.data());
    window_.paintViews();
    return;
  }

  ++s.archiveIndex;
  if (loadArchivePicture(archiveFileName(s.archiveIndex).c_str(), images_.archiveImage, s.archiveHeight,
                         s.archiveWidth, s.archiveByteCount) == 0) {
    // -1 is the start of the walk; any other missing number is its end, and
    // the last picture is scanned once more in this tick.
    if (s.archiveIndex == -1) {
      s.archiveIndex = 0;
    } else {
      --s.archiveIndex;
      s.archiveExhausted = 1;
    }
    loadJpeg(archiveFileName(s.archiveIndex).c_str(), images_.archiveImage, s.archiveHeight, s.archiveWidth,
             s.archiveByteCount);
  }
  if (s.archiveHeight != s.queryHeight || s.archiveWidth != s.queryWidth) {
    exitPath_.fail(ExitScript::CurrentDatabaseMismatch);
  }
  scanAndShow();
}

void SearchControl::applyModeSet(bool adjust) {
  window_.showControl(adjust ? kNewSearchButton : kAdjustButton, true);
  window_.showControl(adjust ? kAdjustButton : kNewSearchButton, false);
  for (int id : kParameterControls) window_.enableControl(id, adjust);
}

void SearchControl::enterAdjustMode() {
  applyModeSet(true);
  window_.stopTimer();
  state_.archiveExhausted = 0;
  state_.searchStopped = 0;
  state_.adjustMode = 1;
  window_.startTimer(kAdjustTimerPeriod);
}

void SearchControl::startNewSearch() {
  buildTemplateSignature(ws_);
  buildTemplateHistograms(state_);
  filterArchiveImage(ws_);
  applyModeSet(false);
  window_.stopTimer();
  state_.archiveIndex = -2;
  state_.adjustMode = 0;
  window_.startTimer(searchTimerPeriod(state_.framesPerSecond));
}

void SearchControl::save() {
  saveParameters(state_, exitPath_);
}

namespace {

// The viewfinder commands read every value as unsigned 32-bit converted to
// double and admit equality in every test.
struct ViewfinderNumbers {
  double x, y, r, s, w, h;
};

ViewfinderNumbers viewfinderNumbers(const SearchState& state) {
  return {static_cast<double>(state.viewfinderX),      static_cast<double>(state.viewfinderY),
          static_cast<double>(state.viewfinderRadius), static_cast<double>(state.viewfinderStep),
          static_cast<double>(state.queryWidth),       static_cast<double>(state.queryHeight)};
}

}  // namespace

void SearchControl::stepViewfinder(bool admitted, std::uint32_t& field, bool increase) {
  if (admitted) {
    field = increase ? field + state_.viewfinderStep : field - state_.viewfinderStep;
    drawViewfinder();
  }
  save();
}

void SearchControl::moveViewfinderUp() {
  const ViewfinderNumbers v = viewfinderNumbers(state_);
  stepViewfinder(v.y - v.r - v.s >= 1, state_.viewfinderY, false);
}

void SearchControl::moveViewfinderDown() {
  const ViewfinderNumbers v = viewfinderNumbers(state_);
  stepViewfinder(v.y + v.r + v.s <= v.h - 2, state_.viewfinderY, true);
}

void SearchControl::moveViewfinderLeft() {
  const ViewfinderNumbers v = viewfinderNumbers(state_);
  stepViewfinder(v.x - v.r - v.s >= 1, state_.viewfinderX, false);
}

void SearchControl::moveViewfinderRight() {
  const ViewfinderNumbers v = viewfinderNumbers(state_);
  stepViewfinder(v.x + v.r + v.s <= v.w - 2, state_.viewfinderX, true);
}

void SearchControl::growViewfinder() {
  const ViewfinderNumbers v = viewfinderNumbers(state_);
  stepViewfinder(v.r + v.s <= kMaxViewfinderRadius && v.y - v.r - v.s >= 1 && v.y + v.r + v.s <= v.h - 2 &&
                     v.x + v.r + v.s <= v.w - 2 && v.x - v.r - v.s >= 1,
                 state_.viewfinderRadius, true);
}

void SearchControl::shrinkViewfinder() {
  const ViewfinderNumbers v = viewfinderNumbers(state_);
  stepViewfinder(v.r - v.s >= kMinViewfinderRadius, state_.viewfinderRadius, false);
}

void SearchControl::selectViewfinderStep() {
  window_.readMembersFromControls();
  stepOfIndex(window_.members().stepIndex, state_.viewfinderStep);
  save();
}

void SearchControl::selectFramesPerSecond() {
  window_.readMembersFromControls();
  parameterValue(Parameter::FramesPerSecond, window_.members().framesPerSecondText, state_.framesPerSecond);
  save();
}

void SearchControl::selectFilterRadius() {
  window_.readMembersFromControls();
  parameterValue(Parameter::FilterRadius, window_.members().filterRadiusText, state_.filterRadius);
  save();
}

void SearchControl::selectColorTolerance() {
  window_.readMembersFromControls();
  std::uint32_t value = state_.colorTolerance;
  if (parameterValue(Parameter::ColorTolerance, window_.members().colorToleranceText, value) == 1) {
    state_.colorTolerance = static_cast<std::uint8_t>(value);
  }
  save();
}

void SearchControl::closeApplication() {
  window_.stopTimer();
  releaseCaptureGraph(camera_);
  window_.endDialog();
}

}  // namespace orvalis
