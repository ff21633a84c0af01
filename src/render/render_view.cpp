#include "render/render_view.h"

#include <algorithm>
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

// The format of the buffer a display image of a scaled format is drawn from.
PF DrawableFormat(PF scaled) {
  return IsGrayFormat(scaled) ? PF::Gray8 : PF::Bgra8;
}

// The format of the buffer a display image is drawn from.
PF DrawableFormat(const ImageBuffer& image, const ViewFlags& flags) {
  if (image.Format() == PF::Indexed8) {
    // A palette cannot carry per-pixel transparency to the screen.
    return flags.keepTransparency && image.Alpha() != AlphaMode::None ? PF::Bgra8 : PF::Indexed8;
  }
  return DrawableFormat(image.Format());
}

// Palette images are scaled in colour: interpolated pixels fall between entries.
PF ScaledFormat(const ImageBuffer& image) {
  return image.Format() == PF::Indexed8 ? PF::Bgra8 : image.Format();
}

// The format the parts of a tiled display are made in.
PF PartFormat(const ImageBuffer& image, const ViewFlags& flags) {
  return flags.displayBuffers ? DrawableFormat(ScaledFormat(image)) : ScaledFormat(image);
}

// Beyond what a window shows, a part takes a quarter of that on every side
// (at least this much), so that panning a little needs no new part.
constexpr int64_t kMinPartMargin = 64;

struct Rect64 {
  int64_t left = 0, top = 0, right = 0, bottom = 0;
  bool Empty() const { return right <= left || bottom <= top; }
  bool Contains(const Rect64& r) const {
    return r.left >= left && r.top >= top && r.right <= right && r.bottom <= bottom;
  }
};

Rect64 Intersect(const Rect64& a, const Rect64& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

// Scales the rectangle r of the shown image into part, which covers placed of
// the shown image.
bool RenderInto(ImageBuffer* part, const Rect64& placed, ImageBuffer* scaleSource,
                const ViewState& view, const Rect64& r) {
  if (r.Empty()) return true;
  ScaleArea area;
  area.fullWidth = view.ShownWidth();
  area.fullHeight = view.ShownHeight();
  area.x = static_cast<uint32_t>(r.left);
  area.y = static_cast<uint32_t>(r.top);
  area.width = static_cast<uint32_t>(r.right - r.left);
  area.height = static_cast<uint32_t>(r.bottom - r.top);
  const auto tx = static_cast<uint32_t>(r.left - placed.left);
  const auto ty = static_cast<uint32_t>(r.top - placed.top);
  if (part->Format() == scaleSource->Format())
    return Succeeded(ResampleArea(part, tx, ty, scaleSource, area, nullptr));
  // Deep images are scaled in their own precision and then brought down, as
  // a whole display image would be.
  RefPtr<ImageBuffer> scaled = ImageBuffer::Create(scaleSource->Format(), area.width, area.height);
  if (!scaled || Failed(ResampleArea(scaled.get(), 0, 0, scaleSource, area, nullptr))) return false;
  scaled->SetAlpha(scaleSource->Alpha());
  RefPtr<ImageBuffer> drawn = Convert(scaled.get(), part->Format(), false, false);
  return drawn && CopyRect(part, static_cast<int32_t>(tx), static_cast<int32_t>(ty), drawn.get(), 0,
                           0, kToEdge, kToEdge) == status::kOk;
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
  const PF format = ScaledFormat(*image);
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
    if (!scaled && uint64_t{w} * h > flags.wholeDisplayPixels) {
      // Far more than a screen: only what is shown of it is ever scaled.
      view.SetTiledDisplay(w, h, PartFormat(*image, flags));
      return RenderOutcome::kRendered;
    }
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

ShownPart ShowPart(ViewState& view, const ViewRect& visible) {
  if (!view.DisplayTiled()) return {view.ShownImage(), {0, 0}};
  ImageBuffer* last = view.DisplayImage();
  const ViewPoint lastOrigin = view.DisplayOrigin();
  const Rect64 all{0, 0, view.ShownWidth(), view.ShownHeight()};
  const Rect64 wanted = Intersect(all, {visible.left, visible.top, visible.right, visible.bottom});
  Rect64 have;
  if (last)
    have = {lastOrigin.x, lastOrigin.y, lastOrigin.x + int64_t{last->Width()},
            lastOrigin.y + int64_t{last->Height()}};
  if (wanted.Empty() || (last && have.Contains(wanted))) return {last, lastOrigin};

  const int64_t mx = std::max(kMinPartMargin, (wanted.right - wanted.left) / 4);
  const int64_t my = std::max(kMinPartMargin, (wanted.bottom - wanted.top) / 4);
  const Rect64 next =
      Intersect(all, {wanted.left - mx, wanted.top - my, wanted.right + mx, wanted.bottom + my});
  ImageBuffer* current = view.CurrentImage();
  const ViewFlags& flags = view.Flags();
  const PF format = view.ShownFormat();
  RefPtr<ImageBuffer> part =
      ImageBuffer::Create(format, static_cast<uint32_t>(next.right - next.left),
                          static_cast<uint32_t>(next.bottom - next.top),
                          flags.displayBuffers && IsDisplayFormat(format));
  RefPtr<ImageBuffer> scaleSource(current);
  if (current->Format() != ScaledFormat(*current))
    scaleSource = Convert(current, ScaledFormat(*current), false, false);
  if (!part || !scaleSource) return {nullptr, {}};
  part->SetAlpha(current->Alpha());
  part->Frame() = current->Frame();

  // What the last part holds already is copied; the rest, at most four
  // strips around it, is scaled.
  const Rect64 kept = last ? Intersect(have, next) : Rect64{};
  bool ok = true;
  if (kept.Empty()) {
    ok = RenderInto(part.get(), next, scaleSource.get(), view, next);
  } else {
    CopyRect(part.get(), static_cast<int32_t>(kept.left - next.left),
             static_cast<int32_t>(kept.top - next.top), last,
             static_cast<uint32_t>(kept.left - have.left),
             static_cast<uint32_t>(kept.top - have.top),
             static_cast<uint32_t>(kept.right - kept.left),
             static_cast<uint32_t>(kept.bottom - kept.top));
    const Rect64 strips[] = {{next.left, next.top, next.right, kept.top},
                             {next.left, kept.bottom, next.right, next.bottom},
                             {next.left, kept.top, kept.left, kept.bottom},
                             {kept.right, kept.top, next.right, kept.bottom}};
    for (const Rect64& strip : strips)
      ok = ok && RenderInto(part.get(), next, scaleSource.get(), view, strip);
  }
  if (!ok) return {nullptr, {}};
  const ViewPoint origin{static_cast<int32_t>(next.left), static_cast<int32_t>(next.top)};
  PrepareDisplaySurface(*part, flags.frameless);
  view.SetDisplayPart(part, origin);
  return {part.get(), origin};
}

}  // namespace vt
