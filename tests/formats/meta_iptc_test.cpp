#include <gtest/gtest.h>

#include "formats/meta/image_resources.h"
#include "formats/meta/iptc_reader.h"
#include "formats/meta_test_util.h"

namespace vt {
namespace {

using test::Bytes;
using test::Keyword;
using test::Text;

Bytes Dataset(uint8_t record, uint8_t dataset, const std::string& value) {
  Bytes b = {0x1C, record, dataset, static_cast<uint8_t>(value.size() >> 8),
             static_cast<uint8_t>(value.size())};
  b.insert(b.end(), value.begin(), value.end());
  return b;
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(IptcRecords, Utf8RecordsFromExiftool) {
  // APP13 holds "Photoshop 3.0" and an image-resource block with the IPTC data.
  const std::vector<Bytes> app13 = test::JpegSegments(test::MetaFile("iptc.jpg"), 0xED, "");
  ASSERT_EQ(app13.size(), 1u);
  ImageProperties p;
  ReadImageResources(p, app13[0]);
  EXPECT_EQ(Text(p, PropertyId::Title), "Market day");
  EXPECT_EQ(Text(p, PropertyId::CreationDate), "20210531");
  EXPECT_EQ(Text(p, PropertyId::Author), "Émile Zola");
  EXPECT_EQ(Text(p, PropertyId::Source), "Agence Presse");
  EXPECT_EQ(Text(p, PropertyId::Rights), "© 2021 EZ");
  EXPECT_EQ(Text(p, PropertyId::Comment), "Stalls, Saturday");
  for (int k = 1; k <= 9; ++k) EXPECT_EQ(Text(p, Keyword(k)), "k" + std::to_string(k));
  // k10 found no slot.
}

TEST(IptcRecords, ValuesOnlyFillEmptySlots) {
  const Bytes block = Join({Dataset(2, 0, "\x00\x04"), Dataset(2, 5, "Name"),
                            Dataset(2, 80, "By"), Dataset(2, 116, "Copy \xA9")});
  ImageProperties p;
  p.Set(PropertyId::Author, u"Earlier");
  ReadIptcRecords(p, block);
  EXPECT_EQ(Text(p, PropertyId::Title), "Name");
  EXPECT_EQ(Text(p, PropertyId::Author), "Earlier");
  EXPECT_EQ(Text(p, PropertyId::Rights), "Copy ©");  // 8-bit without a UTF-8 declaration
}

TEST(IptcRecords, KeywordsOnlyWhenNoneExisted) {
  const Bytes block = Join({Dataset(2, 25, "a"), Dataset(2, 25, "b")});
  ImageProperties p;
  p.Set(Keyword(4), u"x");
  ReadIptcRecords(p, block);
  EXPECT_FALSE(p.Has(Keyword(1)));
  EXPECT_EQ(Text(p, Keyword(4)), "x");

  ImageProperties q;
  ReadIptcRecords(q, block);
  EXPECT_EQ(Text(q, Keyword(1)), "a");
  EXPECT_EQ(Text(q, Keyword(2)), "b");
  // A second block adds nothing: keywords exist now.
  const Bytes input = Dataset(2, 25, "c");
  ReadIptcRecords(q, input);
  EXPECT_FALSE(q.Has(Keyword(3)));
}

TEST(IptcRecords, OtherRecordsEmptyAndBinaryValuesAreSkipped) {
  const Bytes block = Join({Dataset(1, 5, "envelope"), Dataset(2, 5, ""), Dataset(2, 115, "\0src"),
                            Dataset(2, 120, "caption")});
  ImageProperties p;
  ReadIptcRecords(p, block);
  EXPECT_FALSE(p.Has(PropertyId::Title));
  EXPECT_FALSE(p.Has(PropertyId::Source));
  EXPECT_EQ(Text(p, PropertyId::Comment), "caption");
}

TEST(IptcRecords, MalformedDataEndTheWalk) {
  // A wrong marker byte ends it.
  Bytes block = Join({Dataset(2, 5, "one"), Bytes{0x1D, 2, 80, 0, 1, 'x'}, Dataset(2, 120, "c")});
  ImageProperties a;
  ReadIptcRecords(a, block);
  EXPECT_EQ(Text(a, PropertyId::Title), "one");
  EXPECT_FALSE(a.Has(PropertyId::Comment));
  // A length running past the end ends it.
  block = Join({Dataset(2, 5, "one"), Bytes{0x1C, 2, 120, 0x10, 0, 'c'}});
  ImageProperties b;
  ReadIptcRecords(b, block);
  EXPECT_EQ(Text(b, PropertyId::Title), "one");
  EXPECT_FALSE(b.Has(PropertyId::Comment));
  // An extended dataset (length in the next 2 bytes) is stepped over.
  block = Join({Bytes{0x1C, 2, 202, 0x80, 0x02, 0x00, 0x03, 'b', 'i', 'n'}, Dataset(2, 5, "after")});
  ImageProperties c;
  ReadIptcRecords(c, block);
  EXPECT_EQ(Text(c, PropertyId::Title), "after");
  // Fewer than five bytes left: nothing more is read.
  ImageProperties d;
  const Bytes input = Bytes{0x1C, 2, 5, 0};
  ReadIptcRecords(d, input);
  EXPECT_FALSE(d.Has(PropertyId::Title));
}

// A resource block: "8BIM" (or another signature), id, name, data.
Bytes Resource(uint16_t id, const std::string& name, const Bytes& data,
               const char* signature = "8BIM") {
  Bytes b(signature, signature + 4);
  b.push_back(static_cast<uint8_t>(id >> 8));
  b.push_back(static_cast<uint8_t>(id));
  b.push_back(static_cast<uint8_t>(name.size()));
  b.insert(b.end(), name.begin(), name.end());
  if ((name.size() & 1) == 0) b.push_back(0);
  const uint32_t n = static_cast<uint32_t>(data.size());
  for (int k = 3; k >= 0; --k) b.push_back(static_cast<uint8_t>(n >> (8 * k)));
  b.insert(b.end(), data.begin(), data.end());
  if (n & 1) b.push_back(0);
  return b;
}

TEST(ImageResources, PsdFromExiftoolReadsExifThenIptcThenXmp) {
  const Bytes resources = test::PsdResources(test::MetaFile("all.psd"));
  ImageProperties p;
  ReadImageResources(p, resources);
  // EXIF first; IPTC does not replace it; XMP does.
  EXPECT_EQ(Text(p, PropertyId::Rights), "Exif Rights");
  EXPECT_EQ(Text(p, PropertyId::Author), "Xmp Creator");
  EXPECT_EQ(Text(p, PropertyId::Manufacturer), "XmpMake");
  EXPECT_EQ(Text(p, PropertyId::Title), "Iptc Title");
  // IPTC keywords in Windows-1252, the first two then replaced by XMP's.
  EXPECT_EQ(Text(p, Keyword(1)), "alpha");
  EXPECT_EQ(Text(p, Keyword(2)), "beta");
  EXPECT_EQ(Text(p, Keyword(3)), "third");

  ImageProperties iptcOnly;
  WalkImageResources(resources, [&](const ImageResource& r) {
    if (r.id == kResourceIptc) ReadIptcRecords(iptcOnly, r.data);
  });
  EXPECT_EQ(Text(iptcOnly, Keyword(1)), "Café");
  EXPECT_EQ(Text(iptcOnly, Keyword(2)), "€uro");
}

TEST(ImageResources, LastOfEachIdWinsAndOnly8BIMCounts) {
  const Bytes block = Join({
      Resource(0x0404, "", Dataset(2, 5, "first")),
      Resource(0x03ED, "odd", Bytes(16, 0)),
      Resource(0x0404, "ab", Dataset(2, 5, "second")),
      Resource(0x0404, "", Dataset(2, 5, "not 8BIM"), "MeSa"),
  });
  ImageProperties p;
  ReadImageResources(p, block);
  EXPECT_EQ(Text(p, PropertyId::Title), "second");
  int visited = 0;
  WalkImageResources(block, [&](const ImageResource&) { ++visited; });
  EXPECT_EQ(visited, 4);
}

TEST(ImageResources, WalkStopsAtResourcesThatDoNotFit) {
  const Bytes good = Resource(0x0404, "", Dataset(2, 5, "kept"));
  Bytes huge = Resource(0x0422, "", Bytes(4, 0));
  huge[8] = 0x06;  // 0x06000004 bytes: above the limit
  Bytes past = Resource(0x0424, "", Bytes(4, 0));
  past[11] = 40;  // 40 bytes promised, 4 present
  for (const Bytes& bad : {huge, past}) {
    int visited = 0;
    WalkImageResources(Join({good, bad, good}), [&](const ImageResource&) { ++visited; });
    EXPECT_EQ(visited, 1);
  }
  // Odd data sizes are padded, except possibly at the very end.
  Bytes last = Resource(0x0404, "", Dataset(2, 5, "odd"));  // 8 data bytes: even
  Bytes oddData = Resource(0x0FA0, "", Bytes(3, 7));
  oddData.pop_back();
  int visited = 0;
  WalkImageResources(Join({last, oddData}), [&](const ImageResource&) { ++visited; });
  EXPECT_EQ(visited, 2);
  // Every prefix is safe.
  const Bytes resources = test::PsdResources(test::MetaFile("all.psd"));
  for (size_t n = 0; n <= resources.size(); ++n) {
    ImageProperties p;
    ReadImageResources(p, std::span<const uint8_t>(resources).first(n));
    for (int i = 0; i < kPropertyCount; ++i) p.Get(static_cast<PropertyId>(i));
  }
}

}  // namespace
}  // namespace vt
