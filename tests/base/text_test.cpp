#include "base/text.h"

#include <gtest/gtest.h>

namespace vt {
namespace {

TEST(Utf8, RoundTripsEveryPlane) {
  const std::u16string s = u"a\u00e9\u4e2d\U0001F600z";  // 1-, 2-, 3- and 4-byte forms
  const std::string u8 = Utf16ToUtf8(s);
  EXPECT_EQ(u8, "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80z");
  EXPECT_EQ(Utf8ToUtf16(u8), s);
  EXPECT_EQ(s.size(), 6u);  // the emoji is a surrogate pair
}

TEST(Utf8, MalformedInputBecomesReplacementCharacters) {
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD");  // overlong "/"
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD");  // encoded surrogate
  EXPECT_EQ(Utf8ToUtf16("\xF4\x90\x80\x80"), u"\uFFFD");  // above U+10FFFF
  EXPECT_EQ(Utf8ToUtf16("a\xE4\xB8"), u"a\uFFFD");  // cut at the end
  EXPECT_EQ(Utf8ToUtf16("\xE4(x"), u"\uFFFD(x");  // interrupted
  EXPECT_EQ(Utf8ToUtf16("\x80\xFF"), u"\uFFFD\uFFFD");
  // An unpaired surrogate in UTF-16 comes out as U+FFFD.
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{char16_t(0xDC00), u'a'}), "\xEF\xBF\xBD" "a");
}

TEST(Windows1252, MapsTheHighRangeAndKeepsUndefinedBytes) {
  EXPECT_EQ(Windows1252ToUtf16("\x80\x99\x9F"), u"\u20AC\u2122\u0178");
  // The five positions the code page leaves undefined keep their values.
  EXPECT_EQ(Windows1252ToUtf16("\x81\x8D\x8F\x90\x9D"), u"\u0081\u008D\u008F\u0090\u009D");
  EXPECT_EQ(Windows1252ToUtf16("A\xE9\xFF"), u"A\u00E9\u00FF");
  EXPECT_EQ(Latin1ToUtf16("\x80\xE9"), u"\u0080\u00E9");
}

TEST(AsciiCase, OnlyAsciiLettersFold) {
  EXPECT_TRUE(EqualsIgnoreAsciiCase(u"OnlyOne", u"ONLYONE"));
  EXPECT_FALSE(EqualsIgnoreAsciiCase(u"close", u"closed"));
  EXPECT_TRUE(StartsWithIgnoreAsciiCase(u"pos=1,2", u"POS="));
  EXPECT_FALSE(StartsWithIgnoreAsciiCase(u"po", u"POS="));
  EXPECT_EQ(AsciiLower(u"JPG\u00C9"), u"jpg\u00C9");
}

}  // namespace
}  // namespace vt
