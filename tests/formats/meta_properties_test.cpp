#include <gtest/gtest.h>

#include <cstring>

#include "formats/meta_test_util.h"
#include "image/image_properties.h"

namespace vt {
namespace {

using test::Text;

TEST(ImageProperties, BorrowedTextsRecordTheirKindUntilFirstGet) {
  ImageProperties p;
  const char terminated[] = "Canon";      // the count includes the zero, as in TIFF
  const char untermin[] = "NikonXYZ";     // only the first five are the text
  const char utf8[] = "K\xC3\xB6ln";
  const char16_t wide[] = u"Wide!";
  p.SetRaw(PropertyId::Manufacturer, terminated, 6, TextEncoding::Bytes8);
  p.SetRaw(PropertyId::Model, untermin, 5, TextEncoding::Bytes8);
  p.SetRaw(PropertyId::Title, utf8, -1, TextEncoding::Utf8);
  p.SetRaw(PropertyId::Comment, wide, 4, TextEncoding::Utf16);
  p.SetRaw(PropertyId::Author, wide, -1, TextEncoding::Utf16);

  EXPECT_EQ(p.KindForTesting(PropertyId::Manufacturer), PropertyKind::Bytes8Terminated);
  EXPECT_EQ(p.KindForTesting(PropertyId::Model), PropertyKind::Bytes8);
  EXPECT_EQ(p.KindForTesting(PropertyId::Title), PropertyKind::Utf8Terminated);
  EXPECT_EQ(p.KindForTesting(PropertyId::Comment), PropertyKind::Utf16);
  EXPECT_EQ(p.KindForTesting(PropertyId::Author), PropertyKind::Utf16Terminated);
  EXPECT_EQ(p.LengthForTesting(PropertyId::Title), 5);  // in UTF-8 units
  EXPECT_TRUE(p.Has(PropertyId::Model));

  EXPECT_EQ(Text(p, PropertyId::Manufacturer), "Canon");
  EXPECT_EQ(Text(p, PropertyId::Model), "Nikon");
  EXPECT_EQ(Text(p, PropertyId::Title), "K\xC3\xB6ln");
  EXPECT_EQ(Text(p, PropertyId::Comment), "Wide");
  EXPECT_EQ(Text(p, PropertyId::Author), "Wide!");
  // The first Get replaced each borrowed text by an owned copy.
  for (PropertyId id : {PropertyId::Manufacturer, PropertyId::Model, PropertyId::Title,
                        PropertyId::Comment, PropertyId::Author})
    EXPECT_EQ(p.KindForTesting(id), PropertyKind::Owned);
  EXPECT_EQ(p.LengthForTesting(PropertyId::Title), 4);  // now in UTF-16 units
}

TEST(ImageProperties, ConvertedCopyOutlivesTheBorrowedBytes) {
  ImageProperties p;
  char buffer[] = "Leica";
  p.SetRaw(PropertyId::Manufacturer, buffer, 5, TextEncoding::Bytes8);
  ASSERT_EQ(Text(p, PropertyId::Manufacturer), "Leica");
  std::memset(buffer, 'x', 5);
  EXPECT_EQ(Text(p, PropertyId::Manufacturer), "Leica");
}

TEST(ImageProperties, EightBitTextIsWindows1252WithUndefinedBytesKept) {
  ImageProperties p;
  const char text[] = "\x80 \x81\x8D\x8F\x90\x9D \x93q\x94 caf\xE9";
  p.SetRaw(PropertyId::Comment, text, -1, TextEncoding::Bytes8);
  const std::u16string* t = p.Get(PropertyId::Comment);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(*t, u"\u20AC \u0081\u008D\u008F\u0090\u009D \u201Cq\u201D caf\u00E9");
}

TEST(ImageProperties, Utf8DecodesAllLengthsAndPairsAstralCodePoints) {
  ImageProperties p;
  const char text[] = "A\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x8C\x8D";  // 1-, 2-, 3-, 4-byte forms
  p.SetRaw(PropertyId::Title, text, static_cast<int32_t>(sizeof text - 1), TextEncoding::Utf8);
  const std::u16string* t = p.Get(PropertyId::Title);
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(t->size(), 5u);
  EXPECT_EQ((*t)[2], u'\u4E2D');
  EXPECT_EQ((*t)[3], char16_t(0xD83C));
  EXPECT_EQ((*t)[4], char16_t(0xDF0D));
}

TEST(ImageProperties, SetRawTrimsTrailingBlanksAndStopsAtAZero) {
  ImageProperties p;
  // Trailing blanks are dropped; the unit after the text is then a blank.
  p.SetRaw(PropertyId::Model, "EOS 5D   ", 9, TextEncoding::Bytes8);
  EXPECT_EQ(p.LengthForTesting(PropertyId::Model), 6);
  EXPECT_EQ(p.KindForTesting(PropertyId::Model), PropertyKind::Bytes8);
  EXPECT_EQ(Text(p, PropertyId::Model), "EOS 5D");
  // A counted terminator (TIFF ASCII counts include it) ends the text there.
  p.SetRaw(PropertyId::Title, "Roll 7\0junk", 11, TextEncoding::Bytes8);
  EXPECT_EQ(p.KindForTesting(PropertyId::Title), PropertyKind::Bytes8Terminated);
  EXPECT_EQ(Text(p, PropertyId::Title), "Roll 7");
  p.SetRaw(PropertyId::Author, "Ann  \0", 6, TextEncoding::Bytes8);
  EXPECT_EQ(Text(p, PropertyId::Author), "Ann");
  // Leading blanks stay in the base container.
  p.SetRaw(PropertyId::Comment, "  x", 3, TextEncoding::Bytes8);
  EXPECT_EQ(Text(p, PropertyId::Comment), "  x");
  const char16_t wide[] = u"ab  ";
  p.SetRaw(PropertyId::Rights, wide, 4, TextEncoding::Utf16);
  EXPECT_EQ(p.LengthForTesting(PropertyId::Rights), 2);
}

TEST(ImageProperties, BlanksOnlyOrEmptyLeavesTheSlotEmpty) {
  ImageProperties p;
  p.Set(PropertyId::Source, u"old");
  p.SetRaw(PropertyId::Source, "    ", 4, TextEncoding::Bytes8);
  EXPECT_FALSE(p.Has(PropertyId::Source));
  EXPECT_EQ(p.Get(PropertyId::Source), nullptr);
  p.SetRaw(PropertyId::Source, "", -1, TextEncoding::Utf8);
  EXPECT_FALSE(p.Has(PropertyId::Source));
  p.SetRaw(PropertyId::Source, "\0abc", 4, TextEncoding::Bytes8);
  EXPECT_FALSE(p.Has(PropertyId::Source));
  p.SetRaw(PropertyId::Source, nullptr, 3, TextEncoding::Bytes8);
  EXPECT_FALSE(p.Has(PropertyId::Source));
}

TEST(ImageProperties, SetClearAndReplace) {
  ImageProperties p;
  p.SetRaw(PropertyId::Title, "borrowed", -1, TextEncoding::Bytes8);
  p.Set(PropertyId::Title, u"owned");
  EXPECT_EQ(p.KindForTesting(PropertyId::Title), PropertyKind::Owned);
  EXPECT_EQ(Text(p, PropertyId::Title), "owned");
  p.Set(PropertyId::Title, u"");
  EXPECT_FALSE(p.Has(PropertyId::Title));
  p.Set(PropertyId::Comment, u" \t kept as is");
  EXPECT_EQ(Text(p, PropertyId::Comment), " \t kept as is");
  p.Set(PropertyId::Model, u"m");
  p.Clear();
  for (int i = 0; i < kPropertyCount; ++i) EXPECT_FALSE(p.Has(static_cast<PropertyId>(i)));
}

TEST(ImageProperties, ABadUtf8TextBecomesReplacementCharacters) {
  ImageProperties p;
  p.SetRaw(PropertyId::Title, "a\xFF\xC3", 3, TextEncoding::Utf8);
  EXPECT_EQ(*p.Get(PropertyId::Title), u"a\uFFFD\uFFFD");
}

TEST(OwnedImageProperties, SetDropsLeadingBlanksAndBlanksControlCharacters) {
  OwnedImageProperties p;
  p.Set(PropertyId::Comment, u"   line one\r\nline\ttwo\x01");
  EXPECT_EQ(Text(p, PropertyId::Comment), "line one  line two ");
  p.Set(PropertyId::Title, u"    ");
  EXPECT_FALSE(p.Has(PropertyId::Title));
}

TEST(OwnedImageProperties, KeepsNoBorrowedPointer) {
  OwnedImageProperties p;
  char buffer[] = "  Tab\there";
  p.SetRaw(PropertyId::Author, buffer, -1, TextEncoding::Bytes8);
  EXPECT_EQ(p.KindForTesting(PropertyId::Author), PropertyKind::Owned);
  std::memset(buffer, 'x', sizeof buffer - 1);
  EXPECT_EQ(Text(p, PropertyId::Author), "Tab here");
}

TEST(OwnedImageProperties, CopyFromConvertsAndCleans) {
  ImageProperties reader;
  const char make[] = "Pentax";
  reader.SetRaw(PropertyId::Manufacturer, make, -1, TextEncoding::Bytes8);
  reader.Set(PropertyId::Comment, u" two\nlines");
  OwnedImageProperties image;
  image.Set(PropertyId::Model, u"stale");
  image.CopyFrom(reader);
  EXPECT_EQ(Text(image, PropertyId::Manufacturer), "Pentax");
  EXPECT_EQ(Text(image, PropertyId::Comment), "two lines");
  EXPECT_FALSE(image.Has(PropertyId::Model));
}

TEST(FormatFileTime, TwoDigitFieldsAfterTheYear) {
  EXPECT_EQ(FormatFileTime(2024, 3, 7, 9, 5, 0), u"2024-03-07, 09:05:00");
  EXPECT_EQ(FormatFileTime(1999, 12, 31, 23, 59, 59), u"1999-12-31, 23:59:59");
}

TEST(PropertyLabel, KeywordSlotsShareOneLabel) {
  EXPECT_EQ(PropertyLabel(PropertyId::FileName), u"文件名称");
  EXPECT_EQ(PropertyLabel(PropertyId::GpsGeotag), u"GPS 地理标记");
  EXPECT_EQ(PropertyLabel(test::Keyword(1)), u"关键字");
  EXPECT_EQ(PropertyLabel(test::Keyword(9)), u"关键字");
  EXPECT_EQ(PropertyLabel(PropertyId::WhiteBalance), u"白平衡");
}

}  // namespace
}  // namespace vt
