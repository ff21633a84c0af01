// Public TARGA samples and files written by netpbm and ImageMagick, compared
// with Pillow's decodes and with the PNG renderings that come with Pillow's
// samples. Colour-map entries of 15 or 16 bits widen by shifting here (31 is
// 248) where the references scale; those are compared on the 5-bit values.
// Alpha is compared only where this reader reports alpha: an attributes type
// other than 3 or 4 in a 2.0 extension area means "no alpha" here.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "psd_tga_pcx_support.h"
#include "support/test_support.h"
#include "support_png.h"

namespace vt {
namespace {

struct Case {
  const char* file;
  Status status;
  bool shiftedMap = false;
};

const Case kCases[] = {
    {"oiio/targa/CBW8.TGA", status::kOk},
    {"oiio/targa/CCM8.TGA", status::kOk, true},
    {"oiio/targa/CTC16.TGA", status::kOk},
    {"oiio/targa/CTC24.TGA", status::kOk},
    {"oiio/targa/CTC32.TGA", status::kOk},
    {"oiio/targa/UBW8.TGA", status::kOk},
    {"oiio/targa/UCM8.TGA", status::kOk, true},
    {"oiio/targa/UTC16.TGA", status::kOk},
    {"oiio/targa/UTC24.TGA", status::kOk},
    {"oiio/targa/UTC32.TGA", status::kOk},
    {"oiio/targa/round_grill.tga", status::kOk},
    {"pillow/Tests/images/200x32_p_bl_raw_origin.tga", status::kOk},
    {"pillow/Tests/images/cross_scan_line.tga", status::kOk},
    // Grey with alpha (16 bits) does not fit grey images.
    {"pillow/Tests/images/la.tga", status::kDamaged},
    {"pillow/Tests/images/p_16.tga", status::kOk, true},
    {"pillow/Tests/images/p_8.tga", status::kUnknownFormat},  // 18 bytes
    {"pillow/Tests/images/rgb32rle.tga", status::kOk},
    // Right-to-left images are not taken as TARGA.
    {"pillow/Tests/images/rgb32rle_bottom_right.tga", status::kUnknownFormat},
    {"pillow/Tests/images/rgb32rle_top_right.tga", status::kUnknownFormat},
    {"pillow/Tests/images/rgba16.tga", status::kOk},
    {"pillow/Tests/images/tga_id_field.tga", status::kOk},
};

uint8_t Shifted(uint8_t v) { return static_cast<uint8_t>(((v * 31 + 127) / 255) << 3); }

void ExpectMatches(const test::Loaded& l, const test::Rgba& ref, bool shiftedMap,
                   const std::string& what) {
  const test::Rgba ours = test::ToRgba(l.image.get());
  ASSERT_EQ(ours.width, ref.width) << what;
  ASSERT_EQ(ours.height, ref.height) << what;
  const bool alpha = l.reader->Alpha() != AlphaMode::None;
  int mismatches = 0;
  for (size_t i = 0; i < ours.data.size(); ++i) {
    const bool isAlpha = i % 4 == 3;
    if (isAlpha && !alpha) continue;
    if (alpha && ours.data[i - i % 4 + 3] == 0 && ref.data[i - i % 4 + 3] == 0) continue;
    const uint8_t want = shiftedMap && !isAlpha ? Shifted(ref.data[i]) : ref.data[i];
    if (ours.data[i] != want && mismatches++ < 3)
      ADD_FAILURE() << what << ": byte " << i << " is " << int{ours.data[i]} << ", expected "
                    << int{want};
  }
  EXPECT_EQ(mismatches, 0) << what;
}

TEST(TgaCorpus, PublicSamplesMatchPillow) {
  if (!test::FileExists(test::CorpusPath("oiio/targa/UTC24.TGA")))
    GTEST_SKIP() << "corpus not present";
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.file);
    const std::string path = test::CorpusPath(c.file);
    const test::Loaded l = test::LoadPath(path);
    ASSERT_EQ(l.status, c.status) << std::hex << l.status;
    if (Failed(c.status)) continue;
    test::Rgba ref;
    if (!test::PillowRgba(path, &ref)) continue;  // Pillow missing, or refuses the file
    ExpectMatches(l, ref, c.shiftedMap, c.file);
  }
}

