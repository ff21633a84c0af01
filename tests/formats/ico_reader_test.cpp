// The icon reader on icons built here byte by byte: the probe, the choice of
// entry, masks and the transparent index, PNG entries, truncation and
// cancellation.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "formats/ico/ico_reader.h"
#include "ico_dds_fits_support.h"

namespace vt {
namespace idf = test::idf;
namespace {

using idf::LoadBytes;
using idf::PutLE;

// One bitmap entry: pixels are indices (1, 4, 8 bits) or 0xAARRGGBB (24, 32),
// rows top to bottom; mask bits 1 = transparent.
struct Bitmap {
  int32_t width = 1;
  int32_t height = 1;
  uint16_t planes = 1;
  uint16_t bpp = 32;
  std::vector<uint32_t> palette;  // 0x00RRGGBB, written as 2^bpp entries
  std::vector<uint32_t> pixels;
  std::vector<uint8_t> mask;  // one per pixel, empty for none set
};

std::string BitmapBytes(const Bitmap& b) {
  std::string s;
  PutLE(s, 40, 4);
  PutLE(s, static_cast<uint32_t>(b.width), 4);
  PutLE(s, static_cast<uint32_t>(b.height * 2), 4);
  PutLE(s, b.planes, 2);
  PutLE(s, b.bpp, 2);
  s.append(24, '\0');
  if (b.bpp <= 8) {
    for (uint32_t i = 0; i < (1u << b.bpp); ++i)
      PutLE(s, i < b.palette.size() ? b.palette[i] : 0, 4);
  }
  const size_t rowBytes = (size_t(b.width) * b.bpp + 31) / 32 * 4;
  for (int32_t y = b.height - 1; y >= 0; --y) {
    std::string row(rowBytes, '\0');
    for (int32_t x = 0; x < b.width; ++x) {
      const uint32_t v = b.pixels[size_t(y) * b.width + x];
      switch (b.bpp) {
        case 1:
        case 4: {
          const int perByte = 8 / b.bpp;
          const int shift = 8 - b.bpp * (x % perByte + 1);
          row[x / perByte] = static_cast<char>(row[x / perByte] | v << shift);
          break;
        }
        case 8:
          row[x] = static_cast<char>(v);
          break;
        default:
          for (int k = 0; k < b.bpp / 8; ++k) row[x * (b.bpp / 8) + k] = static_cast<char>(v >> (8 * k));
      }
    }
    s += row;
  }
  const size_t maskBytes = (size_t(b.width) + 31) / 32 * 4;
  for (int32_t y = b.height - 1; y >= 0; --y) {
    std::string row(maskBytes, '\0');
    for (int32_t x = 0; x < b.width; ++x) {
      if (!b.mask.empty() && b.mask[size_t(y) * b.width + x])
        row[x / 8] = static_cast<char>(row[x / 8] | 0x80 >> (x % 8));
    }
    s += row;
  }
  return s;
}

void Chunk(std::string& png, const char* type, const std::string& data) {
  std::string body = std::string(type, 4) + data;
  for (int i = 3; i >= 0; --i) png.push_back(static_cast<char>(data.size() >> (8 * i)));
  png += body;
  const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), body.size());
  for (int i = 3; i >= 0; --i) png.push_back(static_cast<char>(crc >> (8 * i)));
}

// An 8-bit RGBA PNG filled with one colour (0xAARRGGBB).
std::string SolidPng(uint32_t w, uint32_t h, uint32_t argb) {
  std::string raw;
  for (uint32_t y = 0; y < h; ++y) {
    raw.push_back(0);
    for (uint32_t x = 0; x < w; ++x) {
      raw.push_back(static_cast<char>(argb >> 16));
      raw.push_back(static_cast<char>(argb >> 8));
      raw.push_back(static_cast<char>(argb));
      raw.push_back(static_cast<char>(argb >> 24));
    }
  }
  std::string packed(compressBound(raw.size()), '\0');
  uLongf size = packed.size();
  compress(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
           raw.size());
  packed.resize(size);
  std::string ihdr;
  for (uint32_t v : {w, h})
    for (int i = 3; i >= 0; --i) ihdr.push_back(static_cast<char>(v >> (8 * i)));
  ihdr += std::string("\x08\x06\x00\x00\x00", 5);
  std::string png("\x89PNG\r\n\x1a\n", 8);
  Chunk(png, "IHDR", ihdr);
  Chunk(png, "IDAT", packed);
  Chunk(png, "IEND", "");
  return png;
}

