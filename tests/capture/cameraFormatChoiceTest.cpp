#include <gtest/gtest.h>

#include <vector>

#include "capture/cameraFormatChoice.h"

namespace orvalis {
namespace {

using Offers = std::vector<CameraFormatOffer>;

TEST(CameraFormatChoice, PreferredSizeWinsOverLargerPictures) {
  const Offers offers = {{1920, 1080, 30, false}, {640, 480, 30, false}, {1280, 720, 30, false}};
  EXPECT_EQ(chooseCameraFormat(offers, 640, 480), 1);
  EXPECT_EQ(chooseCameraFormat(offers, 1280, 720), 2);
}

TEST(CameraFormatChoice, WithoutThePreferredSizeTheLargestFittingPicture) {
  const Offers offers = {
      {640, 480, 30, false}, {3840, 2160, 30, false}, {1920, 1200, 5, false}, {1280, 720, 60, false}};
  EXPECT_EQ(chooseCameraFormat(offers, 0, 0), 2);
  EXPECT_EQ(chooseCameraFormat(offers, 800, 600), 2);
  // A preferred size beyond the store is never asked for.
  EXPECT_EQ(chooseCameraFormat(offers, 3840, 2160), 2);
}

TEST(CameraFormatChoice, TiesGoToUncompressedThenFasterThenFirst) {
  const Offers offers = {
      {640, 480, 30, true}, {640, 480, 15, false}, {640, 480, 30, false}, {640, 480, 30, false}};
  EXPECT_EQ(chooseCameraFormat(offers, 640, 480), 2);
  EXPECT_EQ(chooseCameraFormat(offers, 0, 0), 2);
}

TEST(CameraFormatChoice, NothingFittingLeavesTheDeviceDefault) {
  EXPECT_EQ(chooseCameraFormat(Offers{}, 640, 480), -1);
  const Offers tooBig = {{3840, 2160, 30, false}, {0, 0, 30, false}, {1921, 1200, 30, false}};
  EXPECT_EQ(chooseCameraFormat(tooBig, 0, 0), -1);
  // The portrait twin of the largest picture fits.
  const Offers portrait = {{1200, 1920, 30, false}};
  EXPECT_EQ(chooseCameraFormat(portrait, 0, 0), 0);
}

}  // namespace
}  // namespace orvalis
