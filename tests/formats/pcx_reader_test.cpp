// The PC Paintbrush reader on hand-built files: header checks, plane layouts,
// where each palette comes from, run-length data and truncated files.
#include <gtest/gtest.h>

#include <cstring>

#include "formats/pcx/pcx_reader.h"
#include "psd_tga_pcx_support.h"
#include "support/test_support.h"

namespace vt {
namespace {

using test::Put16LE;

struct Pcx {
  uint8_t version = 5;
  uint8_t encoding = 0;
  uint8_t bits = 8;
  uint16_t xMin = 0, yMin = 0, xMax = 1, yMax = 1;
  uint8_t planes = 1;
  uint16_t bytesPerLine = 2;
  uint8_t palette[48] = {};  // header palette: bytes 16..63
  uint8_t reserved = 0;      // byte 64
  std::string data;
  std::string tail;
};

std::string Build(const Pcx& p) {
  std::string s;
  s.push_back(10);
  s.push_back(static_cast<char>(p.version));
  s.push_back(static_cast<char>(p.encoding));
  s.push_back(static_cast<char>(p.bits));
  for (uint16_t v : {p.xMin, p.yMin, p.xMax, p.yMax}) Put16LE(&s, v);
  s.append(4, '\0');  // resolution
  s.append(reinterpret_cast<const char*>(p.palette), 48);
  s.push_back(static_cast<char>(p.reserved));
  s.push_back(static_cast<char>(p.planes));
  Put16LE(&s, p.bytesPerLine);
  s.resize(128, '\0');
  return s + p.data + p.tail;
}

std::string Bytes(std::initializer_list<int> v) {
  std::string s;
  for (int b : v) s.push_back(static_cast<char>(b));
  return s;
}

test::Loaded Load(const std::string& bytes) { return test::LoadBytes(bytes, u"pic.pcx"); }

// The colours of the first n palette entries as red, green, blue words.
std::vector<uint32_t> Colours(const test::Loaded& l, int n) {
  std::vector<uint32_t> v;
  RefPtr<ImageBuffer> image = l.image;
  uint32_t* palette = image->Palette();
  for (int i = 0; i < n; ++i) v.push_back(palette ? palette[i] & 0xFFFFFF : 0xDEAD);
  return v;
}
constexpr uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return r << 16 | g << 8 | b; }

TEST(PcxProbe, HeaderChecks) {
  Pcx p;
  p.data = std::string(4, '\0');
  const std::string good = Build(p);
  auto probe = [](const std::string& s) { return ProbePcx(*MakeMemorySource(u"x.pcx", s)); };
  EXPECT_EQ(probe(good), status::kOk);
  EXPECT_EQ(probe(good.substr(0, 127)), status::kUnknownFormat);
  auto with = [&](size_t at, int value) {
    std::string s = good;
    s[at] = static_cast<char>(value);
    return probe(s);
  };
  EXPECT_EQ(with(0, 11), status::kUnknownFormat);  // not the maker byte
  EXPECT_EQ(with(2, 2), status::kUnknownFormat);   // encoding
  EXPECT_EQ(with(65, 0), status::kUnknownFormat);  // no planes
  EXPECT_EQ(with(65, 5), status::kUnknownFormat);  // 40 bits
  EXPECT_EQ(with(4, 9), status::kUnknownFormat);   // x min beyond x max
  EXPECT_EQ(with(6, 9), status::kUnknownFormat);   // y min beyond y max
  // One column and one row: minimum equals maximum.
  Pcx dot = p;
  dot.xMax = 0;
  dot.yMax = 0;
  const test::Loaded l = Load(Build(dot));
  ASSERT_EQ(l.status, status::kOk);
  EXPECT_EQ(l.image->Width(), 1u);
  EXPECT_EQ(l.image->Height(), 1u);
  // Probed under another name too.
  EXPECT_EQ(test::LoadBytes(good, u"x.dat").status, status::kOk);
}

TEST(PcxHeader, PlaneLayouts) {
  struct Row {
    uint8_t bits, planes;
    Status status;
    PixelFormat format = PixelFormat::SameAsSource;
    uint32_t minStride = 0;  // for a width of 21
  };
  const Row rows[] = {
      {1, 1, status::kOk, PixelFormat::Indexed8, 32},
      {1, 4, status::kOk, PixelFormat::Indexed8, 32},
      {1, 8, status::kOk, PixelFormat::Indexed8, 32},
      {2, 1, status::kOk, PixelFormat::Indexed8, 32},
      {4, 1, status::kOk, PixelFormat::Indexed8, 22},
      {8, 1, status::kOk, PixelFormat::Indexed8, 22},
      {8, 3, status::kOk, PixelFormat::Bgra8, 84},
      {8, 4, status::kOk, PixelFormat::Bgra8, 84},
      {32, 1, status::kOk, PixelFormat::Bgra8, 84},
      {4, 2, status::kUnsupportedSubformat},
      {8, 2, status::kUnsupportedSubformat},
      {2, 2, status::kUnsupportedSubformat},
      {16, 1, status::kUnsupportedSubformat},
      {24, 1, status::kUnsupportedSubformat},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << int{r.bits} << " bits, " << int{r.planes} << " planes");
    Pcx p;
    p.bits = r.bits;
    p.planes = r.planes;
    p.xMax = 20;
    p.bytesPerLine = static_cast<uint16_t>((21 * r.bits + 7) / 8);
    RefPtr<FileSource> source = MakeMemorySource(u"a.pcx", Build(p));
    RefPtr<ImageReader> reader = CreatePcxReader(source.get(), nullptr);
    ASSERT_EQ(reader->Open(), r.status);
    if (Failed(r.status)) continue;
    EXPECT_EQ(reader->OutputFormat(), r.format);
    EXPECT_EQ(reader->MinStride(), r.minStride);
    EXPECT_EQ(reader->BitDepth(), uint32_t{r.bits} * r.planes);
    EXPECT_EQ(reader->Alpha(), r.planes == 4 && r.bits == 8 ? AlphaMode::Straight : AlphaMode::None);
  }
  // Planes too short for the width are damage; 0 bytes per line computes them.
  Pcx p;
  p.xMax = 20;
  p.bytesPerLine = 20;
  EXPECT_EQ(Load(Build(p)).status, status::kDamaged);
  p.bytesPerLine = 0;
  p.data = std::string(24 * 2, '\x05');
  const test::Loaded l = Load(Build(p));
  ASSERT_EQ(l.status, status::kOk);
  EXPECT_EQ(l.image->Row(1)[20], 5);
}

