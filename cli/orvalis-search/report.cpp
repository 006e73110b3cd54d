#include "cli/orvalis-search/report.h"

#include <cstdio>

namespace orvalis {

namespace {

// A JSON string: quotes, backslashes and control characters escaped; other
// bytes (file names in UTF-8) pass through.
std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", byte);
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// Enough digits to give back the same double.
std::string exactNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

std::string milliseconds(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", value);
  return text;
}

}  // namespace

std::string pictureJson(const PictureResult& result) {
  const bool found = result.matchFound != 0;
  const std::string none = "null";
  return "{\"index\": " + std::to_string(result.index) + ", \"file\": " + jsonString(result.file) +
         ", \"width\": " + std::to_string(result.width) + ", \"height\": " + std::to_string(result.height) +
         ", \"matchFound\": " + (found ? "true" : "false") +
         ", \"matchX\": " + (found ? std::to_string(result.matchX) : none) +
         ", \"matchY\": " + (found ? std::to_string(result.matchY) : none) +
         ", \"matchAngle\": " + (found ? exactNumber(result.matchAngle) : none) +
         ", \"matchAngleDeg\": " + (found ? exactNumber(result.matchAngleDeg) : none) +
         ", \"filterMs\": " + milliseconds(result.filterMs) + ", \"scanMs\": " + milliseconds(result.scanMs) +
         "}";
}

std::string summaryJson(const WalkSummary& summary) {
  return "{\"summary\": true, \"scanned\": " + std::to_string(summary.scanned) +
         ", \"matches\": " + std::to_string(summary.matches) +
         ", \"totalMs\": " + milliseconds(summary.totalMs) + "}";
}

std::string pictureLine(const PictureResult& result) {
  char text[512];
  return formatPictureLine(result, text, sizeof text);
}

std::string summaryLine(const WalkSummary& summary) {
  char text[120];
  std::snprintf(text, sizeof text, "%llu picture%s scanned, %llu with a match, %.1f ms",
                static_cast<unsigned long long>(summary.scanned), summary.scanned == 1 ? "" : "s",
                static_cast<unsigned long long>(summary.matches), summary.totalMs);
  return text;
}

}  // namespace orvalis
