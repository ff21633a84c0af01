#pragma once
#include <memory>

#include "platform/platform.h"

namespace vt {

// The platform of the Linux desktop program: GTK 3 on its X11 back end. Brings
// GTK up on first use (the X11 back end is forced: the viewer places its own
// windows, which other display protocols do not allow). Null when no X display
// can be opened.
std::unique_ptr<Platform> CreateGtkPlatform(int* argc, char*** argv);

// Readies the process for the toolkit; first thing in main, before any other
// thread runs (it sets the locale and the environment): the locale's
// character set becomes UTF-8 when the user's cannot hold the program's texts.
void PrepareGtkStart();

// Whether an instance of the program serves this user on the display the
// environment names: a start that will hand its command line over. Needs no
// toolkit.
bool GtkInstanceRunning();

}  // namespace vt
