// Replays the committed corpus of damaged inputs: every input the loaders were
// ever fed to find a fault stays in the corpus and in this test.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "files/loadJpeg.h"
#include "files/parametersFile.h"
#include "tests/support/testSupport.h"

namespace orvalis {
namespace {

namespace fs = std::filesystem;

fs::path corpus(const char* folder) {
  return fs::path(ORVALIS_SOURCE_DIR) / "tests/data/corpus" / folder;
}

std::vector<fs::path> filesIn(const fs::path& folder) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(folder)) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

TEST(CorpusReplay, JpegLoaderAcceptsOnlyTheIntactPictures) {
  auto image = std::make_unique<BgrImage>();
  const auto files = filesIn(corpus("jpeg"));
  ASSERT_GT(files.size(), 30u);
  for (const fs::path& file : files) {
    const std::string name = file.filename().string();
    std::uint32_t h = 7, w = 7;
    const int ok = loadJpeg(file.c_str(), *image, w, h);
    if (ok == 1) {
      EXPECT_TRUE(fitsImageCapacity(w, h)) << name;
    } else {
      EXPECT_EQ(h + w, 0u) << name;
    }
    if (name.rfind("ok-", 0) == 0) {
      EXPECT_EQ(ok, 1) << name;
    } else if (name.rfind("bad-", 0) == 0) {
      EXPECT_EQ(ok, 0) << name;
    }
  }
}

TEST(CorpusReplay, JpegLoaderRefusesAFolderInPlaceOfAFile) {
  testing::TempDir dir;
  fs::create_directories(dir / "Image_0000000000.jpg");
  auto image = std::make_unique<BgrImage>();
  std::uint32_t h = 7, w = 7;
  EXPECT_EQ(loadJpeg((dir / "Image_0000000000.jpg").c_str(), *image, w, h), 0);
  EXPECT_EQ(h + w, 0u);
}

TEST(CorpusReplay, ParametersOfEveryLengthKeepWhatTheyDontHoldAndStayUsable) {
  const SearchParameters before{2, 3, 4, 10, 11, 12, 13};
  const SearchParameters full{4, 8, 16, 25, 240, 320, 80};
  for (const fs::path& file : filesIn(corpus("parameters"))) {
    const std::string name = file.filename().string();
    SearchParameters p = before;
    loadParameters(p, file.c_str());
    EXPECT_GE(p.framesPerSecond, 1u) << name;
    EXPECT_LE(p.filterRadius, kMaxFilterRadius) << name;
    EXPECT_LE(p.viewfinderRadius, kMaxViewfinderRadius) << name;
    if (name.rfind("length-", 0) != 0) continue;
    const std::size_t size = fs::file_size(file);
    // Each field is taken only when the file holds all of its bytes.
    EXPECT_EQ(p.framesPerSecond, size >= 4 ? full.framesPerSecond : before.framesPerSecond) << name;
    EXPECT_EQ(p.filterRadius, size >= 8 ? full.filterRadius : before.filterRadius) << name;
    EXPECT_EQ(p.colorTolerance, size >= 9 ? full.colorTolerance : before.colorTolerance) << name;
    EXPECT_EQ(p.viewfinderStep, size >= 13 ? full.viewfinderStep : before.viewfinderStep) << name;
    EXPECT_EQ(p.viewfinderY, size >= 17 ? full.viewfinderY : before.viewfinderY) << name;
    EXPECT_EQ(p.viewfinderX, size >= 21 ? full.viewfinderX : before.viewfinderX) << name;
    EXPECT_EQ(p.viewfinderRadius, size >= 25 ? full.viewfinderRadius : before.viewfinderRadius) << name;
  }
}

}  // namespace
}  // namespace orvalis