TEST(PcxPalette, EndPaletteOnlyWithItsMarker) {
  Pcx p;
  p.data = Bytes({0, 1, 2, 200});
  p.palette[3] = 11;  // header entry 1
  p.palette[4] = 12;
  p.palette[5] = 13;
  std::string end(769, '\0');
  end[0] = 12;
  end[1 + 3 * 200] = static_cast<char>(77);
  end[1 + 3 * 1 + 2] = static_cast<char>(99);
  p.tail = end;
  test::Loaded l = Load(Build(p));
  ASSERT_EQ(l.status, status::kOk);
  EXPECT_EQ(Colours(l, 2)[1], Rgb(0, 0, 99));
  EXPECT_EQ(test::ToRgba(l.image.get()).Pixel(1, 1)[0], 77);

  // Without the marker the header's 16 colours apply, and the last 769 bytes
  // are data (here beyond the image).
  p.tail[0] = 13;
  l = Load(Build(p));
  ASSERT_EQ(l.status, status::kOk);
  EXPECT_EQ(Colours(l, 2)[1], Rgb(11, 12, 13));
  EXPECT_EQ(Colours(l, 201)[200], 0u);

  // Before version 5 the marker means nothing.
  p.tail[0] = 12;
  p.version = 4;
  l = Load(Build(p));
  ASSERT_EQ(l.status, status::kOk);
  EXPECT_EQ(Colours(l, 2)[1], Rgb(11, 12, 13));
}