std::string Icon(const std::vector<std::string>& images, uint16_t type = 1) {
  std::string s;
  PutLE(s, 0, 2);
  PutLE(s, type, 2);
  PutLE(s, images.size(), 2);
  size_t offset = 6 + 16 * images.size();
  for (const std::string& image : images) {
    s.append(8, '\0');  // size, colours, planes or hot spot: not used
    PutLE(s, image.size(), 4);
    PutLE(s, offset, 4);
    offset += image.size();
  }
  for (const std::string& image : images) s += image;
  return s;
}

Bitmap Solid(int32_t w, int32_t h, uint16_t bpp, uint32_t value) {
  Bitmap b;
  b.width = w;
  b.height = h;
  b.bpp = bpp;
  b.pixels.assign(size_t(w) * h, value);
  if (bpp <= 8) b.palette.assign(1u << bpp, 0x102030);
  return b;
}

TEST(IcoReader, ProbeNeedsTheNameAndAPlausibleHeader) {
  const std::string good = Icon({BitmapBytes(Solid(2, 2, 32, 0xFF00FF00))});
  auto probe = [](const std::string& name, const std::string& bytes) {
    return ProbeIco(*MakeMemorySource(test::U16(name), bytes));
  };
  EXPECT_EQ(probe("a.ico", good), status::kOk);
  EXPECT_EQ(probe("a.ICO", good), status::kOk);
  EXPECT_EQ(probe("dir.x/a.Cur", good), status::kOk);
  EXPECT_EQ(probe("a.bmp", good), status::kUnknownFormat);
  EXPECT_EQ(probe("aico", good), status::kUnknownFormat);
  EXPECT_EQ(probe("a.ico", good.substr(0, 61)), status::kUnknownFormat);
  for (auto [at, value] : {std::pair{0, 1}, {2, 0}, {2, 3}, {4, 0}, {4, 100}}) {
    std::string bad = good;
    idf::SetLE(bad, at, value, 2);
    EXPECT_EQ(probe("a.ico", bad), status::kUnknownFormat) << at << " " << value;
  }
  std::string many = good;
  idf::SetLE(many, 4, 99, 2);  // entries past the first lie beyond the file
  EXPECT_EQ(probe("a.ico", many), status::kOk);
  EXPECT_TRUE(LoadBytes("a.ico", many).Ok());
  // An icon under another name is not found by probing either.
  EXPECT_EQ(LoadBytes("a.dat", good).open, status::kUnknownFormat);
}

TEST(IcoReader, BestBitmapEntryNeedsEveryDimensionAtLeastAsLarge) {
  const std::string small32 = BitmapBytes(Solid(16, 16, 32, 0xFF0000FF));
  const std::string large8 = BitmapBytes(Solid(32, 32, 8, 0));
  // 8 < 32: the larger image does not win.
  idf::Loaded a = LoadBytes("a.ico", Icon({small32, large8}));
  ASSERT_TRUE(a.Ok());
  EXPECT_EQ(a.reader->Width(), 16u);
  EXPECT_EQ(a.reader->BitDepth(), 32u);
  EXPECT_EQ(a.reader->OutputFormat(), PixelFormat::Bgra8);
  idf::Loaded b = LoadBytes("a.ico", Icon({large8, small32}));
  ASSERT_TRUE(b.Ok());
  EXPECT_EQ(b.reader->Width(), 32u);
  EXPECT_EQ(b.reader->OutputFormat(), PixelFormat::Indexed8);
  // A tie goes to the later entry.
  idf::Loaded c = LoadBytes(
      "a.cur", Icon({BitmapBytes(Solid(8, 8, 32, 0xFF111111)), BitmapBytes(Solid(8, 8, 32, 0xFF222222))}, 2));
  ASSERT_TRUE(c.Ok());
  EXPECT_EQ(c.Pixel(3, 3), 0xFF222222u);
  // Entries the reader cannot show never compete.
  Bitmap twoPlanes = Solid(64, 64, 32, 0xFF333333);
  twoPlanes.planes = 2;
  idf::Loaded d = LoadBytes("a.ico", Icon({small32, BitmapBytes(twoPlanes)}));
  ASSERT_TRUE(d.Ok());
  EXPECT_EQ(d.reader->Width(), 16u);
}

TEST(IcoReader, UnsupportedDepthsAndEmptyDirectories) {
  EXPECT_EQ(LoadBytes("a.ico", Icon({BitmapBytes(Solid(4, 4, 16, 0))})).open,
            status::kUnsupportedSubformat);
  Bitmap absurd = Solid(1, 1, 1, 0);
  std::string bytes = Icon({BitmapBytes(absurd)});
  idf::SetLE(bytes, 22 + 4, 65535, 4);
  idf::SetLE(bytes, 22 + 8, 65535 * 2, 4);  // 4 giga-pixels from a tiny file
  EXPECT_EQ(LoadBytes("a.ico", bytes).open, status::kUnsupportedSubformat);
  std::string beyond = Icon({BitmapBytes(Solid(4, 4, 32, 0))});
  idf::SetLE(beyond, 18, 1000, 4);
  EXPECT_EQ(LoadBytes("a.ico", beyond).open, status::kDamaged);
}

