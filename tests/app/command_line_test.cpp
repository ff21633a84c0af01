#include "app/command_line.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>

#include "support/test_support.h"

namespace vt {
namespace {

using List = ArgumentList;
using namespace std::string_literals;

TEST(SplitCommandLine, QuotesBlanksAndEmptyArguments) {
  EXPECT_EQ(SplitCommandLine(u"\"C:\\Program Files\\Vistrel\\vistrel.exe\" \"D:\\My Pictures\\a b.png\""),
            (List{u"C:\\Program Files\\Vistrel\\vistrel.exe", u"D:\\My Pictures\\a b.png"}));
  // The second quote ends the argument; what follows starts a new one.
  EXPECT_EQ(SplitCommandLine(u"a\"b c\"d"), (List{u"ab c", u"d"}));
  // Runs of blanks, leading and trailing blanks and "" make no arguments.
  EXPECT_EQ(SplitCommandLine(u"  x   \"\"  y\t z  "), (List{u"x", u"y", u"z"}));
  // An open quote runs to the end of the line.
  EXPECT_EQ(SplitCommandLine(u"a \"b  c"), (List{u"a", u"b  c"}));
  EXPECT_EQ(SplitCommandLine(u"-TITLE=\"My holiday\" -POS=1,2"),
            (List{u"-TITLE=My holiday", u"-POS=1,2"}));
  EXPECT_EQ(SplitCommandLine(u"图像 文件.png"), (List{u"图像", u"文件.png"}));
}

TEST(SplitCommandLine, EmptyLineGivesOneEmptyArgument) {
  EXPECT_EQ(SplitCommandLine(u""), List{u""});
  EXPECT_EQ(SplitCommandLine(u"   \"\" "), List{u""});
  // And that list packs to an empty list.
  EXPECT_EQ(PackArguments(SplitCommandLine(u"")), std::u16string(1, u'\0'));
}

TEST(PackedArguments, RoundTripAndCutEnds) {
  const List list{u"vistrel.exe", u"a b.png", u"-ZOOM=2"};
  const std::u16string packed = PackArguments(list);
  EXPECT_EQ(packed, u"vistrel.exe\0a b.png\0-ZOOM=2\0\0"s);
  EXPECT_EQ(UnpackArguments(packed), list);
  // An empty argument ends the list in the packed form.
  EXPECT_EQ(PackArguments({u"a", u"", u"b"}), u"a\0\0"s);
  // A last argument without its NUL is not taken.
  EXPECT_EQ(UnpackArguments(std::u16string_view(u"a\0bc", 4)), List{u"a"});
}

TEST(ScanStartupArguments, ProgramPathFileAndSwitches) {
  StartupOptions o = ScanStartupArguments(
      SplitCommandLine(u"\"C:\\Vistrel\\vistrel.exe\" -FULLSCREEN \"D:\\pics\\a b.png\" c.png"));
  ASSERT_TRUE(o.file);
  EXPECT_EQ(*o.file, u"D:\\pics\\a b.png");
  EXPECT_FALSE(o.close);
  EXPECT_FALSE(o.singleInstanceOff);
  EXPECT_EQ(o.arguments, (List{u"-FULLSCREEN", u"D:\\pics\\a b.png", u"c.png"}));

  // The ".exe" test is case-sensitive: a first argument without it is kept.
  o = ScanStartupArguments({u"VISTREL.EXE", u"x.png"});
  ASSERT_TRUE(o.file);
  EXPECT_EQ(*o.file, u"VISTREL.EXE");
  EXPECT_EQ(o.arguments.size(), 2u);
  o = ScanStartupArguments({u"photo.exemplar.png"});
  EXPECT_FALSE(o.file);
  EXPECT_TRUE(o.arguments.empty());

  o = ScanStartupArguments(SplitCommandLine(u""));
  EXPECT_FALSE(o.file);
  EXPECT_TRUE(o.arguments.empty());
}

TEST(ScanStartupArguments, CloseAndOnlyOneInAnyCase) {
  for (const char16_t* sw : {u"-close", u"/CLOSE", u"-Close", u"/cLoSe"}) {
    StartupOptions o = ScanStartupArguments({u"v.exe", sw});
    EXPECT_TRUE(o.close) << test::U8(sw);
    EXPECT_FALSE(o.singleInstanceOff);
    EXPECT_FALSE(o.file);
  }
  StartupOptions o = ScanStartupArguments(SplitCommandLine(u"v.exe /ONLYONE pic.png"));
  EXPECT_TRUE(o.singleInstanceOff);
  EXPECT_FALSE(o.close);
  ASSERT_TRUE(o.file);
  EXPECT_EQ(*o.file, u"pic.png");
  // Whole-text matches only.
  o = ScanStartupArguments({u"v.exe", u"-closed", u"-ONLYONE2", u"--close"});
  EXPECT_FALSE(o.close);
  EXPECT_FALSE(o.singleInstanceOff);
}

TEST(ScanStartupArguments, SlashMarksSwitchesOnlyWhereItIsNoPathSeparator) {
  StartupOptions o = ScanStartupArguments({u"v.exe", u"/ONLYONE", u"/home/me/a.png"});
  EXPECT_TRUE(o.singleInstanceOff);
#ifdef _WIN32
  EXPECT_FALSE(o.file);  // "/home/..." is an unknown switch on Windows
#else
  ASSERT_TRUE(o.file);
  EXPECT_EQ(*o.file, u"/home/me/a.png");
  WindowOptions w = ParseWindowOptions({u"/zoom=2", u"/index.png"});
  EXPECT_FLOAT_EQ(w.zoom, 2.0f);
  EXPECT_FALSE(w.index);
#endif
}

TEST(ParseWindowOptions, DefaultsAndFlags) {
  WindowOptions w = ParseWindowOptions({u"pic.png", u"-frozen"});
  EXPECT_FALSE(w.index || w.frozen || w.fullScreen || w.topmost);
  EXPECT_EQ(w.posX, static_cast<int32_t>(0x80000000u));
  EXPECT_EQ(w.posY, static_cast<int32_t>(0x80000000u));
  EXPECT_EQ(w.zoom, -1.0f);
  EXPECT_FALSE(w.title);

  w = ParseWindowOptions({u"/index", u"-Freeze", u"-FULLSCREEN", u"/topmost"});
  EXPECT_TRUE(w.index && w.frozen && w.fullScreen && w.topmost);
  w = ParseWindowOptions({u"-INDEXES", u"-fullscreen2", u"-top", u"TOPMOST", u"INDEX"});
  EXPECT_FALSE(w.index || w.fullScreen || w.topmost);
}

TEST(ParseWindowOptions, Position) {
  auto pos = [](const char16_t* arg) {
    WindowOptions w = ParseWindowOptions({arg});
    return std::pair<int32_t, int32_t>(w.posX, w.posY);
  };
  constexpr int32_t kNo = kPositionNotGiven;
  EXPECT_EQ(pos(u"-POS=100,200"), std::make_pair(100, 200));
  EXPECT_EQ(pos(u"/pos=-5 7"), std::make_pair(-5, 7));  // a blank separates too
  EXPECT_EQ(pos(u"-Pos= 10, -20px"), std::make_pair(10, -20));
  EXPECT_EQ(pos(u"-POS=100"), std::make_pair(100, kNo));
  EXPECT_EQ(pos(u"-POS=100,"), std::make_pair(100, kNo));
  EXPECT_EQ(pos(u"-POS=abc"), std::make_pair(kNo, kNo));
  EXPECT_EQ(pos(u"-POS=abc,12"), std::make_pair(kNo, 12));
  EXPECT_EQ(pos(u"-POS="), std::make_pair(kNo, kNo));
  EXPECT_EQ(pos(u"-POS=2147483647,-2147483647"), std::make_pair(INT32_MAX, -INT32_MAX));
  EXPECT_EQ(pos(u"-POS=2147483648,99999999999999999999999"), std::make_pair(kNo, kNo));
  // y comes from this argument only, never from the next one.
  WindowOptions w = ParseWindowOptions({u"-POS=5", u"6"});
  EXPECT_EQ(w.posX, 5);
  EXPECT_EQ(w.posY, kNo);
  // A later POS= replaces both coordinates.
  w = ParseWindowOptions({u"-POS=1,2", u"-POS=3"});
  EXPECT_EQ(w.posX, 3);
  EXPECT_EQ(w.posY, kNo);
}

TEST(ParseWindowOptions, ZoomAndTitle) {
  auto zoom = [](const char16_t* arg) { return ParseWindowOptions({arg}).zoom; };
  EXPECT_EQ(zoom(u"-ZOOM=1.5"), 1.5f);
  EXPECT_EQ(zoom(u"/zoom=0.25x"), 0.25f);
  EXPECT_EQ(zoom(u"-ZOOM=2e1"), 20.0f);
  EXPECT_EQ(zoom(u"-ZOOM=+3"), 3.0f);
  for (const char16_t* bad : {u"-ZOOM=", u"-ZOOM=abc", u"-ZOOM=0", u"-ZOOM=-2", u"-ZOOM=1e60",
                              u"-ZOOM=inf", u"-ZOOM=nan", u"-ZOOM=."})
    EXPECT_EQ(zoom(bad), -1.0f) << test::U8(bad);

  WindowOptions w = ParseWindowOptions(SplitCommandLine(u"v.exe \"-TITLE=My holiday, day 2\" a.png"));
  ASSERT_TRUE(w.title);
  EXPECT_EQ(*w.title, u"My holiday, day 2");
  w = ParseWindowOptions({u"/title=x=y -POS=1"});
  ASSERT_TRUE(w.title);
  EXPECT_EQ(*w.title, u"x=y -POS=1");
  EXPECT_EQ(w.posX, kPositionNotGiven);
  EXPECT_FALSE(ParseWindowOptions({u"-TITLE="}).title);
}

TEST(HandOff, PayloadLayoutAndLength) {
  const List args{u"a b.png", u"-ZOOM=2"};
  std::u16string p = BuildHandOffPayload(u"a b.png", args);
  EXPECT_EQ(p, u"a b.png\0a b.png\0-ZOOM=2\0\0"s);
  // (file length + 2) + sum of (argument length + 1)
  EXPECT_EQ(p.size(), (7 + 2) + (7 + 1) + (7 + 1));
  EXPECT_EQ(HandOffByteCount(p), 2 * p.size());

  p = BuildHandOffPayload(std::nullopt, {u"-INDEX"});
  EXPECT_EQ(p, u"\0-INDEX\0\0"s);
  EXPECT_EQ(p.size(), 2u + 7u);
  EXPECT_EQ(BuildHandOffPayload(std::nullopt, {}), std::u16string(2, u'\0'));

  // The tag is the four bytes "vtRF" read as a little-endian number.
  const uint32_t tag = uint32_t{'v'} | uint32_t{'t'} << 8 | uint32_t{'R'} << 16 |
                       uint32_t{'F'} << 24;
  EXPECT_EQ(tag, kHandOffTag);
}

TEST(HandOff, RoundTrip) {
  const StartupOptions start = ScanStartupArguments(
      SplitCommandLine(u"\"C:\\V\\vistrel.exe\" \"D:\\图像\\a b.png\" -POS=100,200 \"-TITLE=x y\""));
  const std::vector<uint8_t> bytes =
      HandOffBytes(BuildHandOffPayload(start.file, start.arguments));
  std::optional<HandOffRequest> r = ReadHandOff(kHandOffTag, bytes.data(), bytes.size());
  ASSERT_TRUE(r);
  ASSERT_TRUE(r->file);
  EXPECT_EQ(*r->file, u"D:\\图像\\a b.png");
  EXPECT_EQ(r->arguments, start.arguments);
  const WindowOptions w = ParseWindowOptions(r->arguments);
  EXPECT_EQ(w.posX, 100);
  EXPECT_EQ(w.posY, 200);
  EXPECT_EQ(w.title, std::u16string(u"x y"));

  // No file and no arguments: accepted, with nothing to open.
  const std::vector<uint8_t> empty = HandOffBytes(BuildHandOffPayload(std::nullopt, {}));
  r = ReadHandOff(kHandOffTag, empty.data(), empty.size());
  ASSERT_TRUE(r);
  EXPECT_FALSE(r->file);
  EXPECT_TRUE(r->arguments.empty());
}

TEST(HandOff, RefusesBadTagMissingDataAndOverlongFirstString) {
  const std::vector<uint8_t> bytes =
      HandOffBytes(BuildHandOffPayload(u"picture.png", {u"picture.png"}));
  EXPECT_FALSE(ReadHandOff(0x46527477u, bytes.data(), bytes.size()));
  EXPECT_FALSE(ReadHandOff(kHandOffTag | (uint64_t{1} << 32), bytes.data(), bytes.size()));
  EXPECT_FALSE(ReadHandOff(kHandOffTag, nullptr, bytes.size()));
  EXPECT_FALSE(ReadHandOff(kHandOffTag, bytes.data(), 0));
  // The declared size stops inside the first string: refused. 11 units of name,
  // so any size up to 22 bytes (and 23, whose last byte is half a unit) misses the NUL.
  for (size_t size = 1; size <= 23; ++size)
    EXPECT_FALSE(ReadHandOff(kHandOffTag, bytes.data(), size)) << size;
  // With the NUL inside, it is accepted; the argument cut by the end is dropped.
  std::optional<HandOffRequest> r = ReadHandOff(kHandOffTag, bytes.data(), 24 + 6);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->file, std::u16string(u"picture.png"));
  EXPECT_TRUE(r->arguments.empty());
  // The payload may end without the list's closing NUL: the list ends there.
  r = ReadHandOff(kHandOffTag, bytes.data(), bytes.size() - 2);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->arguments, List{u"picture.png"});
  // An odd size ignores the half unit.
  r = ReadHandOff(kHandOffTag, bytes.data(), bytes.size() + 1 - 2);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->arguments, List{u"picture.png"});
}

