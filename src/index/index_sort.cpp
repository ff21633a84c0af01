#include "index/index_sort.h"

#include <algorithm>

#include "files/compare_names.h"

namespace vt {

namespace {

template <class T>
int Order(T a, T b) {
  return a < b ? -1 : a > b ? 1 : 0;
}

int CompareByFullPath(const IndexItem& a, const IndexItem& b) {
  const bool aFolder = a.kind == ItemKind::kFolder, bFolder = b.kind == ItemKind::kFolder;
  const bool aDot = aFolder && a.Name().starts_with(u'.');
  const bool bDot = bFolder && b.Name().starts_with(u'.');
  if (aDot != bDot) return aDot ? -1 : 1;
  if (int c = CompareFileNames(a.FolderPart(), b.FolderPart())) return c;
  // A folder heads the items found in it, which share its path as their folder.
  if (aFolder != bFolder) return aFolder ? -1 : 1;
  return CompareFileNames(a.Name(), b.Name());
}

}  // namespace

int CompareIndexItems(const IndexItem& a, const IndexItem& b, SortMode mode, bool hasSubfolderItems) {
  if (mode == SortMode::kFullPath && !hasSubfolderItems) mode = SortMode::kName;
  if (mode == SortMode::kFullPath) return CompareByFullPath(a, b);
  const bool aFolder = a.kind == ItemKind::kFolder, bFolder = b.kind == ItemKind::kFolder;
  if (aFolder != bFolder) return aFolder ? -1 : 1;
  if (aFolder && a.IsDriveRoot() != b.IsDriveRoot()) return a.IsDriveRoot() ? -1 : 1;
  switch (mode) {
    case SortMode::kName: return CompareFileNames(a.Name(), b.Name());
    case SortMode::kFileSize: return Order(a.fileSize, b.fileSize);
    case SortMode::kFileDate: return Order(a.lastWriteTime, b.lastWriteTime);
    case SortMode::kImageSize: {
      const bool aImage = a.kind == ItemKind::kImage, bImage = b.kind == ItemKind::kImage;
      if (aImage != bImage) return aImage ? -1 : 1;
      if (!aImage) return CompareFileNames(a.Name(), b.Name());
      if (int c = Order(uint64_t{a.width} * a.height, uint64_t{b.width} * b.height)) return c;
      return Order(a.bitsPerPixel, b.bitsPerPixel);
    }
    default: return 0;
  }
}

void SortIndexItems(IndexItemList& items, SortMode mode) {
  if (mode == SortMode::kNone) return;
  const bool sub = std::any_of(items.begin(), items.end(), [](const auto& i) { return i->subfolderItem; });
  std::stable_sort(items.begin(), items.end(), [mode, sub](const auto& a, const auto& b) {
    return CompareIndexItems(*a, *b, mode, sub) < 0;
  });
}

}  // namespace vt
