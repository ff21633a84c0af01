// The JPEG reader on streams built here segment by segment: the probe, what it
// refuses, properties, colour models, geometry, progress and restart markers.
// Decoded pixels of real files are checked against djpeg in the corpus table.
#include "formats/jpeg/jpeg_decoder.h"
#include "formats/jpeg/jpeg_reader.h"
#include "reader_test_util.h"

namespace vt {
namespace {

using test::B;

std::string Segment(int marker, const std::string& payload) {
  return B({0xFF, marker}) + test::Be(payload.size() + 2, 2) + payload;
}

// SOI, extra segments, a quantisation table of ones, the frame header,
// one-code Huffman tables (DC category 0, AC end of block) and a scan of zero
// bits: every sample decodes as 128.
struct Stream {
  int frameMarker = 0xC0;
  int precision = 8;
  uint16_t width = 8, height = 8;
  // id, sampling h << 4 | v (one element made by count, which the cross compiler reads
  // without a false uninitialised warning)
  std::vector<std::pair<int, int>> components = std::vector<std::pair<int, int>>(1, {1, 0x11});
  std::string extra;
  std::string Build() const {
    std::string sof =
        B({precision}) + test::Be(height, 2) + test::Be(width, 2) + B({int(components.size())});
    std::string sos = B({int(components.size())});
    uint32_t hmax = 1, vmax = 1, bits = 0;
    for (auto [id, s] : components) {
      sof += B({id, s, 0});
      sos += B({id, 0});
      hmax = std::max<uint32_t>(hmax, s >> 4);
      vmax = std::max<uint32_t>(vmax, s & 15);
      bits += 2 * (components.size() == 1 ? 1 : (s >> 4) * (s & 15));
    }
    const uint32_t mcus =
        (width + 8 * hmax - 1) / (8 * hmax) * ((height + 8 * vmax - 1) / (8 * vmax));
    const std::string oneCode = B({1}) + std::string(15, '\0') + B({0});
    return B({0xFF, 0xD8}) + extra + Segment(0xDB, std::string(1, '\0') + std::string(64, '\1')) +
           Segment(frameMarker, sof) + Segment(0xC4, B({0x00}) + oneCode + B({0x10}) + oneCode) +
           Segment(0xDA, sos + B({0, 0x3F, 0})) + std::string((bits * mcus + 7) / 8, '\0') +
           B({0xFF, 0xD9});
  }
};

test::Loaded Load(const std::string& bytes, const test::LoadOptions& o = {}) {
  return test::Load(bytes, u"t.jpg", o);
}

std::string With(std::string s, const char* marker, size_t offset, std::string bytes) {
  return s.replace(s.find(marker) + offset, bytes.size(), bytes);
}

TEST(JpegReader, ProbeAndRefusals) {
  const std::string jpeg = Stream{}.Build();
  auto probe = [](const std::string& s) { return ProbeJpeg(*MakeMemorySource(u"a", s)); };
  EXPECT_EQ(probe(jpeg), status::kOk);
  // The start of image at 0 or after a 692-byte preamble only.
  EXPECT_EQ(probe(std::string(692, 'x') + "\xFF\xD8"), status::kOk);
  EXPECT_EQ(probe(std::string(691, 'x') + jpeg), status::kUnknownFormat);
  EXPECT_EQ(probe(std::string(693, 'x') + jpeg), status::kUnknownFormat);
  EXPECT_EQ(probe("\xFF\xD9"), status::kUnknownFormat);
  EXPECT_EQ(probe("\xFF"), status::kUnknownFormat);
  test::Loaded behind = Load(std::string(692, '\xFF') + jpeg);
  ASSERT_TRUE(behind.Ok());
  EXPECT_EQ(behind.image->Row(7)[7], 128);

  auto stream = [](auto edit) {
    Stream s;
    edit(s);
    return s.Build();
  };
  std::vector<std::pair<std::string, Status>> cases = {
      {stream([](Stream& s) {
         s.components = {{1, 0x11}, {2, 0x11}};
       }),
       status::kUnsupportedSubformat},
      {stream([](Stream& s) { s.precision = 12; }),
       status::kDamaged},  // passes the header pass only
      {stream([](Stream& s) {
         s.components = {{1, 0x51}, {2, 0x11}, {3, 0x11}};
       }),
       status::kDamaged},
      {stream([](Stream& s) {
         s.components = {{1, 0x31}, {2, 0x21}, {3, 0x11}};
       }),
       status::kUnsupportedSubformat},
      {stream([](Stream& s) { s.extra = Segment(0xDD, std::string("\0\1\0", 3)); }),
       status::kDamaged},
      {B({0xFF, 0xD8}) + Segment(0xFE, "x") + B({0xFF, 0xD9}),
       status::kDamaged},                                              // no frame header
      {jpeg.substr(0, jpeg.find("\xFF\xC0") + 6), status::kDamaged},   // a frame header cut short
      {With(jpeg, "\xFF\xDB", 4, B({5})), status::kDamaged},           // table index 5
      {With(jpeg, "\xFF\xC4", 5, B({0xFF, 0xFF})), status::kDamaged},  // more than 256 codes
      {With(jpeg, "\xFF\xDA", 5, B({9})), status::kDamaged},  // a component not in the frame
  };
  for (int m : {0xC3, 0xC5, 0xC6, 0xC7, 0xC8, 0xCB, 0xCD, 0xCE, 0xCF})
    cases.emplace_back(stream([m](Stream& s) { s.frameMarker = m; }),
                       status::kUnsupportedSubformat);
  for (size_t i = 0; i < cases.size(); ++i)
    EXPECT_EQ(Load(cases[i].first).status, cases[i].second) << i;
  EXPECT_NE(Load(stream([](Stream& s) { s.height = 0; })).status,
            status::kOk);  // height left to DNL
}

TEST(JpegReader, PropertiesFromSegments) {
  auto jfif = [](int unit, int x, int y) {
    return Segment(0xE0, std::string("JFIF\0\1\2", 7) + B({unit}) + test::Be(x, 2) +
                             test::Be(y, 2) + B({0, 0}));
  };
  std::string exif = std::string("Exif\0\0MM\0\x2A\0\0\0\x08\0\x01", 16) +
                     std::string("\x01\x0F\0\x02\0\0\0\x04", 8) + "Cam" + std::string(5, '\0');
  const std::string xmp = std::string("http://ns.adobe.com/xap/1.0/") + '\0' +
                          "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
                          "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
                          "<rdf:Description xmlns:tiff='http://ns.adobe.com/tiff/1.0/' "
                          "tiff:Model='Lens One'/></rdf:RDF></x:xmpmeta>";
  const struct {
    std::string extra;
    PropertyId id;
    const char* text;  // nullptr: not set
  } kCases[] = {
      {jfif(0, 72, 72), PropertyId::PixelDensity, nullptr},
      {jfif(1, 72, 96), PropertyId::PixelDensity, "72 x 96 ppi"},
      {jfif(2, 28, 28), PropertyId::PixelDensity, "2800 x 2800 ppm"},
      {jfif(1, 300, 300) + jfif(1, 72, 72), PropertyId::PixelDensity, "300 x 300 ppi"},
      {Segment(0xFE, "<?xpacket begin?>") + Segment(0xFE, "first words") + Segment(0xFE, "second"),
       PropertyId::Comment, "first words"},
      {Segment(0xFE, "<?only markup"), PropertyId::Comment, nullptr},
      {Segment(0xE1, exif) + Segment(0xE1, xmp), PropertyId::Manufacturer, "Cam"},
      {Segment(0xE1, exif) + Segment(0xE1, xmp), PropertyId::Model, "Lens One"},
      {"", PropertyId::Compression, "HuffDCT"},
  };
  for (const auto& c : kCases) {
    Stream s;
    s.extra = c.extra;
    test::Loaded l = Load(s.Build());
    ASSERT_TRUE(l.Ok());
    const std::u16string* t = l.reader->Properties().Get(c.id);
    EXPECT_EQ(t ? test::U8(*t) : "(none)", c.text ? c.text : "(none)") << static_cast<int>(c.id);
  }
  for (int m : {0xC1, 0xC2, 0xC9, 0xCA}) {
    Stream s;
    s.frameMarker = m;
    EXPECT_EQ(test::U8(*Load(s.Build()).reader->Properties().Get(PropertyId::Compression)),
              m < 0xC9 ? "HuffDCT" : "ArithDCT");
  }
}

TEST(JpegReader, ColourModelFollowsAdobeTransformAndIdentifiers) {
  const struct {
    std::vector<std::pair<int, int>> comps;
    int transform;  // -1: no APP14 segment
    ColourModel model;
  } kCases[] = {
      {{{1, 0x11}, {2, 0x11}, {3, 0x11}}, -1, ColourModel::YCbCr},
      {{{'R', 0x11}, {'G', 0x11}, {'B', 0x11}}, -1, ColourModel::Rgb},
      {{{'R', 0x11}, {'G', 0x11}, {'B', 0x11}}, 1, ColourModel::YCbCr},
      {{{1, 0x11}, {2, 0x11}, {3, 0x11}}, 0, ColourModel::Rgb},
      {{{1, 0x11}, {2, 0x11}, {3, 0x11}}, 7, ColourModel::YCbCr},
      {{{'C', 0x11}, {'M', 0x11}, {'Y', 0x11}, {'K', 0x11}}, -1, ColourModel::Cmyl},
      {{{1, 0x11}, {2, 0x11}, {3, 0x11}, {4, 0x11}}, -1, ColourModel::Cmyk},
      {{{1, 0x11}, {2, 0x11}, {3, 0x11}, {4, 0x11}}, 0, ColourModel::Cmyl},
      {{{1, 0x11}, {2, 0x11}, {3, 0x11}, {4, 0x11}}, 1, ColourModel::Cmyk},
      {{{1, 0x11}, {2, 0x11}, {3, 0x11}, {4, 0x11}}, 2, ColourModel::Ycck},
      {{{1, 0x11}}, 0, ColourModel::L},
  };
  for (const auto& c : kCases) {
    Stream s;
    s.components = c.comps;
    if (c.transform >= 0)
      s.extra = Segment(0xEE, std::string("Adobe\0d\0\0\0\0", 11) + B({c.transform}));
    const std::string bytes = s.Build();
    JpegDecoder header({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
    ASSERT_EQ(header.ReadHeader(), status::kOk);
    EXPECT_EQ(header.Model(), c.model) << c.comps.size() << " " << c.transform;
    // The decoder converts YCbCr rows itself and then reports RGB.
    EXPECT_EQ(Load(bytes).reader->Model(),
              c.model == ColourModel::YCbCr ? ColourModel::Rgb : c.model);
  }
}

TEST(JpegReader, GeometryFollowsTheLargestSamplingFactors) {
  Stream s;
  s.width = 33;
  s.height = 17;
  s.components = {{1, 0x22}, {2, 0x11}, {3, 0x11}};
  test::Loaded l = Load(s.Build());
  ASSERT_TRUE(l.Ok());
  EXPECT_EQ(l.reader->BitDepth(), 24u);
  EXPECT_EQ(l.reader->OutputFormat(), PixelFormat::Bgra8);
  EXPECT_EQ(l.reader->MinStride(), 48u * 4);
  EXPECT_EQ(l.reader->MinRows(), 32u);
  EXPECT_EQ(l.reader->ReducedWidth(), 5u);
  EXPECT_EQ(l.reader->ReducedHeight(), 3u);
  Stream grey;
  grey.width = 9;
  grey.height = 1;
  l = Load(grey.Build());
  EXPECT_EQ(l.reader->OutputFormat(), PixelFormat::Gray8);
  EXPECT_EQ(l.reader->MinStride(), 16u);
  EXPECT_EQ(l.reader->MinRows(), 8u);
  // Every layout decodes to the flat colour the zero data stand for, at full
  // and reduced size; four components are CMYK: (255 - 128)^2 / 255.
  for (auto comps : std::vector<std::vector<std::pair<int, int>>>{
           {{1, 0x21}, {2, 0x11}, {3, 0x11}},
           {{1, 0x12}, {2, 0x11}, {3, 0x11}},
           {{1, 0x44}, {2, 0x22}, {3, 0x11}},
           {{1, 0x11}, {2, 0x11}, {3, 0x11}, {4, 0x11}},
           {{1, 0x42}, {2, 0x21}, {3, 0x11}, {4, 0x12}}}) {
    Stream st;
    st.width = 70;
    st.height = 45;
    st.components = comps;
    for (bool reduced : {false, true}) {
      test::Loaded d = Load(st.Build(), {.reduced = reduced});
      ASSERT_TRUE(d.Ok());
      EXPECT_EQ(d.image->Width(), reduced ? 9u : 70u);
      const int want = comps.size() == 4 ? 63 : 128;
      for (uint32_t y = 0; y < d.image->Height(); ++y)
        for (uint32_t x = 0; x < d.image->Width(); ++x)
          ASSERT_NEAR(static_cast<int>(d.Px(x, y) & 0xFF), want, 1) << comps.size();
    }
  }
}

class Recorder : public ProgressSink {
 public:
  void Report(uint32_t done, uint32_t) override {
    ++calls;
    last = done;
    if (flag && done >= 3) flag->Set();
  }
  int calls = 0;
  uint32_t last = 0;
  CancelFlag* flag = nullptr;
};

TEST(JpegReader, ProgressPerRowAndCancellation) {
  Stream s;
  s.width = 16;
  s.height = 80;
  auto rec = MakeRef<Recorder>();
  ASSERT_TRUE(Load(s.Build(), {.progress = rec.get()}).Ok());
  EXPECT_GE(rec->calls, 10);
  CancelFlag later;
  auto stopper = MakeRef<Recorder>();
  stopper->flag = &later;
  EXPECT_EQ(Load(s.Build(), {.progress = stopper.get(), .cancel = &later}).status,
            status::kCancelled);
  EXPECT_LT(stopper->last, 9u);
}

// The second restart marker removed: decoding resynchronises at the next one,
// so the last MCU row comes from the data of its own interval.
TEST(JpegReader, ALostRestartMarkerCostsOnlyItsInterval) {
  const std::string jpeg =
      test::ReadFileBytes(std::string(VT_SOURCE_DIR) + "/tests/data/formats/pipeline_420_rst1.jpg");
  const size_t second = jpeg.find("\xFF\xD1", jpeg.find("\xFF\xDA"));
  ASSERT_NE(second, std::string::npos);
  test::Loaded whole = Load(jpeg), lost = Load(jpeg.substr(0, second) + jpeg.substr(second + 2));
  ASSERT_TRUE(whole.Ok() && lost.Ok());
  const uint32_t h = whole.image->Height();
  for (uint32_t y = h - 16; y < h; ++y)
    ASSERT_EQ(whole.RawRow(y, 4 * whole.image->Width()), lost.RawRow(y, 4 * whole.image->Width()))
        << y;
}

}  // namespace
}  // namespace vt
