#include "index/index_layout.h"

#include <algorithm>
#include <cmath>

#include "app/settings.h"

namespace vt {

namespace {

constexpr std::u16string_view kEllipsis = u"…";

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool IsUpper(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7); }
bool IsLower(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= 0xDF && c <= 0xFF && c != 0xF7); }

// Whether a line may end before text[p].
bool IsNaturalBreak(std::u16string_view text, size_t p) {
  const char16_t c = text[p], before = text[p - 1];
  if (c < 33) return true;
  if (std::u16string_view(u".,;_-@\"").find(c) != std::u16string_view::npos) return true;
  if (IsDigit(c) != IsDigit(before)) return true;
  return IsUpper(c) && IsLower(before);
}

// The most characters of text from its start whose width fits (at least one,
// so that every line takes something).
size_t FittingLength(std::u16string_view text, int32_t width, const TextMeasure& measure) {
  size_t lo = 1, hi = text.size();
  while (lo < hi) {
    const size_t mid = (lo + hi + 1) / 2;
    if (measure(text.substr(0, mid)) <= width) {
      lo = mid;
    } else {
      hi = mid - 1;
    }
  }
  return lo;
}

// The ellipsis after the longest prefix that leaves room for it; the prefix
// may end only where allowed says.
std::u16string CutBefore(std::u16string_view text, int32_t width, const TextMeasure& measure,
                         const std::function<bool(size_t)>& allowed) {
  if (measure(text) <= width) return std::u16string(text);
  for (size_t n = text.size(); n-- > 0;) {
    if (!allowed(n)) continue;
    std::u16string cut(text.substr(0, n));
    while (!cut.empty() && cut.back() == u' ') cut.pop_back();
    cut += kEllipsis;
    if (measure(cut) <= width || n == 0) return cut;
  }
  return std::u16string(kEllipsis);
}

}  // namespace

IndexLayoutOptions IndexLayoutOptions::From(const OptionsBlock& b) {
  IndexLayoutOptions o;
  o.boxWidth = static_cast<int32_t>(std::clamp<uint32_t>(b.indexThumbWidth, 32, 1023));
  o.boxHeight = static_cast<int32_t>(std::clamp<uint32_t>(b.indexThumbHeight, 32, 1023));
  o.spacing = static_cast<int32_t>(std::min<uint32_t>(b.indexSpacing, 1000));
  o.nameLines = std::min<int32_t>(b.indexNameLines, 4);
  o.extension = b.indexShowExtension != 0;
  o.resolution = b.indexShowResolution != 0;
  o.fileSize = b.indexShowFileSize != 0;
  o.fileDate = b.indexShowFileDate != 0;
  o.comment = b.indexShowComment != 0;
  o.showFolders = b.indexShowFolders != 0;
  o.showNonImages = b.indexShowNonImages != 0;
  return o;
}

int32_t IndexFontHeight(uint32_t dpi) { return static_cast<int32_t>(std::lround(14.0 * (dpi ? dpi : 96) / 96.0)); }

int32_t CaptionHeight(const IndexLayoutOptions& o, int32_t h) {
  int32_t c = o.nameLines * h;
  if (o.comment) c += h + 5;
  c += h * (int32_t{o.resolution} + int32_t{o.fileSize} + int32_t{o.fileDate});
  return c == 0 ? h / 5 : c;
}

ViewSize CellSize(const IndexLayoutOptions& o, int32_t h) {
  return {o.boxWidth + o.spacing + 5, o.boxHeight + o.spacing + 2 + CaptionHeight(o, h)};
}

bool IsItemShown(const IndexItem& item, const IndexLayoutOptions& o) {
  switch (item.kind) {
    case ItemKind::kFolder: return o.showFolders;
    case ItemKind::kScript:
    case ItemKind::kOther: return o.showNonImages;
    default: return true;
  }
}

