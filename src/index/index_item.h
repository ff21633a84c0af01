#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/ref_counted.h"
#include "image/image_buffer.h"
#include "render/view_window.h"

namespace vt {

struct PixelSurface;

// What an index cell shows.
enum class ItemKind : uint8_t {
  kUnexamined = 0,  // a file not opened yet
  kFolder = 1,      // a folder or a drive
  kImage = 2,
  kScript = 3,      // a slideshow script (".vts")
  kOther = 4,       // a file that is not an image
};

// The index's sort orders, as the settings store them.
enum class SortMode : uint8_t { kNone = 0, kName = 1, kImageSize = 2, kFileSize = 3, kFileDate = 4, kFullPath = 5 };

// The longest path an item keeps, counting its terminating NUL; a longer one
// is shown as an error text instead.
inline constexpr size_t kMaxItemPath = 260;
inline constexpr std::u16string_view kPathTooLongText = u"<错误 - 路径太长>";

// One cell of an index window.
struct IndexItem {
  std::u16string path;   // the full path, or the error text
  size_t nameStart = 0;  // where the name begins in path
  ItemKind kind = ItemKind::kUnexamined;
  uint64_t fileSize = 0;
  uint64_t lastWriteTime = 0;  // 100-ns units since 1601 (UTC)
  // The full-size image, once the item is one.
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t bitsPerPixel = 0;
  std::u16string comment;
  RefPtr<ImageBuffer> thumbnail;
  // An icon for items without a thumbnail, once looked up (the window's).
  std::shared_ptr<const PixelSurface> icon;
  bool shortcut = false;    // a ".lnk" file (its target's size and date once resolved)
  std::u16string target;    // a shortcut's target, once resolved
  bool subfolderItem = false;  // added by a recursive scan from below the index's folder
  bool visible = false;
  ViewRect cell;  // the whole cell, spacing included
  bool selected = false;

  std::u16string_view Name() const { return std::u16string_view(path).substr(nameStart); }
  // The folder part: for a folder item its whole path, for a file the path up
  // to its name.
  std::u16string_view FolderPart() const;
  bool IsDriveRoot() const;
};

// The items of an index window in display order.
using IndexItemList = std::vector<std::unique_ptr<IndexItem>>;

// Makes an item for folder (with or without its separator) and name; the
// error text when the path would be too long.
std::unique_ptr<IndexItem> MakeIndexItem(std::u16string_view folder, std::u16string_view name, bool isFolder,
                                         uint64_t size, uint64_t lastWriteTime);

// Whether a name ends in ext (".vts" and the like) in any letter case.
bool HasExtension(std::u16string_view name, std::u16string_view ext);

// Caption texts.
// "%d 字节" below 1024 bytes, "%d.%d KB" below 1,232,896 bytes, "%d.%d MB"
// beyond, with tenths rounded as the index shows them.
std::u16string FileSizeText(uint64_t size);
// "year-mm-dd, hh:mm:ss" of a file time (UTC, as the file system keeps it);
// empty for a time of zero.
std::u16string FileDateText(uint64_t fileTime);
// "%dx%dx%d": width, height and bits per pixel.
std::u16string ResolutionText(uint32_t width, uint32_t height, uint32_t bitsPerPixel);

}  // namespace vt
