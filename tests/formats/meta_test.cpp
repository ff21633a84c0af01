// The metadata readers (EXIF and TIFF directories, IPTC, image resources, XMP)
// against files exiftool wrote (tests/data/meta) and blobs built here, the
// property container's text rules, and the resolution and GPS texts.
#include <sstream>
#include "base/byte_cursor.h"
#include "base/text.h"
#include "formats/meta/exif_reader.h"
#include "formats/meta/gps_text.h"
#include "formats/meta/image_resources.h"
#include "formats/meta/iptc_reader.h"
#include "formats/meta/resolution.h"
#include "formats/meta/tiff_ifd.h"
#include "formats/meta/xmp_reader.h"

#include "reader_test_util.h"

namespace vt {
namespace {

using Bytes = std::vector<uint8_t>;
// Slots and their texts as "Name=text|Name=text", an empty text for an empty slot; the names
// are PropertyId's, K1 to K9 the keywords.
using Expected = const char*;

Bytes ToBytes(const std::string& s) {
  return Bytes(s.begin(), s.end());
}
Bytes MetaFile(const std::string& name) {
  return ToBytes(test::ReadFileBytes(std::string(VT_SOURCE_DIR) + "/tests/data/meta/" + name));
}
PropertyId Keyword(int n) {
  return static_cast<PropertyId>(static_cast<int>(PropertyId::Keyword1) + n - 1);
}
std::string Text(ImageProperties& p, PropertyId id) {
  const std::u16string* t = p.Get(id);
  return t ? Utf16ToUtf8(*t) : std::string();
}
void ExpectTexts(ImageProperties& p, Expected want, const std::string& what) {
  static const char* const kNames[kPropertyCount] = {
      "FileName",     "Dimensions",   "ColourFormat", "Compression", "FileFormat",   "FileTime",
      "FileSize",     "Title",        "Comment",      "Author",      "Rights",       "CreationDate",
      "Page",         "Source",       "PixelDensity", "Orientation", "GpsGeotag",    "K1",
      "K2",           "K3",           "K4",           "K5",          "K6",           "K7",
      "K8",           "K9",           "Manufacturer", "Model",       "ExposureTime", "FNumber",
      "IsoSpeed",     "ShutterSpeed", "Aperture",     "FocalLength", "ExposureBias", "Flash",
      "ExposureMode", "WhiteBalance"};
  std::istringstream in(want);
  for (std::string item; std::getline(in, item, '|');) {
    const size_t eq = item.find('=');
    const auto id = std::find(kNames, kNames + kPropertyCount, item.substr(0, eq)) - kNames;
    ASSERT_LT(id, kPropertyCount) << item;
    EXPECT_EQ(Text(p, PropertyId(id)), item.substr(eq + 1)) << what << ", " << kNames[id];
  }
}

// The payload of the first JPEG segment with the marker whose payload starts
// with prefix, the prefix removed.
Bytes JpegSegment(const Bytes& jpeg, uint8_t marker, const std::string& prefix) {
  for (size_t i = 2; i + 4 <= jpeg.size() && jpeg[i] == 0xFF;) {
    const size_t len = size_t{jpeg[i + 2]} << 8 | jpeg[i + 3];
    if (jpeg[i + 1] == 0xDA || len < 2) break;
    if (jpeg[i + 1] == marker && std::equal(prefix.begin(), prefix.end(), jpeg.begin() + i + 4))
      return Bytes(jpeg.begin() + i + 4 + prefix.size(), jpeg.begin() + i + 2 + len);
    i += 2 + len;
  }
  return {};
}
Bytes PsdResources(const Bytes& psd) {
  auto be32 = [&](size_t i) {
    return uint32_t{psd[i]} << 24 | psd[i + 1] << 16 | psd[i + 2] << 8 | psd[i + 3];
  };
  const size_t at = 26 + 4 + be32(26);  // after the colour mode data
  return Bytes(psd.begin() + at + 4, psd.begin() + at + 4 + be32(at));
}
Bytes Utf16Le(const Bytes& utf8) {
  Bytes out;
  for (char16_t c : Utf8ToUtf16(std::string(utf8.begin(), utf8.end())))
    out.insert(out.end(), {uint8_t(c), uint8_t(c >> 8)});
  return out;
}
const Bytes kXmp =
    JpegSegment(MetaFile("xmp.jpg"), 0xE1, std::string("http://ns.adobe.com/xap/1.0/\0", 29));
const Bytes kExifBe = JpegSegment(MetaFile("exif_be.jpg"), 0xE1, std::string("Exif\0\0", 6));

// TIFF-structured data: the header, the directories in the order they were
// started, then the values that do not fit in their entries.
class Tiff {
 public:
  explicit Tiff(bool bigEndian) : be_(bigEndian) {}
  Tiff& Ifd() { return ifds_.emplace_back(), *this; }
  Tiff& Ascii(uint16_t tag, const std::string& s) {
    return Raw(tag, 2, s.size() + 1, ToBytes(s + '\0'));
  }
  Tiff& Short(uint16_t tag, std::vector<uint16_t> v) {
    Bytes b;
    for (uint16_t x : v) Put(&b, x, 2);
    return Raw(tag, 3, v.size(), b);
  }
  Tiff& Rational(uint16_t tag, std::vector<std::pair<uint32_t, uint32_t>> v,
                 bool isSigned = false) {
    Bytes b;
    for (auto [n, d] : v) Put(&b, n, 4), Put(&b, d, 4);
    return Raw(tag, isSigned ? 10 : 5, v.size(), b);
  }
  Tiff& Pointer(uint16_t tag, int ifd) {
    return ifds_.back().push_back({tag, 4, 1, Bytes(4), ifd}), *this;
  }
  Tiff& Raw(uint16_t tag, uint16_t type, size_t count, Bytes v) {
    return ifds_.back().push_back({tag, type, uint32_t(count), std::move(v), -1}), *this;
  }
  Bytes Build() const {
    std::vector<uint32_t> at;
    uint32_t end = 8;
    for (const auto& ifd : ifds_) at.push_back(end), end += 6 + 12 * uint32_t(ifd.size());
    Bytes out = {uint8_t(be_ ? 'M' : 'I'), uint8_t(be_ ? 'M' : 'I')}, data;
    Put(&out, 42, 2);
    Put(&out, at.empty() ? 0 : at[0], 4);
    for (const auto& ifd : ifds_) {
      Put(&out, uint32_t(ifd.size()), 2);
      for (const Entry& e : ifd) {
        Put(&out, e.tag, 2), Put(&out, e.type, 2), Put(&out, e.count, 4);
        if (e.target >= 0) {
          Put(&out, at[size_t(e.target)], 4);
        } else if (e.value.size() <= 4) {
          out.insert(out.end(), e.value.begin(), e.value.end());
          out.resize(out.size() + 4 - e.value.size());
        } else {
          Put(&out, end + uint32_t(data.size()), 4);
          data.insert(data.end(), e.value.begin(), e.value.end());
          data.resize((data.size() + 1) & ~size_t{1});
        }
      }
      Put(&out, 0, 4);
    }
    out.insert(out.end(), data.begin(), data.end());
    return out;
  }
  Bytes BuildExif() const {
    Bytes out = ToBytes(std::string("Exif\0\0", 6)), t = Build();
    return out.insert(out.end(), t.begin(), t.end()), out;
  }

