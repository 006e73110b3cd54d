// Faults met in the field, each run for real in a temporary working folder:
// a res folder that can't be written, scripts that are missing or not
// executable, archive pictures that vanish, rot, turn into a FIFO or grow
// during the walk.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

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

TEST_F(Faults, StillWalkEndsWhereAPictureVanishesOrIsRefusedAndSaysWhy) {
  // A missing number is the quiet end of the archive; a refused picture ends
  // the walk the same way, with one line on standard error naming the file
  // and the reason. In a child with a deadline: a FIFO once blocked the tick.
  struct Case {
    const char* what;
    std::function<void(const fs::path&)> spoil;
    const char* reason;  // "" for no line
  };
  const Case cases[] = {
      {"deleted", [](const fs::path& f) { fs::remove(f); }, ""},
      {"rotten",
       [](const fs::path& f) {
         writeFile(f, {0xFF, 0xD8, 0xFF, 0xDB, 0, 0x43, 1, 2, 3});
       },
       "damaged (Premature end of JPEG file)"},
      {"a FIFO",
       [](const fs::path& f) {
         fs::remove(f);
         ::mkfifo(f.c_str(), 0644);
       },
       "not a regular file"},
  };
  for (const Case& c : cases) {
    stillFolder({distractor(1), distractor(2), distractor(3), distractor(4)});
    fs::remove(dir / "stderr.txt");
    const auto r = inChild([&] {
      if (std::freopen("stderr.txt", "w", stderr) == nullptr) std::_Exit(3);
      control().startUp();
      control().onTimerTick();  // picture 0
      c.spoil("Image_Archive/Image_0000000002.jpg");
      control().onTimerTick();  // picture 1
      control().onTimerTick();  // 2 can't be loaded: picture 1 again, then the walk is over
      const bool ended =
          state().archiveIndex == 1 && state().archiveExhausted == 1 && state().archiveWidth == kWidth;
      control().onTimerTick();
      std::_Exit(ended && state().archiveIndex == 1 ? 0 : 4);
    });
    EXPECT_FALSE(r.timedOut) << c.what;
    EXPECT_EQ(r.exitCode, 0) << c.what;
    const auto bytes = readFile(dir / "stderr.txt");
    const std::string expected = *c.reason == '\0' ? ""
                                                   : "orvalis: archive picture "
                                                     "'Image_Archive/Image_0000000002.jpg' refused: " +
                                                         std::string(c.reason) + "\n";
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected) << c.what;
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
