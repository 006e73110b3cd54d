#include "capture/qt/qtFrameSink.h"

#include <QCoreApplication>
#include <QImage>
#include <QThread>
#include <QtEndian>
#include <cstring>

namespace orvalis {

// QImage::Format_RGB32 holds each pixel as the 32-bit value 0xffRRGGBB, which
// a little-endian machine stores as the bytes blue, green, red, 0xff: the
// 32-bit layout of a camera frame.
static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "frame bytes assume a little-endian machine");

namespace {
bool wholeFrame(const QVideoFrame& frame);
}  // namespace

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
  if (!frame.isValid() || !wholeFrame(frame)) return;
  std::lock_guard lock(mutex_);
  if (!open_) return;
  latest_ = frame;
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
  QVideoFrame newest;
  {
    std::lock_guard lock(mutex_);
    newest = latest_;
  }
  if (!newest.isValid()) return false;

  if (held_.isMapped()) held_.unmap();
  held_ = newest;
  if (held_.map(QVideoFrame::ReadOnly)) {
    const QVideoFrameFormat::PixelFormat format = held_.pixelFormat();
    if (format == QVideoFrameFormat::Format_YUYV) {
      const bool converted = convertYuyv(held_, frame);
      held_.unmap();
      held_ = QVideoFrame();
      return converted;
    }
    held_.unmap();
  }
  held_ = QVideoFrame();

  // Whatever the camera's pixel format, Qt turns it into a top-down picture;
  // it is handed out as it is, and the store takes it in one pass.
  picture_ = newest.toImage();
  if (!picture_.isNull() && picture_.format() != QImage::Format_RGB32) {
    picture_ = picture_.convertToFormat(QImage::Format_RGB32);
  }
  if (picture_.isNull()) return false;
  frame = RawFrame{static_cast<std::uint32_t>(picture_.width()),
                   static_cast<std::uint32_t>(picture_.height()),
                   32,
                   static_cast<std::size_t>(picture_.bytesPerLine()),
                   picture_.constBits(),
                   RowOrder::TopDown};
  return true;
}

namespace {

// A packed frame must hold all its rows. A PipeWire stream's first buffer
// can come short, and Qt's own conversion then reads past it.
bool wholeFrame(const QVideoFrame& frame) {
  const QVideoFrameFormat::PixelFormat format = frame.pixelFormat();
  int bytesPerPixel = 0;
  if (format == QVideoFrameFormat::Format_YUYV || format == QVideoFrameFormat::Format_UYVY) bytesPerPixel = 2;
  if (format == QVideoFrameFormat::Format_BGRA8888 || format == QVideoFrameFormat::Format_BGRX8888 ||
      format == QVideoFrameFormat::Format_RGBA8888 || format == QVideoFrameFormat::Format_RGBX8888 ||
      format == QVideoFrameFormat::Format_XRGB8888 || format == QVideoFrameFormat::Format_ARGB8888 ||
      format == QVideoFrameFormat::Format_XBGR8888 || format == QVideoFrameFormat::Format_ABGR8888) {
    bytesPerPixel = 4;
  }
  if (bytesPerPixel == 0) return true;  // compressed or planar: Qt's conversion checks those
  QVideoFrame mapped = frame;
  if (!mapped.map(QVideoFrame::ReadOnly)) return false;
  const qint64 width = mapped.width();
  const qint64 height = mapped.height();
  const qint64 stride = mapped.bytesPerLine(0);
  const bool whole = width > 0 && height > 0 && stride >= bytesPerPixel * width &&
                     mapped.mappedBytes(0) >= stride * (height - 1) + bytesPerPixel * width;
  mapped.unmap();
  return whole;
}

// Integer YCbCr to RGB, 8 fraction bits: the luma scale and the chroma
// weights of the stated matrix and range.
struct YuvWeights {
  int y, rv, gu, gv, bu, yOffset;
};

YuvWeights yuvWeights(const QVideoFrameFormat& format) {
  const bool full = format.colorRange() == QVideoFrameFormat::ColorRange_Full;
  const bool bt709 = format.colorSpace() == QVideoFrameFormat::ColorSpace_BT709;
  // Cameras that say nothing send BT.601 in video range.
  if (full) return bt709 ? YuvWeights{256, 403, 48, 120, 475, 0} : YuvWeights{256, 359, 88, 183, 454, 0};
  return bt709 ? YuvWeights{298, 459, 55, 136, 541, 16} : YuvWeights{298, 409, 100, 208, 516, 16};
}

std::uint8_t clamp8(int value) {
  return static_cast<std::uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
}

}  // namespace

bool QtFrameSink::convertYuyv(const QVideoFrame& mapped, RawFrame& frame) {
  const int width = mapped.width();
  const int height = mapped.height();
  const int stride = mapped.bytesPerLine(0);
  if (width <= 0 || height <= 0 || width % 2 != 0 || stride < 2 * width) return false;
  const YuvWeights k = yuvWeights(mapped.surfaceFormat());
  const std::size_t rowBytes = 3 * static_cast<std::size_t>(width);
  if (rows_.size() < rowBytes * static_cast<std::size_t>(height)) rows_.resize(rowBytes * height);
  for (int row = 0; row < height; ++row) {
    const std::uint8_t* in = mapped.bits(0) + static_cast<std::size_t>(row) * stride;
    std::uint8_t* out = rows_.data() + row * rowBytes;
    for (int x = 0; x < width; x += 2, in += 4, out += 6) {
      // Y0 U Y1 V: two pixels share one chroma pair.
      const int u = in[1] - 128;
      const int v = in[3] - 128;
      const int red = k.rv * v + 128;
      const int green = -k.gu * u - k.gv * v + 128;
      const int blue = k.bu * u + 128;
      for (int i = 0; i < 2; ++i) {
        const int luma = k.y * (in[2 * i] - k.yOffset);
        out[3 * i] = clamp8((luma + blue) >> 8);
        out[3 * i + 1] = clamp8((luma + green) >> 8);
        out[3 * i + 2] = clamp8((luma + red) >> 8);
      }
    }
  }
  frame = RawFrame{static_cast<std::uint32_t>(width),
                   static_cast<std::uint32_t>(height),
                   24,
                   rowBytes,
                   rows_.data(),
                   RowOrder::TopDown};
  return true;
}

void QtFrameSink::release() {
  if (held_.isMapped()) held_.unmap();
  held_ = QVideoFrame();
  quietCheck_.stop();
  QObject::disconnect(receiving_);
  std::lock_guard lock(mutex_);
  open_ = false;
  latest_ = QVideoFrame();
  picture_ = QImage();
}

}  // namespace orvalis
