// The camera adapter: its video sink fed by hand (the frames that come out,
// the first-frame wait, when a stream counts as quiet), and camera mode on a
// machine without a camera.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMediaDevices>
#include <QTest>
#include <QTimer>
#include <QVideoFrame>
#include <cstring>
#include <memory>
#include <random>
#include <string_view>
#include <tuple>

#include "capture/frameStore.h"
#include "capture/qt/qtCamera.h"
#include "capture/qt/qtFrameSink.h"
#include "control/captureGraph.h"
#include "tests/support/childProcess.h"
#include "tests/support/workingFolder.h"

namespace orvalis {
namespace {

using namespace std::chrono_literals;
using F = QVideoFrameFormat;

// A frame as a camera backend would deliver it: 32-bit, in either byte order.
QVideoFrame frameOf(const QImage& picture, F::PixelFormat format = F::Format_BGRX8888) {
  const QImage rows =
      picture.convertToFormat(format == F::Format_BGRX8888 ? QImage::Format_RGB32 : QImage::Format_RGBX8888);
  QVideoFrame frame(F(picture.size(), format));
  if (!frame.map(QVideoFrame::WriteOnly)) return {};
  for (int y = 0; y < picture.height(); ++y)
    std::memcpy(frame.bits(0) + y * frame.bytesPerLine(0), rows.constScanLine(y), 4 * picture.width());
  frame.unmap();
  return frame;
}

QVideoFrame uniformFrame(int width, int height, std::uint8_t value) {
  QImage picture(width, height, QImage::Format_RGB32);
  picture.fill(qRgb(value, value, value));
  return frameOf(picture);
}

// Frames the sink takes as they are and frames Qt converts for it; a frame
// taken stays the newest until another comes.
TEST(QtFrameSink, NewestFrameComesOutTopDownAndStoresAsTheOriginalPicture) {
  std::mt19937 rng(1);
  QImage pictures[2] = {QImage(9, 7, QImage::Format_RGB32), QImage(5, 3, QImage::Format_RGB32)};
  for (QImage& picture : pictures) {
    for (int y = 0; y < picture.height(); ++y)
      for (int x = 0; x < picture.width(); ++x) picture.setPixel(x, y, 0xff000000u | (rng() & 0xffffffu));
  }
  for (const auto format : {F::Format_BGRX8888, F::Format_RGBX8888}) {
    QtFrameSink sink({1000ms, 1000ms, 3, 0});
    RawFrame frame;
    EXPECT_FALSE(sink.latestFrame(frame));  // nothing yet
    auto workspace = std::make_unique<Workspace>();
    // The smaller after the larger, then the larger again: the buffers grow.
    for (int i : {0, 1, 0}) {
      const QImage& picture = pictures[i];
      if (i == 1) sink.videoSink()->setVideoFrame(frameOf(pictures[0], format));
      sink.videoSink()->setVideoFrame(frameOf(picture, format));
      const QImage bgr = picture.convertToFormat(QImage::Format_BGR888);
      for (int take = 0; take < 2; ++take) {
        SCOPED_TRACE(::testing::Message() << "format " << format << ", picture " << i << ", take " << take);
        ASSERT_TRUE(sink.latestFrame(frame) && storeFrame(frame, *workspace));
        ASSERT_EQ(std::make_pair(frame.width, frame.height),
                  std::make_pair(std::uint32_t(picture.width()), std::uint32_t(picture.height())));
        for (int y = 0; y < picture.height(); ++y) {
          ASSERT_EQ(std::memcmp(workspace->images.queryImage.data() + 3 * y * picture.width(),
                                bgr.constScanLine(y), 3 * picture.width()),
                    0)
              << "row " << y;
        }
      }
    }
  }
}

TEST(QtFrameSink, CameraYuvFramesAreTakenAsTheyAreWithTheirCoding) {
  // Packed 4:2:2 as most webcams send it: decoding it is the frame path's.
  const std::tuple<F::ColorSpace, F::ColorRange, YuvCoding> codings[] = {
      {F::ColorSpace_Undefined, F::ColorRange_Unknown, YuvCoding::Bt601Video},
      {F::ColorSpace_BT601, F::ColorRange_Full, YuvCoding::Bt601Full},
      {F::ColorSpace_BT709, F::ColorRange_Video, YuvCoding::Bt709Video},
      {F::ColorSpace_BT709, F::ColorRange_Full, YuvCoding::Bt709Full},
  };
  QtFrameSink sink({1000ms, 1000ms, 3, 0});
  for (const auto& [space, range, coding] : codings) {
    F format(QSize(8, 4), F::Format_YUYV);
    format.setColorSpace(space);
    format.setColorRange(range);
    QVideoFrame yuyv(format);
    ASSERT_TRUE(yuyv.map(QVideoFrame::WriteOnly));
    for (int i = 0; i < yuyv.mappedBytes(0); ++i)
      yuyv.bits(0)[i] = static_cast<std::uint8_t>(i % 2 ? 128 : 180);
    yuyv.unmap();
    sink.videoSink()->setVideoFrame(yuyv);
    RawFrame frame;
    ASSERT_TRUE(sink.latestFrame(frame));
    EXPECT_EQ(std::make_pair(frame.bitCount, frame.yuv), std::make_pair(16u, coding))
        << space << ", " << range;
    for (std::uint32_t i = 0; i < 64; ++i)
      ASSERT_EQ(frame.rows[i / 16 * frame.stride + i % 16], i % 2 ? 128 : 180);
  }
}

// Against a minute's wait: a stream's first frames and empty frames are no frame.
TEST(QtFrameSink, FirstFrameWaitEndsWhenItRunsOutTheCameraFailsOrAFrameIsKept) {
  QElapsedTimer clock;
  clock.start();
  QtFrameSink brief({300ms, 1000ms, 3, 0});
  EXPECT_FALSE(brief.waitForFirstFrame([] { return false; }));
  EXPECT_GE(clock.elapsed(), 300);

  QtFrameSink sink({60s, 1000ms, 3, 2});
  clock.restart();
  EXPECT_FALSE(sink.waitForFirstFrame([] { return true; }));
  RawFrame frame;
  for (std::uint8_t value : {1, 2}) {
    sink.videoSink()->setVideoFrame(uniformFrame(4, 4, value));
    EXPECT_FALSE(sink.latestFrame(frame)) << "frame " << int{value} << " was not dropped";
  }
  QTimer::singleShot(50, [&sink] {
    sink.videoSink()->setVideoFrame(uniformFrame(4, 4, 5));
    sink.videoSink()->setVideoFrame(QVideoFrame());  // what a session sends when it lets go
  });
  EXPECT_TRUE(sink.waitForFirstFrame([] { return false; }));
  EXPECT_LT(clock.elapsed(), 5000);
  ASSERT_TRUE(sink.latestFrame(frame));
  EXPECT_EQ(frame.rows[0], 5);
  EXPECT_EQ(sink.received(), 1u);
  sink.release();
  sink.videoSink()->setVideoFrame(uniformFrame(4, 4, 6));
  EXPECT_FALSE(sink.latestFrame(frame)) << "a released sink holds a frame";
}

// A frame pushed between any two event-loop passes comes before every check.
TEST(QtFrameSink, StreamIsQuietOnlyAfterChecksInARowSawNoFrameAndStaysSo) {
  QtFrameSink sink({1000ms, 100ms, 4, 0});
  const auto stream = [&sink] {
    for (int i = 0; i < 100; ++i) {
      sink.videoSink()->setVideoFrame(uniformFrame(4, 4, 1));
      QTest::qWait(5);
    }
  };
  sink.watch();
  QTest::qWait(1000);
  EXPECT_FALSE(sink.quiet()) << "no first frame yet: the first-frame wait decides that";
  stream();
  EXPECT_FALSE(sink.quiet()) << "quiet while frames came";
  QElapsedTimer clock;
  clock.start();
  QTRY_VERIFY_WITH_TIMEOUT(sink.quiet(), 10000);
  EXPECT_GE(clock.elapsed(), 280) << "quiet before four checks";
  stream();
  EXPECT_TRUE(sink.quiet()) << "frames coming back undid it";
}

constexpr char kWithoutDevice[] = "--orvalis-build-capture-graph-without-device";

TEST(QtCameraSource, CameraModeWithoutADeviceEndsThroughDeviceLost) {
  if (!QMediaDevices::videoInputs().isEmpty()) GTEST_SKIP() << "a camera is attached";
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
  testing::TempDir dir;
  testing::WorkingFolder(dir.path()).markerScripts();
  const int code = testing::runInChild(dir.path(), [&self] {
    ::execl(self.c_str(), self.c_str(), kWithoutDevice, static_cast<char*>(nullptr));
    ::_exit(98);
  });
  EXPECT_EQ(code, 1);  // -1: killed or timed out
  // The script runs detached: it may end after the program.
  for (int i = 0; i < 500 && !std::filesystem::exists(dir / "res/Device_Lost.ran"); ++i) QTest::qWait(10);
  EXPECT_EQ(testing::readTextFile(dir / "res/markers.txt"), "Device_Lost\n") << "the scripts that ran";
}

}  // namespace
}  // namespace orvalis

// With kWithoutDevice it runs camera mode's start-up instead of the tests: a
// child forked from a process that runs Qt's threads can't start Qt again.
int main(int argc, char** argv) {
  // Test discovery runs the program without the test environment.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  if (argc == 2 && std::string_view(argv[1]) == orvalis::kWithoutDevice) {
    orvalis::QtCameraSource source;
    orvalis::ProcessExitPath exitPath;
    orvalis::buildCaptureGraph(source, exitPath);
    return 0;  // a device was there after all
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
