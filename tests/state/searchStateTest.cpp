#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "state/workspace.h"

namespace orvalis {
namespace {

// The views show the untouched buffers black until a tick fills them, even
// where a store used before left its bytes.
TEST(ImageStore, BuffersStartZeroedEvenWhereAnotherStoreWasUsed) {
  for (int round = 0; round < 3; ++round) {
    auto ws = std::make_unique<Workspace>();
    for (FixedBuffer<kImageCapacity>* image : {&ws->images.queryImage, &ws->images.archiveImage}) {
      EXPECT_TRUE(std::all_of(image->data(), image->data() + kImageCapacity, [](auto b) { return b == 0; }));
      std::memset(image->data(), 0xA5, kImageCapacity);
    }
  }
}

}  // namespace
}  // namespace orvalis
