#pragma once
#include <cstdint>
#include <string_view>

#include "platform/pixel_surface.h"
#include "platform/text_renderer.h"

namespace vt {

enum class TextAlign : uint8_t { kLeft, kCentre, kRight };

// Drawing on a toolkit surface through a moving origin and a clip: a control
// paints in its own coordinates and cannot spill over its neighbours.
// Colours are blue, green, red bytes of a little-endian word; the surface
// stays opaque.
class Canvas {
 public:
  Canvas(PixelSurface& surface, TextRenderer& text);

  // The canvas of a rectangle of this one (in this one's coordinates).
  Canvas Sub(const ViewRect& rect) const;
  // The visible part in this canvas's coordinates.
  ViewRect ClipRect() const;
  TextRenderer& Text() const { return *text_; }

  void Fill(const ViewRect& r, uint32_t colour);
  // colour laid over what is there with alpha (0..255).
  void Blend(const ViewRect& r, uint32_t colour, uint8_t alpha);
  // Top colour to bottom colour, row by row.
  void Gradient(const ViewRect& r, uint32_t top, uint32_t bottom);
  // A frame of thickness pixels inside r.
  void Frame(const ViewRect& r, uint32_t colour, int32_t thickness = 1);
  // A line of width pixels from a to b (ends included), its edges smoothed.
  void Line(double ax, double ay, double bx, double by, double width, uint32_t colour);
  // A filled triangle, edges smoothed.
  void Triangle(double x0, double y0, double x1, double y1, double x2, double y2, uint32_t colour);
  // A filled ellipse inside r, or its outline of width pixels.
  void Ellipse(const ViewRect& r, uint32_t colour, double outline = 0);

  ViewSize MeasureText(std::u16string_view text, const FontSpec& font) const;
  void Text(std::u16string_view text, ViewPoint at, uint32_t colour, const FontSpec& font);
  // One line placed in box: aligned horizontally, centred vertically, cut at the box.
  void TextIn(std::u16string_view text, const ViewRect& box, uint32_t colour, const FontSpec& font,
              TextAlign align = TextAlign::kLeft);

 private:
  Canvas(PixelSurface* surface, TextRenderer* text, ViewPoint origin, ViewRect clip)
      : surface_(surface), text_(text), origin_(origin), clip_(clip) {}
  // r moved to the surface and clipped.
  ViewRect ToSurface(const ViewRect& r) const;
  void Plot(int32_t x, int32_t y, uint32_t colour, double coverage);
  // Fills the pixels whose centres' signed coverage inside() reports, with a
  // one-pixel soft edge; bounds in canvas coordinates.
  template <class Coverage>
  void Shade(double left, double top, double right, double bottom, uint32_t colour, Coverage coverage);

  PixelSurface* surface_;
  TextRenderer* text_;
  ViewPoint origin_;  // where this canvas's (0, 0) lies on the surface
  ViewRect clip_;     // surface coordinates
};

// Colour arithmetic on blue, green, red words.
uint32_t MixColour(uint32_t a, uint32_t b, uint8_t alphaOfB);

}  // namespace vt
