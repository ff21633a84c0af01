// Rules every reader keeps, checked on real files of every format through each
// reader's own Decode (not the pipeline, which would mask a reader's answer):
// progress is reported while a picture decodes, and a set cancel flag stops
// the decode with kCancelled.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/builtin_formats.h"
#include "formats/lzw/lzw.h"
#include "image/format_registry.h"
#include "support/test_support.h"

namespace vt {
namespace {

// Decode is protected; a class derived from ImageReader may form a pointer to
// it and call it on any reader.
struct ReaderAccess : ImageReader {
  static Status Run(ImageReader* r, ImageBuffer* target, ProgressSink* progress,
                    const CancelFlag* cancel) {
    return (r->*(&ReaderAccess::Decode))(target, false, progress, cancel);
  }
};

class CountReports : public ProgressSink {
 public:
  void Report(uint32_t, uint32_t) override { ++reports; }
  int reports = 0;
};

// A 400 x 300 GIF of a gradient: more pixels than one piece of its decode.
std::string GradientGif() {
  std::string gif = "GIF89a";
  auto u16 = [&](uint32_t v) {
    gif.push_back(static_cast<char>(v));
    gif.push_back(static_cast<char>(v >> 8));
  };
  const uint32_t w = 400, h = 300;
  u16(w);
  u16(h);
  gif += std::string("\xF7\x00\x00", 3);  // a global table of 256 entries
  for (int i = 0; i < 256; ++i) gif.append(3, static_cast<char>(i));
  gif.push_back(0x2C);
  u16(0);
  u16(0);
  u16(w);
  u16(h);
  gif.push_back(0);
  std::vector<uint8_t> pixels(size_t{w} * h);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i % w + i / w);
  std::vector<uint8_t> coded;
  LzwEncode(&coded, pixels, w, h, w, 8);
  gif.append(coded.begin(), coded.end());
  gif.push_back(0x3B);
  return gif;
}

struct Sample {
  const char* name;  // a corpus path, or a file name for built bytes
  bool built = false;
};

const Sample kSamples[] = {
    {"bmpsuite/g/pal8.bmp"},
    {"gradient.gif", true},
    {"pillow/Tests/images/hopper_256x256.ico"},
    {"pillow/Tests/images/hopper.psd"},
    {"webp/lossless_color_transform.webp"},
    {"pngsuite/png/basn2c08.png"},
    {"jpeg/libjpeg-turbo/testimages/testorig.jpg"},
    {"oiio/targa/UTC24.TGA"},
    {"pillow/Tests/images/odd_stride.pcx"},
    {"pillow/Tests/images/hopper.dds"},
    {"pillow/Tests/images/hopper.fits"},
    {"image-rs/tests/images/hdr/images/image1.hdr"},
    {"zigimg/fixtures/ilbm/sample-24bit.iff"},
};

class ReaderRules : public ::testing::TestWithParam<Sample> {
 protected:
  // The sample's reader, opened, and a buffer of its own format.
  void Open(RefPtr<ImageReader>* reader, RefPtr<ImageBuffer>* image) {
    static const FormatRegistry* registry = [] {
      auto* r = new FormatRegistry;
      RegisterBuiltinFormats(*r);
      return r;
    }();
    const Sample& s = GetParam();
    std::string bytes;
    if (s.built) {
      bytes = GradientGif();
    } else {
      const std::string path = test::CorpusPath(s.name);
      ASSERT_TRUE(test::FileExists(path)) << "missing corpus file " << path;
      bytes = test::ReadFileBytes(path);
    }
    const Status opened =
        registry->OpenReader(MakeMemorySource(test::U16(s.name), bytes).get(), reader);
    // The Windows program loads the WebP library from beside itself.
    if (opened == status::kMissingDll) GTEST_SKIP() << "libwebp.dll is not beside the tests";
    ASSERT_EQ(opened, status::kOk);
    ASSERT_EQ(MakeTargetBuffer(reader->get(), image, false, false), status::kOk);
  }
};

TEST_P(ReaderRules, ReportsProgressWhileDecoding) {
  RefPtr<ImageReader> reader;
  RefPtr<ImageBuffer> image;
  ASSERT_NO_FATAL_FAILURE(Open(&reader, &image));
  if (IsSkipped()) return;
  RefPtr<CountReports> sink = MakeRef<CountReports>();
  ASSERT_EQ(ReaderAccess::Run(reader.get(), image.get(), sink.get(), nullptr), status::kOk);
  EXPECT_GT(sink->reports, 0);
}

TEST_P(ReaderRules, StopsWithCancelledWhenTheFlagIsSet) {
  RefPtr<ImageReader> reader;
  RefPtr<ImageBuffer> image;
  ASSERT_NO_FATAL_FAILURE(Open(&reader, &image));
  if (IsSkipped()) return;
  CancelFlag cancel;
  cancel.Set();
  EXPECT_EQ(ReaderAccess::Run(reader.get(), image.get(), nullptr, &cancel), status::kCancelled);
}

// A frame larger than one piece of the decode resumes each piece where the
// last one stopped, strings cut at a piece's end included.
TEST(GifBands, PiecesJoinIntoTheWholeFrame) {
  FormatRegistry registry;
  RegisterBuiltinFormats(registry);
  RefPtr<ImageBuffer> image;
  RefPtr<ImageReader> reader;
  ASSERT_EQ(registry.OpenReader(MakeMemorySource(u"g.gif", GradientGif()).get(), &reader),
            status::kOk);
  ASSERT_EQ(MakeTargetBuffer(reader.get(), &image, false, false), status::kOk);
  ASSERT_EQ(reader->DecodeInto(image.get(), false, nullptr, nullptr), status::kOk);
  for (uint32_t y = 0; y < image->Height(); ++y)
    for (uint32_t x = 0; x < image->Width(); ++x)
      ASSERT_EQ(image->Row(y)[x], static_cast<uint8_t>(x + y)) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(EveryReader, ReaderRules, ::testing::ValuesIn(kSamples),
                         [](const auto& info) {
                           std::string n = info.param.name;
                           n = n.substr(n.find_last_of('/') + 1);
                           for (char& c : n)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return n;
                         });

}  // namespace
}  // namespace vt
