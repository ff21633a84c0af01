// The PSD, TARGA and PC Paintbrush readers on hand-built files: what each
// refuses, the layouts they report, and the rules no sample file pins down
// (PackBits no-ops, TARGA's alpha sources and size check, PC Paintbrush's
// palettes). Real files are checked in the corpus table.
#include <cstring>

#include "formats/pcx/pcx_reader.h"
#include "formats/psd/psd_reader.h"
#include "formats/tga/tga_reader.h"
#include "reader_test_util.h"

namespace vt {
namespace {

using test::B;
using test::Be;
using test::Le;

struct Psd {
  uint16_t version = 1, channels = 3;
  uint32_t width = 2, height = 2;
  uint16_t bits = 8, mode = 3;
  std::string colourData, resources, layers;
  uint16_t compression = 0;
  std::string data = std::string(12, '\0');
  std::string Build() const {
    return "8BPS" + Be(version, 2) + std::string(6, '\0') + Be(channels, 2) + Be(height, 4) +
           Be(width, 4) + Be(bits, 2) + Be(mode, 2) + Be(colourData.size(), 4) + colourData +
           Be(resources.size(), 4) + resources + (version == 2 ? Be(0, 4) : "") +
           Be(layers.size(), 4) + layers + Be(compression, 2) + data;
  }
};

TEST(PsdReader, ModesDepthsAndRefusals) {
  const struct {
    uint16_t mode, bits, channels;
    PixelFormat format;
    ColourModel model;
    AlphaMode alpha = AlphaMode::None;
  } kRows[] = {
      {1, 8, 1, PixelFormat::Gray8, ColourModel::L},
      {1, 16, 1, PixelFormat::Gray16, ColourModel::L},
      {1, 32, 2, PixelFormat::GrayFloat, ColourModel::L},
      {8, 8, 1, PixelFormat::Gray8, ColourModel::L},
      {2, 8, 1, PixelFormat::Indexed8, ColourModel::Rgb, AlphaMode::Straight},
      {3, 8, 3, PixelFormat::Bgra8, ColourModel::Rgb},
      {3, 8, 4, PixelFormat::Bgra8, ColourModel::Rgb, AlphaMode::Straight},
      {3, 16, 3, PixelFormat::Bgra16, ColourModel::Rgb},
      {3, 32, 5, PixelFormat::BgraFloat, ColourModel::Rgb, AlphaMode::Straight},
      {4, 8, 4, PixelFormat::Bgra8, ColourModel::Cmyl},
      {9, 8, 3, PixelFormat::Bgra8, ColourModel::Lab},
  };
  for (const auto& r : kRows) {
    SCOPED_TRACE(testing::Message() << r.mode << " " << r.bits << " " << r.channels);
    Psd p;
    p.mode = r.mode;
    p.bits = r.bits;
    p.channels = r.channels;
    p.data = std::string(size_t{4} * r.channels * (r.bits / 8 + 1), '\0');
    RefPtr<ImageReader> reader =
        CreatePsdReader(MakeMemorySource(u"a.psd", p.Build()).get(), nullptr);
    ASSERT_EQ(reader->Open(), status::kOk);
    EXPECT_EQ(reader->OutputFormat(), r.format);
    EXPECT_EQ(reader->Model(), r.model);
    EXPECT_EQ(reader->Alpha(), r.alpha);
    EXPECT_EQ(reader->BitDepth(), uint32_t{r.bits} * r.channels);
    EXPECT_EQ(test::U8(*reader->Properties().Get(PropertyId::Compression)), "None");
  }
  // Refused: depths a mode does not allow, too few channels, bitmap (0) and
  // multichannel (7) documents.
  const uint16_t kRefused[] = {2, 16, 1, 4, 16, 4,  9, 16, 3, 3, 8, 2, 4, 8,
                               3, 1,  1, 1, 3,  24, 3, 0,  1, 1, 7, 8, 2};
  for (size_t i = 0; i < std::size(kRefused); i += 3) {  // mode, bits, channels
    Psd p;
    p.mode = kRefused[i];
    p.bits = kRefused[i + 1];
    p.channels = kRefused[i + 2];
    EXPECT_EQ(test::OpenWith(CreatePsdReader, p.Build()), status::kUnsupportedSubformat) << i / 3;
  }
  auto probe = [](const std::string& s) { return ProbePsd(*MakeMemorySource(u"a.psd", s)); };
  const std::string good = Psd{}.Build();
  EXPECT_EQ(probe(good), status::kOk);
  EXPECT_EQ(probe(good.substr(0, 30)), status::kOk);
  EXPECT_EQ(probe(good.substr(0, 29)), status::kUnknownFormat);
  EXPECT_EQ(probe("8BPT" + good.substr(4)), status::kUnknownFormat);
  EXPECT_EQ(probe(good.substr(0, 5) + '\3' + good.substr(6)), status::kUnknownFormat);  // version 3
  Psd zip, zero, floatRle;
  zip.compression = 2;
  zero.width = 0;
  floatRle.mode = floatRle.channels = 1;
  floatRle.bits = 32;
  floatRle.width = 3;
  floatRle.height = 1;
  floatRle.compression = 1;
  floatRle.data = B({0, 2, 0x0B}) + std::string(13, '\0');
  const std::pair<std::string, Status> kCases[] = {
      {zip.Build(), status::kUnsupportedSubformat},
      {zero.Build(), status::kDamaged},
      {floatRle.Build(), kPsdFloatRunLength},
      {good.substr(0, 26) + '\x7F' + good.substr(27), status::kDamaged},  // sections past the end
      {good.substr(0, 30) + '\x7F' + good.substr(31), status::kDamaged},
      {good.substr(0, 34) + '\x7F' + good.substr(35), status::kDamaged},
      {good.substr(0, 39), status::kDamaged},  // no compression word
  };
  for (const auto& [bytes, status] : kCases) EXPECT_EQ(test::Load(bytes, u"a.psd").status, status);
  EXPECT_TRUE(test::Load(good, u"doc.bin").Ok());  // found by probing
}

TEST(PsdReader, PackBitsRowsAndResources) {
  // Row counts (4 bytes each in the large variant), then: a no-op, a literal
  // of 4 that runs into row 2, a run of 2 that ends it, a run of 3 for row 3.
  for (uint16_t version : {1, 2}) {
    Psd p;
    p.version = version;
    p.mode = p.channels = 1;
    p.width = p.height = 3;
    p.compression = 1;
    p.layers = std::string(5, 'x');
    p.data = std::string(version * 6, '\0') + B({0x80, 0x03, 1, 2, 3, 4, 0xFF, 9, 0xFE, 7});
    test::Loaded l = test::Load(p.Build(), u"a.psd");
    ASSERT_TRUE(l.Ok()) << version;
    EXPECT_EQ(test::U8(*l.image->Properties().Get(PropertyId::Compression)), "RLE");
    EXPECT_EQ(l.RawRow(0, 3) + l.RawRow(1, 3) + l.RawRow(2, 3), B({1, 2, 3, 4, 9, 9, 7, 7, 7}));
  }
  const std::string xmp =
      "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
      "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
      "<rdf:Description xmlns:dc='http://purl.org/dc/elements/1.1/'><dc:title><rdf:Alt><rdf:li "
      "xml:lang='x-default'>Harbour</rdf:li></rdf:Alt></dc:title></rdf:Description></rdf:RDF></"
      "x:xmpmeta>";
  Psd p;
  p.resources = "8BIM" + Be(0x0424, 2) + std::string(2, '\0') + Be(xmp.size(), 4) + xmp +
                std::string(xmp.size() & 1, '\0');
  EXPECT_EQ(test::U8(*test::Load(p.Build(), u"a.psd").image->Properties().Get(PropertyId::Title)),
            "Harbour");
}

struct Tga {
  std::string id;
  int mapType = 0, type = 2;
  uint16_t firstIndex = 0, mapLength = 0;
  int entrySize = 0;
  uint16_t width = 2, height = 2;
  int depth = 24, descriptor = 0;
  std::string map, pixels = B({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}), trailer;
  std::string Build() const {
    return B({int(id.size()), mapType, type}) + Le(firstIndex, 2) + Le(mapLength, 2) +
           B({entrySize}) + Le(0, 4) + Le(width, 2) + Le(height, 2) + B({depth, descriptor}) + id +
           map + pixels + trailer;
  }
  Tga&& Mapped(int entry, std::string entries, uint16_t first = 0) && {
    type = mapType = 1;
    entrySize = entry;
    mapLength = static_cast<uint16_t>(entries.size() * 8 / entry);
    firstIndex = first;
    map = std::move(entries);
    depth = 8;
    pixels.resize(4);
    return std::move(*this);
  }
};

// A 2.0 extension area of the given attributes type at `at`, and the footer.
std::string Footer(size_t at, int attributes, size_t developer = 0) {
  std::string area(495, '\0');
  area[0] = static_cast<char>(0xEF);
  area[1] = 0x01;  // its size, 495
  area[494] = static_cast<char>(attributes);
  return area + Le(at, 4) + Le(developer, 4) + std::string("TRUEVISION-XFILE.\0", 18);
}

TEST(TgaReader, RecognitionAndRefusals) {
  const std::string good = Tga{}.Build();
  auto probe = [&](std::u16string name, size_t at = 0, int value = -1) {
    std::string s = good;
    if (value >= 0) s[at] = static_cast<char>(value);
    return ProbeTga(*MakeMemorySource(std::move(name), s));
  };
  for (const char16_t* name : {u"a.tga", u"C:\\x\\A.TGA", u"a.Targa"})
    EXPECT_EQ(probe(name), status::kOk);
  for (const char16_t* name : {u".tga", u".targa", u"a.bmp", u"a.tga.bak"})
    EXPECT_EQ(probe(name), status::kUnknownFormat);
  EXPECT_EQ(probe(u"a.tga", 2, 10), status::kOk);  // run-length true colour
  for (auto [at, value] : {std::pair{17, 0x10}, {16, 12}, {16, 40}, {7, 33}, {2, 4}})
    EXPECT_EQ(probe(u"a.tga", at, value), status::kUnknownFormat)
        << at;  // right to left, depths, kind
  EXPECT_EQ(ProbeTga(*MakeMemorySource(u"a.tga", good.substr(0, 18))), status::kUnknownFormat);
  EXPECT_EQ(test::Load(good, u"pic.bmp").status,
            status::kUnknownFormat);  // weak signature: not probed

  auto edit = [](auto f) {
    Tga t;
    f(t);
    return t.Build();
  };
  const struct {
    const char* what;
    std::string bytes;
    Status status;
  } kCases[] = {
      {"interleave", edit([](Tga& t) { t.descriptor = 0x40; }), status::kUnsupportedSubformat},
      {"map type 2", edit([](Tga& t) { t.mapType = 2; }), status::kUnsupportedSubformat},
      {"map without length", edit([](Tga& t) { t.mapType = 1; }), status::kUnsupportedSubformat},
      {"map with true colour",
       edit([](Tga& t) { t.mapType = 1, t.mapLength = 1, t.entrySize = 24, t.map = "abc"; }),
       status::kUnsupportedSubformat},
      {"no image", edit([](Tga& t) { t.type = 0; }), status::kUnsupportedSubformat},
      {"true colour at 8 bits", edit([](Tga& t) { t.depth = 8, t.pixels.resize(4); }),
       status::kDamaged},
      {"grey at 16 bits", edit([](Tga& t) { t.type = 3, t.depth = 16, t.pixels.resize(8); }),
       status::kDamaged},
      {"mapped at 16 bits",
       edit([](Tga& t) { t = Tga{}.Mapped(24, "abc"), t.depth = 16, t.pixels.resize(8); }),
       status::kDamaged},
      {"mapped without map", edit([](Tga& t) { t.type = 1, t.depth = 8, t.pixels.resize(4); }),
       status::kDamaged},
      {"map entries of 8 bits", Tga{}.Mapped(8, "a").Build(), status::kUnsupportedSubformat},
      {"map cut off",
       edit([](Tga& t) { t = Tga{}.Mapped(24, "abc"), t.mapLength = 200, t.pixels.clear(); }),
       status::kDamaged},
      {"zero width", edit([](Tga& t) { t.width = 0; }), status::kUnknownFormat},
      // Raw pixels must nearly fill the file: cut short, or followed by more
      // than the image's size again plus 1024 bytes, they are not TARGA.
      {"raw pixels cut", good.substr(0, 29), status::kUnsupportedSubformat},
      {"1036 trailing bytes", good + std::string(12 + 1024, 'j'), status::kOk},
      {"1037 trailing bytes", good + std::string(12 + 1025, 'j'), status::kUnsupportedSubformat},
      {"developer and extension areas",
       good + std::string(4000, 'd') + Footer(good.size() + 4000, 0, good.size()), status::kOk},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(test::Load(c.bytes, u"pic.tga").status, c.status) << c.what;
}

TEST(TgaReader, AlphaSourcesAndMapEntries) {
  // 32 bits: no alpha bits in the descriptor is opaque; then the 2.0
  // extension area's attributes type decides.
  Tga t;
  t.depth = 32;
  t.width = t.height = 1;
  t.pixels = B({10, 20, 30, 40});
  const size_t at = t.Build().size();
  const struct {
    int descriptor;
    std::string trailer;
    AlphaMode alpha;
  } kRows[] = {
      {0, "", AlphaMode::None},
      {8, "", AlphaMode::Straight},
      {8, Footer(at, 3), AlphaMode::Straight},
      {8, Footer(at, 4), AlphaMode::Premultiplied},
      {8, Footer(at, 0), AlphaMode::None},
      {8, Footer(at, 2), AlphaMode::None},
      {8, std::string(8, '\0') + std::string("TRUEVISION-XFILE.\0", 18),
       AlphaMode::Straight},  // no area
  };
  for (const auto& r : kRows) {
    t.descriptor = r.descriptor;
    t.trailer = r.trailer;
    test::Loaded l = test::Load(t.Build(), u"a.tga");
    ASSERT_TRUE(l.Ok());
    EXPECT_EQ(l.image->Alpha(), r.alpha) << r.descriptor << " " << r.trailer.size();
    EXPECT_EQ(l.image->Row(0)[3], r.alpha == AlphaMode::None ? 255 : 40);
  }
  // 16-bit pixels with alpha: the top bit is all or nothing; 16-bit pixels
  // scale (31 is 255) where 16-bit map entries shift (31 is 248).
  Tga s;
  s.depth = 16;
  s.width = 3;
  s.height = 1;
  s.pixels = B({0x00, 0x80, 0xFF, 0x7F, 0x10, 0x80});
  s.trailer = Footer(s.Build().size(), 3);
  test::Loaded l = test::Load(s.Build(), u"a.tga");
  EXPECT_EQ(l.Px(0, 0) >> 24, 255u);
  EXPECT_EQ(l.Px(1, 0), 0x00FFFFFFu);
  EXPECT_EQ(l.Px(2, 0), 0xFF000000u | 16 * 255 / 31);
  Tga map = Tga{}.Mapped(16, B({0xFF, 0x7F, 0x00, 0x7C}), 2);
  map.width = 3;
  map.height = 1;
  map.pixels = B({2, 3, 0});
  l = test::Load(map.Build(), u"a.tga");
  EXPECT_EQ(l.Px(0, 0), 0xFFF8F8F8u);
  EXPECT_EQ(l.Px(1, 0), 0xFFF80000u);
  EXPECT_EQ(l.Px(2, 0), 0xFF000000u);  // index 0 lies before the map
  map = Tga{}.Mapped(32, B({1, 2, 3, 4, 5, 6, 7, 8}));
  map.pixels = std::string(4, '\0');
  l = test::Load(map.Build(), u"a.tga");
  EXPECT_EQ(l.image->Alpha(), AlphaMode::Straight);  // 32-bit entries carry alpha
  EXPECT_EQ(l.Px(0, 0), 0x04030201u);
}

struct Pcx {
  int version = 5, encoding = 0, bits = 8;
  uint16_t xMax = 1, yMax = 1;
  int planes = 1;
  uint16_t bytesPerLine = 2;
  std::string palette = std::string(48, '\0');  // the header's, bytes 16..63
  int reserved = 0;                             // byte 64
  std::string data = std::string(4, '\0'), tail;
  std::string Build() const {
    std::string s = B({10, version, encoding, bits}) + Le(0, 4) + Le(xMax, 2) + Le(yMax, 2) +
                    Le(0, 4) + palette + B({reserved, planes}) + Le(bytesPerLine, 2);
    s.resize(128, '\0');
    return s + data + tail;
  }
};

std::vector<uint32_t> Colours(const test::Loaded& l, int n) {
  std::vector<uint32_t> v;
  for (int i = 0; i < n; ++i) v.push_back(l.image->Palette()[i] & 0xFFFFFF);
  return v;
}

TEST(PcxReader, LayoutsAndRefusals) {
  const struct {
    int bits, planes;
    Status status;
    PixelFormat format = PixelFormat::SameAsSource;
    uint32_t minStride = 0;  // for a width of 21
  } kRows[] = {
      {1, 1, status::kOk, PixelFormat::Indexed8, 32},      {1, 4, status::kOk, PixelFormat::Indexed8, 32},
      {1, 8, status::kOk, PixelFormat::Indexed8, 32},      {2, 1, status::kOk, PixelFormat::Indexed8, 32},
      {4, 1, status::kOk, PixelFormat::Indexed8, 22},      {8, 1, status::kOk, PixelFormat::Indexed8, 22},
      {8, 3, status::kOk, PixelFormat::Bgra8, 84},         {8, 4, status::kOk, PixelFormat::Bgra8, 84},
      {32, 1, status::kOk, PixelFormat::Bgra8, 84},        {4, 2, status::kUnsupportedSubformat},
      {8, 2, status::kUnsupportedSubformat},  {2, 2, status::kUnsupportedSubformat},
      {16, 1, status::kUnsupportedSubformat}, {24, 1, status::kUnsupportedSubformat},
  };
  for (const auto& r : kRows) {
    Pcx p;
    p.bits = r.bits;
    p.planes = r.planes;
    p.xMax = 20;
    p.bytesPerLine = static_cast<uint16_t>((21 * r.bits + 7) / 8);
    RefPtr<ImageReader> reader =
        CreatePcxReader(MakeMemorySource(u"a.pcx", p.Build()).get(), nullptr);
    ASSERT_EQ(reader->Open(), r.status) << r.bits << " " << r.planes;
    if (Failed(r.status)) continue;
    EXPECT_EQ(reader->OutputFormat(), r.format);
    EXPECT_EQ(reader->MinStride(), r.minStride);
    EXPECT_EQ(reader->BitDepth(), uint32_t(r.bits * r.planes));
    EXPECT_EQ(reader->Alpha(),
              r.planes == 4 && r.bits == 8 ? AlphaMode::Straight : AlphaMode::None);
  }
  const std::string good = Pcx{}.Build();
  auto probe = [&](size_t at, int value) {
    std::string s = good;
    s[at] = static_cast<char>(value);
    return ProbePcx(*MakeMemorySource(u"x.pcx", s));
  };
  EXPECT_EQ(ProbePcx(*MakeMemorySource(u"x.pcx", good)), status::kOk);
  EXPECT_EQ(ProbePcx(*MakeMemorySource(u"x.pcx", good.substr(0, 127))), status::kUnknownFormat);
  // Maker byte, encoding, no planes, 40 bits, minimum beyond maximum.
  for (auto [at, value] : {std::pair{0, 11}, {2, 2}, {65, 0}, {65, 5}, {4, 9}, {6, 9}})
    EXPECT_EQ(probe(at, value), status::kUnknownFormat) << at;
  EXPECT_TRUE(test::Load(good, u"x.dat").Ok());  // probed under another name too
  Pcx dot;                                       // one column and one row: minimum equals maximum
  dot.xMax = dot.yMax = 0;
  EXPECT_EQ(test::Load(dot.Build(), u"a.pcx").image->Width(), 1u);
  // Planes too short for the width are damage; 0 bytes per line computes them.
  Pcx p;
  p.xMax = 20;
  p.bytesPerLine = 20;
  EXPECT_EQ(test::Load(p.Build(), u"a.pcx").status, status::kDamaged);
  p.bytesPerLine = 0;
  p.data = std::string(24 * 2, '\x05');
  EXPECT_EQ(test::Load(p.Build(), u"a.pcx").image->Row(1)[20], 5);
  // Runs cross rows (3 pixels and a padding byte, into the next); an empty run.
  p = Pcx{};
  p.encoding = 1;
  p.xMax = 2;
  p.bytesPerLine = 4;
  p.data = B({0xC5, 0xC8, 0xC0, 0x33, 0x07, 0x08, 0x09});
  test::Loaded l = test::Load(p.Build(), u"a.pcx");
  EXPECT_EQ(l.RawRow(0, 3) + l.RawRow(1, 3), B({0xC8, 0xC8, 0xC8, 0xC8, 7, 8}));
}

TEST(PcxReader, WhereEachPaletteComesFrom) {
  constexpr auto Rgb = [](uint32_t r, uint32_t g, uint32_t b) { return r << 16 | g << 8 | b; };
  // The end palette counts only after its marker, from version 5 on.
  Pcx p;
  p.data = B({0, 1, 2, 200});
  p.palette.replace(3, 3, B({11, 12, 13}));
  p.tail = std::string(769, '\0');
  p.tail[1 + 3 * 200] = 77;
  p.tail[1 + 3 + 2] = 99;
  for (auto [version, marker, entry1] :
       {std::tuple{5, 12, Rgb(0, 0, 99)}, {5, 13, Rgb(11, 12, 13)}, {4, 12, Rgb(11, 12, 13)}}) {
    p.version = version;
    p.tail[0] = static_cast<char>(marker);
    EXPECT_EQ(Colours(test::Load(p.Build(), u"a.pcx"), 2)[1], entry1) << version << " " << marker;
  }
  // Version 0: byte 3 is the plane count of 1-bit planes, bit k of the index
  // from plane k; the fixed palette A.
  Pcx v0;
  v0.version = 0;
  v0.bits = 4;
  v0.planes = 9;
  v0.xMax = 7;
  v0.yMax = 0;
  v0.bytesPerLine = 1;
  v0.data = B({0x55, 0x33, 0x0F, 0x00});
  test::Loaded l = test::Load(v0.Build(), u"a.pcx");
  EXPECT_EQ(l.RawRow(0, 8), B({0, 1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(Colours(l, 16),
            (std::vector<uint32_t>{
                Rgb(0, 0, 0), Rgb(255, 255, 255), Rgb(0, 170, 0), Rgb(0, 170, 170), Rgb(170, 0, 0),
                Rgb(170, 0, 170), Rgb(170, 170, 0), Rgb(170, 170, 170), Rgb(85, 85, 85),
                Rgb(85, 85, 255), Rgb(85, 255, 85), Rgb(85, 255, 255), Rgb(255, 85, 85),
                Rgb(255, 85, 255), Rgb(255, 255, 85), Rgb(255, 255, 255)}));
  // 1 bit in one plane is black and white whatever the header says; several
  // 1-bit planes take the header palette.
  Pcx mono;
  mono.bits = 1;
  mono.xMax = 7;
  mono.yMax = 0;
  mono.bytesPerLine = 1;
  mono.palette.replace(0, 4, B({40, 0, 0, 50}));
  mono.data = B({0xA0});
  l = test::Load(mono.Build(), u"a.pcx");
  EXPECT_EQ(l.Px(0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(l.Px(1, 0), 0xFF000000u);
  mono.planes = 2;
  mono.data = B({0x80, 0x40});
  l = test::Load(mono.Build(), u"a.pcx");
  EXPECT_EQ(l.RawRow(0, 3), B({1, 2, 0}));
  EXPECT_EQ(Colours(l, 2), (std::vector<uint32_t>{Rgb(40, 0, 0), Rgb(50, 0, 0)}));
  // 2 bits: the four-colour sets of palette B chosen by bytes 16, 19 and 64.
  constexpr uint32_t kB[16] = {
      Rgb(0, 0, 0),     Rgb(0, 0, 170),    Rgb(0, 170, 0),    Rgb(0, 170, 170),
      Rgb(170, 0, 0),   Rgb(170, 0, 170),  Rgb(170, 85, 0),   Rgb(170, 170, 170),
      Rgb(85, 85, 85),  Rgb(85, 85, 255),  Rgb(85, 255, 85),  Rgb(85, 255, 255),
      Rgb(255, 85, 85), Rgb(255, 85, 255), Rgb(255, 255, 85), Rgb(255, 255, 255)};
  const struct {
    int version, byte16, byte19, byte64;
    std::vector<int> set;  // background, then the three colours
  } kSets[] = {
      {5, 0x10, 0x00, 0, {1, 3, 5, 7}}, {5, 0x20, 0x20, 0, {2, 11, 13, 15}},
      {5, 0x00, 0x40, 0, {0, 2, 4, 6}}, {5, 0xF0, 0x60, 0, {15, 10, 12, 14}},
      {4, 0x00, 0x00, 5, {0, 3, 4, 7}}, {4, 0x00, 0x60, 5, {0, 11, 12, 15}},
      {5, 0x00, 0x00, 5, {0, 3, 5, 7}},  // the old third set needs a version below 5
  };
  for (const auto& s : kSets) {
    Pcx c;
    c.version = s.version;
    c.bits = 2;
    c.xMax = 3;
    c.yMax = 0;
    c.bytesPerLine = 1;
    c.palette[0] = static_cast<char>(s.byte16);
    c.palette[3] = static_cast<char>(s.byte19);
    c.reserved = s.byte64;
    c.data = B({0x1B});
    l = test::Load(c.Build(), u"a.pcx");
    EXPECT_EQ(l.RawRow(0, 4), B({0, 1, 2, 3}));
    std::vector<uint32_t> want;
    for (int i : s.set) want.push_back(kB[i]);
    EXPECT_EQ(Colours(l, 4), want) << s.version << " " << s.byte16 << " " << s.byte19;
    EXPECT_EQ(l.reader->Frame().background & 0xFFFFFF, kB[s.set[0]]);
  }
}

}  // namespace
}  // namespace vt
