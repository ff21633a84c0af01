#pragma once
#include "index/index_item.h"

namespace vt {

// Orders two items the index's way: negative when a comes first.
//  - folders before everything else (except by full path);
//  - among folders, drive roots first;
//  - then the mode: names (natural order), file sizes, file times, image
//    size (images first by pixel count, then bits per pixel; the rest by
//    name), or full path (folder parts, then names; folders named ".." and
//    the like first) when the list holds items of subfolders (by name otherwise).
int CompareIndexItems(const IndexItem& a, const IndexItem& b, SortMode mode, bool hasSubfolderItems);

// A stable sort: items that compare equal keep their order. Mode 0 leaves
// the list as it is.
void SortIndexItems(IndexItemList& items, SortMode mode);

}  // namespace vt
