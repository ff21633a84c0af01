// The registry with every built-in reader, on third-party files: choice by name
// first, then by probing in the registry's order, and the reduced-size decode.
#include <gtest/gtest.h>

#include "formats/builtin_formats.h"
#include "image/format_registry.h"
#include "support/test_support.h"

namespace vt {
namespace {

class BuiltinRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterBuiltinFormats(registry);
    png = test::CorpusPath("pngsuite/png/basn2c08.png");
    jpeg = test::CorpusPath("jpeg/libjpeg-turbo/testimages/testorig.jpg");
    if (!test::FileExists(png) || !test::FileExists(jpeg)) GTEST_SKIP() << "corpus missing";
  }
  std::u16string Chosen(const std::string& file, const std::u16string& name) {
    auto source = MakeMemorySource(name, test::ReadFileBytes(file));
    int i = registry.ChooseReader(*source, true);
    return i < 0 ? u"-" : std::u16string(registry.At(i)->extension);
  }
  FormatRegistry registry;
  std::string png, jpeg;
};

TEST_F(BuiltinRegistry, EveryGroupHasItsReaderExceptTiff) {
  for (const FormatGroup& g : BuiltinFormatGroups()) {
    const bool expectReader = std::string(g.name) != "tiff";
    for (const FormatRecord& r : g.records)
      EXPECT_EQ(r.create != nullptr, expectReader) << g.name;
  }
}

TEST_F(BuiltinRegistry, NameFirstThenProbing) {
  EXPECT_EQ(Chosen(jpeg, u"C:\\photos\\photo.JPG"), u"jpg");
  EXPECT_EQ(Chosen(jpeg, u"photo.jpeg"), u"jpeg");
  // A PNG named as a JPEG is found by probing the other formats.
  EXPECT_EQ(Chosen(png, u"x.jpg"), u"png");
  EXPECT_EQ(Chosen(png, u"x"), u"png");
  EXPECT_EQ(Chosen(jpeg, u"x.png"), u"jfif");  // the first JPEG record in sorted order
}

TEST_F(BuiltinRegistry, TextAndEmptyFilesAreRefusedWithTheirCodes) {
  test::TempDir dir;
  RefPtr<ImageBuffer> image;
  EXPECT_EQ(LoadImageFile(registry, test::U16(dir.Write("notes.txt", "plain text, no image\n")), true,
                      false, &image),
            status::kUnknownFormat);
  EXPECT_EQ(LoadImageFile(registry, test::U16(dir.Write("empty.png", "")), true, false, &image),
            status::kCannotOpenFile);
}

TEST_F(BuiltinRegistry, AThumbnailNoLargerThanAnEighthDecodesReduced) {
  RefPtr<ImageReader> reader;
  ASSERT_EQ(registry.OpenReader(test::U16(jpeg), &reader), status::kOk);
  ASSERT_TRUE(reader->HasReducedSize());
  EXPECT_EQ(reader->ReducedWidth(), (reader->Width() + 7) / 8);
  RefPtr<ImageBuffer> thumb;
  ASSERT_EQ(MakeTargetBuffer(reader.get(), &thumb, false, true), status::kOk);
  EXPECT_EQ(thumb->Width(), reader->ReducedWidth());
  ASSERT_EQ(reader->DecodeInto(thumb.get(), false, nullptr, nullptr), status::kOk);
  // The DC-only decode gives each 8 x 8 block's mean. Luma is coded per block,
  // so the luma of the thumbnail must equal the mean luma of the full decode's
  // block up to rounding (chroma is coarser in subsampled files: not compared).
  RefPtr<ImageBuffer> full;
  ASSERT_EQ(MakeTargetBuffer(reader.get(), &full, false, false), status::kOk);
  ASSERT_EQ(reader->DecodeInto(full.get(), false, nullptr, nullptr), status::kOk);
  RefPtr<ImageBuffer> fullBgra = Convert(full.get(), PixelFormat::Bgra8, false, false);
  RefPtr<ImageBuffer> thumbBgra = Convert(thumb.get(), PixelFormat::Bgra8, false, false);
  ASSERT_TRUE(fullBgra && thumbBgra);
  auto luma = [](const uint8_t* p) { return 0.114 * p[0] + 0.587 * p[1] + 0.299 * p[2]; };
  double diff = 0;
  int n = 0;
  for (uint32_t y = 0; (y + 1) * 8 <= full->Height(); ++y) {
    for (uint32_t x = 0; (x + 1) * 8 <= full->Width(); ++x) {
      double sum = 0;
      for (uint32_t j = 0; j < 8; ++j)
        for (uint32_t i = 0; i < 8; ++i) sum += luma(fullBgra->Row(y * 8 + j) + (x * 8 + i) * 4);
      diff += std::abs(sum / 64 - luma(thumbBgra->Row(y) + x * 4));
      ++n;
    }
  }
  ASSERT_GT(n, 0);
  EXPECT_LT(diff / n, 1.5);
}

}  // namespace
}  // namespace vt
