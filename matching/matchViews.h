#pragma once

#include <cstdint>

#include "state/workspace.h"

namespace orvalis {

// What the user sees after a match, built once by the tick that found it:
// the match glyph on archiveImage (which must hold the gray archive picture),
// the archive planes turned by matchAngle so that the match lies where the
// viewfinder is (rotatedArchive planes), and the three previews below. Sets
// searchStopped.
void prepareMatchViews(Workspace& workspace);

// Side of the square previews for a viewfinder radius R, in unsigned integer
// arithmetic: half = R / 2, u = 120 x half / 100, side = 4 u (about 2.4 R);
// the disc centre is at side / 2 = 2 u. A side whose picture would not fit a
// preview buffer (R above about 630, which the viewfinder limits exclude)
// gives 0, so nothing is ever written past the buffers.
std::uint32_t previewSide(std::uint32_t viewfinderRadius);

// The three previews, each previewWidth x previewHeight with the disc of
// radius viewfinderRadius centred at (previewCentre, previewCentre). Pixels
// strictly inside the disc take the source pixel at the same offset from the
// viewfinder centre, with one value in all three bytes; the others are black.
// The viewfinder circle must lie inside the query picture (its usual
// invariant), which keeps every source read inside the planes.
//
// Template: (B + G + R) / 3, truncating, of the raw query planes.
void buildTemplatePreview(Workspace& workspace);
// Match: the same of the turned archive planes.
void buildMatchPreview(Workspace& workspace);
// Difference: 30 where |queryGray - rotatedArchiveGray| <= colorTolerance,
// 255 where it is larger (the filtered gray planes the matching compared).
void buildDifferencePreview(Workspace& workspace);

}  // namespace orvalis
