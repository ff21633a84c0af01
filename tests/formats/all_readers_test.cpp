// Rules every reader keeps, checked on small valid files of the fuzz corpus:
// a cut file is refused or shows part of its picture, never more or other than
// the whole file's; on real files of every format, cancellation and progress;
// and how the registry picks a reader.
#include "formats/lzw/lzw.h"
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
#ifdef _WIN32
    if (name.rfind("webp/", 0) == 0) continue;  // libwebp.dll is not beside the tests
#endif
    test::CheckEveryPrefix(FuzzFile(name), test::U16(name.substr(name.find('/') + 1)), c.strict);
  }
}

// Decode is protected; a class derived from ImageReader may form a pointer to
// it and call it on any reader.
struct ReaderAccess : ImageReader {
  static Status Run(ImageReader* r, ImageBuffer* target, ProgressSink* progress,
                    const CancelFlag* cancel) {
    return (r->*(&ReaderAccess::Decode))(target, false, progress, cancel);
  }
};

class Reports : public ProgressSink {
 public:
  void Report(uint32_t done, uint32_t total) override { seen.emplace_back(done, total); }
  std::vector<std::pair<uint32_t, uint32_t>> seen;
};

// A 400 x 300 GIF whose pixel (x, y) is index x + y: more pixels than one
// piece of the LZW decode, so strings are cut where the pieces meet.
std::string GradientGif() {
  const uint32_t w = 400, h = 300;
  std::string gif = "GIF89a" + test::Le(w, 2) + test::Le(h, 2) + test::B({0xF7, 0, 0});
  for (int i = 0; i < 256; ++i) gif.append(3, static_cast<char>(i));
  gif += "\x2C" + test::Le(0, 4) + test::Le(w, 2) + test::Le(h, 2) + '\0';
  std::vector<uint8_t> pixels(size_t{w} * h), coded;
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i % w + i / w);
  LzwEncode(&coded, pixels, w, h, w, 8);
  return gif + std::string(coded.begin(), coded.end()) + ";";
}

TEST(AllReaders, PiecesOfAGifFrameJoinUp) {
  test::Loaded l = test::Load(GradientGif(), u"g.gif");
  ASSERT_TRUE(l.Ok());
  for (uint32_t y = 0; y < l.image->Height(); ++y)
    for (uint32_t x = 0; x < l.image->Width(); ++x)
      ASSERT_EQ(l.image->Row(y)[x], static_cast<uint8_t>(x + y)) << x << "," << y;
}

// Each reader's own Decode, not the pipeline's, which would mask its answer:
// progress rises and never passes its total; a set cancel flag gives kCancelled.
TEST(AllReaders, ProgressRisesAndCancelStops) {
  const char* const kOnePerReader[] = {"bmpsuite/g/pal8.bmp",
                                       "gradient.gif",
                                       "pillow/Tests/images/hopper_256x256.ico",
                                       "pillow/Tests/images/hopper.psd",
                                       "webp/lossless_color_transform.webp",
                                       "pngsuite/png/basn2c08.png",
                                       "jpeg/libjpeg-turbo/testimages/testorig.jpg",
                                       "oiio/targa/UTC24.TGA",
                                       "pillow/Tests/images/odd_stride.pcx",
                                       "pillow/Tests/images/hopper.dds",
                                       "pillow/Tests/images/hopper.fits",
                                       "image-rs/tests/images/hdr/images/image1.hdr",
                                       "zigimg/fixtures/ilbm/sample-24bit.iff"};
  for (const std::string name : kOnePerReader) {
    SCOPED_TRACE(name);
    const std::string bytes =
        name == "gradient.gif" ? GradientGif() : test::ReadFileBytes(test::CorpusPath(name));
    for (const bool cancelled : {false, true}) {
      RefPtr<ImageReader> reader;
      RefPtr<ImageBuffer> image;
      const Status opened =
          test::Readers().OpenReader(MakeMemorySource(test::U16(name), bytes).get(), &reader);
#ifdef _WIN32
      if (opened == status::kMissingDll) continue;  // libwebp.dll is not beside the tests
#endif
      ASSERT_EQ(opened, status::kOk);
      ASSERT_EQ(MakeTargetBuffer(reader.get(), &image, false, false), status::kOk);
      auto sink = MakeRef<Reports>();
      CancelFlag cancel;
      if (cancelled) cancel.Set();
      const Status s = ReaderAccess::Run(reader.get(), image.get(), sink.get(), &cancel);
      if (cancelled) {
        EXPECT_EQ(s, status::kCancelled);
        continue;
      }
      ASSERT_EQ(s, status::kOk);
      ASSERT_FALSE(sink->seen.empty());
      for (size_t i = 0; i < sink->seen.size(); ++i) {
        EXPECT_LE(sink->seen[i].first, sink->seen[i].second);
        if (i) {
          EXPECT_GE(sink->seen[i].first, sink->seen[i - 1].first);
        }
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
