#include "viewer/viewer_paint.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "image/image_buffer.h"

namespace vt {

ViewPoint ImageOffset(ViewSize client, ViewSize shown) {
  return {std::max(0, (client.width - shown.width + 1) / 2),
          std::max(0, (client.height - shown.height + 1) / 2)};
}

ViewPoint ClampScroll(ViewPoint scroll, ViewSize client, ViewSize shown) {
  const auto clamp = [](int32_t s, int32_t c, int32_t sh) {
    return sh > c ? std::clamp(s, 0, sh - c) : 0;
  };
  return {clamp(scroll.x, client.width, shown.width), clamp(scroll.y, client.height, shown.height)};
}

namespace {

uint8_t Clamp8(float v) { return v <= 0 ? 0 : v >= 1 ? 255 : static_cast<uint8_t>(v * 255 + 0.5f); }

// A source pixel as blue, green, red, alpha bytes.
uint32_t SamplePixel(ImageBuffer& image, uint32_t x, uint32_t y) {
  const uint8_t* row = image.Row(y);
  switch (image.Format()) {
    case PixelFormat::Bgra8: {
      uint32_t p;
      std::memcpy(&p, row + 4 * size_t{x}, 4);
      return image.Alpha() == AlphaMode::None ? p | 0xFF000000u : p;
    }
    case PixelFormat::Bgra16: {
      uint16_t c[4];
      std::memcpy(c, row + 8 * size_t{x}, 8);
      const uint32_t a = image.Alpha() == AlphaMode::None ? 255 : c[3] >> 8;
      return a << 24 | uint32_t(c[2] >> 8) << 16 | uint32_t(c[1] >> 8) << 8 | (c[0] >> 8);
    }
    case PixelFormat::BgraFloat: {
      float c[4];
      std::memcpy(c, row + 16 * size_t{x}, 16);
      const uint32_t a = image.Alpha() == AlphaMode::None ? 255 : Clamp8(c[3]);
      return a << 24 | uint32_t(Clamp8(c[2])) << 16 | uint32_t(Clamp8(c[1])) << 8 | Clamp8(c[0]);
    }
    case PixelFormat::Gray8: {
      const uint32_t v = row[x];
      return 0xFF000000u | v << 16 | v << 8 | v;
    }
    case PixelFormat::Gray16: {
      uint16_t g;
      std::memcpy(&g, row + 2 * size_t{x}, 2);
      const uint32_t v = g >> 8;
      return 0xFF000000u | v << 16 | v << 8 | v;
    }
    case PixelFormat::GrayFloat: {
      float g;
      std::memcpy(&g, row + 4 * size_t{x}, 4);
      const uint32_t v = Clamp8(g);
      return 0xFF000000u | v << 16 | v << 8 | v;
    }
    case PixelFormat::Indexed8: {
      const uint32_t* palette = image.Palette();
      return palette ? palette[row[x]] : 0;
    }
    default:
      return 0;
  }
}

std::optional<uint32_t> MedianOfOpaque(ImageBuffer& image, const std::array<std::array<uint32_t, 2>, 5>& points) {
  std::array<uint8_t, 5> channel[3];
  size_t kept = 0;
  for (const auto& p : points) {
    const uint32_t c = SamplePixel(image, std::min(p[0], image.Width() - 1), std::min(p[1], image.Height() - 1));
    if ((c >> 24) <= 63) continue;
    for (int ch = 0; ch < 3; ++ch) channel[ch][kept] = static_cast<uint8_t>(c >> (8 * ch));
    ++kept;
  }
  if (kept <= 2) return std::nullopt;
  uint32_t out = 0xFF000000u;
  for (int ch = 0; ch < 3; ++ch) {
    std::sort(channel[ch].begin(), channel[ch].begin() + kept);
    out |= uint32_t{channel[ch][kept / 2]} << (8 * ch);
  }
  return out;
}

}  // namespace

uint32_t SampleBackgroundColour(ImageBuffer& image) {
  const uint32_t w = image.Width(), h = image.Height();
  if (w == 0 || h == 0) return kFallbackBackground;
  const std::array<std::array<uint32_t, 2>, 5> corners = {
      {{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}, {w / 2, h / 2}}};
  if (auto c = MedianOfOpaque(image, corners)) return *c;
  const std::array<std::array<uint32_t, 2>, 5> inner = {
      {{w / 2, h / 4}, {w / 2, 3 * h / 4}, {w / 4, h / 2}, {3 * w / 4, h / 2}, {w / 2, h / 2}}};
  if (auto c = MedianOfOpaque(image, inner)) return *c;
  return kFallbackBackground;
}

std::optional<std::u16string> OverlayText(uint8_t setting, ImageBuffer& image) {
  static constexpr PropertyId kItems[] = {PropertyId::Title,   PropertyId::CreationDate,
                                          PropertyId::Comment, PropertyId::Author,
                                          PropertyId::Page,    PropertyId::GpsGeotag};
  const uint32_t item = setting >> 4;
  if (item == 0 || item > 6) return std::nullopt;
  ImageProperties& props = image.Properties();
  const PropertyId id = kItems[item - 1];
  if (const std::u16string* text = props.Get(id)) return *text;
  if (id == PropertyId::Comment) {
    // Without a comment the longest keyword stands in.
    const std::u16string* longest = nullptr;
    for (int k = static_cast<int>(PropertyId::Keyword1); k <= static_cast<int>(PropertyId::Keyword9); ++k)
      if (const std::u16string* t = props.Get(static_cast<PropertyId>(k)))
        if (!longest || t->size() > longest->size()) longest = t;
    if (longest) return *longest;
  }
  return std::nullopt;
}

std::optional<ViewPoint> OverlayPosition(uint8_t setting, ViewSize text, ViewSize client, int32_t m) {
  // The width limit is twice the client width as the options have always had
  // it: text that long is clipped at the edges rather than dropped.
  if (text.width > 2 * client.width - 4 * m || text.height > client.height / 2 - 2 * m)
    return std::nullopt;
  ViewPoint at;
  switch (setting & 3) {
    case 1: at.x = client.width - 2 * m - text.width; break;
    case 2: at.x = (client.width - text.width) / 2; break;
    default: at.x = 2 * m; break;
  }
  at.y = (setting >> 2 & 3) == 1 ? client.height - m - text.height : m;
  return at;
}

uint64_t NextAnimationDue(uint64_t previousDue, uint64_t now, int32_t delay) {
  const uint64_t step = delay == 0 ? 33 : static_cast<uint64_t>(delay);
  const uint64_t due = (previousDue ? previousDue : now) + step;
  return std::max(due, now + 10);
}

}  // namespace vt
