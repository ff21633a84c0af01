// The FITS, Radiance and IFF readers on files built here: what they refuse,
// sample conversion rules (FITS offsets and undefined values, the RGBE
// formula), orientation, properties, and the plane and run codes (hold and
// modify, byte runs, column-wise words). Real files are in the corpus table.
#include <bit>
#include <cmath>

#include "formats/fits/fits_reader.h"
#include "formats/hdr/hdr_reader.h"
#include "formats/iff/iff_reader.h"
#include "image/colour_models.h"
#include "reader_test_util.h"

namespace vt {
namespace {

using test::B;
using test::Be;

std::string Card(const std::string& text) {
  return (text + std::string(80, ' ')).substr(0, 80);
}
std::string Value(const std::string& key, const std::string& value) {
  return Card((key + "        ").substr(0, 8) + "= " + value);
}
// SIMPLE, the given cards, END, then the big-endian samples, in whole records.
std::string Fits(const std::vector<std::string>& cards, std::string data,
                 const std::string& simple = "T") {
  std::string h = Value("SIMPLE", std::string(19, ' ') + simple);
  for (const std::string& c : cards) h += c;
  h += Card("END");
  h.append((2880 - h.size() % 2880) % 2880, ' ');
  data.append((2880 - data.size() % 2880) % 2880, '\0');
  return h + data;
}
std::vector<std::string> Axes(int bitpix, int w, int h) {
  return {Value("BITPIX", std::to_string(bitpix)), Value("NAXIS", "2"),
          Value("NAXIS1", std::to_string(w)), Value("NAXIS2", std::to_string(h))};
}

TEST(FitsReader, HeaderChecks) {
  const std::string good = Fits(Axes(8, 2, 2), "abcd");
  EXPECT_EQ(ProbeFits(*MakeMemorySource(u"x", good)), status::kOk);
  EXPECT_TRUE(test::Load(good, u"picture.dat").Ok());  // found by probing
  EXPECT_EQ(ProbeFits(*MakeMemorySource(u"x", good.substr(0, 79))), status::kUnknownFormat);
  EXPECT_EQ(ProbeFits(*MakeMemorySource(u"x", "XIMPLE" + good.substr(6))), status::kUnknownFormat);
  const std::pair<std::string, Status> kCases[] = {
      {Fits(Axes(8, 2, 2), "abcd", "F"), status::kUnsupportedSubformat},
      {"XIMPLE" + good.substr(6), status::kUnsupportedSubformat},
      {Fits(Axes(12, 2, 2), ""), status::kUnsupportedSubformat},
      {Fits(Axes(-16, 2, 2), ""), status::kUnsupportedSubformat},
      {Fits({Value("BITPIX", "8"), Value("NAXIS", "1"), Value("NAXIS1", "4")}, ""),
       status::kUnsupportedSubformat},
      {Fits(Axes(8, 2, 0), ""), status::kUnsupportedSubformat},
      {Fits(Axes(8, 0, 2), ""), status::kDamaged},
      {Fits({Value("BITPIX", "8"), Value("NAXIS", "2"), Value("NAXIS2", "4")}, ""),
       status::kDamaged},
      {Fits(Axes(8, 1 << 20, 1 << 20), ""), status::kDamaged},
  };
  for (const auto& [bytes, status] : kCases)
    EXPECT_EQ(test::OpenWith(CreateFitsReader, bytes), status);
  // A damaged header is still taken by the probe, so the user learns why.
  EXPECT_EQ(test::Load(Fits(Axes(8, 0, 2), ""), u"a.fits").status, status::kDamaged);
}

TEST(FitsReader, SamplesAndProperties) {
  // Signed integers shift by 32768 (32-bit ones keep their top 16 bits); the
  // first stored row is the bottom one; BLANK marks undefined samples, as do
  // floats that are not a number or infinite: they show as 0.
  std::string d32, f32, f64;
  for (int64_t v :
       {int64_t{-2147483647 - 1}, int64_t{2147483647}, int64_t{0x12345678}, int64_t{-5}})
    d32 += Be(static_cast<uint32_t>(v), 4);
  for (float v : {0.25f, 1.0f, -7.0f, NAN}) f32 += Be(std::bit_cast<uint32_t>(v), 4);
  for (double v : {0.25, 0.5, 1e300, double{INFINITY}}) f64 += Be(std::bit_cast<uint64_t>(v), 8);
  std::vector<std::string> blank = Axes(16, 3, 1);
  blank.push_back(Value("BLANK", "-1.0E0 / undefined"));
  const struct {
    std::string file;
    PixelFormat format;
    std::vector<double> row0;
  } kCases[] = {
      {Fits(Axes(16, 2, 2), Be(0x8000, 2) + Be(0x7FFF, 2) + Be(0, 2) + Be(0xFFFF, 2)),
       PixelFormat::Gray16,
       {32768, 32767}},
      {Fits(Axes(32, 4, 1), d32),
       PixelFormat::Gray16,
       {0, 65535, 0x1234 ^ 0x8000, 0xFFFF ^ 0x8000}},
      {Fits(Axes(8, 3, 2), B({0, 0x80, 0xFF, 1, 2, 3})), PixelFormat::Gray8, {1, 2, 3}},
      {Fits(blank, Be(0xFFFF, 2) + Be(100, 2) + Be(0xFFFF, 2)), PixelFormat::Gray16, {0, 32868, 0}},
      // Floats are linear light: the pipeline encodes them for display.
      {Fits(Axes(-32, 4, 1), f32),
       PixelFormat::GrayFloat,
       {SrgbTransfer(0.25f), SrgbTransfer(1.0f), -1, 0}},
      {Fits(Axes(-64, 4, 1), f64),
       PixelFormat::GrayFloat,
       {SrgbTransfer(0.25f), SrgbTransfer(0.5f), -1, 0}},
  };
  for (const auto& c : kCases) {
    test::Loaded l = test::Load(c.file, u"a.fits");
    ASSERT_TRUE(l.Ok());
    ASSERT_EQ(l.image->Format(), c.format);
    EXPECT_EQ(l.reader->Model(), ColourModel::L);
    const uint32_t top = 0;  // the last row stored
    for (size_t x = 0; x < c.row0.size(); ++x) {
      double got = 0;
      if (c.format == PixelFormat::Gray8) got = l.image->Row(top)[x];
      if (c.format == PixelFormat::Gray16)
        got = reinterpret_cast<const uint16_t*>(l.image->Row(top))[x];
      if (c.format == PixelFormat::GrayFloat)
        got = reinterpret_cast<const float*>(l.image->Row(top))[x];
      if (c.row0[x] >= 0) {
        EXPECT_NEAR(got, c.row0[x], 1e-6) << x;
      } else {
        EXPECT_TRUE(std::isfinite(got)) << x;
      }
    }
  }
  std::vector<std::string> cards = Axes(8, 1, 1);
  for (const char* c : {"COMMENT", "COMMENT   first words", "COMMENT   second words"})
    cards.push_back(Card(c));
  cards.push_back(Value("OBJECT", "'M 13    '           / the cluster"));
  cards.push_back(Value("AUTHOR", "'O''Brien'"));
  cards.push_back(Value("DATE", "'2006-11-15'"));
  cards.push_back(Value("ORIGIN", "''"));  // empty: skipped
  cards.push_back(Value("OBSERVER", "'SkyView'"));
  for (int i = 0; i < 40; ++i) cards.push_back(Value("HISTORY" + std::to_string(i % 10), "1"));
  test::Loaded l = test::Load(Fits(cards, "\x2A"), u"a.fits");
  ASSERT_TRUE(l.Ok());
  for (auto [id, text] : {std::pair{PropertyId::Title, "M 13"},
                          {PropertyId::Author, "O'Brien"},
                          {PropertyId::CreationDate, "2006-11-15"},
                          {PropertyId::Source, "SkyView"},
                          {PropertyId::Comment, "first words"}})
    EXPECT_EQ(test::U8(*l.image->Properties().Get(id)), text);
  EXPECT_EQ(l.image->Row(0)[0], 0x2A);  // the header took two records
}

std::string Hdr(const std::string& resolution, const std::string& format = "32-bit_rle_rgbe") {
  return "#?RADIANCE\nFORMAT=" + format + "\n\n" + resolution + "\n";
}
const float* Pixel(const test::Loaded& l, uint32_t x, uint32_t y) {
  return reinterpret_cast<const float*>(l.image->Row(y)) + 4 * size_t{x};
}
float Encoded(int m,
              int e) {  // what the pipeline makes of a grey RGBE pixel: sRGB-encoded linear light
  const uint8_t p[4] = {uint8_t(m), uint8_t(m), uint8_t(m), uint8_t(e)};
  float f[3];
  RgbeToFloat(p, f);
  return SrgbTransfer(f[0]);
}

TEST(HdrReader, HeaderOrientationAndRefusals) {
  auto probe = [](const std::string& s) { return ProbeHdr(*MakeMemorySource(u"p.hdr", s)); };
  EXPECT_EQ(probe("#?RADIANCE\n"), status::kOk);
  EXPECT_EQ(probe("#?RGBE\nXXXXX"), status::kOk);
  for (const char* s : {"#?RGBE\nXXX", "#?RADIANC\nXXXXX", "P6\n1 1\n255\nxyz"})
    EXPECT_EQ(probe(s), status::kUnknownFormat);
  const struct {
    const char* line;
    uint32_t width, height;  // of the buffer: scanline length, scanline count
    const char* orientation;
  } kForms[] = {
      {"-Y 2 +X 3", 3, 2, nullptr},       {"-Y 2 -X 3", 3, 2, "Mirrored"},
      {"+Y 2 -X 3", 3, 2, "Rotated 180"}, {"+Y 2 +X 3", 3, 2, "Bottom-Up"},
      {"+X 3 +Y 2", 2, 3, "Rotated 90"},  {"-X 3 +Y 2", 2, 3, "Rotated 90 & Bottom-Up"},
      {"-X 3 -Y 2", 2, 3, "Rotated 270"}, {"+x 3 -y 2", 2, 3, "Rotated 270 & Bottom-Up"},
  };
  for (const auto& f : kForms) {
    test::Loaded l = test::Load(Hdr(f.line) + std::string(6 * 4, '\x80'), u"t.hdr");
    ASSERT_TRUE(l.Ok()) << f.line;
    EXPECT_EQ(l.reader->Width(), f.width) << f.line;
    EXPECT_EQ(l.reader->Height(), f.height) << f.line;
    EXPECT_EQ(l.reader->OutputFormat(), PixelFormat::BgraFloat);
    const std::u16string* o = l.reader->Properties().Get(PropertyId::Orientation);
    EXPECT_EQ(o ? test::U8(*o) : "", f.orientation ? f.orientation : "") << f.line;
  }
  // The first non-empty comment, trimmed; other variables ignored; the
  // keyword in any case.
  test::Loaded l = test::Load(
      "#?RGBE\n#   \n#  made here  \n# later\nEXPOSURE=2\nformat=32-bit_rle_xyze\n\n"
      "-Y 1 +X 1\n\x80\x80\x80\x80",
      u"t.hdr");
  ASSERT_TRUE(l.Ok());
  EXPECT_EQ(test::U8(*l.reader->Properties().Get(PropertyId::Comment)), "made here");
  EXPECT_EQ(l.reader->Model(), ColourModel::Xyz);
  EXPECT_EQ(test::Load(Hdr("-Y 1 +X 1", "32-bit_rle_rgbf") + "1234", u"t.hdr").status,
            status::kUnsupportedSubformat);
  EXPECT_EQ(test::Load("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n", u"t.hdr").status,
            status::kUnknownFormat);
  for (const char* bad : {"-Y 0 +X 3", "-Y 2 +Y 3", "-Y 2 +X", "-Y 2 +X 3 4", "-Y 2 *X 3",
                          "-Y 99999999 +X 99999999", "-Y 2 +X 3x"})
    EXPECT_EQ(test::Load(Hdr(bad) + "1234", u"t.hdr").status, status::kDamaged) << bad;
}

TEST(HdrReader, TheFormulaAndTheScanlineCodes) {
  // m * 2^(e - 136) with the half step: exact down to denormals; e = 0 is black.
  const struct {
    uint8_t rgbe[4];
    float red, green;
  } kValues[] = {{{128, 64, 32, 128}, 0.501953125f, 0.251953125f},
                 {{200, 100, 50, 0}, 0, 0},
                 {{255, 0, 1, 1}, std::ldexp(255.5f, -135), std::ldexp(0.5f, -135)},
                 {{255, 255, 255, 255}, std::ldexp(255.5f, 119), std::ldexp(255.5f, 119)}};
  for (const auto& v : kValues) {
    float f[3];
    RgbeToFloat(v.rgbe, f);
    EXPECT_EQ(f[0], v.red);
    EXPECT_EQ(f[1], v.green);
  }
  // Flat scanlines: repeat pixels (1, 1, 1, n) count n << 8 more with each
  // repeat in a row and may start a scanline; one that would overrun it ends
  // decoding, leaving the rest black. Widths below 8 are never run-length coded.
  std::string flat =
      Hdr("-Y 3 +X 6") + B({128, 64, 32, 128, 10, 20, 30, 129, 1, 1, 1, 3, 200, 0, 0, 130}) +
      B({1, 1, 1, 2, 1, 1, 1, 0, 5, 5, 5, 128, 6, 6, 6, 128, 7, 7, 7, 128, 8, 8, 8, 128}) +
      B({9, 9, 9, 128, 1, 1, 1, 0, 1, 1, 1, 1});
  test::Loaded l = test::Load(flat, u"t.hdr");
  ASSERT_TRUE(l.Ok());
  EXPECT_EQ(Pixel(l, 0, 0)[2], SrgbTransfer(0.501953125f));
  EXPECT_EQ(Pixel(l, 0, 0)[0], SrgbTransfer(0.126953125f));
  EXPECT_EQ(Pixel(l, 0, 0)[3], 1.0f);
  const std::pair<uint32_t, float> kRow0[] = {
      {1, Encoded(10, 129)}, {4, Encoded(10, 129)}, {5, Encoded(200, 130)}};
  for (auto [x, want] : kRow0) EXPECT_EQ(Pixel(l, x, 0)[2], want) << x;
  const std::pair<uint32_t, float> kRow1[] = {
      {0, Encoded(200, 130)}, {1, Encoded(200, 130)}, {2, Encoded(5, 128)}, {5, Encoded(8, 128)}};
  for (auto [x, want] : kRow1) EXPECT_EQ(Pixel(l, x, 1)[2], want) << x;
  for (uint32_t x = 0; x < 6; ++x)
    EXPECT_EQ(Pixel(l, x, 2)[0] + Pixel(l, x, 2)[1] + Pixel(l, x, 2)[2], 0.0f);
  EXPECT_EQ(
      Pixel(test::Load(Hdr("-Y 1 +X 7") + B({2, 2, 0, 7}) + std::string(24, '\x80'), u"t.hdr"), 0,
            0)[2],
      Encoded(2, 7));
  // A run-length scanline whose run passes its end ends decoding there.
  const std::string rle = B({2, 2, 0, 9, 128 + 9, 100, 128 + 9, 50, 128 + 9, 30, 128 + 9, 128});
  l = test::Load(Hdr("-Y 2 +X 9") + rle + B({2, 2, 0, 9, 128 + 10, 1}) + std::string(64, '\x01'),
                 u"t.hdr");
  ASSERT_TRUE(l.Ok());
  EXPECT_EQ(Pixel(l, 8, 0)[1], Encoded(50, 128));
  EXPECT_EQ(Pixel(l, 3, 1)[2], 0.0f);
  // XYZE keeps its channel order for the conversion.
  l = test::Load(Hdr("-Y 1 +X 1", "32-bit_rle_xyze") + B({200, 120, 40, 128}), u"t.hdr");
  const uint8_t rgbe[4] = {200, 120, 40, 128};
  float xyz[4];
  RgbeToFloat(rgbe, xyz);
  xyz[3] = 1.0f;
  XyzToBgraFloat(xyz, 1);
  for (int c = 0; c < 4; ++c) EXPECT_EQ(Pixel(l, 0, 0)[c], xyz[c]) << c;
}

struct Iff {
  bool pbm = false;
  uint16_t width = 16, height = 1;
  int planes = 1, masking = 0, compression = 0;
  uint16_t transparent = 0;
  std::vector<uint32_t> cmap;  // 0xRRGGBB
  int camg = -1;
  std::string text, body = std::string(2, '\0');
  static std::string Chunk(const char* id, const std::string& data) {
    return std::string(id, 4) + Be(data.size(), 4) + data + std::string(data.size() & 1, '\0');
  }
  std::string Build() const {
    std::string chunks = Chunk(
        "BMHD", Be(width, 2) + Be(height, 2) + Be(0, 4) + B({planes, masking, compression, 0}) +
                    Be(transparent, 2) + B({10, 11}) + Be(width, 2) + Be(height, 2));
    std::string c;
    for (uint32_t v : cmap) c += Be(v, 3);
    if (!cmap.empty()) chunks += Chunk("CMAP", c);
    if (camg >= 0) chunks += Chunk("CAMG", Be(camg, 4));
    if (!text.empty()) chunks += Chunk("TEXT", text);
    chunks += Chunk("BODY", body);
    return "FORM" + Be(chunks.size() + 4, 4) + (pbm ? "PBM " : "ILBM") + chunks;
  }
};

// One row of indices as ILBM planes (width a multiple of 16).
std::string Planes(const std::vector<uint32_t>& indices, int planes) {
  const size_t rowBytes = (indices.size() + 15) / 16 * 2;
  std::string s(rowBytes * planes, '\0');
  for (size_t x = 0; x < indices.size(); ++x)
    for (int p = 0; p < planes; ++p)
      if (indices[x] >> p & 1) s[p * rowBytes + x / 8] |= static_cast<char>(0x80 >> (x % 8));
  return s;
}

TEST(IffReader, RefusalsAndProperties) {
  auto probe = [](const std::string& s) { return ProbeIff(*MakeMemorySource(u"p.iff", s)); };
  const std::string good = Iff{}.Build();
  EXPECT_EQ(probe(good), status::kOk);
  EXPECT_EQ(probe(good.substr(0, 39)), status::kUnknownFormat);
  EXPECT_EQ(probe(good.substr(0, 8) + "PBM " + good.substr(12)), status::kOk);
  EXPECT_EQ(probe(good.substr(0, 8) + "8SVX" + good.substr(12)), status::kUnknownFormat);
  auto status = [](auto edit) {
    Iff f;
    f.planes = 2;
    f.body = std::string(4, '\0');
    edit(f);
    return test::Load(f.Build(), u"t.iff").status;
  };
  for (int planes : {0, 9, 12, 16, 32})
    EXPECT_EQ(status([planes](Iff& f) { f.planes = planes; }), status::kUnsupportedSubformat)
        << planes;
  EXPECT_EQ(status([](Iff& f) { f.compression = 3; }), status::kUnsupportedSubformat);
  EXPECT_EQ(status([](Iff& f) { f.height = 0; }), status::kDamaged);
  std::string noBody = good;
  EXPECT_EQ(test::Load(noBody.replace(noBody.find("BODY"), 4, "JUNK"), u"t.iff").status,
            status::kDamaged);
  std::string shortHeader = good;
  shortHeader[19] = 10;  // BMHD size 10: no compression or transparent colour
  EXPECT_FALSE(test::Load(shortHeader, u"t.iff").Ok());
  Iff t;
  t.planes = 2;
  t.text = "a comment ";
  t.compression = 1;
  t.body = B({3, 0, 0, 0, 0});
  test::Loaded l = test::Load(t.Build(), u"t.iff");
  ASSERT_TRUE(l.Ok());
  EXPECT_EQ(test::U8(*l.reader->Properties().Get(PropertyId::Comment)), "a comment");
  EXPECT_EQ(test::U8(*l.reader->Properties().Get(PropertyId::Compression)), "RLE");
  EXPECT_EQ(l.reader->Alpha(), AlphaMode::Straight);
  EXPECT_EQ(l.reader->BitDepth(), 2u);
}

TEST(IffReader, PlanesMasksAndHoldAndModify) {
  // 18 pixels wide: 4 bytes a plane row; a mask plane is skipped, a
  // transparent colour clears its palette entry.
  Iff f;
  f.width = 18;
  f.planes = 2;
  f.masking = 1;
  f.cmap = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
  f.body = B({0xF0, 0x0F, 0xC0, 0, 0xFF, 0x00, 0x40, 0, 0x12, 0x34, 0x56, 0x78});
  const std::string want = B({3, 3, 3, 3, 2, 2, 2, 2, 0, 0, 0, 0, 1, 1, 1, 1, 1, 3});
  EXPECT_EQ(test::Load(f.Build(), u"t.iff").RawRow(0, 18), want);
  f.masking = 2;
  f.transparent = 2;
  f.body.resize(8);
  test::Loaded l = test::Load(f.Build(), u"t.iff");
  EXPECT_EQ(l.RawRow(0, 18), want);
  EXPECT_EQ(l.image->Palette()[2], 0x0000FF00u);
  // Without CMAP: a grey ramp over the plane count's indices.
  f = Iff{};
  f.planes = 2;
  f.body = std::string(4, '\0');
  EXPECT_EQ(test::Load(f.Build(), u"t.iff").image->Palette()[1], 0xFF555555u);
  // HAM8: control in the top 2 bits, 6-bit values widened as v * 4 + v / 16;
  // each row starts from palette entry 0.
  Iff h;
  h.height = 2;
  h.planes = 8;
  h.camg = 0x800;
  for (uint32_t i = 0; i < 64; ++i) h.cmap.push_back(i * 0x030201);
  std::vector<uint32_t> row = {5, 0x40 | 63, 0x80 | 1, 0xC0 | 32, 0, 0x80 | 62};
  row.resize(16, 0xC0 | 10);
  h.body = Planes(row, 8) + Planes(std::vector<uint32_t>(16, 0x40 | 7), 8);
  l = test::Load(h.Build(), u"t.iff");
  ASSERT_TRUE(l.Ok());
  const uint32_t ham8[] = {0xFF000000u | 5 * 0x030201u,
                           0xFF0F0AFF,
                           0xFF040AFF,
                           0xFF0482FF,
                           0xFF000000,
                           0xFFFB0000,
                           0xFFFB2800};
  for (uint32_t x = 0; x < 7; ++x) EXPECT_EQ(l.Px(x, 0), ham8[x]) << x;
  EXPECT_EQ(l.Px(0, 1), 0xFF00001Cu);
  // HAM6: 4-bit values repeat their bits.
  h = Iff{};
  h.planes = 6;
  h.camg = 0x800;
  h.cmap = {0x102030, 0x405060};
  std::vector<uint32_t> six = {1, 0x20 | 0xA, 0x30 | 0x5, 0x10 | 0xF};
  six.resize(16, 0);
  h.body = Planes(six, 6);
  l = test::Load(h.Build(), u"t.iff");
  const uint32_t ham6[] = {0xFF405060, 0xFFAA5060, 0xFFAA5560, 0xFFAA55FF, 0xFF102030};
  for (uint32_t x = 0; x < 5; ++x) EXPECT_EQ(l.Px(x, 0), ham6[x]) << x;
}

TEST(IffReader, RunCodes) {
  // ByteRun1: a literal of 3, -128 (nothing), a run of 4 cut to the output.
  std::vector<uint8_t> out(8, 0xEE);
  const std::string in = B({2, 1, 2, 3, 0x80, 0xFD, 9, 0xFD, 7});
  EXPECT_EQ(ExpandByteRun1({reinterpret_cast<const uint8_t*>(in.data()), in.size()}, out), 8u);
  EXPECT_EQ(out, (std::vector<uint8_t>{1, 2, 3, 9, 9, 9, 9, 7}));
  for (auto [bytes, written] : {std::pair{B({5, 1, 2}), 2u}, {B({0xFE}), 0u}})  // cut short
    EXPECT_EQ(ExpandByteRun1({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, out),
              written);
  // Column-wise words of two planes of 16 x 3: literals for plane 0; a repeat
  // cut at the plane's end for plane 1; a third chunk ignored.
  auto vdat = [](const std::string& commands, const std::string& words) {
    return Iff::Chunk("VDAT", Be(commands.size() + 2, 2) + commands + words);
  };
  const std::string body = vdat(B({0xFD}), B({0x80, 0x01, 0x40, 0x02, 0x20, 0x04})) +
                           vdat(B({100}), B({0xFF, 0xFF})) + vdat(B({1}), B({0, 50, 1, 1}));
  std::vector<uint8_t> planes(13, 0xEE);
  ExpandVerticalWords({reinterpret_cast<const uint8_t*>(body.data()), body.size()},
                      {planes.data(), 12}, 2, 4, 3, 2);
  EXPECT_EQ(planes, (std::vector<uint8_t>{0x80, 0x01, 0xFF, 0xFF, 0x40, 0x02, 0xFF, 0xFF, 0x20,
                                          0x04, 0xFF, 0xFF, 0xEE}));
}

}  // namespace
}  // namespace vt
