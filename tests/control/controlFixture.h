#pragma once

// A working folder laid out as the program expects, and the search control
// over fakes, for headless tests of start-up, ticks, commands and exits.

#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/wait.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "control/searchControl.h"
#include "files/parametersFile.h"
#include "tests/support/childProcess.h"
#include "tests/support/fakes.h"
#include "tests/support/testSupport.h"
#include "tests/support/workingFolder.h"

namespace orvalis::testing {

// Small pictures keep the matcher quick; busy enough that a disc of radius
// 20 is found only where it really is.
inline constexpr std::uint32_t kWidth = 160;
inline constexpr std::uint32_t kHeight = 120;
inline BgrPicture queryPicture() {
  return texturedPicture(kWidth, kHeight, 1, 3.0);
}
// A picture that holds no region of the query.
inline BgrPicture distractor(std::uint32_t seed) {
  return texturedPicture(kWidth, kHeight, 100 + seed, 3.0);
}

// Exit scripts run detached and outlive whoever started them. Adopting the
// orphans lets this process wait until every script started so far has
// ended, and only then say which ran.
inline void adoptOrphanedScripts() {
  static const int adopted = ::prctl(PR_SET_CHILD_SUBREAPER, 1);
  static_cast<void>(adopted);
}
// The scripts that ran (by their res/*.ran markers), once every script
// started so far has ended.
using Scripts = std::set<std::string>;
inline Scripts scriptsRan(const std::filesystem::path& folder) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  for (pid_t reaped = 0; reaped >= 0 && std::chrono::steady_clock::now() < deadline;) {
    reaped = ::waitpid(-1, nullptr, WNOHANG);
    if (reaped == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  Scripts ran;
  if (::waitpid(-1, nullptr, WNOHANG) == 0) ran.insert("(still running)");
  std::error_code noFolder;
  for (const auto& entry : std::filesystem::directory_iterator(folder / "res", noFolder)) {
    if (entry.path().extension() == ".ran") ran.insert(entry.path().stem().string());
  }
  return ran;
}

// Leaves a file behind when released, which outlives a child's exit.
class NotingCamera : public FakeCamera {
 public:
  using FakeCamera::FakeCamera;
  void stop() override {
    FakeCamera::stop();
    writeTextFile("res/camera-released", "");
  }
};

class ControlTest : public ::testing::Test {
 protected:
  ControlTest() : cwd_(dir.path()) {
    adoptOrphanedScripts();
    installMarkerScripts(dir.path());
  }

  // The backdrop, archive pictures 0, 1, ... and the still query (none:
  // camera mode).
  void folder(const std::vector<BgrPicture>& archive,
              const std::optional<BgrPicture>& still = queryPicture()) {
    WorkingFolder built(dir.path());
    built.backdrop().archive(archive);
    if (still) built.still(*still);
  }

  SearchControl& control() {
    if (!control_) control_ = std::make_unique<SearchControl>(*ws, window, camera, exitPath);
    return *control_;
  }
  SearchState& state() { return ws->state; }

  TempDir dir;
  std::unique_ptr<Workspace> ws = std::make_unique<Workspace>();
  FakeWindow window;
  NotingCamera camera{{queryPicture()}};
  ProcessExitPath exitPath;

 private:
  ScopedWorkingDirectory cwd_;
  std::unique_ptr<SearchControl> control_;
};

}  // namespace orvalis::testing
