// Every fatal condition of start-up, the timer cycle and the commands, run as
// a real process in a temporary working folder: the exit code, and exactly
// which scripts ran.

#include <sys/stat.h>

#include "tests/control/controlFixture.h"

namespace orvalis::testing {
namespace {

namespace fs = std::filesystem;

using Exits = ControlTest;

TEST_F(Exits, StartUpFilesThatAreMissingOrNoFileActAsMissing) {
  // A FIFO in a file's place is refused at once, like a missing file; opened
  // the plain way it blocked start-up forever (hence the child's deadline).
  const auto fifo = [](const fs::path& file) {
    fs::remove(file);
    ::mkfifo(file.c_str(), 0644);
  };
  const fs::path backdrop = "res/Dark_Gray_Square.jpg", first = "Image_Archive/Image_0000000000.jpg",
                 still = "Image_Archive/Current_Image.jpg", parameters = "res/Combo_Box_Parameters.bin";
  struct Case {
    const char* what;
    std::function<void()> spoil;
    int exitCode;
    std::vector<std::string> scripts;
  };
  const Case cases[] = {
      {"backdrop missing", [&] { fs::remove(backdrop); }, 1, {"Missing_Resources"}},
      {"backdrop a FIFO", [&] { fifo(backdrop); }, 1, {"Missing_Resources"}},
      {"picture 0 missing", [&] { fs::remove(first); }, 1, {"Missing_Resources"}},
      {"picture 0 a FIFO", [&] { fifo(first); }, 1, {"Missing_Resources"}},
      // No still query: camera mode, whose camera here fails to start.
      {"still query a FIFO", [&] { fifo(still); }, 1, {"Scanner_Mode", "Device_Lost"}},
      // No parameters: the defaults, and start-up goes on (exit 0 below).
      {"parameters a FIFO", [&] { fifo(parameters); }, 0, {}},
      {"parameters a folder", [&] { fs::create_directories(parameters); }, 0, {}},
  };
  camera.failStart = true;
  for (const Case& c : cases) {
    fs::remove_all(dir / "res");
    fs::remove_all(dir / "Image_Archive");
    installMarkerScripts(dir.path());
    stillFolder({distractor(1)});
    c.spoil();
    const auto r = inChild([&] {
      control().startUp();
      std::_Exit(state().filterRadius == kDefaultParameters.filterRadius ? 0 : 4);
    });
    EXPECT_FALSE(r.timedOut) << c.what;
    EXPECT_EQ(r.exitCode, c.exitCode) << c.what;
    EXPECT_TRUE(onlyScriptsRan(c.scripts)) << c.what;
  }
}

TEST_F(Exits, MissingResFolderStillExitsWithCodeOne) {
  fs::remove_all(dir / "res");
  writeArchive({queryPicture()});
  const auto r = inChild([&] { control().startUp(); });
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 1);
}

TEST_F(Exits, StillQueryOfAnotherSizeRunsCurrentDatabaseMismatchEvenWithACamera) {
  writeBackdrop();
  writeArchive({queryPicture()});
  writeStillQuery(texturedPicture(kWidth + 2, kHeight, 1));
  const auto r = inChild([&] { control().startUp(); });
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(onlyScriptsRan({"Current_Database_Mismatch"}));
}

TEST_F(Exits, NoStillQueryAndNoCameraRunsScannerModeThenDeviceLost) {
  writeBackdrop();
  writeArchive({queryPicture()});
  camera.failStart = true;
  const auto r = inChild([&] { control().startUp(); });
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(onlyScriptsRan({"Scanner_Mode", "Device_Lost"}));
}

TEST_F(Exits, FirstFrameThatCantBeGrabbedRunsDeviceLost) {
  writeBackdrop();
  writeArchive({queryPicture()});
  camera.failGrab = true;
  const auto r = inChild([&] { control().startUp(); });
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(onlyScriptsRan({"Scanner_Mode", "Device_Lost"}));
}

TEST_F(Exits, StillWalkMeetingAnotherSizeRunsOnlyCurrentDatabaseMismatch) {
  stillFolder({distractor(1), texturedPicture(kWidth, kHeight + 4, 2)});
  const auto r = inChild([&] {
    control().startUp();
    for (int i = 0; i < 5; ++i) control().onTimerTick();
    std::_Exit(5);  // not reached: the second picture ends the process
  });
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(onlyScriptsRan({"Current_Database_Mismatch"}));
}

// Records the camera's release in a file, so the parent sees it happen before
// the mismatch exit.
class RecordingCamera : public FakeCamera {
 public:
  using FakeCamera::FakeCamera;
  void stop() override {
    FakeCamera::stop();
    writeTextFile("res/camera-released", "");
  }
};

TEST_F(Exits, CameraWalkMeetingAnotherSizeReleasesTheCameraThenRunsScannerDatabaseMismatch) {
  writeBackdrop();
  writeArchive({texturedPicture(kWidth + 4, kHeight, 2)});
  const auto r = inChild([&] {
    RecordingCamera recording({queryPicture()});
    SearchControl c(*ws, window, recording, exitPath);
    c.startUp();
    c.onTimerTick();
    std::_Exit(5);
  });
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(fs::exists(dir / "res/camera-released"));
  EXPECT_TRUE(onlyScriptsRan({"Scanner_Mode", "Scanner_Database_Mismatch"}));
}

TEST_F(Exits, CameraLostDuringTheSearchRunsDeviceLost) {
  writeBackdrop();
  writeArchive({distractor(1)});
  const auto stream = inChild([&] {
    control().startUp();
    control().onTimerTick();
    camera.failStream = true;
    control().onTimerTick();
    std::_Exit(5);
  });
  EXPECT_EQ(stream.exitCode, 1);
  EXPECT_TRUE(onlyScriptsRan({"Scanner_Mode", "Device_Lost"}));
}

TEST_F(Exits, FrameLostAtTheRestartOfTheWalkRunsDeviceLost) {
  writeBackdrop();
  writeArchive({distractor(1)});
  const auto grab = inChild([&] {
    control().startUp();
    camera.failGrab = true;
    control().onTimerTick();  // -1: the fresh frame can't be grabbed
    std::_Exit(5);
  });
  EXPECT_EQ(grab.exitCode, 1);
  EXPECT_TRUE(onlyScriptsRan({"Scanner_Mode", "Device_Lost"}));
}

TEST_F(Exits, LostCameraIsNoticedEvenAfterTheSearchStopped) {
  writeBackdrop();
  writeArchive({queryPicture()});
  const auto r = inChild([&] {
    control().startUp();
    control().onTimerTick();
    if (state().searchStopped != 1) std::_Exit(6);
    camera.failStream = true;
    control().onTimerTick();
    std::_Exit(5);
  });
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(onlyScriptsRan({"Scanner_Mode", "Device_Lost"}));
}

TEST_F(Exits, UnwritableParametersFileEndsTheFirstCommandWithNoScript) {
  stillFolder({distractor(1)});
  // A folder in the file's place can't be opened for writing, even by root.
  fs::create_directories(dir / "res/Combo_Box_Parameters.bin");
  const auto r = inChild([&] {
    control().startUp();  // start-up reads defaults and succeeds
    control().enterAdjustMode();
    control().moveViewfinderUp();
    std::_Exit(5);
  });
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(onlyScriptsRan({}));
}

}  // namespace
}  // namespace orvalis::testing