TEST(TgaCorpus, PillowCommonSetMatchesItsRenderings) {
  const std::string folder = test::CorpusPath("pillow/Tests/images/tga/common");
  if (!test::FileExists(folder + "/readme.txt")) GTEST_SKIP() << "corpus not present";
  int compared = 0;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    const std::string name = e.path().filename().string();
    if (e.path().extension() != ".tga") continue;
    SCOPED_TRACE(name);
    const test::Loaded l = test::LoadPath(e.path().string());
    if (name.find("_la_") != std::string::npos) {
      EXPECT_EQ(l.status, status::kDamaged);
      continue;
    }
    ASSERT_EQ(l.status, status::kOk);
    const std::string png = folder + "/" + name.substr(0, name.find("_", name.find("_") + 1)) + ".png";
    test::PngImage ref;
    std::string error;
    ASSERT_TRUE(test::DecodePng(test::ReadFileBytes(png), &ref, &error)) << png << error;
    ASSERT_EQ(ref.sampleBits, 8u);
    test::Rgba rgba{ref.width, ref.height, {}};
    for (uint16_t v : ref.rgba) rgba.data.push_back(static_cast<uint8_t>(v));
    ExpectMatches(l, rgba, false, name);
    ++compared;
  }
  EXPECT_EQ(compared, 20);
}

// A test picture written by the encoders in each of their layouts, checked
// against Pillow's decode of the same file.
TEST(TgaCorpus, EncodersAgreeWithPillow) {
  if (!test::HavePillow() || !test::HaveMagick() || !test::HaveProgram("ppmtotga"))
    GTEST_SKIP() << "Pillow, ImageMagick or netpbm not available";
  test::TempDir dir;
  const std::string rgb = dir.Path() + "/rgb.ppm";
  const std::string few = dir.Path() + "/few.ppm";
  const std::string gray = dir.Path() + "/gray.pgm";
  ASSERT_TRUE(test::Shell("convert -size 53x29 -seed 5 plasma:green-yellow -depth 8 " + rgb));
  ASSERT_TRUE(test::Shell("convert " + rgb + " -colors 200 -depth 8 " + few));
  ASSERT_TRUE(test::Shell("convert " + rgb + " -colorspace Gray -depth 8 " + gray));
  const struct {
    const char* name;
    std::string command;
  } kFiles[] = {
      {"pbm_rgb.tga", "ppmtotga -rgb " + rgb},
      {"pbm_rgb_raw.tga", "ppmtotga -rgb -norle " + rgb},
      {"pbm_map.tga", "ppmtotga -cmap " + few},
      {"pbm_map_raw.tga", "ppmtotga -cmap -norle " + few},
      {"pbm_gray.tga", "ppmtotga -mono " + gray},
      {"im_rgb.tga", "convert " + rgb + " -compress None tga:-"},
      {"im_rle.tga", "convert " + rgb + " -compress RLE tga:-"},
      {"im_alpha.tga",
       "convert " + rgb + " -alpha set -channel A -fx 'i/w' +channel -compress RLE tga:-"},
      {"im_map.tga", "convert " + few + " -type Palette tga:-"},
      {"im_gray.tga", "convert " + gray + " -type Grayscale tga:-"},
  };
  for (const auto& f : kFiles) {
    SCOPED_TRACE(f.name);
    const std::string path = dir.Path() + "/" + f.name;
    ASSERT_TRUE(test::Shell(f.command + " > " + path + " 2>/dev/null"));
    const test::Loaded l = test::LoadPath(path);
    ASSERT_EQ(l.status, status::kOk);
    test::Rgba ref;
    ASSERT_TRUE(test::PillowRgba(path, &ref));
    ExpectMatches(l, ref, false, f.name);
  }
}

}  // namespace
}  // namespace vt
