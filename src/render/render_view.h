#pragma once
#include <cstdint>

#include "base/cancel.h"
#include "base/ref_counted.h"
#include "render/view_window.h"

namespace vt {

class ImageBuffer;
class ViewState;
struct ViewFlags;

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
// A scaled image larger than the view's whole-display limit is not made here:
// the display becomes tiled and ShowPart renders what is shown of it.
RenderOutcome RenderView(ViewState& view, const CancelFlag* cancel = nullptr);

// What to draw a rectangle of the shown image from: a buffer, and where its
// pixel (0, 0) lies in the shown image.
struct ShownPart {
  ImageBuffer* image = nullptr;
  ViewPoint origin;
};
// The buffer that holds visible (a rectangle in shown-image pixels). For a
// tiled display that is the part rendered around visible, with a margin for
// panning; a part that already covers it is kept, and of a new one only what
// the old one lacked is scaled. Nothing when the part cannot be made.
ShownPart ShowPart(ViewState& view, const ViewRect& visible);

// The scaling step of rendering on its own: image scaled to width x height in
// the format rendering scales it in (palette images in colour), as a display
// buffer where views of these flags draw from one. Null when it cannot be
// made or cancel was set. Safe on any thread; the read-ahead uses it to offer
// a view its scaled image ahead of time (ViewState::OfferScaledImage).
RefPtr<ImageBuffer> ScaleForDisplay(ImageBuffer* image, uint32_t width, uint32_t height,
                                    const ViewFlags& flags, const CancelFlag* cancel);

// Bits per pixel of the screen, asked once per view on its first render. The
// windowing layer installs the real query; without one the screen counts as
// 32 bits deep. Null restores the default.
using ScreenDepthQuery = uint32_t (*)();
void SetScreenDepthQuery(ScreenDepthQuery query);

// Tells the display surface how it will be shown: layered windows take the
// image over an opaque black background, framed windows paint it themselves.
void PrepareDisplaySurface(ImageBuffer& display, bool layered);

}  // namespace vt
