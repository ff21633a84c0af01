// The decoder's row pipeline (entropy decoding on the calling thread, the
// transform and store on others) against the same decoder on one thread:
// whole, cut and damaged streams, lost restart markers, cancellation, and a
// worker pool too busy to take the row task at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "base/cpu_features.h"
#include "base/tasks.h"
#include "formats/jpeg/jpeg_decoder.h"
#include "image/image_reader.h"
#include "reader_test_util.h"

namespace vt {
namespace {

struct Result {
  Status status = status::kGeneralFailure;
  bool parallel = false;
  size_t pitch = 0;
  std::vector<uint8_t> plane;  // every byte of the target, slack included
};

// Decodes into a plane first filled with a pattern, so that rows the decoder
// leaves alone compare equal too.
Result DecodeWith(const std::string& jpeg, bool allowParallel, ProgressSink* progress = nullptr,
                  const CancelFlag* cancel = nullptr) {
  Result r;
  JpegDecoder d({reinterpret_cast<const uint8_t*>(jpeg.data()), jpeg.size()});
  r.status = d.ReadHeader();
  if (Failed(r.status)) return r;
  const uint32_t bpp = d.Components() == 1 ? 1 : 4;
  RefPtr<ImageBuffer> image =
      ImageBuffer::Create(bpp == 1 ? PixelFormat::Gray8 : PixelFormat::Bgra8, d.Width(), d.Height(),
                          false, (d.Width() + 31) / 32 * 32 * bpp, (d.Height() + 31) / 32 * 32);
  if (!image) return r;
  const size_t bytes = image->Pitch() * image->AllocatedRows();
  std::memset(image->Origin(), 0x5A, bytes);
  r.status = d.Decode(image->View(image->Format()), bpp, false, progress, cancel, allowParallel);
  r.parallel = d.UsedParallel();
  r.pitch = image->Pitch();
  r.plane.assign(image->Origin(), image->Origin() + bytes);
  return r;
}

// 1400 x 530 at 2x2 (restart every MCU) and 2x1 (every third): 88 MCUs across
// three components and 34 MCU rows, enough for the pipeline.
std::string Encoded(const char* layout) {
  return test::ReadFileBytes(std::string(VT_SOURCE_DIR) + "/tests/data/formats/pipeline_" + layout +
                             ".jpg");
}

class JpegPipeline : public ::testing::Test {
 protected:
  void SetUp() override {
    threads_ = ParallelThreadCount();
    SetParallelThreadCount(2);
  }
  void TearDown() override { SetParallelThreadCount(threads_); }

  // Both ways give the same status and the same bytes; the pipeline ran.
  static void ExpectSame(const std::string& jpeg, const std::string& what) {
    const Result one = DecodeWith(jpeg, false);
    const Result two = DecodeWith(jpeg, true);
    EXPECT_EQ(one.status, two.status) << what;
    EXPECT_FALSE(one.parallel) << what;
    EXPECT_TRUE(two.parallel) << what;
    EXPECT_TRUE(one.plane == two.plane) << what;
  }

 private:
  uint32_t threads_ = 1;
};

TEST_F(JpegPipeline, WholeCutAndDamagedStreamsMatchOneThread) {
  for (const char* options : {"420_rst1", "422_rst3"}) {
    const std::string jpeg = Encoded(options);
    ASSERT_FALSE(jpeg.empty()) << options;
    ExpectSame(jpeg, options);
    const size_t sos = jpeg.find("\xFF\xDA");
    ASSERT_NE(sos, std::string::npos);
    // Data that end early: the rows after the cut keep the pattern.
    for (int percent : {3, 41, 77, 99}) {
      const size_t at = sos + (jpeg.size() - sos) * percent / 100;
      ExpectSame(jpeg.substr(0, at), std::string(options) + " cut at " + std::to_string(percent));
    }
    // Noise in the entropy data, which may end the decode on a bad code.
    for (uint32_t seed = 1; seed <= 6; ++seed) {
      std::string bad = jpeg;
      const std::vector<uint8_t> noise = test::RandomBytes(8, seed);
      for (int i = 0; i < 4; ++i) {
        const size_t at = sos + 20 + (noise[i] * 7919u + seed * 104729u) % (bad.size() - sos - 24);
        bad[at] = static_cast<char>(noise[4 + i]);
      }
      ExpectSame(bad, std::string(options) + " noise " + std::to_string(seed));
    }
  }
}

TEST_F(JpegPipeline, LostRestartMarkersResynchroniseAlike) {
  const std::string jpeg = Encoded("420_rst1");
  ASSERT_FALSE(jpeg.empty());
  const size_t sos = jpeg.find("\xFF\xDA");
  std::string lost = jpeg;
  // Markers 3 and 4 of the first cycle gone: two intervals are skipped.
  for (const char* marker : {"\xFF\xD3", "\xFF\xD4"}) {
    const size_t at = lost.find(marker, sos);
    ASSERT_NE(at, std::string::npos);
    lost.erase(at, 2);
  }
  ExpectSame(lost, "lost restart markers");
}

// Cancels from the progress report of a given row.
class CancelAt : public ProgressSink {
 public:
  CancelAt(CancelFlag* flag, uint32_t row) : flag_(flag), row_(row) {}
  void Report(uint32_t done, uint32_t) override {
    last = done;
    if (done == row_) flag_->Set();
  }
  uint32_t last = 0;

 private:
  CancelFlag* flag_;
  uint32_t row_;
};

TEST_F(JpegPipeline, CancellationStopsThePipelineAndWaitsForItsRows) {
  const std::string jpeg = Encoded("420_rst1");
  ASSERT_FALSE(jpeg.empty());
  const Result whole = DecodeWith(jpeg, true);
  ASSERT_EQ(whole.status, status::kOk);
  for (uint32_t row : {0u, 1u, 5u, 20u, 32u}) {
    CancelFlag flag;
    auto sink = MakeRef<CancelAt>(&flag, row);
    const Result r = DecodeWith(jpeg, true, sink.get(), &flag);
    EXPECT_EQ(r.status, status::kCancelled) << row;
    EXPECT_EQ(sink->last, row);
    // The rows stored before the cancel are the finished ones: the first MCU
    // rows (16 pixel rows each) equal the whole decode.
    const size_t done = size_t{row} * 16 * whole.pitch;
    EXPECT_TRUE(std::equal(r.plane.begin(), r.plane.begin() + done, whole.plane.begin())) << row;
  }
}

TEST_F(JpegPipeline, BusyPoolLeavesTheWholeDecodeToTheCallingThread) {
  const std::string jpeg = Encoded("420_rst1");
  ASSERT_FALSE(jpeg.empty());
  const Result expected = DecodeWith(jpeg, false);
  // Every worker of the pool held by a task that waits for the decode to end.
  const uint32_t workers = std::max<uint32_t>(2, SystemProcessorCount());
  Event release;
  std::atomic<uint32_t> holding{0};
  TaskGroup blockers;
  for (uint32_t i = 0; i < workers; ++i) {
    blockers.Run([&] {
      holding.fetch_add(1);
      release.Wait();
    });
  }
  for (int i = 0; i < 500 && holding.load() < workers; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const Result r = DecodeWith(jpeg, true);
  release.Set();
  blockers.Wait();
  EXPECT_EQ(r.status, status::kOk);
  EXPECT_TRUE(r.parallel);
  EXPECT_TRUE(r.plane == expected.plane);
}

}  // namespace
}  // namespace vt
