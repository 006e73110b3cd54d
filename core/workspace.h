#pragma once

#include "core/imageStore.h"
#include "core/searchState.h"

namespace orvalis {

// The single owner of the search state and the image store. The program makes
// one at start-up and passes it by reference; tests make their own. It is
// large (about 107 MB of buffers plus 1 MB of ring arrays): allocate it with
// std::make_unique, never on the stack.
struct Workspace {
  SearchState state;
  ImageStore images;
};

}  // namespace orvalis
