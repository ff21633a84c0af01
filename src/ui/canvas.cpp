#include "ui/canvas.h"

#include <algorithm>
#include <cmath>

namespace vt {

uint32_t MixColour(uint32_t a, uint32_t b, uint8_t alpha) {
  uint32_t out = 0xFF000000u;
  for (int shift = 0; shift < 24; shift += 8) {
    const uint32_t x = a >> shift & 0xFF, y = b >> shift & 0xFF;
    out |= ((x * (255u - alpha) + y * alpha + 127) / 255) << shift;
  }
  return out;
}

Canvas::Canvas(PixelSurface& surface, TextRenderer& text)
    : surface_(&surface), text_(&text), origin_{0, 0}, clip_(surface.Bounds()) {}

Canvas Canvas::Sub(const ViewRect& r) const {
  const ViewRect moved{r.left + origin_.x, r.top + origin_.y, r.right + origin_.x, r.bottom + origin_.y};
  return Canvas(surface_, text_, {moved.left, moved.top}, Intersect(moved, clip_));
}

ViewRect Canvas::ClipRect() const {
  return {clip_.left - origin_.x, clip_.top - origin_.y, clip_.right - origin_.x, clip_.bottom - origin_.y};
}

ViewRect Canvas::ToSurface(const ViewRect& r) const {
  return Intersect({r.left + origin_.x, r.top + origin_.y, r.right + origin_.x, r.bottom + origin_.y}, clip_);
}

void Canvas::Fill(const ViewRect& rect, uint32_t colour) {
  const ViewRect r = ToSurface(rect);
  for (int32_t y = r.top; y < r.bottom; ++y)
    std::fill(surface_->Row(y) + r.left, surface_->Row(y) + r.right, colour | 0xFF000000u);
}

void Canvas::Blend(const ViewRect& rect, uint32_t colour, uint8_t alpha) {
  const ViewRect r = ToSurface(rect);
  for (int32_t y = r.top; y < r.bottom; ++y) {
    uint32_t* row = surface_->Row(y);
    for (int32_t x = r.left; x < r.right; ++x) row[x] = MixColour(row[x], colour, alpha);
  }
}

void Canvas::Gradient(const ViewRect& rect, uint32_t top, uint32_t bottom) {
  const int32_t h = std::max(rect.Height() - 1, 1);
  for (int32_t y = rect.top; y < rect.bottom; ++y)
    Fill({rect.left, y, rect.right, y + 1},
         MixColour(top, bottom, static_cast<uint8_t>((y - rect.top) * 255 / h)));
}

void Canvas::Frame(const ViewRect& r, uint32_t colour, int32_t t) {
  Fill({r.left, r.top, r.right, r.top + t}, colour);
  Fill({r.left, r.bottom - t, r.right, r.bottom}, colour);
  Fill({r.left, r.top + t, r.left + t, r.bottom - t}, colour);
  Fill({r.right - t, r.top + t, r.right, r.bottom - t}, colour);
}

void Canvas::Plot(int32_t x, int32_t y, uint32_t colour, double coverage) {
  const int32_t sx = x + origin_.x, sy = y + origin_.y;
  if (coverage <= 0 || !Contains(clip_, {sx, sy})) return;
  uint32_t& p = surface_->Row(sy)[sx];
  p = MixColour(p, colour, static_cast<uint8_t>(std::lround(std::min(coverage, 1.0) * 255)));
}

template <class Coverage>
void Canvas::Shade(double left, double top, double right, double bottom, uint32_t colour, Coverage coverage) {
  const int32_t x0 = static_cast<int32_t>(std::floor(left)) - 1, x1 = static_cast<int32_t>(std::ceil(right)) + 1;
  const int32_t y0 = static_cast<int32_t>(std::floor(top)) - 1, y1 = static_cast<int32_t>(std::ceil(bottom)) + 1;
  for (int32_t y = y0; y <= y1; ++y)
    for (int32_t x = x0; x <= x1; ++x) {
      // coverage(): the distance of the pixel centre inside the shape's edge
      // (negative outside); half a pixel either way blends.
      Plot(x, y, colour, coverage(x + 0.5, y + 0.5) + 0.5);
    }
}

void Canvas::Line(double ax, double ay, double bx, double by, double width, uint32_t colour) {
  const double dx = bx - ax, dy = by - ay, length2 = dx * dx + dy * dy;
  const double half = width / 2;
  Shade(std::min(ax, bx) - half, std::min(ay, by) - half, std::max(ax, bx) + half, std::max(ay, by) + half, colour,
        [&](double px, double py) {
          double t = length2 > 0 ? ((px - ax) * dx + (py - ay) * dy) / length2 : 0;
          t = std::clamp(t, 0.0, 1.0);
          const double cx = ax + t * dx - px, cy = ay + t * dy - py;
          return half - std::sqrt(cx * cx + cy * cy);
        });
}

void Canvas::Triangle(double x0, double y0, double x1, double y1, double x2, double y2, uint32_t colour) {
  const double area = (x1 - x0) * (y2 - y0) - (x2 - x0) * (y1 - y0);
  if (area == 0) return;
  const double sign = area > 0 ? 1 : -1;
  auto edge = [&](double ax, double ay, double bx, double by, double px, double py) {
    const double ex = bx - ax, ey = by - ay, len = std::sqrt(ex * ex + ey * ey);
    return sign * (ex * (py - ay) - ey * (px - ax)) / len;
  };
  Shade(std::min({x0, x1, x2}), std::min({y0, y1, y2}), std::max({x0, x1, x2}), std::max({y0, y1, y2}), colour,
        [&](double px, double py) {
          return std::min({edge(x0, y0, x1, y1, px, py), edge(x1, y1, x2, y2, px, py), edge(x2, y2, x0, y0, px, py)});
        });
}

void Canvas::Ellipse(const ViewRect& r, uint32_t colour, double outline) {
  const double cx = (r.left + r.right) / 2.0, cy = (r.top + r.bottom) / 2.0;
  const double rx = r.Width() / 2.0, ry = r.Height() / 2.0;
  if (rx <= 0 || ry <= 0) return;
  Shade(r.left, r.top, r.right, r.bottom, colour, [&](double px, double py) {
    const double nx = (px - cx) / rx, ny = (py - cy) / ry;
    // The distance to the edge, near enough for the small shapes drawn here.
    const double inside = (1 - std::sqrt(nx * nx + ny * ny)) * std::min(rx, ry);
    return outline > 0 ? std::min(inside, outline - inside) : inside;
  });
}

ViewSize Canvas::MeasureText(std::u16string_view text, const FontSpec& font) const {
  return text_->Measure(text, font);
}

void Canvas::Text(std::u16string_view text, ViewPoint at, uint32_t colour, const FontSpec& font) {
  text_->Draw(*surface_, text, {at.x + origin_.x, at.y + origin_.y}, colour, font, clip_);
}

void Canvas::TextIn(std::u16string_view text, const ViewRect& box, uint32_t colour, const FontSpec& font,
                    TextAlign align) {
  const ViewSize size = text_->Measure(text, font);
  int32_t x = box.left;
  if (align == TextAlign::kCentre) x = box.left + (box.Width() - size.width) / 2;
  if (align == TextAlign::kRight) x = box.right - size.width;
  const int32_t y = box.top + (box.Height() - size.height) / 2;
  Canvas inner = Sub(box);
  inner.Text(text, {x - box.left, y - box.top}, colour, font);
}

}  // namespace vt
