#include "base/folder_paths.h"

#include "base/file_mapping.h"
#include "base/file_system.h"

namespace vt {

std::u16string ParentFolder(std::u16string_view path) {
  size_t end = path.size();
  while (end > 1 && IsPathSeparator(path[end - 1])) --end;  // "a/b/" is "a/b"
  size_t cut = end;
  while (cut > 0 && !IsPathSeparator(path[cut - 1])) --cut;
  if (cut == 0) return std::u16string(path.substr(0, end));
  // Keep the separator of a root: "/", "C:\", "\\".
  size_t keep = cut - 1;
  while (keep > 0 && IsPathSeparator(path[keep - 1])) --keep;
  if (keep == 0 || (keep == 2 && path[1] == u':')) return std::u16string(path.substr(0, cut));
  return std::u16string(path.substr(0, keep));
}

}  // namespace vt
