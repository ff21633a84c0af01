// The DDS reader on surfaces built here byte by byte (including DXT2 and DXT4,
// which no encoder at hand writes), on the public samples, and on surfaces
// written by ImageMagick, compared with Pillow and ImageMagick.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/dds/dds_reader.h"
#include "ico_dds_fits_support.h"

namespace vt {
namespace idf = test::idf;
namespace {

using idf::LoadBytes;
using idf::PutLE;

struct Surface {
  uint32_t width = 4;
  uint32_t height = 4;
  uint32_t flags = 0x1007;
  uint32_t pitch = 0;
  uint32_t pixelFlags = 0x4;
  std::string fourCc = "DXT1";
  uint32_t bits = 0;
  uint32_t masks[4] = {};
  uint32_t caps = 0x1000;
  std::string data;
};

std::string Build(const Surface& s) {
  std::string b = "DDS ";
  PutLE(b, 124, 4);
  PutLE(b, s.flags, 4);
  PutLE(b, s.height, 4);
  PutLE(b, s.width, 4);
  PutLE(b, s.pitch, 4);
  b.append(76 - b.size(), '\0');
  PutLE(b, 32, 4);
  PutLE(b, s.pixelFlags, 4);
  b += (s.fourCc + std::string(4, '\0')).substr(0, 4);
  PutLE(b, s.bits, 4);
  for (uint32_t m : s.masks) PutLE(b, m, 4);
  PutLE(b, s.caps, 4);
  b.append(128 - b.size(), '\0');
  return b + s.data;
}

std::string ColourBlock(uint16_t c0, uint16_t c1, uint32_t indices) {
  std::string b;
  PutLE(b, c0, 2);
  PutLE(b, c1, 2);
  PutLE(b, indices, 4);
  return b;
}

uint32_t Bgra(uint32_t b, uint32_t g, uint32_t r, uint32_t a) { return b | g << 8 | r << 16 | a << 24; }

TEST(DdsReader, ProbeAndRefusals) {
  Surface s;
  s.data = ColourBlock(0xFFFF, 0, 0);
  const std::string good = Build(s);
  EXPECT_EQ(ProbeDds(*MakeMemorySource(u"x", good)), status::kOk);
  EXPECT_EQ(ProbeDds(*MakeMemorySource(u"x", good.substr(0, 127))), status::kUnknownFormat);
  EXPECT_EQ(ProbeDds(*MakeMemorySource(u"x", "DDS!" + good.substr(4))), status::kUnknownFormat);
  // Found by probing under any name.
  EXPECT_TRUE(LoadBytes("surface.bin", good).Ok());

  Surface noTexture = s;
  noTexture.caps = 0x8;
  EXPECT_EQ(LoadBytes("a.dds", Build(noTexture)).open, status::kUnsupportedSubformat);
  for (const char* code : {"DXT6", "ATI1", "DX10", "BC7U"}) {
    Surface other = s;
    other.fourCc = code;
    EXPECT_EQ(LoadBytes("a.dds", Build(other)).open, status::kUnsupportedSubformat) << code;
  }
  for (uint32_t bits : {8u, 33u, 64u}) {
    Surface rgb = s;
    rgb.pixelFlags = 0x40;
    rgb.bits = bits;
    EXPECT_EQ(LoadBytes("a.dds", Build(rgb)).open, status::kUnsupportedSubformat) << bits;
  }
  Surface luminance = s;
  luminance.pixelFlags = 0x20000;
  EXPECT_EQ(LoadBytes("a.dds", Build(luminance)).open, status::kUnsupportedSubformat);
  Surface empty = s;
  empty.width = 0;
  EXPECT_EQ(LoadBytes("a.dds", Build(empty)).open, status::kDamaged);
  Surface huge = s;
  huge.width = huge.height = 1u << 20;  // a terapixel from 136 bytes
  EXPECT_EQ(LoadBytes("a.dds", Build(huge)).open, status::kDamaged);
}

TEST(DdsReader, Dxt1ColoursAndTheTransparentEntry) {
  // Red 31, green 63, blue 0 against red 0, green 0, blue 1: c0 > c1.
  const uint16_t c0 = 31 << 11 | 63 << 5;
  const uint16_t c1 = 1;
  const uint32_t r0 = 255, g0 = 255, b1 = (255 + 15) / 31;  // 8
  const uint32_t four[4] = {Bgra(0, g0, r0, 255), Bgra(b1, 0, 0, 255),
                            Bgra((b1 + 1) / 3, (2 * g0 + 1) / 3, (2 * r0 + 1) / 3, 255),
                            Bgra((2 * b1 + 1) / 3, (g0 + 1) / 3, (r0 + 1) / 3, 255)};
  Surface s;
  s.width = 6;  // two blocks across, the second half outside the image
  s.height = 3;
  s.data = ColourBlock(c0, c1, 0xE4E4E4E4) + ColourBlock(c1, c0, 0xE4E4E4E4);
  idf::Loaded got = LoadBytes("a.dds", Build(s));
  ASSERT_TRUE(got.Ok());
  EXPECT_EQ(got.reader->BitDepth(), 23u);
  EXPECT_EQ(got.reader->MinStride(), 32u);
  EXPECT_EQ(got.reader->MinRows(), 4u);
  EXPECT_EQ(got.image->Alpha(), AlphaMode::Premultiplied);
  for (uint32_t x = 0; x < 4; ++x) EXPECT_EQ(got.Pixel(x, 2), four[x]) << x;
  // c0 <= c1: the third colour is the mean, index 3 transparent black.
  EXPECT_EQ(got.Pixel(4, 0), Bgra(b1, 0, 0, 255));
  EXPECT_EQ(got.Pixel(5, 1), Bgra(0, g0, r0, 255));

  uint32_t block[16];
  const std::string three = ColourBlock(c1, c0, 0xFFFFFFFE);
  DecodeDdsBlock(DdsBlockKind::Dxt1, reinterpret_cast<const uint8_t*>(three.data()), block);
  EXPECT_EQ(block[0], Bgra((b1 + 1) / 2, (g0 + 1) / 2, (r0 + 1) / 2, 255));
  EXPECT_EQ(block[1], 0u);
  EXPECT_EQ(block[15], 0u);
  // The formats with their own alpha always use four colours.
  const std::string withAlpha = std::string(8, '\xFF') + three;
  DecodeDdsBlock(DdsBlockKind::ExplicitAlpha, reinterpret_cast<const uint8_t*>(withAlpha.data()),
                 block);
  EXPECT_EQ(block[0], Bgra((2 * b1 + 1) / 3, (g0 + 1) / 3, (r0 + 1) / 3, 255));
  EXPECT_EQ(block[1], Bgra((b1 + 1) / 3, (2 * g0 + 1) / 3, (2 * r0 + 1) / 3, 255));
}

TEST(DdsReader, ExplicitAndInterpolatedAlpha) {
  // DXT3: nibble n gives 17 n.
  std::string explicitBlock;
  for (int i = 0; i < 8; ++i) explicitBlock.push_back(static_cast<char>((2 * i + 1) << 4 | 2 * i));
  explicitBlock += ColourBlock(0xFFFF, 0, 0);
  uint32_t block[16];
  DecodeDdsBlock(DdsBlockKind::ExplicitAlpha, reinterpret_cast<const uint8_t*>(explicitBlock.data()),
                 block);
  for (uint32_t i = 0; i < 16; ++i) {
    EXPECT_EQ(block[i] >> 24, i * 17) << i;
    EXPECT_EQ(block[i] & 0xFFFFFF, 0xFFFFFFu);
  }
  // DXT5: eight-value and six-value ramps; indices 0..7 then 7..0.
  for (auto [a0, a1] : {std::pair{200u, 10u}, {10u, 200u}, {0u, 0u}, {255u, 254u}}) {
    std::string b;
    b.push_back(static_cast<char>(a0));
    b.push_back(static_cast<char>(a1));
    uint64_t indices = 0;
    for (uint64_t i = 0; i < 16; ++i) indices |= (i < 8 ? i : 15 - i) << (3 * i);
    PutLE(b, indices, 6);
    b += ColourBlock(0, 0, 0);
    DecodeDdsBlock(DdsBlockKind::InterpolatedAlpha, reinterpret_cast<const uint8_t*>(b.data()), block);
    uint32_t want[8] = {a0, a1};
    if (a0 > a1) {
      for (uint32_t k = 1; k <= 6; ++k) want[k + 1] = ((7 - k) * a0 + k * a1 + 3) / 7;
    } else {
      for (uint32_t k = 1; k <= 4; ++k) want[k + 1] = ((5 - k) * a0 + k * a1 + 2) / 5;
      want[6] = 0;
      want[7] = 255;
    }
    for (uint32_t i = 0; i < 16; ++i) EXPECT_EQ(block[i] >> 24, want[i < 8 ? i : 15 - i]) << a0 << " " << i;
  }
  // Spot values of the formulas.
  std::string b = std::string("\xC8\x0A", 2);
  PutLE(b, 2, 6);  // index 2 for the first pixel
  b += ColourBlock(0, 0, 0);
  DecodeDdsBlock(DdsBlockKind::InterpolatedAlpha, reinterpret_cast<const uint8_t*>(b.data()), block);
  EXPECT_EQ(block[0] >> 24, (6 * 200 + 10 + 3) / 7u);  // 173
}

TEST(DdsReader, PremultipliedBlockFormatsReportTheirCode) {
  for (const char* code : {"DXT2", "DXT3", "DXT4", "DXT5"}) {
    Surface s;
    s.fourCc = code;
    s.width = 5;
    s.height = 5;
    for (int i = 0; i < 4; ++i) s.data += std::string(8, '\x77') + ColourBlock(0xF800, 0x001F, 0);
    idf::Loaded got = LoadBytes("a.dds", Build(s));
    ASSERT_TRUE(got.Ok()) << code;
    const bool premultiplied = code[3] == '2' || code[3] == '4';
    EXPECT_EQ(got.reader->BitDepth(), premultiplied ? 26u : 30u) << code;
    EXPECT_EQ(got.reader->Alpha(), premultiplied ? AlphaMode::Premultiplied : AlphaMode::Straight);
    EXPECT_EQ(got.Pixel(4, 4) & 0xFFFFFF, 0xFF0000u) << code;
  }
}

TEST(DdsReader, BitMaskSurfaces) {
  // 16-bit 5-6-5 with the formula v * 255 / (2^n - 1), truncated.
  Surface s;
  s.pixelFlags = 0x40;
  s.bits = 16;
  s.masks[0] = 0xF800;
  s.masks[1] = 0x07E0;
  s.masks[2] = 0x001F;
  s.width = 3;
  s.height = 2;
  // Rows padded to 4 bytes without the pitch flag.
  for (uint32_t v : {0x0801u, 0x0020u, 0xFFFFu}) PutLE(s.data, v, 2);
  s.data += "..";
  for (uint32_t v : {0x1003u, 0x0000u, 0x07E0u}) PutLE(s.data, v, 2);
  s.data += "..";
  idf::Loaded got = LoadBytes("a.dds", Build(s));
  ASSERT_TRUE(got.Ok());
  EXPECT_EQ(got.image->Alpha(), AlphaMode::None);
  EXPECT_EQ(got.Pixel(0, 0), Bgra(255 / 31, 0, 255 / 31, 255));
  EXPECT_EQ(got.Pixel(1, 0), Bgra(0, 255 / 63, 0, 255));
  EXPECT_EQ(got.Pixel(2, 0), 0xFFFFFFFFu);
  EXPECT_EQ(got.Pixel(0, 1), Bgra(3 * 255 / 31, 0, 2 * 255 / 31, 255));
  EXPECT_EQ(got.Pixel(2, 1), Bgra(0, 255, 0, 255));

  // 32-bit with an alpha mask, the pitch flag and wide rows; 24-bit without
  // alpha; zero masks.
  Surface a;
  a.pixelFlags = 0x41;
  a.bits = 32;
  a.flags |= 0x8;
  a.pitch = 12;
  a.width = 2;
  a.height = 2;
  a.masks[0] = 0x3FF00000;
  a.masks[1] = 0x000FFC00;
  a.masks[2] = 0x000003FF;
  a.masks[3] = 0xC0000000;
  PutLE(a.data, 0x7FFFFFFF, 4);
  PutLE(a.data, 0x80000000u | 1023u << 20, 4);
  PutLE(a.data, 0xDEADBEEF, 4);
  PutLE(a.data, 1023u << 10, 4);
  PutLE(a.data, 0xC0000000u | 512u, 4);
  idf::Loaded alpha = LoadBytes("a.dds", Build(a));
  ASSERT_TRUE(alpha.Ok());
  EXPECT_EQ(alpha.image->Alpha(), AlphaMode::Straight);
  EXPECT_EQ(alpha.Pixel(0, 0), Bgra(255, 255, 255, 1 * 255 / 3));
  EXPECT_EQ(alpha.Pixel(1, 0), Bgra(0, 0, 255, 2 * 255 / 3));
  EXPECT_EQ(alpha.Pixel(0, 1), Bgra(0, 255, 0, 0));
  EXPECT_EQ(alpha.Pixel(1, 1), Bgra(512 * 255 / 1023, 0, 0, 255));

  Surface z = a;
  z.pixelFlags = 0x40;
  z.masks[1] = 0;
  idf::Loaded zero = LoadBytes("a.dds", Build(z));
  ASSERT_TRUE(zero.Ok());
  EXPECT_EQ(zero.image->Alpha(), AlphaMode::None);
  EXPECT_EQ(zero.Pixel(0, 0), Bgra(255, 0, 255, 255));

  Surface p = a;
  p.pixelFlags = 0x8041;
  EXPECT_EQ(LoadBytes("a.dds", Build(p)).image->Alpha(), AlphaMode::Premultiplied);
}

TEST(DdsReader, TruncationCancelAndPrefixes) {
  Surface s;
  s.fourCc = "DXT5";
  s.width = 9;
  s.height = 6;
  for (int i = 0; i < 6; ++i) s.data += std::string("\xFF\x00", 2) + std::string(6, '\0') + ColourBlock(0xFFFF, 0xFFFF, 0);
  const std::string whole = Build(s);
  idf::CheckEveryPrefix("a.dds", whole);
  // Blocks the file does not hold are transparent black.
  idf::Loaded cut = LoadBytes("a.dds", whole.substr(0, whole.size() - 20));
  ASSERT_TRUE(cut.Ok());
  EXPECT_EQ(cut.Pixel(0, 5), 0xFFFFFFFFu);
  EXPECT_EQ(cut.Pixel(8, 5), 0u);

  Surface rgb;
  rgb.pixelFlags = 0x40;
  rgb.bits = 24;
  rgb.masks[0] = 0xFF0000;
  rgb.masks[1] = 0xFF00;
  rgb.masks[2] = 0xFF;
  rgb.width = 5;
  rgb.height = 3;
  rgb.data = std::string(16 * 3, '\x40');
  idf::CheckEveryPrefix("a.dds", Build(rgb));

  CancelFlag cancel;
  cancel.Set();
  EXPECT_EQ(LoadBytes("a.dds", whole, nullptr, &cancel).decode, status::kCancelled);
  EXPECT_EQ(LoadBytes("a.dds", Build(rgb), nullptr, &cancel).decode, status::kCancelled);
}

struct Sample {
  const char* file;
  Status status;
  int colourTolerance;  // against Pillow; -1: Pillow does not read it
};

// Pillow widens 5- and 6-bit end points by repeating bits and interpolates
// without rounding: a step or two from the arithmetic here.
const Sample kSamples[] = {
    {"pillow/Tests/images/dxt1-rgb-4bbp-noalpha_MipMaps-1.dds", status::kOk, 2},
    {"pillow/Tests/images/dxt3-argb-8bbp-explicitalpha_MipMaps-1.dds", status::kOk, 2},
    {"pillow/Tests/images/dxt5-argb-8bbp-interpolatedalpha_MipMaps-1.dds", status::kOk, 2},
    // A DXT5 colour block whose end points would select three colours in DXT1.
    {"pillow/Tests/images/dxt5-colorblock-alpha-issue-4142.dds", status::kOk, 1},
    {"pillow/Tests/images/hopper.dds", status::kOk, 0},
    {"pillow/Tests/images/uncompressed_rgb.dds", status::kOk, 0},
    {"pillow/Tests/images/bgr15.dds", status::kOk, -1},
    {"pillow/Tests/images/zero_mask_totals.dds", status::kOk, -1},
    {"pillow/Tests/images/uncompressed_l.dds", status::kUnsupportedSubformat, -1},
    {"pillow/Tests/images/bc7-argb-8bpp_MipMaps-1.dds", status::kUnsupportedSubformat, -1},
    {"pillow/Tests/images/timeout-c60a3d7314213624607bfb3e38d551a8b24a7435.dds", status::kDamaged, -1},
    {"oiio/dds/dds_abgr8.dds", status::kOk, 0},
    {"oiio/dds/dds_bc1.dds", status::kOk, 2},
    {"oiio/dds/dds_bc1_mips.dds", status::kOk, 2},
    {"oiio/dds/dds_bc2.dds", status::kOk, 2},
    {"oiio/dds/dds_bc3.dds", status::kOk, 2},
    {"oiio/dds/dds_bc3nm.dds", status::kOk, 2},
    {"oiio/dds/dds_bc3ycocg.dds", status::kOk, 2},
    {"oiio/dds/dds_bgr8.dds", status::kOk, 0},
    {"oiio/dds/dds_npot_bc3.dds", status::kOk, 2},
    {"oiio/dds/dds_npot_bc3_mips.dds", status::kOk, 2},
    {"oiio/dds/dds_npot_rgba8.dds", status::kOk, 0},
    {"oiio/dds/dds_npot_rgba8_mips.dds", status::kOk, 0},
    {"oiio/dds/dds_r5g6b5.dds", status::kOk, -1},
    {"oiio/dds/dds_rgb10a2.dds", status::kOk, -1},
    {"oiio/dds/dds_rgb5a1.dds", status::kOk, -1},
    {"oiio/dds/dds_rgb8.dds", status::kOk, 0},
    {"oiio/dds/dds_rgba4.dds", status::kOk, -1},
    {"oiio/dds/dds_rgba8.dds", status::kOk, 0},
    {"oiio/dds/dds_rgba8_mips.dds", status::kOk, 0},
    {"oiio/dds/sample-DXT1.dds", status::kOk, 2},
    {"oiio/dds/dds_a8.dds", status::kUnsupportedSubformat, -1},
    {"oiio/dds/dds_bc7.dds", status::kUnsupportedSubformat, -1},
    {"oiio/dds/dds_rgb332.dds", status::kUnsupportedSubformat, -1},
    {"oiio/dds/broken/dds_8bytes.dds", status::kUnknownFormat, -1},
    {"oiio/dds/broken/dds_bc3_no_full_header.dds", status::kUnknownFormat, -1},
    {"oiio/dds/broken/dds_bc3_just_header.dds", status::kOk, -1},
    {"oiio/dds/broken/dds_bc7_not_enough_data.dds", status::kUnsupportedSubformat, -1},
};

TEST(DdsCorpus, SamplesDecodeLikePillow) {
  if (!test::FileExists(test::CorpusPath("oiio/dds/dds_bc1.dds"))) GTEST_SKIP() << "no corpus";
  std::vector<std::string> paths;
  for (const Sample& s : kSamples) paths.push_back(test::CorpusPath(s.file));
  const bool pillow = idf::HavePillow();
  const auto refs = pillow ? idf::PillowDecode(paths, false) : std::vector<idf::Reference>(paths.size());
  int compared = 0;
  for (size_t i = 0; i < paths.size(); ++i) {
    const Sample& s = kSamples[i];
    SCOPED_TRACE(s.file);
    const idf::Loaded got = idf::LoadFile(paths[i]);
    if (s.status != status::kOk) {
      EXPECT_EQ(got.open, s.status);
      continue;
    }
    ASSERT_TRUE(got.Ok()) << std::hex << got.open;
    if (!pillow || s.colourTolerance < 0) continue;
    ASSERT_TRUE(refs[i].Ok());
    const idf::Difference d = idf::Compare(got, refs[i]);
    EXPECT_LE(d.colour, s.colourTolerance);
    EXPECT_LE(d.alpha, 1);  // Pillow's alpha ramp truncates
    ++compared;
  }
  if (pillow) {
    EXPECT_GE(compared, 20);
  }
}

// Bit-mask surfaces Pillow does not read, against the suite's source image
// (the 16 x 8 ones were made from it): the same pixels, widened by the formula.
TEST(DdsCorpus, BitMaskSamplesMatchTheirSource) {
  const std::string src = test::CorpusPath("oiio/dds/_src.png");
  if (!test::FileExists(src) || !idf::HavePillow()) GTEST_SKIP() << "no corpus or Pillow";
  const idf::Reference ref = idf::PillowDecode({src}, false)[0];
  ASSERT_TRUE(ref.Ok());
  // Bits per channel, red, green, blue, alpha (0: opaque).
  const struct {
    const char* file;
    int bits[4];
  } kCases[] = {{"oiio/dds/dds_r5g6b5.dds", {5, 6, 5, 0}},
                {"oiio/dds/dds_rgba4.dds", {4, 4, 4, 4}}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.file);
    const idf::Loaded got = idf::LoadFile(test::CorpusPath(c.file));
    ASSERT_TRUE(got.Ok());
    ASSERT_EQ(got.bgra->Width(), ref.width);
    for (uint32_t y = 0; y < ref.height; ++y) {
      for (uint32_t x = 0; x < ref.width; ++x) {
        const uint8_t* q = reinterpret_cast<const uint8_t*>(ref.data.data()) + (y * ref.width + x) * 4;
        const uint32_t p = got.Pixel(x, y);
        const uint32_t have[4] = {p >> 16 & 0xFF, p >> 8 & 0xFF, p & 0xFF, p >> 24};
        for (int k = 0; k < 4; ++k) {
          const uint32_t max = (1u << c.bits[k]) - 1;
          // The encoder rounded to the nearest level; either neighbour is fair.
          const uint32_t want = c.bits[k] == 0 ? 255 : (q[k] * max + 127) / 255 * 255 / max;
          EXPECT_LE(std::abs(int(have[k]) - int(want)), int(255 / (max ? max : 1)) + 1)
              << x << "," << y << " channel " << k;
        }
      }
    }
  }
}

TEST(DdsCorpus, ImageMagickSurfacesDecodeLikeImageMagick) {
  if (!idf::HaveMagick()) GTEST_SKIP() << "ImageMagick missing";
  test::TempDir dir;
  const bool pillow = idf::HavePillow();
  for (const char* compression : {"dxt1", "dxt3", "dxt5", "none"}) {
    for (const char* size : {"64x64", "13x7"}) {
      SCOPED_TRACE(std::string(compression) + " " + size);
      const std::string path = dir.Path() + "/" + compression + size + ".dds";
      ASSERT_EQ(idf::Run(idf::kConvert + " rose: -resize " + size +
                         "! -alpha set -channel A -fx 'i/w' +channel -define dds:compression=" +
                         compression + " -define dds:mipmaps=0 '" + path + "'"),
                0);
      const idf::Loaded got = idf::LoadFile(path);
      ASSERT_TRUE(got.Ok());
      const idf::Reference magick = idf::MagickDecode(path, got.bgra->Width(), got.bgra->Height());
      ASSERT_TRUE(magick.Ok());
      const idf::Difference d = idf::Compare(got, magick);
      EXPECT_LE(d.colour, std::string(compression) == "none" ? 0 : 2);
      EXPECT_LE(d.alpha, 1);
      if (pillow && std::string(compression) != "none") {
        const idf::Reference ref = idf::PillowDecode({path}, false)[0];
        ASSERT_TRUE(ref.Ok());
        const idf::Difference p = idf::Compare(got, ref);
        EXPECT_LE(p.colour, 2);
        EXPECT_LE(p.alpha, 1);
      }
    }
  }
}

}  // namespace
}  // namespace vt
