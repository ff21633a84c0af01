#include "render/render_view.h"

#include <atomic>

#include "image/image_buffer.h"
#include "render/scale.h"
#include "render/view_adjusted_layer.h"
#include "render/view_state.h"

namespace vt {

namespace {

using PF = PixelFormat;

uint32_t DefaultScreenDepth() { return 32; }

std::atomic<ScreenDepthQuery> g_screen_depth{&DefaultScreenDepth};

// The format of the buffer a display image is drawn from.
PF DrawableFormat(const ImageBuffer& image, const ViewFlags& flags) {
  switch (image.Format()) {
    case PF::Indexed8:
      // A palette cannot carry per-pixel transparency to the screen.
      return flags.keepTransparency && image.Alpha() != AlphaMode::None ? PF::Bgra8
                                                                        : PF::Indexed8;
    case PF::Gray8:
    case PF::Gray16:
    case PF::GrayFloat:
      return PF::Gray8;
    default:
      return PF::Bgra8;
  }
}

void FallBackToActualSize(ViewState& view) {
  view.SetZoomFactor(1.0);
  view.SetAspectX(1.0);
}

}  // namespace

void SetScreenDepthQuery(ScreenDepthQuery query) {
  g_screen_depth.store(query ? query : &DefaultScreenDepth);
}

void PrepareDisplaySurface(ImageBuffer& display, bool layered) {
  DisplaySurface* surface = display.Surface();
  if (!surface) return;
  // A layered window is composed over an opaque black background; a normal
  // window paints the plane as it is.
  surface->PrepareForPresentation(layered, layered ? 0xFF000000u : 0u);
}

RefPtr<ImageBuffer> ScaleForDisplay(ImageBuffer* image, uint32_t width, uint32_t height,
                                    const ViewFlags& flags, const CancelFlag* cancel) {
  if (!image) return nullptr;
  // Palette images are scaled in colour: interpolated pixels fall between entries.
  const PF format = image->Format() == PF::Indexed8 ? PF::Bgra8 : image->Format();
  const bool display = flags.displayBuffers && (format == PF::Bgra8 || format == PF::Gray8);
  RefPtr<ImageBuffer> scaled = ImageBuffer::Create(format, width, height, display);
  if (!scaled || Failed(Scale(scaled.get(), image, 0, cancel)) || IsCancelled(cancel))
    return nullptr;
  scaled->SetAlpha(image->Alpha());
  scaled->Frame() = image->Frame();
  return scaled;
}

RenderOutcome RenderView(ViewState& view, const CancelFlag* cancel) {
  if (view.DisplayImage() || !view.CurrentImage()) return RenderOutcome::kNothingToDo;
  if (!view.AdjustedImage()) {
    BuildAdjustedLayer(view, cancel);
    if (IsCancelled(cancel)) return RenderOutcome::kCancelled;
  }
  if (view.ScreenDepth() == 0) view.SetScreenDepth(g_screen_depth.load()());

  const ViewFlags& flags = view.Flags();
  RefPtr<ImageBuffer> image(view.CurrentImage());
  RenderOutcome outcome = RenderOutcome::kRendered;

  if (view.Zoom() != 1.0 || view.AspectX() != 1.0) {
    const uint32_t w = ZoomedWidth(image->Width(), view.Zoom(), view.AspectX());
    const uint32_t h = ZoomedHeight(image->Height(), view.Zoom());
    RefPtr<ImageBuffer> scaled = view.TakeOfferedImage(image.get(), w, h);
    if (!scaled) {
      scaled = ScaleForDisplay(image.get(), w, h, flags, cancel);
      // A scaler stopped by the cancel flag has not failed for lack of memory.
      if (IsCancelled(cancel)) return RenderOutcome::kCancelled;
    }
    if (scaled) {
      image = std::move(scaled);
    } else {
      FallBackToActualSize(view);
      outcome = RenderOutcome::kFellBack;
    }
  } else {
    view.TakeOfferedImage(nullptr, 0, 0);  // an offer for another zoom is stale now
  }
  if (IsCancelled(cancel)) return RenderOutcome::kCancelled;

  if (flags.displayBuffers && !image->IsDisplay()) {
    // Without memory for the drawable copy the window draws from the plain
    // buffer, which is slower but shows the same pixels.
    if (RefPtr<ImageBuffer> drawable = Convert(image.get(), DrawableFormat(*image, flags), true, false))
      image = std::move(drawable);
  }
  view.SetDisplayImage(image);
  PrepareDisplaySurface(*image, flags.frameless);
  return outcome;
}

}  // namespace vt
