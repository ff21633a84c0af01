#include "render/view_adjusted_layer.h"

#include <algorithm>
#include <cstdint>

#include "render/adjustments.h"
#include "render/frame_step.h"
#include "render/orientation.h"
#include "render/view_state.h"

namespace vt {

namespace {

using PF = PixelFormat;

// The unsharp mask of the sharpness control: a 5 x 5 blur, and differences
// below 7 levels left alone so that noise is not sharpened with the edges.
constexpr float kSharpenRadius = 2.5f;
constexpr int kSharpenThreshold = 7;

// Composes one straight or premultiplied channel over an opaque background
// channel; max is the channel's full scale.
inline uint64_t OverInteger(uint64_t c, uint64_t a, uint64_t bg, uint64_t max, bool premultiplied) {
  if (premultiplied) return std::min(max, c + (bg * (max - a) + max / 2) / max);
  return (c * a + bg * (max - a) + max / 2) / max;
}

template <class T>
bool FlattenIntegerRows(ImageBuffer* out, ImageBuffer* in, uint32_t background, uint64_t max,
                        bool premultiplied, const CancelFlag* cancel) {
  // The background comes as 8-bit channels; 257 widens 0xFF to 0xFFFF exactly.
  const uint64_t widen = max / 255;
  const uint64_t bg[3] = {(background & 0xFF) * widen, (background >> 8 & 0xFF) * widen,
                          (background >> 16 & 0xFF) * widen};
  for (uint32_t y = 0; y < in->Height(); ++y) {
    if (IsCancelled(cancel)) return false;
    const T* s = reinterpret_cast<const T*>(in->Row(y));
    T* d = reinterpret_cast<T*>(out->Row(y));
    for (uint32_t x = 0; x < in->Width(); ++x, s += 4, d += 4) {
      const uint64_t a = s[3];
      for (int c = 0; c < 3; ++c) d[c] = static_cast<T>(OverInteger(s[c], a, bg[c], max, premultiplied));
      d[3] = static_cast<T>(max);
    }
  }
  return true;
}

bool FlattenFloatRows(ImageBuffer* out, ImageBuffer* in, uint32_t background, bool premultiplied,
                      const CancelFlag* cancel) {
  const float bg[3] = {(background & 0xFF) / 255.0f, (background >> 8 & 0xFF) / 255.0f,
                       (background >> 16 & 0xFF) / 255.0f};
  for (uint32_t y = 0; y < in->Height(); ++y) {
    if (IsCancelled(cancel)) return false;
    const float* s = reinterpret_cast<const float*>(in->Row(y));
    float* d = reinterpret_cast<float*>(out->Row(y));
    for (uint32_t x = 0; x < in->Width(); ++x, s += 4, d += 4) {
      const float a = std::clamp(s[3], 0.0f, 1.0f);
      for (int c = 0; c < 3; ++c) d[c] = (premultiplied ? s[c] : s[c] * a) + bg[c] * (1.0f - a);
      d[3] = 1.0f;
    }
  }
  return true;
}

// Views that cannot show transparency compose an image with alpha over their
// background colour once, here, instead of on every paint.
RefPtr<ImageBuffer> FlattenAlpha(ViewState& view, RefPtr<ImageBuffer> image,
                                 const CancelFlag* cancel) {
  if (view.Flags().keepTransparency || image->Alpha() == AlphaMode::None) return image;
  const uint32_t background = view.Flags().background;
  const bool premultiplied = image->Alpha() == AlphaMode::Premultiplied;

  if (image->Format() == PF::Indexed8) {
    // Only the palette carries alpha: flatten the colours of a copy.
    RefPtr<ImageBuffer> copy = Convert(image.get(), PF::SameAsSource, false, false);
    if (!copy) return image;
    uint32_t* palette = copy->Palette();
    for (int i = 0; i < 256; ++i) {
      const uint32_t p = palette[i];
      const uint64_t a = p >> 24;
      uint32_t flat = 0xFF000000u;
      for (int c = 0; c < 3; ++c) {
        const uint64_t v = OverInteger(p >> (8 * c) & 0xFF, a, background >> (8 * c) & 0xFF, 255,
                                       premultiplied);
        flat |= static_cast<uint32_t>(v) << (8 * c);
      }
      palette[i] = flat;
    }
    copy->SetAlpha(AlphaMode::None);
    return copy;
  }

  const PF f = image->Format();
  if (f != PF::Bgra8 && f != PF::Bgra16 && f != PF::BgraFloat) return image;
  RefPtr<ImageBuffer> out = ImageBuffer::Create(f, image->Width(), image->Height());
  if (!out) return image;
  bool done = false;
  if (f == PF::Bgra8)
    done = FlattenIntegerRows<uint8_t>(out.get(), image.get(), background, 0xFF, premultiplied,
                                       cancel);
  else if (f == PF::Bgra16)
    done = FlattenIntegerRows<uint16_t>(out.get(), image.get(), background, 0xFFFF, premultiplied,
                                        cancel);
  else
    done = FlattenFloatRows(out.get(), image.get(), background, premultiplied, cancel);
  if (!done) return image;
  out->Frame() = image->Frame();
  out->SetAlpha(AlphaMode::None);
  return out;
}

// A buffer for the result of a step over image, of its format and the given
// size: image itself when nobody else holds it and the step can work in place.
RefPtr<ImageBuffer> StepTarget(const RefPtr<ImageBuffer>& image, PF format, uint32_t w, uint32_t h,
                               bool inPlace) {
  if (inPlace && image->RefCount() == 1 && image->Format() == format && image->Width() == w &&
      image->Height() == h)
    return image;
  return ImageBuffer::Create(format, w, h);
}

RefPtr<ImageBuffer> ApplyColourAdjustments(ViewState& view, RefPtr<ImageBuffer> image,
                                           const CancelFlag*) {
  if (view.ColourAdjustmentCount() <= 0) return image;
  RefPtr<ImageBuffer> out = StepTarget(image, image->Format(), image->Width(), image->Height(), true);
  // Without memory for it the stage is left out.
  if (!out || Failed(ApplyAdjustments(out.get(), image.get(), view.Adjustments().colour))) return image;
  return out;
}

RefPtr<ImageBuffer> ApplyOrientation(ViewState& view, RefPtr<ImageBuffer> image, const CancelFlag*) {
  const uint8_t code = view.Adjustments().orientation;
  if (code == 0) return image;
  const bool swap = SwapsSides(code);
  RefPtr<ImageBuffer> out = ImageBuffer::Create(image->Format(), swap ? image->Height() : image->Width(),
                                                swap ? image->Width() : image->Height());
  if (!out || Failed(Orient(out.get(), image.get(), code))) {
    view.SetOrientation(0);
    return image;
  }
  return out;
}

RefPtr<ImageBuffer> ApplyCrop(ViewState& view, RefPtr<ImageBuffer> image, const CancelFlag*) {
  const CropRect crop = view.Crop();
  if (crop.IsNone()) return image;
  RefPtr<ImageBuffer> out;
  // A rectangle that does not lie inside the turned image is dropped whole.
  if (crop.width > 0 && crop.height > 0 && crop.x >= 0 && crop.y >= 0 &&
      int64_t{crop.x} + crop.width <= image->Width() && int64_t{crop.y} + crop.height <= image->Height())
    out = ImageBuffer::Create(image->Format(), static_cast<uint32_t>(crop.width),
                              static_cast<uint32_t>(crop.height));
  if (!out || Failed(Crop(out.get(), image.get(), crop.x, crop.y))) {
    view.SetCrop({});
    return image;
  }
  return out;
}

RefPtr<ImageBuffer> ApplySharpening(ViewState& view, RefPtr<ImageBuffer> image, const CancelFlag*) {
  const float amount = view.Adjustments().sharpness;
  if (amount == 0) return image;
  const PF format = image->Format() == PF::Indexed8 ? PF::Bgra8 : image->Format();
  RefPtr<ImageBuffer> out = ImageBuffer::Create(format, image->Width(), image->Height());
  if (!out || Failed(Sharpen(out.get(), image.get(), amount, kSharpenRadius, kSharpenThreshold))) {
    view.SetSharpness(0);
    return image;
  }
  return out;
}

}  // namespace

Status BuildAdjustedLayer(ViewState& view, const CancelFlag* cancel) {
  if (!view.ComposedImage()) ComposeFrame(view, false);
  RefPtr<ImageBuffer> image(view.ComposedImage() ? view.ComposedImage() : view.SourceImage());
  if (!image) return status::kInvalidArgument;
  using Step = RefPtr<ImageBuffer> (*)(ViewState&, RefPtr<ImageBuffer>, const CancelFlag*);
  static constexpr Step kSteps[] = {FlattenAlpha, ApplyColourAdjustments, ApplyOrientation,
                                    ApplyCrop, ApplySharpening};
  for (Step step : kSteps) {
    image = step(view, std::move(image), cancel);
    if (IsCancelled(cancel)) return status::kCancelled;
  }
  view.SetAdjustedImage(std::move(image));
  return status::kOk;
}

}  // namespace vt
