#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "files/archiveNaming.h"

namespace orvalis {
namespace {

TEST(ArchiveFileName, TenDigitsOfTheIndexReadUnsigned) {
  EXPECT_STREQ(archiveFileName(0).c_str(), "Image_Archive/Image_0000000000.jpg");
  EXPECT_STREQ(archiveFileName(7).c_str(), "Image_Archive/Image_0000000007.jpg");
  EXPECT_STREQ(archiveFileName(123).c_str(), "Image_Archive/Image_0000000123.jpg");
  EXPECT_STREQ(archiveFileName(std::numeric_limits<std::int32_t>::max()).c_str(),
               "Image_Archive/Image_2147483647.jpg");
  EXPECT_STREQ(archiveFileName(-1).c_str(), "Image_Archive/Image_4294967295.jpg");
  EXPECT_STREQ(archiveFileName(-2).c_str(), "Image_Archive/Image_4294967294.jpg");
  EXPECT_STREQ(archiveFileName(std::numeric_limits<std::int32_t>::min()).c_str(),
               "Image_Archive/Image_2147483648.jpg");
  EXPECT_EQ(std::strlen(archiveFileName(-1).c_str()), 34u);
}

}  // namespace
}  // namespace orvalis
