// The bitmap reader on small files built here byte by byte: header variants,
// the rejections, pixel layouts, run-length codes, properties, progress,
// cancellation and truncation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "formats/bmp/bmp_reader.h"
#include "formats/builtin_formats.h"
#include "image/format_registry.h"
#include "support/test_support.h"

namespace vt {
namespace {

void Put16(std::string& s, uint32_t v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>(v >> 8 & 0xFF));
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}
void Set32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(v >> (8 * i) & 0xFF);
}

struct Bmp {
  uint32_t headerSize = 40;
  int32_t width = 1;
  int32_t height = 1;
  uint16_t planes = 1;
  uint16_t bpp = 24;
  uint32_t compression = 0;
  int32_t xDensity = 0;
  int32_t yDensity = 0;
  std::vector<uint32_t> palette;  // 0x00RRGGBB
  std::vector<uint32_t> masks;    // written right after the header fields they belong to
  std::string pixels;             // exactly as stored
  bool arrayWrapper = false;
};

std::string Build(const Bmp& b) {
  std::string info;
  Put32(info, b.headerSize);
  if (b.headerSize == 12) {
    Put16(info, static_cast<uint32_t>(b.width));
    Put16(info, static_cast<uint32_t>(b.height));
    Put16(info, b.planes);
    Put16(info, b.bpp);
  } else {
    Put32(info, static_cast<uint32_t>(b.width));
    Put32(info, static_cast<uint32_t>(b.height));
    Put16(info, b.planes);
    Put16(info, b.bpp);
    Put32(info, b.compression);
    Put32(info, static_cast<uint32_t>(b.pixels.size()));
    Put32(info, static_cast<uint32_t>(b.xDensity));
    Put32(info, static_cast<uint32_t>(b.yDensity));
    Put32(info, static_cast<uint32_t>(b.palette.size()));
    Put32(info, 0);
    // The 40-byte header keeps its masks after it; the larger ones inside.
    for (uint32_t m : b.masks) Put32(info, m);
    if (b.headerSize > 40) info.resize(std::max<size_t>(info.size(), b.headerSize), '\0');
  }
  std::string palette;
  for (uint32_t c : b.palette) {
    palette.push_back(static_cast<char>(c & 0xFF));
    palette.push_back(static_cast<char>(c >> 8 & 0xFF));
    palette.push_back(static_cast<char>(c >> 16 & 0xFF));
    if (b.headerSize != 12) palette.push_back('\0');
  }
  const size_t prefix = b.arrayWrapper ? 14 : 0;
  std::string out;
  if (b.arrayWrapper) {
    out += "BA";
    Put32(out, 40);
    Put32(out, 0);
    Put32(out, 0);
  }
  out += "BM";
  const size_t offset = prefix + 14 + info.size() + palette.size();
  Put32(out, static_cast<uint32_t>(offset + b.pixels.size()));
  Put32(out, 0);
  Put32(out, static_cast<uint32_t>(offset));
  out += info + palette + b.pixels;
  // The probe wants 44 bytes; tiny images get trailing zeros.
  if (out.size() < 44) out.resize(44, '\0');
  return out;
}

// Stored rows: each given row padded to 4 bytes.
std::string Rows(std::initializer_list<std::string> rows) {
  std::string s;
  for (const std::string& r : rows) {
    s += r;
    s.resize((s.size() + 3) & ~size_t{3}, '\0');
  }
  return s;
}
std::string Bytes(std::initializer_list<int> v) {
  std::string s;
  for (int b : v) s.push_back(static_cast<char>(b));
  return s;
}

const FormatRegistry& Registry() {
  static const FormatRegistry* r = [] {
    auto* reg = new FormatRegistry();
    RegisterBuiltinFormats(*reg);
    return reg;
  }();
  return *r;
}

Status Open(const std::string& bytes, RefPtr<ImageReader>* reader) {
  return Registry().OpenReader(MakeMemorySource(u"test.bmp", bytes).get(), reader);
}

struct Decoded {
  Status status = status::kGeneralFailure;
  RefPtr<ImageReader> reader;
  RefPtr<ImageBuffer> image;
};

Decoded Decode(const std::string& bytes, ProgressSink* progress = nullptr,
               const CancelFlag* cancel = nullptr) {
  Decoded d;
  d.status = Open(bytes, &d.reader);
  if (Failed(d.status)) return d;
  d.status = MakeTargetBuffer(d.reader.get(), &d.image, false, false);
  if (Failed(d.status)) return d;
  d.status = d.reader->DecodeInto(d.image.get(), false, progress, cancel);
  return d;
}

