#include "files/parametersFile.h"

#include <unistd.h>

#include <cerrno>

namespace orvalis {

namespace {

// Field layout of the record: offset and width, in file order.
struct FieldSlot {
  std::size_t offset;
  std::size_t width;
};
constexpr FieldSlot kSlots[7] = {{0, 4}, {4, 4}, {8, 1}, {9, 4}, {13, 4}, {17, 4}, {21, 4}};

std::uint32_t* fieldOf(SearchParameters& p, int index) {
  switch (index) {
    case 0: return &p.framesPerSecond;
    case 1: return &p.filterRadius;
    case 3: return &p.viewfinderStep;
    case 4: return &p.viewfinderY;
    case 5: return &p.viewfinderX;
    case 6: return &p.viewfinderRadius;
    default: return nullptr;
  }
}

std::uint32_t fieldValue(const SearchParameters& p, int index) {
  if (index == 2) return p.colorTolerance;
  return *fieldOf(const_cast<SearchParameters&>(p), index);
}

constexpr ParameterOption kFramesPerSecondOptions[] = {
    {1, "Immagini elaborate per secondo:   1"},     {2, "Immagini elaborate per secondo:   2"},
    {4, "Immagini elaborate per secondo:   4"},     {8, "Immagini elaborate per secondo:   8"},
    {16, "Immagini elaborate per secondo:   16"},   {32, "Immagini elaborate per secondo:   32"},
    {64, "Immagini elaborate per secondo:   64"},   {128, "Immagini elaborate per secondo:   128"},
    {256, "Immagini elaborate per secondo:   256"},
};

constexpr ParameterOption kFilterRadiusOptions[] = {
    {1, "Raggio della filtrazione immagine:   1 pixels"},
    {2, "Raggio della filtrazione immagine:   2 pixels"},
    {3, "Raggio della filtrazione immagine:   3 pixels"},
    {4, "Raggio della filtrazione immagine:   4 pixels"},
    {5, "Raggio della filtrazione immagine:   5 pixels"},
    {6, "Raggio della filtrazione immagine:   6 pixels"},
    {7, "Raggio della filtrazione immagine:   7 pixels"},
    {8, "Raggio della filtrazione immagine:   8 pixels"},
    {9, "Raggio della filtrazione immagine:   9 pixels"},
    {10, "Raggio della filtrazione immagine:   10 pixels"},
    {11, "Raggio della filtrazione immagine:   11 pixels"},
    {12, "Raggio della filtrazione immagine:   12 pixels"},
    {13, "Raggio della filtrazione immagine:   13 pixels"},
    {14, "Raggio della filtrazione immagine:   14 pixels"},
    {15, "Raggio della filtrazione immagine:   15 pixels"},
    {16, "Raggio della filtrazione immagine:   16 pixels"},
    {17, "Raggio della filtrazione immagine:   17 pixels"},
    {18, "Raggio della filtrazione immagine:   18 pixels"},
    {19, "Raggio della filtrazione immagine:   19 pixels"},
    {20, "Raggio della filtrazione immagine:   20 pixels"},
};

constexpr ParameterOption kColorToleranceOptions[] = {
    {2, "Precisione cromatica della ricerca:   2"},   {4, "Precisione cromatica della ricerca:   4"},
    {6, "Precisione cromatica della ricerca:   6"},   {8, "Precisione cromatica della ricerca:   8"},
    {10, "Precisione cromatica della ricerca:   10"}, {12, "Precisione cromatica della ricerca:   12"},
    {14, "Precisione cromatica della ricerca:   14"}, {16, "Precisione cromatica della ricerca:   16"},
    {18, "Precisione cromatica della ricerca:   18"}, {20, "Precisione cromatica della ricerca:   20"},
    {22, "Precisione cromatica della ricerca:   22"}, {24, "Precisione cromatica della ricerca:   24"},
    {26, "Precisione cromatica della ricerca:   26"}, {28, "Precisione cromatica della ricerca:   28"},
    {30, "Precisione cromatica della ricerca:   30"}, {32, "Precisione cromatica della ricerca:   32"},
    {34, "Precisione cromatica della ricerca:   34"}, {36, "Precisione cromatica della ricerca:   36"},
    {38, "Precisione cromatica della ricerca:   38"}, {40, "Precisione cromatica della ricerca:   40"},
};

}  // namespace

void decodeParameters(const std::uint8_t* bytes, std::size_t size, SearchParameters& parameters) {
  // Fields are read one after another; a field the record does not hold in
  // full keeps its value, and so does every field after it.
  for (int index = 0; index < 7; ++index) {
    const FieldSlot slot = kSlots[index];
    if (slot.offset + slot.width > size) return;
    if (index == 2) {
      parameters.colorTolerance = bytes[slot.offset];
      continue;
    }
    std::uint32_t value = 0;
    for (std::size_t b = 0; b < 4; ++b) {
      value |= static_cast<std::uint32_t>(bytes[slot.offset + b]) << (8 * b);
    }
    *fieldOf(parameters, index) = value;
  }
}

void sanitizeParameters(SearchParameters& parameters) {
  if (parameters.framesPerSecond == 0) parameters.framesPerSecond = kDefaultParameters.framesPerSecond;
  if (parameters.filterRadius > kMaxFilterRadius) parameters.filterRadius = kDefaultParameters.filterRadius;
  if (parameters.viewfinderRadius > kMaxViewfinderRadius) parameters.viewfinderRadius = 0;
}

FileStatus loadParameters(SearchParameters& parameters, const char* path) {
  // Bytes past the record are ignored, so a file of any size is read only as
  // far as the record goes.
  FileStatus status = FileStatus::Ok;
  const int fd = openRegularFileForReading(path, status);
  if (fd < 0) {
    parameters = kDefaultParameters;
    return status;
  }
  std::uint8_t bytes[kParametersFileSize] = {};
  std::size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t read = ::read(fd, bytes + got, sizeof bytes - got);
    if (read < 0 && errno == EINTR) continue;
    if (read < 0) {
      ::close(fd);
      parameters = kDefaultParameters;
      return FileStatus::ReadError;
    }
    if (read == 0) break;
    got += static_cast<std::size_t>(read);
  }
  ::close(fd);
  decodeParameters(bytes, got, parameters);
  sanitizeParameters(parameters);
  return FileStatus::Ok;
}

