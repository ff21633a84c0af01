#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "index/index_item.h"

namespace vt {

struct OptionsBlock;

// What the grid shows, taken from the settings.
struct IndexLayoutOptions {
  int32_t boxWidth = 160;
  int32_t boxHeight = 160;
  int32_t spacing = 10;
  int32_t nameLines = 1;  // 0..4
  bool extension = false;
  bool resolution = true;
  bool fileSize = false;
  bool fileDate = false;
  bool comment = true;
  bool showFolders = true;
  bool showNonImages = false;

  static IndexLayoutOptions From(const OptionsBlock& options);
};

// The advance width of one line of caption text.
using TextMeasure = std::function<int32_t(std::u16string_view)>;

// The caption font: "Segoe UI" at 14 pixels at 96 dpi, scaled and rounded.
int32_t IndexFontHeight(uint32_t dpi);

// The height of the caption lines under a box for a line height h: name
// lines, the comment (with 5 pixels more), resolution, size and date; h / 5
// when no line is on.
int32_t CaptionHeight(const IndexLayoutOptions& o, int32_t lineHeight);
// The whole cell: box width + spacing + 5 by box height + spacing + 2 + captions.
ViewSize CellSize(const IndexLayoutOptions& o, int32_t lineHeight);

// Unexamined files and images always get a cell; folders with the folder
// setting; scripts and other files with the non-image setting.
bool IsItemShown(const IndexItem& item, const IndexLayoutOptions& o);

// Gives every shown item its cell, left to right and row by row from
// (spacing + 2, spacing + 2), a new row where a cell would pass the client's
// width; the others lose theirs. The grid's size: its widest row (at most the
// client width) and the last row's bottom + 2.
ViewSize PlaceCells(IndexItemList& items, const IndexLayoutOptions& o, int32_t lineHeight, int32_t clientWidth);

// Where the thumbnail box lies in a cell.
ViewRect BoxOfCell(const ViewRect& cell, const IndexLayoutOptions& o);
// The part of a cell a selection or a click covers (the cell without its spacing).
ViewRect ContentOfCell(const ViewRect& cell, const IndexLayoutOptions& o);

// The name an item shows: images without their extension unless that
// setting is on (a shortcut to an image without its inner one); a shortcut
// without ".lnk" and with " →" appended.
std::u16string DisplayName(const IndexItem& item, bool showExtension);

// The name over at most `lines` lines of `width`: every line but the last
// breaks at a natural point (before a control character or blank, before
// . , ; _ - @ ", between a digit and a non-digit, before an upper-case letter
// after a lower-case one) no earlier than the fifth character, else where the
// width ends; blanks at the start of a following line are dropped; the last
// line is cut with an ellipsis.
std::vector<std::u16string> BreakName(std::u16string_view name, int32_t lines, int32_t width,
                                      const TextMeasure& measure);
// The text cut to width with an ellipsis when it does not fit.
std::u16string CutWithEllipsis(std::u16string_view text, int32_t width, const TextMeasure& measure);
// The same, cutting at the end of a word where one fits.
std::u16string CutAtWordWithEllipsis(std::u16string_view text, int32_t width, const TextMeasure& measure);

// A caption line: its text, and whether it is the comment (which gets room
// of its own).
struct CaptionLine {
  std::u16string text;
  bool comment = false;
};
// The caption lines of an item, in order, one per line the settings turn on
// (empty texts where the item has nothing to say).
std::vector<CaptionLine> CaptionLines(const IndexItem& item, const IndexLayoutOptions& o, int32_t width,
                                      const TextMeasure& measure);

}  // namespace vt
