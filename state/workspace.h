#pragma once

#include "state/imageStore.h"
#include "state/searchState.h"

namespace orvalis {

// Which implementation of the numeric kernels (filter, ring sampling,
// candidate test, alignment, scan) the search uses. Both give the same
// results bit for bit; the reference ones are the plain, literal
// formulations, kept so that anyone can compare the two.
enum class Kernels { Fast, Reference };

// The single owner of the search state and the image store. The program makes
// one at start-up and passes it by reference; tests make their own. It is
// large (about 107 MB of buffers plus 1 MB of ring arrays): allocate it with
// std::make_unique, never on the stack.
struct Workspace {
  SearchState state;
  ImageStore images;
  Kernels kernels = Kernels::Fast;
};

}  // namespace orvalis
