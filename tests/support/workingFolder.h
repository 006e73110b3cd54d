#pragma once

// A working folder as the programs expect it, built in a few calls: res/ with
// the backdrop and the parameters file, Image_Archive/ with the still query
// and the numbered archive pictures; the layout written down once.

#include <cstdint>
#include <filesystem>
#include <set>
#include <vector>

#include "state/searchState.h"
#include "tests/support/testSupport.h"

namespace orvalis::testing {

class WorkingFolder {
 public:
  explicit WorkingFolder(std::filesystem::path root) : root_(std::move(root)) {}

  // res/Dark_Gray_Square.jpg: a plain 8 x 8 gray of level 60, or a copy.
  WorkingFolder& backdrop();
  WorkingFolder& backdrop(const std::filesystem::path& copyOf);
  // res/Combo_Box_Parameters.bin; throws when it can't be written.
  WorkingFolder& parameters(const SearchParameters& parameters);
  WorkingFolder& still(const BgrPicture& query, int quality = 100);
  // Image_Archive/ made, with pictures first, first + 1, ...
  WorkingFolder& archive(const std::vector<BgrPicture>& pictures, int quality = 100, std::uint32_t first = 0);
  // res/<Name>.sh for every exit script: appends Name to res/markers.txt, makes res/<Name>.ran.
  WorkingFolder& markerScripts();

  // The search tools' folder: a width x height texture as the still query,
  // the viewfinder at its centre with radius 40 and tolerance 8 saved.
  WorkingFolder& centredQuery(std::uint32_t width, std::uint32_t height);
  // Archive pictures 0 to count - 1 of that size, a texture each (seed 40 +
  // number); those in planted hold the query's viewfinder square turned a
  // quarter, centred 5 rows above and 20 columns right of the picture's
  // centre. The filter reaches 48 pixels from the viewfinder's centre, the
  // square 52: what is found there is the query's alone.
  WorkingFolder& plantedArchive(std::uint32_t count, const std::set<std::uint32_t>& planted = {});

  // Pictures without texture (blurred noise, 1920 x 1080) and the widest
  // tolerance: the scan of picture 0 takes minutes.
  WorkingFolder& flat();

 private:
  std::filesystem::path root_;
  BgrPicture query_;
};

}  // namespace orvalis::testing
