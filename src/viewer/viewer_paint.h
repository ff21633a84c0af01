#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "base/ref_counted.h"
#include "render/view_window.h"

namespace vt {

class ImageBuffer;

// Where a shown image of size shown sits in a client: centred when smaller,
// else at the origin.
ViewPoint ImageOffset(ViewSize client, ViewSize shown);
// The scroll position kept inside the part of the image that lies outside the client.
ViewPoint ClampScroll(ViewPoint scroll, ViewSize client, ViewSize shown);

// The colour an image suggests for its background (blue, green, red; alpha
// 255): the median of its corners and centre, each sample counting by its
// alpha. Nothing when less than three samples' worth of them can be seen: the
// window's own background is used then. Samples further inside an image with
// transparent corners would take the colour of what it shows, and a picture
// in one colour would vanish against it.
std::optional<uint32_t> SampleBackgroundColour(ImageBuffer& image);

// The visible part of an image with transparency laid over a checkerboard:
// an opaque display buffer of size whose pixel (0, 0) is pixel from of image.
// The squares, square pixels wide, are counted from the shown image's corner;
// phase is where pixel (0, 0) of the result lies in the shown image. Nothing
// for images that are not Bgra8 or when memory runs out.
RefPtr<ImageBuffer> OverCheckerboard(ImageBuffer& image, ViewPoint from, ViewSize size,
                                     ViewPoint phase, int32_t square);
inline constexpr uint32_t kCheckerLight = 0xFFFFFFFFu;
inline constexpr uint32_t kCheckerDark = 0xFFCCCCCCu;

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
