#include "capture/qt/qtFrameSink.h"

#include <sys/uio.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QImage>
#include <QThread>
#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace orvalis {

// QImage::Format_RGB32 holds each pixel as the 32-bit value 0xffRRGGBB, which
// a little-endian machine stores as the bytes blue, green, red, 0xff: the
// 32-bit layout of a camera frame.
static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "frame bytes assume a little-endian machine");

QtFrameSink::QtFrameSink(QtFrameTiming timing) : timing_(timing) {
  // Direct: the frame is handed over in whatever thread the backend emits
  // from, under the mutex; converting waits until someone asks for it.
  receiving_ = QObject::connect(
      &sink_, &QVideoSink::videoFrameChanged, &sink_, [this](const QVideoFrame& frame) { receive(frame); },
      Qt::DirectConnection);
  quietCheck_.setInterval(timing_.quietCheckInterval);
  QObject::connect(&quietCheck_, &QTimer::timeout, &quietCheck_, [this] { checkQuiet(); });
}

QtFrameSink::~QtFrameSink() {
  release();
}

void QtFrameSink::receive(const QVideoFrame& frame) {
  // A sink sends an empty frame when its session lets go of it.
  if (!frame.isValid()) return;
  std::lock_guard filling(fillingMutex_);
  if (++offered_ <= static_cast<std::uint64_t>(std::max(timing_.framesToDrop, 0))) return;
  {
    std::lock_guard lock(mutex_);
    if (!open_) return;
  }
  if (!stage(frame)) return;
  std::lock_guard lock(mutex_);
  if (!open_) return;
  std::swap(filling_, ready_);
  readyIsNew_ = true;
  ++received_;
}

std::uint64_t QtFrameSink::received() const {
  std::lock_guard lock(mutex_);
  return received_;
}

void QtFrameSink::watch() {
  receivedAtLastCheck_ = received();
  quietChecks_ = 0;
  quietCheck_.start();
}

void QtFrameSink::checkQuiet() {
  const std::uint64_t now = received();
  if (now == 0) return;  // before the first frame the first-frame wait decides
  quietChecks_ = now == receivedAtLastCheck_ ? quietChecks_ + 1 : 0;
  receivedAtLastCheck_ = now;
  if (quietChecks_ >= timing_.quietChecksToFail) quiet_ = true;
}

bool QtFrameSink::waitForFirstFrame(const std::function<bool()>& giveUp) {
  const auto deadline = std::chrono::steady_clock::now() + timing_.firstFrameWait;
  while (received() == 0) {
    if (giveUp() || std::chrono::steady_clock::now() >= deadline) return false;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
    if (received() == 0) QThread::msleep(5);
  }
  return true;
}

bool QtFrameSink::latestFrame(RawFrame& frame) {
  {
    std::lock_guard lock(mutex_);
    if (!open_) return false;
    if (readyIsNew_) {
      std::swap(ready_, handed_);
      readyIsNew_ = false;
    }
  }
  if (handed_.layout.width == 0) return false;
  frame = handed_.layout;
  frame.rows = handed_.bytes.data();
  return true;
}

