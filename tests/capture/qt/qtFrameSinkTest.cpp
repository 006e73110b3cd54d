#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QThread>
#include <QTimer>
#include <QVideoFrame>
#include <atomic>
#include <cstring>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "capture/frameStore.h"
#include "capture/qt/qtFrameSink.h"

namespace orvalis {
namespace {

using namespace std::chrono_literals;

QImage randomPicture(int width, int height, std::uint32_t seed) {
  std::mt19937 rng(seed);
  QImage picture(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) picture.setPixel(x, y, 0xff000000u | (rng() & 0xffffffu));
  }
  return picture;
}

// A frame as a camera backend would deliver it, built from a picture.
QVideoFrame frameOf(const QImage& picture) {
  QVideoFrame frame(QVideoFrameFormat(picture.size(), QVideoFrameFormat::Format_BGRX8888));
  if (!frame.map(QVideoFrame::WriteOnly)) return {};
  for (int y = 0; y < picture.height(); ++y) {
    std::memcpy(frame.bits(0) + y * frame.bytesPerLine(0), picture.constScanLine(y), 4 * picture.width());
  }
  frame.unmap();
  return frame;
}

QVideoFrame uniformFrame(int width, int height, std::uint8_t value) {
  QImage picture(width, height, QImage::Format_RGB32);
  picture.fill(qRgb(value, value, value));
  return frameOf(picture);
}

void processEventsFor(std::chrono::milliseconds duration) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < duration.count()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(2);
  }
}

// Row k of the handed-out frame must be picture row k, as B, G, R, x.
void expectTopDownBgra(const RawFrame& frame, const QImage& picture) {
  ASSERT_EQ(frame.width, static_cast<std::uint32_t>(picture.width()));
  ASSERT_EQ(frame.height, static_cast<std::uint32_t>(picture.height()));
  ASSERT_EQ(frame.bitCount, 32u);
  ASSERT_GE(frame.stride, 4u * frame.width);
  ASSERT_EQ(frame.rowOrder, RowOrder::TopDown);
  for (std::uint32_t k = 0; k < frame.height; ++k) {
    const QRgb* row = reinterpret_cast<const QRgb*>(picture.constScanLine(static_cast<int>(k)));
    for (std::uint32_t x = 0; x < frame.width; ++x) {
      const std::uint8_t* pixel = frame.rows + k * frame.stride + 4 * x;
      ASSERT_EQ(pixel[0], qBlue(row[x])) << "row " << k << " column " << x;
      ASSERT_EQ(pixel[1], qGreen(row[x])) << "row " << k << " column " << x;
      ASSERT_EQ(pixel[2], qRed(row[x])) << "row " << k << " column " << x;
    }
  }
}

TEST(QtFrameSink, NewestFrameComesOutTopDownAndStoresAsTheOriginalPicture) {
  QtFrameSink sink;
  RawFrame frame;
  EXPECT_FALSE(sink.latestFrame(frame));  // nothing yet

  const QImage small = randomPicture(5, 3, 1), large = randomPicture(9, 7, 2);
  sink.videoSink()->setVideoFrame(frameOf(large));
  sink.videoSink()->setVideoFrame(frameOf(small));
  EXPECT_EQ(sink.received(), 2u);
  ASSERT_TRUE(sink.latestFrame(frame));
  expectTopDownBgra(frame, small);

  // Through the frame path the picture is top-down again, fourth byte gone.
  auto workspace = std::make_unique<Workspace>();
  ASSERT_TRUE(storeFrame(frame, *workspace));
  const std::uint8_t* query = workspace->images.queryImage.data();
  for (int y = 0; y < small.height(); ++y) {
    for (int x = 0; x < small.width(); ++x, query += 3) {
      const QRgb pixel = small.pixel(x, y);
      EXPECT_EQ(query[0], qBlue(pixel));
      EXPECT_EQ(query[1], qGreen(pixel));
      EXPECT_EQ(query[2], qRed(pixel));
    }
  }

  // A larger frame after a smaller one: the buffer grows to hold it.
  sink.videoSink()->setVideoFrame(frameOf(large));
  ASSERT_TRUE(sink.latestFrame(frame));
  expectTopDownBgra(frame, large);
}

TEST(QtFrameSink, CameraYuvFramesAreConverted) {
  // Packed 4:2:2 as most webcams send it: uniform luma 180, neutral chroma.
  QVideoFrame yuyv(QVideoFrameFormat(QSize(8, 4), QVideoFrameFormat::Format_YUYV));
  ASSERT_TRUE(yuyv.map(QVideoFrame::WriteOnly));
  for (int i = 0; i < yuyv.mappedBytes(0); i += 2) {
    yuyv.bits(0)[i] = 180;
    yuyv.bits(0)[i + 1] = 128;
  }
  yuyv.unmap();

  QtFrameSink sink;
  sink.videoSink()->setVideoFrame(yuyv);
  RawFrame frame;
  ASSERT_TRUE(sink.latestFrame(frame));
  ASSERT_EQ(frame.width, 8u);
  ASSERT_EQ(frame.height, 4u);
  // Converted by the sink itself into packed BGR.
  ASSERT_EQ(frame.bitCount, 24u);
  for (std::uint32_t i = 0; i < 8 * 4; ++i) {
    const std::uint8_t* pixel = frame.rows + (i / 8) * frame.stride + 3 * (i % 8);
    EXPECT_NEAR(pixel[0], pixel[1], 2) << i;  // gray: no colour cast
    EXPECT_NEAR(pixel[2], pixel[1], 2) << i;
    EXPECT_NEAR(pixel[1], 191, 12) << i;  // video-range luma 180 is about 191 full-range
  }
}

