#include <gtest/gtest.h>

#include "formats/meta/xmp_reader.h"
#include "formats/meta_test_util.h"

namespace vt {
namespace {

using test::Bytes;
using test::Keyword;
using test::Text;

Bytes XmpOf(const std::string& jpegName) {
  const std::vector<Bytes> s = test::JpegSegments(
      test::MetaFile(jpegName), 0xE1, std::string("http://ns.adobe.com/xap/1.0/\0", 29));
  return s.empty() ? Bytes() : s[0];
}

Bytes Utf16Le(const Bytes& utf8) {
  const std::u16string s = Utf8ToUtf16(std::string(utf8.begin(), utf8.end()));
  Bytes out;
  for (char16_t c : s) {
    out.push_back(static_cast<uint8_t>(c));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  return out;
}

Bytes Utf16Be(const Bytes& utf8) {
  Bytes le = Utf16Le(utf8);
  for (size_t i = 0; i + 1 < le.size(); i += 2) std::swap(le[i], le[i + 1]);
  return le;
}

// A packet around one rdf:Description body, padded to a realistic size.
Bytes Packet(const std::string& description) {
  const std::string s =
      "<?xpacket begin='\xEF\xBB\xBF' id='W5M0MpCehiHzreSzNTczkc9d'?>\n"
      "<x:xmpmeta xmlns:x='adobe:ns:meta/'>\n"
      "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>\n" +
      description + "\n</rdf:RDF>\n</x:xmpmeta>\n<?xpacket end='w'?>";
  return test::ToBytes(s);
}

void ExpectExiftoolPacket(ImageProperties& p) {
  EXPECT_EQ(Text(p, PropertyId::Title), "Fish & Chips <by the sea>");
  EXPECT_EQ(Text(p, PropertyId::Author), "Jane Roe; John Doe");
  EXPECT_EQ(Text(p, PropertyId::Comment), "Zürich 🌍 at night");
  EXPECT_EQ(Text(p, PropertyId::Rights), "CC BY 4.0");
  const char* words[] = {"one", "two", "three", "four", "five", "six", "seven", "eight", "nine"};
  for (int k = 1; k <= 9; ++k) EXPECT_EQ(Text(p, Keyword(k)), words[k - 1]);
  EXPECT_EQ(Text(p, PropertyId::CreationDate), "2020-02-29T23:59:58");
  EXPECT_EQ(Text(p, PropertyId::Manufacturer), "Vantec");
  EXPECT_EQ(Text(p, PropertyId::Model), "VT-7");
  EXPECT_EQ(Text(p, PropertyId::PixelDensity), "300 x 240 ppi");
  // exiftool stores "48,51.49166667N" and "2,17.67E".
  EXPECT_EQ(Text(p, PropertyId::GpsGeotag), "48°51'29.50\" N, 2°17'40.20\" E, +35m");
}

TEST(XmpPacket, Utf8PacketFromExiftool) {
  const Bytes xmp = XmpOf("xmp.jpg");
  ASSERT_FALSE(xmp.empty());
  ImageProperties p;
  ReadXmpPacket(p, xmp);
  EXPECT_EQ(p.KindForTesting(PropertyId::Manufacturer), PropertyKind::Utf8);  // borrowed
  ExpectExiftoolPacket(p);
}

TEST(XmpPacket, SamePacketAsUtf16LittleEndian) {
  const Bytes xmp = Utf16Le(XmpOf("xmp.jpg"));
  ASSERT_FALSE(xmp.empty());
  ImageProperties p;
  ReadXmpPacket(p, xmp);
  EXPECT_EQ(p.KindForTesting(PropertyId::Manufacturer), PropertyKind::Utf16);
  ExpectExiftoolPacket(p);
  // At an odd address too: nothing assumes aligned 16-bit units.
  Bytes shifted(1, 0);
  shifted.insert(shifted.end(), xmp.begin(), xmp.end());
  ImageProperties q;
  ReadXmpPacket(q, std::span<const uint8_t>(shifted).subspan(1));
  ExpectExiftoolPacket(q);
}

TEST(XmpPacket, OtherEncodingsAreIgnored) {
  const Bytes xmp = XmpOf("xmp.jpg");
  ImageProperties be;
  const Bytes input = Utf16Be(xmp);
  ReadXmpPacket(be, input);
  // UTF-32 little-endian.
  Bytes wide;
  for (char16_t c : Utf8ToUtf16(std::string(xmp.begin(), xmp.end()))) {
    wide.push_back(static_cast<uint8_t>(c));
    wide.push_back(static_cast<uint8_t>(c >> 8));
    wide.push_back(0);
    wide.push_back(0);
  }
  ImageProperties w32;
  ReadXmpPacket(w32, wide);
  // UTF-16LE characters but a reversed byte-order mark.
  Bytes reversed = Utf16Le(xmp);
  const size_t bom = 17 * 2;  // after "<?xpacket begin='"
  ASSERT_EQ(reversed[bom], 0xFF);
  std::swap(reversed[bom], reversed[bom + 1]);
  ImageProperties rev;
  ReadXmpPacket(rev, reversed);
  for (int i = 0; i < kPropertyCount; ++i) {
    const auto id = static_cast<PropertyId>(i);
    EXPECT_FALSE(be.Has(id) || w32.Has(id) || rev.Has(id)) << i;
  }
}

TEST(XmpPacket, AttributesOfTheDescription) {
  const Bytes xmp = Packet(
      "<rdf:Description rdf:about='' xmlns:tiff='http://ns.adobe.com/tiff/1.0/'\n"
      "  xmlns:xap='http://ns.adobe.com/xap/1.0/' xmlns:e='http://ns.adobe.com/exif/1.0/'\n"
      "  tiff:Make=\"Fuji &amp; Sons\" tiff:Model='X-T' xap:CreateDate='2019-01-01'\n"
      "  tiff:XResolution='72' tiff:ResolutionUnit='3'\n"
      "  e:GPSLatitude='10,30S' e:GPSLongitude='0,0.5W' />");
  ImageProperties p;
  ReadXmpPacket(p, xmp);
  EXPECT_EQ(Text(p, PropertyId::Manufacturer), "Fuji & Sons");
  EXPECT_EQ(Text(p, PropertyId::Model), "X-T");
  EXPECT_EQ(Text(p, PropertyId::CreationDate), "2019-01-01");
  // 72 per centimetre is 7200 per metre; y takes x when absent.
  EXPECT_EQ(Text(p, PropertyId::PixelDensity), "7200 x 7200 ppm");
  EXPECT_EQ(Text(p, PropertyId::GpsGeotag), "10°30'0.00\" S, 0°0'30.00\" W");
}

TEST(XmpPacket, PrefixesCountOnlyWithTheirNamespace) {
  const Bytes xmp = Packet(
      "<rdf:Description xmlns:dc='http://example.com/not-dublin-core/'"
      " xmlns:t='http://ns.adobe.com/tiff/1.0/'>\n"
      " <dc:title>wrong namespace</dc:title><t:Model>right one</t:Model>\n"
      "</rdf:Description>");
  ImageProperties p;
  ReadXmpPacket(p, xmp);
  EXPECT_FALSE(p.Has(PropertyId::Title));
  EXPECT_EQ(Text(p, PropertyId::Model), "right one");
}

TEST(XmpPacket, DefaultLanguageWinsOtherwiseTheFirstItem) {
  const Bytes xmp = Packet(
      "<rdf:Description xmlns:dc='http://purl.org/dc/elements/1.1/'>\n"
      " <dc:title><rdf:Alt><rdf:li xml:lang='de'>Titel</rdf:li>"
      "<rdf:li xml:lang='x-default'>Title</rdf:li></rdf:Alt></dc:title>\n"
      " <dc:rights><rdf:Alt><rdf:li xml:lang='fr'>Droits</rdf:li>"
      "<rdf:li xml:lang='en'>Rights</rdf:li></rdf:Alt></dc:rights>\n"
      " <dc:description><rdf:Alt><rdf:li xml:lang='x-default'><![CDATA[a <b> & c]]></rdf:li>"
      "</rdf:Alt></dc:description>\n"
      " <dc:subject><rdf:Bag><!-- none yet --><rdf:li>sea &#x1F30A;</rdf:li>"
      "<rdf:li>  </rdf:li><rdf:li>sky</rdf:li></rdf:Bag></dc:subject>\n"
      "</rdf:Description>");
  ImageProperties p;
  ReadXmpPacket(p, xmp);
  EXPECT_EQ(Text(p, PropertyId::Title), "Title");
  EXPECT_EQ(Text(p, PropertyId::Rights), "Droits");
  EXPECT_EQ(Text(p, PropertyId::Comment), "a <b> & c");
  EXPECT_EQ(Text(p, Keyword(1)), "sea \U0001F30A");
  EXPECT_EQ(Text(p, Keyword(2)), "sky");  // a blank item takes no slot
  EXPECT_FALSE(p.Has(Keyword(3)));
}

TEST(XmpPacket, ReplacesSlotsExceptThePixelDensity) {
  const Bytes xmp = XmpOf("xmp.jpg");
  ImageProperties p;
  p.Set(PropertyId::Manufacturer, u"from EXIF");
  p.Set(Keyword(1), u"from IPTC");
  p.Set(PropertyId::GpsGeotag, u"from EXIF");
  p.Set(PropertyId::PixelDensity, u"96 x 96 ppi");
  ReadXmpPacket(p, xmp);
  EXPECT_EQ(Text(p, PropertyId::Manufacturer), "Vantec");
  EXPECT_EQ(Text(p, Keyword(1)), "one");
  EXPECT_EQ(Text(p, PropertyId::GpsGeotag), "48°51'29.50\" N, 2°17'40.20\" E, +35m");
  EXPECT_EQ(Text(p, PropertyId::PixelDensity), "96 x 96 ppi");
}

TEST(XmpPacket, UnterminatedMarkupKeepsWhatWasComplete) {
  const std::string body =
      "<rdf:Description xmlns:tiff='http://ns.adobe.com/tiff/1.0/'>\n"
      " <tiff:Make>Complete</tiff:Make>\n"
      " <tiff:Model>Never closed";
  const Bytes packet = test::ToBytes(
      "<?xpacket begin='' id='x'?><rdf:RDF "
      "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>" + body);
  ImageProperties p;
  ReadXmpPacket(p, packet);
  EXPECT_EQ(Text(p, PropertyId::Manufacturer), "Complete");
  EXPECT_FALSE(p.Has(PropertyId::Model));

  // A tag that never ends, and an attribute without its closing quote.
  for (const char* tail : {" <tiff:Model", " <tiff:Model a='1", " <!-- open comment", " <![CDATA[x"}) {
    const Bytes cut = Packet("<rdf:Description xmlns:tiff='http://ns.adobe.com/tiff/1.0/'>"
                             "<tiff:Make>Complete</tiff:Make>" + std::string(tail));
    ImageProperties q;
    ReadXmpPacket(q, cut);
    EXPECT_EQ(Text(q, PropertyId::Manufacturer), "Complete") << tail;
  }
}

TEST(XmpPacket, ShortPacketsAreIgnoredAndEveryPrefixIsSafe) {
  const Bytes small = test::ToBytes(
      "<rdf:Description xmlns:t='http://ns.adobe.com/tiff/1.0/' t:Make='x'/>");
  ASSERT_GE(small.size(), 64u);
  ImageProperties ok;
  ReadXmpPacket(ok, small);
  EXPECT_EQ(Text(ok, PropertyId::Manufacturer), "x");
  ImageProperties cut;
  ReadXmpPacket(cut, std::span<const uint8_t>(small).first(63));
  EXPECT_FALSE(cut.Has(PropertyId::Manufacturer));

  for (const Bytes& xmp : {XmpOf("xmp.jpg"), Utf16Le(XmpOf("xmp.jpg"))}) {
    for (size_t n = 0; n <= xmp.size(); n += 7) {
      ImageProperties p;
      ReadXmpPacket(p, std::span<const uint8_t>(xmp).first(n));
      for (int i = 0; i < kPropertyCount; ++i) p.Get(static_cast<PropertyId>(i));
    }
  }
}

}  // namespace
}  // namespace vt