// Blue, green, red, alpha of a Bgra8 pixel as one word 0xAARRGGBB.
uint32_t Pixel(ImageBuffer* image, uint32_t x, uint32_t y) {
  const uint8_t* p = image->Row(y) + 4 * x;
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

TEST(BmpProbe, SignatureSizeAndHeader) {
  Bmp b;
  b.pixels = Rows({Bytes({1, 2, 3})});
  const std::string good = Build(b);
  auto probe = [](const std::string& bytes) {
    return ProbeBmp(*MakeMemorySource(u"p.bmp", bytes));
  };
  EXPECT_EQ(probe(good), status::kOk);
  EXPECT_EQ(probe(good.substr(0, 43)), status::kUnknownFormat);  // under 44 bytes
  std::string wrong = good;
  wrong[1] = 'X';
  EXPECT_EQ(probe(wrong), status::kUnknownFormat);

  for (uint32_t size : {12u, 40u, 52u, 56u, 108u, 124u}) {
    std::string s = good;
    Set32(s, 14, size);
    EXPECT_EQ(probe(s), status::kOk) << size;
  }
  for (uint32_t size : {0u, 16u, 41u, 64u, 125u}) {
    std::string s = good;
    Set32(s, 14, size);
    EXPECT_EQ(probe(s), status::kUnsupportedSubformat) << size;
  }

  b.arrayWrapper = true;
  EXPECT_EQ(probe(Build(b)), status::kOk);
  // "BA" followed by something other than a bitmap.
  std::string ba = Build(b);
  ba[14] = 'C';
  EXPECT_EQ(probe(ba), status::kUnknownFormat);
}

TEST(BmpHeader, UnsupportedVariantsAndDamage) {
  auto status = [](Bmp b) {
    RefPtr<ImageReader> r;
    return Open(Build(b), &r);
  };
  Bmp b;
  b.pixels = Rows({Bytes({1, 2, 3})});
  EXPECT_EQ(status(b), status::kOk);

  Bmp planes = b;
  planes.planes = 2;
  EXPECT_EQ(status(planes), status::kUnsupportedSubformat);
  for (uint16_t bpp : {0, 2, 15, 48, 64}) {
    Bmp depth = b;
    depth.bpp = bpp;
    EXPECT_EQ(status(depth), status::kUnsupportedSubformat) << bpp;
  }
  for (uint32_t compression : {4u, 5u, 6u, 100u}) {
    Bmp c = b;
    c.compression = compression;
    EXPECT_EQ(status(c), status::kUnsupportedSubformat) << compression;
  }
  // Run-length codes at 24 bits, bit fields at 8 bits.
  Bmp rle = b;
  rle.compression = 1;
  EXPECT_EQ(status(rle), status::kUnsupportedSubformat);
  Bmp fields = b;
  fields.bpp = 8;
  fields.compression = 3;
  EXPECT_EQ(status(fields), status::kUnsupportedSubformat);

  // Dimensions that cannot describe an image.
  for (int32_t w : {0, -1, -127, 1 << 25}) {
    Bmp d = b;
    d.width = w;
    EXPECT_EQ(status(d), status::kDamaged) << w;
  }
  Bmp zeroHeight = b;
  zeroHeight.height = 0;
  EXPECT_EQ(status(zeroHeight), status::kDamaged);
  Bmp tooMany = b;
  tooMany.width = 1 << 16;
  tooMany.height = 1 << 16;
  EXPECT_EQ(status(tooMany), status::kDamaged);

  // A header cut short, and bit fields without their masks.
  Bmp v5 = b;
  v5.headerSize = 124;
  std::string cut = Build(v5).substr(0, 14 + 60);
  RefPtr<ImageReader> r;
  EXPECT_EQ(Open(cut, &r), status::kDamaged);
  Bmp noMasks = b;
  noMasks.bpp = 16;
  noMasks.compression = 3;
  noMasks.pixels.clear();
  EXPECT_EQ(Open(Build(noMasks).substr(0, 54 + 6), &r), status::kDamaged);
}

TEST(BmpHeader, OutputFormatStrideAndDepth) {
  struct Row {
    uint16_t bpp;
    int32_t width;
    PixelFormat format;
    uint32_t stride;
  } rows[] = {
      {1, 127, PixelFormat::Indexed8, 128},  // 16 bytes hold 128 pixels
      {1, 1, PixelFormat::Indexed8, 32},
      {4, 3, PixelFormat::Indexed8, 8},
      {8, 5, PixelFormat::Indexed8, 8},
      {24, 5, PixelFormat::Bgra8, 20},
      {32, 7, PixelFormat::Bgra8, 28},
  };
  for (const Row& row : rows) {
    Bmp b;
    b.bpp = row.bpp;
    b.width = row.width;
    b.height = 3;
    if (row.bpp <= 8) b.palette.assign(2, 0);
    RefPtr<ImageReader> r;
    ASSERT_EQ(Open(Build(b), &r), status::kOk) << row.bpp;
    EXPECT_EQ(r->OutputFormat(), row.format) << row.bpp;
    EXPECT_EQ(r->MinStride(), row.stride) << row.bpp;
    EXPECT_EQ(r->MinRows(), 3u);
    EXPECT_EQ(r->BitDepth(), row.bpp);
    EXPECT_EQ(r->Width(), static_cast<uint32_t>(row.width));
  }
}

TEST(BmpPixels, SixteenBitsWidenByShifting) {
  // No compression: 5-5-5, the top bit ignored.
  Bmp b;
  b.bpp = 16;
  b.width = 3;
  b.pixels = Rows({Bytes({0xFF, 0xFF, 0x00, 0x7C, 0x01, 0x00})});
  Decoded d = Decode(Build(b));
  ASSERT_EQ(d.status, status::kOk);
  EXPECT_EQ(d.image->Alpha(), AlphaMode::None);
  EXPECT_EQ(Pixel(d.image.get(), 0, 0), 0xFFF8F8F8u);  // white is 248
  EXPECT_EQ(Pixel(d.image.get(), 1, 0), 0xFFF80000u);
  EXPECT_EQ(Pixel(d.image.get(), 2, 0), 0xFF000008u);

  // Bit fields 5-6-5 with the 40-byte header.
  b.compression = 3;
  b.masks = {0xF800, 0x07E0, 0x001F};
  b.pixels = Rows({Bytes({0xFF, 0xFF, 0xE0, 0x07, 0x1F, 0x00})});
  d = Decode(Build(b));
  ASSERT_EQ(d.status, status::kOk);
  EXPECT_EQ(Pixel(d.image.get(), 0, 0), 0xFFF8FCF8u);
  EXPECT_EQ(Pixel(d.image.get(), 1, 0), 0xFF00FC00u);
  EXPECT_EQ(Pixel(d.image.get(), 2, 0), 0xFF0000F8u);
}

TEST(BmpPixels, WideMasksKeepTheirTopBitsAndAlphaMasksGiveAlpha) {
  // 10-10-10-2 in a 56-byte header.
  Bmp b;
  b.headerSize = 56;
  b.bpp = 32;
  b.width = 2;
  b.compression = 3;
  b.masks = {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000};
  std::string px;
  Put32(px, 0x3FF00000 | (0x200u << 10) | 0x1FF | 0x40000000);  // r max, g half, b just under
  Put32(px, 0x80000000 | 0x3);
  b.pixels = px;
  Decoded d = Decode(Build(b));
  ASSERT_EQ(d.status, status::kOk);
  EXPECT_EQ(d.image->Alpha(), AlphaMode::Straight);
  EXPECT_EQ(Pixel(d.image.get(), 0, 0), 0x40FF807Fu);
  EXPECT_EQ(Pixel(d.image.get(), 1, 0), 0x80000000u);

  // Mask without alpha in a 52-byte header: the alpha word is not read.
  b.headerSize = 52;
  b.masks = {0x3FF00000, 0x000FFC00, 0x000003FF};
  d = Decode(Build(b));
  ASSERT_EQ(d.status, status::kOk);
  EXPECT_EQ(d.image->Alpha(), AlphaMode::None);
  EXPECT_EQ(Pixel(d.image.get(), 0, 0), 0xFFFF807Fu);
}

TEST(BmpPixels, ThirtyTwoBitAlphaScan) {
  Bmp b;
  b.bpp = 32;
  b.width = 2;
  b.height = 2;
  b.pixels = Bytes({1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0});
  Decoded d = Decode(Build(b));
  ASSERT_EQ(d.status, status::kOk);
  EXPECT_EQ(d.image->Alpha(), AlphaMode::None);
  EXPECT_EQ(Pixel(d.image.get(), 0, 1), 0xFF030201u);  // first stored row is the bottom
  EXPECT_EQ(Pixel(d.image.get(), 1, 0), 0xFF0C0B0Au);

  // One non-zero fourth byte anywhere: every fourth byte is alpha.
  b.pixels[15] = 9;
  d = Decode(Build(b));
  ASSERT_EQ(d.status, status::kOk);
  EXPECT_EQ(d.image->Alpha(), AlphaMode::Straight);
  EXPECT_EQ(Pixel(d.image.get(), 0, 1), 0x00030201u);
  EXPECT_EQ(Pixel(d.image.get(), 1, 0), 0x090C0B0Au);

  // The larger headers could have said so: no scan, opaque.
  b.headerSize = 108;
  d = Decode(Build(b));
  ASSERT_EQ(d.status, status::kOk);
  EXPECT_EQ(d.image->Alpha(), AlphaMode::None);
  EXPECT_EQ(Pixel(d.image.get(), 1, 0), 0xFF0C0B0Au);

  // Standard masks with an alpha mask: plain copy with alpha.
  b.headerSize = 124;
  b.compression = 3;
  b.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
  d = Decode(Build(b));
  ASSERT_EQ(d.status, status::kOk);
  EXPECT_EQ(d.image->Alpha(), AlphaMode::Straight);
  EXPECT_EQ(Pixel(d.image.get(), 0, 1), 0x00030201u);
  EXPECT_EQ(Pixel(d.image.get(), 1, 0), 0x090C0B0Au);
}

TEST(BmpPixels, RowOrderHeadersAndPalettes) {
  // 4-bit, 3 x 2, top-down.
  Bmp b;
  b.bpp = 4;
  b.width = 3;
  b.height = -2;
  b.palette = {0x000000, 0x112233, 0x445566, 0x778899};
  b.pixels = Rows({Bytes({0x12, 0x30}), Bytes({0x32, 0x10})});
  Decoded d = Decode(Build(b));
  ASSERT_EQ(d.status, status::kOk);
  ASSERT_EQ(d.image->Format(), PixelFormat::Indexed8);
  EXPECT_EQ(d.image->Height(), 2u);
  const uint8_t top[] = {1, 2, 3};
  const uint8_t bottom[] = {3, 2, 1};
  EXPECT_EQ(0, memcmp(d.image->Row(0), top, 3));
  EXPECT_EQ(0, memcmp(d.image->Row(1), bottom, 3));
  EXPECT_EQ(d.image->Palette()[1], 0xFF112233u);
  // Indices without an entry are opaque black.
  EXPECT_EQ(d.image->Palette()[4], 0xFF000000u);
  EXPECT_EQ(d.image->Palette()[255], 0xFF000000u);

  // The 12-byte header: 3-byte entries, always bottom-up, no resolution.
  Bmp os2;
  os2.headerSize = 12;
  os2.bpp = 1;
  os2.width = 9;
  os2.height = 2;
  os2.palette = {0x0000FF, 0x00FF00};
  os2.pixels = Rows({Bytes({0x80, 0x80}), Bytes({0x00, 0x00})});
  d = Decode(Build(os2));
  ASSERT_EQ(d.status, status::kOk);
  EXPECT_EQ(d.image->Row(1)[0], 1);
  EXPECT_EQ(d.image->Row(1)[8], 1);
  EXPECT_EQ(d.image->Row(1)[1], 0);
  EXPECT_EQ(d.image->Row(0)[0], 0);
  EXPECT_EQ(d.image->Palette()[0], 0xFF0000FFu);
  EXPECT_EQ(d.image->Palette()[1], 0xFF00FF00u);
  EXPECT_FALSE(d.image->Properties().Has(PropertyId::PixelDensity));

  // The same inside an OS/2 bitmap array: the pixel offset still counts from
  // the start of the file.
  os2.arrayWrapper = true;
  Decoded wrapped = Decode(Build(os2));
  ASSERT_EQ(wrapped.status, status::kOk);
  for (uint32_t y = 0; y < 2; ++y) EXPECT_EQ(0, memcmp(wrapped.image->Row(y), d.image->Row(y), 9));

  // An 8-bit grey ramp arrives as Gray8.
  Bmp grey;
  grey.bpp = 8;
  grey.width = 4;
  for (uint32_t i = 0; i < 256; ++i) grey.palette.push_back(i * 0x010101u);
  grey.pixels = Rows({Bytes({0, 7, 128, 255})});
  d = Decode(Build(grey));
  ASSERT_EQ(d.status, status::kOk);
  EXPECT_EQ(d.image->Format(), PixelFormat::Gray8);
  EXPECT_EQ(d.image->Row(0)[2], 128);
}

TEST(BmpProperties, ResolutionCompressionDepth) {
  Bmp b;
  b.xDensity = 2835;
  b.yDensity = 3780;
  b.pixels = Rows({Bytes({1, 2, 3})});
  RefPtr<ImageReader> r;
  ASSERT_EQ(Open(Build(b), &r), status::kOk);
  ASSERT_TRUE(r->Properties().Get(PropertyId::PixelDensity));
  EXPECT_EQ(*r->Properties().Get(PropertyId::PixelDensity), u"2835 x 3780 ppm");
  EXPECT_EQ(*r->Properties().Get(PropertyId::Compression), u"None");
  EXPECT_EQ(*r->Properties().Get(PropertyId::Dimensions), u"24");

  b.yDensity = 0;  // both or nothing
  ASSERT_EQ(Open(Build(b), &r), status::kOk);
  EXPECT_FALSE(r->Properties().Has(PropertyId::PixelDensity));

  Bmp rle;
  rle.bpp = 8;
  rle.compression = 1;
  rle.palette = {0};
  rle.pixels = Bytes({0, 1});
  ASSERT_EQ(Open(Build(rle), &r), status::kOk);
  EXPECT_EQ(*r->Properties().Get(PropertyId::Compression), u"RLE");
  EXPECT_EQ(r->OutputFormat(), PixelFormat::Indexed8);
}

// Decodes a run-length stream into a width x height image and returns its
// index rows, top first.
std::vector<std::string> RleRows(uint32_t compression, uint16_t bpp, int32_t width,
                                 int32_t height, const std::string& stream) {
  Bmp b;
  b.bpp = bpp;
  b.compression = compression;
  b.width = width;
  b.height = height;
  b.palette.assign(bpp == 4 ? 16 : 256, 0x102030);  // not a grey ramp: stays indexed
  b.pixels = stream;
  Decoded d = Decode(Build(b));
  EXPECT_EQ(d.status, status::kOk);
  std::vector<std::string> rows;
  if (!d.image) return rows;
  EXPECT_EQ(d.image->Format(), PixelFormat::Indexed8);
  for (uint32_t y = 0; y < d.image->Height(); ++y)
    rows.emplace_back(reinterpret_cast<const char*>(d.image->Row(y)), d.image->Width());
  return rows;
}

TEST(BmpRle, EightBitCodes) {
  // Bottom row: run of 3 x 5, absolute run 7 8 9 (padded), end of line.
  // Middle row: delta right 2 up 0, run of 2 x 4, end of line.
  // Top row: run wider than the image (clipped), end of bitmap.
  const std::string stream = Bytes({3, 5, 0, 3, 7, 8, 9, 0, 0, 0,
                                    0, 2, 2, 0, 2, 4, 0, 0,
                                    9, 6, 0, 1});
  auto rows = RleRows(1, 8, 5, 3, stream);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[2], Bytes({5, 5, 5, 7, 8}));  // the run's 9 falls off the edge
  EXPECT_EQ(rows[1], Bytes({0, 0, 4, 4, 0}));
  EXPECT_EQ(rows[0], Bytes({6, 6, 6, 6, 6}));
}

