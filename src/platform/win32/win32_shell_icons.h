#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "platform/pixel_surface.h"

namespace vt {

// The shell's extra-large system icon of a file, folder or drive, straight
// alpha; nothing when the shell has none.
std::optional<PixelSurface> ShellFileIcon(const std::u16string& path);

// The target of a shell link (".lnk"), through the shell link object; any
// thread. Nothing when the file is no link or names no path.
std::optional<std::u16string> ShellLinkTarget(const std::u16string& path);

}  // namespace vt
