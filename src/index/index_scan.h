#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "files/folder_listing.h"
#include "index/index_item.h"

namespace vt {

// Whether a folder path is a drive root ("C:" or "C:\").
bool IsDriveRootFolder(std::u16string_view folder);

// What a scan found.
struct IndexScanResult {
  IndexItemList items;
  bool subfolderItems = false;  // a recursive scan added items from below the folder
  bool listed = false;          // the folder could be listed
};

// The items of a folder in the order the system lists them (the caller sorts):
//  - in a drive root, first a folder item for every other drive in
//    driveMask (bit 0 = A), from Z down to A;
//  - hidden files, ".", and the program's own ".vti" and ".vta" files are
//    left out ("..", hidden folders stay);
//  - an item of `reuse` whose path, size and time are unchanged is moved
//    over with what it learnt (kind, thumbnail), unless it is an image that
//    has lost its thumbnail;
//  - when the folder changes during the walk it is walked again;
//  - recursive: every folder item whose name does not begin with '.' (and is
//    no drive root) is followed at once by the items of that folder (those
//    whose names do not begin with '.'), depth first.
// What was left in reuse was not found again.
IndexScanResult ScanIndexFolder(FolderListingRegistry& registry, std::u16string_view folder,
                                IndexItemList& reuse, bool recursive, uint32_t driveMask);

}  // namespace vt
