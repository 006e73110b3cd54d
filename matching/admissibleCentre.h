#pragma once

#include <cstdint>

namespace orvalis {

// A centre is admissible for a disc of the given radius when the disc and the
// one pixel beyond it that bilinear sampling reads lie inside the picture:
// row - R >= 1, row + R <= height - 2, column + R <= width - 2,
// column - R >= 1, compared in double with equality admitted. For a whole R
// the rows R + 1 .. height - 2 - R and the columns R + 1 .. width - 2 - R.
// The viewfinder, the template, the scan and the views all hold a disc to
// this one rule; its row and column halves are apart for the fast scan,
// whose admissible centres form a rectangle.
inline bool isAdmissibleRow(double row, double radius, std::uint32_t height) {
  return row - radius >= 1.0 && row + radius <= static_cast<double>(height) - 2.0;
}

inline bool isAdmissibleColumn(double column, double radius, std::uint32_t width) {
  return column + radius <= static_cast<double>(width) - 2.0 && column - radius >= 1.0;
}

inline bool isAdmissibleCentre(double row, double column, double radius, std::uint32_t width,
                               std::uint32_t height) {
  return isAdmissibleRow(row, radius, height) && isAdmissibleColumn(column, radius, width);
}

}  // namespace orvalis