ViewSize PlaceCells(IndexItemList& items, const IndexLayoutOptions& o, int32_t h, int32_t clientWidth) {
  const ViewSize cell = CellSize(o, h);
  const int32_t start = o.spacing + 2;
  int32_t x = start, y = start, widest = 0;
  bool any = false;
  for (auto& item : items) {
    item->visible = IsItemShown(*item, o);
    if (!item->visible) {
      item->cell = {};
      continue;
    }
    // A cell that would end beyond the client starts a new row (a row
    // always takes at least one cell).
    if (x > start && x + cell.width > clientWidth) {
      x = start;
      y += cell.height;
    }
    item->cell = {x, y, x + cell.width, y + cell.height};
    x += cell.width;
    widest = std::max(widest, x);
    any = true;
  }
  if (!any) return {0, 0};
  return {std::min(widest, clientWidth), y + cell.height + 2};
}

ViewRect BoxOfCell(const ViewRect& cell, const IndexLayoutOptions& o) {
  return {cell.left + 2, cell.top + 1, cell.left + 2 + o.boxWidth, cell.top + 1 + o.boxHeight};
}

ViewRect ContentOfCell(const ViewRect& cell, const IndexLayoutOptions& o) {
  return {cell.left, cell.top, cell.right - o.spacing, cell.bottom - o.spacing};
}

std::u16string DisplayName(const IndexItem& item, bool showExtension) {
  std::u16string name(item.Name());
  if (item.shortcut && HasExtension(name, u".lnk")) name.resize(name.size() - 4);
  if (!showExtension && item.kind == ItemKind::kImage) {
    const size_t dot = name.rfind(u'.');
    if (dot != std::u16string::npos && dot > 0) name.resize(dot);
  }
  if (item.shortcut) name += u" \u2192";
  return name;
}

std::vector<std::u16string> BreakName(std::u16string_view name, int32_t lines, int32_t width,
                                      const TextMeasure& measure) {
  std::vector<std::u16string> out;
  std::u16string_view rest = name;
  for (int32_t line = 0; line < lines && !rest.empty(); ++line) {
    if (line == lines - 1 || measure(rest) <= width) {
      out.push_back(CutWithEllipsis(rest, width, measure));
      break;
    }
    const size_t fitted = FittingLength(rest, width, measure);
    size_t at = fitted;
    for (size_t p = fitted; p >= 4; --p) {
      if (p < rest.size() && IsNaturalBreak(rest, p)) {
        at = p;
        break;
      }
    }
    out.emplace_back(rest.substr(0, at));
    rest.remove_prefix(at);
    while (!rest.empty() && rest.front() == u' ') rest.remove_prefix(1);
  }
  return out;
}

std::u16string CutWithEllipsis(std::u16string_view text, int32_t width, const TextMeasure& measure) {
  return CutBefore(text, width, measure, [](size_t) { return true; });
}

std::u16string CutAtWordWithEllipsis(std::u16string_view text, int32_t width, const TextMeasure& measure) {
  // A word ends before a blank; where no whole word fits, any place will do.
  std::u16string atWord = CutBefore(text, width, measure, [&](size_t n) { return n > 0 && n < text.size() && text[n] == u' '; });
  if (measure(atWord) <= width && atWord != kEllipsis) return atWord;
  return CutWithEllipsis(text, width, measure);
}

std::vector<CaptionLine> CaptionLines(const IndexItem& item, const IndexLayoutOptions& o, int32_t width,
                                      const TextMeasure& measure) {
  std::vector<CaptionLine> out;
  if (o.nameLines > 0) {
    std::vector<std::u16string> name = BreakName(DisplayName(item, o.extension), o.nameLines, width, measure);
    name.resize(static_cast<size_t>(o.nameLines));
    for (auto& line : name) out.push_back({std::move(line), false});
  }
  const bool image = item.kind == ItemKind::kImage;
  if (o.comment)
    out.push_back({image && !item.comment.empty() ? CutAtWordWithEllipsis(item.comment, width, measure) : u"", true});
  if (o.resolution)
    out.push_back({image ? ResolutionText(item.width, item.height, item.bitsPerPixel) : u"", false});
  if (o.fileSize) out.push_back({item.kind == ItemKind::kFolder ? u"" : FileSizeText(item.fileSize), false});
  if (o.fileDate) out.push_back({FileDateText(item.lastWriteTime), false});
  return out;
}

}  // namespace vt
