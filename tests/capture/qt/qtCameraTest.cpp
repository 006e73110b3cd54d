#include <gtest/gtest.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QMediaDevices>
#include <filesystem>
#include <thread>

#include "capture/qt/qtCamera.h"
#include "tests/capture/qt/qtTestMain.h"
#include "tests/support/childProcess.h"
#include "tests/support/testSupport.h"

namespace orvalis {
namespace {

using namespace std::chrono_literals;

// These tests are about a machine without a camera.
#define SKIP_WITH_A_CAMERA() \
  if (!QMediaDevices::videoInputs().isEmpty()) GTEST_SKIP() << "a camera is attached"

TEST(QtCameraSource, WithoutADeviceStartFailsAtOnceAndNothingElseBreaks) {
  SKIP_WITH_A_CAMERA();
  QtCameraSource source(640, 480);
  RawFrame frame;
  // Never started: nothing to give, nothing failed, stopping is harmless.
  EXPECT_FALSE(source.currentFrame(frame));
  EXPECT_FALSE(source.streamFailed());
  source.stop();

  QElapsedTimer clock;
  clock.start();
  EXPECT_FALSE(source.start());
  EXPECT_LT(clock.elapsed(), 5000);
  // A backend may still push a test pattern for a missing device; none of it
  // may come out as a frame.
  EXPECT_FALSE(source.currentFrame(frame));
  EXPECT_FALSE(source.streamFailed());
  source.stop();
  source.stop();
}

TEST(QtCameraSource, CameraModeWithoutADeviceEndsThroughDeviceLost) {
  SKIP_WITH_A_CAMERA();
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
  testing::TempDir dir;
  testing::installMarkerScripts(dir.path());
  QElapsedTimer clock;
  clock.start();
  const auto result = testing::runInChild(
      dir.path(),
      [&self] {
        ::execl(self.c_str(), self.c_str(), kBuildWithoutDeviceArgument, static_cast<char*>(nullptr));
        ::_exit(98);
      },
      20s);
  EXPECT_FALSE(result.timedOut);
  EXPECT_TRUE(result.exited);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_LT(clock.elapsed(), 15000);
  EXPECT_TRUE(testing::waitForFile(dir / "res/Device_Lost.ran"));
  EXPECT_EQ(testing::scriptsThatRan(dir.path()), "Device_Lost");
}

}  // namespace
}  // namespace orvalis
