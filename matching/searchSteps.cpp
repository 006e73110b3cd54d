#include "matching/searchSteps.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "imaging/bilinearSampling.h"
#include "imaging/circularMeanFilter.h"
#include "imaging/pixelConversions.h"
#include "imaging/pixelConversionsFast.h"
#include "matching/archiveScan.h"
#include "matching/lightCompensation.h"
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
  const SearchState& s = workspace.state;
  return {im.queryImage, im.queryB, im.queryG, im.queryR, s.queryWidth, s.queryHeight};
}

Side archiveSide(Workspace& workspace) {
  ImageStore& im = workspace.images;
  const SearchState& s = workspace.state;
  return {im.archiveImage, im.archiveB, im.archiveG, im.archiveR, s.archiveWidth, s.archiveHeight};
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
  const std::uint8_t* planes[3];
  std::uint8_t* filtered[3];
  std::uint8_t* gray;
};

void filterToGray(Workspace& workspace, const FilterPlanes& p, std::uint32_t width, std::uint32_t height,
                  std::uint32_t radius) {
  const std::uint8_t* const* planes = p.planes;
  std::uint8_t* const* filtered = p.filtered;
  ImageStore& images = workspace.images;
  buildDiscMask(radius, images.discMask.data(), images.discMaskCount);
  if (fast(workspace)) {
    KernelMemory& memory = kernelMemory(workspace);
    circularMeanFilterFast(memory.pool, memory.filter, planes[0], planes[1], planes[2], filtered[0],
                           filtered[1], filtered[2], width, height, radius, images.discMask.data(),
                           images.discMaskCount);
    grayPlaneFast(memory.pool, filtered[0], filtered[1], filtered[2], width, height, p.gray);
  } else {
    circularMeanFilter(planes[0], planes[1], planes[2], filtered[0], filtered[1], filtered[2], width, height,
                       radius, images.discMask.data(), images.discMaskCount);
    grayPlane(filtered[0], filtered[1], filtered[2], width, height, p.gray);
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
               {{images.queryB.data(), images.queryG.data(), images.queryR.data()},
                {images.queryFilteredB.data(), images.queryFilteredG.data(), images.queryFilteredR.data()},
                images.queryGray.data()},
               s.queryWidth, s.queryHeight, s.filterRadius);
  sampleTemplateSignature(workspace);
  return true;
}

bool buildTemplateFilteredAt(Workspace& workspace, std::uint32_t filterRadius) {
  SearchState& s = workspace.state;
  ImageStore& images = workspace.images;
  if (!templateBuildable(s) || filterRadius < 1 || filterRadius > kMaxTemplateFilterRadius) return false;
  // The square the samples and the filter under them reach, within the query:
  // inside it the filter gives each sampled pixel what it gives on the whole
  // picture.
  const std::int64_t reach = static_cast<std::int64_t>(s.viewfinderRadius) + filterRadius + 3;
  const std::int64_t top = std::max<std::int64_t>(0, std::int64_t(s.viewfinderY) - reach);
  const std::int64_t left = std::max<std::int64_t>(0, std::int64_t(s.viewfinderX) - reach);
  const std::int64_t bottom = std::min<std::int64_t>(s.queryHeight, std::int64_t(s.viewfinderY) + reach + 1);
  const std::int64_t right = std::min<std::int64_t>(s.queryWidth, std::int64_t(s.viewfinderX) + reach + 1);
  const auto width = static_cast<std::uint32_t>(right - left),
             height = static_cast<std::uint32_t>(bottom - top);
  const ColorPlane* planes[3] = {&images.queryB, &images.queryG, &images.queryR};
  CropPlane* crops[3] = {&images.cropB, &images.cropG, &images.cropR};
  for (int c = 0; c < 3; ++c) {
    for (std::uint32_t row = 0; row < height; ++row) {
      std::memcpy(crops[c]->data() + std::size_t(row) * width,
                  planes[c]->data() + std::size_t(top + row) * s.queryWidth + left, width);
    }
  }
  filterToGray(workspace,
               {{images.cropB.data(), images.cropG.data(), images.cropR.data()},
                {images.cropFilteredB.data(), images.cropFilteredG.data(), images.cropFilteredR.data()},
                images.cropGray.data()},
               width, height, filterRadius);
  sampleTemplateFrom(s, images.cropGray.data(), width, double(s.viewfinderY - top),
                     double(s.viewfinderX - left));
  return buildTemplateHistograms(s);
}

