#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "state/imageStore.h"
#include "state/searchProfile.h"
#include "state/searchState.h"

namespace orvalis {

// Which implementation of the numeric kernels (conversions, filter, ring
// sampling, candidate test, alignment, scan) the search uses. Both give the
// same results bit for bit; the reference ones are the plain, literal
// formulations, kept so that anyone can compare the two.
enum class Kernels { Fast, Reference };

// The fast kernels' worker pool and working memory. Defined with the kernels
// (matching/searchSteps.h, whose useKernels makes it); this record only owns
// it, so that every workspace has threads and scratch of its own.
struct KernelMemory;
struct KernelMemoryRelease {
  void (*release)(KernelMemory*) = nullptr;
  void operator()(KernelMemory* memory) const noexcept {
    if (release != nullptr) release(memory);
  }
};

// The single owner of the search state, the image store and the kernels'
// threads and memory. The program makes one at start-up and passes it by
// reference; tests make their own. It is large (about 85 MB of buffers plus
// 1 MB of ring arrays): allocate it with std::make_unique, never on the
// stack.
// The template's side of the ring signature, kept while the search of other
// sizes puts templates filtered at other radii in its place.
struct TemplateSignature {
  double centreValue = 0;
  double ringProfile[kRingCount][kMaxRingSamples] = {};
  std::int32_t ringHist[kRingCount][256] = {};
  double ringMean[kRingCount] = {};
};

struct Workspace {
  SearchState state;
  // What the search asks beyond the plain one, and the copies the last
  // picture gave under it (the first is the one the match fields describe).
  SearchProfile profile;
  FoundMatch found[kMaxMatches];
  std::uint32_t foundCount = 0;
  TemplateSignature ownTemplate;
  ImageStore images;
  Kernels kernels = Kernels::Fast;
  std::unique_ptr<KernelMemory, KernelMemoryRelease> kernelMemory;
  // Set by the window's thread to end a scan running on another thread when
  // the program closes: the scan then stops within a few rows and reports
  // no match, a result nobody reads. Every other scan runs to its end.
  std::atomic<bool> abandonScan{false};
  // How far the scan in progress has got, for whoever reports progress from
  // another thread: rows of centres done out of the rows it searches, and
  // the archive number the headless walk is at.
  std::atomic<std::uint32_t> scanRowsDone{0}, scanRows{0}, scanPicture{0};
};

}  // namespace orvalis
