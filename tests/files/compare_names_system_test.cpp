// The logical order against the system's own StrCmpLogicalW (Windows builds;
// under Wine that is Wine's implementation, written independently of ours).
#ifdef _WIN32
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files/compare_names.h"

namespace vt {
namespace {

using LogicalCompare = int(WINAPI*)(const wchar_t*, const wchar_t*);

int Sgn(int v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? c + 0x20 : c; }

// Where implementations of the logical order are known to part ways, so a pair
// says nothing about ours: equal numbers written with different leading zeros
// (Windows orders them, Wine calls them equal); a period meeting a different
// character or a digit (Windows treats the period as an element of its own that
// sorts first, so "img.jpg" precedes "img (1).jpg"; Wine compares it as a plain
// character and puts digits first); numbers beyond 32 bits (Wine converts them
// to int).
bool KnownDifference(std::u16string_view a, std::u16string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const bool da = IsDigit(a[i]), db = IsDigit(b[j]);
    if ((a[i] == u'.') != (b[j] == u'.')) return true;
    if (da && db) {
      size_t ei = i, ej = j;
      while (ei < a.size() && IsDigit(a[ei])) ++ei;
      while (ej < b.size() && IsDigit(b[ej])) ++ej;
      if (ei - i > 9 || ej - j > 9) return true;
      if (std::stoul(std::string(a.begin() + i, a.begin() + ei)) !=
          std::stoul(std::string(b.begin() + j, b.begin() + ej)))
        return false;
      if (ei - i != ej - j) return true;
      i = ei;
      j = ej;
      continue;
    }
    if (Lower(a[i]) != Lower(b[j])) return false;
    ++i, ++j;
  }
  return false;
}

TEST(CompareFileNamesSystem, AgreesWithStrCmpLogicalW) {
  HMODULE shlwapi = LoadLibraryW(L"shlwapi.dll");
  ASSERT_NE(shlwapi, nullptr);
  auto system = reinterpret_cast<LogicalCompare>(
      reinterpret_cast<void*>(GetProcAddress(shlwapi, "StrCmpLogicalW")));
  ASSERT_NE(system, nullptr);
  const std::vector<std::u16string> names = {
      u"img1.jpg", u"img2.jpg", u"img10.jpg", u"IMG3.JPG", u"img", u"img_1.jpg", u"img-1.jpg",
      u"img 1.jpg", u"img(1).jpg", u"img.jpg", u"2string", u"20string", u"st2ring",
      u"string20", u"a", u"B", u"c", u"ab", u"a1b", u"a1", u"a2", u"a12", u"x99y", u"x100y",
      u"_a", u"!a", u"#a", u"$a", u"&a", u"(a", u")a", u",a", u";a", u"@a", u"[a", u"]a",
      u"^a", u"`a", u"{a", u"}a", u"~a", u"+a", u"=a", u"'a", u"-a", u" a", u"a01", u"a001",
      u"file.tar.gz", u"file1.tar", u"Z", u"z1", u"1z", u"99", u"100", u"0", u"DSC_0001.JPG",
      u"DSC_0002.JPG", u"DSC_0010.JPG", u"photo 2023-01-05.png", u"photo 2023-1-5.png",
      u"\u00e9t\u00e9", u"\u00c9T\u00c9", u"ete", u"\u0436", u"\u0416a"};
  int compared = 0;
  for (const auto& a : names) {
    for (const auto& b : names) {
      if (KnownDifference(a, b)) continue;
      const int theirs = Sgn(system(reinterpret_cast<const wchar_t*>(a.c_str()),
                                    reinterpret_cast<const wchar_t*>(b.c_str())));
      const int ours = Sgn(CompareFileNamesLogical(a, b));
      ++compared;
      EXPECT_EQ(ours, theirs) << "\"" << std::string(a.begin(), a.end()) << "\" vs \""
                              << std::string(b.begin(), b.end()) << "\"";
    }
  }
  EXPECT_GT(compared, 3000);
  FreeLibrary(shlwapi);
}

}  // namespace
}  // namespace vt
#endif
