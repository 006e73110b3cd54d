// Long headless runs that watch the process for leaks: resident memory, open
// file descriptors and child processes must stay flat over TICKS ticks
// (default 10000) in camera mode (a fake camera, the walk going round) and
// in still-image mode (adjust/search cycles with commands between them).
//
//   orvalis-soak [TICKS]   exit status 1 when anything grew

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "control/searchControl.h"
#include "tests/support/fakes.h"
#include "tests/support/workingFolder.h"

namespace {

using namespace orvalis;
using namespace orvalis::testing;
namespace fs = std::filesystem;

struct Reading {
  long residentKb = 0;
  int descriptors = 0, children = 0;
};

Reading read() {
  Reading r;
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) r.residentKb = std::atol(line.c_str() + 6);
  }
  for ([[maybe_unused]] const auto& fd : fs::directory_iterator("/proc/self/fd")) ++r.descriptors;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string text;
    int parent = 0;
    if (std::getline(stat, text) && text.rfind(')') != std::string::npos &&
        std::sscanf(text.c_str() + text.rfind(')') + 1, " %*c %d", &parent) == 1 && parent == ::getpid())
      ++r.children;
  }
  return r;
}

// Runs TICKS steps after a warm-up and says whether anything grew.
bool soak(const char* mode, bool still, int ticks, const std::function<void(SearchControl&, int)>& step) {
  TempDir dir;
  WorkingFolder folder(dir.path());
  folder.backdrop().markerScripts().archive(
      {texturedPicture(96, 72, 50, 3.0), texturedPicture(96, 72, 51, 3.0), texturedPicture(96, 72, 52, 3.0),
       texturedPicture(96, 72, 53, 3.0)},
      95);
  if (still) folder.still(texturedPicture(96, 72, 9, 3.0), 95);
  ScopedWorkingDirectory cwd(dir.path());
  auto ws = std::make_unique<Workspace>();
  FakeWindow window;
  FakeCamera camera({texturedPicture(96, 72, 70, 3.0), texturedPicture(96, 72, 71, 3.0)});
  ProcessExitPath exitPath;
  SearchControl control(*ws, window, camera, exitPath);
  control.startUp();
  for (int i = 0; i < 20; ++i) control.onTimerTick();
  const Reading a = read();
  for (int i = 0; i < ticks; ++i) step(control, i);
  const Reading b = read();
  std::printf("%s, %d ticks: resident %ld -> %ld kB, descriptors %d -> %d, children %d -> %d\n", mode, ticks,
              a.residentKb, b.residentKb, a.descriptors, b.descriptors, a.children, b.children);
  // The resident size may move by a page or two as the allocator settles.
  return b.residentKb <= a.residentKb + 1024 && b.descriptors <= a.descriptors && b.children <= a.children;
}

}  // namespace

int main(int argc, char** argv) {
  const int ticks = argc > 1 ? std::atoi(argv[1]) : 10000;
  const bool cameraFlat = soak("camera mode", false, ticks, [](SearchControl& c, int) { c.onTimerTick(); });
  const bool stillFlat = soak("still-image mode", true, ticks, [](SearchControl& c, int i) {
    c.onTimerTick();
    if (i % 10 != 9) return;
    // A cycle: adjust, nudge the viewfinder and a parameter, search again.
    c.enterAdjustMode();
    c.onTimerTick();
    (i / 10) % 2 == 0 ? c.moveViewfinderRight() : c.moveViewfinderLeft();
    c.selectColorTolerance((i / 10) % 2 == 0 ? 14 : 16);
    c.startNewSearch();
  });
  std::printf("%s\n", cameraFlat && stillFlat ? "flat: no growth" : "GREW");
  return cameraFlat && stillFlat ? 0 : 1;
}
