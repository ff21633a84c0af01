// The icon and DirectDraw surface readers on files built here: the probes and
// refusals, which icon entry is shown, the transparent index of indexed icons,
// and the exact arithmetic of the block and bit-mask surfaces (the corpus
// table compares with a reference that rounds differently).
#include "formats/dds/dds_reader.h"
#include "formats/ico/ico_reader.h"
#include "reader_test_util.h"

namespace vt {
namespace {

using test::Le;

// One bitmap entry: indices (1, 4, 8 bits) or 0xAARRGGBB (16, 24, 32 bits), rows
// top to bottom; mask 1 = transparent.
struct Bitmap {
  int32_t width = 1, height = 1;
  uint16_t planes = 1, bpp = 32;
  std::vector<uint32_t> palette, pixels;
  std::vector<uint8_t> mask;
  std::string Build() const {
    std::string s = Le(40, 4) + Le(width, 4) + Le(height * 2, 4) + Le(planes, 2) + Le(bpp, 2) +
                    std::string(24, '\0');
    for (uint32_t i = 0; bpp <= 8 && i < (1u << bpp); ++i)
      s += Le(i < palette.size() ? palette[i] : 0, 4);
    const size_t rowBytes = (size_t(width) * bpp + 31) / 32 * 4,
                 maskBytes = (size_t(width) + 31) / 32 * 4;
    for (int32_t y = height - 1; y >= 0; --y) {
      std::string row(rowBytes, '\0');
      for (int32_t x = 0; x < width; ++x) {
        const uint32_t v = pixels[size_t(y) * width + x];
        if (bpp > 8) {
          row.replace(size_t(x) * (bpp / 8), bpp / 8, Le(v, bpp / 8));
        } else {
          const int per = 8 / bpp;
          row[x / per] = static_cast<char>(row[x / per] | v << (8 - bpp * (x % per + 1)));
        }
      }
      s += row;
    }
    for (int32_t y = height - 1; y >= 0; --y) {
      std::string row(maskBytes, '\0');
      for (int32_t x = 0; x < width && !mask.empty(); ++x)
        if (mask[size_t(y) * width + x])
          row[x / 8] = static_cast<char>(row[x / 8] | 0x80 >> (x % 8));
      s += row;
    }
    return s;
  }
};

Bitmap Solid(int32_t w, int32_t h, uint16_t bpp, uint32_t value) {
  Bitmap b;
  b.width = w;
  b.height = h;
  b.bpp = bpp;
  b.pixels.assign(size_t(w) * h, value);
  if (bpp <= 8) b.palette.assign(1u << bpp, 0x102030);
  return b;
}

std::string Icon(const std::vector<std::string>& images, uint16_t type = 1) {
  std::string s = Le(0, 2) + Le(type, 2) + Le(images.size(), 2), data;
  for (const std::string& image : images) {
    s += std::string(8, '\0') + Le(image.size(), 4) + Le(6 + 16 * images.size() + data.size(), 4);
    data += image;
  }
  return s + data;
}

test::Loaded Load(const std::string& bytes, const char16_t* name = u"a.ico") {
  return test::Load(bytes, name);
}

TEST(IcoReader, ProbeAndRefusals) {
  const std::string good = Icon({Solid(2, 2, 32, 0xFF00FF00).Build()});
  auto probe = [](const char16_t* name, const std::string& bytes) {
    return ProbeIco(*MakeMemorySource(name, bytes));
  };
  for (const char16_t* name : {u"a.ico", u"a.ICO", u"dir.x/a.Cur"})
    EXPECT_EQ(probe(name, good), status::kOk);
  for (const char16_t* name : {u"a.bmp", u"aico"})
    EXPECT_EQ(probe(name, good), status::kUnknownFormat);
  EXPECT_EQ(probe(u"a.ico", good.substr(0, 61)), status::kUnknownFormat);
  for (auto [at, value] : {std::pair{0, 1}, {2, 0}, {2, 3}, {4, 0}, {4, 100}})
    EXPECT_EQ(probe(u"a.ico", good.substr(0, at) + Le(value, 2) + good.substr(at + 2)),
              status::kUnknownFormat);
  EXPECT_TRUE(
      Load(good.substr(0, 4) + Le(99, 2) + good.substr(6)).Ok());  // entries beyond the file
  EXPECT_EQ(Load(good, u"a.dat").status, status::kUnknownFormat);  // not probed under another name
  const std::string tiny = Icon({Solid(1, 1, 1, 0).Build()});
  const std::string beyond = Icon({Solid(4, 4, 32, 0).Build()});
  EXPECT_EQ(Load(Icon({Solid(4, 4, 16, 0).Build()})).status, status::kUnsupportedSubformat);
  EXPECT_EQ(Load(tiny.substr(0, 26) + Le(65535, 4) + Le(65535 * 2, 4) + tiny.substr(34)).status,
            status::kUnsupportedSubformat);  // 4 giga-pixels from a tiny file
  EXPECT_EQ(Load(beyond.substr(0, 18) + Le(1000, 4) + beyond.substr(22)).status, status::kDamaged);
}

TEST(IcoReader, TheEntryLargerInSizeAndDepthWins) {
  const std::string small32 = Solid(16, 16, 32, 0xFF0000FF).Build(),
                    large8 = Solid(32, 32, 8, 0).Build();
  const std::string png16 = test::SolidPng(16, 16, 0xFF00FF00),
                    png32 = test::SolidPng(32, 32, 0x80FF0000);
  Bitmap twoPlanes = Solid(64, 64, 32, 0xFF333333);
  twoPlanes.planes = 2;
  const struct {
    std::vector<std::string> entries;
    uint32_t width, depth, pixel;
  } kCases[] = {
      {{small32, large8}, 16, 32, 0xFF0000FF},  // larger but shallower does not win
      {{large8, small32}, 32, 8, 0xFF102030},
      {{Solid(8, 8, 32, 0xFF111111).Build(), Solid(8, 8, 32, 0xFF222222).Build()},
       8,
       32,
       0xFF222222},                                        // a tie
      {{small32, twoPlanes.Build()}, 16, 32, 0xFF0000FF},  // what cannot be shown never competes
      {{png16, png32}, 16, 32, 0xFF00FF00},                // same depth, larger: not enough
      {{png16, small32}, 16, 32, 0xFF0000FF},              // at least as large in all three
      {{Solid(8, 8, 1, 0).Build(), png32}, 32, 32, 0x80FF0000},
  };
  for (const auto& c : kCases) {
    test::Loaded l = Load(Icon(c.entries));
    ASSERT_TRUE(l.Ok());
    EXPECT_EQ(l.reader->Width(), c.width);
    EXPECT_EQ(l.reader->BitDepth(), c.depth);
    EXPECT_EQ(l.Px(3, 3), c.pixel);
  }
  EXPECT_EQ(test::U8(*Load(Icon({png16})).image->Properties().Get(PropertyId::Compression)),
            "PNG/Inflate");
  // A PNG stream cut by its entry's size is read only within it.
  const std::string cut = Icon({png32});
  const test::Loaded l = Load(cut.substr(0, 14) + Le(png32.size() - 20, 4) + cut.substr(18));
  EXPECT_TRUE(!l.Ok() || l.image->Width() == 32u);
}

TEST(IcoReader, TheTransparentIndex) {
  // 1 and 4 bits: the first index after the palette.
  for (uint16_t bpp : {1, 4}) {
    Bitmap b = Solid(9, 3, bpp, 1);
    b.palette[0] = 0x0000FF;
    b.palette[1] = 0xFF8000;
    b.pixels[0] = 0;
    b.mask.assign(27, 0);
    b.mask[4] = b.mask[26] = 1;
    test::Loaded l = Load(Icon({b.Build()}));
    ASSERT_TRUE(l.Ok()) << bpp;
    EXPECT_EQ(l.reader->MinStride(), bpp == 1 ? 32u : 16u);
    const uint8_t transparent = static_cast<uint8_t>(1u << bpp);
    EXPECT_EQ(l.image->Palette()[transparent], 0x00FFFFFFu);
    EXPECT_EQ(l.RawRow(0, 5), test::B({0, 1, 1, 1, transparent}));
    EXPECT_EQ(l.RawRow(2, 9)[8], transparent);
    EXPECT_EQ(l.image->Alpha(), AlphaMode::Straight);
  }
  // 8 bits: the highest index no opaque pixel uses (here 255; 253 is in use).
  Bitmap b;
  b.width = b.height = 16;
  b.bpp = 8;
  for (uint32_t i = 0; i < 256; ++i)
    b.palette.push_back(i * 0x010101 ^ 0x800000), b.pixels.push_back(i);
  b.mask.assign(256, 0);
  b.mask[255] = b.mask[254] = b.mask[7] = 1;
  test::Loaded l = Load(Icon({b.Build()}));
  EXPECT_EQ(l.image->Palette()[255], 0x00FFFFFFu);
  EXPECT_EQ(l.RawRow(0, 8)[7], '\xFF');
  EXPECT_EQ(l.RawRow(15, 16).substr(13), std::string("\xFD\xFF\xFF", 3));
  EXPECT_EQ(l.image->Palette()[254], 0xFF000000u | (254u * 0x010101 ^ 0x800000));
  // Every index in an opaque pixel: no transparency at all, even under the mask.
  b.height = 17;
  b.pixels.resize(16 * 17, 9);
  b.mask.assign(16 * 17, 0);
  b.mask[256] = 1;
  l = Load(Icon({b.Build()}));
  for (uint32_t y = 0; y < 17; ++y)
    for (uint32_t x = 0; x < 16; ++x) ASSERT_EQ(l.Px(x, y) >> 24, 0xFFu) << x << "," << y;
}

struct Surface {
  uint32_t width = 4, height = 4, flags = 0x1007, pitch = 0, pixelFlags = 0x4;
  std::string fourCc = "DXT1";
  uint32_t bits = 0, masks[4] = {}, caps = 0x1000;
  std::string data;
  std::string Build() const {
    std::string b =
        "DDS " + Le(124, 4) + Le(flags, 4) + Le(height, 4) + Le(width, 4) + Le(pitch, 4);
    b += std::string(76 - b.size(), '\0') + Le(32, 4) + Le(pixelFlags, 4) +
         (fourCc + "\0\0\0\0").substr(0, 4) + Le(bits, 4) + Le(masks[0], 4) + Le(masks[1], 4) +
         Le(masks[2], 4) + Le(masks[3], 4) + Le(caps, 4);
    return b + std::string(128 - b.size(), '\0') + data;
  }
};

std::string ColourBlock(uint16_t c0, uint16_t c1, uint32_t indices) {
  return Le(c0, 2) + Le(c1, 2) + Le(indices, 4);
}
uint32_t Bgra(uint32_t b, uint32_t g, uint32_t r, uint32_t a) {
  return b | g << 8 | r << 16 | a << 24;
}

TEST(DdsReader, ProbeAndRefusals) {
  Surface s;
  s.data = ColourBlock(0xFFFF, 0, 0);
  const std::string good = s.Build();
  EXPECT_EQ(ProbeDds(*MakeMemorySource(u"x", good)), status::kOk);
  EXPECT_EQ(ProbeDds(*MakeMemorySource(u"x", good.substr(0, 127))), status::kUnknownFormat);
  EXPECT_EQ(ProbeDds(*MakeMemorySource(u"x", "DDS!" + good.substr(4))), status::kUnknownFormat);
  auto with = [&s](auto edit) {
    Surface t = s;
    edit(t);
    return test::Load(t.Build(), u"a.dds").status;
  };
  EXPECT_EQ(with([](Surface& t) { t.caps = 0x8; }), status::kUnsupportedSubformat);  // no texture
  for (const char* code : {"DXT6", "ATI1", "DX10", "BC7U"})
    EXPECT_EQ(with([code](Surface& t) { t.fourCc = code; }), status::kUnsupportedSubformat) << code;
  for (uint32_t bits : {8u, 33u, 64u})
    EXPECT_EQ(with([bits](Surface& t) { t.pixelFlags = 0x40, t.bits = bits; }),
              status::kUnsupportedSubformat);
  EXPECT_EQ(with([](Surface& t) { t.pixelFlags = 0x20000; }),
            status::kUnsupportedSubformat);  // luminance
  EXPECT_EQ(with([](Surface& t) { t.width = 0; }), status::kDamaged);
  EXPECT_EQ(with([](Surface& t) { t.width = t.height = 1u << 20; }),
            status::kDamaged);  // a terapixel
}

TEST(DdsReader, BlockArithmetic) {
  // c0 = red 31, green 63 against c1 = blue 1: four colours when c0 > c1,
  // three and transparent black otherwise. 5 and 6 bits widen as v * 255 / max.
  const uint16_t c0 = 31 << 11 | 63 << 5, c1 = 1;
  const uint32_t b1 = (255 + 15) / 31;
  const uint32_t four[4] = {Bgra(0, 255, 255, 255), Bgra(b1, 0, 0, 255),
                            Bgra((b1 + 1) / 3, (2 * 255 + 1) / 3, (2 * 255 + 1) / 3, 255),
                            Bgra((2 * b1 + 1) / 3, (255 + 1) / 3, (255 + 1) / 3, 255)};
  Surface s;
  s.width = 6;  // two blocks across, half of the second outside the image
  s.height = 3;
  s.data = ColourBlock(c0, c1, 0xE4E4E4E4) + ColourBlock(c1, c0, 0xE4E4E4E4);
  test::Loaded l = test::Load(s.Build(), u"a.dds");
  ASSERT_TRUE(l.Ok());
  EXPECT_EQ(l.reader->BitDepth(), 23u);
  EXPECT_EQ(l.reader->MinStride(), 32u);
  EXPECT_EQ(l.reader->MinRows(), 4u);
  for (uint32_t x = 0; x < 4; ++x) EXPECT_EQ(l.Px(x, 2), four[x]) << x;
  uint32_t block[16];
  const std::string three = ColourBlock(c1, c0, 0xFFFFFFFE);
  DecodeDdsBlock(DdsBlockKind::Dxt1, reinterpret_cast<const uint8_t*>(three.data()), block);
  EXPECT_EQ(block[0], Bgra((b1 + 1) / 2, 128, 128, 255));
  EXPECT_EQ(block[1], 0u);
  // The formats with alpha of their own always use four colours; DXT3 alpha
  // nibble n is 17 n.
  std::string explicitAlpha;
  for (int i = 0; i < 8; ++i) explicitAlpha.push_back(static_cast<char>((2 * i + 1) << 4 | 2 * i));
  explicitAlpha += three;
  DecodeDdsBlock(DdsBlockKind::ExplicitAlpha,
                 reinterpret_cast<const uint8_t*>(explicitAlpha.data()), block);
  EXPECT_EQ(block[0], Bgra((2 * b1 + 1) / 3, (255 + 1) / 3, (255 + 1) / 3, 0));
  for (uint32_t i = 0; i < 16; ++i) EXPECT_EQ(block[i] >> 24, i * 17) << i;
  // DXT5: the eight-value and the six-value ramp; indices 0..7 then 7..0.
  for (auto [a0, a1] : {std::pair{200u, 10u}, {10u, 200u}, {0u, 0u}, {255u, 254u}}) {
    uint64_t indices = 0;
    for (uint64_t i = 0; i < 16; ++i) indices |= (i < 8 ? i : 15 - i) << (3 * i);
    const std::string b = test::B({int(a0), int(a1)}) + Le(indices, 6) + ColourBlock(0, 0, 0);
    DecodeDdsBlock(DdsBlockKind::InterpolatedAlpha, reinterpret_cast<const uint8_t*>(b.data()),
                   block);
    uint32_t want[8] = {a0, a1, 0, 0, 0, 0, 0, 255};
    for (uint32_t k = 1; k <= 6; ++k)
      if (a0 > a1)
        want[k + 1] = ((7 - k) * a0 + k * a1 + 3) / 7;
      else if (k <= 4)
        want[k + 1] = ((5 - k) * a0 + k * a1 + 2) / 5;
    for (uint32_t i = 0; i < 16; ++i)
      EXPECT_EQ(block[i] >> 24, want[i < 8 ? i : 15 - i]) << a0 << " " << i;
  }
  // DXT2 and DXT4 (which no encoder at hand writes) are premultiplied.
  for (const char* code : {"DXT2", "DXT3", "DXT4", "DXT5"}) {
    Surface t;
    t.fourCc = code;
    t.width = t.height = 5;
    for (int i = 0; i < 4; ++i) t.data += std::string(8, '\x77') + ColourBlock(0xF800, 0x001F, 0);
    l = test::Load(t.Build(), u"a.dds");
    ASSERT_TRUE(l.Ok()) << code;
    const bool premultiplied = code[3] == '2' || code[3] == '4';
    EXPECT_EQ(l.reader->BitDepth(), premultiplied ? 26u : 30u) << code;
    EXPECT_EQ(l.reader->Alpha(), premultiplied ? AlphaMode::Premultiplied : AlphaMode::Straight);
  }
}

TEST(DdsReader, BitMaskArithmetic) {
  // 16-bit 5-6-5, v * 255 / (2^n - 1) truncated; rows padded to 4 bytes
  // without the pitch flag.
  Surface s;
  s.pixelFlags = 0x40;
  s.bits = 16;
  s.masks[0] = 0xF800;
  s.masks[1] = 0x07E0;
  s.masks[2] = 0x001F;
  s.width = 3;
  s.height = 2;
  s.data = Le(0x0801, 2) + Le(0x0020, 2) + Le(0xFFFF, 2) + ".." + Le(0x1003, 2) + Le(0, 2) +
           Le(0x07E0, 2) + "..";
  test::Loaded l = test::Load(s.Build(), u"a.dds");
  ASSERT_TRUE(l.Ok());
  EXPECT_EQ(l.image->Alpha(), AlphaMode::None);
  EXPECT_EQ(l.Px(0, 0), Bgra(255 / 31, 0, 255 / 31, 255));
  EXPECT_EQ(l.Px(1, 0), Bgra(0, 255 / 63, 0, 255));
  EXPECT_EQ(l.Px(0, 1), Bgra(3 * 255 / 31, 0, 2 * 255 / 31, 255));
  // 10-10-10-2 with alpha, the pitch flag and wide rows; a zero mask; and
  // premultiplied by its flag.
  Surface a;
  a.pixelFlags = 0x41;
  a.bits = 32;
  a.flags |= 0x8;
  a.pitch = 12;
  a.width = a.height = 2;
  a.masks[0] = 0x3FF00000;
  a.masks[1] = 0x000FFC00;
  a.masks[2] = 0x000003FF;
  a.masks[3] = 0xC0000000;
  a.data = Le(0x7FFFFFFF, 4) + Le(0x80000000u | 1023u << 20, 4) + Le(0xDEADBEEF, 4) +
           Le(1023u << 10, 4) + Le(0xC0000000u | 512u, 4);
  l = test::Load(a.Build(), u"a.dds");
  EXPECT_EQ(l.image->Alpha(), AlphaMode::Straight);
  EXPECT_EQ(l.Px(0, 0), Bgra(255, 255, 255, 255 / 3));
  EXPECT_EQ(l.Px(1, 0), Bgra(0, 0, 255, 2 * 255 / 3));
  EXPECT_EQ(l.Px(0, 1), Bgra(0, 255, 0, 0));
  EXPECT_EQ(l.Px(1, 1), Bgra(512 * 255 / 1023, 0, 0, 255));
  a.pixelFlags = 0x40;
  a.masks[1] = 0;
  l = test::Load(a.Build(), u"a.dds");
  EXPECT_EQ(l.image->Alpha(), AlphaMode::None);
  EXPECT_EQ(l.Px(0, 0), Bgra(255, 0, 255, 255));
  a.pixelFlags = 0x8041;
  EXPECT_EQ(test::Load(a.Build(), u"a.dds").image->Alpha(), AlphaMode::Premultiplied);
  // Blocks the file does not hold are transparent black.
  Surface cut;
  cut.fourCc = "DXT5";
  cut.width = 9;
  cut.height = 6;
  for (int i = 0; i < 6; ++i)
    cut.data += std::string("\xFF\x00", 2) + std::string(6, '\0') + ColourBlock(0xFFFF, 0xFFFF, 0);
  const std::string whole = cut.Build();
  l = test::Load(whole.substr(0, whole.size() - 20), u"a.dds");
  EXPECT_EQ(l.Px(0, 5), 0xFFFFFFFFu);
  EXPECT_EQ(l.Px(8, 5), 0u);
}

}  // namespace
}  // namespace vt
