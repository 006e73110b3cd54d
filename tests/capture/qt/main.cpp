#include <gtest/gtest.h>

#include <QGuiApplication>
#include <string_view>

#include "capture/qt/qtCamera.h"
#include "control/captureGraph.h"
#include "tests/capture/qt/qtTestMain.h"

namespace {

// Camera mode's start on a machine without a camera: ends the process.
int buildCaptureGraphWithoutDevice() {
  orvalis::QtCameraSource source;
  orvalis::ProcessExitPath exitPath;
  orvalis::buildCaptureGraph(source, exitPath);
  return 0;  // a device was there after all
}

}  // namespace

int main(int argc, char** argv) {
  // Test discovery runs the program without the test environment.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  if (argc == 2 && std::string_view(argv[1]) == kBuildWithoutDeviceArgument) {
    return buildCaptureGraphWithoutDevice();
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
