#pragma once

// A working folder laid out as the program expects, and the search control
// over fakes, for headless tests of start-up, ticks and commands.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "control/searchControl.h"
#include "files/parametersFile.h"
#include "tests/support/childProcess.h"
#include "tests/support/fakes.h"
#include "tests/support/testSupport.h"

namespace orvalis::testing {

// Small pictures keep the reference matcher quick: 160 x 120 with the
// viewfinder placed at the centre, radius 20.
inline constexpr std::uint32_t kWidth = 160;
inline constexpr std::uint32_t kHeight = 120;
// Busy enough that a disc of radius 20 is found only where it really is.
inline constexpr double kDetail = 3.0;

inline BgrPicture queryPicture() {
  return texturedPicture(kWidth, kHeight, 1, kDetail);
}
// A picture that holds no region of the query.
inline BgrPicture distractor(std::uint32_t seed) {
  return texturedPicture(kWidth, kHeight, 100 + seed, kDetail);
}

class ControlTest : public ::testing::Test {
 protected:
  ControlTest() : cwd_(dir.path()) { installMarkerScripts(dir.path()); }

  void writeBackdrop() {
    writeFile(dir / "res/Dark_Gray_Square.jpg", encodeJpeg(solidPicture(8, 8, 60, 60, 60)));
  }
  void writeStillQuery(const BgrPicture& picture) {
    writeFile(dir / "Image_Archive/Current_Image.jpg", encodeJpeg(picture, 100));
  }
  void writeArchive(const std::vector<BgrPicture>& pictures) {
    std::filesystem::create_directories(dir / "Image_Archive");
    for (std::size_t i = 0; i < pictures.size(); ++i) writeArchivePicture(static_cast<int>(i), pictures[i]);
  }
  void writeArchivePicture(int index, const BgrPicture& picture) {
    char name[64];
    std::snprintf(name, sizeof name, "Image_Archive/Image_%010d.jpg", index);
    writeFile(dir / name, encodeJpeg(picture, 100));
  }
  void writeParameters(const SearchParameters& p) {
    ASSERT_EQ(writeParametersFile(p, (dir / "res/Combo_Box_Parameters.bin").c_str()), 1);
  }
  // A still-image folder: backdrop, the query, and the given archive.
  void stillFolder(const std::vector<BgrPicture>& archive) {
    writeBackdrop();
    writeStillQuery(queryPicture());
    writeArchive(archive);
  }

  SearchControl& control() {
    if (!control_) control_ = std::make_unique<SearchControl>(*ws, window, camera, exitPath);
    return *control_;
  }
  SearchState& state() { return ws->state; }

  // Runs body in a child process in the working folder.
  ChildResult inChild(const std::function<void()>& body) { return runInChild(dir.path(), body); }
  // Exactly these scripts ran (in any order: they run detached, so their
  // markers may land in either order). Waits for each expected marker, then a
  // moment more for any unexpected one.
  ::testing::AssertionResult onlyScriptsRan(std::vector<std::string> expected) {
    for (const std::string& name : expected) {
      if (!waitForFile(dir / ("res/" + name + ".ran"))) {
        return ::testing::AssertionFailure() << name << " did not run; ran: " << scriptsThatRan(dir.path());
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    std::vector<std::string> ran;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "res")) {
      if (entry.path().extension() == ".ran") ran.push_back(entry.path().stem().string());
    }
    std::sort(ran.begin(), ran.end());
    std::sort(expected.begin(), expected.end());
    if (ran != expected) return ::testing::AssertionFailure() << "ran: " << scriptsThatRan(dir.path());
    return ::testing::AssertionSuccess();
  }

  TempDir dir;
  std::unique_ptr<Workspace> ws = std::make_unique<Workspace>();
  FakeWindow window;
  FakeCamera camera{{queryPicture()}};
  ProcessExitPath exitPath;

 private:
  ScopedWorkingDirectory cwd_;
  std::unique_ptr<SearchControl> control_;
};

}  // namespace orvalis::testing
