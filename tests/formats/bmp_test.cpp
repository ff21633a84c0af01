// The bitmap reader on files built here byte by byte: what it refuses, the
// layout it reports, the alpha rule of 32-bit pixels, run-length codes,
// properties, progress and offsets outside the file. Pixels of real files are
// checked against the suite's renderings in the corpus table.
#include "formats/bmp/bmp_reader.h"
#include "reader_test_util.h"

namespace vt {
namespace {

using test::B;
using test::Le;

struct Bmp {
  uint32_t headerSize = 40;
  int32_t width = 1, height = 1;
  uint16_t planes = 1, bpp = 24;
  uint32_t compression = 0;
  int32_t xDensity = 0, yDensity = 0;
  std::vector<uint32_t> palette;  // 0x00RRGGBB
  std::vector<uint32_t> masks;    // right after the header fields they belong to
  std::string pixels;             // exactly as stored
  bool arrayWrapper = false;
};

std::string Build(const Bmp& b) {
  std::string info = Le(b.headerSize, 4);
  if (b.headerSize == 12) {
    info += Le(b.width, 2) + Le(b.height, 2) + Le(b.planes, 2) + Le(b.bpp, 2);
  } else {
    info += Le(static_cast<uint32_t>(b.width), 4) + Le(static_cast<uint32_t>(b.height), 4) +
            Le(b.planes, 2) + Le(b.bpp, 2) + Le(b.compression, 4) + Le(b.pixels.size(), 4) +
            Le(static_cast<uint32_t>(b.xDensity), 4) + Le(static_cast<uint32_t>(b.yDensity), 4) +
            Le(b.palette.size(), 4) + Le(0, 4);
    for (uint32_t m : b.masks) info += Le(m, 4);  // the 40-byte header keeps them after it
    if (b.headerSize > 40) info.resize(std::max<size_t>(info.size(), b.headerSize), '\0');
  }
  std::string palette;
  for (uint32_t c : b.palette) palette += Le(c, b.headerSize == 12 ? 3 : 4);
  const size_t offset = (b.arrayWrapper ? 14 : 0) + 14 + info.size() + palette.size();
  std::string out = b.arrayWrapper ? "BA" + Le(40, 4) + Le(0, 8) : "";
  out +=
      "BM" + Le(offset + b.pixels.size(), 4) + Le(0, 4) + Le(offset, 4) + info + palette + b.pixels;
  out.resize(std::max<size_t>(out.size(), 44), '\0');  // the probe wants 44 bytes
  return out;
}

// Stored rows, each padded to 4 bytes.
std::string Rows(std::initializer_list<std::string> rows) {
  std::string s;
  for (const std::string& r : rows) s += r + std::string((4 - r.size() % 4) % 4, '\0');
  return s;
}

test::Loaded Load(const Bmp& b, const test::LoadOptions& o = {}) {
  return test::Load(Build(b), u"t.bmp", o);
}

Bmp Rgb(std::initializer_list<void (*)(Bmp&)> edits = {}) {
  Bmp b;
  b.pixels = Rows({B({1, 2, 3})});
  for (auto edit : edits) edit(b);
  return b;
}

TEST(BmpReader, RefusesWhatItCannotShow) {
  auto probe = [](const std::string& bytes) {
    return ProbeBmp(*MakeMemorySource(u"p.bmp", bytes));
  };
  const std::string good = Build(Rgb());
  EXPECT_EQ(probe(good), status::kOk);
  EXPECT_EQ(probe(good.substr(0, 43)), status::kUnknownFormat);  // under 44 bytes
  EXPECT_EQ(probe("BX" + good.substr(2)), status::kUnknownFormat);
  for (uint32_t size : {12u, 40u, 52u, 56u, 108u, 124u})
    EXPECT_EQ(probe(good.substr(0, 14) + Le(size, 4) + good.substr(18)), status::kOk) << size;
  for (uint32_t size : {0u, 16u, 41u, 64u, 125u})
    EXPECT_EQ(probe(good.substr(0, 14) + Le(size, 4) + good.substr(18)),
              status::kUnsupportedSubformat);
  Bmp wrapped = Rgb();
  wrapped.arrayWrapper = true;
  std::string ba = Build(wrapped);
  EXPECT_EQ(probe(ba), status::kOk);
  ba[14] = 'C';  // "BA" followed by something other than a bitmap
  EXPECT_EQ(probe(ba), status::kUnknownFormat);

  const struct {
    const char* what;
    Bmp bmp;
    Status status;
  } kCases[] = {
      {"two planes", Rgb({[](Bmp& b) { b.planes = 2; }}), status::kUnsupportedSubformat},
      {"0 bits", Rgb({[](Bmp& b) { b.bpp = 0; }}), status::kUnsupportedSubformat},
      {"2 bits", Rgb({[](Bmp& b) { b.bpp = 2; }}), status::kUnsupportedSubformat},
      {"15 bits", Rgb({[](Bmp& b) { b.bpp = 15; }}), status::kUnsupportedSubformat},
      {"64 bits", Rgb({[](Bmp& b) { b.bpp = 64; }}), status::kUnsupportedSubformat},
      {"compression 4", Rgb({[](Bmp& b) { b.compression = 4; }}), status::kUnsupportedSubformat},
      {"compression 6", Rgb({[](Bmp& b) { b.compression = 6; }}), status::kUnsupportedSubformat},
      {"run lengths at 24 bits", Rgb({[](Bmp& b) { b.compression = 1; }}),
       status::kUnsupportedSubformat},
      {"bit fields at 8 bits", Rgb({[](Bmp& b) { b.bpp = 8, b.compression = 3; }}),
       status::kUnsupportedSubformat},
      {"width 0", Rgb({[](Bmp& b) { b.width = 0; }}), status::kDamaged},
      {"width -127", Rgb({[](Bmp& b) { b.width = -127; }}), status::kDamaged},
      {"width 2^25", Rgb({[](Bmp& b) { b.width = 1 << 25; }}), status::kDamaged},
      {"height 0", Rgb({[](Bmp& b) { b.height = 0; }}), status::kDamaged},
      {"2^32 pixels", Rgb({[](Bmp& b) { b.width = b.height = 1 << 16; }}), status::kDamaged},
  };
  for (const auto& c : kCases) EXPECT_EQ(Load(c.bmp).status, c.status) << c.what;
  // A header cut short, and bit fields without their masks.
  EXPECT_EQ(
      test::Load(Build(Rgb({[](Bmp& b) { b.headerSize = 124; }})).substr(0, 74), u"t.bmp").status,
      status::kDamaged);
  Bmp noMasks = Rgb({[](Bmp& b) { b.bpp = 16, b.compression = 3, b.pixels.clear(); }});
  EXPECT_EQ(test::Load(Build(noMasks).substr(0, 60), u"t.bmp").status, status::kDamaged);
}

TEST(BmpReader, LayoutFormatAndProperties) {
  const struct {
    uint16_t bpp;
    int32_t width;
    PixelFormat format;
    uint32_t stride;
  } kRows[] = {
      {1, 127, PixelFormat::Indexed8, 128},  // 16 bytes hold 128 pixels
      {1, 1, PixelFormat::Indexed8, 32},    {4, 3, PixelFormat::Indexed8, 8},
      {8, 5, PixelFormat::Indexed8, 8},     {24, 5, PixelFormat::Bgra8, 20},
      {32, 7, PixelFormat::Bgra8, 28},
  };
  for (const auto& r : kRows) {
    Bmp b;
    b.bpp = r.bpp;
    b.width = r.width;
    b.height = 3;
    if (r.bpp <= 8) b.palette.assign(2, 0);
    test::Loaded l = Load(b);
    ASSERT_TRUE(l.Ok()) << r.bpp;
    EXPECT_EQ(l.reader->OutputFormat(), r.format) << r.bpp;
    EXPECT_EQ(l.reader->MinStride(), r.stride) << r.bpp;
    EXPECT_EQ(l.reader->MinRows(), 3u);
    EXPECT_EQ(l.reader->BitDepth(), r.bpp);
  }
  // An 8-bit grey ramp arrives as Gray8.
  Bmp grey;
  grey.bpp = 8;
  for (uint32_t i = 0; i < 256; ++i) grey.palette.push_back(i * 0x010101u);
  grey.pixels = Rows({B({7})});
  EXPECT_EQ(Load(grey).image->Format(), PixelFormat::Gray8);

  Bmp b = Rgb();
  b.xDensity = 2835;
  b.yDensity = 3780;
  test::Loaded l = Load(b);
  ImageProperties& p = l.reader->Properties();
  EXPECT_EQ(test::U8(*p.Get(PropertyId::PixelDensity)), "2835 x 3780 ppm");
  EXPECT_EQ(test::U8(*p.Get(PropertyId::Compression)), "None");
  EXPECT_EQ(test::U8(*p.Get(PropertyId::Dimensions)), "24");
  b.yDensity = 0;  // both or nothing
  EXPECT_FALSE(Load(b).reader->Properties().Has(PropertyId::PixelDensity));
  b.headerSize = 12;  // no resolution fields at all
  EXPECT_FALSE(Load(b).reader->Properties().Has(PropertyId::PixelDensity));
  Bmp rle;
  rle.bpp = 8;
  rle.compression = 1;
  rle.palette = {0};
  rle.pixels = B({0, 1});
  EXPECT_EQ(test::U8(*Load(rle).reader->Properties().Get(PropertyId::Compression)), "RLE");
}

// 32-bit pixels: plain data with a non-zero fourth byte anywhere carry alpha;
// a header large enough to hold an alpha mask decides by its masks alone.
TEST(BmpReader, AlphaOfThirtyTwoBitPixels) {
  const struct {
    uint32_t headerSize, compression;
    int fourth;  // the last pixel's fourth byte
    AlphaMode alpha;
    uint32_t last;  // 0xAARRGGBB of the top right pixel
  } kRows[] = {
      {40, 0, 0, AlphaMode::None, 0xFF0C0B0A},
      {40, 0, 9, AlphaMode::Straight, 0x090C0B0A},
      {108, 0, 9, AlphaMode::None, 0xFF0C0B0A},
      {124, 3, 9, AlphaMode::Straight, 0x090C0B0A},
  };
  for (const auto& r : kRows) {
    Bmp b;
    b.headerSize = r.headerSize;
    b.compression = r.compression;
    if (r.compression) b.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    b.bpp = 32;
    b.width = b.height = 2;
    b.pixels = B({1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, r.fourth});
    test::Loaded l = Load(b);
    ASSERT_TRUE(l.Ok());
    EXPECT_EQ(l.image->Alpha(), r.alpha) << r.headerSize << " " << r.fourth;
    EXPECT_EQ(l.Px(1, 0), r.last) << r.headerSize;
    EXPECT_EQ(l.Px(0, 1) & 0xFFFFFF, 0x030201u);  // the first stored row is the bottom one
  }
}

TEST(BmpReader, RunLengthCodes) {
  const struct {
    const char* what;
    uint32_t compression;
    uint16_t bpp;
    int32_t width, height;
    std::string stream;
    std::vector<std::string> rows;  // top first
  } kCases[] = {
      {"run clipped at the edge, absolute run, end of line, delta, end of bitmap",
       1,
       8,
       5,
       3,
       B({3, 5, 0, 3, 7, 8, 9, 0, 0, 0, 0, 2, 2, 0, 2, 4, 0, 0, 9, 6, 0, 1}),
       {B({6, 6, 6, 6, 6}), B({0, 0, 4, 4, 0}), B({5, 5, 5, 7, 8})}},
      {"a delta up one row keeps the column",
       1,
       8,
       4,
       2,
       B({1, 9, 0, 2, 1, 1, 1, 8, 0, 1}),
       {B({0, 0, 8, 0}), B({9, 0, 0, 0})}},
      {"a delta to the top ends decoding",
       1,
       8,
       3,
       2,
       B({2, 7, 0, 2, 0, 2, 4, 4}),
       {B({0, 0, 0}), B({7, 7, 0})}},
      {"end of line on the last row ends decoding", 1, 8, 2, 1, B({2, 3, 0, 0, 2, 9}), {B({3, 3})}},
      {"a stream cut inside an absolute run", 1, 8, 6, 1, B({0, 5, 1, 2}), {B({1, 2, 0, 0, 0, 0})}},
      {"4-bit runs alternate, absolute nibbles",
       2,
       4,
       8,
       2,
       B({5, 0x12, 0, 3, 0x34, 0x50, 0, 0, 3, 0xAB, 0, 1}),
       {B({10, 11, 10, 0, 0, 0, 0, 0}), B({1, 2, 1, 2, 1, 3, 4, 5})}},
      {"4-bit codes in an 8-bit file", 2, 8, 3, 1, B({3, 0xC7, 0, 1}), {B({12, 7, 12})}},
      {"8-bit codes in a 4-bit file", 1, 4, 3, 1, B({3, 200, 0, 1}), {B({200, 200, 200})}},
  };
  for (const auto& c : kCases) {
    Bmp b;
    b.bpp = c.bpp;
    b.compression = c.compression;
    b.width = c.width;
    b.height = c.height;
    b.palette.assign(c.bpp == 4 ? 16 : 256, 0x102030);  // not a grey ramp: stays indexed
    b.pixels = c.stream;
    test::Loaded l = Load(b);
    ASSERT_TRUE(l.Ok()) << c.what;
    for (uint32_t y = 0; y < c.rows.size(); ++y)
      EXPECT_EQ(l.RawRow(y, c.width), c.rows[y]) << c.what << ", row " << y;
  }
}

class CountingSink : public ProgressSink {
 public:
  void Report(uint32_t done, uint32_t total) override {
    if (done != total) reports.push_back(done);  // not the final report
    if (cancel && done == 63) cancel->Set();
  }
  std::vector<uint32_t> reports;
  CancelFlag* cancel = nullptr;
};

TEST(BmpReader, ProgressEveryThirtyTwoRowsAndCancelAfterARow) {
  Bmp b;
  b.width = 2;
  b.height = 100;
  for (int y = 0; y < 100; ++y) b.pixels += Rows({std::string(6, static_cast<char>(y + 1))});
  auto sink = MakeRef<CountingSink>();
  ASSERT_TRUE(Load(b, {.progress = sink.get()}).Ok());
  EXPECT_EQ(sink->reports, (std::vector<uint32_t>{31, 63, 95}));

  // Cancelled after the 64th stored row: the rows after it are not written.
  CancelFlag cancel;
  auto stopper = MakeRef<CountingSink>();
  stopper->cancel = &cancel;
  RefPtr<ImageReader> reader;
  ASSERT_EQ(test::Readers().OpenReader(MakeMemorySource(u"t.bmp", Build(b)).get(), &reader),
            status::kOk);
  RefPtr<ImageBuffer> image;
  ASSERT_EQ(MakeTargetBuffer(reader.get(), &image, false, false), status::kOk);
  for (uint32_t y = 0; y < 100; ++y) std::memset(image->Row(y), 0xEE, 8);
  EXPECT_EQ(reader->DecodeInto(image.get(), false, stopper.get(), &cancel), status::kCancelled);
  EXPECT_EQ(image->Row(99)[0], 1);     // stored row 0
  EXPECT_EQ(image->Row(36)[0], 64);    // stored row 63
  EXPECT_EQ(image->Row(35)[0], 0xEE);  // never reached

  // Run-length files report no progress.
  Bmp rle;
  rle.bpp = 8;
  rle.compression = 1;
  rle.height = 100;
  rle.palette = {0x010203};
  for (int y = 0; y < 100; ++y) rle.pixels += B({1, 0, 0, 0});
  auto quiet = MakeRef<CountingSink>();
  EXPECT_TRUE(Load(rle, {.progress = quiet.get()}).Ok());
  EXPECT_TRUE(quiet->reports.empty());
}

TEST(BmpReader, OffsetsOutsideTheFile) {
  // Pixel data beyond the end: an image without data, all zero.
  Bmp b;
  b.width = b.height = 2;
  b.pixels = Rows({B({1, 2, 3, 4, 5, 6}), B({7, 8, 9, 10, 11, 12})});
  std::string s = Build(b);
  test::Loaded l = test::Load(s.substr(0, 10) + Le(0xFFFFFFF0u, 4) + s.substr(14), u"t.bmp");
  ASSERT_TRUE(l.Ok());
  EXPECT_EQ(l.Px(0, 0), 0u);
  EXPECT_EQ(l.Px(1, 1), 0u);
  // An offset before the palette's end: no palette entries at all.
  Bmp p;
  p.bpp = 8;
  p.width = 2;
  p.palette = {0x112233, 0x445566};
  p.pixels = Rows({B({1, 0})});
  s = Build(p);
  l = test::Load(s.substr(0, 10) + Le(20, 4) + s.substr(14), u"t.bmp");
  ASSERT_TRUE(l.Ok());
  EXPECT_EQ(l.image->Palette()[0], 0xFF000000u);
  EXPECT_EQ(l.image->Palette()[1], 0xFF000000u);
}

}  // namespace
}  // namespace vt
