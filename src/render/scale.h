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
// Exact reduction by 2, 4, 8 or 16 in both directions.
Status BoxReduce(ImageBuffer* target, ImageBuffer* source, const CancelFlag* cancel);

// Lets the load pipeline decode into buffers of another size through Scale.
// Called once at start-up by every program that links the rendering layer.
void InstallPipelineScaler();

}  // namespace vt
