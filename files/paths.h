#pragma once

namespace orvalis {

// Fixed files, relative to the working directory.
inline constexpr const char kParametersPath[] = "res/Combo_Box_Parameters.bin";
inline constexpr const char kBackdropPath[] = "res/Dark_Gray_Square.jpg";
inline constexpr const char kArchiveFolder[] = "Image_Archive";
inline constexpr const char kStillQueryPath[] = "Image_Archive/Current_Image.jpg";
inline constexpr const char kFirstArchivePath[] = "Image_Archive/Image_0000000000.jpg";

}  // namespace orvalis