TEST(HandOff, RandomPayloadsAreReadSafely) {
  // Each payload lives in its own exact-size allocation so that the address
  // sanitizer sees any read past its end.
  std::mt19937 rng(1234);
  int accepted = 0;
  for (int i = 0; i < 4000; ++i) {
    const size_t size = rng() % 64;
    std::vector<uint8_t> random = test::RandomBytes(size, static_cast<uint32_t>(i));
    // Make NULs common so that many payloads get past the first string.
    for (auto& b : random)
      if (rng() % 3 == 0) b = 0;
    std::unique_ptr<uint8_t[]> exact(new uint8_t[size ? size : 1]);
    if (size) std::memcpy(exact.get(), random.data(), size);
    std::optional<HandOffRequest> r = ReadHandOff(kHandOffTag, exact.get(), size);
    if (!r) continue;
    ++accepted;
    // Whatever was read, every unit of it came from inside the payload.
    size_t units = (r->file ? r->file->size() : 0) + 1;
    for (const auto& a : r->arguments) {
      EXPECT_FALSE(a.empty());
      EXPECT_EQ(a.find(u'\0'), std::u16string::npos);
      units += a.size() + 1;
    }
    EXPECT_LE(units * 2, size);
  }
  EXPECT_GT(accepted, 100);
}

}  // namespace
}  // namespace vt