TEST(QtFrameSink, FramesFromAStreamingThreadArriveWhole) {
  QtFrameSink sink;
  constexpr int kFrames = 250;  // each frame carries its number as its gray value
  RawFrame frame;
  sink.videoSink()->setVideoFrame(uniformFrame(160, 120, 0));
  ASSERT_TRUE(sink.latestFrame(frame));  // the first conversion sets Qt's converter up

  std::atomic<bool> done{false};
  std::thread streaming([&] {
    for (int i = 1; i < kFrames; ++i) {
      sink.videoSink()->setVideoFrame(uniformFrame(160, 120, static_cast<std::uint8_t>(i)));
      std::this_thread::sleep_for(100us);
    }
    done = true;
  });

  // Every frame taken meanwhile is one of the pushed frames, entire, and they
  // never go back in time.
  int previous = 0, taken = 0;
  while (!done) {
    ASSERT_TRUE(sink.latestFrame(frame));
    ++taken;
    const int value = frame.rows[0];
    bool whole = true;
    for (std::uint32_t i = 0; i < frame.width * frame.height; ++i) {
      for (int c = 0; c < 3; ++c) whole = whole && frame.rows[4 * i + c] == value;
    }
    EXPECT_TRUE(whole) << "frame " << value << " mixed with another";
    EXPECT_GE(value, previous);
    previous = value;
  }
  streaming.join();
  RecordProperty("framesTakenWhileStreaming", taken);
  ASSERT_TRUE(sink.latestFrame(frame));
  EXPECT_EQ(frame.rows[0], kFrames - 1);
  EXPECT_EQ(sink.received(), static_cast<std::uint64_t>(kFrames));
}

TEST(QtFrameSink, FirstFrameWaitIsBoundedAndEndsWhenAFrameArrives) {
  QtFrameSink sink(QtFrameTiming{300ms, 1000ms, 3});
  QElapsedTimer clock;
  clock.start();
  EXPECT_FALSE(sink.waitForFirstFrame([] { return false; }));
  EXPECT_GE(clock.elapsed(), 300);
  EXPECT_LT(clock.elapsed(), 2000);

  clock.restart();
  EXPECT_FALSE(sink.waitForFirstFrame([] { return true; }));  // a failed camera cuts it short
  EXPECT_LT(clock.elapsed(), 100);

  // A frame delivered through the event loop meanwhile ends the wait.
  QtFrameSink patient(QtFrameTiming{5000ms, 1000ms, 3});
  QTimer::singleShot(50, [&patient] { patient.videoSink()->setVideoFrame(uniformFrame(4, 4, 9)); });
  clock.restart();
  EXPECT_TRUE(patient.waitForFirstFrame([] { return false; }));
  EXPECT_LT(clock.elapsed(), 2000);
  RawFrame frame;
  ASSERT_TRUE(patient.latestFrame(frame));
  EXPECT_EQ(frame.rows[0], 9);
}

TEST(QtFrameSink, StreamIsQuietOnlyAfterChecksInARowSawNoFrame) {
  QtFrameSink sink(QtFrameTiming{1000ms, 50ms, 3});
  sink.watch();
  processEventsFor(250ms);
  EXPECT_FALSE(sink.quiet());  // no first frame yet: the first-frame wait decides that

  // Frames more often than the checks: never quiet.
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < 300) {
    sink.videoSink()->setVideoFrame(uniformFrame(4, 4, 1));
    processEventsFor(10ms);
  }
  EXPECT_FALSE(sink.quiet());

  // 60 ms hold at most two checks, not enough; a few hundred more are.
  processEventsFor(60ms);
  EXPECT_FALSE(sink.quiet());
  processEventsFor(400ms);
  EXPECT_TRUE(sink.quiet());
  // Later frames don't undo it.
  sink.videoSink()->setVideoFrame(uniformFrame(4, 4, 2));
  processEventsFor(100ms);
  EXPECT_TRUE(sink.quiet());
}

TEST(QtFrameSink, EmptyFramesAreIgnoredAndAReleasedSinkHoldsNothing) {
  QtFrameSink sink;
  sink.videoSink()->setVideoFrame(uniformFrame(4, 4, 5));
  sink.videoSink()->setVideoFrame(QVideoFrame());  // what a session sends when it lets go
  RawFrame frame;
  ASSERT_TRUE(sink.latestFrame(frame));
  EXPECT_EQ(frame.rows[0], 5);
  EXPECT_EQ(sink.received(), 1u);

  sink.release();
  EXPECT_FALSE(sink.latestFrame(frame));
  sink.videoSink()->setVideoFrame(uniformFrame(4, 4, 6));
  EXPECT_FALSE(sink.latestFrame(frame));
  sink.release();
}

}  // namespace
}  // namespace orvalis
