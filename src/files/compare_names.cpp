#include "files/compare_names.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace vt {

namespace {

std::atomic<bool> g_natural{true};

// Collation weights for ASCII, in the order the Windows shell lists names:
// control characters, then the apostrophe and hyphen (which the system's word
// sort nearly ignores, so they come first), then the other symbols in its
// order, then digits, then letters with case folded. The plain order also uses
// this for '.' and digits; the logical order treats those as elements of their
// own before it gets here.
constexpr std::u16string_view kSymbolOrder =
    u"'- !\"#$%&()*,./:;?@[\\]^_`{|}~+<=>\x7f";

// Letters are spaced so that accented forms fit right after their base letter.
constexpr uint16_t LetterWeight(char16_t lower, int accent) {
  return static_cast<uint16_t>(0x200 + (lower - u'a') * 16 + accent);
}

constexpr std::array<uint16_t, 128> MakeAsciiWeights() {
  std::array<uint16_t, 128> w{};
  for (uint16_t c = 0; c < 0x20; ++c) w[c] = 1 + c;
  for (size_t i = 0; i < kSymbolOrder.size(); ++i) w[kSymbolOrder[i]] = uint16_t(0x40 + i);
  for (uint16_t c = u'0'; c <= u'9'; ++c) w[c] = 0x100 + (c - u'0');
  for (uint16_t c = u'a'; c <= u'z'; ++c) w[c] = w[c - 0x20] = LetterWeight(c, 0);
  return w;
}
constexpr std::array<uint16_t, 128> kAsciiWeights = MakeAsciiWeights();

// Latin-1 letters sort with their base letter, just after it (the accent only
// separates them from it), as the system's collation does for a single
// character. U+00C0..U+00DF; the small letters U+00E0..U+00FF share the row.
// '*' marks the two signs (multiplication, division) and the thorn, which are
// left to the code-point order after all letters.
constexpr std::u16string_view kLatin1Base = u"aaaaaaaceeeeiiiidnooooo*ouuuuy*s";
constexpr std::u16string_view kLatin1Rank = u"12345671123412341112345061234101";

constexpr std::array<uint16_t, 64> MakeLatin1Weights() {
  std::array<uint16_t, 64> w{};
  for (size_t i = 0; i < 32; ++i) {
    const char16_t base = kLatin1Base[i];
    const uint16_t v = base == u'*' ? 0 : LetterWeight(base, kLatin1Rank[i] - u'0');
    w[i] = w[i + 32] = v;
  }
  w[0x3F] = LetterWeight(u'y', 2);  // small y with diaeresis; its capital is elsewhere
  w[0x1F] = LetterWeight(u's', 1);  // sharp s
  return w;
}
constexpr std::array<uint16_t, 64> kLatin1Weights = MakeLatin1Weights();

// Simple lower-casing of the letters most names outside ASCII use: Latin-1,
// Latin Extended-A, Greek and Cyrillic capitals.
uint32_t FoldCase(char16_t c) {
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20u;
  if (c >= 0x100 && c <= 0x17F) {
    // Pairs capital/small; two runs are odd/even instead of even/odd.
    const bool oddCapital = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    if (oddCapital) return (c & 1) ? c + 1u : c;
    return (c & 1) ? c : c + 1u;
  }
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 0x20u;
  if (c >= 0x410 && c <= 0x42F) return c + 0x20u;
  if (c >= 0x400 && c <= 0x40F) return c + 0x50u;
  return c;
}

// Everything else sorts after the letters, by folded code point.
inline uint32_t Weight(char16_t c) {
  if (c < 0x80) return kAsciiWeights[c];
  if (c >= 0xC0 && c <= 0xFF && kLatin1Weights[c - 0xC0]) return kLatin1Weights[c - 0xC0];
  return 0x1000u + FoldCase(c);
}

inline bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Element classes of the logical order, lesser first.
enum : int { kPeriod = 0, kNumber = 1, kCharacter = 2 };
inline int ClassOf(char16_t c) { return c == u'.' ? kPeriod : IsDigit(c) ? kNumber : kCharacter; }

inline int Sign(int64_t v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }

}  // namespace

void SetNaturalFileOrder(bool on) { g_natural.store(on, std::memory_order_relaxed); }
bool NaturalFileOrder() { return g_natural.load(std::memory_order_relaxed); }

int CompareFileNames(std::u16string_view a, std::u16string_view b) {
  return NaturalFileOrder() ? CompareFileNamesLogical(a, b) : CompareFileNamesPlain(a, b);
}

int CompareFileNamesLogical(std::u16string_view a, std::u16string_view b) {
  const size_t na = a.size(), nb = b.size();
  size_t i = 0, j = 0;
  int zeroTie = 0;
  while (i < na && j < nb) {
    const char16_t ca = a[i], cb = b[j];
    if (ca == cb && !IsDigit(ca)) {  // the common case: same character
      ++i, ++j;
      continue;
    }
    const int ka = ClassOf(ca), kb = ClassOf(cb);
    if (ka != kb) return ka < kb ? -1 : 1;
    if (ka == kNumber) {
      // Compare by value without converting, so runs of any length work: skip
      // leading zeros, then the longer significant part is the larger number,
      // then the first differing digit decides.
      size_t za = i, zb = j;
      while (za < na && a[za] == u'0') ++za;
      while (zb < nb && b[zb] == u'0') ++zb;
      size_t ea = za, eb = zb;
      while (ea < na && IsDigit(a[ea])) ++ea;
      while (eb < nb && IsDigit(b[eb])) ++eb;
      if (ea - za != eb - zb) return ea - za < eb - zb ? -1 : 1;
      for (size_t k = 0; k < ea - za; ++k) {
        if (a[za + k] != b[zb + k]) return a[za + k] < b[zb + k] ? -1 : 1;
      }
      // Equal values: more leading zeros is the lesser, but only when nothing
      // else tells the names apart, so the first such run is remembered.
      if (zeroTie == 0 && za - i != zb - j) zeroTie = za - i > zb - j ? -1 : 1;
      i = ea;
      j = eb;
      continue;
    }
    if (ka == kCharacter) {
      const int d = Sign(int64_t(Weight(ca)) - int64_t(Weight(cb)));
      if (d) return d;
    }
    ++i, ++j;
  }
  if (i < na) return 1;
  if (j < nb) return -1;
  return zeroTie;
}

int CompareFileNamesPlain(std::u16string_view a, std::u16string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  int caseTie = 0;
  for (size_t k = 0; k < n; ++k) {
    const char16_t ca = a[k], cb = b[k];
    if (ca == cb) continue;
    const int d = Sign(int64_t(Weight(ca)) - int64_t(Weight(cb)));
    if (d) return d;
    // Same letter in another case: lower case first, decided only at the end.
    if (caseTie == 0) caseTie = ca > cb ? -1 : 1;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return caseTie;
}

int CompareFileNamesStrict(std::u16string_view a, std::u16string_view b) {
  int r = CompareFileNames(a, b);
  if (r) return r;
  return a.compare(b) < 0 ? -1 : a == b ? 0 : 1;
}

}  // namespace vt
