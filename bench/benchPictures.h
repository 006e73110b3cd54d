#pragma once

// Pictures for the benchmarks, made from the demo's photographs (600 x 400
// JPEGs of public-domain and CC0 pictures): mosaics of them at any size, the
// query and archive pictures of a search, and archive pictures with the
// query's viewfinder disc planted turned by a known angle.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "files/loadJpeg.h"
#include "imaging/pixelConversions.h"
#include "matching/ringSignature.h"
#include "matching/searchSteps.h"
#include "state/workspace.h"
#include "tests/support/testSupport.h"

namespace orvalis::bench {

using testing::BgrPicture;

inline BgrPicture demoPhoto(const std::string& name) {
  const std::string path = std::string(ORVALIS_SOURCE_DIR) + "/demo/Image_Archive/" + name;
  auto image = std::make_unique<BgrImage>();
  BgrPicture picture;
  if (!loadJpeg(path.c_str(), *image, picture.width, picture.height)) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    std::exit(2);
  }
  picture.pixels.assign(image->data(), image->data() + std::size_t{3} * picture.width * picture.height);
  return picture;
}

// Photographs laid side by side, every other one mirrored so that no seam
// repeats, starting with photo `first`.
inline BgrPicture mosaic(const std::vector<BgrPicture>& photos, std::uint32_t width, std::uint32_t height,
                         std::size_t first) {
  BgrPicture out{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3)};
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      const BgrPicture& photo = photos[0];
      const std::uint32_t tileY = y / photo.height, tileX = x / photo.width;
      const std::size_t index = (first + tileY * 7 + tileX) % photos.size();
      const BgrPicture& tile = photos[index];
      const bool mirror = (tileX + tileY + first) % 2 == 1;
      const std::uint32_t sx = mirror ? tile.width - 1 - x % tile.width : x % tile.width;
      const std::uint8_t* from =
          tile.pixels.data() + 3 * (static_cast<std::size_t>(y % tile.height) * tile.width + sx);
      std::uint8_t* to = out.at(y, x);
      to[0] = from[0];
      to[1] = from[1];
      to[2] = from[2];
    }
  }
  return out;
}

// The search of the benchmarks at one size: the query (cat, astronaut,
// Hubble), an archive picture without the query's content (rocket, coffee),
// and the viewfinder at the query's centre with the default radius, a sixth
// of the shorter side.
struct SearchPictures {
  BgrPicture query, archive;
  std::uint32_t viewfinderX = 0, viewfinderY = 0, viewfinderRadius = 0;
};

inline SearchPictures searchPictures(std::uint32_t width, std::uint32_t height) {
  const std::vector<BgrPicture> queryPhotos = {
      demoPhoto("Current_Image.jpg"), demoPhoto("Image_0000000000.jpg"), demoPhoto("Image_0000000001.jpg")};
  const std::vector<BgrPicture> archivePhotos = {demoPhoto("Image_0000000002.jpg"),
                                                 demoPhoto("Image_0000000003.jpg")};
  SearchPictures s;
  s.query = mosaic(queryPhotos, width, height, 0);
  s.archive = mosaic(archivePhotos, width, height, 1);
  s.viewfinderX = width / 2;
  s.viewfinderY = height / 2;
  s.viewfinderRadius = std::min(width, height) / 6;
  return s;
}

// A workspace holding the template of the search pictures, with the default
// filter radius and tolerance, ready to scan archive pictures of this size.
inline std::unique_ptr<Workspace> templateWorkspace(const SearchPictures& pictures, std::uint32_t width,
                                                    std::uint32_t height, Kernels kernels = Kernels::Fast) {
  auto workspace = std::make_unique<Workspace>();
  useKernels(*workspace, kernels);
  SearchState& state = workspace->state;
  ImageStore& images = workspace->images;
  state.queryWidth = state.archiveWidth = width;
  state.queryHeight = state.archiveHeight = height;
  state.filterRadius = 8;
  state.colorTolerance = 16;
  state.viewfinderX = pictures.viewfinderX;
  state.viewfinderY = pictures.viewfinderY;
  state.viewfinderRadius = pictures.viewfinderRadius;
  splitPlanes(pictures.query.pixels.data(), width, height, images.queryB.data(), images.queryG.data(),
              images.queryR.data());
  if (!buildTemplateSignature(*workspace) || !buildTemplateHistograms(state)) std::abort();
  return workspace;
}