TEST(IcoReader, SmallPalettesGetTheFirstIndexAfterThemAsTransparent) {
  for (uint16_t bpp : {1, 4}) {
    Bitmap b = Solid(9, 3, bpp, 1);
    b.palette[0] = 0x0000FF;
    b.palette[1] = 0xFF8000;
    b.pixels[0] = 0;
    b.mask.assign(27, 0);
    b.mask[4] = 1;
    b.mask[26] = 1;
    idf::Loaded got = LoadBytes("a.ico", Icon({BitmapBytes(b)}));
    ASSERT_TRUE(got.Ok()) << bpp;
    EXPECT_EQ(got.reader->MinStride(), bpp == 1 ? 32u : 16u);
    const PlaneView plane = got.image->View(PixelFormat::Indexed8);
    ASSERT_TRUE(plane);
    const uint32_t transparent = 1u << bpp;
    EXPECT_EQ(plane.palette[transparent], 0x00FFFFFFu);
    EXPECT_EQ(plane.Row(0)[4], transparent);
    EXPECT_EQ(plane.Row(2)[8], transparent);
    EXPECT_EQ(plane.Row(0)[0], 0);
    EXPECT_EQ(plane.Row(1)[4], 1);
    EXPECT_EQ(got.image->Alpha(), AlphaMode::Straight);
    EXPECT_EQ(got.Pixel(0, 0), 0xFF0000FFu);
    EXPECT_EQ(got.Pixel(1, 0), 0xFFFF8000u);
    EXPECT_EQ(got.Pixel(4, 0), 0x00FFFFFFu);
  }
}

TEST(IcoReader, EightBitIconsUseTheHighestIndexNoOpaquePixelUses) {
  Bitmap b;
  b.width = 16;
  b.height = 16;
  b.bpp = 8;
  for (uint32_t i = 0; i < 256; ++i) b.palette.push_back(i * 0x010101 ^ 0x800000);
  for (uint32_t i = 0; i < 256; ++i) b.pixels.push_back(i);
  b.mask.assign(256, 0);
  // 255 and 254 are used only by masked pixels, so 254 and 255 are free; 253
  // is used by an opaque pixel.
  b.mask[255] = 1;
  b.mask[254] = 1;
  b.mask[7] = 1;
  idf::Loaded got = LoadBytes("a.ico", Icon({BitmapBytes(b)}));
  ASSERT_TRUE(got.Ok());
  const PlaneView plane = got.image->View(PixelFormat::Indexed8);
  ASSERT_TRUE(plane);
  EXPECT_EQ(plane.palette[255], 0x00FFFFFFu);
  EXPECT_EQ(plane.Row(0)[7], 255);
  EXPECT_EQ(plane.Row(15)[14], 255);
  EXPECT_EQ(plane.Row(15)[13], 253);
  EXPECT_EQ(plane.palette[254], 0xFF000000u | (254u * 0x010101 ^ 0x800000));
  EXPECT_EQ(got.Pixel(7, 0) >> 24, 0u);

  // Every index in an opaque pixel: no transparency at all, even under the mask.
  b.height = 17;
  b.pixels.resize(16 * 17, 9);
  b.mask.assign(16 * 17, 0);
  b.mask[256] = 1;
  idf::Loaded full = LoadBytes("a.ico", Icon({BitmapBytes(b)}));
  ASSERT_TRUE(full.Ok());
  for (uint32_t y = 0; y < 17; ++y)
    for (uint32_t x = 0; x < 16; ++x) EXPECT_EQ(full.Pixel(x, y) >> 24, 0xFFu) << x << "," << y;
  EXPECT_EQ(full.Pixel(0, 16), 0xFF000000u | (9u * 0x010101 ^ 0x800000));
}

