#pragma once

#include <cstdint>

#include "state/constants.h"

namespace orvalis {

// The seven settings kept in the parameters file. All 0 until the file (or
// its defaults) has been read.
struct SearchParameters {
  std::uint32_t framesPerSecond = 0;   // search timer period = 1000 / framesPerSecond ms
  std::uint32_t filterRadius = 0;      // circular mean filter radius, 1..20
  std::uint8_t colorTolerance = 0;     // gray-level tolerance, 2..40 even
  std::uint32_t viewfinderStep = 0;    // pixels per move or resize: 1, 10, 25, 50
  std::uint32_t viewfinderY = 0;       // row of the viewfinder centre
  std::uint32_t viewfinderX = 0;       // column of the viewfinder centre
  std::uint32_t viewfinderRadius = 0;  // 0 forces the start-up reset

  friend bool operator==(const SearchParameters&, const SearchParameters&) = default;
};

// The one record of parameters, geometry, flags, ring arrays and results.
// Zero at process start except archiveIndex. Ring k (1..9) is index k - 1.
struct SearchState : SearchParameters {
  // Picture sizes as reported by the loader or the frame grab.
  std::uint32_t queryWidth = 0, queryHeight = 0;
  std::uint32_t archiveWidth = 0, archiveHeight = 0;
  std::uint32_t backgroundWidth = 0, backgroundHeight = 0;

  // Mode flags, 0 or 1.
  std::int32_t cameraMode = 0;
  std::int32_t adjustMode = 0;
  std::int32_t searchStopped = 0;
  std::int32_t archiveExhausted = 0;
  std::int32_t painted = 0;
  std::int32_t landscape = 0;  // archiveWidth >= archiveHeight at start-up

  // Number of the archive picture in work; a search tick increments it before
  // loading, so -2 makes the first tick try -1 (never a file) and restart at 0.
  std::int32_t archiveIndex = -2;

  // Match result. A scan without a match clears matchFound only.
  std::int32_t matchFound = 0;
  std::uint32_t matchX = 0, matchY = 0;
  double matchRadius = 0;
  double matchAngle = 0;  // radians: consensusAngleDeg x kPi / 180

  // Ring signatures of the template and of the candidate under test.
  double templateCentreValue = 0, candidateCentreValue = 0;
  double templateRingProfile[kRingCount][kMaxRingSamples] = {};
  double candidateRingProfile[kRingCount][kMaxRingSamples] = {};
  std::uint32_t ringSampleCount[kRingCount] = {};  // trunc(20 x ring radius), shared
  std::int32_t templateRingHist[kRingCount][256] = {};
  std::int32_t candidateRingHist[kRingCount][256] = {};
  std::int32_t histWorkA[256] = {};  // candidate copy during histogram transport
  std::int32_t histWorkB[256] = {};  // template copy during histogram transport
  double templateRingMean[kRingCount] = {};
  double candidateRingMean[kRingCount] = {};

  // Rotation estimate, degrees.
  double ringAngleDeg[kRingCount] = {};   // best cyclic shift of each ring
  double ringAngleStep[kRingCount] = {};  // 360 / ringSampleCount
  double consensusAngleDeg = 0;           // written only on a successful consensus

  // View geometry.
  std::uint32_t previewWidth = 0, previewHeight = 0;  // square preview side
  std::uint32_t previewCentre = 0;                    // previewWidth / 2
};

}  // namespace orvalis
