// Public PSD samples and files written by ImageMagick, compared with reference
// decoders (Pillow, ImageMagick). Extra channels (alpha) are not read, so only
// red, green and blue are compared.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "image/colour_models.h"
#include "psd_tga_pcx_support.h"
#include "support/test_support.h"

namespace vt {
namespace {

enum class Ref : uint8_t { None, Pillow, Magick8, Magick16, MagickFloat, MagickLab, MagickCmyk };

struct Case {
  const char* file;  // under the corpus folder
  Status status;
  Ref ref = Ref::None;
};

const Case kCases[] = {
    {"oiio/psd/corrupt_20260312a.psd", status::kOk, Ref::Pillow},
    {"oiio/psd/psd_123.psd", status::kOk, Ref::Pillow},
    {"oiio/psd/psd_123_nomaxcompat.psd", status::kOk, Ref::Pillow},
    {"oiio/psd/psd_bitmap.psd", status::kUnsupportedSubformat, Ref::None},
    {"oiio/psd/psd_indexed_trans.psd", status::kOk, Ref::Pillow},
    {"oiio/psd/psd_rgb_16.psd", status::kOk, Ref::Magick16},
    {"oiio/psd/psd_rgb_16_rle.psd", status::kOk, Ref::Magick16},
    {"oiio/psd/psd_rgb_32.psd", status::kOk, Ref::MagickFloat},
    {"oiio/psd/psd_rgb_8.psd", status::kOk, Ref::Pillow},
    {"oiio/psd/psd_rgba_8.psd", status::kOk, Ref::Pillow},
    {"psd-tools/tests/psd_files/colormodes/4x4_16bit_cmyk.psd", status::kUnsupportedSubformat},
    {"psd-tools/tests/psd_files/colormodes/4x4_16bit_grayscale.psd", status::kOk, Ref::Magick16},
    {"psd-tools/tests/psd_files/colormodes/4x4_16bit_lab.psd", status::kUnsupportedSubformat},
    {"psd-tools/tests/psd_files/colormodes/4x4_16bit_multichannel.psd",
     status::kUnsupportedSubformat},
    {"psd-tools/tests/psd_files/colormodes/4x4_16bit_rgb.psd", status::kOk, Ref::Magick16},
    {"psd-tools/tests/psd_files/colormodes/4x4_1bit_bitmap.psd", status::kUnsupportedSubformat},
    {"psd-tools/tests/psd_files/colormodes/4x4_32bit_grayscale.psd", status::kOk,
     Ref::MagickFloat},
    {"psd-tools/tests/psd_files/colormodes/4x4_32bit_rgb.psd", status::kOk, Ref::MagickFloat},
    {"psd-tools/tests/psd_files/colormodes/4x4_8bit_cmyk.psd", status::kOk, Ref::Magick8},
    {"psd-tools/tests/psd_files/colormodes/4x4_8bit_duotone.psd", status::kOk, Ref::Magick8},
    {"psd-tools/tests/psd_files/colormodes/4x4_8bit_grayscale.psd", status::kOk, Ref::Magick8},
    {"psd-tools/tests/psd_files/colormodes/4x4_8bit_index_color.psd", status::kOk, Ref::Pillow},
    {"psd-tools/tests/psd_files/colormodes/4x4_8bit_lab.psd", status::kOk, Ref::MagickLab},
    {"psd-tools/tests/psd_files/colormodes/4x4_8bit_rgb.psd", status::kOk, Ref::Magick8},
    {"psd-tools/tests/psd_files/colormodes/4x4_8bit_rgba.psd", status::kOk, Ref::Pillow},
    {"pillow/Tests/images/combined_larger_than_size.psd", status::kDamaged},
    {"pillow/Tests/images/five_channels.psd", status::kOk, Ref::Pillow},
    {"pillow/Tests/images/hopper.psd", status::kOk, Ref::Pillow},
    {"pillow/Tests/images/hopper_merged.psd", status::kOk, Ref::Pillow},
    {"pillow/Tests/images/negative_layer_count.psd", status::kOk, Ref::Pillow},
    {"pillow/Tests/images/negative_top_left_layer.psd", status::kOk, Ref::Magick8},
    {"pillow/Tests/images/psd-oob-write-overflow.psd", status::kOk, Ref::Magick8},
    {"pillow/Tests/images/psd-oob-write-x.psd", status::kOk, Ref::Pillow},
    {"pillow/Tests/images/psd-oob-write-y.psd", status::kOk, Ref::Magick8},
    {"pillow/Tests/images/psd-oob-write.psd", status::kOk, Ref::Magick8},
    {"pillow/Tests/images/rgba.psd", status::kOk, Ref::Pillow},
    // Zip-compressed merged data.
    {"pillow/Tests/images/timeout-1ee28a249896e05b83840ae8140622de8e648ba9.psd",
     status::kUnsupportedSubformat},
    {"pillow/Tests/images/timeout-598843abc37fc080ec36a2699ebbd44f795d3a6f.psd",
     status::kUnsupportedSubformat},
    {"pillow/Tests/images/timeout-c8efc3fded6426986ba867a399791bae544f59bc.psd",
     status::kUnsupportedSubformat},
    {"pillow/Tests/images/timeout-dedc7a4ebd856d79b4359bbcc79e8ef231ce38f6.psd", status::kOk,
     Ref::Magick8},
};

// Compares red, green and blue with a tolerance; reports the first mismatch.
void ExpectRgbNear(const test::Rgba& ours, const test::Rgba& ref, int tolerance,
                   const std::string& what) {
  ASSERT_EQ(ours.width, ref.width) << what;
  ASSERT_EQ(ours.height, ref.height) << what;
  int worst = 0;
  for (size_t i = 0; i < ours.data.size(); ++i) {
    if (i % 4 == 3) continue;
    worst = std::max(worst, std::abs(int{ours.data[i]} - int{ref.data[i]}));
  }
  EXPECT_LE(worst, tolerance) << what;
}

void CheckAgainstReference(const std::string& path, Ref ref, const test::Loaded& l) {
  test::Rgba want;
  switch (ref) {
    case Ref::None:
      return;
    case Ref::Pillow:
      if (!test::PillowRgba(path, &want)) GTEST_SKIP() << "Pillow not available";
      ExpectRgbNear(test::ToRgba(l.image.get()), want, 0, path);
      return;
    case Ref::Magick8:
    case Ref::MagickLab:
    case Ref::MagickCmyk: {
      if (!test::MagickRgba(path, 8, &want)) GTEST_SKIP() << "ImageMagick not available";
      // Lab: the two use different conversions to sRGB. CMYK: the same formula,
      // but the reference rounds where ours truncates.
      const int tolerance = ref == Ref::MagickLab ? 8 : ref == Ref::MagickCmyk ? 1 : 0;
      ExpectRgbNear(test::ToRgba(l.image.get()), want, tolerance, path);
      return;
    }
    case Ref::Magick16: {
      if (!test::MagickRgba(path, 16, &want)) GTEST_SKIP() << "ImageMagick not available";
      const std::vector<uint16_t> ours = test::ToRgba16(l.image.get());
      ASSERT_EQ(ours.size() * 2, want.data.size()) << path;
      for (size_t i = 0; i < ours.size(); ++i) {
        if (i % 4 == 3) continue;
        const uint16_t w = static_cast<uint16_t>(want.data[2 * i] << 8 | want.data[2 * i + 1]);
        ASSERT_EQ(ours[i], w) << path << " sample " << i;
      }
      return;
    }
    case Ref::MagickFloat: {
      if (!test::MagickRgba(path, 32, &want)) GTEST_SKIP() << "ImageMagick not available";
      // The reference gives the stored linear values; ours went through the
      // sRGB transfer function.
      ImageBuffer* image = l.image.get();
      const bool gray = image->Format() == PixelFormat::GrayFloat;
      ASSERT_TRUE(gray || image->Format() == PixelFormat::BgraFloat);
      for (uint32_t y = 0; y < image->Height(); ++y) {
        for (uint32_t x = 0; x < image->Width(); ++x) {
          for (int c = 0; c < 3; ++c) {
            float ref_v;
            std::memcpy(&ref_v, want.data.data() + ((size_t{y} * image->Width() + x) * 4 + c) * 4,
                        4);
            float ours;
            const size_t at = gray ? 4 * x : 16 * x + 4 * (2 - c);
            std::memcpy(&ours, image->Row(y) + at, 4);
            ASSERT_NEAR(ours, SrgbTransfer(ref_v), 1e-3) << path << " " << x << "," << y;
          }
        }
      }
      return;
    }
  }
}

TEST(PsdCorpus, PublicSamplesDecode) {
  if (!test::FileExists(test::CorpusPath("oiio/psd/psd_rgb_8.psd")))
    GTEST_SKIP() << "corpus not present";
  for (const Case& c : kCases) {
    const std::string path = test::CorpusPath(c.file);
    SCOPED_TRACE(c.file);
    const test::Loaded l = test::LoadPath(path);
    ASSERT_EQ(l.status, c.status) << std::hex << l.status;
    if (Failed(c.status)) continue;
    CheckAgainstReference(path, c.ref, l);
  }
}

// A colourful test picture written by ImageMagick in several PSD variants, read
// back by ImageMagick as the reference.
TEST(PsdCorpus, ImageMagickWrittenFiles) {
  if (!test::HaveMagick()) GTEST_SKIP() << "ImageMagick not available";
  test::TempDir dir;
  const std::string source = dir.Path() + "/source.ppm";
  ASSERT_TRUE(test::Shell("convert -size 67x41 -seed 11 plasma:red-blue -depth 8 " + source));
  const struct {
    const char* name;
    const char* options;
    Ref ref;
  } kVariants[] = {
      {"rle8.psd", "-compress RLE", Ref::Magick8},
      {"raw8.psd", "-compress None", Ref::Magick8},
      {"rle16.psd", "-depth 16 -compress RLE", Ref::Magick16},
      {"raw16.psd", "-depth 16 -compress None", Ref::Magick16},
      {"gray8.psd", "-colorspace Gray -compress RLE", Ref::Magick8},
      {"gray16.psd", "-colorspace Gray -depth 16 -compress None", Ref::Magick16},
      {"cmyk8.psd", "-colorspace CMYK -depth 8 -compress RLE", Ref::MagickCmyk},
      {"alpha8.psd", "-alpha set -channel A -fx 0.5 +channel -compress RLE", Ref::Pillow},
  };
  for (const auto& v : kVariants) {
    const std::string path = dir.Path() + "/" + v.name;
    ASSERT_TRUE(test::Shell("convert " + source + " " + v.options + " " + path + " 2>/dev/null"))
        << v.name;
    const test::Loaded l = test::LoadPath(path);
    ASSERT_EQ(l.status, status::kOk) << v.name;
    EXPECT_EQ(l.image->Width(), 67u);
    CheckAgainstReference(path, v.ref, l);
  }
}

}  // namespace
}  // namespace vt
