#include "matching/searchSteps.h"

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

void split(Workspace& workspace, const BgrImage& picture, std::uint32_t width, std::uint32_t height,
           ColorPlane& blue, ColorPlane& green, ColorPlane& red) {
  if (fast(workspace)) {
    splitPlanesFast(kernelMemory(workspace).pool, picture.data(), width, height, blue.data(), green.data(),
                    red.data());
  } else {
    splitPlanes(picture.data(), width, height, blue.data(), green.data(), red.data());
  }
}

void drawGray(Workspace& workspace, const ColorPlane& blue, const ColorPlane& green, const ColorPlane& red,
              std::uint32_t width, std::uint32_t height, BgrImage& picture) {
  if (fast(workspace)) {
    grayToBgrFast(kernelMemory(workspace).pool, blue.data(), green.data(), red.data(), width, height,
                  picture.data());
  } else {
    grayToBgr(blue.data(), green.data(), red.data(), width, height, picture.data());
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
    workspace.kernelMemory = {new KernelMemory(hardwareLanes()), KernelMemoryRelease{releaseKernelMemory}};
  }
  return *workspace.kernelMemory;
}

void splitQueryPlanes(Workspace& workspace) {
  const SearchState& s = workspace.state;
  ImageStore& images = workspace.images;
  split(workspace, images.queryImage, s.queryWidth, s.queryHeight, images.queryB, images.queryG,
        images.queryR);
}

void splitArchivePlanes(Workspace& workspace) {
  const SearchState& s = workspace.state;
  ImageStore& images = workspace.images;
  split(workspace, images.archiveImage, s.archiveWidth, s.archiveHeight, images.archiveB, images.archiveG,
        images.archiveR);
}

void drawQueryGray(Workspace& workspace) {
  const SearchState& s = workspace.state;
  ImageStore& images = workspace.images;
  drawGray(workspace, images.queryB, images.queryG, images.queryR, s.queryWidth, s.queryHeight,
           images.queryImage);
}

void drawArchiveGray(Workspace& workspace) {
  const SearchState& s = workspace.state;
  ImageStore& images = workspace.images;
  drawGray(workspace, images.archiveB, images.archiveG, images.archiveR, s.archiveWidth, s.archiveHeight,
           images.archiveImage);
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

}  // namespace orvalis