bool filterArchiveImage(Workspace& workspace) {
  const SearchState& s = workspace.state;
  ImageStore& images = workspace.images;
  if (!fitsImageCapacity(s.archiveWidth, s.archiveHeight) || s.filterRadius > kMaxFilterRadius) return false;
  filterToGray(
      workspace,
      {{images.archiveB.data(), images.archiveG.data(), images.archiveR.data()},
       {images.archiveFilteredB.data(), images.archiveFilteredG.data(), images.archiveFilteredR.data()},
       images.archiveGray.data()},
      s.archiveWidth, s.archiveHeight, s.filterRadius);
  return true;
}

bool scanArchiveImage(Workspace& workspace, double radius) {
  if (!fast(workspace)) return scanArchiveImageReference(workspace, radius);
  KernelMemory& memory = kernelMemory(workspace);
  return scanArchiveImageFast(workspace, memory.scan, memory.pool, radius);
}

double matchResidual(Workspace& workspace, const FoundMatch& match, double radius, const LightModel* light) {
  SearchState& s = workspace.state;
  double centre = 0, residual = 0;
  for (int ring = 0; ring < kRingCount; ++ring) {
    s.ringSampleCount[ring] = ringSampleCountOf(ringRadius(ring, radius));
    sampleRingWithCount(workspace.images.archiveGray.data(), s.archiveWidth, match.y, match.x,
                        ringRadius(ring, radius * match.scale), s.ringSampleCount[ring],
                        s.candidateRingProfile[ring]);
  }
  if (light != nullptr && !compensateLight(*light, centre, s.candidateRingProfile, s.ringSampleCount)) {
    return kLightOffset * 255;  // beyond any light in range: as far as it gets
  }
  for (int ring = 0; ring < kRingCount; ++ring) {
    const std::uint32_t n = s.ringSampleCount[ring];
    const std::uint32_t shift = static_cast<std::uint32_t>(std::lround(match.angleDeg / 360.0 * n)) % n;
    double sum = 0;
    for (std::uint32_t j = 0; j < n; ++j) {
      sum += std::fabs(s.candidateRingProfile[ring][j] - s.templateRingProfile[ring][(j + shift) % n]);
    }
    residual += sum / n;
  }
  return residual / kRingCount;
}

double scaleRatio(double radius, std::uint32_t filterRadius, std::uint8_t tolerance) {
  const double shift = std::max(0.5, filterRadius * static_cast<double>(tolerance) / 256.0);
  return 1.0 + 2.0 * shift / radius;
}

