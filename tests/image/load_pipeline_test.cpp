#include <gtest/gtest.h>

#include "fake_reader.h"
#include "image/format_registry.h"
#include "support/test_support.h"

namespace vt {
namespace {

using test::EncodeFake;
using test::FakeImage;

class LoadPipeline : public ::testing::Test {
 protected:
  void SetUp() override {
    static const FormatRecord fake{u"fake", u"Test format", test::ProbeFake,
                                   test::CreateFakeReader};
    registry.Register(&fake);
  }
  Status Load(const FakeImage& im, RefPtr<ImageBuffer>* out, bool allFrames = true,
              const std::string& name = "image.fake") {
    path = test::U16(dir.Write(name, EncodeFake(im)));
    return LoadImageFile(registry, path, allFrames, false, out);
  }
  Status OpenFake(const FakeImage& im, RefPtr<ImageReader>* reader) {
    path = test::U16(dir.Write("image.fake", EncodeFake(im)));
    return registry.OpenReader(path, reader);
  }
  FormatRegistry registry;
  test::TempDir dir;
  std::u16string path;
};

std::u16string Prop(ImageProperties& p, PropertyId id) {
  const std::u16string* t = p.Get(id);
  return t ? *t : u"<none>";
}

TEST_F(LoadPipeline, OpenFillsTheStandardProperties) {
  RefPtr<ImageReader> reader;
  FakeImage im;
  im.bitDepth = 24;
  ASSERT_EQ(OpenFake(im, &reader), status::kOk);
  ImageProperties& p = reader->Properties();
  EXPECT_EQ(Prop(p, PropertyId::FileName), path);
  EXPECT_EQ(Prop(p, PropertyId::FileFormat), u"Test format");
  EXPECT_EQ(Prop(p, PropertyId::Compression), u"None");
  EXPECT_EQ(Prop(p, PropertyId::FileSize), test::U16(std::to_string(EncodeFake(im).size())));
  EXPECT_EQ(Prop(p, PropertyId::Dimensions), u"24");
  // A reader that leaves the colour model undecided is RGB.
  EXPECT_EQ(reader->Model(), ColourModel::Rgb);
  EXPECT_EQ(Prop(p, PropertyId::ColourFormat), u"RGB");
  EXPECT_EQ(Prop(p, PropertyId::Title), u"image");
  const std::u16string* time = p.Get(PropertyId::FileTime);
  ASSERT_TRUE(time);
  // "YYYY-MM-DD, hh:mm:ss"
  ASSERT_EQ(time->size(), 20u);
  EXPECT_EQ((*time)[4], u'-');
  EXPECT_EQ((*time)[10], u',');
  EXPECT_EQ((*time)[14], u':');
}

TEST_F(LoadPipeline, TitleOfADotName) {
  path = test::U16(dir.Write(".fake", EncodeFake({})));
  RefPtr<ImageReader> reader;
  ASSERT_EQ(registry.OpenReader(path, &reader), status::kOk);
  EXPECT_EQ(Prop(reader->Properties(), PropertyId::Title), u".fake");
}

TEST_F(LoadPipeline, DecodesPixelsDirectlyIntoTheTarget) {
  FakeImage im;
  im.width = 3;
  im.height = 2;
  im.pixels = std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c"
                          "\x0d\x0e\x0f\x10\x11\x12\x13\x14\x15\x16\x17\x18", 24);
  RefPtr<ImageBuffer> image;
  ASSERT_EQ(Load(im, &image), status::kOk);
  EXPECT_EQ(image->Format(), PixelFormat::Bgra8);
  EXPECT_EQ(image->Width(), 3u);
  EXPECT_EQ(image->Row(1)[0], 0x0d);
  EXPECT_EQ(image->Row(1)[11], 0x18);
  EXPECT_EQ(Prop(image->Properties(), PropertyId::FileFormat), u"Test format");
  EXPECT_EQ(image->Next(), nullptr);
}

TEST_F(LoadPipeline, ConvertsWhenTheTargetFormatDiffers) {
  FakeImage im;
  im.format = PixelFormat::Gray8;
  im.width = 2;
  im.height = 1;
  im.pixels = "\x10\xF0";
  RefPtr<ImageReader> reader;
  ASSERT_EQ(OpenFake(im, &reader), status::kOk);
  RefPtr<ImageBuffer> target = ImageBuffer::Create(PixelFormat::Bgra8, 2, 1);
  ASSERT_EQ(reader->DecodeInto(target.get(), false, nullptr, nullptr), status::kOk);
  const uint8_t* p = target->Row(0);
  EXPECT_EQ(p[0], 0x10);
  EXPECT_EQ(p[2], 0x10);
  EXPECT_EQ(p[3], 0xFF);
  EXPECT_EQ(p[4], 0xF0);
}

TEST_F(LoadPipeline, ReducedSizeIsUsedWhenItCoversTheTarget) {
  FakeImage im;
  im.width = 16;
  im.height = 16;
  im.reducedWidth = 2;
  im.reducedHeight = 2;
  RefPtr<ImageReader> reader;
  ASSERT_EQ(OpenFake(im, &reader), status::kOk);
  ASSERT_TRUE(reader->HasReducedSize());
  RefPtr<ImageBuffer> thumb;
  ASSERT_EQ(MakeTargetBuffer(reader.get(), &thumb, false, true), status::kOk);
  EXPECT_EQ(thumb->Width(), 2u);
  ASSERT_EQ(reader->DecodeInto(thumb.get(), false, nullptr, nullptr), status::kOk);
  EXPECT_TRUE(test::FakeLastReduced());

  RefPtr<ImageBuffer> full;
  ASSERT_EQ(MakeTargetBuffer(reader.get(), &full, false, false), status::kOk);
  ASSERT_EQ(reader->DecodeInto(full.get(), false, nullptr, nullptr), status::kOk);
  EXPECT_FALSE(test::FakeLastReduced());

  // A target between the two sizes needs scaling, which is not installed here.
  RefPtr<ImageBuffer> mid = ImageBuffer::Create(PixelFormat::Bgra8, 5, 5);
  EXPECT_EQ(reader->DecodeInto(mid.get(), false, nullptr, nullptr), status::kInvalidArgument);
}

TEST_F(LoadPipeline, DisplayTargetsGetDisplayFormats) {
  FakeImage im;
  im.format = PixelFormat::Bgra16;
  RefPtr<ImageReader> reader;
  ASSERT_EQ(OpenFake(im, &reader), status::kOk);
  RefPtr<ImageBuffer> b;
  ASSERT_EQ(MakeTargetBuffer(reader.get(), &b, true, false), status::kOk);
  EXPECT_TRUE(b->IsDisplay());
  EXPECT_EQ(b->Format(), PixelFormat::Bgra8);
  ASSERT_EQ(MakeTargetBuffer(reader.get(), &b, false, false), status::kOk);
  EXPECT_EQ(b->Format(), PixelFormat::Bgra16);
}

TEST_F(LoadPipeline, AnimationFramesChainWithoutPageNumbers) {
  FakeImage im;
  im.frames = 3;
  im.delay = 100;
  RefPtr<ImageBuffer> image;
  ASSERT_EQ(Load(im, &image), status::kOk);
  ASSERT_EQ(image->ChainLength(), 3u);
  EXPECT_EQ(image->Next()->Previous(), image.get());
  EXPECT_EQ(image->Next()->Next()->First(), image.get());
  EXPECT_EQ(image->Next()->Frame().delay, 100);
  for (ImageBuffer* f = image.get(); f; f = f->Next())
    EXPECT_FALSE(f->Properties().Has(PropertyId::Page));
  // Frames differ: each comes from its own part of the file.
  EXPECT_NE(image->Row(0)[0], image->Next()->Row(0)[0]);

  ASSERT_EQ(Load(im, &image, false), status::kOk);
  EXPECT_EQ(image->ChainLength(), 1u);
}

TEST_F(LoadPipeline, PagesAreNumbered) {
  FakeImage im;
  im.frames = 3;
  im.delay = -1;
  RefPtr<ImageBuffer> image;
  ASSERT_EQ(Load(im, &image), status::kOk);
  ASSERT_EQ(image->ChainLength(), 3u);
  EXPECT_EQ(Prop(image->Properties(), PropertyId::Page), u"1:3");
  EXPECT_EQ(Prop(image->Next()->Properties(), PropertyId::Page), u"2:3");
  EXPECT_EQ(Prop(image->Next()->Next()->Properties(), PropertyId::Page), u"3:3");
}

TEST_F(LoadPipeline, ATruncatedLaterFrameKeepsTheEarlierOnes) {
  FakeImage im;
  im.frames = 3;
  im.delay = 50;
  std::string bytes = EncodeFake(im);
  bytes.resize(bytes.size() - 5);  // the third frame is cut short
  path = test::U16(dir.Write("cut.fake", bytes));
  RefPtr<ImageBuffer> image;
  ASSERT_EQ(LoadImageFile(registry, path, true, false, &image), status::kOk);
  EXPECT_EQ(image->ChainLength(), 2u);
}

TEST_F(LoadPipeline, ThousandsOfFramesDoNotExhaustTheStack) {
  FakeImage im;
  im.width = 1;
  im.height = 1;
  im.frames = 255;
  im.delay = 10;
  RefPtr<ImageBuffer> image;
  ASSERT_EQ(Load(im, &image), status::kOk);
  EXPECT_EQ(image->ChainLength(), 255u);
}

TEST_F(LoadPipeline, GreyRampPaletteArrivesAsGray8) {
  FakeImage im;
  im.format = PixelFormat::Indexed8;
  im.width = 4;
  im.height = 1;
  im.pixels = std::string("\x00\x40\x80\xFF", 4);
  RefPtr<ImageBuffer> image;
  ASSERT_EQ(Load(im, &image), status::kOk);
  EXPECT_EQ(image->Format(), PixelFormat::Gray8);
  EXPECT_EQ(image->Row(0)[2], 0x80);
}

TEST_F(LoadPipeline, GreyRampPaletteWithTransparencyKeepsIt) {
  FakeImage im;
  im.format = PixelFormat::Indexed8;
  im.alpha = AlphaMode::Straight;
  im.width = 2;
  im.height = 1;
  im.pixels = std::string("\x00\x80", 2);
  RefPtr<ImageBuffer> image;
  ASSERT_EQ(Load(im, &image), status::kOk);
  EXPECT_EQ(image->Format(), PixelFormat::Indexed8);
  EXPECT_EQ(image->Alpha(), AlphaMode::Straight);
}

class CountingSink : public ProgressSink {
 public:
  void Report(uint32_t done, uint32_t total) override { last = {done, total}; }
  std::pair<uint32_t, uint32_t> last{0, 0};
};

TEST_F(LoadPipeline, CancelAndProgress) {
  RefPtr<ImageReader> reader;
  ASSERT_EQ(OpenFake({}, &reader), status::kOk);
  RefPtr<ImageBuffer> b;
  ASSERT_EQ(MakeTargetBuffer(reader.get(), &b, false, false), status::kOk);
  auto sink = MakeRef<CountingSink>();
  ASSERT_EQ(reader->DecodeInto(b.get(), true, sink.get(), nullptr), status::kOk);
  EXPECT_EQ(sink->last, (std::pair<uint32_t, uint32_t>{100, 100}));
  EXPECT_EQ(sink->RefCount(), 1u);  // the pipeline let go of it
  CancelFlag cancel;
  cancel.Set();
  EXPECT_EQ(reader->DecodeInto(b.get(), true, nullptr, &cancel), status::kCancelled);
}

TEST_F(LoadPipeline, ZeroSizeImagesAreRefusedWhenMakingTheTarget) {
  FakeImage im;
  im.width = 0;
  RefPtr<ImageReader> reader;
  ASSERT_EQ(OpenFake(im, &reader), status::kOk);
  RefPtr<ImageBuffer> b;
  EXPECT_EQ(MakeTargetBuffer(reader.get(), &b, false, false), status::kUnknownFormat);
}

}  // namespace
}  // namespace vt
