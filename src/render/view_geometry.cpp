#include "render/view_geometry.h"

#include <algorithm>
#include <cmath>

#include "formats/meta/resolution.h"
#include "image/image_buffer.h"
#include "render/render_view.h"
#include "render/view_state.h"

namespace vt {

namespace {

// Sizes, positions and offsets are rounded by adding a half and cutting toward
// zero, and kept inside the 32-bit range the window system works in.
int32_t Round32(double v) {
  const double r = std::trunc(v + 0.5);
  if (!(r > INT32_MIN)) return INT32_MIN;  // also NaN
  if (r > INT32_MAX) return INT32_MAX;
  return static_cast<int32_t>(r);
}

int32_t Trunc32(float v) {
  if (!(v > static_cast<float>(INT32_MIN))) return INT32_MIN;
  if (v >= static_cast<float>(INT32_MAX)) return INT32_MAX;
  return static_cast<int32_t>(v);
}

int32_t Clamp32(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

class GeometryChange {
 public:
  explicit GeometryChange(ViewWindow& window) : window_(window) { window_.BeginGeometryChange(); }
  ~GeometryChange() { window_.EndGeometryChange(); }
  GeometryChange(const GeometryChange&) = delete;
  GeometryChange& operator=(const GeometryChange&) = delete;

 private:
  ViewWindow& window_;
};

class BusyCursor {
 public:
  BusyCursor(ViewWindow& window, bool busy) : window_(window), busy_(busy) {
    if (busy_) window_.SetBusy(true);
  }
  ~BusyCursor() {
    if (busy_) window_.SetBusy(false);
  }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;

 private:
  ViewWindow& window_;
  bool busy_;
};

ImageBuffer* CurrentImageOf(ViewWindow& window) {
  ViewState* view = window.View();
  return view ? view->CurrentImage() : nullptr;
}

// Stores a new zoom and rebuilds the display layer; returns how the render went.
RenderOutcome ApplyZoom(ViewState& view, double zoom) {
  view.SetZoomFactor(zoom);
  view.DropDisplayLayer();
  return RenderView(view);
}

ViewSize ShownSize(const ViewState& view) {
  return {Clamp32(view.ShownWidth()), Clamp32(view.ShownHeight())};
}

}  // namespace

ViewRect LayoutArea(const ViewWindow& window) {
  return window.IsMaximized() || window.IsTopmost() ? window.MonitorRect()
                                                    : window.MonitorWorkArea();
}

void SetZoom(ViewWindow& window, double z) {
  ViewState* view = window.View();
  ImageBuffer* image = CurrentImageOf(window);
  if (!image || z == view->Zoom() || !std::isfinite(z)) return;

  // Doubles throughout: a wild factor must be refused or clamped, never
  // overflow an integer.
  const double w = std::trunc(static_cast<double>(image->Width()) * z + 0.5);
  const double h = std::trunc(static_cast<double>(image->Height()) * z + 0.5);
  if (!(w >= kMinZoomedSide && h >= kMinZoomedSide)) return;

  const double bytesPerPixel = image->Format() == PixelFormat::Indexed8 ? 1.0 : 4.0;
  BusyCursor busy(window, w * h * bytesPerPixel >= static_cast<double>(kBusyZoomBytes));

  const ViewRect area = LayoutArea(window);
  const bool wasLarger = window.ImageLargerThanScreen();
  window.SetImageLargerThanScreen(w > area.Width() || h > area.Height());

  // The image point under the client centre, to put back there afterwards.
  const ViewSize client = window.ClientSize();
  const ViewPoint origin = window.ClientOrigin();
  const ViewPoint scroll = window.Scroll();
  const double oldZoom = view->Zoom();
  const int32_t cx = Round32((client.width / 2 + static_cast<double>(scroll.x)) / oldZoom);
  const int32_t cy = Round32((client.height / 2 + static_cast<double>(scroll.y)) / oldZoom);

  if (ApplyZoom(*view, z) == RenderOutcome::kFellBack && 1.0 < z) {
    // The zoomed image could not be made; go back to what was shown.
    window.ShowNotAllowedCursor(true);
    if (view->Zoom() != oldZoom) ApplyZoom(*view, oldZoom);
    window.ShowNotAllowedCursor(false);
    if (view->Zoom() == oldZoom) {
      window.SetImageLargerThanScreen(wasLarger);
      return;
    }
  }

  ViewSize newClient = client;
  ViewPoint newOrigin = origin;
  if (!window.IsMaximized() && !window.IsFrozen()) {
    const ViewSize shown = ShownSize(*view);
    newClient = {std::min(shown.width, area.Width()), std::min(shown.height, area.Height())};
    const int64_t centreX = int64_t{origin.x} + client.width / 2;
    const int64_t centreY = int64_t{origin.y} + client.height / 2;
    newOrigin = {Clamp32(centreX - newClient.width / 2), Clamp32(centreY - newClient.height / 2)};
  }

  // The zoom actually in force: a render that fell back shows the image at 1.0,
  // and the centre must be found in that image, not in the one refused.
  const double zoom = view->Zoom();
  window.SetScroll({Clamp32(int64_t{Round32(cx * zoom)} - newClient.width / 2),
                    Clamp32(int64_t{Round32(cy * zoom)} - newClient.height / 2)});
  {
    GeometryChange change(window);
    window.PlaceClient(newOrigin, newClient);
  }
  window.UpdateTitle();
  window.UpdateCursor();
}

void FitImageToWindow(ViewWindow& window, bool allowResize, bool fill,
                      std::optional<ViewPoint> position, std::optional<ViewSize> size) {
  ViewState* view = window.View();
  ImageBuffer* image = CurrentImageOf(window);
  if (!image || image->Width() == 0 || image->Height() == 0) return;
  GeometryChange change(window);

  const ViewSize target = size ? *size : window.ClientSize();
  const double iw = image->Width(), ih = image->Height();
  double zoom;
  if (target.width <= 0 || target.height <= 0) {
    // A minimized window has no client area to fit into.
    zoom = 1.0 / iw;
  } else {
    const double tw = target.width, th = target.height;
    if (iw / ih < tw / th)  // the image is relatively taller than the target
      zoom = fill ? tw / iw : th / ih;
    else
      zoom = fill ? th / ih : tw / iw;
  }
  if (zoom != view->Zoom()) ApplyZoom(*view, zoom);

  if (allowResize && !window.IsFrozen() && !window.IsMaximized()) {
    FitWindowToImage(window, true);
  } else if (position || size) {
    const ViewSize clientSize = size ? *size : window.ClientSize();
    if (window.IsFrameless()) {
      window.Present(position, clientSize);
    } else {
      const FrameMetrics m = window.Frame();
      int64_t width = int64_t{clientSize.width} + 2 * int64_t{m.borderWidth};
      const int64_t height =
          int64_t{clientSize.height} + m.captionHeight + 2 * int64_t{m.borderHeight};
      std::optional<ViewPoint> topLeft;
      if (position)
        topLeft = ViewPoint{Clamp32(int64_t{position->x} - m.borderWidth),
                            Clamp32(int64_t{position->y} - m.borderHeight - m.captionHeight)};
      if (width < m.minWindowWidth) {
        // The client grows with the window; half the growth goes to the left so
        // the image stays where it was.
        const int64_t grow = m.minWindowWidth - width;
        width = m.minWindowWidth;
        if (topLeft) topLeft->x = Clamp32(topLeft->x - (grow + 1) / 2);
      }
      window.PlaceWindow(topLeft, {Clamp32(width), Clamp32(height)});
    }
  } else {
    window.Refresh();
  }
  window.UpdateTitle();
  window.SetImageLargerThanScreen(false);
}

void FitWindowToImage(ViewWindow& window, bool centreOnClient) {
  ViewState* view = window.View();
  if (!CurrentImageOf(window)) return;
  if (window.IsMaximized()) window.RestoreFromFullScreen();

  const ViewRect area = LayoutArea(window);
  const ViewPoint origin = window.ClientOrigin();
  const ViewSize client = window.ClientSize();
  ViewPoint anchor = origin;
  if (window.IsCentredPlacement()) {
    anchor = centreOnClient
                 ? ViewPoint{Clamp32(int64_t{origin.x} + client.width / 2),
                             Clamp32(int64_t{origin.y} + client.height / 2)}
                 : ViewPoint{area.left + area.Width() / 2, area.top + area.Height() / 2};
  }

  const ViewSize shown = ShownSize(*view);
  int64_t w = shown.width, h = shown.height;
  const FrameMetrics m = window.Frame();
  const bool framed = window.AlwaysFramed();
  int64_t availW = area.Width(), availH = area.Height();
  if (framed) {
    availW -= 2 * int64_t{m.borderWidth};
    availH -= 2 * int64_t{m.borderHeight} + m.captionHeight;
  }

  // Too large for the area: shrink the window, and the image with it when the
  // user has not chosen a zoom larger than the screen.
  const bool mayRefit = window.AutoFitImage() && !window.ImageLargerThanScreen();
  bool refit = false;
  if (h > availH) {
    if (mayRefit) {
      refit = true;
      w = Round32(static_cast<double>(availH) * static_cast<double>(w) / static_cast<double>(h));
    }
    h = availH;
  }
  if (w > availW) {
    if (mayRefit) {
      refit = true;
      h = Round32(static_cast<double>(availW) * static_cast<double>(h) / static_cast<double>(w));
    }
    w = availW;
  }

  int64_t left = anchor.x, top = anchor.y;
  if (window.IsCentredPlacement()) {
    left -= w / 2;
    top -= h / 2;
  }
  // Only a window that would lie wholly outside the area is pulled back; one
  // that overlaps it partly stays where the user put it. Right and bottom edges
  // are exclusive: a window ending exactly at the area's left edge shows none
  // of itself inside.
  if (left >= area.left + availW) left = area.left + availW - w;
  if (left + w <= area.left) left = area.left;
  if (top >= area.top + availH) top = area.top + availH - h;
  if (top + h <= area.top) top = area.top;
  if (framed && !centreOnClient) top += m.captionHeight / 2;

  const ViewPoint topLeft{Clamp32(left), Clamp32(top)};
  const ViewSize size{Clamp32(w), Clamp32(h)};
  if (refit) {
    FitImageToWindow(window, false, false, topLeft, size);
  } else {
    GeometryChange change(window);
    window.PlaceClient(topLeft, size);
  }
}

void RestoreOriginalSize(ViewWindow& window) {
  ViewState* view = window.View();
  if (!view) return;
  // Automatic fitting would undo the 1:1 view as soon as the window is sized.
  const bool autoFit = window.AutoFitImage();
  window.SetAutoFitImage(false);
  if (view->Zoom() != 1.0) ApplyZoom(*view, 1.0);
  window.SetScroll({0, 0});
  if (!window.IsMaximized() && !window.IsFrozen())
    FitWindowToImage(window, true);
  else
    window.Refresh();
  window.UpdateTitle();
  window.SetAutoFitImage(autoFit);
}

void TrimImageToWindow(ViewWindow& window) {
  ViewState* view = window.View();
  if (!CurrentImageOf(window)) return;
  const ViewSize shown = ShownSize(*view);
  const ViewSize client = window.ClientSize();
  const bool wider = shown.width > client.width;
  const bool taller = shown.height > client.height;
  if (!wider && !taller) return;

  const ViewPoint scroll = window.Scroll();
  const int32_t dx = wider ? scroll.x : 0;
  const int32_t dy = taller ? scroll.y : 0;
  const int32_t vw = wider ? client.width : shown.width;
  const int32_t vh = taller ? client.height : shown.height;
  window.SetScroll({0, 0});

  // Display pixels back to image pixels in single precision, cut toward zero.
  // Widths are also stretched by the aspect factor, so they shrink by it too.
  const float fx = 1.0f / static_cast<float>(view->Zoom() * view->AspectX());
  const float fy = 1.0f / static_cast<float>(view->Zoom());
  CropRect crop = view->Crop();
  crop.x = Clamp32(int64_t{crop.x} + Trunc32(static_cast<float>(dx) * fx));
  crop.y = Clamp32(int64_t{crop.y} + Trunc32(static_cast<float>(dy) * fy));
  // A sliver thinner than one image pixel still keeps that pixel.
  crop.width = std::max(1, Trunc32(static_cast<float>(vw) * fx));
  crop.height = std::max(1, Trunc32(static_cast<float>(vh) * fy));
  view->SetCrop(crop);
  view->DropAdjustedLayer();
  RenderView(*view);
  window.UpdateTitle();
  window.Refresh();
}

std::optional<double> PrintSizeZoom(ImageBuffer& image, uint32_t monitorDpi) {
  // Frames further down a chain may leave the properties to the first one.
  ImageBuffer* holders[] = {&image, image.First()};
  for (ImageBuffer* holder : holders) {
    const std::u16string* text = holder ? holder->Properties().Get(PropertyId::PixelDensity) : nullptr;
    if (!text) continue;
    const std::optional<Resolution> r = ParseResolution(*text, ResolutionUnit::PerInch);
    if (!r || r->x <= 0) return std::nullopt;
    return static_cast<double>(monitorDpi) / r->x;
  }
  return std::nullopt;
}

void ZoomToPrintSize(ViewWindow& window) {
  ViewState* view = window.View();
  if (!view || !view->SourceImage()) return;
  if (const std::optional<double> z = PrintSizeZoom(*view->SourceImage(), window.MonitorDpi()))
    SetZoom(window, *z);
}

std::optional<double> PresetZoom(ZoomCommand command) {
  switch (command) {
    case ZoomCommand::kZoom12: return 0.125;
    case ZoomCommand::kZoom25: return 0.25;
    case ZoomCommand::kZoom50: return 0.5;
    case ZoomCommand::kZoom75: return 0.75;
    case ZoomCommand::kZoom100: return 1.0;
    case ZoomCommand::kZoom150: return 1.5;
    case ZoomCommand::kZoom200: return 2.0;
    case ZoomCommand::kZoom400: return 4.0;
    case ZoomCommand::kZoom800: return 8.0;
    default: return std::nullopt;
  }
}

bool RunZoomCommand(ViewWindow& window, uint32_t command) {
  const auto c = static_cast<ZoomCommand>(command);
  if (const std::optional<double> preset = PresetZoom(c)) {
    SetZoom(window, *preset);
    return true;
  }
  ViewState* view = window.View();
  switch (c) {
    case ZoomCommand::kFitImageToWindow: FitImageToWindow(window, true, false); return true;
    case ZoomCommand::kFitWindowToImage: FitWindowToImage(window, true); return true;
    case ZoomCommand::kRestoreOriginalSize: RestoreOriginalSize(window); return true;
    case ZoomCommand::kTrimImageToWindow: TrimImageToWindow(window); return true;
    case ZoomCommand::kZoomIn:
      if (view) SetZoom(window, view->Zoom() * kZoomStepIn);
      return true;
    case ZoomCommand::kZoomOut:
      if (view) SetZoom(window, view->Zoom() * kZoomStepOut);
      return true;
    case ZoomCommand::kZoomPrintSize: ZoomToPrintSize(window); return true;
    default: return false;
  }
}

}  // namespace vt
