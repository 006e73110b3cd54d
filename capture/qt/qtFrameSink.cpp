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

  // Whatever the camera's pixel format, Qt turns it into a top-down picture;
  // it is handed out as it is, and the store takes it in one pass.
  picture_ = newest.toImage();
  if (!picture_.isNull() && picture_.format() != QImage::Format_RGB32) {
    picture_ = picture_.convertToFormat(QImage::Format_RGB32);
  }
  if (picture_.isNull()) return false;
  frame = RawFrame{static_cast<std::uint32_t>(picture_.width()), static_cast<std::uint32_t>(picture_.height()), 32,
                   static_cast<std::size_t>(picture_.bytesPerLine()), picture_.constBits(), RowOrder::TopDown};
  return true;
}

void QtFrameSink::release() {
  quietCheck_.stop();
  QObject::disconnect(receiving_);
  std::lock_guard lock(mutex_);
  open_ = false;
  latest_ = QVideoFrame();
  picture_ = QImage();
}

}  // namespace orvalis
