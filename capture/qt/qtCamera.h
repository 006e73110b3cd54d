#pragma once

#include <QByteArray>
#include <QCameraDevice>
#include <atomic>
#include <cstdint>
#include <memory>

#include "capture/frameSource.h"
#include "capture/qt/qtFrameSink.h"

class QCamera;
class QMediaCaptureSession;
class QMediaDevices;

namespace orvalis {

// The first video-capture device that Qt Multimedia lists, streaming into a
// QtFrameSink. Needs a QGuiApplication whose event loop runs between calls:
// frames, camera errors and device-list changes all arrive through it.
class QtCameraSource final : public FrameSource {
 public:
  // preferredWidth x preferredHeight: the frame size to ask the device for
  // when it offers it (the archive's picture size); 0 x 0 for none. Otherwise
  // the largest format that fits the image store is taken.
  explicit QtCameraSource(std::uint32_t preferredWidth = 0, std::uint32_t preferredHeight = 0,
                          QtFrameTiming timing = {});
  ~QtCameraSource() override;
  QtCameraSource(const QtCameraSource&) = delete;
  QtCameraSource& operator=(const QtCameraSource&) = delete;

  // False without an application object, without a listed device, or when
  // the camera reports an error at once. Only the first listed device is
  // tried: a camera made on a missing device may still deliver a test
  // pattern, so frames alone never prove that a device exists.
  bool start() override;

  // Waits (bounded, processing events) for the first frame after start.
  bool currentFrame(RawFrame& frame) override;

  // A camera error, the device gone from the device list (the camera itself
  // reports nothing then and stays active), or no new frame for a few seconds.
  bool streamFailed() override;

  void interruptWait() override { waitInterrupted_ = true; }

  void stop() override;

 private:
  void chooseFormat(const QCameraDevice& device);
  bool deviceListed() const;
  bool failedNow() const;

  const std::uint32_t preferredWidth_;
  const std::uint32_t preferredHeight_;
  const QtFrameTiming timing_;

  // Made by start, destroyed by stop in the reverse order; the sink goes last.
  std::unique_ptr<QtFrameSink> frames_;
  std::unique_ptr<QMediaDevices> devices_;
  std::unique_ptr<QCamera> camera_;
  std::unique_ptr<QMediaCaptureSession> session_;

  QByteArray deviceId_;
  std::atomic<bool> failed_{false};
  std::atomic<bool> waitInterrupted_{false};
};

}  // namespace orvalis