TEST(PcxPalette, DefaultPalettes) {
  // Version 0: byte 3 is the plane count of 1-bit planes; palette A.
  Pcx v0;
  v0.version = 0;
  v0.bits = 4;
  v0.planes = 9;  // ignored in version 0
  v0.xMax = 7;
  v0.yMax = 0;
  v0.bytesPerLine = 1;
  v0.data = Bytes({0x55, 0x33, 0x0F, 0x00});  // planes 0..3: indices 0 to 7
  test::Loaded l = Load(Build(v0));
  ASSERT_EQ(l.status, status::kOk);
  EXPECT_EQ(l.reader->BitDepth(), 4u);
  EXPECT_EQ(0, std::memcmp(l.image->Row(0), "\x00\x01\x02\x03\x04\x05\x06\x07", 8))
      << "bit k of the index comes from plane k";
  EXPECT_EQ(Colours(l, 16), (std::vector<uint32_t>{
                                Rgb(0, 0, 0), Rgb(255, 255, 255), Rgb(0, 170, 0),
                                Rgb(0, 170, 170), Rgb(170, 0, 0), Rgb(170, 0, 170),
                                Rgb(170, 170, 0), Rgb(170, 170, 170), Rgb(85, 85, 85),
                                Rgb(85, 85, 255), Rgb(85, 255, 85), Rgb(85, 255, 255),
                                Rgb(255, 85, 85), Rgb(255, 85, 255), Rgb(255, 255, 85),
                                Rgb(255, 255, 255)}));

  // 1 bit in one plane: black and white, whatever the header says.
  Pcx mono;
  mono.bits = 1;
  mono.xMax = 7;
  mono.yMax = 0;
  mono.bytesPerLine = 1;
  mono.palette[0] = 40;
  mono.palette[3] = 50;
  mono.data = Bytes({0xA0});
  l = Load(Build(mono));
  ASSERT_EQ(l.status, status::kOk);
  const test::Rgba rgba = test::ToRgba(l.image.get());
  EXPECT_EQ(0, std::memcmp(rgba.Pixel(0, 0), "\xff\xff\xff\xff", 4));
  EXPECT_EQ(0, std::memcmp(rgba.Pixel(1, 0), "\x00\x00\x00\xff", 4));

  // Several 1-bit planes in version 5: the header palette.
  mono.planes = 2;
  mono.data = Bytes({0x80, 0x40});
  l = Load(Build(mono));
  ASSERT_EQ(l.status, status::kOk);
  EXPECT_EQ(0, std::memcmp(l.image->Row(0), "\x01\x02\x00", 3));
  EXPECT_EQ(Colours(l, 2), (std::vector<uint32_t>{Rgb(40, 0, 0), Rgb(50, 0, 0)}));
}

TEST(PcxPalette, FourColourSets) {
  struct Row {
    uint8_t version, byte16, byte19, byte64;
    int background, a, b, c;  // entries of palette B
  };
  const Row rows[] = {
      {5, 0x10, 0x00, 0, 1, 3, 5, 7},     {5, 0x20, 0x20, 0, 2, 11, 13, 15},
      {5, 0x00, 0x40, 0, 0, 2, 4, 6},     {5, 0xF0, 0x60, 0, 15, 10, 12, 14},
      {4, 0x00, 0x00, 5, 0, 3, 4, 7},     {4, 0x00, 0x60, 5, 0, 11, 12, 15},
      {5, 0x00, 0x00, 5, 0, 3, 5, 7},  // the old third set needs version below 5
  };
  constexpr uint32_t kB[16] = {
      Rgb(0, 0, 0),     Rgb(0, 0, 170),    Rgb(0, 170, 0),    Rgb(0, 170, 170),
      Rgb(170, 0, 0),   Rgb(170, 0, 170),  Rgb(170, 85, 0),   Rgb(170, 170, 170),
      Rgb(85, 85, 85),  Rgb(85, 85, 255),  Rgb(85, 255, 85),  Rgb(85, 255, 255),
      Rgb(255, 85, 85), Rgb(255, 85, 255), Rgb(255, 255, 85), Rgb(255, 255, 255)};
  for (const Row& r : rows) {
    Pcx p;
    p.version = r.version;
    p.bits = 2;
    p.xMax = 3;
    p.yMax = 0;
    p.bytesPerLine = 1;
    p.palette[0] = r.byte16;
    p.palette[3] = r.byte19;
    p.reserved = r.byte64;
    p.data = Bytes({0x1B});  // 0 1 2 3
    const test::Loaded l = Load(Build(p));
    ASSERT_EQ(l.status, status::kOk);
    EXPECT_EQ(0, std::memcmp(l.image->Row(0), "\x00\x01\x02\x03", 4));
    EXPECT_EQ(Colours(l, 4), (std::vector<uint32_t>{kB[r.background], kB[r.a], kB[r.b], kB[r.c]}))
        << int{r.version} << " " << int{r.byte16} << " " << int{r.byte19};
    EXPECT_EQ(l.reader->Frame().background & 0xFFFFFF, kB[r.background]);
  }
}

