#include "files/loadJpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

// jpeglib.h needs size_t and FILE declared before it.
// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "platform/safeFile.h"
#include "state/constants.h"

namespace orvalis {

namespace {

// Decoder warnings that leave every pixel decoded from the file: stray bytes
// between segments, metadata the decoder does not know or can't use. Every
// other warning means the decoder made up pixels (gray for a missing part)
// or lost its place in the data, and the picture is refused.
bool harmlessWarning(int code) {
  switch (code) {
    case JWRN_EXTRANEOUS_DATA:  // "Corrupt JPEG data: N extraneous bytes before marker 0xXX"
    case JWRN_JFIF_MAJOR:       // "Warning: unknown JFIF revision number N.NN"
    case JWRN_BOGUS_ICC:        // "Corrupt JPEG data: bad ICC marker"
    case JWRN_ADOBE_XFORM:      // "Unknown Adobe color transform code N"
      return true;
    default: return false;
  }
}

struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  JpegRefusal refusal = JpegRefusal::None;
  char message[JMSG_LENGTH_MAX] = {};
};

ErrorManager& managerOf(j_common_ptr info) {
  return *reinterpret_cast<ErrorManager*>(info->err);
}

void stopDecoding(j_common_ptr info, JpegRefusal refusal) {
  ErrorManager& manager = managerOf(info);
  manager.refusal = refusal;
  (*info->err->format_message)(info, manager.message);
  std::longjmp(manager.jump, 1);
}

void onError(j_common_ptr info) {
  stopDecoding(info, JpegRefusal::NotDecodable);
}

void onMessage(j_common_ptr info, int level) {
  // Negative levels are warnings; the others are trace messages.
  if (level < 0 && !harmlessWarning(info->err->msg_code)) stopDecoding(info, JpegRefusal::Damaged);
}

void silent(j_common_ptr) {}

// One decompressor and one file buffer per thread, made at the first load and
// kept: the buffer only grows, so a run over an archive of similar pictures
// stops allocating after its first picture.
struct DecoderContext {
  jpeg_decompress_struct info{};
  ErrorManager errors;
  std::vector<std::uint8_t> fileBytes;

  DecoderContext() {
    fileBytes.reserve(8u << 20);
    create();
  }
  ~DecoderContext() { jpeg_destroy_decompress(&info); }
  DecoderContext(const DecoderContext&) = delete;
  DecoderContext& operator=(const DecoderContext&) = delete;

  void create() {
    info.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = onError;
    errors.pub.emit_message = onMessage;
    errors.pub.output_message = silent;
    jpeg_create_decompress(&info);
  }
  // A decompressor that failed part-way can be left in a state that spoils
  // later pictures, so a failure that reached the decoder is followed by a
  // fresh one. Damaged files are rare; the normal end of the archive is a
  // missing file, which never gets this far.
  void renew() {
    jpeg_destroy_decompress(&info);
    create();
  }
};

DecoderContext& decoder() {
  thread_local DecoderContext context;
  return context;
}

void setSizes(std::uint32_t w, std::uint32_t h, std::uint32_t& width, std::uint32_t& height) {
  width = w;
  height = h;
}

bool refuse(JpegLoadFailure* failure, JpegRefusal refusal, const char* detail = "") {
  if (failure != nullptr) {
    failure->refusal = refusal;
    failure->detail = detail;
  }
  return false;
}

// The part that may be left by longjmp: only C frames of the decoder lie
// between here and the jump, and nothing here needs a destructor.
JpegRefusal decodeInto(DecoderContext& context, const std::uint8_t* data, std::size_t size,
                       std::uint8_t* destination, std::uint32_t& outWidth, std::uint32_t& outHeight) {
  jpeg_decompress_struct& info = context.info;
  ErrorManager& errors = context.errors;
  errors.refusal = JpegRefusal::None;
  errors.message[0] = '\0';
  if (setjmp(errors.jump) != 0) return errors.refusal;

  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  jpeg_read_header(&info, TRUE);
  // Header first: everything refused here leaves the destination untouched.
  const JDIMENSION w = info.image_width, h = info.image_height;
  if (w == 0 || h == 0) {
    std::snprintf(errors.message, sizeof errors.message, "a header without a picture size");
    return JpegRefusal::NotDecodable;
  }
  if (!fitsImageCapacity(w, h)) {
    std::snprintf(errors.message, sizeof errors.message, "%ux%u", static_cast<unsigned>(w),
                  static_cast<unsigned>(h));
    return JpegRefusal::TooManyPixels;
  }
  if (info.jpeg_color_space != JCS_RGB && info.jpeg_color_space != JCS_YCbCr &&
      info.jpeg_color_space != JCS_GRAYSCALE) {
    return JpegRefusal::UnsupportedColour;
  }

  // The library's accurate defaults (integer DCT, smooth upsampling): the
  // same pixels as other programs built on libjpeg-turbo.
  info.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&info);
  const std::size_t stride = static_cast<std::size_t>(w) * 3;
  while (info.output_scanline < info.output_height) {
    JSAMPROW rows[16];
    const JDIMENSION left = info.output_height - info.output_scanline;
    const JDIMENSION count = left < 16 ? left : 16;
    for (JDIMENSION r = 0; r < count; ++r) rows[r] = destination + (info.output_scanline + r) * stride;
    jpeg_read_scanlines(&info, rows, count);
  }
  // Reads on to the end of the image, where a warning may still come.
  jpeg_finish_decompress(&info);
  outWidth = w;
  outHeight = h;
  return JpegRefusal::None;
}

}  // namespace

