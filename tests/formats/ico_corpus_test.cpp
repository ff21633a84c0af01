// Icons and cursors from elsewhere: public samples, and icons written by
// ImageMagick here, compared with Pillow's decoding. Colours and alpha must
// match exactly; pixels transparent in both may differ in colour.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "ico_dds_fits_support.h"

namespace vt {
namespace idf = test::idf;
namespace {

struct Sample {
  const char* file;
  Status status;
  bool compareAlpha = true;
  const char* why = "";
};

const Sample kSamples[] = {
    {"pillow/Tests/images/black_and_white.ico", status::kOk},
    {"pillow/Tests/images/hopper.ico", status::kOk},
    {"pillow/Tests/images/hopper_256x256.ico", status::kOk},
    {"pillow/Tests/images/hopper_draw.ico", status::kOk},
    {"pillow/Tests/images/hopper_mask.ico", status::kOk},
    {"pillow/Tests/images/hopper_unexpected.ico", status::kOk},
    {"pillow/Tests/images/pillow.ico", status::kOk},
    {"pillow/Tests/images/python.ico", status::kOk},
    {"pillow/Tests/images/deerstalker.cur", status::kOk},
    // The entry's size field (8) disagrees with the bitmap; the mask is read
    // where the bitmap layout puts it, Pillow reads it from the entry's end.
    {"pillow/Tests/images/mask_1.cur", status::kOk, false, "mask placement"},
    {"pillow/Tests/images/mask_L.cur", status::kOk, false, "mask placement"},
    {"pillow/Tests/images/decompression_bomb.ico", status::kUnsupportedSubformat, true,
     "65535 x 32767 pixels from 198 bytes"},
    {"pillow/Tests/images/no_cursors.cur", status::kUnknownFormat, true, "6 bytes, no entries"},
    {"image-rs/tests/images/ico/images/bmp-24bpp-mask.ico", status::kOk},
    {"image-rs/tests/images/ico/images/bmp-32bpp-alpha.ico", status::kOk},
    {"image-rs/tests/images/ico/images/bmp-32bpp-conflicting-and-mask.ico", status::kOk},
    // An embedded colour profile sits where the mask belongs.
    {"image-rs/tests/images/ico/images/bmp_v5_with_icc.ico", status::kOk, false, "profile"},
    {"image-rs/tests/images/ico/images/lenient-bpp.ico", status::kOk},
    {"image-rs/tests/images/ico/images/multiple_entries_with_different_bit_depth.ico",
     status::kOk},
    {"image-rs/tests/images/ico/images/png-32bpp-alpha.ico", status::kOk},
    {"image-rs/tests/images/ico/images/png_l8.ico", status::kOk},
    {"image-rs/tests/images/ico/images/png_rgb8.ico", status::kOk},
    {"image-rs/tests/images/ico/images/smile.ico", status::kOk},
    {"image-rs/tests/images/ico/images/truncated_mask_32bpp.ico", status::kOk},
    {"image-rs/tests/images/ico/images/two-entry-order-test.ico", status::kOk},
};

// FNV-1a of the Bgra8 pixels (see PixelHash), so that a change in what the
// reader makes of these files shows even where Pillow cannot judge.
const std::map<std::string, uint64_t> kHashes = {
    {"pillow/Tests/images/mask_1.cur", 0x3f428d0fdbe74c29ull},
    {"pillow/Tests/images/mask_L.cur", 0x3f428d0fdbe74c29ull},
    {"image-rs/tests/images/ico/images/bmp_v5_with_icc.ico", 0x6d0452d9d263f768ull},
};

TEST(IcoCorpus, SamplesDecodeLikePillow) {
  if (!test::FileExists(test::CorpusPath("pillow/Tests/images/hopper.ico")))
    GTEST_SKIP() << "corpus not available";
  std::vector<std::string> paths;
  for (const Sample& s : kSamples) paths.push_back(test::CorpusPath(s.file));
  const bool pillow = idf::HavePillow();
  const std::vector<idf::Reference> refs =
      pillow ? idf::PillowDecode(paths, false) : std::vector<idf::Reference>(paths.size());
  int compared = 0;
  for (size_t i = 0; i < paths.size(); ++i) {
    const Sample& s = kSamples[i];
    SCOPED_TRACE(s.file);
    const idf::Loaded got = idf::LoadFile(paths[i]);
    if (s.status != status::kOk) {
      EXPECT_EQ(got.open, s.status) << s.why;
      continue;
    }
    ASSERT_TRUE(got.Ok()) << std::hex << got.open << " " << got.decode;
    if (auto h = kHashes.find(s.file); h != kHashes.end()) {
      EXPECT_EQ(idf::PixelHash(got), h->second);
    }
    if (std::getenv("VT_PRINT_ICO_HASHES")) {
      std::printf("    {\"%s\", 0x%016llxull},\n", s.file,
                  static_cast<unsigned long long>(idf::PixelHash(got)));
    }
    if (!pillow) continue;
    ASSERT_TRUE(refs[i].Ok());
    ASSERT_EQ(refs[i].width, got.bgra->Width());
    ASSERT_EQ(refs[i].height, got.bgra->Height());
    const idf::Difference d = idf::Compare(got, refs[i]);
    if (s.compareAlpha) {
      EXPECT_EQ(d.alpha, 0);
      EXPECT_EQ(d.colour, 0);
      ++compared;
    }
  }
  if (pillow) {
    EXPECT_GE(compared, 20);
  }
}

TEST(IcoCorpus, ImageMagickIconsDecodeLikePillow) {
  if (!idf::HaveMagick() || !idf::HavePillow()) GTEST_SKIP() << "ImageMagick or Pillow missing";
  test::TempDir dir;
  const std::string d = dir.Path() + "/";
  // 32-bit, 4-bit and 8-bit bitmaps, a PNG entry (256 x 256), alpha,
  // several sizes in one file, and a cursor.
  const std::vector<std::pair<std::string, std::string>> made = {
      {"r32.ico", "rose: -resize 48x40!"},
      {"r4.ico", "rose: -resize 37x21! -colors 16 -type Palette"},
      {"r8.ico", "rose: -resize 33x33! -colors 200 -type Palette"},
      {"r256.ico", "rose: -resize 256x256!"},
      {"ra.ico", "rose: -resize 30x20! -alpha set -channel A -fx 'i/w' +channel"},
      {"multi.ico",
       "rose: -resize 16x16! \\( rose: -resize 64x64! \\) \\( rose: -resize 32x32! \\)"},
      {"c.cur", "rose: -resize 32x32!"},
  };
  std::vector<std::string> paths;
  for (const auto& [name, args] : made) {
    const std::string cmd = idf::kConvert + (" " + args) + " '" + d + name + "'";
    ASSERT_EQ(idf::Run(cmd), 0) << cmd;
    paths.push_back(d + name);
  }
  const std::vector<idf::Reference> refs = idf::PillowDecode(paths, false);
  for (size_t i = 0; i < paths.size(); ++i) {
    SCOPED_TRACE(paths[i]);
    const idf::Loaded got = idf::LoadFile(paths[i]);
    ASSERT_TRUE(got.Ok());
    ASSERT_TRUE(refs[i].Ok());
    ASSERT_EQ(refs[i].width, got.bgra->Width());
    ASSERT_EQ(refs[i].height, got.bgra->Height());
    const idf::Difference diff = idf::Compare(got, refs[i]);
    EXPECT_EQ(diff.colour, 0);
    EXPECT_EQ(diff.alpha, 0);
  }
  EXPECT_EQ(idf::LoadFile(d + "r4.ico").reader->BitDepth(), 4u);
  EXPECT_EQ(idf::LoadFile(d + "r8.ico").reader->BitDepth(), 8u);
  EXPECT_EQ(idf::LoadFile(d + "multi.ico").bgra->Width(), 64u);
}

}  // namespace
}  // namespace vt
