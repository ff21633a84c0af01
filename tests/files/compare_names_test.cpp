#include "files/compare_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace vt {
namespace {

int Sgn(int v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }

std::vector<std::u16string> SortedLogical(std::vector<std::u16string> names) {
  std::stable_sort(names.begin(), names.end(), [](const auto& a, const auto& b) {
    return CompareFileNamesLogical(a, b) < 0;
  });
  return names;
}

TEST(CompareFileNames, DocumentedLogicalOrder) {
  // The example order the shell documents for its logical comparison.
  const std::vector<std::u16string> expected = {u"2string",  u"3string",  u"20string",
                                                u"st2ring",  u"st3ring",  u"st20ring",
                                                u"string2",  u"string3",  u"string20"};
  std::vector<std::u16string> shuffled = {u"string20", u"st3ring", u"2string", u"string2",
                                          u"20string", u"st20ring", u"string3", u"3string",
                                          u"st2ring"};
  EXPECT_EQ(SortedLogical(shuffled), expected);
  // And the listing of names with version numbers the shell's help shows.
  EXPECT_EQ(SortedLogical({u"Ie6", u"Ie401sp2", u"Ie4_128", u"Ie5", u"Ie501sp2", u"Ie4_01"}),
            (std::vector<std::u16string>{u"Ie4_01", u"Ie4_128", u"Ie5", u"Ie6", u"Ie401sp2",
                                         u"Ie501sp2"}));
  EXPECT_EQ(SortedLogical({u"88.txt", u"5.txt", u"11.txt"}),
            (std::vector<std::u16string>{u"5.txt", u"11.txt", u"88.txt"}));
}

TEST(CompareFileNames, LeadingZerosDecideOnlyWhenAllElseIsEqual) {
  // More leading zeros is the lesser, but only as a last resort.
  const std::vector<std::u16string> expected = {u"a1b1", u"a01b2", u"a1b2", u"a01b3"};
  EXPECT_EQ(SortedLogical({u"a01b3", u"a1b2", u"a1b1", u"a01b2"}), expected);
  EXPECT_LT(CompareFileNamesLogical(u"a001", u"a01"), 0);
  EXPECT_LT(CompareFileNamesLogical(u"a01", u"a1"), 0);
  EXPECT_GT(CompareFileNamesLogical(u"a1", u"a00"), 0);
  EXPECT_EQ(CompareFileNamesLogical(u"a0", u"a0"), 0);
  // The first differing run of zeros counts, not a later one.
  EXPECT_LT(CompareFileNamesLogical(u"x01y1", u"x1y01"), 0);
}

TEST(CompareFileNames, DigitRunsBeyondSixtyFourBits) {
  // 2^64 = 18446744073709551616; a converter to 64 bits would wrap these.
  const std::u16string big = u"img18446744073709551616.jpg";
  const std::u16string bigger = u"img18446744073709551617.jpg";
  const std::u16string huge = u"img100000000000000000000000000000000000000.jpg";
  EXPECT_LT(CompareFileNamesLogical(u"img18446744073709551615.jpg", big), 0);
  EXPECT_LT(CompareFileNamesLogical(big, bigger), 0);
  EXPECT_LT(CompareFileNamesLogical(bigger, huge), 0);
  EXPECT_LT(CompareFileNamesLogical(u"img2.jpg", huge), 0);
  EXPECT_EQ(CompareFileNamesLogical(u"img000000000000000000000000000000007", u"img7"), -1);
  EXPECT_GT(CompareFileNamesLogical(u"img0000000000000000000000000000000008", u"img7"), 0);
}

TEST(CompareFileNames, CaseAndClasses) {
  EXPECT_EQ(CompareFileNamesLogical(u"IMG1.JPG", u"img1.jpg"), 0);
  EXPECT_LT(CompareFileNamesLogical(u"a", u"B"), 0);
  EXPECT_LT(CompareFileNamesLogical(u"B", u"c"), 0);
  // A period before a number before any other character.
  EXPECT_LT(CompareFileNamesLogical(u"a.jpg", u"a1.jpg"), 0);
  EXPECT_LT(CompareFileNamesLogical(u"a1.jpg", u"a_1.jpg"), 0);
  EXPECT_LT(CompareFileNamesLogical(u"a1", u"ab"), 0);
  // A prefix is the lesser.
  EXPECT_LT(CompareFileNamesLogical(u"img", u"img1"), 0);
  EXPECT_LT(CompareFileNamesLogical(u"", u"a"), 0);
  EXPECT_EQ(CompareFileNamesLogical(u"", u""), 0);
  // Symbols before letters; apostrophe and hyphen first of all.
  EXPECT_LT(CompareFileNamesLogical(u"_a", u"a"), 0);
  EXPECT_LT(CompareFileNamesLogical(u"-a", u" a"), 0);
  EXPECT_LT(CompareFileNamesLogical(u"'a", u"-a"), 0);
  EXPECT_LT(CompareFileNamesLogical(u"(a", u"_a"), 0);
  // Letters beyond ASCII fold case; accented Latin letters follow their base
  // letter, other scripts come after Latin.
  EXPECT_EQ(CompareFileNamesLogical(u"\u00c9t\u00e9", u"\u00e9T\u00c9"), 0);
  EXPECT_EQ(CompareFileNamesLogical(u"\u0416", u"\u0436"), 0);
  EXPECT_GT(CompareFileNamesLogical(u"\u00e9", u"e"), 0);
  EXPECT_LT(CompareFileNamesLogical(u"\u00e9", u"f"), 0);
  // Character by character: the accent decides at once, not after the word.
  EXPECT_GT(CompareFileNamesLogical(u"\u00e9t\u00e9", u"etf"), 0);
  EXPECT_GT(CompareFileNamesLogical(u"\u0436", u"z"), 0);
}

TEST(CompareFileNames, IsAnOrder) {
  // Antisymmetric and transitive over a set of tricky names.
  const std::vector<std::u16string> names = {
      u"a", u"A", u"a1", u"a01", u"a001", u"a1b", u"a1.b", u"a.1", u"a 1", u"a_1", u"a-1",
      u"a10", u"a2", u"a02b", u"18446744073709551616", u"18446744073709551615", u"9", u"09",
      u"x.jpg", u"x1.jpg", u"x.1.jpg", u"", u".", u"..", u"\u00e9", u"\u00c9", u"z"};
  for (const auto& a : names) {
    for (const auto& b : names) {
      EXPECT_EQ(Sgn(CompareFileNamesLogical(a, b)), -Sgn(CompareFileNamesLogical(b, a)));
      EXPECT_EQ(Sgn(CompareFileNamesPlain(a, b)), -Sgn(CompareFileNamesPlain(b, a)));
      for (const auto& c : names) {
        if (CompareFileNamesLogical(a, b) <= 0 && CompareFileNamesLogical(b, c) <= 0) {
          EXPECT_LE(CompareFileNamesLogical(a, c), 0);
        }
        if (CompareFileNamesPlain(a, b) <= 0 && CompareFileNamesPlain(b, c) <= 0) {
          EXPECT_LE(CompareFileNamesPlain(a, c), 0);
        }
      }
    }
  }
}

TEST(CompareFileNames, PlainOrderAndSwitch) {
  EXPECT_LT(CompareFileNamesPlain(u"img1.jpg", u"img10.jpg"), 0);
  EXPECT_LT(CompareFileNamesPlain(u"img10.jpg", u"img2.jpg"), 0);
  // Case only breaks ties, lower case first.
  EXPECT_LT(CompareFileNamesPlain(u"abc", u"ABC"), 0);
  EXPECT_LT(CompareFileNamesPlain(u"ABC", u"abd"), 0);
  EXPECT_EQ(CompareFileNamesPlain(u"abc", u"abc"), 0);

  ASSERT_TRUE(NaturalFileOrder());
  EXPECT_LT(CompareFileNames(u"img2.jpg", u"img10.jpg"), 0);
  SetNaturalFileOrder(false);
  EXPECT_GT(CompareFileNames(u"img2.jpg", u"img10.jpg"), 0);
  SetNaturalFileOrder(true);
}

TEST(CompareFileNames, StrictOrderOnlyHoldsIdenticalNamesEqual) {
  EXPECT_NE(CompareFileNamesStrict(u"A.jpg", u"a.jpg"), 0);
  EXPECT_EQ(Sgn(CompareFileNamesStrict(u"A.jpg", u"a.jpg")),
            -Sgn(CompareFileNamesStrict(u"a.jpg", u"A.jpg")));
  EXPECT_EQ(CompareFileNamesStrict(u"a.jpg", u"a.jpg"), 0);
  EXPECT_LT(CompareFileNamesStrict(u"a.jpg", u"b.jpg"), 0);
}

}  // namespace
}  // namespace vt
