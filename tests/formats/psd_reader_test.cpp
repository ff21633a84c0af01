// The PSD reader on hand-built documents: header outputs, channel placement,
// raw and PackBits data at 8, 16 and 32 bits, the refusals, the large-document
// variant, metadata resources and truncated files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "formats/psd/psd_reader.h"
#include "image/colour_models.h"
#include "psd_tga_pcx_support.h"
#include "support/test_support.h"

namespace vt {
namespace {

using test::Put16BE;
using test::Put32BE;

struct Psd {
  uint16_t version = 1;
  uint16_t channels = 3;
  uint32_t width = 2;
  uint32_t height = 2;
  uint16_t bits = 8;
  uint16_t mode = 3;
  std::string colourData;
  std::string resources;
  std::string layers;
  uint16_t compression = 0;
  std::string data;
};

std::string Build(const Psd& p) {
  std::string s = "8BPS";
  Put16BE(&s, p.version);
  s.append(6, '\0');
  Put16BE(&s, p.channels);
  Put32BE(&s, p.height);
  Put32BE(&s, p.width);
  Put16BE(&s, p.bits);
  Put16BE(&s, p.mode);
  Put32BE(&s, static_cast<uint32_t>(p.colourData.size()));
  s += p.colourData;
  Put32BE(&s, static_cast<uint32_t>(p.resources.size()));
  s += p.resources;
  if (p.version == 2) Put32BE(&s, 0);
  Put32BE(&s, static_cast<uint32_t>(p.layers.size()));
  s += p.layers;
  Put16BE(&s, p.compression);
  return s + p.data;
}

std::string Bytes(std::initializer_list<int> v) {
  std::string s;
  for (int b : v) s.push_back(static_cast<char>(b));
  return s;
}

test::Loaded Load(const std::string& bytes, const CancelFlag* cancel = nullptr) {
  return test::LoadBytes(bytes, u"doc.psd", false, cancel);
}

TEST(PsdProbe, SignatureVersionAndSize) {
  Psd p;
  p.data = std::string(12, '\0');
  const std::string good = Build(p);
  EXPECT_EQ(ProbePsd(*MakeMemorySource(u"a.psd", good)), status::kOk);
  std::string v2 = good;
  v2[5] = 2;
  EXPECT_EQ(ProbePsd(*MakeMemorySource(u"a.psd", v2)), status::kOk);
  std::string v3 = good;
  v3[5] = 3;
  EXPECT_EQ(ProbePsd(*MakeMemorySource(u"a.psd", v3)), status::kUnknownFormat);
  std::string sig = good;
  sig[3] = 'T';
  EXPECT_EQ(ProbePsd(*MakeMemorySource(u"a.psd", sig)), status::kUnknownFormat);
  EXPECT_EQ(ProbePsd(*MakeMemorySource(u"a.psd", good.substr(0, 29))), status::kUnknownFormat);
  EXPECT_EQ(ProbePsd(*MakeMemorySource(u"a.psd", good.substr(0, 30))), status::kOk);
  // Found by probing under another name too.
  EXPECT_EQ(test::LoadBytes(good, u"doc.bin").status, status::kOk);
}

TEST(PsdHeader, ModesDepthsAndChannels) {
  struct Row {
    uint16_t mode, bits, channels;
    Status status;
    PixelFormat format = PixelFormat::SameAsSource;
    ColourModel model = ColourModel::Unknown;
    AlphaMode alpha = AlphaMode::None;
  };
  const Row rows[] = {
      {1, 8, 1, status::kOk, PixelFormat::Gray8, ColourModel::L, AlphaMode::None},
      {1, 16, 1, status::kOk, PixelFormat::Gray16, ColourModel::L, AlphaMode::None},
      {1, 32, 2, status::kOk, PixelFormat::GrayFloat, ColourModel::L, AlphaMode::None},
      {8, 8, 1, status::kOk, PixelFormat::Gray8, ColourModel::L, AlphaMode::None},
      {2, 8, 1, status::kOk, PixelFormat::Indexed8, ColourModel::Rgb, AlphaMode::Straight},
      {3, 8, 3, status::kOk, PixelFormat::Bgra8, ColourModel::Rgb, AlphaMode::None},
      {3, 8, 4, status::kOk, PixelFormat::Bgra8, ColourModel::Rgb, AlphaMode::Straight},
      {3, 16, 3, status::kOk, PixelFormat::Bgra16, ColourModel::Rgb, AlphaMode::None},
      {3, 32, 5, status::kOk, PixelFormat::BgraFloat, ColourModel::Rgb, AlphaMode::Straight},
      {4, 8, 4, status::kOk, PixelFormat::Bgra8, ColourModel::Cmyl, AlphaMode::None},
      {9, 8, 3, status::kOk, PixelFormat::Bgra8, ColourModel::Lab, AlphaMode::None},
      // Refused: depths a mode does not allow, too few channels, other modes.
      {2, 16, 1, status::kUnsupportedSubformat},
      {4, 16, 4, status::kUnsupportedSubformat},
      {9, 16, 3, status::kUnsupportedSubformat},
      {3, 8, 2, status::kUnsupportedSubformat},
      {4, 8, 3, status::kUnsupportedSubformat},
      {1, 1, 1, status::kUnsupportedSubformat},
      {3, 24, 3, status::kUnsupportedSubformat},
      {0, 1, 1, status::kUnsupportedSubformat},  // bitmap
      {7, 8, 2, status::kUnsupportedSubformat},  // multichannel
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "mode " << r.mode << " bits " << r.bits << " channels "
                                    << r.channels);
    Psd p;
    p.mode = r.mode;
    p.bits = r.bits;
    p.channels = r.channels;
    p.data = std::string(size_t{4} * r.channels * (r.bits / 8 + 1), '\0');
    RefPtr<FileSource> source = MakeMemorySource(u"a.psd", Build(p));
    RefPtr<ImageReader> reader = CreatePsdReader(source.get(), nullptr);
    ASSERT_EQ(reader->Open(), r.status);
    if (Failed(r.status)) continue;
    EXPECT_EQ(reader->OutputFormat(), r.format);
    EXPECT_EQ(reader->Model(), r.model);
    EXPECT_EQ(reader->Alpha(), r.alpha);
    EXPECT_EQ(reader->BitDepth(), uint32_t{r.bits} * r.channels);
    EXPECT_EQ(reader->Width(), 2u);
    EXPECT_EQ(reader->Height(), 2u);
    EXPECT_EQ(*reader->Properties().Get(PropertyId::Compression), u"None");
  }
}

TEST(PsdHeader, CompressionAndBrokenSections) {
  Psd p;
  p.compression = 1;
  p.data = std::string(12, '\0');
  test::Loaded l = Load(Build(p));
  ASSERT_EQ(l.status, status::kOk);
  EXPECT_EQ(*l.image->Properties().Get(PropertyId::Compression), u"RLE");
  p.compression = 2;  // zip
  EXPECT_EQ(Load(Build(p)).status, status::kUnsupportedSubformat);

  // Section lengths that reach past the end, and no compression word.
  p.compression = 0;
  const std::string good = Build(p);
  for (size_t at : {size_t{26}, size_t{30}, size_t{34}}) {
    std::string bad = good;
    bad[at] = 0x7F;
    EXPECT_EQ(Load(bad).status, status::kDamaged) << at;
  }
  EXPECT_EQ(Load(good.substr(0, 39)).status, status::kDamaged);
  Psd empty;
  empty.width = 0;
  EXPECT_EQ(Load(Build(empty)).status, status::kDamaged);
}

TEST(PsdDecode, RgbWithFourChannelsShowsOpaque) {
  Psd p;
  p.channels = 4;
  // Channel after channel, row after row: red, green, blue, alpha (ignored).
  p.data = Bytes({10, 11, 12, 13, 20, 21, 22, 23, 30, 31, 32, 33, 0, 0, 0, 0});
  test::Loaded l = Load(Build(p));
  ASSERT_EQ(l.status, status::kOk);
  EXPECT_EQ(l.image->Alpha(), AlphaMode::Straight);
  const test::Rgba rgba = test::ToRgba(l.image.get());
  const uint8_t want[4][4] = {{10, 20, 30, 255}, {11, 21, 31, 255}, {12, 22, 32, 255},
                              {13, 23, 33, 255}};
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(0, std::memcmp(rgba.Pixel(i % 2, i / 2), want[i], 4)) << i;
}

TEST(PsdDecode, SixteenAndThirtyTwoBitSamples) {
  Psd p;
  p.bits = 16;
  p.width = 1;
  p.height = 1;
  p.data = Bytes({0x12, 0x34, 0xAB, 0xCD, 0xFF, 0x01});
  test::Loaded l = Load(Build(p));
  ASSERT_EQ(l.status, status::kOk);
  ASSERT_EQ(l.image->Format(), PixelFormat::Bgra16);
  const std::vector<uint16_t> s = test::ToRgba16(l.image.get());
  EXPECT_EQ(s, (std::vector<uint16_t>{0x1234, 0xABCD, 0xFF01, 0xFFFF}));

  // Grey at 32 bits: big-endian floats, through the sRGB transfer function.
  Psd g;
  g.mode = 1;
  g.channels = 1;
  g.bits = 32;
  g.width = 3;
  g.height = 1;
  const float values[3] = {0.0f, 0.25f, 1.0f};
  for (float v : values) {
    uint32_t u;
    std::memcpy(&u, &v, 4);
    Put32BE(&g.data, u);
  }
  l = Load(Build(g));
  ASSERT_EQ(l.status, status::kOk);
  ASSERT_EQ(l.image->Format(), PixelFormat::GrayFloat);
  for (int i = 0; i < 3; ++i) {
    float got;
    std::memcpy(&got, l.image->Row(0) + 4 * i, 4);
    EXPECT_FLOAT_EQ(got, SrgbTransfer(values[i])) << i;
  }

  // The same at 32 bits run-length encoded is refused by the decoder.
  g.compression = 1;
  g.data = Bytes({0, 2, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  l = Load(Build(g));
  EXPECT_EQ(l.status, kPsdFloatRunLength);
}

TEST(PsdDecode, PackBitsRunsLiteralsAndNoOps) {
  Psd p;
  p.mode = 1;
  p.channels = 1;
  p.width = 3;
  p.height = 3;
  p.compression = 1;
  // Row counts (ignored), then: a no-op, a literal of 4 that runs into row 2,
  // a run of 2 that ends it, a run of 3 for row 3.
  p.data = Bytes({0, 0, 0, 0, 0, 0, 0x80, 0x03, 1, 2, 3, 4, 0xFF, 9, 0xFE, 7});
  test::Loaded l = Load(Build(p));
  ASSERT_EQ(l.status, status::kOk);
  ASSERT_EQ(l.image->Format(), PixelFormat::Gray8);
  const uint8_t want[3][3] = {{1, 2, 3}, {4, 9, 9}, {7, 7, 7}};
  for (uint32_t y = 0; y < 3; ++y) EXPECT_EQ(0, std::memcmp(l.image->Row(y), want[y], 3)) << y;

  // 16-bit samples through the row buffer.
  p.bits = 16;
  p.width = 2;
  p.height = 1;
  p.data = Bytes({0, 0, 0xFE, 0x80, 0x00, 0xBE});
  l = Load(Build(p));
  ASSERT_EQ(l.status, status::kOk);
  const std::vector<uint16_t> s = test::ToRgba16(l.image.get());
  ASSERT_EQ(s.size(), 8u);
  EXPECT_EQ(s[0], 0x8080);
  EXPECT_EQ(s[4], 0x80BE);  // the run of 3 bytes, then a literal 0xBE
}

TEST(PsdDecode, IndexedCmykAndLab) {
  Psd p;
  p.mode = 2;
  p.channels = 1;
  p.width = 2;
  p.height = 1;
  // Three entries: all reds, all greens, all blues.
  p.colourData = Bytes({255, 0, 7, 0, 255, 8, 0, 0, 9});
  p.data = Bytes({2, 1});
  test::Loaded l = Load(Build(p));
  ASSERT_EQ(l.status, status::kOk);
  test::Rgba rgba = test::ToRgba(l.image.get());
  EXPECT_EQ(std::vector<uint8_t>(rgba.data.begin(), rgba.data.end()),
            (std::vector<uint8_t>{7, 8, 9, 255, 0, 255, 0, 255}));

  // CMYK samples are stored as 255 minus the ink.
  Psd c;
  c.mode = 4;
  c.channels = 4;
  c.width = 1;
  c.height = 1;
  c.data = Bytes({255, 128, 0, 200});
  l = Load(Build(c));
  ASSERT_EQ(l.status, status::kOk);
  rgba = test::ToRgba(l.image.get());
  EXPECT_EQ(rgba.data, (std::vector<uint8_t>{200, 128 * 200 / 255, 0, 255}));

  // Lab a and b carry 128 for zero: a neutral lightness ramp stays grey.
  Psd lab;
  lab.mode = 9;
  lab.channels = 3;
  lab.width = 3;
  lab.height = 1;
  lab.data = Bytes({0, 128, 255, 128, 128, 128, 128, 128, 128});
  l = Load(Build(lab));
  ASSERT_EQ(l.status, status::kOk);
  rgba = test::ToRgba(l.image.get());
  for (uint32_t x = 0; x < 3; ++x) {
    const uint8_t* px = rgba.Pixel(x, 0);
    EXPECT_NEAR(px[0], px[1], 1) << x;
    EXPECT_NEAR(px[1], px[2], 1) << x;
  }
  EXPECT_LE(rgba.Pixel(0, 0)[1], 1);
  EXPECT_GE(rgba.Pixel(2, 0)[1], 254);
  EXPECT_NEAR(rgba.Pixel(1, 0)[1], 119, 2);  // L* 50 is sRGB 119
}

TEST(PsdDecode, LargeDocumentVariant) {
  Psd p;
  p.version = 2;
  p.mode = 1;
  p.channels = 1;
  p.width = 2;
  p.height = 2;
  p.layers = std::string(5, 'x');
  p.compression = 1;
  // Row counts are 4 bytes each in this variant.
  p.data = Bytes({0, 0, 0, 2, 0, 0, 0, 2, 0xFD, 6});
  test::Loaded l = Load(Build(p));
  ASSERT_EQ(l.status, status::kOk);
  EXPECT_EQ(0, std::memcmp(l.image->Row(0), "\x06\x06", 2));
  EXPECT_EQ(0, std::memcmp(l.image->Row(1), "\x06\x06", 2));
}

TEST(PsdHeader, MetadataFromImageResources) {
  const std::string xmp =
      "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
      "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description "
      "xmlns:dc='http://purl.org/dc/elements/1.1/'><dc:title><rdf:Alt><rdf:li "
      "xml:lang='x-default'>Harbour</rdf:li></rdf:Alt></dc:title></rdf:Description></rdf:RDF>"
      "</x:xmpmeta>";
  Psd p;
  p.resources = "8BIM";
  Put16BE(&p.resources, 0x0424);
  p.resources += std::string(2, '\0');  // empty name, padded
  Put32BE(&p.resources, static_cast<uint32_t>(xmp.size()));
  p.resources += xmp;
  if (xmp.size() & 1) p.resources.push_back('\0');
  p.data = std::string(12, '\x40');
  test::Loaded l = Load(Build(p));
  ASSERT_EQ(l.status, status::kOk);
  const std::u16string* title = l.image->Properties().Get(PropertyId::Title);
  ASSERT_TRUE(title);
  EXPECT_EQ(*title, u"Harbour");
}

// Every sample of the channels in file order: what a prefix of the data holds
// must be the first samples, and the rest zero.
std::vector<uint8_t> ChannelOrder(const test::Loaded& l) {
  std::vector<uint8_t> out;
  ImageBuffer* image = l.image.get();
  for (int position : {2, 1, 0}) {
    for (uint32_t y = 0; y < image->Height(); ++y)
      for (uint32_t x = 0; x < image->Width(); ++x) out.push_back(image->Row(y)[4 * x + position]);
  }
  return out;
}

void CheckPrefixes(const Psd& p) {
  const std::string whole = Build(p);
  const test::Loaded full = Load(whole);
  ASSERT_EQ(full.status, status::kOk);
  const std::vector<uint8_t> all = ChannelOrder(full);
  const size_t headers = whole.size() - p.data.size();
  size_t previous = 0;
  for (size_t n = 0; n <= whole.size(); ++n) {
    const test::Loaded part = Load(whole.substr(0, n));
    if (n < headers) {
      EXPECT_TRUE(Failed(part.status)) << "prefix " << n;
      continue;
    }
    ASSERT_EQ(part.status, status::kOk) << "prefix " << n;
    const std::vector<uint8_t> got = ChannelOrder(part);
    size_t k = 0;
    while (k < got.size() && got[k] == all[k]) ++k;
    for (size_t i = k; i < got.size(); ++i) ASSERT_EQ(got[i], 0) << "prefix " << n << " @" << i;
    EXPECT_GE(k, previous) << "prefix " << n;  // more data never show less
    previous = k;
    for (uint32_t y = 0; y < part.image->Height(); ++y)
      for (uint32_t x = 0; x < part.image->Width(); ++x)
        ASSERT_EQ(part.image->Row(y)[4 * x + 3], 255);
  }
  EXPECT_EQ(previous, all.size());
}

TEST(PsdDecode, TruncatedFilesGiveThePartThatArrived) {
  Psd raw;
  raw.width = 3;
  raw.height = 2;
  for (int i = 0; i < 18; ++i) raw.data.push_back(static_cast<char>(i + 1));
  CheckPrefixes(raw);

  Psd rle = raw;
  rle.compression = 1;
  rle.data = std::string(12, '\0') +
             Bytes({0xFB, 5, 0x02, 1, 2, 3, 0xFE, 4, 0x80, 0x04, 8, 9, 10, 11, 12});
  CheckPrefixes(rle);
}

TEST(PsdDecode, CancelStopsTheDecode) {
  Psd p;
  p.data = std::string(12, '\x10');
  CancelFlag cancel;
  cancel.Set();
  EXPECT_EQ(Load(Build(p), &cancel).status, status::kCancelled);
}

}  // namespace
}  // namespace vt
