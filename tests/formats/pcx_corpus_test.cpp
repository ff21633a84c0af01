// Public PC Paintbrush samples and files written by netpbm and ImageMagick,
// compared with reference decoders. Where Pillow and ImageMagick disagree the
// table names the one that follows the format's rules.
#include <gtest/gtest.h>

#include <string>

#include "psd_tga_pcx_support.h"
#include "support/test_support.h"

namespace vt {
namespace {

enum class Ref : uint8_t { None, Pillow, Magick };

struct Case {
  const char* file;
  Status status;
  Ref ref = Ref::None;
};

const Case kCases[] = {
    {"zigimg/fixtures/pcx/test-bpp1.pcx", status::kOk, Ref::Pillow},
    {"zigimg/fixtures/pcx/test-bpp4.pcx", status::kOk, Ref::Magick},
    {"zigimg/fixtures/pcx/test-bpp8.pcx", status::kOk, Ref::Pillow},
    {"zigimg/fixtures/pcx/test-bpp24.pcx", status::kOk, Ref::Pillow},
    // 12 bytes a line for 88 pixels of 8 bits.
    {"pillow/Tests/images/01r_00.pcx", status::kDamaged},
    {"pillow/Tests/images/odd_stride.pcx", status::kOk, Ref::Pillow},
    {"pillow/Tests/images/ossfuzz-4836216264589312.pcx", status::kUnknownFormat},
    // A single pixel in four 1-bit planes: colours from the header.
    {"pillow/Tests/images/p_4_planes.pcx", status::kOk, Ref::Magick},
    {"pillow/Tests/images/pil184.pcx", status::kOk, Ref::Pillow},
};

bool Reference(Ref ref, const std::string& path, test::Rgba* out) {
  return ref == Ref::Pillow ? test::PillowRgba(path, out) : test::MagickRgba(path, 8, out);
}

void ExpectSame(const test::Loaded& l, const test::Rgba& ref, const std::string& what) {
  const test::Rgba ours = test::ToRgba(l.image.get());
  ASSERT_EQ(ours.width, ref.width) << what;
  ASSERT_EQ(ours.height, ref.height) << what;
  const bool alpha = l.reader->Alpha() != AlphaMode::None;
  int mismatches = 0;
  for (size_t i = 0; i < ours.data.size(); ++i) {
    if (i % 4 == 3 && !alpha) continue;
    if (ours.data[i] != ref.data[i] && mismatches++ < 3)
      ADD_FAILURE() << what << ": byte " << i << " is " << int{ours.data[i]} << ", expected "
                    << int{ref.data[i]};
  }
  EXPECT_EQ(mismatches, 0) << what;
}

TEST(PcxCorpus, PublicSamplesMatchReferences) {
  if (!test::FileExists(test::CorpusPath("zigimg/fixtures/pcx/test-bpp8.pcx")))
    GTEST_SKIP() << "corpus not present";
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.file);
    const std::string path = test::CorpusPath(c.file);
    const test::Loaded l = test::LoadPath(path);
    ASSERT_EQ(l.status, c.status) << std::hex << l.status;
    if (Failed(c.status)) continue;
    test::Rgba ref;
    if (!Reference(c.ref, path, &ref)) continue;  // tool missing
    ExpectSame(l, ref, c.file);
  }
}

TEST(PcxCorpus, EncodersAgreeWithReferences) {
  if (!test::HavePillow() || !test::HaveMagick() || !test::HaveProgram("ppmtopcx"))
    GTEST_SKIP() << "Pillow, ImageMagick or netpbm not available";
  test::TempDir dir;
  const std::string rgb = dir.Path() + "/rgb.ppm";
  const std::string p256 = dir.Path() + "/p256.ppm";
  const std::string p16 = dir.Path() + "/p16.ppm";
  const std::string p2 = dir.Path() + "/p2.ppm";
  ASSERT_TRUE(test::Shell("convert -size 45x31 -seed 3 plasma:orange-navy -depth 8 " + rgb));
  ASSERT_TRUE(test::Shell("convert " + rgb + " -colors 256 -depth 8 " + p256));
  ASSERT_TRUE(test::Shell("convert " + rgb + " -colors 16 -depth 8 " + p16));
  ASSERT_TRUE(test::Shell("convert " + rgb + " -monochrome -depth 8 " + p2));
  const struct {
    const char* name;
    std::string command;
    Ref ref;
  } kFiles[] = {
      {"pbm_24.pcx", "ppmtopcx -24bit " + rgb, Ref::Pillow},
      {"pbm_8.pcx", "ppmtopcx -8bit " + p256, Ref::Pillow},
      {"pbm_planes4.pcx", "ppmtopcx " + p16, Ref::Pillow},
      {"pbm_packed4.pcx", "ppmtopcx -packed " + p16, Ref::Magick},
      {"pbm_mono.pcx", "ppmtopcx " + p2, Ref::Pillow},
      {"im_24.pcx", "convert " + rgb + " pcx:-", Ref::Pillow},
      {"im_8.pcx", "convert " + p256 + " -type Palette pcx:-", Ref::Pillow},
      {"im_mono.pcx", "convert " + p2 + " -type Bilevel pcx:-", Ref::Pillow},
  };
  for (const auto& f : kFiles) {
    SCOPED_TRACE(f.name);
    const std::string path = dir.Path() + "/" + f.name;
    ASSERT_TRUE(test::Shell(f.command + " > " + path + " 2>/dev/null"));
    const test::Loaded l = test::LoadPath(path);
    ASSERT_EQ(l.status, status::kOk);
    test::Rgba ref;
    ASSERT_TRUE(Reference(f.ref, path, &ref));
    ExpectSame(l, ref, f.name);
  }
}

}  // namespace
}  // namespace vt
