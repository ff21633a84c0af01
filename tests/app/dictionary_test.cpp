#include <gtest/gtest.h>

#include <string>

#include "app/dictionary.h"
#include "formats/lzw/lzw.h"
#include "support/test_support.h"

namespace vt {
namespace {

std::span<const uint8_t> Bytes(const std::string& s) {
  return std::span(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

// UTF-8 text to a UTF-16 file with a byte-order mark.
std::string Utf16File(const std::string& utf8, bool bigEndian) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t c : test::U16(utf8)) {
    const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
    out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return out;
}

std::u16string Look(const RefPtr<CompiledDictionary>& d, std::u16string_view text) {
  return std::u16string(d->Lookup(text));
}

TEST(Dictionary, TranslatesKeysAndIgnoresTheSuffixAfterU0001) {
  auto d = CompileDictionary(Bytes(Utf16File("打开|Open\r\n关闭|Close\n", false)));
  ASSERT_TRUE(d);
  EXPECT_EQ(Look(d, u"打开"), u"Open");
  EXPECT_EQ(Look(d, u"关闭"), u"Close");
  EXPECT_EQ(Look(d, u"打开\u0001Ctrl+O"), u"Open");
  EXPECT_EQ(Look(d, std::u16string_view(u"打开\0xyz", 6)), u"Open");
  // Texts that are not keys, keys' prefixes and extensions come back as they are.
  EXPECT_EQ(Look(d, u"打"), u"打");
  EXPECT_EQ(Look(d, u"打开吗"), u"打开吗");
  EXPECT_EQ(Look(d, u""), u"");
  EXPECT_EQ(Look(d, u"\u0001打开"), u"\u0001打开");
  // A key written with its suffix is the key before U+0001.
  auto suffixed = CompileDictionary(Bytes(Utf16File("保存\u0001Ctrl+S|Save\n", false)));
  ASSERT_TRUE(suffixed);
  EXPECT_EQ(Look(suffixed, u"保存\u0001Ctrl+S"), u"Save");
  EXPECT_EQ(Look(suffixed, u"保存"), u"Save");
}

TEST(Dictionary, DropsCommentsLinesWithoutBarAndUselessEntries) {
  const std::string file =
      "// a|comment\n"
      "no bar here\n"
      "\n\r\n"
      "same|same\n"
      "|empty key\n"
      "empty translation|\n"
      "key|value|with bar\n"
      "dup|first\n"
      "dup|second\n";
  auto d = CompileDictionary(Bytes(file));
  ASSERT_TRUE(d);
  EXPECT_EQ(Look(d, u"// a"), u"// a");
  EXPECT_EQ(Look(d, u"same"), u"same");
  EXPECT_EQ(Look(d, u"empty translation"), u"empty translation");
  EXPECT_EQ(Look(d, u"key"), u"value|with bar");
  EXPECT_EQ(Look(d, u"dup"), u"first");
  // Only key, dup and dup are stored: 3 records in at most 3 buckets.
  const size_t chars = (4 + 15) + (4 + 6) + (4 + 7);
  const size_t buckets = DictionaryHash(u"key") == DictionaryHash(u"dup") ? 1 : 2;
  EXPECT_EQ(d->SizeInBytes(), 2 * (chars + 3 + buckets) + 256);
  EXPECT_EQ(d->Words().size() * 2, d->SizeInBytes());
}

TEST(Dictionary, AppliesEscapesAsDefined) {
  auto d = CompileDictionary(Bytes("a\\nb|two\\nlines\nx\\ty|tab\\t\nback\\slash|\\\\n\\q\\\n"));
  ASSERT_TRUE(d);
  EXPECT_EQ(Look(d, u"a\nb"), u"two\nlines");
  EXPECT_EQ(Look(d, u"x\u0008y"), u"tab\u0008");
  EXPECT_EQ(Look(d, u"back\\slash"), u"\\\n\\q\\");
}

TEST(Dictionary, EncodingsGiveIdenticalDictionaries) {
  const std::string text = "// 说明\n打开|Open\r文件|File €\r\n";
  auto le = CompileDictionary(Bytes(Utf16File(text, false)));
  auto be = CompileDictionary(Bytes(Utf16File(text, true)));
  ASSERT_TRUE(le && be);
  EXPECT_TRUE(std::ranges::equal(le->Words(), be->Words()));
  EXPECT_EQ(Look(le, u"文件"), u"File €");

  // 8-bit files are Windows-1252: 0x80 is the euro sign, 0x81 stays U+0081;
  // a NUL byte ends the text.
  auto ansi = CompileDictionary(Bytes(std::string("k\x80|v\x80\x81\nz|zz\0y|yy\n", 18)));
  ASSERT_TRUE(ansi);
  EXPECT_EQ(Look(ansi, u"k€"), u"v€\u0081");
  EXPECT_EQ(Look(ansi, u"z"), u"zz");
  EXPECT_EQ(Look(ansi, u"y"), u"y");
}

TEST(Dictionary, ShortOddAndEmptyFilesGiveNoDictionaryOrTheWholeUnits) {
  EXPECT_FALSE(CompileDictionary(Bytes("a|")));
  EXPECT_FALSE(CompileDictionary(Bytes("\xFF\xFE")));
  EXPECT_FALSE(CompileDictionary(Bytes("// nothing but a comment\n")));
  // An odd UTF-16 length: the last byte is not half a character.
  std::string odd = Utf16File("a|b", false) + "x";
  auto d = CompileDictionary(Bytes(odd));
  ASSERT_TRUE(d);
  EXPECT_EQ(Look(d, u"a"), u"b");
  test::TempDir dir;
  EXPECT_FALSE(CompileLanguageFile(test::U16(dir.Path() + "/missing.language")));
  auto fromFile = CompileLanguageFile(test::U16(dir.Write("x.language", "Hello|Bonjour")));
  ASSERT_TRUE(fromFile);
  EXPECT_EQ(Look(fromFile, u"Hello"), u"Bonjour");
}

TEST(Dictionary, HashFollowsTheFirstEightCharacters) {
  // h ^= v ^ v>>7 ^ v>>14 with v = c + {0,1,3,5,7,11,13,17}[i], worked by hand.
  EXPECT_EQ(DictionaryHash(u"A"), 65u);
  EXPECT_EQ(DictionaryHash(u"AB"), (65u ^ 67u) & 127);
  const uint32_t v = 0x6253;  // 打
  EXPECT_EQ(DictionaryHash(u"打"), (v ^ (v >> 7) ^ (v >> 14)) & 127);
  EXPECT_EQ(DictionaryHash(u"12345678"), DictionaryHash(u"12345678 and more"));
  EXPECT_EQ(DictionaryHash(u"ab\u0001cd"), DictionaryHash(u"ab"));
  EXPECT_EQ(DictionaryHash(u""), 0u);
}

TEST(Dictionary, ManyEntriesShareBucketsAndAllResolve) {
  std::string file;
  for (int i = 0; i < 2000; ++i) file += "key" + std::to_string(i) + "|value" + std::to_string(i) + "\n";
  auto d = CompileDictionary(Bytes(file));
  ASSERT_TRUE(d);
  EXPECT_TRUE(IsValidDictionary(d->Words()));
  for (int i = 0; i < 2000; i += 7) {
    const std::u16string key = test::U16("key" + std::to_string(i));
    EXPECT_EQ(Look(d, key), test::U16("value" + std::to_string(i)));
  }
}

TEST(Dictionary, HugeFilesStopAtTheLayoutLimit) {
  std::string file;
  for (int i = 0; i < 20000; ++i) file += "k" + std::to_string(i) + "|v" + std::to_string(i) + "\n";
  auto d = CompileDictionary(Bytes(file));
  ASSERT_TRUE(d);
  EXPECT_LE(d->Words().size(), kMaxDictionaryWords);
  EXPECT_TRUE(IsValidDictionary(d->Words()));
  EXPECT_EQ(Look(d, u"k0"), u"v0");
  EXPECT_EQ(Look(d, u"k19999"), u"k19999");  // dropped: past the limit
}

TEST(Dictionary, StoredFormRoundTripsAndDamageIsRejected) {
  auto d = CompileDictionary(Bytes("one|un\ntwo|deux\nthree|trois\n"));
  ASSERT_TRUE(d);
  std::vector<uint8_t> bytes = d->ToBytes();
  auto again = DictionaryFromBytes(bytes);
  ASSERT_TRUE(again);
  EXPECT_EQ(Look(again, u"two"), u"deux");

  // Through the LZW form the settings keep.
  std::vector<uint8_t> coded = LzwEncodeBytes(bytes, 8);
  std::vector<uint8_t> decoded(bytes.size());
  ASSERT_EQ(LzwDecode(decoded, coded).written, bytes.size());
  EXPECT_EQ(decoded, bytes);

  EXPECT_FALSE(DictionaryFromBytes(std::span(bytes).first(bytes.size() - 1)));  // odd
  EXPECT_FALSE(DictionaryFromBytes(std::span(bytes).first(200)));               // short
  EXPECT_FALSE(DictionaryFromBytes(std::span(bytes).first(bytes.size() - 2)));  // cut record
  const size_t bucket = DictionaryHash(u"two");
  std::vector<uint8_t> pointsInside = bytes;
  pointsInside[bucket * 2] = 5;  // a start inside the bucket table
  pointsInside[bucket * 2 + 1] = 0;
  EXPECT_FALSE(DictionaryFromBytes(pointsInside));
  std::vector<uint8_t> longRecord = bytes;
  const size_t start = bytes[bucket * 2] | bytes[bucket * 2 + 1] << 8;
  longRecord[start * 2] = 0xFF;  // a record length past the end
  longRecord[start * 2 + 1] = 0x7F;
  EXPECT_FALSE(DictionaryFromBytes(longRecord));
}

TEST(Dictionary, ActiveDictionaryTranslates) {
  EXPECT_EQ(Translate(u"打开"), u"打开");
  SetActiveDictionary(CompileDictionary(Bytes(Utf16File("打开|Open", true))));
  EXPECT_EQ(Translate(u"打开"), u"Open");
  EXPECT_EQ(Translate(u"打开\u0001F"), u"Open");
  SetActiveDictionary(nullptr);
  EXPECT_EQ(Translate(u"打开"), u"打开");
}

}  // namespace
}  // namespace vt
