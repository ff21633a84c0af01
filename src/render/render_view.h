#pragma once
#include <cstdint>

#include "base/cancel.h"

namespace vt {

class ImageBuffer;
class ViewState;

enum class RenderOutcome : uint8_t {
  kNothingToDo,  // the display layer existed already, or there is no image
  kRendered,     // display layer built at the view's zoom
  kFellBack,     // the scaled image could not be made: zoom and aspect are 1.0 now
  kCancelled,    // stopped on request; the display layer stays absent
};

// Builds the display layer of view if it is absent: the adjusted layer first
// when needed, then scaling to the zoom and aspect, then conversion into a
// buffer that can be drawn as it is. Never fails visibly: when the scaled
// buffer cannot be made the view falls back to zoom 1.0. cancel may be set by
// another thread; it is checked after the adjusted layer and after scaling.
RenderOutcome RenderView(ViewState& view, const CancelFlag* cancel = nullptr);

// Bits per pixel of the screen, asked once per view on its first render. The
// windowing layer installs the real query; without one the screen counts as
// 32 bits deep. Null restores the default.
using ScreenDepthQuery = uint32_t (*)();
void SetScreenDepthQuery(ScreenDepthQuery query);

// Tells the display surface how it will be shown: layered windows take the
// image over an opaque black background, framed windows paint it themselves.
void PrepareDisplaySurface(ImageBuffer& display, bool layered);

}  // namespace vt
