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

// One colour channel of a sample with straight alpha.
uint8_t Straight(uint32_t c, int ch, bool premultiplied) {
  const uint32_t v = c >> (8 * ch) & 0xFF, a = c >> 24;
  if (!premultiplied || a == 0 || a == 255) return static_cast<uint8_t>(v);
  return static_cast<uint8_t>(std::min<uint32_t>(255, (v * 255 + a / 2) / a));
}

}  // namespace

std::optional<uint32_t> SampleBackgroundColour(ImageBuffer& image) {
  const uint32_t w = image.Width(), h = image.Height();
  if (w == 0 || h == 0) return std::nullopt;
  const uint32_t points[5][2] = {{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}, {w / 2, h / 2}};
  const bool premultiplied = image.Alpha() == AlphaMode::Premultiplied;
  struct Sample {
    uint8_t value;
    uint32_t weight;
  };
  std::array<Sample, 5> channel[3];
  size_t kept = 0;
  uint32_t total = 0;
  for (const auto& p : points) {
    const uint32_t c = SamplePixel(image, p[0], p[1]);
    const uint32_t alpha = c >> 24;
    if (alpha == 0) continue;  // the colour of an unseen pixel means nothing
    for (int ch = 0; ch < 3; ++ch) channel[ch][kept] = {Straight(c, ch, premultiplied), alpha};
    total += alpha;
    ++kept;
  }
  if (total <= 2 * 255) return std::nullopt;
  // Per channel the weighted median: the first value past half the weight
  // (with equal weights the element at count / 2).
  uint32_t out = 0xFF000000u;
  for (int ch = 0; ch < 3; ++ch) {
    auto begin = channel[ch].begin(), end = begin + static_cast<ptrdiff_t>(kept);
    std::sort(begin, end, [](const Sample& a, const Sample& b) { return a.value < b.value; });
    uint32_t sum = 0;
    for (auto s = begin; s != end; ++s) {
      sum += s->weight;
      if (2 * sum > total) {
        out |= uint32_t{s->value} << (8 * ch);
        break;
      }
    }
  }
  return out;
}

RefPtr<ImageBuffer> OverCheckerboard(ImageBuffer& image, ViewPoint from, ViewSize size,
                                     ViewPoint phase, int32_t square) {
  if (image.Format() != PixelFormat::Bgra8 || size.width <= 0 || size.height <= 0 || square <= 0)
    return nullptr;
  RefPtr<ImageBuffer> out =
      ImageBuffer::Create(PixelFormat::Bgra8, static_cast<uint32_t>(size.width),
                          static_cast<uint32_t>(size.height), true);
  if (!out) return nullptr;
  const bool premultiplied = image.Alpha() == AlphaMode::Premultiplied;
  for (int32_t y = 0; y < size.height; ++y) {
    const uint8_t* src = image.Row(static_cast<uint32_t>(from.y + y)) + 4 * size_t(from.x);
    uint8_t* dst = out->Row(static_cast<uint32_t>(y));
    const int64_t row = (int64_t{phase.y} + y) / square;
    for (int32_t x = 0; x < size.width; ++x, src += 4, dst += 4) {
      const bool dark = (((int64_t{phase.x} + x) / square + row) & 1) != 0;
      const uint32_t k = (dark ? kCheckerDark : kCheckerLight) & 0xFF;  // a grey: one channel
      const uint32_t a = src[3];
      for (int ch = 0; ch < 3; ++ch) {
        const uint32_t under = (k * (255 - a) + 127) / 255;
        dst[ch] = static_cast<uint8_t>(premultiplied ? std::min<uint32_t>(255, src[ch] + under)
                                                     : (src[ch] * a + k * (255 - a) + 127) / 255);
      }
      dst[3] = 255;
    }
  }
  return out;
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
