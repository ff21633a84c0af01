#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "platform/pixel_surface.h"

namespace vt {

// The icon theme's picture of a file's type (guessed from its name and
// first bytes) or of a folder, about size pixels square, straight alpha.
std::optional<PixelSurface> GtkFileIcon(const std::u16string& path, bool folder, int32_t size);

}  // namespace vt
