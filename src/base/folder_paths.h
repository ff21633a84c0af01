#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace vt {

// The drives present (bit 0 = A:), as Windows reports them; 0 elsewhere.
uint32_t LogicalDriveMask();

// True when path names an existing folder (or drive root).
bool IsFolderPath(const std::u16string& path);

// The folder a path lies in, without its trailing separator (a root keeps
// its own: "C:\", "/"); the path itself when it has no separator.
std::u16string ParentFolder(std::u16string_view path);

}  // namespace vt
