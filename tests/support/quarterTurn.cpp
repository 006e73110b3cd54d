#include "tests/support/quarterTurn.h"

#include <cstddef>

namespace orvalis::testing {

BgrPicture pasteQuarterTurn(const BgrPicture& source, std::int64_t sourceRow, std::int64_t sourceColumn,
                            const BgrPicture& background, std::int64_t targetRow, std::int64_t targetColumn,
                            std::int64_t halfSize) {
  BgrPicture result = background;
  const auto inside = [](const BgrPicture& picture, std::int64_t row, std::int64_t column) {
    return row >= 0 && column >= 0 && row < picture.height && column < picture.width;
  };
  for (std::int64_t dy = -halfSize; dy <= halfSize; ++dy) {
    for (std::int64_t dx = -halfSize; dx <= halfSize; ++dx) {
      const std::int64_t ty = targetRow + dy, tx = targetColumn + dx;
      const std::int64_t sy = sourceRow - dx, sx = sourceColumn + dy;
      if (!inside(result, ty, tx) || !inside(source, sy, sx)) continue;
      const std::size_t from = 3 * static_cast<std::size_t>(sy * source.width + sx);
      const std::size_t to = 3 * static_cast<std::size_t>(ty * result.width + tx);
      for (int c = 0; c < 3; ++c) result.pixels[to + c] = source.pixels[from + c];
    }
  }
  return result;
}

}  // namespace orvalis::testing
