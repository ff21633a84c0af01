#include "index/index_scan.h"

#include <unordered_map>

#include "base/file_system.h"

namespace vt {

namespace {

// A recursive index stops growing here: folders that lead back into
// themselves (links) would otherwise multiply without end.
constexpr size_t kMaxRecursiveItems = 200000;
constexpr int kMaxDepth = 64;
constexpr int kMaxRewalks = 8;

bool SkippedName(std::u16string_view name, const FolderEntryInfo& info, bool atSystemRoot) {
  if (name == u".") return true;
  if (name == u".." && atSystemRoot) return true;
  if (info.isFolder) return false;
  return info.isHidden || HasExtension(name, u".vti") || HasExtension(name, u".vta");
}

class Scanner {
 public:
  Scanner(FolderListingRegistry& registry, IndexItemList& reuse) : registry_(registry) {
    for (auto& item : reuse) {
      if (!item) continue;
      std::u16string key = item->path;
      pool_.emplace(std::move(key), std::move(item));
    }
    reuse.clear();
  }
  ~Scanner() = default;

  // The items of one folder in listing order, appended to out.
  bool Walk(std::u16string_view folder, IndexItemList* out) {
    const bool systemRoot = folder == u"/";
    for (int attempt = 0; attempt <= kMaxRewalks; ++attempt) {
      RefPtr<FolderListing> listing = registry_.Acquire(folder, false);
      if (!listing) return false;
      IndexItemList found;
      {
        FolderListing::ReadLock lock(*listing);
        FolderEntryInfo info;
        for (const char16_t* name = listing->NextEntry(lock, nullptr, &info); name;
             name = listing->NextEntry(lock, name, &info)) {
          const std::u16string_view n(name, info.nameLength);
          if (SkippedName(n, info, systemRoot)) continue;
          found.push_back(Take(folder, n, info));
        }
      }
      // The folder changed under the walk: this listing is no longer the
      // folder's; what was found goes back to be found again.
      if (!listing->IsValid() && attempt < kMaxRewalks) {
        for (auto& item : found) Return(std::move(item));
        continue;
      }
      for (auto& item : found) out->push_back(std::move(item));
      return true;
    }
    return true;
  }

  std::unique_ptr<IndexItem> Take(std::u16string_view folder, std::u16string_view name, const FolderEntryInfo& info) {
    std::unique_ptr<IndexItem> fresh = MakeIndexItem(folder, name, info.isFolder, info.size, info.lastWriteTime);
    const auto it = pool_.find(fresh->path);
    if (it != pool_.end()) {
      IndexItem& old = *it->second;
      const bool lostThumbnail = old.kind == ItemKind::kImage && !old.thumbnail;
      // A shortcut's size and time became its target's: it is judged by kind.
      const bool same = old.shortcut || (old.fileSize == info.size && old.lastWriteTime == info.lastWriteTime);
      if (same && !lostThumbnail && (old.kind == ItemKind::kFolder) == info.isFolder &&
          fresh->path != kPathTooLongText) {
        std::unique_ptr<IndexItem> item = std::move(it->second);
        pool_.erase(it);
        item->subfolderItem = false;
        return item;
      }
    }
    return fresh;
  }

  void Return(std::unique_ptr<IndexItem> item) {
    if (item->path == kPathTooLongText) return;
    std::u16string key = item->path;
    pool_.emplace(std::move(key), std::move(item));
  }

  void LeaveRest(IndexItemList& reuse) {
    for (auto& [path, item] : pool_) reuse.push_back(std::move(item));
    pool_.clear();
  }

 private:
  FolderListingRegistry& registry_;
  std::unordered_map<std::u16string, std::unique_ptr<IndexItem>> pool_;
};

// Appends level to out, each folder to follow followed at once by its own
// items (depth first).
void Expand(Scanner& scanner, IndexItemList level, IndexItemList* out, int depth, bool* added) {
  for (auto& item : level) {
    const bool follow = item->kind == ItemKind::kFolder && !item->Name().starts_with(u'.') &&
                        !item->IsDriveRoot() && item->path != kPathTooLongText && depth < kMaxDepth;
    const std::u16string path = item->path;
    out->push_back(std::move(item));
    if (!follow || out->size() >= kMaxRecursiveItems) continue;
    IndexItemList found, below;
    scanner.Walk(path, &found);
    for (auto& f : found) {
      if (f->Name().starts_with(u'.')) {
        scanner.Return(std::move(f));
        continue;
      }
      f->subfolderItem = true;
      below.push_back(std::move(f));
    }
    *added = *added || !below.empty();
    Expand(scanner, std::move(below), out, depth + 1, added);
  }
}

}  // namespace

bool IsDriveRootFolder(std::u16string_view folder) {
  return (folder.size() == 2 || folder.size() == 3) && folder[1] == u':' &&
         (folder.size() == 2 || IsPathSeparator(folder[2]));
}

IndexScanResult ScanIndexFolder(FolderListingRegistry& registry, std::u16string_view folder, IndexItemList& reuse,
                                bool recursive, uint32_t driveMask) {
  IndexScanResult result;
  Scanner scanner(registry, reuse);
  if (IsDriveRootFolder(folder)) {
    const char16_t own = folder[0] >= u'a' && folder[0] <= u'z' ? char16_t(folder[0] - 32) : folder[0];
    for (int d = 25; d >= 0; --d) {
      const char16_t letter = static_cast<char16_t>(u'A' + d);
      if (!(driveMask >> d & 1) || letter == own) continue;
      const std::u16string root{letter, u':', u'\\'};
      std::unique_ptr<IndexItem> item = MakeIndexItem(u"", root, true, 0, 0);
      item->nameStart = 0;
      result.items.push_back(std::move(item));
    }
  }
  result.listed = scanner.Walk(folder, &result.items);

  if (recursive) {
    IndexItemList top = std::move(result.items);
    result.items.clear();
    Expand(scanner, std::move(top), &result.items, 0, &result.subfolderItems);
  }
  scanner.LeaveRest(reuse);
  return result;
}

}  // namespace vt
