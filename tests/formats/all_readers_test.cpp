// Rules every reader keeps, checked on small valid files of the fuzz corpus:
// a cut file is refused or shows part of its picture, never more or other than
// the whole file's; cancellation; progress; and how the registry picks a reader.
#include "reader_test_util.h"

namespace vt {
namespace {

std::string FuzzFile(const std::string& name) {
  return test::ReadFileBytes(std::string(VT_SOURCE_DIR) + "/fuzz/corpus/" + name);
}

// strict: the reader shows what arrived and nothing where data are missing;
// otherwise (progressive, interlaced or compressed as a whole, or filling with
// a colour of the palette) only the size is checked.
struct PrefixCase {
  const char* file;
  bool strict;
};
const PrefixCase kPrefixCases[] = {
    {"bmp/rgb24.bmp", true},
    {"bmp/rle8.bmp", true},
    {"bmp/rgb16-565.bmp", true},
    {"bmp/rgba32-v5.bmp", true},
    {"bmp/pal4.bmp", false},
    {"gif/anim.gif", true},
    {"gif/interlaced.gif", true},
    {"png/rgb8.png", true},
    {"png/rgba8-interlaced.png", false},
    {"png/anim.png", false},
    {"psd/rgb_raw.psd", true},
    {"psd/rgb_rle.psd", true},
    {"psd/rgb16_rle.psd", true},
    {"tga/rgb_rle.tga", true},
    {"tga/map_rle.tga", false},
    {"pcx/rgb24.pcx", true},
    {"pcx/pal8.pcx", false},
    {"hdr/rle-rgbe.hdr", true},
    {"hdr/flat.hdr", true},
    {"iff/indexed-rle.iff", false},
    {"iff/deep24.iff", false},
    {"iff/ham6.iff", false},
    {"ico/palette.ico", false},
    {"ico/cursor.cur", false},
    {"dds/dxt5.dds", true},
    {"dds/plain.dds", true},
    {"fits/i16.fits", true},
    {"jpeg/gen_6.jpg", false},
    {"jpeg/gen_9.jpg", false},
    {"jpeg/gen_7.jpg", false},
    {"webp/lossy-alpha.webp", false},
};

TEST(AllReaders, EveryPrefixGivesAnErrorOrThePartThatArrived) {
  for (const PrefixCase& c : kPrefixCases) {
    SCOPED_TRACE(c.file);
    const std::string name = c.file;
    test::CheckEveryPrefix(FuzzFile(name), test::U16(name.substr(name.find('/') + 1)), c.strict);
  }
}

TEST(AllReaders, ACancelledLoadSaysSo) {
  for (const char* file : {"bmp/rgb24.bmp", "bmp/rle8.bmp", "gif/anim.gif", "ico/palette.ico",
                           "dds/dxt1.dds", "fits/u8.fits", "hdr/flat.hdr", "jpeg/gen_4.jpg",
                           "psd/rgb_rle.psd", "tga/rgb_raw.tga", "pcx/pal8.pcx"}) {
    CancelFlag cancel;
    cancel.Set();
    const std::string name = file;
    EXPECT_EQ(test::Load(FuzzFile(name), test::U16(name.substr(name.find('/') + 1)),
                         {.allFrames = true, .cancel = &cancel})
                  .status,
              status::kCancelled)
        << file;
  }
}

class Reports : public ProgressSink {
 public:
  void Report(uint32_t done, uint32_t total) override { seen.emplace_back(done, total); }
  std::vector<std::pair<uint32_t, uint32_t>> seen;
};

TEST(AllReaders, ProgressRisesToTheTotal) {
  const struct {
    const char* file;
    size_t atLeast;
  } kCases[] = {{"fits/i16.fits", 5}, {"jpeg/gen_4.jpg", 2}};  // every row; every MCU row
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.file);
    auto sink = MakeRef<Reports>();
    const std::string name = c.file;
    ASSERT_TRUE(test::Load(FuzzFile(name), test::U16(name.substr(name.find('/') + 1)),
                           {.progress = sink.get()})
                    .Ok());
    ASSERT_GE(sink->seen.size(), c.atLeast);
    for (size_t i = 0; i < sink->seen.size(); ++i) {
      EXPECT_LE(sink->seen[i].first, sink->seen[i].second);
      if (i) {
        EXPECT_GE(sink->seen[i].first, sink->seen[i - 1].first);
      }
    }
  }
}

TEST(AllReaders, TheNameChoosesFirstThenProbingInOrder) {
  const std::string png = FuzzFile("png/rgb8.png"), jpeg = FuzzFile("jpeg/gen_1.jpg");
  auto chosen = [](const std::string& bytes, const std::u16string& name) {
    const int i = test::Readers().ChooseReader(*MakeMemorySource(name, bytes), true);
    return i < 0 ? std::u16string(u"-") : std::u16string(test::Readers().At(i)->extension);
  };
  EXPECT_EQ(chosen(jpeg, u"C:\\photos\\photo.JPG"), u"jpg");
  EXPECT_EQ(chosen(jpeg, u"photo.jpeg"), u"jpeg");
  EXPECT_EQ(chosen(png, u"x.jpg"), u"png");
  EXPECT_EQ(chosen(png, u"x"), u"png");
  EXPECT_EQ(chosen(jpeg, u"x.png"), u"jfif");  // the first JPEG record in sorted order
  EXPECT_EQ(test::Load("plain text, no image\n", u"notes.txt").status, status::kUnknownFormat);
  test::TempDir dir;
  RefPtr<ImageBuffer> image;
  EXPECT_EQ(
      LoadImageFile(test::Readers(), test::U16(dir.Write("empty.png", "")), true, false, &image),
      status::kCannotOpenFile);
}

// The DC-only decode gives each 8 x 8 block's mean: its luma equals the mean
// luma of the full decode's block up to rounding.
TEST(AllReaders, AReducedJpegDecodeShowsTheBlockMeans) {
  const std::string file = test::CorpusPath("jpeg/libjpeg-turbo/testimages/testorig.jpg");
  test::Loaded full = test::LoadFile(file);
  test::Loaded thumb = test::LoadFile(file, {.reduced = true});
  ASSERT_TRUE(full.Ok() && thumb.Ok());
  ASSERT_EQ(thumb.image->Width(), (full.image->Width() + 7) / 8);
  auto luma = [](uint32_t p) {
    return 0.114 * (p & 0xFF) + 0.587 * (p >> 8 & 0xFF) + 0.299 * (p >> 16 & 0xFF);
  };
  double diff = 0;
  int n = 0;
  for (uint32_t y = 0; (y + 1) * 8 <= full.image->Height(); ++y) {
    for (uint32_t x = 0; (x + 1) * 8 <= full.image->Width(); ++x, ++n) {
      double sum = 0;
      for (uint32_t j = 0; j < 64; ++j) sum += luma(full.Px(x * 8 + j % 8, y * 8 + j / 8));
      diff += std::abs(sum / 64 - luma(thumb.Px(x, y)));
    }
  }
  ASSERT_GT(n, 0);
  EXPECT_LT(diff / n, 1.5);
}

}  // namespace
}  // namespace vt