void encodeParameters(const SearchParameters& parameters, std::uint8_t (&bytes)[kParametersFileSize]) {
  for (int index = 0; index < 7; ++index) {
    const FieldSlot slot = kSlots[index];
    const std::uint32_t value = fieldValue(parameters, index);
    for (std::size_t b = 0; b < slot.width; ++b) {
      bytes[slot.offset + b] = static_cast<std::uint8_t>(value >> (8 * b));
    }
  }
}

int writeParametersFile(const SearchParameters& parameters, const char* path, int* error,
                        const char* confinedTo) {
  std::uint8_t bytes[kParametersFileSize];
  encodeParameters(parameters, bytes);
  const int replaced = replaceFile(path, bytes, sizeof bytes, confinedTo);
  if (error != nullptr) *error = replaced;
  return replaced == 0 ? 1 : 0;
}

std::span<const ParameterOption> optionTable(Parameter parameter) {
  switch (parameter) {
    case Parameter::FramesPerSecond: return kFramesPerSecondOptions;
    case Parameter::FilterRadius: return kFilterRadiusOptions;
    case Parameter::ColorTolerance: return kColorToleranceOptions;
  }
  return {};
}

int stepIndexOf(std::uint32_t step) {
  for (int index = 0; index < 4; ++index) {
    if (kViewfinderSteps[index] == step) return index;
  }
  return 0;
}

}  // namespace orvalis
