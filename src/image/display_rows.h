#pragma once
#include <cstdint>

#include "image/image_buffer.h"

namespace vt {

// What happens to a Bgra8 image's alpha on its way to 32-bit rows. Grey and
// palette images, and images whose alpha mode is None, come out opaque in
// every mode.
enum class RowAlpha : uint8_t {
  kOpaque,         // alpha 255: the image drawn as if it had no alpha
  kAsStored,       // the alpha bytes as the image holds them, straight or premultiplied
  kPremultiplied,  // colours premultiplied by alpha; straight images are converted
};

// Columns x .. x + count - 1 of row y of an image in a display format (Bgra8,
// Gray8, Indexed8; display or memory buffer) as 32-bit pixels holding blue,
// green, red and alpha in memory order: the layout of a Win32 DIB, of a cairo
// ARGB32 surface on a little-endian machine and of the headless screen. Every
// back end draws display images through this, so that they all show the same
// pixels. Columns and rows outside the image, and images of other formats,
// give opaque black. Whole runs are copied at once: it runs for every paint.
void DisplayRowTo32(ImageBuffer& image, int64_t x, int64_t y, int32_t count, RowAlpha alpha,
                    uint32_t* out);

}  // namespace vt
