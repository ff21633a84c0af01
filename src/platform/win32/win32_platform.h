#pragma once
#include <memory>

#include "platform/platform.h"

namespace vt {

// The platform of the Windows program: user32, gdi32, shell32 and comdlg32.
std::unique_ptr<Platform> CreateWin32Platform(uintptr_t instance);

}  // namespace vt
