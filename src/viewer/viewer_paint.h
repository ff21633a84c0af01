#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "render/view_window.h"

namespace vt {

class ImageBuffer;

// Where a shown image of size shown sits in a client: centred when smaller,
// else at the origin.
ViewPoint ImageOffset(ViewSize client, ViewSize shown);
// The scroll position kept inside the part of the image that lies outside the client.
ViewPoint ClampScroll(ViewPoint scroll, ViewSize client, ViewSize shown);

// The colour an image suggests for its background (blue, green, red, alpha):
// the median of the opaque corner and centre samples, else of a second set
// further inside, else mid-grey.
uint32_t SampleBackgroundColour(ImageBuffer& image);
inline constexpr uint32_t kFallbackBackground = 0xFF808080u;

// The text of an overlay setting byte for image; nothing when the item is
// off or the image has no such property.
std::optional<std::u16string> OverlayText(uint8_t setting, ImageBuffer& image);
// Where an overlay of textSize goes in a client (setting bits 0-1 horizontal,
// 2-3 vertical); nothing when it is too large to be drawn. margin is three
// quarters of the dialog base unit.
std::optional<ViewPoint> OverlayPosition(uint8_t setting, ViewSize textSize, ViewSize client,
                                         int32_t margin);

// Animation timing: the next frame's due tick. A delay of 0 means 33 ms; due
// times accumulate from the previous one, never sooner than now + 10 ms.
uint64_t NextAnimationDue(uint64_t previousDue, uint64_t now, int32_t delay);

}  // namespace vt
