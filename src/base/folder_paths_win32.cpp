// Folder tests of the system, on Windows.
#ifdef _WIN32
#include <windows.h>

#include "base/folder_paths.h"

namespace vt {

uint32_t LogicalDriveMask() { return GetLogicalDrives(); }

bool IsFolderPath(const std::u16string& path) {
  const DWORD a = GetFileAttributesW(reinterpret_cast<const wchar_t*>(path.c_str()));
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace vt
#endif
