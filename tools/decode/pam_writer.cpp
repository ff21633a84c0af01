#include "pam_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "base/text.h"

#ifdef _WIN32
#include <stdio.h>
#include <wchar.h>
#endif

namespace vt {

namespace {

// Samples are gathered as 16-bit values and stored with the layout's width.
struct RowWriter {
  std::unique_ptr<uint8_t[]> bytes;
  bool wide = false;
  size_t at = 0;
  void Put(uint32_t v) {
    if (wide) {
      bytes[at++] = static_cast<uint8_t>(v >> 8);  // PAM samples above 255 are big-endian
      bytes[at++] = static_cast<uint8_t>(v);
    } else {
      bytes[at++] = static_cast<uint8_t>(v);
    }
  }
};

// Straight colour from premultiplied colour c under alpha a (both 0..max).
uint32_t Unpremultiply(uint32_t c, uint32_t a, uint32_t max) {
  if (a == 0) return 0;
  if (a >= max) return std::min(c, max);
  const uint64_t v = (uint64_t{c} * max + a / 2) / a;
  return static_cast<uint32_t>(std::min<uint64_t>(v, max));
}

uint32_t FloatSample(float v) {
  if (!(v > 0.0f)) return 0;  // also catches not-a-number
  if (v >= 1.0f) return 65535;
  return static_cast<uint32_t>(v * 65535.0f + 0.5f);
}

float LoadFloat(const uint8_t* p) {
  float f;
  std::memcpy(&f, p, sizeof f);
  return f;
}

uint16_t LoadU16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Writes one BGRA pixel given in the layout's range.
void PutColour(RowWriter& w, uint32_t b, uint32_t g, uint32_t r, uint32_t a, AlphaMode mode,
               const PamLayout& layout) {
  const uint32_t max = layout.maxval;
  if (mode == AlphaMode::Premultiplied) {
    b = Unpremultiply(b, a, max);
    g = Unpremultiply(g, a, max);
    r = Unpremultiply(r, a, max);
  }
  w.Put(r);
  w.Put(g);
  w.Put(b);
  if (layout.depth == 4) w.Put(mode == AlphaMode::None ? max : a);
}

}  // namespace

PamLayout PamLayoutFor(ImageBuffer* image, bool forceAlpha) {
  PamLayout layout;
  if (!image) return layout;
  const PixelFormat f = image->Format();
  const bool alpha = image->Alpha() != AlphaMode::None || forceAlpha;
  switch (f) {
    case PixelFormat::Gray8:
      return {1, 255, "GRAYSCALE"};
    case PixelFormat::Gray16:
    case PixelFormat::GrayFloat:
      return {1, 65535, "GRAYSCALE"};
    case PixelFormat::Indexed8:
      return {4, 255, "RGB_ALPHA"};
    case PixelFormat::Bgra8:
      return alpha ? PamLayout{4, 255, "RGB_ALPHA"} : PamLayout{3, 255, "RGB"};
    case PixelFormat::Bgra16:
    case PixelFormat::BgraFloat:
      return alpha ? PamLayout{4, 65535, "RGB_ALPHA"} : PamLayout{3, 65535, "RGB"};
    case PixelFormat::SameAsSource:
      break;
  }
  return layout;
}

Status WritePam(ImageBuffer* image, const PamSink& sink, bool forceAlpha) {
  if (!image || !image->Origin() || image->Width() == 0 || image->Height() == 0)
    return status::kInvalidArgument;
  const PamLayout layout = PamLayoutFor(image, forceAlpha);
  if (layout.depth == 0) return status::kInvalidArgument;
  const PixelFormat format = image->Format();
  const uint32_t* palette = image->Palette();
  if (format == PixelFormat::Indexed8 && !palette) return status::kInvalidArgument;
  // Without alpha the fourth byte (or a palette's alpha byte) may hold anything,
  // so a forced alpha channel is written opaque.
  const AlphaMode mode = image->Alpha();

  const std::string header = "P7\nWIDTH " + std::to_string(image->Width()) + "\nHEIGHT " +
                             std::to_string(image->Height()) + "\nDEPTH " +
                             std::to_string(layout.depth) + "\nMAXVAL " +
                             std::to_string(layout.maxval) + "\nTUPLTYPE " + layout.tupleType +
                             "\nENDHDR\n";
  if (!sink(reinterpret_cast<const uint8_t*>(header.data()), header.size()))
    return status::kCannotWriteFile;

  RowWriter w;
  w.wide = layout.maxval > 255;
  const size_t rowBytes = size_t{image->Width()} * layout.depth * (w.wide ? 2 : 1);
  w.bytes.reset(new (std::nothrow) uint8_t[rowBytes]);
  if (!w.bytes) return status::kOutOfMemory;

  for (uint32_t y = 0; y < image->Height(); ++y) {
    const uint8_t* p = image->Row(y);
    w.at = 0;
    for (uint32_t x = 0; x < image->Width(); ++x) {
      switch (format) {
        case PixelFormat::Bgra8: {
          const uint8_t* q = p + size_t{x} * 4;
          PutColour(w, q[0], q[1], q[2], q[3], mode, layout);
          break;
        }
        case PixelFormat::Bgra16: {
          const uint8_t* q = p + size_t{x} * 8;
          PutColour(w, LoadU16(q), LoadU16(q + 2), LoadU16(q + 4), LoadU16(q + 6), mode, layout);
          break;
        }
        case PixelFormat::BgraFloat: {
          const uint8_t* q = p + size_t{x} * 16;
          float b = LoadFloat(q), g = LoadFloat(q + 4), r = LoadFloat(q + 8), a = LoadFloat(q + 12);
          // Divide in float so that no precision is lost before rounding.
          if (mode == AlphaMode::Premultiplied) {
            if (a > 0.0f) {
              b /= a;
              g /= a;
              r /= a;
            } else {
              b = g = r = 0.0f;
            }
          }
          PutColour(w, FloatSample(b), FloatSample(g), FloatSample(r), FloatSample(a),
                    mode == AlphaMode::Premultiplied ? AlphaMode::Straight : mode, layout);
          break;
        }
        case PixelFormat::Gray8:
          w.Put(p[x]);
          break;
        case PixelFormat::Gray16:
          w.Put(LoadU16(p + size_t{x} * 2));
          break;
        case PixelFormat::GrayFloat:
          w.Put(FloatSample(LoadFloat(p + size_t{x} * 4)));
          break;
        case PixelFormat::Indexed8: {
          const uint32_t e = palette[p[x]];
          PutColour(w, e & 0xFF, e >> 8 & 0xFF, e >> 16 & 0xFF, e >> 24, mode, layout);
          break;
        }
        case PixelFormat::SameAsSource:
          return status::kInvalidArgument;
      }
    }
    if (!sink(w.bytes.get(), rowBytes)) return status::kCannotWriteFile;
  }
  return status::kOk;
}

Status WritePamFile(ImageBuffer* image, const std::u16string& path, bool forceAlpha) {
#ifdef _WIN32
  const std::wstring native(path.begin(), path.end());
  std::FILE* f = _wfopen(native.c_str(), L"wb");
#else
  const std::string native = Utf16ToUtf8(path);
  std::FILE* f = std::fopen(native.c_str(), "wb");
#endif
  if (!f) return status::kCannotCreateFile;
  Status s = WritePam(
      image, [f](const uint8_t* data, size_t size) { return std::fwrite(data, 1, size, f) == size; },
      forceAlpha);
  if (std::fclose(f) != 0 && Succeeded(s)) s = status::kCannotWriteFile;
  if (Failed(s)) {
#ifdef _WIN32
    _wremove(native.c_str());
#else
    std::remove(native.c_str());
#endif
  }
  return s;
}

}  // namespace vt