TEST(PcxDecode, TrueColourPlanes) {
  Pcx p;
  p.planes = 3;
  p.xMax = 2;
  p.yMax = 0;
  p.bytesPerLine = 4;  // even, one byte of padding per plane
  p.data = Bytes({1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0});
  test::Loaded l = Load(Build(p));
  ASSERT_EQ(l.status, status::kOk);
  EXPECT_EQ(test::ToRgba(l.image.get()).data,
            (std::vector<uint8_t>{1, 4, 7, 255, 2, 5, 8, 255, 3, 6, 9, 255}));
  p.planes = 4;
  p.data += Bytes({10, 20, 30, 0});
  l = Load(Build(p));
  ASSERT_EQ(l.status, status::kOk);
  EXPECT_EQ(l.image->Alpha(), AlphaMode::Straight);
  EXPECT_EQ(0, std::memcmp(l.image->Row(0), "\x07\x04\x01\x0a\x08\x05\x02\x14", 8));

  // 32 bits in one plane: blue, green, red and an unused byte.
  Pcx q;
  q.bits = 32;
  q.xMax = 1;
  q.yMax = 0;
  q.bytesPerLine = 8;
  q.data = Bytes({1, 2, 3, 9, 4, 5, 6, 9});
  l = Load(Build(q));
  ASSERT_EQ(l.status, status::kOk);
  EXPECT_EQ(0, std::memcmp(l.image->Row(0), "\x01\x02\x03\xff\x04\x05\x06\xff", 8));

  // 4 bits: two pixels a byte, high nibble first.
  Pcx n;
  n.bits = 4;
  n.xMax = 2;
  n.yMax = 0;
  n.bytesPerLine = 2;
  n.data = Bytes({0x1F, 0xA0});
  l = Load(Build(n));
  ASSERT_EQ(l.status, status::kOk);
  EXPECT_EQ(0, std::memcmp(l.image->Row(0), "\x01\x0f\x0a", 3));
}

TEST(PcxDecode, RunsCrossRows) {
  Pcx p;
  p.encoding = 1;
  p.xMax = 2;
  p.yMax = 1;
  p.bytesPerLine = 4;
  // A run of 5 over the first row (3 pixels and a padding byte) into the next,
  // an empty run, then literals.
  p.data = Bytes({0xC5, 0xC8, 0xC0, 0x33, 0x07, 0x08, 0x09});
  test::Loaded l = Load(Build(p));
  ASSERT_EQ(l.status, status::kOk);
  EXPECT_EQ(*l.image->Properties().Get(PropertyId::Compression), u"RLE");
  EXPECT_EQ(0, std::memcmp(l.image->Row(0), "\xc8\xc8\xc8", 3));
  EXPECT_EQ(0, std::memcmp(l.image->Row(1), "\xc8\x07\x08", 3));
}

void CheckPrefixes(const Pcx& p) {
  const std::string whole = Build(p);
  const test::Loaded full = Load(whole);
  ASSERT_EQ(full.status, status::kOk);
  auto indices = [](const test::Loaded& l) {
    std::vector<uint8_t> v;
    for (uint32_t y = 0; y < l.image->Height(); ++y)
      v.insert(v.end(), l.image->Row(y), l.image->Row(y) + l.image->Width());
    return v;
  };
  const std::vector<uint8_t> all = indices(full);
  size_t previous = 0;
  for (size_t n = 0; n <= whole.size(); ++n) {
    const test::Loaded part = Load(whole.substr(0, n));
    if (n < 128) {
      // An empty file cannot even be opened.
      EXPECT_EQ(part.status, n == 0 ? status::kCannotOpenFile : status::kUnknownFormat) << n;
      continue;
    }
    ASSERT_EQ(part.status, status::kOk) << n;
    const std::vector<uint8_t> got = indices(part);
    size_t k = 0;
    while (k < got.size() && got[k] == all[k]) ++k;
    for (size_t i = k; i < got.size(); ++i) ASSERT_EQ(got[i], 0) << n;
    EXPECT_GE(k, previous) << n;
    previous = k;
  }
  EXPECT_EQ(previous, all.size());
}

TEST(PcxDecode, TruncatedFilesGiveThePartThatArrived) {
  Pcx raw;
  raw.xMax = 3;
  raw.yMax = 2;
  raw.bytesPerLine = 4;
  for (int i = 1; i <= 12; ++i) raw.data.push_back(static_cast<char>(i * 3));
  CheckPrefixes(raw);
  Pcx rle = raw;
  rle.encoding = 1;
  rle.data = Bytes({0xC6, 9, 0x01, 0x02, 0xC3, 0xC1, 0x05});
  CheckPrefixes(rle);
}

TEST(PcxDecode, CancelStopsTheDecode) {
  Pcx p;
  p.data = std::string(4, '\x01');
  CancelFlag cancel;
  cancel.Set();
  EXPECT_EQ(test::LoadBytes(Build(p), u"a.pcx", false, &cancel).status, status::kCancelled);
}

}  // namespace
}  // namespace vt
