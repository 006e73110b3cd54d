#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <tuple>

#include "files/matchViewFiles.h"
#include "files/writePng.h"
#include "tests/support/pngReading.h"
#include "tests/support/testSupport.h"

namespace orvalis {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Random bytes: no two pictures, and no two channels, alike.
Bytes randomBgr(std::uint32_t width, std::uint32_t height, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes bytes(3 * std::size_t{width} * height);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
  return bytes;
}

TEST(WritePng, RoundTripsAnOddSizedPictureOrFailsLeavingNoFile) {
  testing::TempDir dir;
  const Bytes picture = randomBgr(5, 3, 1);
  ASSERT_TRUE(writePng((dir / "p.png").string(), picture.data(), 5, 3));
  const testing::PngFile png = testing::readPng(dir / "p.png");
  EXPECT_TRUE(png.ok && png.width == 5 && png.height == 3);
  EXPECT_EQ(png.bgr, picture);
  EXPECT_FALSE(writePng((dir / "missing/p.png").string(), picture.data(), 4, 4));
  EXPECT_FALSE(writePng((dir / "empty.png").string(), picture.data(), 0, 4));
  EXPECT_FALSE(writePng((dir / "empty.png").string(), picture.data(), 4, 0));
  EXPECT_FALSE(std::filesystem::exists(dir / "empty.png"));
}

TEST(MatchViewFiles, WritesEachViewUnderItsNameOrNamesTheFileThatFailed) {
  testing::TempDir dir;
  const auto ws = std::make_unique<Workspace>();
  SearchState& s = ws->state;
  s.queryWidth = s.archiveWidth = 7;
  s.queryHeight = s.archiveHeight = 5;
  s.previewWidth = s.previewHeight = 4;
  ImageStore& im = ws->images;
  const std::tuple<const char*, BgrImage&, std::uint32_t, std::uint32_t> views[] = {
      {"query.png", im.queryImage, 7, 5},
      {"archive.png", im.archiveImage, 7, 5},
      {"template-preview.png", im.templatePreview, 4, 4},
      {"match-preview.png", im.matchPreview, 4, 4},
      {"difference-preview.png", im.differencePreview, 4, 4},
  };
  std::uint32_t seed = 0;
  for (const auto& [name, picture, width, height] : views) {
    const Bytes bytes = randomBgr(width, height, ++seed);
    std::memcpy(picture.data(), bytes.data(), bytes.size());
  }
  ASSERT_TRUE(writeMatchViews(*ws, (dir / "views/run1").string()));
  for (const auto& [name, picture, width, height] : views) {
    const testing::PngFile png = testing::readPng(dir / "views/run1" / name);
    EXPECT_TRUE(png.ok && png.width == width && png.height == height) << name;
    EXPECT_TRUE(std::equal(png.bgr.begin(), png.bgr.end(), picture.data())) << name;
  }

  // A folder that is a plain file can't hold the views; previews of side 0
  // (a viewfinder radius below 2) are no picture.
  testing::writeFile(dir / "taken", {1});
  std::string failed;
  EXPECT_FALSE(writeMatchViews(*ws, (dir / "taken").string(), &failed));
  EXPECT_EQ(failed, (dir / "taken/query.png").string());
  s.previewWidth = s.previewHeight = 0;
  EXPECT_FALSE(writeMatchViews(*ws, (dir / "small").string(), &failed));
  EXPECT_EQ(failed, (dir / "small/template-preview.png").string());
}

}  // namespace
}  // namespace orvalis
