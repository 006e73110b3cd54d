#include "matching/searchSteps.h"

#include <cstdio>
#include <cstdlib>

#include "imaging/circularMeanFilter.h"
#include "imaging/pixelConversions.h"
#include "imaging/pixelConversionsFast.h"
#include "matching/archiveScan.h"
#include "matching/ringSignature.h"

namespace orvalis {

namespace {

void releaseKernelMemory(KernelMemory* memory) {
  delete memory;
}

bool fast(const Workspace& workspace) {
  return workspace.kernels == Kernels::Fast;
}

// One side of the search: a picture, its channels and its size.
struct Side {
  BgrImage& picture;
  ColorPlane &blue, &green, &red;
  std::uint32_t width, height;
};

Side querySide(Workspace& workspace) {
  ImageStore& im = workspace.images;
  return {im.queryImage,
          im.queryB,
          im.queryG,
          im.queryR,
          workspace.state.queryWidth,
          workspace.state.queryHeight};
}

Side archiveSide(Workspace& workspace) {
  ImageStore& im = workspace.images;
  return {im.archiveImage,
          im.archiveB,
          im.archiveG,
          im.archiveR,
          workspace.state.archiveWidth,
          workspace.state.archiveHeight};
}

void split(Workspace& workspace, const Side& side) {
  if (fast(workspace)) {
    splitPlanesFast(kernelMemory(workspace).pool, side.picture.data(), side.width, side.height,
                    side.blue.data(), side.green.data(), side.red.data());
  } else {
    splitPlanes(side.picture.data(), side.width, side.height, side.blue.data(), side.green.data(),
                side.red.data());
  }
}

void drawGray(Workspace& workspace, const Side& side) {
  if (fast(workspace)) {
    grayToBgrFast(kernelMemory(workspace).pool, side.blue.data(), side.green.data(), side.red.data(),
                  side.width, side.height, side.picture.data());
  } else {
    grayToBgr(side.blue.data(), side.green.data(), side.red.data(), side.width, side.height,
              side.picture.data());
  }
}

// Planes and filtered planes in blue, green, red order.
struct FilterPlanes {
  const ColorPlane* planes[3];
  ColorPlane* filtered[3];
  ColorPlane* gray;
};

void filterToGray(Workspace& workspace, const FilterPlanes& p, std::uint32_t width, std::uint32_t height) {
  const ColorPlane* const* planes = p.planes;
  ColorPlane* const* filtered = p.filtered;
  ImageStore& images = workspace.images;
  const std::uint32_t radius = workspace.state.filterRadius;
  buildDiscMask(radius, images.discMask.data(), images.discMaskCount);
  if (fast(workspace)) {
    KernelMemory& memory = kernelMemory(workspace);
    circularMeanFilterFast(memory.pool, memory.filter, planes[0]->data(), planes[1]->data(),
                           planes[2]->data(), filtered[0]->data(), filtered[1]->data(), filtered[2]->data(),
                           width, height, radius, images.discMask.data(), images.discMaskCount);
    grayPlaneFast(memory.pool, filtered[0]->data(), filtered[1]->data(), filtered[2]->data(), width, height,
                  p.gray->data());
  } else {
    circularMeanFilter(planes[0]->data(), planes[1]->data(), planes[2]->data(), filtered[0]->data(),
                       filtered[1]->data(), filtered[2]->data(), width, height, radius,
                       images.discMask.data(), images.discMaskCount);
    grayPlane(filtered[0]->data(), filtered[1]->data(), filtered[2]->data(), width, height, p.gray->data());
  }
}

}  // namespace

void useKernels(Workspace& workspace, Kernels kernels, unsigned lanes) {
  workspace.kernels = kernels;
  if (kernels == Kernels::Fast) {
    workspace.kernelMemory.reset();
    workspace.kernelMemory = {new KernelMemory(lanes == 0 ? hardwareLanes() : lanes),
                              KernelMemoryRelease{releaseKernelMemory}};
  }
}

KernelMemory& kernelMemory(Workspace& workspace) {
  if (!workspace.kernelMemory) {
    std::fputs("orvalis: the fast kernels were used before useKernels made their memory\n", stderr);
    std::abort();
  }
  return *workspace.kernelMemory;
}

void splitQueryPlanes(Workspace& workspace) {
  split(workspace, querySide(workspace));
}

void splitArchivePlanes(Workspace& workspace) {
  split(workspace, archiveSide(workspace));
}

void drawQueryGray(Workspace& workspace) {
  drawGray(workspace, querySide(workspace));
}

void drawArchiveGray(Workspace& workspace) {
  drawGray(workspace, archiveSide(workspace));
}

bool buildTemplateSignature(Workspace& workspace) {
  const SearchState& s = workspace.state;
  ImageStore& images = workspace.images;
  // Checks first: the sampling reads wherever the viewfinder says.
  if (!templateBuildable(s)) return false;
  filterToGray(workspace,
               {{&images.queryB, &images.queryG, &images.queryR},
                {&images.queryFilteredB, &images.queryFilteredG, &images.queryFilteredR},
                &images.queryGray},
               s.queryWidth, s.queryHeight);
  sampleTemplateSignature(workspace);
  return true;
}

bool filterArchiveImage(Workspace& workspace) {
  const SearchState& s = workspace.state;
  ImageStore& images = workspace.images;
  if (!fitsImageCapacity(s.archiveWidth, s.archiveHeight) || s.filterRadius > kMaxFilterRadius) return false;
  filterToGray(workspace,
               {{&images.archiveB, &images.archiveG, &images.archiveR},
                {&images.archiveFilteredB, &images.archiveFilteredG, &images.archiveFilteredR},
                &images.archiveGray},
               s.archiveWidth, s.archiveHeight);
  return true;
}

bool scanArchiveImage(Workspace& workspace, double radius) {
  if (!fast(workspace)) return scanArchiveImageReference(workspace, radius);
  KernelMemory& memory = kernelMemory(workspace);
  return scanArchiveImageFast(workspace, memory.scan, memory.pool, radius);
}

bool findMatches(Workspace& workspace, double radius) {
  SearchState& state = workspace.state;
  const SearchProfile& profile = workspace.profile;
  // Copies dropped by the score are avoided as well as those reported; a
  // picture that fills this many stops there.
  constexpr std::uint32_t kMaxAvoided = 4 * kMaxMatches;
  FoundMatch avoided[kMaxAvoided];
  ScanPass pass;
  pass.profile = &profile;
  pass.avoid = avoided;
  const LightModel light = lightModelOf(state);
  if (profile.light) pass.light = &light;
  workspace.foundCount = 0;
  while (workspace.foundCount < profile.matches && pass.avoidCount < kMaxAvoided) {
    PassHit hit;
    const bool found = fast(workspace) ? scanPassFast(workspace, kernelMemory(workspace).scan,
                                                      kernelMemory(workspace).pool, radius, pass, hit)
                                       : scanPassReference(workspace, radius, pass, hit);
    if (!found) break;
    const FoundMatch match{state.matchX, state.matchY, radius, state.matchAngle, state.consensusAngleDeg,
                           1.0,          hit.score};
    avoided[pass.avoidCount++] = match;
    if (match.score <= profile.maxScore) workspace.found[workspace.foundCount++] = match;
    pass.startRow = hit.firstRow;
    pass.startColumn = hit.firstColumn + 1;
  }
  state.matchFound = workspace.foundCount > 0 ? 1 : 0;
  if (state.matchFound) {
    const FoundMatch& first = workspace.found[0];
    state.matchX = first.x;
    state.matchY = first.y;
    state.matchRadius = first.radius;
    state.matchAngle = first.angle;
    state.consensusAngleDeg = first.angleDeg;
  }
  return state.matchFound != 0;
}

}  // namespace orvalis
