// Reference against fast kernels on the same photographs, in one run: the
// disc filter alone (radius 8 and 20), the scan of a picture without a match,
// and a whole search tick (decode, split, filter, gray, scan), at 640 x 480
// and 1920 x 1080 with the default parameters (filter radius 8, tolerance 16,
// viewfinder radius a sixth of the shorter side). TurboJPEG's decoding of the
// same picture is the floor a tick can't go below.
//
// Then the scans that pictures without texture make dear, where nearly every
// centre passes the candidate test and reaches the rotation estimate: query
// and archive of uniform noise, of noise blurred by sigma 6 and of dark noise
// (two seeds each), at 320 x 240, 640 x 480 and 1920 x 1080, and the
// demo's cat against the astronaut at tolerance 255 (the demo's viewfinder,
// radius 60).
//
// The reference cases at 1920 x 1080 take seconds each and run once; the
// reference scans of the pictures without texture run at 320 x 240 only (the
// dark one at 160 x 120: it takes minutes even there).

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <utility>

#include "bench/benchPictures.h"
#include "files/loadJpeg.h"
#include "imaging/circularMeanFilter.h"
#include "imaging/circularMeanFilterFast.h"
#include "imaging/pixelConversions.h"
#include "imaging/pixelConversionsFast.h"
#include "matching/archiveScan.h"
#include "matching/fastScan.h"
#include "matching/ringSignature.h"
#include "matching/searchSteps.h"
#include "platform/workerPool.h"

