// The image limits and the relation of a header's size to the file's data:
// the record's edges, then one table of tiny hand-built files per reader, each
// once as a bomb (a header asking for a huge image from a few bytes) and once
// as a truncated file that holds a real share of its data.
#include "image/image_limits.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "formats/builtin_formats.h"
#include "image/format_registry.h"
#include "support/test_support.h"

namespace vt {
namespace {

TEST(ImageLimits, FrameSizeEdges) {
  const uint64_t side = kImageLimits.maxSide;
  struct Case {
    uint64_t width, height;
    uint32_t bytesPerPixel;
    bool within;
  } cases[] = {
      {1, 1, 4, true},
      {0, 1, 4, false},
      {side, 64, 4, true},
      {side + 1, 1, 1, false},
      {1, side + 1, 1, false},
      {32768, 32768, 4, true},   // a gigapixel of 32-bit pixels is the largest plane
      {32768, 32769, 1, false},  // one row more is beyond the pixel cap
      {32768, 16384, 16, false}, // half a gigapixel of float pixels is beyond the bytes
      {32768, 8192, 16, true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(WithinFrameLimits(c.width, c.height, c.bytesPerPixel), c.within)
        << c.width << " x " << c.height << " x " << c.bytesPerPixel;
}

TEST(ImageLimits, PixelDataMustNearlyBeThere) {
  const uint64_t small = kAlwaysPlausibleBytes;
  const uint64_t big = uint64_t{1} << 30;
  struct Case {
    PixelDataClaim claim;
    bool plausible;
  } cases[] = {
      {{small, 0, kStoredPlain}, true},  // a header alone may ask for this much
      {{small + 1, 0, kStoredPlain}, false},
      {{big, big / kTruncatedShare, kStoredPlain}, true},
      {{big, big / kTruncatedShare - 1, kStoredPlain}, false},
      // At 128:2 the fewest bytes are a 64th of the image.
      {{big, big / 64 / kTruncatedShare, {128, 2}}, true},
      {{big, big / 64 / kTruncatedShare - 1, {128, 2}}, false},
      {{big, 0, kNoRatioBound}, true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(PixelDataPlausible(c.claim), c.plausible)
        << c.claim.declared << " from " << c.claim.present;
}

// ---- files ------------------------------------------------------------------

class Bytes {
 public:
  Bytes& U8(uint32_t v) { return Put(v, 1, false); }
  Bytes& U16(uint32_t v) { return Put(v, 2, false); }
  Bytes& U32(uint32_t v) { return Put(v, 4, false); }
  Bytes& U16BE(uint32_t v) { return Put(v, 2, true); }
  Bytes& U32BE(uint32_t v) { return Put(v, 4, true); }
  Bytes& Text(const std::string& t) {
    s += t;
    return *this;
  }
  Bytes& Fill(size_t n, uint8_t v = 0x5A) {
    s.append(n, static_cast<char>(v));
    return *this;
  }
  std::string s;

 private:
  Bytes& Put(uint32_t v, int n, bool bigEndian) {
    for (int i = 0; i < n; ++i) {
      const int shift = 8 * (bigEndian ? n - 1 - i : i);
      s.push_back(static_cast<char>(v >> shift));
    }
    return *this;
  }
};

// Each builder makes a file whose header declares w x h and that holds `data`
// bytes of pixel data after it.
using Builder = std::function<std::string(uint32_t w, uint32_t h, size_t data)>;

std::string Bmp(uint32_t w, uint32_t h, size_t data) {
  Bytes b;
  b.Text("BM").U32(uint32_t(54 + data)).U32(0).U32(54);
  b.U32(40).U32(w).U32(h).U16(1).U16(24).U32(0).U32(0).U32(0).U32(0).U32(0).U32(0);
  return b.Fill(data).s;
}

std::string Psd(uint32_t w, uint32_t h, size_t data, uint16_t compression) {
  Bytes b;
  b.Text("8BPS").U16BE(1).Fill(6, 0).U16BE(3).U32BE(h).U32BE(w).U16BE(8).U16BE(3);
  b.U32BE(0).U32BE(0).U32BE(0).U16BE(compression);
  // Run-length data: literal codes of one byte each.
  return b.Fill(data, compression ? 0 : 0x5A).s;
}

std::string Pcx(uint32_t w, uint32_t h, size_t data) {
  Bytes b;
  b.U8(10).U8(5).U8(1).U8(8).U16(0).U16(0).U16(w - 1).U16(h - 1).Fill(53, 0);
  b.U8(1).U16(w).Fill(60, 0);
  return b.Fill(data, 0x11).s;  // literal bytes
}

std::string Tga(uint32_t w, uint32_t h, size_t data) {
  Bytes b;
  b.U8(0).U8(0).U8(10).Fill(5, 0).Fill(4, 0).U16(w).U16(h).U8(24).U8(0);
  for (size_t i = 0; i + 4 <= data; i += 4) b.U8(0x80).Fill(3);  // runs of one pixel
  return b.s;
}

std::string Dds(uint32_t w, uint32_t h, size_t data) {
  Bytes b;
  b.Text("DDS ").U32(124).U32(0x100F).U32(h).U32(w).U32(w * 4).Fill(52, 0);
  b.U32(32).U32(0x41).U32(0).U32(32).U32(0xFF0000).U32(0xFF00).U32(0xFF).U32(0xFF000000u);
  b.U32(0x1000).Fill(16, 0);
  return b.Fill(data).s;
}

std::string Fits(uint32_t w, uint32_t h, size_t data) {
  std::string cards;
  auto card = [&](const std::string& key, const std::string& value) {
    std::string c = key;
    c.resize(8, ' ');
    if (!value.empty()) c += "= " + std::string(20 - value.size(), ' ') + value;
    c.resize(80, ' ');
    cards += c;
  };
  card("SIMPLE", "T");
  card("BITPIX", "16");
  card("NAXIS", "2");
  card("NAXIS1", std::to_string(w));
  card("NAXIS2", std::to_string(h));
  card("END", "");
  cards.resize(2880, ' ');
  return Bytes().Text(cards).Fill(data).s;
}

std::string Hdr(uint32_t w, uint32_t h, size_t data) {
  const std::string header = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y " + std::to_string(h) +
                             " +X " + std::to_string(w) + "\n";
  return Bytes().Text(header).Fill(data, 0x80).s;
}

std::string Iff(uint32_t w, uint32_t h, size_t data) {
  Bytes body;
  body.Text("ILBM").Text("BMHD").U32BE(20).U16BE(w).U16BE(h).U32BE(0).U8(8).U8(0).U8(1).U8(0);
  body.U16BE(0).U8(1).U8(1).U16BE(w).U16BE(h);
  body.Text("BODY").U32BE(uint32_t(data)).Fill(data, 0x05);  // literals of six bytes
  if (data & 1) body.U8(0);
  return Bytes().Text("FORM").U32BE(uint32_t(body.s.size())).Text(body.s).s;
}

std::string Gif(uint32_t w, uint32_t h, size_t data) {
  Bytes b;
  b.Text("GIF89a").U16(w).U16(h).U8(0).U8(0).U8(0);
  b.U8(0x2C).U16(0).U16(0).U16(w).U16(h).U8(0).U8(8);
  for (size_t left = data; left > 0;) {
    const size_t n = std::min<size_t>(left, 255);
    b.U8(uint32_t(n)).Fill(n, 0x00);
    left -= n;
  }
  return b.U8(0).U8(0x3B).s;
}

std::string Png(uint32_t w, uint32_t h, size_t data) {
  Bytes b;
  b.Text("\x89PNG\r\n\x1a\n").U32BE(13).Text("IHDR").U32BE(w).U32BE(h).U8(8).U8(6);
  b.U8(0).U8(0).U8(0).U32BE(0);
  b.U32BE(uint32_t(data)).Text("IDAT").U8(0x78).U8(0x9C).Fill(data - 2, 0).U32BE(0);
  return b.U32BE(0).Text("IEND").U32BE(0).s;
}

std::string Jpeg(uint32_t w, uint32_t h, size_t data) {
  Bytes b;
  b.U8(0xFF).U8(0xD8).U8(0xFF).U8(0xC0).U16BE(11).U8(8).U16BE(h).U16BE(w).U8(1);
  b.U8(1).U8(0x11).U8(0);
  return b.Fill(data, 0x00).U8(0xFF).U8(0xD9).s;
}

std::string Ico(uint32_t w, uint32_t h, size_t data) {
  Bytes b;
  b.U16(0).U16(1).U16(1).U8(0).U8(0).U8(0).U8(0).U16(1).U16(32).U32(uint32_t(40 + data)).U32(22);
  b.U32(40).U32(w).U32(2 * h).U16(1).U16(32).Fill(24, 0);
  return b.Fill(data).s;
}

struct FileCase {
  const char* name;
  Builder build;
  uint32_t width, height;
  size_t data;
  Status open;
};

const FileCase kFiles[] = {
    // A 70-byte bitmap and a 104-byte document that asked for 4 GB and 3.5 GB.
    {"bomb.bmp", Bmp, 32768, 32768, 16, status::kDamaged},
    {"cut.bmp", Bmp, 512, 512, 512 * 512 * 3 / 8, status::kOk},
    {"bomb.psd", [](auto w, auto h, auto d) { return Psd(w, h, d, 0); }, 30000, 30000, 64,
     status::kDamaged},
    {"cut.psd", [](auto w, auto h, auto d) { return Psd(w, h, d, 0); }, 300, 300, 300 * 300,
     status::kOk},
    {"bomb-rle.psd", [](auto w, auto h, auto d) { return Psd(w, h, d, 1); }, 8192, 8192, 4096,
     status::kDamaged},
    {"cut-rle.psd", [](auto w, auto h, auto d) { return Psd(w, h, d, 1); }, 1024, 1024, 8192,
     status::kOk},
    {"bomb.pcx", Pcx, 32768, 32768, 64, status::kDamaged},
    {"cut.pcx", Pcx, 1024, 1024, 8192, status::kOk},
    {"bomb.tga", Tga, 16384, 16384, 64, status::kDamaged},
    {"cut.tga", Tga, 1024, 1024, 4096, status::kOk},
    {"bomb.dds", Dds, 16384, 16384, 0, status::kDamaged},
    {"cut.dds", Dds, 512, 512, 512 * 512, status::kOk},
    {"bomb.fits", Fits, 30000, 30000, 0, status::kDamaged},
    {"cut.fits", Fits, 512, 512, 512 * 512 * 2 / 8, status::kOk},
    {"bomb.hdr", Hdr, 16384, 16384, 8, status::kDamaged},
    {"cut.hdr", Hdr, 16384, 16384, 4096, status::kOk},
    {"bomb.iff", Iff, 30000, 30000, 16, status::kDamaged},
    {"cut.iff", Iff, 1024, 1024, 16384, status::kOk},
    {"bomb.gif", Gif, 32768, 32768, 16, status::kDamaged},
    {"cut.gif", Gif, 4096, 4096, 1024, status::kOk},
    {"bomb.png", Png, 32768, 32768, 16, status::kDamaged},
    {"cut.png", Png, 8192, 8192, 32768, status::kOk},
    {"bomb.jpg", Jpeg, 32768, 32768, 16, status::kDamaged},
    {"cut.jpg", Jpeg, 4096, 4096, 32768, status::kOk},
    {"bomb.ico", Ico, 16384, 16384, 64, status::kDamaged},
    {"cut.ico", Ico, 256, 256, 256 * 256, status::kOk},
};

const FormatRegistry& Registry() {
  static const FormatRegistry* r = [] {
    auto* reg = new FormatRegistry;
    RegisterBuiltinFormats(*reg);
    return reg;
  }();
  return *r;
}

class LimitsOnFiles : public ::testing::TestWithParam<FileCase> {};
class LimitsOnFilesDecode : public ::testing::Test {};

// Bombs fail when the header is read, before any plane exists; a truncated
// file with a real share of its data opens at its declared size and decodes.
TEST_P(LimitsOnFiles, OpenRefusesBombsAndKeepsTruncatedFiles) {
  const FileCase& c = GetParam();
  const std::string bytes = c.build(c.width, c.height, c.data);
  RefPtr<FileSource> source = MakeMemorySource(test::U16(c.name), bytes);
  RefPtr<ImageReader> reader;
  ASSERT_EQ(Registry().OpenReader(source.get(), &reader), c.open) << bytes.size() << " bytes";
  if (Failed(c.open)) return;
  EXPECT_EQ(reader->Width(), c.width);
  EXPECT_EQ(reader->Height(), c.height);
}

// The rows a truncated file holds show, the others are zero.
TEST_F(LimitsOnFilesDecode, TruncatedFilesShowThePartThatArrived) {
  struct Shown {
    const char* name;
    uint32_t rowWithData, rowWithout;
    std::string pixel;  // the first pixel of the row with data
  } const shown[] = {
      {"cut.bmp", 511, 0, "\x5a\x5a\x5a\xff"},
      {"cut.psd", 299, 299, "\x00\x00\x5a\xff"},  // the red channel only arrived
      {"cut.dds", 127, 128, "\x5a\x5a\x5a\x5a"},
      {"cut.fits", 511, 447, "\x5a\xda"},
  };
  for (const Shown& s : shown) {
    const FileCase& c = *std::find_if(std::begin(kFiles), std::end(kFiles), [&](const FileCase& f) {
      return std::string(f.name) == s.name;
    });
    SCOPED_TRACE(s.name);
    RefPtr<ImageReader> reader;
    ASSERT_EQ(Registry().OpenReader(
                  MakeMemorySource(test::U16(c.name), c.build(c.width, c.height, c.data)).get(),
                  &reader),
              status::kOk);
    RefPtr<ImageBuffer> image;
    ASSERT_EQ(MakeTargetBuffer(reader.get(), &image, false, false), status::kOk);
    ASSERT_EQ(reader->DecodeInto(image.get(), false, nullptr, nullptr), status::kOk);
    const size_t n = s.pixel.size();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(image->Row(s.rowWithData)), n), s.pixel);
    if (s.rowWithout != s.rowWithData) {
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(image->Row(s.rowWithout)), n),
                std::string(n, '\0'));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Files, LimitsOnFiles, ::testing::ValuesIn(kFiles),
                         [](const auto& info) {
                           std::string n = info.param.name;
                           for (char& ch : n)
                             if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return n;
                         });

}  // namespace
}  // namespace vt
