// The JPEG reader on streams built here segment by segment: probing, the
// header pass and its properties, the refused processes, colour models,
// geometry, progress and cancellation.
#include <gtest/gtest.h>

#include <string>

#include "formats/jpeg/jpeg_decoder.h"
#include "formats/jpeg/jpeg_reader.h"
#include "jpeg_test_util.h"

namespace vt {
namespace {

using jpegtest::Build;
using jpegtest::Decode;
using jpegtest::Segment;
using jpegtest::Stream;

Status Open(const std::string& bytes, RefPtr<ImageReader>* reader) {
  return jpegtest::Registry().OpenReader(MakeMemorySource(u"t.jpg", bytes).get(), reader);
}

std::string Jfif(int unit, int x, int y) {
  std::string p = {'J', 'F', 'I', 'F', '\0', '\1', '\2', static_cast<char>(unit),
                   static_cast<char>(x >> 8), static_cast<char>(x & 0xFF),
                   static_cast<char>(y >> 8), static_cast<char>(y & 0xFF), '\0', '\0'};
  return Segment(0xE0, p);
}

std::string Adobe(int transform) {
  std::string p = "Adobe";
  p += {'\0', 'd', '\0', '\0', '\0', '\0', static_cast<char>(transform)};
  return Segment(0xEE, p);
}

TEST(JpegReader, ProbeFindsTheStartOfImageAtZeroOr692Only) {
  const std::string jpeg = Build(Stream{});
  EXPECT_EQ(ProbeJpeg(*MakeMemorySource(u"a", jpeg)), status::kOk);
  EXPECT_EQ(ProbeJpeg(*MakeMemorySource(u"a", std::string(692, 'x') + jpeg)), status::kOk);
  EXPECT_EQ(ProbeJpeg(*MakeMemorySource(u"a", std::string(692, 'x') + "\xFF\xD8")), status::kOk);
  EXPECT_EQ(ProbeJpeg(*MakeMemorySource(u"a", std::string(691, 'x') + jpeg)),
            status::kUnknownFormat);
  EXPECT_EQ(ProbeJpeg(*MakeMemorySource(u"a", std::string(693, 'x') + jpeg)),
            status::kUnknownFormat);
  EXPECT_EQ(ProbeJpeg(*MakeMemorySource(u"a", std::string("\xFF\xD9", 2))), status::kUnknownFormat);
  EXPECT_EQ(ProbeJpeg(*MakeMemorySource(u"a", std::string("\xFF", 1))), status::kUnknownFormat);

  // Behind the preamble the whole stream is read from there.
  jpegtest::Decoded d = Decode(std::string(692, '\xFF') + jpeg);
  ASSERT_EQ(d.status, status::kOk);
  EXPECT_EQ(d.image->Width(), 8u);
  EXPECT_EQ(d.image->Row(7)[7], 128);
}

TEST(JpegReader, JfifDensityGivesTheResolutionText) {
  struct Case {
    int unit, x, y;
    const char16_t* text;
  } cases[] = {{0, 72, 72, nullptr}, {1, 72, 96, u"72 x 96 ppi"}, {2, 28, 28, u"2800 x 2800 ppm"}};
  for (const Case& c : cases) {
    Stream s;
    s.extra = Jfif(c.unit, c.x, c.y);
    RefPtr<ImageReader> r;
    ASSERT_EQ(Open(Build(s), &r), status::kOk);
    const std::u16string* text = r->Properties().Get(PropertyId::PixelDensity);
    if (c.text) {
      ASSERT_TRUE(text) << c.unit;
      EXPECT_EQ(*text, c.text);
    } else {
      EXPECT_FALSE(text);
    }
  }
  // The first JFIF segment wins.
  Stream s;
  s.extra = Jfif(1, 300, 300) + Jfif(1, 72, 72);
  RefPtr<ImageReader> r;
  ASSERT_EQ(Open(Build(s), &r), status::kOk);
  EXPECT_EQ(*r->Properties().Get(PropertyId::PixelDensity), u"300 x 300 ppi");
}

TEST(JpegReader, CommentsExceptMarkupSetTheCommentOnce) {
  Stream s;
  s.extra = Segment(0xFE, "<?xpacket begin?>") + Segment(0xFE, "first words") +
            Segment(0xFE, "second");
  RefPtr<ImageReader> r;
  ASSERT_EQ(Open(Build(s), &r), status::kOk);
  ASSERT_TRUE(r->Properties().Get(PropertyId::Comment));
  EXPECT_EQ(*r->Properties().Get(PropertyId::Comment), u"first words");

  s.extra = Segment(0xFE, "<?only markup");
  ASSERT_EQ(Open(Build(s), &r), status::kOk);
  EXPECT_FALSE(r->Properties().Has(PropertyId::Comment));
}

TEST(JpegReader, ExifAndXmpSegmentsReachTheMetadataReaders) {
  // A big-endian TIFF block with one IFD0 entry: the camera make.
  std::string exif = std::string("Exif\0\0", 6) + "MM" + std::string("\0\x2A\0\0\0\x08", 6);
  exif += std::string("\0\x01", 2);                                  // one entry
  exif += std::string("\x01\x0F\0\x02\0\0\0\x04", 8) + "Cam" + '\0';  // Make, ASCII, 4 bytes
  exif += std::string(4, '\0');
  const std::string xmp =
      std::string("http://ns.adobe.com/xap/1.0/") + '\0' +
      "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
      "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description "
      "xmlns:tiff='http://ns.adobe.com/tiff/1.0/' tiff:Model='Lens One'/></rdf:RDF></x:xmpmeta>";
  Stream s;
  s.extra = Segment(0xE1, exif) + Segment(0xE1, xmp);
  RefPtr<ImageReader> r;
  ASSERT_EQ(Open(Build(s), &r), status::kOk);
  ASSERT_TRUE(r->Properties().Get(PropertyId::Manufacturer));
  EXPECT_EQ(*r->Properties().Get(PropertyId::Manufacturer), u"Cam");
  ASSERT_TRUE(r->Properties().Get(PropertyId::Model));
  EXPECT_EQ(*r->Properties().Get(PropertyId::Model), u"Lens One");
}

TEST(JpegReader, FrameTypesAreAcceptedOrRefusedWithTheirCodes) {
  RefPtr<ImageReader> r;
  for (int m : {0xC0, 0xC1, 0xC2}) {
    Stream s;
    s.frameMarker = static_cast<uint8_t>(m);
    ASSERT_EQ(Open(Build(s), &r), status::kOk) << m;
    EXPECT_EQ(*r->Properties().Get(PropertyId::Compression), u"HuffDCT");
  }
  for (int m : {0xC9, 0xCA}) {
    Stream s;
    s.frameMarker = static_cast<uint8_t>(m);
    ASSERT_EQ(Open(Build(s), &r), status::kOk) << m;
    EXPECT_EQ(*r->Properties().Get(PropertyId::Compression), u"ArithDCT");
  }
  for (int m : {0xC3, 0xC5, 0xC6, 0xC7, 0xC8, 0xCB, 0xCD, 0xCE, 0xCF}) {
    Stream s;
    s.frameMarker = static_cast<uint8_t>(m);
    EXPECT_EQ(Open(Build(s), &r), status::kUnsupportedSubformat) << m;
  }
  Stream two;
  two.components = {{1, 0x11}, {2, 0x11}};
  EXPECT_EQ(Open(Build(two), &r), status::kUnsupportedSubformat);

  // Precision 12 passes the header pass and fails in the decoder.
  Stream twelve;
  twelve.precision = 12;
  ASSERT_EQ(Open(Build(twelve), &r), status::kOk);
  EXPECT_EQ(Decode(Build(twelve)).status, status::kDamaged);

  // No frame header at all.
  EXPECT_EQ(Open(std::string("\xFF\xD8") + Segment(0xFE, "x") + "\xFF\xD9", &r), status::kDamaged);
  // A frame header that is cut short.
  const std::string whole = Build(Stream{});
  const size_t sof = whole.find("\xFF\xC0");
  EXPECT_EQ(Open(whole.substr(0, sof + 6), &r), status::kDamaged);
}

TEST(JpegReader, ZeroSizeAndBadSamplingAreDamaged) {
  Stream s;
  s.height = 0;  // a height left to a DNL segment
  RefPtr<ImageReader> r;
  EXPECT_NE(Open(Build(s), &r), status::kOk);
  Stream bad;
  bad.components = {{1, 0x51}, {2, 0x11}, {3, 0x11}};
  EXPECT_EQ(Decode(Build(bad)).status, status::kDamaged);
  Stream odd;
  odd.components = {{1, 0x31}, {2, 0x21}, {3, 0x11}};  // 2 does not divide 3
  EXPECT_EQ(Decode(Build(odd)).status, status::kUnsupportedSubformat);
}

TEST(JpegReader, ColourModelFollowsAdobeTransformAndIdentifiers) {
  struct Case {
    std::vector<jpegtest::Component> comps;
    int transform;  // -1: no APP14 segment
    ColourModel model;
  } cases[] = {
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
  for (const Case& c : cases) {
    Stream s;
    s.components = c.comps;
    if (c.transform >= 0) s.extra = Adobe(c.transform);
    const std::string bytes = Build(s);
    JpegDecoder header(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    ASSERT_EQ(header.ReadHeader(), status::kOk);
    EXPECT_EQ(header.Model(), c.model) << c.comps.size() << " " << c.transform;
    // The decoder converts YCbCr rows itself and then reports RGB; every other
    // model is left to the reader's conversion.
    jpegtest::Decoded d = Decode(bytes);
    ASSERT_EQ(d.status, status::kOk);
    const ColourModel after = c.model == ColourModel::YCbCr ? ColourModel::Rgb : c.model;
    EXPECT_EQ(d.reader->Model(), after) << c.comps.size() << " " << c.transform;
  }
}

TEST(JpegReader, GeometryFollowsTheLargestSamplingFactors) {
  Stream s;
  s.width = 33;
  s.height = 17;
  s.components = {{1, 0x22}, {2, 0x11}, {3, 0x11}};
  RefPtr<ImageReader> r;
  ASSERT_EQ(Open(Build(s), &r), status::kOk);
  EXPECT_EQ(r->Width(), 33u);
  EXPECT_EQ(r->Height(), 17u);
  EXPECT_EQ(r->BitDepth(), 24u);
  EXPECT_EQ(r->OutputFormat(), PixelFormat::Bgra8);
  EXPECT_EQ(r->MinStride(), 48u * 4);
  EXPECT_EQ(r->MinRows(), 32u);
  EXPECT_EQ(r->ReducedWidth(), 5u);
  EXPECT_EQ(r->ReducedHeight(), 3u);

  Stream grey;
  grey.width = 9;
  grey.height = 1;
  ASSERT_EQ(Open(Build(grey), &r), status::kOk);
  EXPECT_EQ(r->OutputFormat(), PixelFormat::Gray8);
  EXPECT_EQ(r->BitDepth(), 8u);
  EXPECT_EQ(r->MinStride(), 16u);
  EXPECT_EQ(r->MinRows(), 8u);

  // Every layout decodes to the flat colour the zero data stand for, at full
  // and at reduced size.
  for (auto comps : std::vector<std::vector<jpegtest::Component>>{
           {{1, 0x21}, {2, 0x11}, {3, 0x11}}, {{1, 0x12}, {2, 0x11}, {3, 0x11}},
           {{1, 0x44}, {2, 0x22}, {3, 0x11}}, {{1, 0x11}, {2, 0x11}, {3, 0x11}, {4, 0x11}},
           {{1, 0x42}, {2, 0x21}, {3, 0x11}, {4, 0x12}}}) {
    Stream st;
    st.width = 70;
    st.height = 45;
    st.components = comps;
    for (bool reduced : {false, true}) {
      jpegtest::Decoded d = Decode(Build(st), reduced);
      ASSERT_EQ(d.status, status::kOk);
      jpegtest::Picture p = jpegtest::FromImage(d.image.get());
      EXPECT_EQ(p.width, reduced ? 9u : 70u);
      // Four components are CMYK: 128 in each gives (255 - 128)^2 / 255.
      const int expected = comps.size() == 4 ? 63 : 128;
      for (uint8_t v : p.samples) ASSERT_NEAR(v, expected, 1) << comps.size();
    }
  }
}

class Recorder : public ProgressSink {
 public:
  void Report(uint32_t done, uint32_t total) override {
    calls++;
    last = done;
    lastTotal = total;
    if (cancelAt && done >= cancelAt) flag->Set();
  }
  int calls = 0;
  uint32_t last = 0, lastTotal = 0, cancelAt = 0;
  CancelFlag* flag = nullptr;
};

TEST(JpegReader, ProgressPerRowAndCancellation) {
  Stream s;
  s.width = 16;
  s.height = 80;
  auto rec = MakeRef<Recorder>();
  jpegtest::Decoded d = Decode(Build(s), false, rec.get());
  ASSERT_EQ(d.status, status::kOk);
  EXPECT_GE(rec->calls, 10);

  CancelFlag flag;
  flag.Set();
  EXPECT_EQ(Decode(Build(s), false, nullptr, &flag).status, status::kCancelled);

  CancelFlag later;
  auto stopper = MakeRef<Recorder>();
  stopper->flag = &later;
  stopper->cancelAt = 3;
  EXPECT_EQ(Decode(Build(s), false, stopper.get(), &later).status, status::kCancelled);
  EXPECT_LT(stopper->last, 9u);
}

TEST(JpegReader, DamagedTablesAndScansFailCleanly) {
  const std::string good = Build(Stream{});
  // A quantisation table index of 5.
  std::string bad = good;
  const size_t dqt = bad.find("\xFF\xDB");
  bad[dqt + 4] = 5;
  EXPECT_EQ(Decode(bad).status, status::kDamaged);
  // Huffman counts above 256 values.
  bad = good;
  const size_t dht = bad.find("\xFF\xC4");
  bad[dht + 5] = static_cast<char>(0xFF);
  bad[dht + 6] = static_cast<char>(0xFF);
  EXPECT_EQ(Decode(bad).status, status::kDamaged);
  // A scan naming a component the frame does not have.
  bad = good;
  const size_t sos = bad.find("\xFF\xDA");
  bad[sos + 5] = 9;
  EXPECT_EQ(Decode(bad).status, status::kDamaged);
  // A restart interval segment of the wrong length.
  Stream dri;
  dri.extra = Segment(0xDD, std::string("\0\1\0", 3));
  EXPECT_EQ(Decode(Build(dri)).status, status::kDamaged);
}

}  // namespace
}  // namespace vt
