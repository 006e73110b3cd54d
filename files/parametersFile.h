#pragma once

#include <cstdint>
#include <span>

#include "files/paths.h"
#include "platform/safeFile.h"
#include "state/searchState.h"

namespace orvalis {

// The parameters file: 25 bytes, little-endian, no header, fields in the order
// framesPerSecond (0), filterRadius (4), colorTolerance (8, one byte),
// viewfinderStep (9), viewfinderY (13), viewfinderX (17), viewfinderRadius (21).
inline constexpr std::size_t kParametersFileSize = 25;

// Values used when the file can't be read.
inline constexpr SearchParameters kDefaultParameters{1, 8, 16, 25, 0, 0, 0};

// Reads the file into the seven fields, or stores the defaults when it can't
// be read: missing, without read permission, or not a regular file (a folder,
// or a FIFO, which is refused without waiting for a writer). A short file
// leaves the fields beyond its end as they were; bytes past the 25th are
// ignored. Values the program can't work with are replaced afterwards (see
// sanitizeParameters). Returns how the file was found, for callers that must
// say why it was not used.
FileStatus loadParameters(SearchParameters& parameters, const char* path = kParametersPath);

// Parses a record of any length with the same rules as loadParameters,
// without the replacement of unusable values. Used by loadParameters and by
// the fuzz target.
void decodeParameters(const std::uint8_t* bytes, std::size_t size, SearchParameters& parameters);

// Replaces the stored values that would break the arithmetic: framesPerSecond
// 0 (the timer period divides by it) becomes 1; a filterRadius above 20 (the
// largest the lists offer) becomes 8; a viewfinderRadius above 250 (ring
// profiles hold 20 x 250 samples) becomes 0, which makes start-up place the
// viewfinder afresh. Everything else is kept as stored, in or out of its table.
void sanitizeParameters(SearchParameters& parameters);

// Writes the 25-byte record, all or nothing (see replaceFile: a new file
// beside it, synced, renamed over the old one; a link is written through to
// its target, which must be a regular file; with confinedTo, only inside
// that folder). Returns 1 on success, 0 on any failure, the old file then
// left as it was (the caller ends the process; see control/saveParameters),
// and replaceFile's answer in *error when error is given.
int writeParametersFile(const SearchParameters& parameters, const char* path = kParametersPath,
                        int* error = nullptr, const char* confinedTo = nullptr);

// The record as it is stored.
void encodeParameters(const SearchParameters& parameters, std::uint8_t (&bytes)[kParametersFileSize]);

// Option tables of the three lists, in list order (ascending values). Each
// text has three blanks after the colon.
enum class Parameter { FramesPerSecond, FilterRadius, ColorTolerance };

struct ParameterOption {
  std::uint32_t value;
  const char* text;
};

std::span<const ParameterOption> optionTable(Parameter parameter);

// The viewfinder step radio group: index 0..3 <-> 1, 10, 25, 50 pixels.
inline constexpr std::uint32_t kViewfinderSteps[4] = {1, 10, 25, 50};
inline constexpr const char* kViewfinderStepCaptions[4] = {"1 Pixel", "10 Pixels", "25 Pixels", "50 Pixels"};

// The radio index of a step; any other step gives 0.
int stepIndexOf(std::uint32_t step);

}  // namespace orvalis
