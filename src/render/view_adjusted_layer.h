#pragma once
#include "base/cancel.h"
#include "base/status.h"

namespace vt {

class ViewState;

// Builds the adjusted layer from the composed image. The steps run in a fixed
// order: alpha flattening (views that do not keep transparency), colour
// adjustments, rotation and mirroring, crop, sharpening. A step that is not in
// force hands its input on, so with none in force the adjusted layer is the
// composed image itself. A failed step leaves the image as it was before it
// (the view still shows something); a cancel leaves the layer absent and
// returns kCancelled.
Status BuildAdjustedLayer(ViewState& view, const CancelFlag* cancel);

}  // namespace vt
