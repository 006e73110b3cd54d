#include <gtest/gtest.h>

#include <vector>

#include "capture/cameraFormatChoice.h"

namespace orvalis {
namespace {

TEST(CameraFormatChoice, PreferredSizeThenLargestFittingThenUncompressedThenFasterThenFirst) {
  const std::vector<CameraFormatOffer> sizes = {
      {640, 480, 30, false}, {3840, 2160, 30, false}, {1920, 1200, 5, false}, {1280, 720, 60, false}};
  const std::vector<CameraFormatOffer> ties = {
      {640, 480, 30, true}, {640, 480, 15, false}, {640, 480, 30, false}, {640, 480, 30, false}};
  const std::vector<CameraFormatOffer> tooBig = {
      {3840, 2160, 30, false}, {0, 0, 30, false}, {1921, 1200, 30, false}};
  struct Case {
    const char* what;
    std::vector<CameraFormatOffer> offers;
    std::uint32_t preferredWidth, preferredHeight;
    int chosen;  // -1: the device's default
  };
  const Case cases[] = {
      {"the preferred size over larger ones", sizes, 1280, 720, 3},
      {"no preference: the largest fitting", sizes, 0, 0, 2},
      {"a preference not offered: the largest fitting", sizes, 800, 600, 2},
      {"a preference beyond the store is never asked for", sizes, 3840, 2160, 2},
      {"equal sizes: uncompressed, then faster, then first", ties, 640, 480, 2},
      {"nothing fits", tooBig, 0, 0, -1},
      {"nothing offered", {}, 640, 480, -1},
      {"the portrait twin of the largest fits", {{1200, 1920, 30, false}}, 0, 0, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(chooseCameraFormat(c.offers, c.preferredWidth, c.preferredHeight), c.chosen) << c.what;
}

}  // namespace
}  // namespace orvalis
