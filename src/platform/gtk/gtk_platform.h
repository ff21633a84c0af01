#pragma once
#include <memory>

#include "platform/platform.h"

namespace vt {

// The platform of the Linux desktop program: GTK 3 on its X11 back end. Brings
// GTK up on first use (the X11 back end is forced: the viewer places its own
// windows, which other display protocols do not allow). Null when no X display
// can be opened.
std::unique_ptr<Platform> CreateGtkPlatform(int* argc, char*** argv);

}  // namespace vt