// A copy of background with the disc of the given radius around
// (sourceRow, sourceColumn) of source pasted around (targetRow,
// targetColumn), turned so that the search reports angleDeg: the pixel at
// offset (dy, dx) from the target takes the source at offset
// (dy cos a - dx sin a, dy sin a + dx cos a), bilinearly.
inline BgrPicture plantTurned(const BgrPicture& source, double sourceRow, double sourceColumn,
                              const BgrPicture& background, std::int64_t targetRow, std::int64_t targetColumn,
                              std::int64_t radius, double angleDeg) {
  BgrPicture out = background;
  const double a = angleDeg * 3.14159265358979323846 / 180.0;
  const double cosA = std::cos(a), sinA = std::sin(a);
  for (std::int64_t dy = -radius - 2; dy <= radius + 2; ++dy) {
    for (std::int64_t dx = -radius - 2; dx <= radius + 2; ++dx) {
      if (dy * dy + dx * dx > (radius + 2) * (radius + 2)) continue;
      const double sy = sourceRow + dy * cosA - dx * sinA;
      const double sx = sourceColumn + dy * sinA + dx * cosA;
      const std::int64_t y0 = static_cast<std::int64_t>(std::floor(sy));
      const std::int64_t x0 = static_cast<std::int64_t>(std::floor(sx));
      if (y0 < 0 || x0 < 0 || y0 + 1 >= source.height || x0 + 1 >= source.width) continue;
      const double fy = sy - y0, fx = sx - x0;
      std::uint8_t* to =
          out.at(static_cast<std::uint32_t>(targetRow + dy), static_cast<std::uint32_t>(targetColumn + dx));
      for (int c = 0; c < 3; ++c) {
        const auto p = [&](std::int64_t y, std::int64_t x) {
          return static_cast<double>(source.pixels[3 * (static_cast<std::size_t>(y) * source.width + x) + c]);
        };
        const double v = p(y0, x0) * (1 - fx) * (1 - fy) + p(y0, x0 + 1) * fx * (1 - fy) +
                         p(y0 + 1, x0) * (1 - fx) * fy + p(y0 + 1, x0 + 1) * fx * fy;
        to[c] = static_cast<std::uint8_t>(std::lround(v));
      }
    }
  }
  return out;
}

// Planted archive pictures of one search: where and at what angle.
struct Planted {
  BgrPicture picture;
  std::uint32_t row = 0, column = 0;
  double angleDeg = 0;
};

inline std::vector<Planted> plantedPictures(const SearchPictures& s) {
  const std::uint32_t r = s.viewfinderRadius;
  const std::uint32_t w = s.archive.width, h = s.archive.height;
  // Places well inside the admissible area, at angles off the 5-degree grid too.
  const struct {
    double fy, fx, angle;
  } spots[] = {{0.30, 0.25, 40.0}, {0.65, 0.70, 137.0}, {0.45, 0.55, 271.0}};
  std::vector<Planted> out;
  for (const auto& spot : spots) {
    Planted p;
    // The disc is planted with the filter's reach (8) and a little more around
    // it: the outer ring is read through the filter, which looks that far.
    const std::uint32_t reach = r + 12;
    p.row = std::max(reach + 4, std::min(h - reach - 5, static_cast<std::uint32_t>(spot.fy * h)));
    p.column = std::max(reach + 4, std::min(w - reach - 5, static_cast<std::uint32_t>(spot.fx * w)));
    p.angleDeg = spot.angle;
    p.picture =
        plantTurned(s.query, s.viewfinderY, s.viewfinderX, s.archive, p.row, p.column, reach, spot.angle);
    out.push_back(std::move(p));
  }
  return out;
}

}  // namespace orvalis::bench
