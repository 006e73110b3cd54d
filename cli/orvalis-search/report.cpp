#include "cli/orvalis-search/report.h"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

namespace orvalis {

namespace {

using Json = nlohmann::ordered_json;

// Compact, keys in the order written, and never a byte that is not UTF-8: a
// file name that is not valid UTF-8 gets U+FFFD for each bad byte, so every
// line stays valid JSON.
std::string line(const Json& object) {
  return object.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// Times are measured in microseconds at best: three decimals of a
// millisecond. Rounding first keeps the printed number short.
double milliseconds(double value) {
  return std::round(value * 1000.0) / 1000.0;
}

}  // namespace

std::string pictureJson(const PictureResult& result) {
  const bool found = result.matchFound != 0;
  // Doubles are written with the fewest digits that read back to the same
  // bits, so equal text is equal values.
  Json object;
  object["index"] = result.index;
  object["file"] = result.file;
  object["width"] = result.width;
  object["height"] = result.height;
  object["matchFound"] = found;
  object["matchX"] = found ? Json(result.matchX) : Json(nullptr);
  object["matchY"] = found ? Json(result.matchY) : Json(nullptr);
  object["matchAngle"] = found ? Json(result.matchAngle) : Json(nullptr);
  object["matchAngleDeg"] = found ? Json(result.matchAngleDeg) : Json(nullptr);
  if (result.profiled) {
    object["scale"] = found ? Json(result.matches[0].scale) : Json(nullptr);
    object["score"] = found ? Json(result.matches[0].score) : Json(nullptr);
    if (result.matchesWanted > 1) {
      Json all = Json::array();
      for (std::uint32_t m = 0; m < result.matchCount; ++m) {
        const FoundMatch& match = result.matches[m];
        all.push_back(Json{{"matchX", match.x},
                           {"matchY", match.y},
                           {"matchAngle", match.angle},
                           {"matchAngleDeg", match.angleDeg},
                           {"scale", match.scale},
                           {"score", match.score}});
      }
      object["matches"] = all;
    }
  }
  object["filterMs"] = milliseconds(result.filterMs);
  object["scanMs"] = milliseconds(result.scanMs);
  return line(object);
}

std::string summaryJson(const WalkSummary& summary) {
  Json object;
  object["summary"] = true;
  object["scanned"] = summary.scanned;
  object["matches"] = summary.matches;
  object["totalMs"] = milliseconds(summary.totalMs);
  return line(object);
}

std::string pictureLine(const PictureResult& result) {
  return pictureLineText(result);
}

std::string summaryLine(const WalkSummary& summary) {
  char text[120];
  std::snprintf(text, sizeof text, "%llu picture%s scanned, %llu with a match, %.1f ms",
                static_cast<unsigned long long>(summary.scanned), summary.scanned == 1 ? "" : "s",
                static_cast<unsigned long long>(summary.matches), summary.totalMs);
  return text;
}

}  // namespace orvalis
