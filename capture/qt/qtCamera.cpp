#include "capture/qt/qtCamera.h"

#include <QCamera>
#include <QCameraDevice>
#include <QCoreApplication>
#include <QMediaCaptureSession>
#include <QMediaDevices>
#include <vector>

#include "capture/cameraFormatChoice.h"

namespace orvalis {

QtCameraSource::QtCameraSource(std::uint32_t preferredWidth, std::uint32_t preferredHeight,
                               QtFrameTiming timing)
    : preferredWidth_(preferredWidth), preferredHeight_(preferredHeight), timing_(timing) {}

QtCameraSource::~QtCameraSource() {
  stop();
}

bool QtCameraSource::start() {
  if (camera_ != nullptr) return !failedNow();
  if (QCoreApplication::instance() == nullptr) return false;

  // The first device as listed, and no other.
  const QList<QCameraDevice> inputs = QMediaDevices::videoInputs();
  if (inputs.isEmpty()) return false;
  const QCameraDevice device = inputs.first();
  deviceId_ = device.id();
  failed_ = false;
  waitInterrupted_ = false;

  // A vanished device shows only in the device list.
  frames_ = std::make_unique<QtFrameSink>(timing_);
  devices_ = std::make_unique<QMediaDevices>();
  QObject::connect(devices_.get(), &QMediaDevices::videoInputsChanged, devices_.get(), [this] {
    if (!deviceListed()) failed_ = true;
  });

  camera_ = std::make_unique<QCamera>(device);
  QObject::connect(camera_.get(), &QCamera::errorOccurred, camera_.get(), [this](QCamera::Error error) {
    if (error != QCamera::NoError) failed_ = true;
  });
  if (camera_->error() != QCamera::NoError) {
    stop();
    return false;
  }
  chooseFormat(device);

  session_ = std::make_unique<QMediaCaptureSession>();
  session_->setCamera(camera_.get());
  session_->setVideoSink(frames_->videoSink());
  camera_->start();
  frames_->watch();
  if (failedNow()) {
    stop();
    return false;
  }
  return true;
}

void QtCameraSource::chooseFormat(const QCameraDevice& device) {
  const QList<QCameraFormat> formats = device.videoFormats();
  std::vector<CameraFormatOffer> offers;
  offers.reserve(static_cast<std::size_t>(formats.size()));
  for (const QCameraFormat& format : formats) {
    const QSize size = format.resolution();
    offers.push_back({static_cast<std::uint32_t>(std::max(size.width(), 0)),
                      static_cast<std::uint32_t>(std::max(size.height(), 0)), format.maxFrameRate(),
                      format.pixelFormat() == QVideoFrameFormat::Format_Jpeg});
  }
  const int chosen = chooseCameraFormat(offers, preferredWidth_, preferredHeight_);
  if (chosen >= 0) camera_->setCameraFormat(formats[chosen]);
}

bool QtCameraSource::deviceListed() const {
  for (const QCameraDevice& device : QMediaDevices::videoInputs()) {
    if (device.id() == deviceId_) return true;
  }
  return false;
}

bool QtCameraSource::failedNow() const {
  return failed_.load() || camera_->error() != QCamera::NoError || frames_->quiet();
}

bool QtCameraSource::currentFrame(RawFrame& frame) {
  if (camera_ == nullptr || failedNow()) return false;
  if (!frames_->waitForFirstFrame([this] { return waitInterrupted_.load() || failedNow(); })) return false;
  return frames_->latestFrame(frame);
}

bool QtCameraSource::streamFailed() {
  return camera_ != nullptr && failedNow();
}

void QtCameraSource::stop() {
  // Stop the stream, detach camera and sink from the session, then destroy;
  // a sink destroyed while a session still fed it brought the backend down.
  if (frames_ != nullptr) frames_->release();
  if (camera_ != nullptr) camera_->stop();
  if (session_ != nullptr) {
    session_->setCamera(nullptr);
    session_->setVideoSink(nullptr);
  }
  session_.reset();
  camera_.reset();
  devices_.reset();
  frames_.reset();
  failed_ = false;
  waitInterrupted_ = false;
}

}  // namespace orvalis