TEST(BmpRle, DeltasAndEarlyEnds) {
  // A delta up one row keeps the column.
  auto rows = RleRows(1, 8, 4, 2, Bytes({1, 9, 0, 2, 1, 1, 1, 8, 0, 1}));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1], Bytes({9, 0, 0, 0}));
  EXPECT_EQ(rows[0], Bytes({0, 0, 8, 0}));

  // A delta whose dy reaches the top ends decoding without error.
  rows = RleRows(1, 8, 3, 2, Bytes({2, 7, 0, 2, 0, 2, 4, 4}));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1], Bytes({7, 7, 0}));
  EXPECT_EQ(rows[0], Bytes({0, 0, 0}));

  // End of line on the last row ends decoding; later codes are ignored.
  rows = RleRows(1, 8, 2, 1, Bytes({2, 3, 0, 0, 2, 9}));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], Bytes({3, 3}));

  // A stream that stops inside an absolute run keeps what it had.
  rows = RleRows(1, 8, 6, 1, Bytes({0, 5, 1, 2}));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], Bytes({1, 2, 0, 0, 0, 0}));
}

TEST(BmpRle, FourBitCodes) {
  // Encoded run of 5 alternating 1 and 2; absolute run of 3 nibbles in 2 bytes;
  // end of line; an encoded run on the next row; end of bitmap.
  auto rows = RleRows(2, 4, 8, 2, Bytes({5, 0x12, 0, 3, 0x34, 0x50, 0, 0,
                                         3, 0xAB, 0, 1}));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1], Bytes({1, 2, 1, 2, 1, 3, 4, 5}));
  EXPECT_EQ(rows[0], Bytes({10, 11, 10, 0, 0, 0, 0, 0}));

  // RLE4 codes in an 8-bit file, RLE8 codes in a 4-bit file.
  rows = RleRows(2, 8, 3, 1, Bytes({3, 0xC7, 0, 1}));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], Bytes({12, 7, 12}));
  rows = RleRows(1, 4, 3, 1, Bytes({3, 200, 0, 1}));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], Bytes({200, 200, 200}));
}

