// Long headless runs that watch the process for leaks: resident memory, open
// file descriptors and child processes must stay flat.
//
//   orvalis-soak [TICKS]   (default 10000 per mode)
//
// Camera mode: a fake camera over a small archive, the walk going round and
// round. Still-image mode: adjust/search cycles driven by commands, with
// viewfinder and parameter commands in between. Exit status 1 when anything
// grew.

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "control/searchControl.h"
#include "tests/support/childProcess.h"
#include "tests/support/fakes.h"
#include "tests/support/testSupport.h"

namespace {

using namespace orvalis;
using namespace orvalis::testing;
namespace fs = std::filesystem;

struct Reading {
  long residentKb = 0;
  int descriptors = 0;
  int children = 0;
};

Reading read() {
  Reading r;
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) r.residentKb = std::atol(line.c_str() + 6);
  }
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    (void)entry;
    ++r.descriptors;
  }
  const pid_t self = ::getpid();
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string text;
    std::getline(stat, text);
    const auto close = text.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    int parent = 0;
    if (std::sscanf(text.c_str() + close + 1, " %c %d", &state, &parent) == 2 && parent == self) ++r.children;
  }
  return r;
}

void print(const char* label, const Reading& r) {
  std::printf("  %-6s resident %6ld kB, descriptors %3d, children %d\n", label, r.residentKb, r.descriptors,
              r.children);
}

bool flat(const Reading& start, const Reading& end) {
  // The resident size may move by a page or two as the allocator settles.
  return end.residentKb <= start.residentKb + 1024 && end.descriptors <= start.descriptors &&
         end.children <= start.children;
}

void writeFolder(const fs::path& dir, bool withStill) {
  constexpr std::uint32_t w = 96, h = 72;
  writeFile(dir / "res/Dark_Gray_Square.jpg", encodeJpeg(solidPicture(8, 8, 60, 60, 60)));
  for (int i = 0; i < 4; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "Image_Archive/Image_%010d.jpg", i);
    writeFile(dir / name, encodeJpeg(texturedPicture(w, h, 50 + i, 3.0), 95));
  }
  if (withStill)
    writeFile(dir / "Image_Archive/Current_Image.jpg", encodeJpeg(texturedPicture(w, h, 9, 3.0), 95));
  installMarkerScripts(dir);
}

bool cameraSoak(int ticks) {
  TempDir dir;
  writeFolder(dir.path(), false);
  ScopedWorkingDirectory cwd(dir.path());
  auto ws = std::make_unique<Workspace>();
  FakeWindow window;
  FakeCamera camera({texturedPicture(96, 72, 70, 3.0), texturedPicture(96, 72, 71, 3.0)});
  ProcessExitPath exitPath;
  SearchControl control(*ws, window, camera, exitPath);
  control.startUp();
  for (int i = 0; i < 20; ++i) control.onTimerTick();
  const Reading start = read();
  for (int i = 0; i < ticks; ++i) control.onTimerTick();
  const Reading end = read();
  std::printf("camera mode, %d ticks (%d frames grabbed):\n", ticks, camera.grabs);
  print("start", start);
  print("end", end);
  return flat(start, end);
}

bool stillSoak(int ticks) {
  TempDir dir;
  writeFolder(dir.path(), true);
  ScopedWorkingDirectory cwd(dir.path());
  auto ws = std::make_unique<Workspace>();
  FakeWindow window;
  FakeCamera camera;
  ProcessExitPath exitPath;
  SearchControl control(*ws, window, camera, exitPath);
  control.startUp();
  for (int i = 0; i < 20; ++i) control.onTimerTick();
  const Reading start = read();
  int cycles = 0;
  for (int i = 0; i < ticks; ++i) {
    control.onTimerTick();
    if (i % 10 == 9) {
      // A cycle: adjust, nudge the viewfinder and a parameter, search again.
      control.enterAdjustMode();
      control.onTimerTick();
      (i / 10) % 2 == 0 ? control.moveViewfinderRight() : control.moveViewfinderLeft();
      control.selectColorTolerance((i / 10) % 2 == 0 ? 14 : 16);
      control.startNewSearch();
      ++cycles;
    }
  }
  const Reading end = read();
  std::printf("still-image mode, %d ticks, %d adjust/search cycles:\n", ticks, cycles);
  print("start", start);
  print("end", end);
  return flat(start, end);
}

}  // namespace

int main(int argc, char** argv) {
  const int ticks = argc > 1 ? std::atoi(argv[1]) : 10000;
  const bool cameraFlat = cameraSoak(ticks);
  const bool stillFlat = stillSoak(ticks);
  std::printf("%s\n", cameraFlat && stillFlat ? "flat: no growth" : "GREW");
  return cameraFlat && stillFlat ? 0 : 1;
}