namespace orvalis::bench {
namespace {

// One prepared search per size and kernel choice: template built, archive
// planes split and filtered, archive JPEG in memory.
struct Prepared {
  std::unique_ptr<Workspace> workspace;
  std::vector<std::uint8_t> archiveJpeg;
};

Prepared& prepared(std::uint32_t width, std::uint32_t height, Kernels kernels) {
  static std::map<std::tuple<std::uint32_t, std::uint32_t, Kernels>, Prepared> cache;
  Prepared& p = cache[{width, height, kernels}];
  if (p.workspace) return p;
  const SearchPictures pictures = searchPictures(width, height);
  p.workspace = templateWorkspace(pictures, width, height, kernels);
  ImageStore& images = p.workspace->images;
  p.archiveJpeg = testing::encodeJpeg(pictures.archive, 90, testing::JpegKind::Color420);
  std::uint32_t h = 0, w = 0;
  if (!decodeJpeg(p.archiveJpeg.data(), p.archiveJpeg.size(), images.archiveImage, w, h)) std::abort();
  splitPlanes(images.archiveImage.data(), width, height, images.archiveB.data(), images.archiveG.data(),
              images.archiveR.data());
  if (!filterArchiveImage(*p.workspace)) std::abort();
  return p;
}

void setLabels(benchmark::State& state, std::uint32_t width, std::uint32_t height) {
  state.counters["lanes"] = hardwareLanes();
  state.SetLabel(std::to_string(width) + "x" + std::to_string(height));
}

void decode(benchmark::State& state, std::uint32_t width, std::uint32_t height) {
  Prepared& p = prepared(width, height, Kernels::Fast);
  ImageStore& images = p.workspace->images;
  std::uint32_t h = 0, w = 0;
  for (auto _ : state) {
    if (!decodeJpeg(p.archiveJpeg.data(), p.archiveJpeg.size(), images.archiveImage, w, h)) std::abort();
    benchmark::DoNotOptimize(images.archiveImage.data());
  }
  setLabels(state, width, height);
}

void filter(benchmark::State& state, std::uint32_t width, std::uint32_t height, std::uint32_t radius,
            Kernels kernels) {
  Prepared& p = prepared(width, height, kernels);
  ImageStore& images = p.workspace->images;
  buildDiscMask(radius, images.discMask.data(), images.discMaskCount);
  for (auto _ : state) {
    if (kernels == Kernels::Fast) {
      KernelMemory& memory = kernelMemory(*p.workspace);
      circularMeanFilterFast(memory.pool, memory.filter, images.archiveB.data(), images.archiveG.data(),
                             images.archiveR.data(), images.archiveFilteredB.data(),
                             images.archiveFilteredG.data(), images.archiveFilteredR.data(), width, height,
                             radius, images.discMask.data(), images.discMaskCount);
    } else {
      circularMeanFilter(images.archiveB.data(), images.archiveG.data(), images.archiveR.data(),
                         images.archiveFilteredB.data(), images.archiveFilteredG.data(),
                         images.archiveFilteredR.data(), width, height, radius, images.discMask.data(),
                         images.discMaskCount);
    }
    benchmark::DoNotOptimize(images.archiveFilteredR.data());
  }
  // Leave the planes as the scan benchmarks expect them.
  if (!filterArchiveImage(*p.workspace)) std::abort();
  setLabels(state, width, height);
}

void scan(benchmark::State& state, std::uint32_t width, std::uint32_t height, Kernels kernels) {
  Prepared& p = prepared(width, height, kernels);
  int found = 0;
  for (auto _ : state) {
    found = scanArchiveImage(*p.workspace, p.workspace->state.viewfinderRadius);
  }
  state.counters["found"] = found;
  setLabels(state, width, height);
}

void tick(benchmark::State& state, std::uint32_t width, std::uint32_t height, Kernels kernels) {
  Prepared& p = prepared(width, height, kernels);
  Workspace& ws = *p.workspace;
  ImageStore& images = ws.images;
  std::uint32_t h = 0, w = 0;
  int found = 0;
  for (auto _ : state) {
    if (!decodeJpeg(p.archiveJpeg.data(), p.archiveJpeg.size(), images.archiveImage, w, h)) std::abort();
    splitArchivePlanes(ws);
    if (!filterArchiveImage(ws)) std::abort();  // disc mask, filter, gray plane
    found = scanArchiveImage(ws, ws.state.viewfinderRadius);
  }
  state.counters["found"] = found;
  setLabels(state, width, height);
}

// A scan without texture, prepared once per picture kind, size and kernels.
enum class Flat { Noise, Blurred, Dark, Demo255 };

const char* flatName(Flat kind) {
  switch (kind) {
    case Flat::Noise: return "noise";
    case Flat::Blurred: return "blurred";
    case Flat::Dark: return "dark";
    case Flat::Demo255: return "demo-tolerance-255";
  }
  return "";
}

Workspace& flatWorkspace(Flat kind, std::uint32_t width, std::uint32_t height, Kernels kernels) {
  static std::map<std::tuple<Flat, std::uint32_t, std::uint32_t, Kernels>, std::unique_ptr<Workspace>> cache;
  std::unique_ptr<Workspace>& workspace = cache[{kind, width, height, kernels}];
  if (workspace) return *workspace;
  SearchPictures pictures;
  if (kind == Flat::Demo255) {
    pictures.query = demoPhoto("Current_Image.jpg");
    pictures.archive = demoPhoto("Image_0000000000.jpg");
    pictures.viewfinderX = 226;
    pictures.viewfinderY = 160;
    pictures.viewfinderRadius = 60;
  } else {
    const testing::LowTexture texture = kind == Flat::Noise     ? testing::LowTexture::Noise
                                        : kind == Flat::Blurred ? testing::LowTexture::BlurredNoise
                                                                : testing::LowTexture::DarkNoise;
    pictures.query = testing::lowTexturePicture(texture, width, height, 1);
    pictures.archive = testing::lowTexturePicture(texture, width, height, 2);
    pictures.viewfinderX = width / 2;
    pictures.viewfinderY = height / 2;
    pictures.viewfinderRadius = std::min(width, height) / 6;
  }
  workspace = templateWorkspace(pictures, width, height, kernels);
  if (kind == Flat::Demo255) {
    workspace->state.colorTolerance = 255;
    if (!buildTemplateSignature(*workspace) || !buildTemplateHistograms(workspace->state)) std::abort();
  }
  ImageStore& images = workspace->images;
  splitPlanes(pictures.archive.pixels.data(), width, height, images.archiveB.data(), images.archiveG.data(),
              images.archiveR.data());
  if (!filterArchiveImage(*workspace)) std::abort();
  return *workspace;
}

void flatScan(benchmark::State& state, Flat kind, std::uint32_t width, std::uint32_t height,
              Kernels kernels) {
  Workspace& workspace = flatWorkspace(kind, width, height, kernels);
  int found = 0;
  for (auto _ : state) found = scanArchiveImage(workspace, workspace.state.viewfinderRadius);
  state.counters["found"] = found;
  setLabels(state, width, height);
}

constexpr std::pair<std::uint32_t, std::uint32_t> kSizes[] = {{640, 480}, {1920, 1080}};

void registerAll() {
  for (const auto& [width, height] : kSizes) {
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    const bool big = width * height > 1'000'000;
    benchmark::RegisterBenchmark(("decode/" + size).c_str(), decode, width, height)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    for (const std::uint32_t radius : {8u, 20u}) {
      const std::string r = "/r" + std::to_string(radius) + "/" + size;
      auto* reference = benchmark::RegisterBenchmark(("filter/reference" + r).c_str(), filter, width, height,
                                                     radius, Kernels::Reference);
      reference->Unit(benchmark::kMillisecond)->UseRealTime();
      if (big) reference->Iterations(1);
      benchmark::RegisterBenchmark(("filter/fast" + r).c_str(), filter, width, height, radius, Kernels::Fast)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    }
    using Run = void (*)(benchmark::State&, std::uint32_t, std::uint32_t, Kernels);
    const std::pair<const char*, Run> runs[] = {{"scan", scan}, {"tick", tick}};
    for (const auto& [name, run] : runs) {
      auto* reference = benchmark::RegisterBenchmark((std::string(name) + "/reference/" + size).c_str(), run,
                                                     width, height, Kernels::Reference);
      reference->Unit(benchmark::kMillisecond)->UseRealTime();
      if (big) reference->Iterations(1);
      benchmark::RegisterBenchmark((std::string(name) + "/fast/" + size).c_str(), run, width, height,
                                   Kernels::Fast)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    }
  }
  struct FlatCase {
    Flat kind;
    std::uint32_t width, height;
    bool reference;
  };
  const FlatCase flats[] = {
      {Flat::Noise, 320, 240, true},      {Flat::Blurred, 320, 240, true}, {Flat::Dark, 160, 120, true},
      {Flat::Dark, 320, 240, false},      {Flat::Demo255, 600, 400, true}, {Flat::Noise, 1920, 1080, false},
      {Flat::Blurred, 1920, 1080, false}, {Flat::Noise, 640, 480, false},  {Flat::Blurred, 640, 480, false},
      {Flat::Dark, 640, 480, false},      {Flat::Dark, 1920, 1080, false},
  };
  for (const FlatCase& c : flats) {
    const std::string size = std::to_string(c.width) + "x" + std::to_string(c.height);
    for (const Kernels kernels : {Kernels::Reference, Kernels::Fast}) {
      if (kernels == Kernels::Reference && !c.reference) continue;
      const std::string name = std::string("flat/") + flatName(c.kind) + "/" +
                               (kernels == Kernels::Fast ? "fast/" : "reference/") + size;
      auto* run = benchmark::RegisterBenchmark(name.c_str(), flatScan, c.kind, c.width, c.height, kernels);
      run->Unit(benchmark::kMillisecond)->UseRealTime();
      if (kernels == Kernels::Reference || c.width * c.height > 1'000'000) run->Iterations(1);
    }
  }
}

}  // namespace
}  // namespace orvalis::bench

int main(int argc, char** argv) {
  orvalis::bench::registerAll();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
