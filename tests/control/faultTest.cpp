// Faults met in the field, each run for real in a temporary working folder:
// a res folder that can't be written, scripts that are missing or not
// executable, archive pictures that vanish, rot or grow during the walk.

#include <unistd.h>

#include "tests/control/controlFixture.h"

namespace orvalis::testing {
namespace {

namespace fs = std::filesystem;

using Faults = ControlTest;

TEST_F(Faults, ReadOnlyResFolderLetsStartUpSucceedAndEndsTheFirstCommand) {
  stillFolder({distractor(1)});
  fs::permissions(dir / "res", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                   fs::perms::group_exec);
  if (::access((dir / "res").c_str(), W_OK) == 0) {
    GTEST_SKIP() << "this user writes through read-only folders (root); "
                    "Exits.UnwritableParametersFileEndsTheFirstCommandWithNoScript covers the case";
  }
  const auto r = inChild([&] {
    control().startUp();
    control().onTimerTick();
    control().enterAdjustMode();
    control().growViewfinder();
    std::_Exit(5);
  });
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(onlyScriptsRan({}));
}

TEST_F(Faults, MissingOrNonExecutableScriptsStillExitWithCodeOne) {
  writeArchive({queryPicture()});  // no backdrop: Missing_Resources
  fs::remove(dir / "res/Missing_Resources.sh");
  auto r = inChild([&] { control().startUp(); });
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 1);

  writeTextFile(dir / "res/Missing_Resources.sh", ": > res/Missing_Resources.ran\n");  // not executable
  r = inChild([&] { control().startUp(); });
  EXPECT_EQ(r.exitCode, 1);
  // Scripts run through /bin/sh, so the missing execute bit does not stop them.
  EXPECT_TRUE(onlyScriptsRan({"Missing_Resources"}));
}

TEST_F(Faults, StillWalkEndsWhereAPictureVanishesOrRots) {
  for (const bool rot : {false, true}) {
    stillFolder({distractor(1), distractor(2), distractor(3), distractor(4)});
    auto workspace = std::make_unique<Workspace>();
    SearchControl c(*workspace, window, camera, exitPath);
    c.startUp();
    c.onTimerTick();  // picture 0
    if (rot) {
      writeFile(dir / "Image_Archive/Image_0000000002.jpg", {0xFF, 0xD8, 0xFF, 0xDB, 0, 0x43, 1, 2, 3});
    } else {
      fs::remove(dir / "Image_Archive/Image_0000000002.jpg");
    }
    c.onTimerTick();  // picture 1
    c.onTimerTick();  // 2 is gone: picture 1 again, then the walk is over
    EXPECT_EQ(workspace->state.archiveIndex, 1) << (rot ? "rotten" : "deleted");
    EXPECT_EQ(workspace->state.archiveExhausted, 1);
    EXPECT_EQ(workspace->state.archiveWidth, kWidth);
    c.onTimerTick();
    EXPECT_EQ(workspace->state.archiveIndex, 1);
  }
}

TEST_F(Faults, CameraWalkStartsOverWhereAPictureRotsOrIsTooLarge) {
  writeBackdrop();
  writeArchive({distractor(1), distractor(2), distractor(3)});
  control().startUp();
  control().onTimerTick();  // picture 0
  writeFile(dir / "Image_Archive/Image_0000000001.jpg",
            encodeJpeg(solidPicture(1921, 1200, 9, 9, 9), 50, JpegKind::Color420));
  const int grabs = camera.grabs;
  control().onTimerTick();  // 1 is refused: fresh frame, picture 0
  EXPECT_EQ(state().archiveIndex, 0);
  EXPECT_EQ(camera.grabs, grabs + 1);
  EXPECT_EQ(state().archiveWidth, kWidth);
}

TEST_F(Faults, OversizedPictureMidArchiveEndsTheStillWalkWithoutTouchingTheBuffers) {
  stillFolder({distractor(1), distractor(2)});
  control().startUp();
  control().onTimerTick();
  control().onTimerTick();  // picture 1 now in the archive buffer, gray
  std::vector<std::uint8_t> shown(ws->images.archiveB.data(), ws->images.archiveB.data() + kWidth * kHeight);
  writeArchivePicture(2, solidPicture(1920, 1201, 200, 10, 10));
  control().onTimerTick();  // 2 is refused: picture 1 again, walk over
  EXPECT_EQ(state().archiveIndex, 1);
  EXPECT_EQ(state().archiveExhausted, 1);
  EXPECT_TRUE(std::equal(shown.begin(), shown.end(), ws->images.archiveB.data()));
}

}  // namespace
}  // namespace orvalis::testing
