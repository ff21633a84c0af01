#pragma once
#include <cstdint>
#include <string_view>

#include "viewer/view_command.h"

namespace vt {

// The name text of a user command (20000..20064), the built-in text that goes
// through the interface dictionary before it is shown; empty for any other
// number.
std::u16string_view ViewCommandName(uint32_t command);

// The name text of an index-window command (22000..22044); empty for the
// numbers only keys reach and for any other number.
std::u16string_view IndexCommandName(uint32_t command);

// Whether this program carries the command's behaviour yet. A user command
// without it is shown as a disabled menu item and answers a key with a beep,
// never silently.
bool IsViewCommandAvailable(uint32_t command);

}  // namespace vt
