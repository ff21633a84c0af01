#include "render/orientation.h"

#include <algorithm>
#include <cstring>

#include "image/image_buffer.h"

namespace vt {

namespace {

struct Point64 {
  int64_t x = 0, y = 0;
};

// The source pixel that lands on pixel (x, y) of the turned and mirrored image
// of a w x h source. t counts counter-clockwise quarter turns: one moves the
// source's top-right corner to the top-left.
Point64 SourceOf(uint32_t t, bool v, bool h, int64_t w, int64_t hgt, int64_t x, int64_t y) {
  const int64_t tw = (t & 1) ? hgt : w, th = (t & 1) ? w : hgt;
  if (h) x = tw - 1 - x;
  if (v) y = th - 1 - y;
  switch (t & 3) {
    case 1: return {w - 1 - y, x};
    case 2: return {w - 1 - x, hgt - 1 - y};
    case 3: return {y, hgt - 1 - x};
    default: return {x, y};
  }
}

struct Pixel16 {
  uint8_t b[16];
};

// Copies in square tiles, so that the column reads of a quarter turn stay in
// the cache for the whole tile instead of missing on every pixel.
template <class P>
void CopyMapped(ImageBuffer* target, const uint8_t* origin, int64_t stepX, int64_t stepY) {
  constexpr uint32_t kTile = 64;
  const uint32_t w = target->Width(), h = target->Height();
  for (uint32_t y0 = 0; y0 < h; y0 += kTile) {
    const uint32_t y1 = std::min(h, y0 + kTile);
    for (uint32_t x0 = 0; x0 < w; x0 += kTile) {
      const uint32_t x1 = std::min(w, x0 + kTile);
      for (uint32_t y = y0; y < y1; ++y) {
        P* d = reinterpret_cast<P*>(target->Row(y)) + x0;
        const uint8_t* s = origin + stepY * int64_t{y} + stepX * int64_t{x0};
        for (uint32_t x = x0; x < x1; ++x, s += stepX) std::memcpy(d++, s, sizeof(P));
      }
    }
  }
}

}  // namespace

uint8_t TurnedOrientation(uint8_t code, uint32_t quarters) {
  return static_cast<uint8_t>((code & ~kQuarterTurnBits & kOrientationBits) |
                              ((code + quarters) & kQuarterTurnBits));
}

uint8_t OrientationFromProperty(std::u16string_view text) {
  static constexpr struct {
    std::u16string_view text;
    uint8_t code;
  } kCodes[] = {
      {u"Unrotated", 0},
      {u"Rotated 90", 1},
      {u"Rotated 180", 2},
      {u"Rotated 270", 3},
      {u"Bottom-Up", kVerticalMirror},
      {u"Rotated 90 & Bottom-Up", 1 | kVerticalMirror},
      {u"Rotated 270 & Bottom-Up", 3 | kVerticalMirror},
      {u"Mirrored", kHorizontalMirror},
  };
  for (const auto& c : kCodes)
    if (c.text == text) return c.code;
  return 0;
}

uint8_t ImageOrientation(ImageBuffer& image) {
  for (ImageBuffer* b : {&image, image.First()})
    if (const std::u16string* text = b->Properties().Get(PropertyId::Orientation))
      return OrientationFromProperty(*text);
  return 0;
}

Status Orient(ImageBuffer* target, ImageBuffer* source, uint8_t code) {
  if (!target || !source || target == source) return status::kInvalidArgument;
  uint32_t t = code & kQuarterTurnBits;
  bool v = (code & kVerticalMirror) != 0, h = (code & kHorizontalMirror) != 0;
  if (v && h) {
    // Both flips are a half turn.
    t = (t + 2) & 3;
    v = h = false;
  }
  const uint32_t w = source->Width(), hgt = source->Height();
  if (t == 0 && !v && !h) {
    const Status s = ConvertInto(target, source, false);
    if (Succeeded(s)) target->SetAlpha(source->Alpha());
    return s;
  }
  const bool swap = (t & 1) != 0;
  if (target->Width() != (swap ? hgt : w) || target->Height() != (swap ? w : hgt))
    return status::kInvalidArgument;

  RefPtr<ImageBuffer> from(source);
  if (source->Format() != target->Format()) {
    from = Convert(source, target->Format(), false, false);
    if (!from) return status::kOutOfMemory;
  }
  if (target->Format() == PixelFormat::Indexed8)
    std::memcpy(target->Palette(), from->Palette(), 256 * sizeof(uint32_t));
  target->SetAlpha(source->Alpha());
  target->Frame() = source->Frame();
  if (w == 0 || hgt == 0) return status::kOk;

  const int64_t bpp = from->BytesPerPixel(), pitch = static_cast<int64_t>(from->Pitch());
  const Point64 o = SourceOf(t, v, h, w, hgt, 0, 0);
  const Point64 ex = SourceOf(t, v, h, w, hgt, 1, 0);
  const Point64 ey = SourceOf(t, v, h, w, hgt, 0, 1);
  const int64_t stepX = (ex.x - o.x) * bpp + (ex.y - o.y) * pitch;
  const int64_t stepY = (ey.x - o.x) * bpp + (ey.y - o.y) * pitch;
  const uint8_t* origin = from->Origin() + o.y * pitch + o.x * bpp;
  switch (bpp) {
    case 1: CopyMapped<uint8_t>(target, origin, stepX, stepY); break;
    case 2: CopyMapped<uint16_t>(target, origin, stepX, stepY); break;
    case 4: CopyMapped<uint32_t>(target, origin, stepX, stepY); break;
    case 8: CopyMapped<uint64_t>(target, origin, stepX, stepY); break;
    case 16: CopyMapped<Pixel16>(target, origin, stepX, stepY); break;
    default: return status::kUnsupportedColourFormat;
  }
  if (target->Format() == PixelFormat::Indexed8) target->PaletteChanged();
  return status::kOk;
}

Status Crop(ImageBuffer* target, ImageBuffer* source, int32_t x, int32_t y) {
  if (!target || !source || target == source || target->Format() != source->Format())
    return status::kInvalidArgument;
  const int64_t w = target->Width(), h = target->Height();
  if (x < 0 || y < 0 || w > source->Width() || h > source->Height() ||
      x + w > int64_t{source->Width()} || y + h > int64_t{source->Height()})
    return status::kInvalidArgument;
  const size_t bytes = static_cast<size_t>(w) * source->BytesPerPixel();
  for (int64_t r = 0; r < h; ++r)
    std::memcpy(target->Row(static_cast<uint32_t>(r)),
                source->Row(static_cast<uint32_t>(y + r)) + static_cast<size_t>(x) * source->BytesPerPixel(),
                bytes);
  if (target->Format() == PixelFormat::Indexed8) {
    std::memcpy(target->Palette(), source->Palette(), 256 * sizeof(uint32_t));
    target->PaletteChanged();
  }
  target->Properties().CopyFrom(source->Properties());
  target->SetAlpha(source->Alpha());
  target->Frame() = source->Frame();
  return status::kOk;
}

}  // namespace vt
