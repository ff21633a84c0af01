#pragma once
#include <cstdint>

namespace vt {

// The Windows virtual-key code of a key symbol as the keyboard gives it without
// modifiers (letters in either case give the letter's code); 0 for keys
// without one.
uint32_t VirtualKeyFromKeySymbol(uint32_t keySymbol);

}  // namespace vt