TEST(IcoReader, TrueColourAlphaAndMask) {
  Bitmap b32 = Solid(3, 2, 32, 0x80402010);
  b32.mask.assign(6, 1);  // ignored: the pixels carry alpha
  idf::Loaded a = LoadBytes("a.ico", Icon({BitmapBytes(b32)}));
  ASSERT_TRUE(a.Ok());
  EXPECT_EQ(a.Pixel(2, 1), 0x80402010u);
  EXPECT_EQ(a.image->Alpha(), AlphaMode::Straight);

  Bitmap b24 = Solid(3, 2, 24, 0x00A0B0C0);
  b24.pixels[1] = 0x00010203;
  b24.mask = {0, 1, 0, 0, 0, 1};
  idf::Loaded b = LoadBytes("a.ico", Icon({BitmapBytes(b24)}));
  ASSERT_TRUE(b.Ok());
  EXPECT_EQ(b.Pixel(0, 0), 0xFFA0B0C0u);
  EXPECT_EQ(b.Pixel(1, 0), 0x00010203u);
  EXPECT_EQ(b.Pixel(2, 1), 0x00A0B0C0u);
  EXPECT_EQ(b.Pixel(0, 1), 0xFFA0B0C0u);
}

TEST(IcoReader, PngEntriesWinOnlyWhenLargerInEverything) {
  const std::string png16 = SolidPng(16, 16, 0xFF00FF00);
  const std::string png32 = SolidPng(32, 32, 0x80FF0000);
  idf::Loaded a = LoadBytes("a.ico", Icon({png16, png32}));
  ASSERT_TRUE(a.Ok());
  // Same depth: the second is larger but not deeper.
  EXPECT_EQ(a.reader->Width(), 16u);
  EXPECT_EQ(a.Pixel(5, 5), 0xFF00FF00u);
  ASSERT_NE(a.image->Properties().Get(PropertyId::Compression), nullptr);
  EXPECT_EQ(*a.image->Properties().Get(PropertyId::Compression), u"PNG/Inflate");

  // A bitmap that is at least as large in all three takes over from a PNG.
  EXPECT_EQ(a.reader->BitDepth(), 32u);  // the PNG reader's code for 8-bit RGBA
  idf::Loaded b = LoadBytes("a.ico", Icon({png16, BitmapBytes(Solid(16, 16, 32, 0xFF0000FF))}));
  ASSERT_TRUE(b.Ok());
  EXPECT_EQ(b.Pixel(0, 0), 0xFF0000FFu);
  // A PNG after a small, shallow bitmap wins when it beats it everywhere.
  idf::Loaded c = LoadBytes("a.ico", Icon({BitmapBytes(Solid(8, 8, 1, 0)), png32}));
  ASSERT_TRUE(c.Ok());
  EXPECT_EQ(c.reader->Width(), 32u);
  EXPECT_EQ(c.Pixel(31, 31), 0x80FF0000u);
  EXPECT_EQ(c.image->Alpha(), AlphaMode::Straight);
  // A PNG stream cut by its entry's size is read only within it.
  std::string cut = Icon({png32});
  idf::SetLE(cut, 14, png32.size() - 20, 4);
  const idf::Loaded d = LoadBytes("a.ico", cut);
  EXPECT_TRUE(Failed(d.open) || Failed(d.decode) || d.bgra->Width() == 32u);
}

TEST(IcoReader, TruncatedIconsKeepWhatArrived) {
  Bitmap b = Solid(5, 4, 4, 1);
  b.palette[1] = 0x123456;
  b.mask.assign(20, 1);
  const std::string whole = Icon({BitmapBytes(b)});
  idf::CheckEveryPrefix("a.ico", whole);
  // Without its mask rows the image is opaque; without its last colour rows
  // (the top ones) those pixels are index 0.
  const size_t colourEnd = 22 + 40 + 64 + 4 * 4;
  idf::Loaded noMask = LoadBytes("a.ico", whole.substr(0, colourEnd));
  ASSERT_TRUE(noMask.Ok());
  EXPECT_EQ(noMask.Pixel(4, 3), 0xFF123456u);
  idf::Loaded half = LoadBytes("a.ico", whole.substr(0, colourEnd - 8));
  ASSERT_TRUE(half.Ok());
  EXPECT_EQ(half.Pixel(0, 3), 0xFF123456u);
  EXPECT_EQ(half.Pixel(0, 0), 0xFF102030u);

  const std::string withPng = Icon({SolidPng(7, 5, 0xFF336699)});
  idf::CheckEveryPrefix("a.ico", withPng);
}

TEST(IcoReader, CancelStopsTheDecode) {
  const std::string bytes = Icon({BitmapBytes(Solid(64, 64, 24, 0x00ABCDEF))});
  CancelFlag cancel;
  cancel.Set();
  EXPECT_EQ(LoadBytes("a.ico", bytes, nullptr, &cancel).decode, status::kCancelled);
  const std::string indexed = Icon({BitmapBytes(Solid(64, 64, 8, 3))});
  EXPECT_EQ(LoadBytes("a.ico", indexed, nullptr, &cancel).decode, status::kCancelled);
}

}  // namespace
}  // namespace vt
