#include "ui/menu_icons.h"

#include <algorithm>

namespace vt {

namespace {

// Lines and shapes in the unit square of the box.
class Pen {
 public:
  Pen(Canvas& canvas, const ViewRect& box, uint32_t colour)
      : c_(canvas), x_(box.left), y_(box.top), s_(std::min(box.Width(), box.Height())), colour_(colour),
        width_(std::max(1.0, s_ / 11.0)) {}
  void Line(double ax, double ay, double bx, double by) {
    c_.Line(x_ + ax * s_, y_ + ay * s_, x_ + bx * s_, y_ + by * s_, width_, colour_);
  }
  void Triangle(double ax, double ay, double bx, double by, double cx, double cy) {
    c_.Triangle(x_ + ax * s_, y_ + ay * s_, x_ + bx * s_, y_ + by * s_, x_ + cx * s_, y_ + cy * s_, colour_);
  }
  void Box(double l, double t, double r, double b) {
    Line(l, t, r, t);
    Line(r, t, r, b);
    Line(r, b, l, b);
    Line(l, b, l, t);
  }
  void Ring(double l, double t, double r, double b) {
    c_.Ellipse(Rect(l, t, r, b), colour_, width_);
  }
  void Disc(double l, double t, double r, double b) { c_.Ellipse(Rect(l, t, r, b), colour_); }
  void Fill(double l, double t, double r, double b) { c_.Fill(Rect(l, t, r, b), colour_); }
  void SetColour(uint32_t colour) { colour_ = colour; }

