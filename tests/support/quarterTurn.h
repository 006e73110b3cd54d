#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "tests/support/testSupport.h"

namespace orvalis::testing {

// A copy of background with the square of half-size halfSize around the
// source point pasted on the target point, turned by a quarter pixel for
// pixel (target offset (dy, dx) shows source offset (-dx, dy)): the search
// reports it turned by 90 degrees. Pixels outside either picture are skipped.
inline BgrPicture pasteQuarterTurn(const BgrPicture& source, std::int64_t sourceRow,
                                   std::int64_t sourceColumn, const BgrPicture& background,
                                   std::int64_t targetRow, std::int64_t targetColumn, std::int64_t halfSize) {
  BgrPicture result = background;
  const auto inside = [](const BgrPicture& picture, std::int64_t row, std::int64_t column) {
    return row >= 0 && column >= 0 && row < picture.height && column < picture.width;
  };
  for (std::int64_t dy = -halfSize; dy <= halfSize; ++dy) {
    for (std::int64_t dx = -halfSize; dx <= halfSize; ++dx) {
      const std::int64_t ty = targetRow + dy, tx = targetColumn + dx, sy = sourceRow - dx,
                         sx = sourceColumn + dy;
      if (inside(result, ty, tx) && inside(source, sy, sx))
        std::copy_n(&source.pixels[3 * std::size_t(sy * source.width + sx)], 3,
                    &result.pixels[3 * std::size_t(ty * result.width + tx)]);
    }
  }
  return result;
}

// A copy of background with the disc of the given reach around the source
// point pasted on the target point grown by scale and turned by degrees (as
// the search reports the turn), resampled bilinearly, each channel then put
// under gain x value + offset.
inline BgrPicture pasteScaled(const BgrPicture& source, double sourceRow, double sourceColumn,
                              BgrPicture background, int targetRow, int targetColumn, double reach,
                              double scale, double degrees, double gain = 1, double offset = 0) {
  const double turn = degrees * 3.14159265358979 / 180, outer = reach * scale;
  for (int dy = -int(outer); dy <= int(outer); ++dy) {
    for (int dx = -int(outer); dx <= int(outer); ++dx) {
      if (dy * dy + dx * dx > outer * outer) continue;
      const double sy = sourceRow + (dy * std::cos(turn) - dx * std::sin(turn)) / scale;
      const double sx = sourceColumn + (dy * std::sin(turn) + dx * std::cos(turn)) / scale;
      const int y0 = int(std::floor(sy)), x0 = int(std::floor(sx));
      const double fy = sy - y0, fx = sx - x0;
      for (int c = 0; c < 3; ++c) {
        const auto at = [&](int y, int x) {
          return double(source.pixels[3 * (std::size_t(y) * source.width + x) + c]);
        };
        const double v = (1 - fy) * ((1 - fx) * at(y0, x0) + fx * at(y0, x0 + 1)) +
                         fy * ((1 - fx) * at(y0 + 1, x0) + fx * at(y0 + 1, x0 + 1));
        background.pixels[3 * (std::size_t(targetRow + dy) * background.width + targetColumn + dx) + c] =
            static_cast<std::uint8_t>(std::clamp(std::lround(gain * v + offset), 0L, 255L));
      }
    }
  }
  return background;
}

}  // namespace orvalis::testing
