#include "image/format_registry.h"

#include <gtest/gtest.h>

#include <set>

#include "fake_reader.h"
#include "formats/builtin_formats.h"
#include "support/test_support.h"

namespace vt {
namespace {

using test::CreateFakeReader;
using test::ProbeFake;

Status RejectAll(const FileSource&) { return status::kUnknownFormat; }
Status AcceptAll(const FileSource&) { return status::kOk; }
RefPtr<ImageReader> CreateNothing(FileSource*, const FormatRecord*) { return nullptr; }

std::vector<std::u16string> Extensions(const FormatRegistry& r) {
  std::vector<std::u16string> v;
  for (size_t i = 0; i < r.Count(); ++i) v.emplace_back(r.At(i)->extension);
  return v;
}

TEST(BuiltinFormats, AllRecordsRegisteredInSortedOrder) {
  FormatRegistry r;
  RegisterBuiltinFormats(r);
  const std::vector<std::u16string> expected = {
      u"bbm", u"bmp", u"cur", u"dds", u"dib", u"fit", u"fits", u"gif", u"hdr",
      u"ico", u"iff", u"img", u"jfif", u"jif", u"jpe", u"jpeg", u"jpg", u"lbm",
      u"pcx", u"pic", u"png", u"psd", u"rle", u"tga", u"tif", u"tiff", u"webp"};
  EXPECT_EQ(Extensions(r), expected);
  // Every record of one group shares its reader's functions.
  for (const FormatGroup& g : BuiltinFormatGroups()) {
    for (const FormatRecord& rec : g.records) {
      EXPECT_EQ(rec.probe, g.records[0].probe) << g.name;
      EXPECT_EQ(rec.create, g.records[0].create) << g.name;
    }
  }
  const FormatRecord* cur = r.At(2);
  EXPECT_EQ(cur->description, u"Windows 光标");
}

// Probing asks long signatures before weak ones, whatever the extensions'
// order: a PNG that holds, where a JPEG after a preamble would start, the two
// bytes of a JPEG start is a PNG.
TEST(BuiltinFormats, ProbingAsksLongSignaturesFirst) {
  std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + std::string(800, '\0');
  png[692] = '\xFF';
  png[693] = '\xD8';
  FormatRegistry r;
  RegisterBuiltinFormats(r);
  const int chosen = r.ChooseReader(*MakeMemorySource(u"x.dat", png), true);
  ASSERT_GE(chosen, 0);
  EXPECT_EQ(r.At(chosen)->extension, u"png");
}

TEST(FormatRegistry, ProbesByPriorityAndKeepsTheTableInOrder) {
  static const FormatRecord weak{u"aaa", u"weak", AcceptAll, CreateFakeReader,
                                 ProbePriority::kPlausibility};
  static const FormatRecord other{u"bbb", u"short", RejectAll, CreateFakeReader,
                                  ProbePriority::kShortSignature};
  static const FormatRecord strong{u"ccc", u"strong", AcceptAll, CreateFakeReader,
                                   ProbePriority::kSignature};
  FormatRegistry r;
  r.Register(&strong);
  r.Register(&weak);
  r.Register(&other);
  EXPECT_EQ(r.At(0), &weak);
  EXPECT_EQ(r.At(2), &strong);
  EXPECT_EQ(r.At(r.ChooseReader(*MakeMemorySource(u"x.dat", "data"), true)), &strong);
  // The extension still names its own format first.
  EXPECT_EQ(r.At(r.ChooseReader(*MakeMemorySource(u"x.aaa", "data"), true)), &weak);
}

TEST(FormatRegistry, SortsByExtensionThenDescriptionIgnoringCase) {
  static const FormatRecord b{u"b", u"second", AcceptAll, CreateFakeReader};
  static const FormatRecord a2{u"a", u"Zeta", AcceptAll, CreateFakeReader};
  static const FormatRecord a1{u"a", u"alpha", AcceptAll, CreateFakeReader};
  static const FormatRecord c{u"C", u"upper", AcceptAll, CreateFakeReader};
  FormatRegistry r;
  r.Register(&b);
  r.Register(&c);
  r.Register(&a2);
  r.Register(&a1);
  ASSERT_EQ(r.Count(), 4u);
  EXPECT_EQ(r.At(0), &a1);
  EXPECT_EQ(r.At(1), &a2);
  EXPECT_EQ(r.At(2), &b);
  EXPECT_EQ(r.At(3), &c);
}

class RegistryLookup : public ::testing::Test {
 protected:
  void SetUp() override {
    // Registered out of order; "bmp" has no reader and must be invisible.
    static const FormatRecord png{u"png", u"Portable network graphics", RejectAll,
                                  CreateFakeReader};
    static const FormatRecord jpg{u"jpg", u"JPEG image file", RejectAll, CreateFakeReader};
    static const FormatRecord jpeg{u"jpeg", u"JPEG image file", RejectAll, CreateFakeReader};
    static const FormatRecord bmp{u"bmp", u"Windows bitmap format", nullptr, nullptr};
    static const FormatRecord fake{u"fake", u"Test format", ProbeFake, CreateFakeReader};
    static const FormatRecord vtx{u"vtx", u"not the system's own", RejectAll, CreateFakeReader};
    registry.Register(&png);
    registry.Register(&jpg);
    registry.Register(&bmp);
    registry.Register(&jpeg);
    registry.Register(&fake);
    registry.Register(&vtx);
  }
  std::u16string ExtAt(int i) { return i < 0 ? u"-" : std::u16string(registry.At(i)->extension); }
  FormatRegistry registry;
};

TEST_F(RegistryLookup, ExtensionRules) {
  EXPECT_EQ(ExtAt(registry.LookupByExtension(u"photo.JPG")), u"jpg");
  EXPECT_EQ(ExtAt(registry.LookupByExtension(u"a.b.JpEg")), u"jpeg");
  EXPECT_EQ(ExtAt(registry.LookupByExtension(u"C:\\pics\\x.png")), u"png");
  EXPECT_EQ(ExtAt(registry.LookupByExtension(u"png")), u"png");  // no dot: the whole name
  EXPECT_EQ(registry.LookupByExtension(u"archive.png.gz"), -1);
  EXPECT_EQ(registry.LookupByExtension(u"x.abcdef"), -1);  // six characters
  EXPECT_EQ(registry.LookupByExtension(u"x.png."), -1);    // trailing dot
  EXPECT_EQ(registry.LookupByExtension(u"x."), -1);
  EXPECT_EQ(registry.LookupByExtension(u""), -1);
  EXPECT_EQ(registry.LookupByExtension(u"x.bmp"), -1);  // record without reader
  EXPECT_EQ(registry.LookupByExtension(u"x.vtx"), -1);  // the system's own files
  EXPECT_EQ(registry.LookupByExtension(u"x.VTS"), -1);
  EXPECT_EQ(registry.LookupByExtension(u"/a.png/noext"), -1);  // dot only in the folder
}

TEST_F(RegistryLookup, EnumerateSkipsRecordsWithoutReader) {
  std::vector<std::u16string> seen;
  for (int i = registry.Enumerate(0); i >= 0; i = registry.Enumerate(i + 1))
    seen.emplace_back(registry.At(i)->extension);
  EXPECT_EQ(seen, (std::vector<std::u16string>{u"fake", u"jpeg", u"jpg", u"png", u"vtx"}));
  EXPECT_EQ(registry.Enumerate(static_cast<int>(registry.Count())), -1);
}

TEST_F(RegistryLookup, ChooseByNameThenByProbing) {
  std::string fake = test::EncodeFake({});
  // Named as its own format: chosen by extension.
  EXPECT_EQ(ExtAt(registry.ChooseReader(*MakeMemorySource(u"a.fake", fake), false)), u"fake");
  // Misnamed: only probing finds it.
  EXPECT_EQ(registry.ChooseReader(*MakeMemorySource(u"a.jpg", fake), false), -1);
  EXPECT_EQ(ExtAt(registry.ChooseReader(*MakeMemorySource(u"a.jpg", fake), true)), u"fake");
  // Nobody accepts text; an empty source is never probed.
  EXPECT_EQ(registry.ChooseReader(*MakeMemorySource(u"a.txt", "hello"), true), -1);
  EXPECT_EQ(registry.ChooseReader(*MakeMemorySource(u"a.fake", ""), true), -1);
}

TEST(FormatRegistry, ProbingFollowsRegistryOrder) {
  static const FormatRecord z{u"zzz", u"last", AcceptAll, CreateFakeReader};
  static const FormatRecord a{u"aaa", u"first", AcceptAll, CreateFakeReader};
  FormatRegistry r;
  r.Register(&z);
  r.Register(&a);
  EXPECT_EQ(r.ChooseReader(*MakeMemorySource(u"x.unknown", "data"), true), 0);
  EXPECT_EQ(r.ChooseReader(*MakeMemorySource(u"x.zzz", "data"), true), 1);
}

TEST(FormatRegistry, OpenReaderStatuses) {
  static const FormatRecord fake{u"fake", u"Test format", ProbeFake, CreateFakeReader};
  static const FormatRecord broken{u"brk", u"No memory", AcceptAll, CreateNothing};
  FormatRegistry r;
  r.Register(&fake);
  test::TempDir dir;
  RefPtr<ImageReader> reader;
  EXPECT_EQ(r.OpenReader(test::U16(dir.Write("empty.fake", "")), &reader),
            status::kCannotOpenFile);
  EXPECT_EQ(r.OpenReader(test::U16(dir.Path() + "/missing.fake"), &reader),
            status::kCannotOpenFile);
  EXPECT_EQ(r.OpenReader(test::U16(dir.Path()), &reader), status::kCannotOpenFile);
  EXPECT_EQ(r.OpenReader(test::U16(dir.Write("t.txt", "just text\n")), &reader),
            status::kUnknownFormat);
  EXPECT_FALSE(reader);
  // A header the reader refuses: its status comes back and no reader is kept.
  EXPECT_EQ(r.OpenReader(test::U16(dir.Write("short.fake", "FAKE\x01")), &reader),
            status::kDamaged);
  EXPECT_FALSE(reader);
  ASSERT_EQ(r.OpenReader(test::U16(dir.Write("ok.fake", test::EncodeFake({}))), &reader),
            status::kOk);
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->Width(), 2u);

  r.Register(&broken);
  EXPECT_EQ(r.OpenReader(MakeMemorySource(u"x.brk", "zz").get(), &reader), status::kOutOfMemory);
}

}  // namespace
}  // namespace vt