namespace {

// The bytes a mapped packed frame's rows span, or 0 where the mapping holds
// less: a PipeWire stream's first buffer can come short, and reading all its
// rows, or letting Qt's conversion read them, would run past it.
std::size_t packedSpan(const QVideoFrame& mapped, qint64 bytesPerPixel) {
  const qint64 width = mapped.width();
  const qint64 height = mapped.height();
  const qint64 stride = mapped.bytesPerLine(0);
  if (width <= 0 || height <= 0 || stride < bytesPerPixel * width) return 0;
  const qint64 span = stride * (height - 1) + bytesPerPixel * width;
  return mapped.mappedBytes(0) >= span ? static_cast<std::size_t>(span) : 0;
}

// Whether a frame left to Qt's conversion holds all its rows. Compressed and
// planar formats are Qt's to check.
bool wholeFrame(const QVideoFrame& frame) {
  const QVideoFrameFormat::PixelFormat format = frame.pixelFormat();
  qint64 bytesPerPixel = 0;
  if (format == QVideoFrameFormat::Format_UYVY) bytesPerPixel = 2;
  if (format == QVideoFrameFormat::Format_RGBA8888 || format == QVideoFrameFormat::Format_RGBX8888 ||
      format == QVideoFrameFormat::Format_XRGB8888 || format == QVideoFrameFormat::Format_ARGB8888 ||
      format == QVideoFrameFormat::Format_XBGR8888 || format == QVideoFrameFormat::Format_ABGR8888) {
    bytesPerPixel = 4;
  }
  if (bytesPerPixel == 0) return true;
  QVideoFrame mapped = frame;
  if (!mapped.map(QVideoFrame::ReadOnly)) return false;
  const bool whole = packedSpan(mapped, bytesPerPixel) != 0;
  mapped.unmap();
  return whole;
}

YuvCoding yuvCodingOf(const QVideoFrameFormat& format) {
  const bool full = format.colorRange() == QVideoFrameFormat::ColorRange_Full;
  // Cameras that say nothing send BT.601 in video range.
  if (format.colorSpace() == QVideoFrameFormat::ColorSpace_BT709) {
    return full ? YuvCoding::Bt709Full : YuvCoding::Bt709Video;
  }
  return full ? YuvCoding::Bt601Full : YuvCoding::Bt601Video;
}

// Copies bytes that the media backend lends for the length of a callback.
// A backend may take that memory back early: PipeWire's GStreamer source
// unmaps its buffers when it renegotiates, which it does right after its
// first frame, while another thread may still be reading that frame. The
// kernel's copy between address spaces, aimed at this process, reports such
// memory as a failed read where a plain copy would crash the program.
bool copyLent(std::uint8_t* to, const std::uint8_t* from, std::size_t count) {
  iovec local{to, count};
  iovec remote{const_cast<std::uint8_t*>(from), count};
  const ssize_t copied = process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
  if (copied >= 0) return static_cast<std::size_t>(copied) == count;
  if (errno != ENOSYS && errno != EPERM) return false;
  // Where a sandbox forbids the call, the plain copy is all there is.
  std::memcpy(to, from, count);
  return true;
}

void growTo(std::vector<std::uint8_t>& bytes, std::size_t count) {
  if (bytes.size() < count) bytes.resize(count);
}

}  // namespace

bool QtFrameSink::stage(const QVideoFrame& frame) {
  const QVideoFrameFormat::PixelFormat format = frame.pixelFormat();
  std::uint32_t bitCount = 0;
  if (format == QVideoFrameFormat::Format_YUYV) bitCount = 16;
  if (format == QVideoFrameFormat::Format_BGRA8888 || format == QVideoFrameFormat::Format_BGRX8888)
    bitCount = 32;

  if (bitCount != 0) {
    // The layouts the store reads itself: the rows as they are.
    QVideoFrame mapped = frame;
    if (!mapped.map(QVideoFrame::ReadOnly)) return false;
    const std::size_t span = packedSpan(mapped, bitCount / 8);
    const std::uint32_t width = static_cast<std::uint32_t>(mapped.width());
    const std::uint32_t height = static_cast<std::uint32_t>(mapped.height());
    const std::size_t stride = static_cast<std::size_t>(mapped.bytesPerLine(0));
    const QVideoFrameFormat surface = mapped.surfaceFormat();
    bool whole = span != 0 && (bitCount != 16 || width % 2 == 0);
    if (whole) {
      growTo(filling_.bytes, span);
      whole = copyLent(filling_.bytes.data(), mapped.bits(0), span);
    }
    mapped.unmap();
    if (!whole) return false;
    const RowOrder order = surface.scanLineDirection() == QVideoFrameFormat::BottomToTop ? RowOrder::BottomUp
                                                                                         : RowOrder::TopDown;
    filling_.layout = RawFrame{width, height, bitCount, stride, nullptr, order, yuvCodingOf(surface)};
    return true;
  }

  // Anything else (compressed, planar, other byte orders) through Qt's own
  // conversion, here, while the frame is still lent; it allocates, on this
  // thread and not on the search's.
  if (!wholeFrame(frame)) return false;
  QImage picture = frame.toImage();
  if (!picture.isNull() && picture.format() != QImage::Format_RGB32) {
    picture = picture.convertToFormat(QImage::Format_RGB32);
  }
  if (picture.isNull()) return false;
  const std::size_t stride = static_cast<std::size_t>(picture.bytesPerLine());
  const std::size_t span = stride * static_cast<std::size_t>(picture.height());
  growTo(filling_.bytes, span);
  std::memcpy(filling_.bytes.data(), picture.constBits(), span);
  filling_.layout = RawFrame{static_cast<std::uint32_t>(picture.width()),
                             static_cast<std::uint32_t>(picture.height()),
                             32,
                             stride,
                             nullptr,
                             RowOrder::TopDown};
  return true;
}

void QtFrameSink::release() {
  quietCheck_.stop();
  QObject::disconnect(receiving_);
  // A frame being copied in now finishes first; none is taken after.
  std::lock_guard filling(fillingMutex_);
  std::lock_guard lock(mutex_);
  open_ = false;
  ready_ = Staged{};
  handed_ = Staged{};
}

}  // namespace orvalis
