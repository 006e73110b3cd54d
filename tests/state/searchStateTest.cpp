#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "state/workspace.h"

namespace orvalis {
namespace {

TEST(ImageStore, BuffersStartZeroedEvenWhereAnotherStoreWasUsed) {
  // The views show the untouched buffers black until a tick fills them.
  for (int round = 0; round < 3; ++round) {
    auto ws = std::make_unique<Workspace>();
    for (const FixedBuffer<kImageCapacity>* image : {&ws->images.queryImage, &ws->images.archiveImage}) {
      EXPECT_TRUE(std::all_of(image->data(), image->data() + kImageCapacity, [](auto b) { return b == 0; }));
    }
    EXPECT_TRUE(std::all_of(ws->images.archiveGray.data(), ws->images.archiveGray.data() + kPlaneCapacity,
                            [](auto b) { return b == 0; }));
    std::memset(ws->images.queryImage.data(), 0xA5, kImageCapacity);
    std::memset(ws->images.archiveImage.data(), 0xA5, kImageCapacity);
    std::memset(ws->images.archiveGray.data(), 0xA5, kPlaneCapacity);
  }
}

}  // namespace
}  // namespace orvalis
