#pragma once
// Pixel-density texts: "%d x %d ppi" or "%d x %d ppm", as shown on the property
// page and read back when an image is saved.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vt {

enum class ResolutionUnit : uint8_t { PerMetre = 0, PerInch = 1 };

struct Resolution {
  int32_t x = 0;
  int32_t y = 0;
};

// Parses "<x> [x <y>] ppi|ppm" (blanks allowed between the parts) and converts
// it to the wanted unit. Fails on a missing or zero x, an unknown unit, or a
// value that does not fit after conversion. y takes x's value when absent or 0.
std::optional<Resolution> ParseResolution(std::u16string_view text, ResolutionUnit unit);

// "%d x %d ppm" or "%d x %d ppi".
std::u16string FormatResolution(int32_t x, int32_t y, ResolutionUnit unit);

}  // namespace vt