class CountingSink : public ProgressSink {
 public:
  void Report(uint32_t done, uint32_t total) override {
    if (done != 100 || total != 100) reports.emplace_back(done, total);  // not the final report
    if (cancelAt && done == cancelAt) cancel->Set();
  }
  std::vector<std::pair<uint32_t, uint32_t>> reports;
  uint32_t cancelAt = 0;
  CancelFlag* cancel = nullptr;
};

TEST(BmpDecode, ProgressEveryThirtyTwoRowsAndCancel) {
  Bmp b;
  b.bpp = 24;
  b.width = 2;
  b.height = 100;
  for (int y = 0; y < 100; ++y) b.pixels += Rows({std::string(6, static_cast<char>(y + 1))});
  RefPtr<CountingSink> sink = MakeRef<CountingSink>();
  Decoded d = Decode(Build(b), sink.get());
  ASSERT_EQ(d.status, status::kOk);
  const std::vector<std::pair<uint32_t, uint32_t>> want = {{31, 100}, {63, 100}, {95, 100}};
  EXPECT_EQ(sink->reports, want);

  // Cancelled after the 64th stored row: the rows after it are not written.
  CancelFlag cancel;
  RefPtr<CountingSink> stopper = MakeRef<CountingSink>();
  stopper->cancelAt = 63;
  stopper->cancel = &cancel;
  RefPtr<ImageReader> reader;
  ASSERT_EQ(Open(Build(b), &reader), status::kOk);
  RefPtr<ImageBuffer> image;
  ASSERT_EQ(MakeTargetBuffer(reader.get(), &image, false, false), status::kOk);
  for (uint32_t y = 0; y < 100; ++y) memset(image->Row(y), 0xEE, 8);
  EXPECT_EQ(reader->DecodeInto(image.get(), false, stopper.get(), &cancel), status::kCancelled);
  EXPECT_EQ(stopper->reports.size(), 2u);
  EXPECT_EQ(Pixel(image.get(), 0, 99), 0xFF010101u);  // stored row 0
  EXPECT_EQ(Pixel(image.get(), 0, 36), 0xFF404040u);  // stored row 63
  EXPECT_EQ(Pixel(image.get(), 0, 35), 0xEEEEEEEEu);  // never reached

  // Run-length files report no progress.
  Bmp rle;
  rle.bpp = 8;
  rle.compression = 1;
  rle.height = 100;
  rle.palette = {0x010203};
  for (int y = 0; y < 100; ++y) rle.pixels += Bytes({1, 0, 0, 0});
  RefPtr<CountingSink> quiet = MakeRef<CountingSink>();
  EXPECT_EQ(Decode(Build(rle), quiet.get()).status, status::kOk);
  EXPECT_TRUE(quiet->reports.empty());
}