 private:
  struct Entry {
    uint16_t tag, type;
    uint32_t count;
    Bytes value;
    int target;
  };
  void Put(Bytes* out, uint32_t v, int n) const {
    for (int k = 0; k < n; ++k) out->push_back(uint8_t(v >> (be_ ? 8 * (n - 1 - k) : 8 * k)));
  }
  bool be_;
  std::vector<std::vector<Entry>> ifds_;
};

TEST(Metadata, FilesWrittenByExiftool) {
  const Expected kXmpTexts =
      "Title=Fish & Chips <by the sea>|Author=Jane Roe; John Doe|Comment=Zürich 🌍 at "
      "night|Rights=CC BY "
      "4.0|K1=one|K9=nine|CreationDate=2020-02-29T23:59:58|Manufacturer=Vantec|Model=VT-7|"
      "PixelDensity=300 x 240 ppi|GpsGeotag=48°51'29.50\" N, 2°17'40.20\" E, +35m";  // stored as
                                                                                     // 48,51.49166667N
  Bytes shifted(1, 0);
  const Bytes wide = Utf16Le(kXmp);
  shifted.insert(shifted.end(), wide.begin(), wide.end());
  const Bytes tif = MetaFile("exif.tif");
  const struct {
    const char* what;
    void (*read)(ImageProperties&, std::span<const uint8_t>);
    Bytes data;
    Expected want;
    size_t from = 0;
  } kCases[] = {
      // The original date replaces IFD0's.
      {"big-endian EXIF without its heading", ReadExifBlock, kExifBe,
       "Title=Roll 7|Comment=Harbour at dawn|Manufacturer=Vantec|Model=VT-100 Mark II|Author=A. "
       "Painter|Rights=(c) 2021 A. Painter|CreationDate=2021:05:31 18:45:12|Orientation=Rotated "
       "270|ExposureTime=0.004 "
       "s|FNumber=2.800|IsoSpeed=400|ShutterSpeed=7.966|Aperture=2.971|FocalLength=35.000 "
       "mm|ExposureBias=-0.700|Flash=16|ExposureMode=1|WhiteBalance=1|GpsGeotag=48°30'0.00\" N, "
       "2°17'40.20\" E, +35m"},
      {"little-endian EXIF with its heading", ReadExifBlock,
       JpegSegment(MetaFile("exif_le.jpg"), 0xE1, ""),
       "Manufacturer=Lumix|Model=Z9|Orientation=Rotated 180|ExposureTime=2.000 "
       "s|FNumber=16.000|IsoSpeed=100|FocalLength=200.000 "
       "mm|ExposureBias=1.300|Flash=0|GpsGeotag=33°52'4.45\" S, 151°12'36.90\" W, -13m|Author="},
      {"a TIFF file is an EXIF block too", ReadExifBlock, tif,
       "Manufacturer=Scanco|Model=Flatbed 2|Author=Operator|ExposureTime=0.017 "
       "s|FNumber=5.600|GpsGeotag=0°30'0.00\" N, 0°15'0.00\" W, +0m"},
      // libtiff's test writes odd values: 1/7 degree, 61.2 minutes and 62
      // seconds of latitude, a count-6 ISO (the first is read), no zeros.
      {"libtiff's unnormalised GPS", ReadExifBlock,
       ToBytes(
           test::ReadFileBytes(test::CorpusPath("libtiff/test/images/custom_dir_EXIF_GPS.tiff"))),
       "ExposureTime=807.274 "
       "s|IsoSpeed=35|FNumber=1614.548|ShutterSpeed=16952.754|ExposureBias=19374.576|CreationDate="
       "N13-String-13_ttttt|GpsGeotag=1°10'50.36\" N, 1°31'45.26\" W, +3456m"},  // as exiftool
                                                                                 // prints it
      {"UTF-8 IPTC in APP13", ReadImageResources, JpegSegment(MetaFile("iptc.jpg"), 0xED, ""),
       "Title=Market day|CreationDate=20210531|Author=Émile Zola|Source=Agence Presse|Rights=© "
       "2021 EZ|Comment=Stalls, Saturday|K1=k1|K9=k9"},  // k10 finds no slot
      // EXIF first; IPTC does not replace it; XMP does. IPTC keywords are
      // Windows-1252, the first two then replaced by XMP's.
      {"EXIF, IPTC and XMP resources of a PSD", ReadImageResources,
       PsdResources(MetaFile("all.psd")),
       "Rights=Exif Rights|Author=Xmp Creator|Manufacturer=XmpMake|Title=Iptc "
       "Title|K1=alpha|K2=beta|K3=third"},
      {"UTF-8 XMP", ReadXmpPacket, kXmp, kXmpTexts},
      {"UTF-16 XMP", ReadXmpPacket, wide, kXmpTexts},
      {"UTF-16 XMP at an odd address", ReadXmpPacket, shifted, kXmpTexts, 1},
  };
  for (const auto& c : kCases) {
    ASSERT_FALSE(c.data.empty()) << c.what;
    ImageProperties p;
    c.read(p, std::span<const uint8_t>(c.data).subspan(c.from));
    ExpectTexts(p, c.want, c.what);
  }
  // The IFD walker on the TIFF gives what the block reader gives.
  const ByteCursor data(tif.data(), tif.size());
  bool be = true;
  uint32_t ifd0 = 0;
  ASSERT_TRUE(ReadTiffHeader(data, &be, &ifd0));
  EXPECT_FALSE(be);
  ImageProperties walker, block;
  ReadExifIfd0(walker, data, be, ifd0);
  ReadExifBlock(block, tif);
  for (int i = 0; i < kPropertyCount; ++i)
    EXPECT_EQ(Text(walker, PropertyId(i)), Text(block, PropertyId(i))) << i;
  // UTF-16 big-endian, UTF-32, and a reversed byte-order mark are ignored.
  Bytes be16 = Utf16Le(kXmp), w32, reversed = Utf16Le(kXmp);
  for (size_t i = 0; i + 1 < be16.size(); i += 2) std::swap(be16[i], be16[i + 1]);
  for (char16_t c : Utf8ToUtf16(std::string(kXmp.begin(), kXmp.end())))
    w32.insert(w32.end(), {uint8_t(c), uint8_t(c >> 8), 0, 0});
  std::swap(reversed[34], reversed[35]);  // the mark after "<?xpacket begin='"
  for (const Bytes& b : {be16, w32, reversed}) {
    ImageProperties p;
    ReadXmpPacket(p, b);
    for (int i = 0; i < kPropertyCount; ++i) EXPECT_FALSE(p.Has(PropertyId(i))) << i;
  }
}

Tiff Camera(bool be) {
  Tiff t(be);
  t.Ifd()
      .Ascii(0x10F, "Maker")
      .Ascii(0x110, "M1")
      .Short(0x112, {8})
      .Ascii(0x13B, "Ann")
      .Pointer(0x8769, 1)
      .Pointer(0x8825, 2);
  t.Ifd().Rational(0x829A, {{1, 8}}).Short(0x8827, {200}).Ascii(0x9003, "2001:02:03 04:05:06");
  t.Ifd().Ascii(1, "N").Rational(2, {{485, 10}, {0, 1}, {0, 1}}).Ascii(3, "E");
  t.Rational(4, {{12, 1}, {59, 1}, {12996, 1000}}).Raw(5, 1, 1, {1}).Rational(6, {{5, 10}});
  return t;
}

TEST(Metadata, ExifRules) {
  const Bytes good = Camera(true).BuildExif();
  auto edited = [&](size_t at, std::initializer_list<uint8_t> bytes) {
    Bytes b = good;
    std::copy(bytes.begin(), bytes.end(), b.begin() + at);
    return b;
  };
  Bytes noZeros = ToBytes("Exif");
  noZeros.insert(noZeros.end(), good.begin() + 6, good.end());
  Tiff loop(false), wrongTypes(false), zeros(false), cut(false), past(true);
  loop.Ifd().Ascii(0x10F, "Loop").Pointer(0x8769, 0).Pointer(0x8825, 1).Pointer(0x8769, 1);
  loop.Ifd().Pointer(0x8769, 0).Pointer(0x8825, 1).Rational(0x829A, {{1, 2}});
  wrongTypes.Ifd().Short(0x10F, {65}).Pointer(0x8769, 1);
  wrongTypes.Ifd()
      .Short(0x829A, {1})
      .Rational(0x8827, {{100, 1}})
      .Rational(0x9201, {{5, 1}})
      .Short(0x9003, {1, 2, 3, 4});
  zeros.Ifd().Pointer(0x8769, 1).Pointer(0x8825, 2);
  zeros.Ifd().Rational(0x829A, {{1, 0}}).Rational(0x9204, {{0xFFFFFFFF, 0}}, true);
  zeros.Ifd()
      .Ascii(1, "N")
      .Rational(2, {{0, 1}, {0, 1}, {0, 1}})
      .Ascii(3, "E")
      .Rational(4, {{0, 1}, {0, 1}, {0, 1}})
      .Rational(6, {{0, 1}});
  cut.Ifd().Ascii(0x10F, "Mk").Ascii(0x110, "Md").Ascii(0x13B, "Au");
  Bytes cutBytes = cut.Build();
  cutBytes.resize(8 + 2 + 24 + 5);  // into the third entry
  // A value past the end, a count whose size overflows, a huge count.
  past.Ifd()
      .Ascii(0x10E, "a description longer than four bytes")
      .Ascii(0x110, "ok")
      .Pointer(0x8769, 1);
  past.Ifd().Rational(0x829D, {{28, 10}}).Short(0x8827, {1, 2, 3});
  Bytes pastBytes = past.Build();
  auto patch32 = [&](size_t pos, uint32_t v) {
    for (int k = 0; k < 4; ++k) pastBytes[pos + k] = uint8_t(v >> (24 - 8 * k));
  };
  patch32(8 + 2 + 8, uint32_t(pastBytes.size()) - 3);
  patch32(8 + 2 + 3 * 12 + 4 + 2 + 4, 0x20000001);
  patch32(8 + 2 + 3 * 12 + 4 + 2 + 12 + 4, 0xFFFFFFFF);
  const struct {
    const char* what;
    Bytes data;
    Expected want;
  } kCases[] = {
      // 48.5 degrees are 48 degrees 30 minutes; 12.996 seconds round to 13.00;
      // 0.5 m below the reference rounds away from zero.
      {"big-endian", good,
       "Manufacturer=Maker|Orientation=Rotated 90|ExposureTime=0.125 "
       "s|IsoSpeed=200|CreationDate=2001:02:03 04:05:06|GpsGeotag=48°30'0.00\" N, 12°59'13.00\" E, "
       "-1m"},
      {"little-endian", Camera(false).BuildExif(),
       "GpsGeotag=48°30'0.00\" N, 12°59'13.00\" E, -1m"},
      {"\"Exif\" without the two zero bytes", noZeros, "Manufacturer=Maker"},
      {"\"IM\"", edited(6, {'I'}), "Manufacturer="},
      {"not 42", edited(9, {43}), "Manufacturer="},
      {"IFD0 far past the end", edited(10, {0x7F}), "Manufacturer="},
      {"cut in the header", Bytes(good.begin(), good.begin() + 16), "Manufacturer="},
      // The orientation entry is IFD0's third: "Exif\0\0", the header, the count, two entries.
      {"orientation 0", edited(6 + 8 + 2 + 24 + 8, {0, 0}), "Orientation="},
      {"orientation 9", edited(6 + 8 + 2 + 24 + 8, {0, 9}), "Orientation="},
      {"orientation count 2", edited(6 + 8 + 2 + 24 + 4, {0, 0, 0, 2}), "Orientation="},
      {"directories pointing at each other", loop.Build(),
       "Manufacturer=Loop|ExposureTime="},  // the first EXIF pointer is followed
      {"wrong types", wrongTypes.BuildExif(),
       "Manufacturer=|ExposureTime=|IsoSpeed=|ShutterSpeed=|CreationDate="},
      {"zero GPS and zero denominators", zeros.BuildExif(),
       "GpsGeotag=|ExposureTime=|ExposureBias="},
      {"a directory cut short keeps the entries that fit", cutBytes,
       "Manufacturer=Mk|Model=Md|Author="},
      {"values past the end", pastBytes, "Comment=|Model=ok|FNumber=|IsoSpeed="},
  };
  for (const auto& c : kCases) {
    ImageProperties p;
    ReadExifBlock(p, c.data);
    ExpectTexts(p, c.want, c.what);
  }
  // IFD0 only fills empty slots; the EXIF directory replaces them.
  ImageProperties p;
  for (PropertyId id : {PropertyId::Manufacturer, PropertyId::Orientation, PropertyId::ExposureTime,
                        PropertyId::CreationDate})
    p.Set(id, u"earlier");
  ReadExifBlock(p, good);
  ExpectTexts(p,
              "Manufacturer=earlier|Orientation=earlier|Model=M1|ExposureTime=0.125 "
              "s|CreationDate=2001:02:03 04:05:06",
              "over earlier texts");
}

TEST(Metadata, TiffDirectoryAccess) {
  Tiff t(true);
  t.Ifd()
      .Short(0x100, {7, 9})
      .Raw(0x101, 4, 1, {0, 1, 0xE2, 0x40})
      .Rational(0x11A, {{300, 1}, {72, 2}});
  const Bytes blob = t.Build();
  const ByteCursor data(blob.data(), blob.size());
  IfdWalker w(data, true, 8);
  EXPECT_EQ(w.Count(), 3);
  IfdEntry e;
  uint16_t s = 0;
  uint32_t l = 0, n = 0, d = 0;
  ASSERT_TRUE(w.Next(&e));
  EXPECT_TRUE(IfdShort(data, true, e, 1, &s));
  EXPECT_EQ(s, 9);
  EXPECT_FALSE(IfdShort(data, true, e, 2, &s));
  ASSERT_TRUE(w.Next(&e));
  EXPECT_TRUE(IfdLong(data, true, e, &l));
  EXPECT_EQ(l, 123456u);
  EXPECT_FALSE(IfdShort(data, true, e, 0, &s));
  ASSERT_TRUE(w.Next(&e));
  EXPECT_TRUE(IfdRational(data, true, e, 1, &n, &d));
  EXPECT_EQ(n * 1000 + d, 72002u);
  EXPECT_FALSE(w.Next(&e));
  EXPECT_EQ(w.NextIfdOffset(), 0u);
  IfdVisitSet v(3);
  EXPECT_FALSE(v.Visit(0));
  EXPECT_TRUE(v.Visit(8));
  EXPECT_FALSE(v.Visit(8));
  EXPECT_TRUE(v.Visit(100));
  EXPECT_TRUE(v.Visit(200));
  EXPECT_FALSE(v.Visit(300));
  // libtiff's directory loops end the chain walk.
  for (const char* name : {"test_ifd_loop_to_self.tif", "test_ifd_loop_to_first.tif"}) {
    const Bytes tiff =
        ToBytes(test::ReadFileBytes(test::CorpusPath(std::string("libtiff/test/images/") + name)));
    const ByteCursor c(tiff.data(), tiff.size());
    bool be;
    uint32_t offset;
    ASSERT_TRUE(ReadTiffHeader(c, &be, &offset)) << name;
    IfdVisitSet visited;
    int ifds = 0;
    for (; visited.Visit(offset) && ifds < 100; ++ifds) {
      IfdWalker walker(c, be, offset);
      while (walker.Next(&e)) {
      }
      offset = walker.NextIfdOffset();
    }
    EXPECT_TRUE(ifds >= 1 && ifds <= 3) << name << " " << ifds;
  }
}

Bytes Dataset(uint8_t record, uint8_t dataset, const std::string& value) {
  Bytes b = {0x1C, record, dataset, uint8_t(value.size() >> 8), uint8_t(value.size())};
  return b.insert(b.end(), value.begin(), value.end()), b;
}
Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
// A resource block: signature, id, name, data.
Bytes Resource(uint16_t id, const std::string& name, const Bytes& data,
               const char* signature = "8BIM") {
  Bytes b(signature, signature + 4);
  b.insert(b.end(), {uint8_t(id >> 8), uint8_t(id), uint8_t(name.size())});
  b.insert(b.end(), name.begin(), name.end());
  if (name.size() % 2 == 0) b.push_back(0);
  for (int k = 3; k >= 0; --k) b.push_back(uint8_t(data.size() >> (8 * k)));
  b.insert(b.end(), data.begin(), data.end());
  if (data.size() & 1) b.push_back(0);
  return b;
}

TEST(Metadata, IptcAndResourceRules) {
  const struct {
    const char* what;
    Bytes block;
    Expected want;
  } kCases[] = {
      {"8-bit text without a UTF-8 declaration is Windows-1252",
       Join({Dataset(2, 0, "\x00\x04"), Dataset(2, 5, "Name"), Dataset(2, 116, "Copy \xA9")}),
       "Title=Name|Rights=Copy ©"},
      {"other records, empty and binary values are skipped",
       Join({Dataset(1, 5, "envelope"), Dataset(2, 5, ""), Dataset(2, 115, std::string("\0src", 4)),
             Dataset(2, 120, "caption")}),
       "Title=|Source=|Comment=caption"},
      {"a wrong marker byte ends the walk",
       Join({Dataset(2, 5, "one"), Bytes{0x1D, 2, 80, 0, 1, 'x'}, Dataset(2, 120, "c")}),
       "Title=one|Comment="},
      {"a length past the end ends the walk",
       Join({Dataset(2, 5, "one"), Bytes{0x1C, 2, 120, 0x10, 0, 'c'}}), "Title=one|Comment="},
      {"an extended dataset is stepped over",
       Join({Bytes{0x1C, 2, 202, 0x80, 0x02, 0x00, 0x03, 'b', 'i', 'n'}, Dataset(2, 5, "after")}),
       "Title=after"},
      {"fewer than five bytes", Bytes{0x1C, 2, 5, 0}, "Title="},
      {"keywords", Join({Dataset(2, 25, "a"), Dataset(2, 25, "b")}), "K1=a|K2=b"},
  };
  for (const auto& c : kCases) {
    ImageProperties p;
    ReadIptcRecords(p, c.block);
    ExpectTexts(p, c.want, c.what);
  }
  // Values fill empty slots only; keywords only when none existed.
  ImageProperties p;
  p.Set(PropertyId::Author, u"Earlier");
  p.Set(Keyword(4), u"x");
  const Bytes block = Join({Dataset(2, 80, "By"), Dataset(2, 25, "a")});
  ReadIptcRecords(p, block);
  ExpectTexts(p, "Author=Earlier|K1=|K4=x", "over earlier texts");

  // The last of each id wins and only 8BIM counts; the walk visits every block.
  const Bytes blocks =
      Join({Resource(0x0404, "", Dataset(2, 5, "first")), Resource(0x03ED, "odd", Bytes(16, 0)),
            Resource(0x0404, "ab", Dataset(2, 5, "second")),
            Resource(0x0404, "", Dataset(2, 5, "not 8BIM"), "MeSa")});
  ImageProperties r;
  ReadImageResources(r, blocks);
  EXPECT_EQ(Text(r, PropertyId::Title), "second");
  int visited = 0;
  WalkImageResources(blocks, [&](const ImageResource&) { ++visited; });
  EXPECT_EQ(visited, 4);
  // Blocks above the size limit or past the end stop the walk; odd data are
  // padded except at the very end.
  const Bytes good = Resource(0x0404, "", Dataset(2, 5, "kept"));
  Bytes huge = Resource(0x0422, "", Bytes(4, 0)), past = Resource(0x0424, "", Bytes(4, 0)),
        odd = Resource(0x0FA0, "", Bytes(3, 7));
  huge[8] = 0x06;
  past[11] = 40;
  odd.pop_back();
  for (auto [block, count] : {std::pair{Join({good, huge, good}), 1},
                              {Join({good, past, good}), 1},
                              {Join({good, odd}), 2}}) {
    visited = 0;
    WalkImageResources(block, [&](const ImageResource&) { ++visited; });
    EXPECT_EQ(visited, count);
  }
}

Bytes Packet(const std::string& description) {
  return ToBytes(
      "<?xpacket begin='\xEF\xBB\xBF' id='W5M0MpCehiHzreSzNTczkc9d'?>\n<x:xmpmeta "
      "xmlns:x='adobe:ns:meta/'>\n"
      "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>\n" +
      description + "\n</rdf:RDF>\n</x:xmpmeta>\n<?xpacket end='w'?>");
}

TEST(Metadata, XmpRules) {
  const std::string tiffNs = "xmlns:tiff='http://ns.adobe.com/tiff/1.0/'";
  const struct {
    const char* what;
    Bytes packet;
    Expected want;
  } kCases[] = {
      // 72 per centimetre; y takes x when absent.
      {"attributes of the description",
       Packet(
           "<rdf:Description rdf:about='' " + tiffNs +
           " xmlns:xap='http://ns.adobe.com/xap/1.0/' "
           "xmlns:e='http://ns.adobe.com/exif/1.0/' tiff:Make=\"Fuji &amp; Sons\" tiff:Model='X-T' "
           "xap:CreateDate='2019-01-01' tiff:XResolution='72' tiff:ResolutionUnit='3' "
           "e:GPSLatitude='10,30S' e:GPSLongitude='0,0.5W' />"),
       "Manufacturer=Fuji & Sons|Model=X-T|CreationDate=2019-01-01|PixelDensity=7200 x 7200 "
       "ppm|GpsGeotag=10°30'0.00\" S, 0°0'30.00\" W"},
      {"prefixes count only with their namespace",
       Packet("<rdf:Description xmlns:dc='http://example.com/not-dublin-core/' "
              "xmlns:t='http://ns.adobe.com/tiff/1.0/'>"
              "<dc:title>wrong namespace</dc:title><t:Model>right one</t:Model></rdf:Description>"),
       "Title=|Model=right one"},
      {"the default language wins, otherwise the first item",
       Packet("<rdf:Description "
              "xmlns:dc='http://purl.org/dc/elements/1.1/'><dc:title><rdf:Alt><rdf:li "
              "xml:lang='de'>Titel"
              "</rdf:li><rdf:li "
              "xml:lang='x-default'>Title</rdf:li></rdf:Alt></dc:title><dc:rights><rdf:Alt><rdf:li "
              "xml:lang='fr'>Droits</rdf:li><rdf:li "
              "xml:lang='en'>Rights</rdf:li></rdf:Alt></dc:rights><dc:description>"
              "<rdf:Alt><rdf:li xml:lang='x-default'><![CDATA[a <b> & "
              "c]]></rdf:li></rdf:Alt></dc:description>"
              "<dc:subject><rdf:Bag><!-- none yet --><rdf:li>sea &#x1F30A;</rdf:li><rdf:li>  "
              "</rdf:li><rdf:li>sky"
              "</rdf:li></rdf:Bag></dc:subject></rdf:Description>"),
       "Title=Title|Rights=Droits|Comment=a <b> & c|K1=sea \U0001F30A|K2=sky|K3="},  // a blank item
                                                                                     // takes no
                                                                                     // slot
      {"unterminated markup keeps what was complete",
       ToBytes("<?xpacket begin='' id='x'?><rdf:RDF "
               "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
               "<rdf:Description " +
               tiffNs + "> <tiff:Make>Complete</tiff:Make> <tiff:Model>Never closed"),
       "Manufacturer=Complete|Model="},
      {"a packet under 64 bytes is ignored",
       ToBytes(std::string("<rdf:Description xmlns:t='http://ns.adobe.com/tiff/1.0/' t:Make='x'/>")
                   .substr(0, 63)),
       "Manufacturer="},
  };
  for (const auto& c : kCases) {
    ImageProperties p;
    ReadXmpPacket(p, c.packet);
    ExpectTexts(p, c.want, c.what);
  }
  for (const char* tail :
       {" <tiff:Model", " <tiff:Model a='1", " <!-- open comment", " <![CDATA[x"}) {
    const Bytes packet =
        Packet("<rdf:Description " + tiffNs + "><tiff:Make>Complete</tiff:Make>" + tail);
    ImageProperties p;  // borrows from the packet until the first Get
    ReadXmpPacket(p, packet);
    EXPECT_EQ(Text(p, PropertyId::Manufacturer), "Complete") << tail;
  }
  // XMP replaces slots, except the pixel density.
  ImageProperties p;
  for (PropertyId id : {PropertyId::Manufacturer, Keyword(1), PropertyId::GpsGeotag})
    p.Set(id, u"earlier");
  p.Set(PropertyId::PixelDensity, u"96 x 96 ppi");
  ReadXmpPacket(p, kXmp);
  ExpectTexts(p, "Manufacturer=Vantec|K1=one|PixelDensity=96 x 96 ppi", "over earlier texts");
  EXPECT_EQ(p.KindForTesting(PropertyId::Model), PropertyKind::Utf8);  // borrowed, not copied
}

// Every prefix of a real block is read safely (the sanitizers watch).
TEST(Metadata, EveryPrefixIsSafe) {
  const Bytes resources = PsdResources(MetaFile("all.psd")), wide = Utf16Le(kXmp);
  const std::pair<void (*)(ImageProperties&, std::span<const uint8_t>), const Bytes*> kBlocks[] = {
      {ReadExifBlock, &kExifBe},
      {ReadImageResources, &resources},
      {ReadXmpPacket, &kXmp},
      {ReadXmpPacket, &wide}};
  for (auto [read, bytes] : kBlocks) {
    for (size_t n = 0; n <= bytes->size(); n += read == ReadXmpPacket ? 7 : 1) {
      ImageProperties p;
      read(p, std::span<const uint8_t>(*bytes).first(n));
      for (int i = 0; i < kPropertyCount; ++i) p.Get(PropertyId(i));
    }
  }
}

TEST(Metadata, PropertyTexts) {
  ImageProperties p;
  const char16_t wide[] = u"Wide!";
  const struct {
    PropertyId id;
    const void* text;
    int32_t length;
    TextEncoding encoding;
    PropertyKind kind;  // before the first Get
    std::string got;
  } kCases[] = {
      {PropertyId::Manufacturer, "Canon", 6, TextEncoding::Bytes8, PropertyKind::Bytes8Terminated,
       "Canon"},  // TIFF counts the zero
      {PropertyId::Model, "NikonXYZ", 5, TextEncoding::Bytes8, PropertyKind::Bytes8, "Nikon"},
      {PropertyId::Title, "K\xC3\xB6ln", -1, TextEncoding::Utf8, PropertyKind::Utf8Terminated,
       "K\xC3\xB6ln"},
      {PropertyId::Comment, wide, 4, TextEncoding::Utf16, PropertyKind::Utf16, "Wide"},
      {PropertyId::Author, wide, -1, TextEncoding::Utf16, PropertyKind::Utf16Terminated, "Wide!"},
      {PropertyId::Source, "EOS 5D   ", 9, TextEncoding::Bytes8, PropertyKind::Bytes8,
       "EOS 5D"},  // trailing blanks go
      {PropertyId::Rights, "Roll 7\0junk", 11, TextEncoding::Bytes8, PropertyKind::Bytes8Terminated,
       "Roll 7"},
      {Keyword(1), "Ann  \0", 6, TextEncoding::Bytes8, PropertyKind::Bytes8, "Ann"},
      {Keyword(2), "  x", 3, TextEncoding::Bytes8, PropertyKind::Bytes8,
       "  x"},  // leading blanks stay
      {Keyword(3), "\x80 \x81\x8D\x8F\x90\x9D \x93q\x94 caf\xE9", -1, TextEncoding::Bytes8,
       PropertyKind::Bytes8Terminated,
       "€ \u0081\u008D\u008F\u0090\u009D “q” café"},  // Windows-1252, undefined bytes kept
      {Keyword(4), "A\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x8C\x8D", 10, TextEncoding::Utf8,
       PropertyKind::Utf8,
       "A\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x8C\x8D"},  // every length, an astral code point paired
      {Keyword(5), "a\xFF\xC3", 3, TextEncoding::Utf8, PropertyKind::Utf8, "a\uFFFD\uFFFD"},
  };
  char borrowed[] = "Leica";
  p.SetRaw(PropertyId::FNumber, borrowed, 5, TextEncoding::Bytes8);
  for (const auto& c : kCases) p.SetRaw(c.id, c.text, c.length, c.encoding);
  EXPECT_EQ(p.LengthForTesting(PropertyId::Title), 5);  // UTF-8 units until converted
  for (const auto& c : kCases) EXPECT_EQ(p.KindForTesting(c.id), c.kind) << static_cast<int>(c.id);
  for (const auto& c : kCases) EXPECT_EQ(Text(p, c.id), c.got) << static_cast<int>(c.id);
  for (const auto& c : kCases)
    EXPECT_EQ(p.KindForTesting(c.id), PropertyKind::Owned) << static_cast<int>(c.id);
  EXPECT_EQ(p.LengthForTesting(PropertyId::Title), 4);  // UTF-16 units now
  EXPECT_EQ(Text(p, PropertyId::FNumber), "Leica");
  std::memset(borrowed, 'x', 5);  // the converted copy outlives the bytes
  EXPECT_EQ(Text(p, PropertyId::FNumber), "Leica");
  // Blanks only, empty, a leading zero or no text at all leave the slot empty.
  for (auto [text, length] :
       {std::pair{"    ", 4}, {"", -1}, {"\0abc", 4}, {static_cast<const char*>(nullptr), 3}}) {
    p.Set(PropertyId::Source, u"old");
    p.SetRaw(PropertyId::Source, text, length, TextEncoding::Bytes8);
    EXPECT_FALSE(p.Has(PropertyId::Source)) << length;
  }
  p.Set(PropertyId::Title, u"");
  EXPECT_FALSE(p.Has(PropertyId::Title));
  p.Set(PropertyId::Comment, u" \t kept as is");
  EXPECT_EQ(Text(p, PropertyId::Comment), " \t kept as is");
  p.Clear();
  for (int i = 0; i < kPropertyCount; ++i) EXPECT_FALSE(p.Has(PropertyId(i)));

  // An image's own properties drop leading blanks, blank control characters
  // and keep no borrowed pointer.
  OwnedImageProperties owned;
  owned.Set(PropertyId::Comment, u"   line one\r\nline\ttwo\x01");
  EXPECT_EQ(Text(owned, PropertyId::Comment), "line one  line two ");
  owned.Set(PropertyId::Title, u"    ");
  EXPECT_FALSE(owned.Has(PropertyId::Title));
  char tab[] = "  Tab\there";
  owned.SetRaw(PropertyId::Author, tab, -1, TextEncoding::Bytes8);
  std::memset(tab, 'x', sizeof tab - 1);
  EXPECT_EQ(Text(owned, PropertyId::Author), "Tab here");
  ImageProperties reader;
  reader.SetRaw(PropertyId::Manufacturer, "Pentax", -1, TextEncoding::Bytes8);
  reader.Set(PropertyId::Comment, u" two\nlines");
  owned.Set(PropertyId::Model, u"stale");
  owned.CopyFrom(reader);
  ExpectTexts(owned, "Manufacturer=Pentax|Comment=two lines|Model=", "copied");
  EXPECT_EQ(FormatFileTime(2024, 3, 7, 9, 5, 0), u"2024-03-07, 09:05:00");
}

TEST(Metadata, ResolutionAndGpsTexts) {
  const struct {
    std::u16string_view text;
    ResolutionUnit unit;
    int x, y;  // -1: not a resolution
  } kCases[] = {
      {u"300 x 300 ppi", ResolutionUnit::PerMetre, 11811, 11811},
      {u"300 ppm", ResolutionUnit::PerMetre, 300, 300},
      {u"300 x 200 ppi", ResolutionUnit::PerInch, 300, 200},
      {u"2835 x 3780 ppm", ResolutionUnit::PerInch, 72, 96},
      {u"  72x0ppi", ResolutionUnit::PerInch, 72, 72},
      {u"72 x ppi", ResolutionUnit::PerInch, 72, 72},
      {u"-5 ppm", ResolutionUnit::PerMetre, -5, -5},
  };
  for (const auto& c : kCases) {
    const std::optional<Resolution> r = ParseResolution(c.text, c.unit);
    ASSERT_TRUE(r) << Utf16ToUtf8(std::u16string(c.text));
    EXPECT_EQ(r->x * 100000 + r->y, c.x * 100000 + c.y) << Utf16ToUtf8(std::u16string(c.text));
  }
  for (std::u16string_view t : {u"", u"0 x 300 ppi", u"ppi", u"300", u"300 dpi", u"300 x 300",
                                u"300 x 300 ppi!", u"99999999999 ppm", u"2000000000 ppi"})
    EXPECT_FALSE(ParseResolution(t, ResolutionUnit::PerMetre).has_value())
        << Utf16ToUtf8(std::u16string(t));
  EXPECT_EQ(FormatResolution(300, 240, ResolutionUnit::PerInch), u"300 x 240 ppi");
  EXPECT_EQ(FormatResolution(3780, 3780, ResolutionUnit::PerMetre), u"3780 x 3780 ppm");
  const std::pair<std::string, std::string> kGps[] = {
      {FormatGpsCoordinate(48.5, 0, 0, 'N'), "48°30'0.00\" N"},
      {FormatGpsCoordinate(48, 30.5, 0, 'N'), "48°30'30.00\" N"},
      {FormatGpsCoordinate(1, 59, 59.996, 'E'), "2°0'0.00\" E"},  // rounded once, then carried
      {FormatGpsCoordinate(0, 0, 7.25, 'S'), "0°0'7.25\" S"},
      {FormatGpsCoordinate(0, 0, 0, 0), "0°0'0.00\" ?"},
      {FormatGpsCoordinate(1.0 / 0.0, 0, 0, 'W'), "0°0'0.00\" W"},
      {FormatGpsAltitude(12.5, false), "+13m"},
      {FormatGpsAltitude(1e300, true), "-1000000000m"},
  };
  for (const auto& [got, want] : kGps) EXPECT_EQ(got, want);
}

}  // namespace
}  // namespace vt
