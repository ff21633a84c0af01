#pragma once
#include <cstdint>

#include "base/cancel.h"
#include "base/status.h"

namespace vt {

class ImageBuffer;

// Fills target (already created at the wanted size) from source: power-of-two
// box reduction, then a 4-tap cubic filter. mode must be 0 or 3.
Status Scale(ImageBuffer* target, ImageBuffer* source, int mode, const CancelFlag* cancel);
// The core resampler for two buffers of the same format.
Status Resample(ImageBuffer* target, ImageBuffer* source, const CancelFlag* cancel);

// A part of an image scaled to fullWidth x fullHeight: the rectangle at (x, y)
// of width x height in the scaled image.
struct ScaleArea {
  uint32_t fullWidth = 0;
  uint32_t fullHeight = 0;
  uint32_t x = 0;
  uint32_t y = 0;
  uint32_t width = 0;
  uint32_t height = 0;
};
// Resample for a part only: fills width x height pixels of target from (tx, ty)
// with exactly what Resample into a whole fullWidth x fullHeight buffer would
// hold at the area, at about the cost of the part (the scaled image as a whole
// is never made). Same format required.
Status ResampleArea(ImageBuffer* target, uint32_t tx, uint32_t ty, ImageBuffer* source,
                    const ScaleArea& area, const CancelFlag* cancel);
// Exact reduction by 2, 4, 8 or 16 in both directions.
Status BoxReduce(ImageBuffer* target, ImageBuffer* source, const CancelFlag* cancel);

// Lets the load pipeline decode into buffers of another size through Scale.
// Called once at start-up by every program that links the rendering layer.
void InstallPipelineScaler();

}  // namespace vt
