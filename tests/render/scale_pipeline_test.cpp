// Decoding into a target of another size goes through Scale once the rendering
// layer has installed it.
#include <gtest/gtest.h>

#include "formats/builtin_formats.h"
#include "image/file_source.h"
#include "image/format_registry.h"
#include "image/image_reader.h"
#include "render/scale.h"
#include "render/scale_reference.h"
#include "support/test_support.h"

namespace vt {
namespace {

const FormatRecord kRecord{u"tst", u"Test pattern", nullptr, nullptr};

// A reader of a made-up pattern that offers a half-size decode, as readers with
// built-in reduction do.
class PatternReader : public ImageReader {
 public:
  PatternReader(FileSource* source, uint32_t w, uint32_t h, bool offersReduced)
      : ImageReader(source, &kRecord), w_(w), h_(h), offersReduced_(offersReduced) {}
  int decodes = 0;
  bool lastReduced = false;

 protected:
  Status ReadHeader() override {
    width_ = w_;
    height_ = h_;
    bitDepth_ = 32;
    outputFormat_ = PixelFormat::Bgra8;
    if (offersReduced_) {
      reducedWidth_ = w_ / 2;
      reducedHeight_ = h_ / 2;
    }
    return status::kOk;
  }
  Status Decode(ImageBuffer* target, bool reduced, ProgressSink*, const CancelFlag*) override {
    ++decodes;
    lastReduced = reduced;
    const uint32_t s = reduced ? 2 : 1;
    for (uint32_t y = 0; y < target->Height(); ++y)
      for (uint32_t x = 0; x < target->Width(); ++x) {
        uint8_t* p = target->Row(y) + 4 * x;
        p[0] = uint8_t(x * s * 3);
        p[1] = uint8_t(y * s * 5);
        p[2] = uint8_t((x + y) * s * 11 + (x * y) % 7);
        p[3] = 255;
      }
    return status::kOk;
  }

 private:
  uint32_t w_, h_;
  bool offersReduced_;
};

RefPtr<PatternReader> OpenPattern(uint32_t w, uint32_t h, bool reduced) {
  RefPtr<FileSource> source = MakeMemorySource(u"pattern.tst", "pattern");
  RefPtr<PatternReader> r = MakeRef<PatternReader>(source.get(), w, h, reduced);
  EXPECT_EQ(r->Open(), status::kOk);
  return r;
}

class ScalePipeline : public ::testing::Test {
 protected:
  void SetUp() override { InstallPipelineScaler(); }
};

TEST_F(ScalePipeline, SmallerTargetIsTheScaledFullDecode) {
  RefPtr<PatternReader> reader = OpenPattern(200, 120, false);
  RefPtr<ImageBuffer> full;
  ASSERT_EQ(MakeTargetBuffer(reader.get(), &full, false, false), status::kOk);
  ASSERT_EQ(reader->DecodeInto(full.get(), false, nullptr, nullptr), status::kOk);

  for (PixelFormat f : {PixelFormat::Bgra8, PixelFormat::Gray8, PixelFormat::Bgra16}) {
    RefPtr<ImageBuffer> small = ImageBuffer::Create(f, 70, 45);
    ASSERT_EQ(reader->DecodeInto(small.get(), false, nullptr, nullptr), status::kOk);
    RefPtr<ImageBuffer> want = ImageBuffer::Create(f, 70, 45);
    ASSERT_EQ(Scale(want.get(), full.get(), 0, nullptr), status::kOk);
    EXPECT_TRUE(test::SamePixels(small.get(), want.get())) << PixelFormatName(f);
  }
  // Larger targets too.
  RefPtr<ImageBuffer> big = ImageBuffer::Create(PixelFormat::Bgra8, 333, 201);
  ASSERT_EQ(reader->DecodeInto(big.get(), false, nullptr, nullptr), status::kOk);
  EXPECT_TRUE(test::SamePixels(big.get(), test::ReferenceCubic(full.get(), 333, 201).get()));
}

TEST_F(ScalePipeline, ReducedDecodeIsScaledTheRestOfTheWay) {
  RefPtr<PatternReader> reader = OpenPattern(400, 300, true);
  RefPtr<ImageBuffer> target = ImageBuffer::Create(PixelFormat::Bgra8, 150, 110);
  ASSERT_EQ(reader->DecodeInto(target.get(), false, nullptr, nullptr), status::kOk);
  EXPECT_TRUE(reader->lastReduced);

  RefPtr<ImageBuffer> reduced;
  ASSERT_EQ(MakeTargetBuffer(reader.get(), &reduced, false, true), status::kOk);
  ASSERT_EQ(reader->DecodeInto(reduced.get(), false, nullptr, nullptr), status::kOk);
  ASSERT_EQ(reduced->Width(), 200u);
  RefPtr<ImageBuffer> want = ImageBuffer::Create(PixelFormat::Bgra8, 150, 110);
  ASSERT_EQ(Scale(want.get(), reduced.get(), 0, nullptr), status::kOk);
  EXPECT_TRUE(test::SamePixels(target.get(), want.get()));
}

TEST_F(ScalePipeline, CancelledScaleReportsCancel) {
  RefPtr<PatternReader> reader = OpenPattern(200, 120, false);
  RefPtr<ImageBuffer> small = ImageBuffer::Create(PixelFormat::Bgra8, 70, 45);
  CancelFlag cancel;
  cancel.Set();
  EXPECT_EQ(reader->DecodeInto(small.get(), false, nullptr, &cancel), status::kCancelled);
}

// A real file through the registered readers: a third-party bitmap decoded
// straight into a smaller target equals the scaled full-size load.
TEST_F(ScalePipeline, CorpusBitmapScaledWhileLoading) {
  const std::string path = test::CorpusPath("bmpsuite/g/rgb24.bmp");
  if (!test::FileExists(path)) GTEST_SKIP() << "corpus file missing";
  FormatRegistry registry;
  RegisterBuiltinFormats(registry);
  RefPtr<ImageBuffer> full;
  const Status loaded = LoadImageFile(registry, test::U16(path), false, false, &full);
  if (Failed(loaded)) GTEST_SKIP() << "no reader for bitmaps in this build";
  RefPtr<ImageReader> reader;
  ASSERT_EQ(registry.OpenReader(test::U16(path), &reader), status::kOk);
  const uint32_t w = full->Width() * 2 / 3, h = full->Height() / 3;
  RefPtr<ImageBuffer> small = ImageBuffer::Create(full->Format(), w, h);
  ASSERT_EQ(reader->DecodeInto(small.get(), false, nullptr, nullptr), status::kOk);
  RefPtr<ImageBuffer> want = ImageBuffer::Create(full->Format(), w, h);
  ASSERT_EQ(Scale(want.get(), full.get(), 0, nullptr), status::kOk);
  EXPECT_TRUE(test::SamePixels(small.get(), want.get()));
}

}  // namespace
}  // namespace vt
