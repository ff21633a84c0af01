// Folder tests of the system, on POSIX systems (no drive letters).
#ifndef _WIN32
#include <sys/stat.h>

#include "base/file_mapping.h"
#include "base/folder_paths.h"

namespace vt {

uint32_t LogicalDriveMask() { return 0; }

bool IsFolderPath(const std::u16string& path) {
  struct stat st;
  return !path.empty() && stat(NativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace vt
#endif