namespace {

// Whether a copy of this score is reported: at most maxScore and, under other
// light, at most a quarter of the tolerance. A gain and an offset of its own
// let a look-alike region pass tests that hold a copy to the template's
// light, so a compensated copy must come much closer than the tolerance.
bool scoreTaken(const Workspace& workspace, double score) {
  return score <= workspace.profile.maxScore &&
         (!workspace.profile.light || score <= workspace.state.colorTolerance / 4.0);
}

// The scan passes at the pass's scale: up to profile.matches copies, each
// avoided by the next pass (at most avoidCapacity of them, those the score
// drops included), those the score allows added to copies.
void passesAtScale(Workspace& workspace, double radius, ScanPass& pass, FoundMatch* avoided,
                   std::uint32_t avoidCapacity, FoundMatch* copies, std::uint32_t& count,
                   std::uint32_t capacity) {
  pass.avoid = avoided;
  pass.avoidCount = 0;
  pass.startRow = pass.startColumn = 0;
  SearchState& state = workspace.state;
  std::uint32_t kept = 0;
  while (kept < workspace.profile.matches && count < capacity && pass.avoidCount < avoidCapacity) {
    PassHit hit;
    const bool found = fast(workspace) ? scanPassFast(workspace, kernelMemory(workspace).scan,
                                                      kernelMemory(workspace).pool, radius, pass, hit)
                                       : scanPassReference(workspace, radius, pass, hit);
    if (!found) break;
    FoundMatch match{
        state.matchX, state.matchY, radius * pass.scale, state.matchAngle, state.consensusAngleDeg,
        pass.scale,   hit.score};
    match.score = matchResidual(workspace, match, radius, pass.light);
    avoided[pass.avoidCount++] = match;
    if (scoreTaken(workspace, match.score)) {
      copies[count++] = match;
      ++kept;
    }
    pass.startRow = hit.firstRow;
    pass.startColumn = hit.firstColumn + 1;
  }
}

// The most scales a range takes: the ratio is at least 1 + 1 / 250 (half a
// pixel either way on the largest radius), and 0.5 to 2 is 348 of its powers,
// plus both ends.
constexpr int kMaxScales = 512;
// Scales screened together: the more, the fewer estimates of the first ring
// but the wider each screen must be.
constexpr int kScreenedScales = 12;

bool tooClose(const FoundMatch& a, const FoundMatch& b) {
  const double dy = double(a.y) - b.y, dx = double(a.x) - b.x;
  const double near = std::min(a.radius, b.radius);
  return dy * dy + dx * dx < near * near;
}

// Copies the template's signature to the keeper, or back from it.
void keepTemplate(SearchState& state, TemplateSignature& kept, bool keep) {
  const auto copy = [keep](auto& stateSide, auto& keptSide) {
    if (keep)
      std::memcpy(&keptSide, &stateSide, sizeof keptSide);
    else
      std::memcpy(&stateSide, &keptSide, sizeof keptSide);
  };
  copy(state.templateCentreValue, kept.centreValue);
  copy(state.templateRingProfile, kept.ringProfile);
  copy(state.templateRingHist, kept.ringHist);
  copy(state.templateRingMean, kept.ringMean);
}

// Every scale from scaleMin to scaleMax, then the best scored of copies that
// lie too close, in raster order.
bool findAtScales(Workspace& workspace, double radius, ScanPass& pass) {
  const SearchProfile& profile = workspace.profile;
  const SearchState& state = workspace.state;
  constexpr std::uint32_t kMaxCopies = 4 * kMaxMatches;
  FoundMatch copies[kMaxCopies], avoided[kMaxMatches];
  std::uint32_t count = 0;
  const double ratio = scaleRatio(radius, state.filterRadius, state.colorTolerance);
  // Whole powers of the ratio, so that the query's own size is one of them,
  // and both ends.
  const int lowest = static_cast<int>(std::ceil(std::log(profile.scaleMin) / std::log(ratio) - 1e-9));
  const int highest = static_cast<int>(std::floor(std::log(profile.scaleMax) / std::log(ratio) + 1e-9));
  double scales[kMaxScales];
  int scaleCount = 0;
  for (int power = lowest - 1; power <= highest + 1 && scaleCount < kMaxScales; ++power) {
    if ((power < lowest && std::pow(ratio, lowest) == profile.scaleMin) ||
        (power > highest && std::pow(ratio, highest) == profile.scaleMax))
      continue;
    scales[scaleCount++] = power < lowest    ? profile.scaleMin
                           : power > highest ? profile.scaleMax
                                             : std::pow(ratio, power);
  }
  // Each scale is searched with the template filtered as the archive's filter
  // blurs a copy of that size; the fast scans of a run of neighbouring scales
  // with one template share one screen of the first ring (fastScan.h), which
  // changes no result.
  const bool screened = fast(workspace) && pass.light == nullptr;
  if (screened) {
    KernelMemory& memory = kernelMemory(workspace);
    prepareScaleScreen(workspace, memory.scan, memory.pool, radius, profile.scaleMax);
  }
  const std::uint32_t ownFilter = state.filterRadius;
  const auto filterFor = [&](double scale) {
    return static_cast<std::uint32_t>(
        std::clamp<long>(std::lround(ownFilter / scale), 1, long(kMaxTemplateFilterRadius)));
  };
  std::uint32_t templateFilter = ownFilter;
  LightModel light;
  for (int first = 0, run = 0; first < scaleCount && !workspace.abandonScan.load(); first += run) {
    const std::uint32_t filter = filterFor(scales[first]);
    for (run = 1;
         first + run < scaleCount && run < kScreenedScales && filterFor(scales[first + run]) == filter;)
      ++run;
    if (filter != templateFilter) {
      // The query's own template is kept aside while others stand in for it,
      // and comes back as it was, not filtered again.
      if (filter == ownFilter) {
        keepTemplate(workspace.state, workspace.ownTemplate, false);
        templateFilter = filter;
      } else {
        if (templateFilter == ownFilter) keepTemplate(workspace.state, workspace.ownTemplate, true);
        if (buildTemplateFilteredAt(workspace, filter)) templateFilter = filter;
      }
      if (pass.light != nullptr) {
        light = lightModelOf(state);
        pass.light = &light;
      }
    }
    if (screened) {
      KernelMemory& memory = kernelMemory(workspace);
      pass.screen = screenScales(workspace, memory.scan, memory.pool, radius, scales + first, run);
    }
    for (int k = first; k < first + run && !workspace.abandonScan.load(); ++k) {
      pass.scale = scales[k];
      passesAtScale(workspace, radius, pass, avoided, kMaxMatches, copies, count, kMaxCopies);
    }
  }
  // Back to the query's own template, for the views and the next picture.
  if (templateFilter != ownFilter) keepTemplate(workspace.state, workspace.ownTemplate, false);
  pass.screen = nullptr;
  bool taken[kMaxCopies] = {};
  workspace.foundCount = 0;
  while (workspace.foundCount < profile.matches) {
    int best = -1;
    for (std::uint32_t c = 0; c < count; ++c) {
      if (taken[c] || (best >= 0 && copies[c].score >= copies[best].score)) continue;
      bool clear = true;
      for (std::uint32_t f = 0; f < workspace.foundCount; ++f)
        clear = clear && !tooClose(copies[c], workspace.found[f]);
      if (clear)
        best = static_cast<int>(c);
      else
        taken[c] = true;
    }
    if (best < 0) break;
    taken[best] = true;
    workspace.found[workspace.foundCount++] = copies[best];
  }
  std::sort(workspace.found, workspace.found + workspace.foundCount,
            [](const FoundMatch& a, const FoundMatch& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
  return workspace.foundCount > 0;
}

}  // namespace

bool findMatches(Workspace& workspace, double radius) {
  SearchState& state = workspace.state;
  const SearchProfile& profile = workspace.profile;
  // Copies dropped by the score are avoided as well as those reported; a
  // picture that fills this many stops there.
  constexpr std::uint32_t kMaxAvoided = 4 * kMaxMatches;
  FoundMatch avoided[kMaxAvoided];
  ScanPass pass;
  pass.profile = &profile;
  const LightModel light = lightModelOf(state);
  if (profile.light) pass.light = &light;
  workspace.foundCount = 0;
  if (profile.scaleMin != 1.0 || profile.scaleMax != 1.0) {
    findAtScales(workspace, radius, pass);
  } else {
    passesAtScale(workspace, radius, pass, avoided, kMaxAvoided, workspace.found, workspace.foundCount,
                  kMaxMatches);
  }
  state.matchFound = workspace.foundCount > 0 ? 1 : 0;
  if (state.matchFound) {
    const FoundMatch& first = workspace.found[0];
    state.matchX = first.x;
    state.matchY = first.y;
    state.matchRadius = radius * first.scale;  // the glyph at the copy's size
    state.matchAngle = first.angle;
    state.consensusAngleDeg = first.angleDeg;
  }
  return state.matchFound != 0;
}

}  // namespace orvalis