 private:
  ViewRect Rect(double l, double t, double r, double b) const {
    return {static_cast<int32_t>(x_ + l * s_ + 0.5), static_cast<int32_t>(y_ + t * s_ + 0.5),
            static_cast<int32_t>(x_ + r * s_ + 0.5), static_cast<int32_t>(y_ + b * s_ + 0.5)};
  }
  Canvas& c_;
  double x_, y_, s_;
  uint32_t colour_;
  double width_;
};

}  // namespace

void DrawSubmenuArrow(Canvas& canvas, const ViewRect& box, uint32_t colour) {
  const double h = std::max(box.Height() / 3.0, 3.0);
  const double cx = (box.left + box.right) / 2.0, cy = (box.top + box.bottom) / 2.0;
  canvas.Triangle(cx - h / 4, cy - h / 2, cx + h / 4, cy, cx - h / 4, cy + h / 2, colour);
}

void DrawMenuIcon(Canvas& canvas, MenuIcon icon, const ViewRect& box, uint32_t colour, uint32_t accent) {
  Pen p(canvas, box, colour);
  switch (icon) {
    case MenuIcon::kNone: break;
    case MenuIcon::kChecked:
      p.SetColour(accent);
      p.Line(0.15, 0.52, 0.4, 0.78);
      p.Line(0.4, 0.78, 0.86, 0.24);
      break;
    case MenuIcon::kOpen:
      p.Box(0.1, 0.3, 0.9, 0.85);
      p.Line(0.1, 0.3, 0.2, 0.15);
      p.Line(0.2, 0.15, 0.45, 0.15);
      p.Line(0.45, 0.15, 0.52, 0.3);
      break;
    case MenuIcon::kNewWindow:
      p.Box(0.1, 0.2, 0.75, 0.85);
      p.Fill(0.1, 0.2, 0.75, 0.32);
      p.Line(0.78, 0.05, 0.78, 0.35);
      p.Line(0.63, 0.2, 0.93, 0.2);
      break;
    case MenuIcon::kNext:
      p.Triangle(0.3, 0.15, 0.8, 0.5, 0.3, 0.85);
      break;
    case MenuIcon::kPrevious:
      p.Triangle(0.7, 0.15, 0.2, 0.5, 0.7, 0.85);
      break;
    case MenuIcon::kFirst:
      p.Triangle(0.8, 0.15, 0.35, 0.5, 0.8, 0.85);
      p.Fill(0.18, 0.15, 0.3, 0.85);
      break;
    case MenuIcon::kLast:
      p.Triangle(0.2, 0.15, 0.65, 0.5, 0.2, 0.85);
      p.Fill(0.7, 0.15, 0.82, 0.85);
      break;
    case MenuIcon::kZoomIn:
    case MenuIcon::kZoomOut:
      p.Ring(0.08, 0.08, 0.68, 0.68);
      p.Line(0.6, 0.6, 0.9, 0.9);
      p.Line(0.23, 0.38, 0.53, 0.38);
      if (icon == MenuIcon::kZoomIn) p.Line(0.38, 0.23, 0.38, 0.53);
      break;
    case MenuIcon::kFullScreen:
      p.Line(0.1, 0.1, 0.35, 0.1), p.Line(0.1, 0.1, 0.1, 0.35);
      p.Line(0.9, 0.1, 0.65, 0.1), p.Line(0.9, 0.1, 0.9, 0.35);
      p.Line(0.1, 0.9, 0.35, 0.9), p.Line(0.1, 0.9, 0.1, 0.65);
      p.Line(0.9, 0.9, 0.65, 0.9), p.Line(0.9, 0.9, 0.9, 0.65);
      break;
    case MenuIcon::kRestore:
      p.Box(0.1, 0.35, 0.65, 0.9);
      p.Line(0.35, 0.35, 0.35, 0.1), p.Line(0.35, 0.1, 0.9, 0.1);
      p.Line(0.9, 0.1, 0.9, 0.65), p.Line(0.9, 0.65, 0.65, 0.65);
      break;
    case MenuIcon::kClose:
      p.Line(0.2, 0.2, 0.8, 0.8);
      p.Line(0.8, 0.2, 0.2, 0.8);
      break;
    case MenuIcon::kHelp:
      p.Ring(0.05, 0.05, 0.95, 0.95);
      p.Line(0.36, 0.38, 0.5, 0.25), p.Line(0.5, 0.25, 0.64, 0.38);
      p.Line(0.64, 0.38, 0.5, 0.52), p.Line(0.5, 0.52, 0.5, 0.62);
      p.Disc(0.44, 0.7, 0.56, 0.82);
      break;
    case MenuIcon::kFolder:
      p.Box(0.08, 0.3, 0.92, 0.85);
      p.Fill(0.08, 0.18, 0.45, 0.3);
      break;
    case MenuIcon::kReload:
      p.Ring(0.12, 0.12, 0.88, 0.88);
      p.SetColour(accent);
      p.Triangle(0.55, 0.0, 0.85, 0.15, 0.55, 0.3);
      break;
    case MenuIcon::kCapture:
      p.Box(0.08, 0.28, 0.92, 0.85);
      p.Fill(0.3, 0.15, 0.6, 0.28);
      p.Ring(0.33, 0.4, 0.67, 0.74);
      break;
    case MenuIcon::kFreeze:
      p.Line(0.5, 0.05, 0.5, 0.95);
      p.Line(0.11, 0.27, 0.89, 0.73);
      p.Line(0.11, 0.73, 0.89, 0.27);
      break;
    case MenuIcon::kOptions:
      p.Ring(0.2, 0.2, 0.8, 0.8);
      p.Line(0.5, 0.02, 0.5, 0.2), p.Line(0.5, 0.8, 0.5, 0.98);
      p.Line(0.02, 0.5, 0.2, 0.5), p.Line(0.8, 0.5, 0.98, 0.5);
      break;
    case MenuIcon::kSlideshow:
      p.Box(0.05, 0.12, 0.95, 0.72);
      p.Line(0.5, 0.72, 0.3, 0.95), p.Line(0.5, 0.72, 0.7, 0.95);
      p.SetColour(accent);
      p.Triangle(0.4, 0.25, 0.65, 0.42, 0.4, 0.59);
      break;
    case MenuIcon::kCopy:
      p.Box(0.1, 0.1, 0.6, 0.65);
      p.Box(0.4, 0.35, 0.9, 0.9);
      break;
    case MenuIcon::kPaste:
      p.Box(0.15, 0.15, 0.85, 0.92);
      p.Fill(0.35, 0.05, 0.65, 0.22);
      break;
    case MenuIcon::kDelete:
      p.Box(0.22, 0.25, 0.78, 0.92);
      p.Line(0.1, 0.18, 0.9, 0.18);
      p.Line(0.4, 0.38, 0.4, 0.8), p.Line(0.6, 0.38, 0.6, 0.8);
      break;
    case MenuIcon::kRotate:
      p.Ring(0.12, 0.12, 0.88, 0.88);
      p.Triangle(0.05, 0.35, 0.3, 0.35, 0.17, 0.6);
      break;
  }
}

}  // namespace vt