std::string describeJpegFailure(const JpegLoadFailure& failure) {
  const std::string detail = failure.detail.empty() ? "" : " (" + failure.detail + ")";
  switch (failure.refusal) {
    case JpegRefusal::None: return "decoded";
    case JpegRefusal::Missing: return "not found";
    case JpegRefusal::PermissionDenied: return "permission denied";
    case JpegRefusal::NotRegularFile: return "not a regular file";
    case JpegRefusal::FileTooLarge: return "file larger than 64 MiB";
    case JpegRefusal::Empty: return "empty file";
    case JpegRefusal::ReadError: return "read error" + detail;
    case JpegRefusal::NotDecodable: return "not a JPEG the decoder can read" + detail;
    case JpegRefusal::TooManyPixels: return "larger than 1920x1200 pixels" + detail;
    case JpegRefusal::UnsupportedColour: return "CMYK or YCCK colour, not supported";
    case JpegRefusal::Damaged: return "damaged" + detail;
  }
  return "refused";
}

bool decodeJpeg(const std::uint8_t* data, std::size_t size, BgrImage& destination, std::uint32_t& width,
                std::uint32_t& height, JpegLoadFailure* failure) {
  setSizes(0, 0, width, height);
  if (data == nullptr || size == 0) return refuse(failure, JpegRefusal::Empty);
  if (size > kMaxJpegFileBytes) return refuse(failure, JpegRefusal::FileTooLarge);

  DecoderContext& context = decoder();
  std::uint32_t w = 0, h = 0;
  const JpegRefusal refusal = decodeInto(context, data, size, destination.data(), w, h);
  if (refusal != JpegRefusal::None) {
    context.renew();
    return refuse(failure, refusal, context.errors.message);
  }
  setSizes(w, h, width, height);
  if (failure != nullptr) *failure = JpegLoadFailure{};
  return true;
}

bool loadJpeg(const char* path, BgrImage& destination, std::uint32_t& width, std::uint32_t& height,
              JpegLoadFailure* failure) {
  setSizes(0, 0, width, height);
  if (path == nullptr) return refuse(failure, JpegRefusal::Missing);
  DecoderContext& context = decoder();
  int errorNumber = 0;
  switch (readRegularFile(path, context.fileBytes, kMaxJpegFileBytes, &errorNumber)) {
    case FileStatus::Ok: break;
    case FileStatus::Missing: return refuse(failure, JpegRefusal::Missing);
    case FileStatus::PermissionDenied: return refuse(failure, JpegRefusal::PermissionDenied);
    case FileStatus::NotRegularFile: return refuse(failure, JpegRefusal::NotRegularFile);
    case FileStatus::TooLarge: return refuse(failure, JpegRefusal::FileTooLarge);
    case FileStatus::ReadError:
      return refuse(failure, JpegRefusal::ReadError, fileStatusText(FileStatus::ReadError, errorNumber));
  }
  return decodeJpeg(context.fileBytes.data(), context.fileBytes.size(), destination, width, height, failure);
}

}  // namespace orvalis
