#include "formats/meta/resolution.h"

#include <cmath>
#include <cstdio>

#include "base/text.h"

namespace vt {

namespace {

constexpr double kInchesPerMetre = 39.37008;
constexpr double kMetresPerInch = 0.0254;

void SkipBlanks(std::u16string_view t, size_t* i) {
  while (*i < t.size() && (t[*i] == u' ' || t[*i] == u'\t')) ++*i;
}

// A signed decimal; no digits reads as 0. False only on overflow.
bool ReadInt(std::u16string_view t, size_t* i, int64_t* out) {
  bool negative = false;
  if (*i < t.size() && (t[*i] == u'-' || t[*i] == u'+')) {
    negative = t[*i] == u'-';
    ++*i;
  }
  int64_t v = 0;
  while (*i < t.size() && t[*i] >= u'0' && t[*i] <= u'9') {
    v = v * 10 + (t[*i] - u'0');
    if (v > INT32_MAX) return false;
    ++*i;
  }
  *out = negative ? -v : v;
  return true;
}

bool Convert(int64_t v, double factor, int32_t* out) {
  // Rounded the way the stored values always were: add a half, cut the fraction.
  const double r = std::trunc(static_cast<double>(v) * factor + 0.5);
  if (!(r >= INT32_MIN && r <= INT32_MAX)) return false;
  *out = static_cast<int32_t>(r);
  return true;
}

}  // namespace

std::optional<Resolution> ParseResolution(std::u16string_view text, ResolutionUnit unit) {
  size_t i = 0;
  int64_t x = 0, y = 0;
  SkipBlanks(text, &i);
  if (!ReadInt(text, &i, &x) || x == 0) return std::nullopt;
  SkipBlanks(text, &i);
  if (i < text.size() && text[i] == u'x') {
    ++i;
    SkipBlanks(text, &i);
    if (!ReadInt(text, &i, &y)) return std::nullopt;
    SkipBlanks(text, &i);
  }
  if (y == 0) y = x;
  const std::u16string_view rest = text.substr(i);
  bool perInch;
  if (rest == u"ppi") {
    perInch = true;
  } else if (rest == u"ppm") {
    perInch = false;
  } else {
    return std::nullopt;
  }
  double factor = 1.0;
  if (perInch && unit == ResolutionUnit::PerMetre) factor = kInchesPerMetre;
  if (!perInch && unit == ResolutionUnit::PerInch) factor = kMetresPerInch;
  Resolution r;
  if (factor == 1.0) {
    r.x = static_cast<int32_t>(x);
    r.y = static_cast<int32_t>(y);
  } else if (!Convert(x, factor, &r.x) || !Convert(y, factor, &r.y)) {
    return std::nullopt;
  }
  return r;
}

std::u16string FormatResolution(int32_t x, int32_t y, ResolutionUnit unit) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d x %d %s", static_cast<int>(x), static_cast<int>(y),
                unit == ResolutionUnit::PerInch ? "ppi" : "ppm");
  return AsciiToUtf16(buf);
}

}  // namespace vt