// Every prefix of a file decodes or fails cleanly; a prefix that keeps the
// header gives exactly the pixels its data hold, and zero for the rest.
void CheckPrefixes(const Bmp& b) {
  const std::string whole = Build(b);
  Decoded full = Decode(whole);
  ASSERT_EQ(full.status, status::kOk);
  const size_t bpp = full.image->BytesPerPixel();
  const size_t headers = whole.size() - b.pixels.size();
  for (size_t n = 0; n < whole.size(); ++n) {
    Decoded part = Decode(whole.substr(0, n));
    if (n < headers) {
      // No pixel data at all yet; the header itself may be cut.
      if (Succeeded(part.status)) {
        for (uint32_t y = 0; y < part.image->Height(); ++y)
          for (size_t i = 0; i < part.image->Width() * bpp; ++i)
            ASSERT_EQ(part.image->Row(y)[i], 0) << "prefix " << n;
      }
      continue;
    }
    ASSERT_EQ(part.status, status::kOk) << "prefix " << n;
    if (b.compression == 1 || b.compression == 2) continue;  // checked below
    const size_t rowBytes = b.pixels.size() / static_cast<size_t>(std::abs(b.height));
    const size_t have = n - headers;
    const size_t height = part.image->Height();
    for (size_t stored = 0; stored < height; ++stored) {
      const size_t y = b.height < 0 ? stored : height - 1 - stored;
      const size_t rowStart = stored * rowBytes;
      const size_t bytesInRow = have > rowStart ? std::min(rowBytes, have - rowStart) : 0;
      const size_t pixels =
          std::min<size_t>(part.image->Width(), bytesInRow * 8 / full.reader->BitDepth());
      const uint8_t* got = part.image->Row(static_cast<uint32_t>(y));
      const uint8_t* want = full.image->Row(static_cast<uint32_t>(y));
      ASSERT_EQ(0, memcmp(got, want, pixels * bpp)) << "prefix " << n << " row " << y;
      for (size_t i = pixels * bpp; i < part.image->Width() * bpp; ++i)
        ASSERT_EQ(got[i], 0) << "prefix " << n << " row " << y;
    }
  }
}

