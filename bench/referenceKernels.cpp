// Times the reference filter and scan for one archive picture at two sizes,
// with the default parameters (filter radius 8, tolerance 16) and the
// viewfinder a start-up reset would give (picture centre, radius
// min(w, h) / 6). Query and archive are different textures, so the scan
// visits every admissible centre and finds nothing: the full cost of a
// picture without a match.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

#include "imaging/pixelConversions.h"
#include "matching/archiveScan.h"
#include "matching/ringSignature.h"
#include "matching/searchSteps.h"
#include "state/workspace.h"
#include "tests/support/testSupport.h"

namespace {

using namespace orvalis;

std::unique_ptr<Workspace> preparedWorkspace(std::uint32_t width, std::uint32_t height) {
  auto workspace = std::make_unique<Workspace>();
  workspace->kernels = Kernels::Reference;
  SearchState& state = workspace->state;
  ImageStore& images = workspace->images;
  state.filterRadius = 8;
  state.colorTolerance = 16;
  state.queryWidth = state.archiveWidth = width;
  state.queryHeight = state.archiveHeight = height;
  state.viewfinderX = width / 2;
  state.viewfinderY = height / 2;
  state.viewfinderRadius = (width >= height ? height : width) / 6;

  const testing::BgrPicture query = testing::texturedPicture(width, height, 2);
  splitPlanes(query.pixels.data(), width, height, images.queryB.data(), images.queryG.data(),
              images.queryR.data());
  if (!buildTemplateSignature(*workspace) || !buildTemplateHistograms(state)) std::abort();

  const testing::BgrPicture archive = testing::texturedPicture(width, height, 1);
  splitPlanes(archive.pixels.data(), width, height, images.archiveB.data(), images.archiveG.data(),
              images.archiveR.data());
  if (!filterArchiveImage(*workspace)) std::abort();
  return workspace;
}

void filterArchivePicture(benchmark::State& run) {
  const auto workspace =
      preparedWorkspace(static_cast<std::uint32_t>(run.range(0)), static_cast<std::uint32_t>(run.range(1)));
  for (auto _ : run) benchmark::DoNotOptimize(filterArchiveImage(*workspace));
}

void scanArchivePicture(benchmark::State& run) {
  const auto workspace =
      preparedWorkspace(static_cast<std::uint32_t>(run.range(0)), static_cast<std::uint32_t>(run.range(1)));
  const double radius = workspace->state.viewfinderRadius;
  int found = 0;
  for (auto _ : run) found = scanArchiveImage(*workspace, radius);
  run.counters["radius"] = radius;
  run.counters["matchFound"] = found;
}

BENCHMARK(filterArchivePicture)
    ->Args({640, 480})
    ->Args({1920, 1080})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(scanArchivePicture)
    ->Args({640, 480})
    ->Args({1920, 1080})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
