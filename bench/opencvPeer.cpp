// What a user would otherwise pick: OpenCV's template matching, with a
// circular mask over the viewfinder disc turned in fixed steps, against the
// Orvalis engine, on the same archive pictures with the query's disc planted
// at a known place and angle. Prints one line per picture and method: time,
// place and angle found, and whether both are right.
//
//   opencvPeer WIDTH HEIGHT STEP_DEGREES [PICTURES [check]]
//
// With "check", the engine also searches each picture with its reference
// kernels and says whether every result field agrees to the last bit.
//
// Times exclude JPEG decoding (the same for both) and the one-off template
// preparation of each method; they include everything done per archive
// picture.

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <string>

#include "bench/benchPictures.h"
#include "imaging/pixelConversions.h"
#include "matching/archiveScan.h"
#include "matching/fastScan.h"
#include "matching/ringSignature.h"
#include "matching/searchSteps.h"
#include "platform/workerPool.h"

namespace orvalis::bench {
namespace {

using Clock = std::chrono::steady_clock;

double circularDistance(double a, double b) {
  const double d = std::fmod(std::fabs(a - b), 360.0);
  return std::min(d, 360.0 - d);
}

struct Found {
  double row = 0, column = 0, angle = 0, ms = 0;
  bool any = false;
};

void report(const char* method, const Planted& p, const Found& f, double angleSlack) {
  const double distance = std::hypot(f.row - p.row, f.column - p.column);
  const bool place = f.any && distance <= 3.0;
  const bool angle = f.any && circularDistance(f.angle, p.angleDeg) <= angleSlack;
  std::printf("%-22s planted (%u, %u) at %6.1f deg: %9.1f ms, found %s (%.0f, %.0f) at %6.1f deg: %s\n",
              method, p.row, p.column, p.angleDeg, f.ms, f.any ? "yes" : "no ", f.row, f.column, f.angle,
              place && angle ? "HIT" : "MISS");
}

}  // namespace
}  // namespace orvalis::bench

int main(int argc, char** argv) {
  using namespace orvalis;
  using namespace orvalis::bench;
  if (argc < 4) {
    std::fprintf(stderr, "usage: opencvPeer WIDTH HEIGHT STEP_DEGREES [PICTURES]\n");
    return 2;
  }
  const std::uint32_t width = static_cast<std::uint32_t>(std::atoi(argv[1]));
  const std::uint32_t height = static_cast<std::uint32_t>(std::atoi(argv[2]));
  const double step = std::atof(argv[3]);
  const SearchPictures pictures = searchPictures(width, height);
  std::vector<Planted> planted = plantedPictures(pictures);
  if (argc > 4) planted.resize(std::min<std::size_t>(planted.size(), std::atoi(argv[4])));
  const bool check = argc > 5 && std::string(argv[5]) == "check";
  const int r = static_cast<int>(pictures.viewfinderRadius);
  cv::setNumThreads(static_cast<int>(hardwareLanes()));

  // Orvalis: the template once, then per picture split, filter, gray, scan.
  auto workspace = templateWorkspace(pictures, width, height);
  SearchState& state = workspace->state;
  ImageStore& images = workspace->images;

  // OpenCV: the gray query's disc turned by every step, with its mask.
  cv::Mat query(static_cast<int>(height), static_cast<int>(width), CV_8UC3,
                const_cast<std::uint8_t*>(pictures.query.pixels.data()));
  cv::Mat queryGray;
  cv::cvtColor(query, queryGray, cv::COLOR_BGR2GRAY);
  cv::Mat mask(2 * r + 1, 2 * r + 1, CV_8U, cv::Scalar(0));
  cv::circle(mask, cv::Point(r, r), r, cv::Scalar(255), cv::FILLED);
  std::vector<cv::Mat> templates;
  std::vector<double> angles;
  for (double angle = 0; angle < 360.0 - 1e-9; angle += step) {
    // Turned the same way as the planted discs: pixel (dy, dx) of the
    // template shows the query at (dy cos a - dx sin a, dy sin a + dx cos a).
    cv::Mat map1(2 * r + 1, 2 * r + 1, CV_32F), map2(2 * r + 1, 2 * r + 1, CV_32F);
    const double a = angle * 3.14159265358979323846 / 180.0;
    for (int dy = -r; dy <= r; ++dy) {
      for (int dx = -r; dx <= r; ++dx) {
        map1.at<float>(dy + r, dx + r) =
            static_cast<float>(state.viewfinderX + dy * std::sin(a) + dx * std::cos(a));
        map2.at<float>(dy + r, dx + r) =
            static_cast<float>(state.viewfinderY + dy * std::cos(a) - dx * std::sin(a));
      }
    }
    cv::Mat turned;
    cv::remap(queryGray, turned, map1, map2, cv::INTER_LINEAR);
    templates.push_back(turned);
    angles.push_back(angle);
  }

  std::printf(
      "%u x %u, viewfinder radius %d, %u lanes, OpenCV %s with %zu turned templates (%.0f-degree steps)\n",
      width, height, r, hardwareLanes(), CV_VERSION, templates.size(), step);
  for (const Planted& p : planted) {
    {
      const auto start = Clock::now();
      splitPlanes(p.picture.pixels.data(), width, height, images.archiveB.data(), images.archiveG.data(),
                  images.archiveR.data());
      if (!filterArchiveImage(*workspace)) return 1;
      const int found = scanArchiveImage(*workspace, state.viewfinderRadius);
      Found f;
      f.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
      f.any = found == 1;
      f.row = state.matchY;
      f.column = state.matchX;
      f.angle = state.matchAngle * 180.0 / kPi;
      report("orvalis (fast kernels)", p, f, 1.5);
      if (check) {
        const SearchState fast = state;
        workspace->kernels = Kernels::Reference;
        if (!filterArchiveImage(*workspace)) return 1;
        const int plainFound = scanArchiveImage(*workspace, state.viewfinderRadius);
        workspace->kernels = Kernels::Fast;
        const auto same = [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; };
        const bool agree = plainFound == found && state.matchX == fast.matchX &&
                           state.matchY == fast.matchY && same(state.matchAngle, fast.matchAngle) &&
                           same(state.consensusAngleDeg, fast.consensusAngleDeg) &&
                           same(state.matchRadius, fast.matchRadius);
        std::printf("reference kernels agree to the last bit: %s\n", agree ? "yes" : "NO");
      }
    }
    {
      const auto start = Clock::now();
      cv::Mat picture(static_cast<int>(height), static_cast<int>(width), CV_8UC3,
                      const_cast<std::uint8_t*>(p.picture.pixels.data()));
      cv::Mat gray, result;
      cv::cvtColor(picture, gray, cv::COLOR_BGR2GRAY);
      Found f;
      double best = -1;
      for (std::size_t k = 0; k < templates.size(); ++k) {
        cv::matchTemplate(gray, templates[k], result, cv::TM_CCORR_NORMED, mask);
        double maxValue = 0;
        cv::Point at;
        cv::minMaxLoc(result, nullptr, &maxValue, nullptr, &at);
        if (std::isfinite(maxValue) && maxValue > best) {
          best = maxValue;
          f.row = at.y + r;
          f.column = at.x + r;
          f.angle = angles[k];
          f.any = true;
        }
      }
      f.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
      char method[40];
      std::snprintf(method, sizeof method, "opencv masked %g-deg", step);
      report(method, p, f, step / 2 + 1.0);
    }
  }
  return 0;
}
