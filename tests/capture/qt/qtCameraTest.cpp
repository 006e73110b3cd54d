// Camera mode on a machine without a camera, and the test program's
// main: given kWithoutDevice as its only argument it runs camera mode's
// start-up as a fresh process instead of the tests, since a child forked from
// a process that already runs Qt's threads can't start Qt again.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QMediaDevices>
#include <string_view>

#include "capture/qt/qtCamera.h"
#include "control/captureGraph.h"
#include "tests/support/childProcess.h"
#include "tests/support/testSupport.h"

namespace orvalis {
namespace {

constexpr char kWithoutDevice[] = "--orvalis-build-capture-graph-without-device";

TEST(QtCameraSource, CameraModeWithoutADeviceEndsThroughDeviceLost) {
  if (!QMediaDevices::videoInputs().isEmpty()) GTEST_SKIP() << "a camera is attached";
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
  testing::TempDir dir;
  testing::installMarkerScripts(dir.path());
  const auto result = testing::runInChild(dir.path(), [&self] {
    ::execl(self.c_str(), self.c_str(), kWithoutDevice, static_cast<char*>(nullptr));
    ::_exit(98);
  });
  EXPECT_EQ(result.exitCode, 1);  // -1: killed or timed out
  EXPECT_TRUE(testing::waitForFile(dir / "res/Device_Lost.ran"));
  const auto ran = testing::readFile(dir / "res/markers.txt");
  EXPECT_EQ(std::string(ran.begin(), ran.end()), "Device_Lost\n") << "the scripts that ran";
}

}  // namespace
}  // namespace orvalis

int main(int argc, char** argv) {
  // Test discovery runs the program without the test environment.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  if (argc == 2 && std::string_view(argv[1]) == orvalis::kWithoutDevice) {
    orvalis::QtCameraSource source;
    orvalis::ProcessExitPath exitPath;
    orvalis::buildCaptureGraph(source, exitPath);
    return 0;  // a device was there after all
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