TEST(BmpDecode, TruncatedFilesGiveThePartThatArrived) {
  Bmp rgb;
  rgb.width = 3;
  rgb.height = 3;
  rgb.pixels = Rows({Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9}), Bytes({10, 11, 12, 13, 14, 15, 16, 17, 18}),
                     Bytes({19, 20, 21, 22, 23, 24, 25, 26, 27})});
  CheckPrefixes(rgb);

  Bmp mono;
  mono.bpp = 1;
  mono.width = 13;
  mono.height = -3;
  mono.palette = {0x000000, 0xFFFFFF};
  mono.pixels = Rows({Bytes({0xA5, 0xF0}), Bytes({0x0F, 0x88}), Bytes({0xFF, 0xFF})});
  CheckPrefixes(mono);

  Bmp fields;
  fields.bpp = 16;
  fields.width = 3;
  fields.height = 2;
  fields.compression = 3;
  fields.masks = {0xF800, 0x07E0, 0x001F};
  fields.pixels = Rows({Bytes({1, 2, 3, 4, 5, 6}), Bytes({7, 8, 9, 10, 11, 12})});
  CheckPrefixes(fields);

  Bmp rle;
  rle.bpp = 8;
  rle.compression = 1;
  rle.width = 4;
  rle.height = 2;
  rle.palette = {0x000000, 0x0000FF};
  rle.pixels = Bytes({4, 1, 0, 0, 0, 4, 1, 2, 3, 4, 0, 1});
  CheckPrefixes(rle);
}

TEST(BmpDecode, OffsetsOutsideTheFile) {
  // Pixel data offset far beyond the end: an image without data, all zero.
  Bmp b;
  b.width = 2;
  b.height = 2;
  b.pixels = Rows({Bytes({1, 2, 3, 4, 5, 6}), Bytes({7, 8, 9, 10, 11, 12})});
  std::string s = Build(b);
  Set32(s, 10, 0xFFFFFFF0u);
  Decoded d = Decode(s);
  ASSERT_EQ(d.status, status::kOk);
  EXPECT_EQ(Pixel(d.image.get(), 0, 0), 0u);
  EXPECT_EQ(Pixel(d.image.get(), 1, 1), 0u);

  // An offset before the palette's end: no palette entries at all.
  Bmp p;
  p.bpp = 8;
  p.width = 2;
  p.palette = {0x112233, 0x445566};
  p.pixels = Rows({Bytes({1, 0})});
  s = Build(p);
  Set32(s, 10, 20);
  d = Decode(s);
  ASSERT_EQ(d.status, status::kOk);
  EXPECT_EQ(d.image->Palette()[0], 0xFF000000u);
  EXPECT_EQ(d.image->Palette()[1], 0xFF000000u);
}

}  // namespace
}  // namespace vt
