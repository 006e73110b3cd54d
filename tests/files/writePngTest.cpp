#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <vector>

#include "files/matchViewFiles.h"
#include "files/writePng.h"
#include "tests/support/pngReading.h"
#include "tests/support/testSupport.h"

namespace orvalis {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::readPng;
using testing::TempDir;

Bytes randomBgr(std::uint32_t width, std::uint32_t height, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes bytes(3 * std::size_t{width} * height);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
  return bytes;
}

TEST(WritePng, RoundTripsAnOddSizedPictureAsEightBitRgb) {
  TempDir dir;
  const Bytes picture = randomBgr(5, 3, 1);
  ASSERT_EQ(writePng((dir / "p.png").string(), picture.data(), 5, 3), 1);
  const testing::PngFile png = readPng(dir / "p.png");
  ASSERT_TRUE(png.ok);
  EXPECT_EQ(png.width, 5u);
  EXPECT_EQ(png.height, 3u);
  EXPECT_EQ(png.colorType, PNG_COLOR_TYPE_RGB);
  EXPECT_EQ(png.bitDepth, 8);
  EXPECT_EQ(png.bgr, picture);
}

TEST(WritePng, FailsWithoutLeavingAFile) {
  TempDir dir;
  const Bytes picture = randomBgr(4, 4, 2);
  EXPECT_EQ(writePng((dir / "missing" / "p.png").string(), picture.data(), 4, 4), 0);
  EXPECT_EQ(writePng((dir / "empty.png").string(), picture.data(), 0, 4), 0);
  EXPECT_EQ(writePng((dir / "empty.png").string(), picture.data(), 4, 0), 0);
  EXPECT_FALSE(std::filesystem::exists(dir / "empty.png"));
}

class MatchViewFiles : public ::testing::Test {
 protected:
  MatchViewFiles() {
    SearchState& s = ws->state;
    s.queryWidth = s.archiveWidth = 7;
    s.queryHeight = s.archiveHeight = 5;
    s.previewWidth = s.previewHeight = 4;
    s.previewCentre = 2;
    fill(ws->images.queryImage, 7, 5, 1);
    fill(ws->images.archiveImage, 7, 5, 2);
    fill(ws->images.templatePreview, 4, 4, 3);
    fill(ws->images.matchPreview, 4, 4, 4);
    fill(ws->images.differencePreview, 4, 4, 5);
  }
  static void fill(BgrImage& picture, std::uint32_t w, std::uint32_t h, std::uint32_t seed) {
    const Bytes bytes = randomBgr(w, h, seed);
    std::memcpy(picture.data(), bytes.data(), bytes.size());
  }
  static void expectFile(const std::filesystem::path& file, const BgrImage& picture, std::uint32_t w,
                         std::uint32_t h) {
    const testing::PngFile png = readPng(file);
    ASSERT_TRUE(png.ok) << file;
    EXPECT_EQ(png.width, w) << file;
    EXPECT_EQ(png.height, h) << file;
    EXPECT_TRUE(std::equal(png.bgr.begin(), png.bgr.end(), picture.data())) << file;
  }
  std::unique_ptr<Workspace> ws = std::make_unique<Workspace>();
  TempDir dir;
};

TEST_F(MatchViewFiles, WritesTheFiveViewsIntoANewFolder) {
  const std::filesystem::path folder = dir / "views" / "run1";
  ASSERT_EQ(writeMatchViews(*ws, folder.string()), 1);
  const ImageStore& im = ws->images;
  expectFile(folder / "query.png", im.queryImage, 7, 5);
  expectFile(folder / "archive.png", im.archiveImage, 7, 5);
  expectFile(folder / "template-preview.png", im.templatePreview, 4, 4);
  expectFile(folder / "match-preview.png", im.matchPreview, 4, 4);
  expectFile(folder / "difference-preview.png", im.differencePreview, 4, 4);
}

TEST_F(MatchViewFiles, ReportsTheFileThatCouldNotBeWritten) {
  // A folder that is a plain file cannot hold the views.
  testing::writeFile(dir / "taken", {1});
  std::string failed;
  EXPECT_EQ(writeMatchViews(*ws, (dir / "taken").string(), &failed), 0);
  EXPECT_EQ(failed, (dir / "taken" / "query.png").string());

  // Previews of side 0 (a viewfinder radius below 2) are not a picture.
  ws->state.previewWidth = ws->state.previewHeight = 0;
  EXPECT_EQ(writeMatchViews(*ws, (dir / "small").string(), &failed), 0);
  EXPECT_EQ(failed, (dir / "small" / "template-preview.png").string());
}

}  // namespace
}  // namespace orvalis
