#include "viewer/read_ahead_render.h"

#include <algorithm>
#include <cmath>

#include "render/render_view.h"
#include "render/scale.h"
#include "render/view_geometry.h"

namespace vt {

namespace {

using PF = PixelFormat;

// The geometry's rounding: add a half, cut toward zero, stay in 32 bits.
int32_t Round32(double v) {
  const double r = std::trunc(v + 0.5);
  if (!(r > INT32_MIN)) return INT32_MIN;
  if (r > INT32_MAX) return INT32_MAX;
  return static_cast<int32_t>(r);
}

int32_t Clamp32(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

}  // namespace

FitRoom FitRoomOf(const ViewWindow& window) {
  const ViewRect room = ClientRoom(window);
  return {room.Width(), room.Height(), window.AutoFitImage()};
}

std::optional<ShrinkFit> ShrinkToRoom(uint32_t width, uint32_t height, const FitRoom& room) {
  if (!room.mayShrink || width == 0 || height == 0) return std::nullopt;
  int64_t w = width, h = height;
  bool shrunk = false;
  if (h > room.height) {
    shrunk = true;
    w = Round32(static_cast<double>(room.height) * static_cast<double>(w) / static_cast<double>(h));
    h = room.height;
  }
  if (w > room.width) {
    shrunk = true;
    h = Round32(static_cast<double>(room.width) * static_cast<double>(h) / static_cast<double>(w));
    w = room.width;
  }
  if (!shrunk) return std::nullopt;
  ShrinkFit fit;
  fit.client = {Clamp32(w), Clamp32(h)};
  const double iw = width, ih = height;
  if (fit.client.width <= 0 || fit.client.height <= 0) {
    fit.zoom = 1.0 / iw;
  } else {
    const double tw = fit.client.width, th = fit.client.height;
    fit.zoom = iw / ih < tw / th ? th / ih : tw / iw;
  }
  return fit;
}

RefPtr<ImageBuffer> FitRenderHint::Prepare(ImageBuffer* image, const CancelFlag* cancel) const {
  // Animations are shown on their canvas, and a flattened image is not the
  // decoded one: both leave the scaling to the window.
  if (!image || image->Next() || image->First() != image) return nullptr;
  if (!flags_.keepTransparency && image->Alpha() != AlphaMode::None) return nullptr;
  const std::optional<ShrinkFit> fit = ShrinkToRoom(image->Width(), image->Height(), room_);
  if (!fit) return nullptr;
  return ScaleForDisplay(image, ZoomedWidth(image->Width(), fit->zoom, 1.0),
                         ZoomedHeight(image->Height(), fit->zoom), flags_, cancel);
}

}  // namespace vt
