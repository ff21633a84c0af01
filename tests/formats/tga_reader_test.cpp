// The TARGA reader on hand-built files: recognition by name and header, header
// refusals, colour maps against pixels, the 2.0 footer, the size check,
// run-length packets and truncated files.
#include <gtest/gtest.h>

#include <cstring>

#include "formats/tga/tga_reader.h"
#include "psd_tga_pcx_support.h"
#include "support/test_support.h"

namespace vt {
namespace {

using test::Put16LE;
using test::Put32LE;

struct Tga {
  std::string id;
  uint8_t mapType = 0;
  uint8_t type = 2;
  uint16_t firstIndex = 0;
  uint16_t mapLength = 0;
  uint8_t entrySize = 0;
  uint16_t width = 2;
  uint16_t height = 2;
  uint8_t depth = 24;
  uint8_t descriptor = 0;
  std::string map;
  std::string pixels;
  std::string trailer;  // after the pixels: extension area, footer, junk
};

std::string Build(const Tga& t) {
  std::string s;
  s.push_back(static_cast<char>(t.id.size()));
  s.push_back(static_cast<char>(t.mapType));
  s.push_back(static_cast<char>(t.type));
  Put16LE(&s, t.firstIndex);
  Put16LE(&s, t.mapLength);
  s.push_back(static_cast<char>(t.entrySize));
  Put32LE(&s, 0);
  Put16LE(&s, t.width);
  Put16LE(&s, t.height);
  s.push_back(static_cast<char>(t.depth));
  s.push_back(static_cast<char>(t.descriptor));
  return s + t.id + t.map + t.pixels + t.trailer;
}

std::string Bytes(std::initializer_list<int> v) {
  std::string s;
  for (int b : v) s.push_back(static_cast<char>(b));
  return s;
}

// A 2.0 footer with an extension area of the given attributes type placed at
// `at` (the file's size before the area).
std::string ExtensionAndFooter(size_t at, int attributes, size_t developer = 0) {
  std::string s(495, '\0');
  s[0] = static_cast<char>(0xEF);
  s[1] = 0x01;  // area size 495
  s[494] = static_cast<char>(attributes);
  Put32LE(&s, static_cast<uint32_t>(at));
  Put32LE(&s, static_cast<uint32_t>(developer));
  s += "TRUEVISION-XFILE.";
  s.push_back('\0');
  return s;
}

test::Loaded Load(const std::string& bytes, const std::u16string& name = u"pic.tga") {
  return test::LoadBytes(bytes, name);
}

Tga Rgb24() {
  Tga t;
  t.pixels = Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  return t;
}

TEST(TgaProbe, NameAndHeaderPlausibility) {
  const std::string good = Build(Rgb24());
  auto probe = [](const std::string& bytes, std::u16string name) {
    return ProbeTga(*MakeMemorySource(std::move(name), bytes));
  };
  EXPECT_EQ(probe(good, u"a.tga"), status::kOk);
  EXPECT_EQ(probe(good, u"C:\\x\\A.TGA"), status::kOk);
  EXPECT_EQ(probe(good, u"a.Targa"), status::kOk);
  EXPECT_EQ(probe(good, u".tga"), status::kUnknownFormat);
  EXPECT_EQ(probe(good, u".targa"), status::kUnknownFormat);
  EXPECT_EQ(probe(good, u"a.bmp"), status::kUnknownFormat);
  EXPECT_EQ(probe(good, u"a.tga.bak"), status::kUnknownFormat);
  // A valid TARGA file named .bmp is not taken as TARGA by the pipeline.
  EXPECT_EQ(Load(good, u"pic.bmp").status, status::kUnknownFormat);

  EXPECT_EQ(probe(good.substr(0, 18), u"a.tga"), status::kUnknownFormat);
  auto with = [&](size_t at, int value) {
    std::string s = good;
    s[at] = static_cast<char>(value);
    return probe(s, u"a.tga");
  };
  EXPECT_EQ(with(17, 0x10), status::kUnknownFormat);  // right to left
  EXPECT_EQ(with(16, 12), status::kUnknownFormat);    // depth
  EXPECT_EQ(with(16, 40), status::kUnknownFormat);
  EXPECT_EQ(with(7, 33), status::kUnknownFormat);     // entry size
  EXPECT_EQ(with(2, 4), status::kUnknownFormat);      // kind
  EXPECT_EQ(with(2, 10), status::kOk);                // run-length true colour
}

TEST(TgaHeader, RefusedSettings) {
  struct Row {
    const char* what;
    void (*edit)(Tga&);
    Status status;
  };
  const Row rows[] = {
      {"interleave", [](Tga& t) { t.descriptor = 0x40; }, status::kUnsupportedSubformat},
      {"map type 2", [](Tga& t) { t.mapType = 2; }, status::kUnsupportedSubformat},
      {"map without length", [](Tga& t) { t.mapType = 1; }, status::kUnsupportedSubformat},
      {"map with true colour",
       [](Tga& t) {
         t.mapType = 1;
         t.mapLength = 1;
         t.entrySize = 24;
         t.map = "abc";
       },
       status::kUnsupportedSubformat},
      {"no image", [](Tga& t) { t.type = 0; }, status::kUnsupportedSubformat},
      {"true colour at 8 bits",
       [](Tga& t) {
         t.depth = 8;
         t.pixels.resize(4);
       },
       status::kDamaged},
      {"grey at 16 bits",
       [](Tga& t) {
         t.type = 3;
         t.depth = 16;
         t.pixels.resize(8);
       },
       status::kDamaged},
      {"mapped at 16 bits",
       [](Tga& t) {
         t.type = 1;
         t.mapType = 1;
         t.mapLength = 1;
         t.entrySize = 24;
         t.map = "abc";
         t.depth = 16;
         t.pixels.resize(8);
       },
       status::kDamaged},
      {"mapped without map",
       [](Tga& t) {
         t.type = 1;
         t.depth = 8;
         t.pixels.resize(4);
       },
       status::kDamaged},
      {"map entries of 8 bits",
       [](Tga& t) {
         t.type = 1;
         t.mapType = 1;
         t.mapLength = 1;
         t.entrySize = 8;
         t.map = "a";
         t.depth = 8;
         t.pixels.resize(4);
       },
       status::kUnsupportedSubformat},
      {"map cut off", [](Tga& t) {
         t.type = 1;
         t.mapType = 1;
         t.mapLength = 200;
         t.entrySize = 24;
         t.map = "abc";
         t.depth = 8;
         t.pixels.clear();
       },
       status::kDamaged},
      {"zero width", [](Tga& t) { t.width = 0; }, status::kUnknownFormat},
  };
  for (const Row& r : rows) {
    Tga t = Rgb24();
    r.edit(t);
    EXPECT_EQ(Load(Build(t)).status, r.status) << r.what;
  }
}

TEST(TgaDecode, PixelsScaleButMapEntriesShift) {
  // White as a 16-bit pixel is 255; as a 16-bit map entry 248.
  Tga px;
  px.depth = 16;
  px.width = 3;
  px.height = 1;
  px.pixels = Bytes({0xFF, 0x7F, 0x1F, 0x00, 0x10, 0x80});
  test::Loaded l = Load(Build(px));
  ASSERT_EQ(l.status, status::kOk);
  EXPECT_EQ(l.reader->Alpha(), AlphaMode::None);
  test::Rgba rgba = test::ToRgba(l.image.get());
  EXPECT_EQ(rgba.data, (std::vector<uint8_t>{255, 255, 255, 255, 0, 0, 255, 255, 0, 0,
                                             16 * 255 / 31, 255}));

  Tga map;
  map.type = 1;
  map.mapType = 1;
  map.firstIndex = 2;
  map.mapLength = 2;
  map.entrySize = 16;
  map.map = Bytes({0xFF, 0x7F, 0x00, 0x7C});
  map.depth = 8;
  map.width = 3;
  map.height = 1;
  map.pixels = Bytes({2, 3, 0});
  l = Load(Build(map));
  ASSERT_EQ(l.status, status::kOk);
  rgba = test::ToRgba(l.image.get());
  EXPECT_EQ(rgba.data,
            (std::vector<uint8_t>{248, 248, 248, 255, 248, 0, 0, 255, 0, 0, 0, 255}));

  // 32-bit map entries carry alpha.
  map.entrySize = 32;
  map.map = Bytes({1, 2, 3, 4, 5, 6, 7, 8});
  l = Load(Build(map));
  ASSERT_EQ(l.status, status::kOk);
  EXPECT_EQ(l.image->Alpha(), AlphaMode::Straight);
  rgba = test::ToRgba(l.image.get());
  EXPECT_EQ(0, std::memcmp(rgba.Pixel(0, 0), "\x03\x02\x01\x04", 4));
  EXPECT_EQ(0, std::memcmp(rgba.Pixel(1, 0), "\x07\x06\x05\x08", 4));
}

TEST(TgaDecode, AlphaFromDescriptorAndFooter) {
  Tga t;
  t.depth = 32;
  t.width = 1;
  t.height = 1;
  t.pixels = Bytes({10, 20, 30, 40});
  // No alpha bits: opaque.
  test::Loaded l = Load(Build(t));
  ASSERT_EQ(l.status, status::kOk);
  EXPECT_EQ(l.image->Alpha(), AlphaMode::None);
  EXPECT_EQ(test::ToRgba(l.image.get()).data, (std::vector<uint8_t>{30, 20, 10, 255}));
  t.descriptor = 8;
  l = Load(Build(t));
  ASSERT_EQ(l.status, status::kOk);
  EXPECT_EQ(l.image->Alpha(), AlphaMode::Straight);
  EXPECT_EQ(0, std::memcmp(l.image->Row(0), "\x0a\x14\x1e\x28", 4));

  // The attributes type of a 2.0 extension area decides.
  const size_t at = Build(t).size();
  const std::pair<int, AlphaMode> kinds[] = {
      {3, AlphaMode::Straight}, {4, AlphaMode::Premultiplied}, {0, AlphaMode::None},
      {2, AlphaMode::None}};
  for (auto [attributes, mode] : kinds) {
    t.trailer = ExtensionAndFooter(at, attributes);
    l = Load(Build(t));
    ASSERT_EQ(l.status, status::kOk) << attributes;
    EXPECT_EQ(l.image->Alpha(), mode) << attributes;
    EXPECT_EQ(l.image->Row(0)[3], mode == AlphaMode::None ? 255 : 40) << attributes;
  }
  // A footer without extension area leaves the header's word.
  t.trailer = std::string(8, '\0') + "TRUEVISION-XFILE." + std::string(1, '\0');
  l = Load(Build(t));
  ASSERT_EQ(l.status, status::kOk);
  EXPECT_EQ(l.image->Alpha(), AlphaMode::Straight);

  // At 16 bits, with alpha, the top bit is all or nothing.
  Tga s;
  s.depth = 16;
  s.width = 2;
  s.height = 1;
  s.pixels = Bytes({0x00, 0x80, 0xFF, 0x7F});
  s.trailer = ExtensionAndFooter(Build(s).size(), 3);
  l = Load(Build(s));
  ASSERT_EQ(l.status, status::kOk);
  const test::Rgba rgba = test::ToRgba(l.image.get());
  EXPECT_EQ(rgba.Pixel(0, 0)[3], 255);
  EXPECT_EQ(rgba.Pixel(1, 0)[3], 0);
}

TEST(TgaHeader, DataSizeMustFitTheImage) {
  Tga t = Rgb24();
  EXPECT_EQ(Load(Build(t)).status, status::kOk);
  // Raw pixels cut short.
  EXPECT_EQ(Load(Build(t).substr(0, 29)).status, status::kUnsupportedSubformat);
  // Up to twice the image plus 1024 bytes of trailing data pass; more do not.
  t.trailer = std::string(12 + 1024, 'j');
  EXPECT_EQ(Load(Build(t)).status, status::kOk);
  t.trailer.push_back('j');
  EXPECT_EQ(Load(Build(t)).status, status::kUnsupportedSubformat);
  t.trailer = std::string(2048, 'j');
  EXPECT_EQ(Load(Build(t)).status, status::kUnsupportedSubformat);
  // A developer area and an extension area after the pixels are not pixel data.
  Tga big = Rgb24();
  const size_t developer = Build(big).size();
  big.trailer = std::string(4000, 'd') + ExtensionAndFooter(developer + 4000, 0, developer);
  EXPECT_EQ(Load(Build(big)).status, status::kOk);
}

TEST(TgaDecode, RowOrderAndGrey) {
  Tga t = Rgb24();
  test::Loaded l = Load(Build(t));
  ASSERT_EQ(l.status, status::kOk);
  // Bottom-up: the first stored row is the last one shown.
  test::Rgba rgba = test::ToRgba(l.image.get());
  EXPECT_EQ(0, std::memcmp(rgba.Pixel(0, 1), "\x03\x02\x01\xff", 4));
  EXPECT_EQ(0, std::memcmp(rgba.Pixel(1, 0), "\x0c\x0b\x0a\xff", 4));
  t.descriptor = 0x20;
  l = Load(Build(t));
  rgba = test::ToRgba(l.image.get());
  EXPECT_EQ(0, std::memcmp(rgba.Pixel(0, 0), "\x03\x02\x01\xff", 4));

  Tga g;
  g.type = 3;
  g.depth = 8;
  g.pixels = Bytes({0, 50, 100, 255});
  l = Load(Build(g));
  ASSERT_EQ(l.status, status::kOk);
  EXPECT_EQ(l.image->Format(), PixelFormat::Gray8);
  EXPECT_EQ(l.reader->Model(), ColourModel::L);
  EXPECT_EQ(0, std::memcmp(l.image->Row(0), "\x64\xff", 2));
  EXPECT_EQ(0, std::memcmp(l.image->Row(1), "\x00\x32", 2));
}

TEST(TgaDecode, RunLengthPacketsCrossRows) {
  Tga t;
  t.type = 10;
  t.depth = 24;
  t.width = 3;
  t.height = 2;
  t.descriptor = 0x20;
  // A run of 4 pixels (row 1 and the first of row 2), then 2 literal pixels.
  t.pixels = Bytes({0x83, 1, 2, 3, 0x01, 4, 5, 6, 7, 8, 9});
  test::Loaded l = Load(Build(t));
  ASSERT_EQ(l.status, status::kOk);
  EXPECT_EQ(*l.image->Properties().Get(PropertyId::Compression), u"RLE");
  const test::Rgba rgba = test::ToRgba(l.image.get());
  const char* want[6] = {"\x03\x02\x01", "\x03\x02\x01", "\x03\x02\x01",
                         "\x03\x02\x01", "\x06\x05\x04", "\x09\x08\x07"};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(0, std::memcmp(rgba.Pixel(i % 3, i / 3), want[i], 3)) << i;
}

TEST(TgaDecode, TruncatedRunLengthGivesThePartThatArrived) {
  Tga t;
  t.type = 10;
  t.depth = 32;
  t.descriptor = 0x28;
  t.width = 3;
  t.height = 3;
  t.pixels = Bytes({0x82, 1, 2, 3, 4, 0x02, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
                    0x83, 17, 18, 19, 20});
  const std::string whole = Build(t);
  const test::Loaded full = Load(whole);
  ASSERT_EQ(full.status, status::kOk);
  auto pixels = [](const test::Loaded& l) {
    std::vector<uint32_t> v;
    for (uint32_t y = 0; y < l.image->Height(); ++y)
      for (uint32_t x = 0; x < l.image->Width(); ++x) {
        uint32_t p;
        std::memcpy(&p, l.image->Row(y) + 4 * x, 4);
        v.push_back(p);
      }
    return v;
  };
  const std::vector<uint32_t> all = pixels(full);
  size_t previous = 0;
  for (size_t n = 0; n <= whole.size(); ++n) {
    const test::Loaded part = Load(whole.substr(0, n));
    if (n < 19) {
      // An empty file cannot even be opened.
      EXPECT_EQ(part.status, n == 0 ? status::kCannotOpenFile : status::kUnknownFormat) << n;
      continue;
    }
    ASSERT_EQ(part.status, status::kOk) << n;
    const std::vector<uint32_t> got = pixels(part);
    size_t k = 0;
    while (k < got.size() && got[k] == all[k]) ++k;
    for (size_t i = k; i < got.size(); ++i) ASSERT_EQ(got[i], 0u) << n;
    EXPECT_GE(k, previous);
    previous = k;
  }
  EXPECT_EQ(previous, all.size());
}

TEST(TgaDecode, CancelStopsTheDecode) {
  CancelFlag cancel;
  cancel.Set();
  EXPECT_EQ(test::LoadBytes(Build(Rgb24()), u"a.tga", false, &cancel).status, status::kCancelled);
}

}  // namespace
}  // namespace vt
