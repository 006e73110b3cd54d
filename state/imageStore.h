#pragma once

#include <cstdint>

#include "state/constants.h"
#include "state/fixedBuffer.h"

namespace orvalis {

// 24-bit picture: bytes blue, green, red; rows top-down; stride 3 x width.
using BgrImage = FixedBuffer<kImageCapacity>;
// One byte per pixel, row-major, stride = width.
using ColorPlane = FixedBuffer<kPlaneCapacity>;
using DiscMaskBuffer = FixedBuffer<kDiscMaskCapacity>;
using CropPlane = FixedBuffer<kTemplateCropCapacity>;

// Every picture and plane the program works in, allocated once at the largest
// accepted size (about 85 MB together) and never resized. Query-side buffers
// use queryWidth x queryHeight, archive-side ones archiveWidth x archiveHeight.
struct ImageStore {
  BgrImage queryImage;                // still picture or camera frame; gray + glyph once ticks run
  ColorPlane queryR, queryG, queryB;  // raw query channels
  ColorPlane queryFilteredR, queryFilteredG, queryFilteredB;
  ColorPlane queryGray;  // gray of the filtered query channels: template source

  BgrImage archiveImage;  // archive picture loaded last; gray + match glyph for display
  ColorPlane archiveR, archiveG, archiveB;
  ColorPlane archiveFilteredR, archiveFilteredG, archiveFilteredB;
  ColorPlane archiveGray;  // gray of the filtered archive channels: the scanned plane

  // Archive planes turned back by matchAngle about the viewfinder centre.
  ColorPlane rotatedArchiveR, rotatedArchiveG, rotatedArchiveB;
  ColorPlane rotatedArchiveGray;

  BgrImage templatePreview, matchPreview, differencePreview;  // side previewWidth
  BgrImage backgroundImage;

  // The query around the viewfinder, raw, filtered and gray, for templates
  // filtered at another radius (copies of another size).
  CropPlane cropB, cropG, cropR, cropFilteredB, cropFilteredG, cropFilteredR, cropGray;

  DiscMaskBuffer discMask;          // (2 filterRadius + 1)^2 cells used
  std::uint32_t discMaskCount = 0;  // cells of discMask equal to 1
};

}  // namespace orvalis
