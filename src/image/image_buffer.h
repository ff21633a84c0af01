#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/ref_counted.h"
#include "base/status.h"
#include "image/image_properties.h"
#include "image/pixel_format.h"

namespace vt {

// Describes a plane of one format: what readers and converters work through.
// An empty view (origin null) answers a query for a format the buffer does not have.
struct PlaneView {
  uint8_t* origin = nullptr;  // first pixel of row 0
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t stride = 0;  // pixels from one row to the next
  size_t pitch = 0;     // bytes from one row to the next
  uint32_t* palette = nullptr;  // Indexed8 only: 256 entries, blue green red alpha

  explicit operator bool() const { return origin != nullptr; }
  uint8_t* Row(uint32_t y) const { return origin + y * pitch; }
  template <class T>
  T* RowAs(uint32_t y) const {
    return reinterpret_cast<T*>(origin + y * pitch);
  }
};

// The 40-byte header of a top-down device-independent bitmap that describes a
// display plane, in the layout the Windows drawing calls take.
struct DisplayBitmapHeader {
  uint32_t size = 40;
  int32_t width = 0;   // stride in pixels
  int32_t height = 0;  // minus the allocated row count (top-down)
  uint16_t planes = 1;
  uint16_t bitCount = 0;
  uint32_t compression = 0;
  uint32_t sizeImage = 0;
  int32_t xPelsPerMeter = 0;
  int32_t yPelsPerMeter = 0;
  uint32_t clrUsed = 256;
  uint32_t clrImportant = 0;
};
static_assert(sizeof(DisplayBitmapHeader) == 40);

// The storage behind a display buffer. The core keeps plain aligned memory; the
// Windows viewer installs a factory that backs the plane with a DIB section
// selected into a memory device context, so it can be drawn without a copy.
class DisplaySurface {
 public:
  virtual ~DisplaySurface() = default;
  virtual uint8_t* Bits() = 0;
  // The colour table changed (palette edits, grey/indexed switching).
  virtual void ColourTableChanged(const uint32_t* table) {}
  // How the plane will be shown: for a layered window, with per-pixel alpha over
  // background (blue, green, red, alpha bytes); otherwise painted normally.
  virtual void PrepareForPresentation(bool layered, uint32_t background) {}
};
using DisplaySurfaceFactory = std::unique_ptr<DisplaySurface> (*)(const DisplayBitmapHeader& header,
                                                                  const uint32_t* colourTable,
                                                                  size_t bytes);
// Null restores the default (plain memory).
void SetDisplaySurfaceFactory(DisplaySurfaceFactory factory);

// The decoded image: one plane in one of seven pixel formats, an optional
// palette, the frame description and links, and the text properties. Shared
// between threads through its atomic reference count only.
//
// Plane geometry: pitch = max(width * bpp + 32, minStride) rounded up to 16;
// a memory buffer allocates max(height + 1, minRows) rows and its origin lies
// 16 bytes into the allocation; a display buffer allocates max(height, minRows)
// + 2 rows with its origin one row plus 16 bytes into the bits. Every row has at
// least 16 spare bytes before and after its pixels for vector over-reads.
class ImageBuffer : public RefCounted {
 public:
  // Nothing for formats above 6, for display buffers of formats 1, 2, 4 and 5,
  // for sizes whose plane would overflow, and when memory runs out.
  static RefPtr<ImageBuffer> Create(PixelFormat format, uint32_t width, uint32_t height,
                                    bool display = false, uint32_t minStride = 0,
                                    uint32_t minRows = 0);

  uint32_t Width() const { return width_; }
  uint32_t Height() const { return height_; }
  PixelFormat Format() const { return format_; }
  AlphaMode Alpha() const { return alpha_; }
  void SetAlpha(AlphaMode mode) { alpha_ = mode; }
  bool IsDisplay() const { return surface_ != nullptr; }
  uint32_t BytesPerPixel() const { return vt::BytesPerPixel(format_); }

  uint8_t* Origin() { return origin_; }
  const uint8_t* Origin() const { return origin_; }
  uint32_t Stride() const { return static_cast<uint32_t>(pitch_ / BytesPerPixel()); }
  size_t Pitch() const { return pitch_; }
  uint32_t AllocatedRows() const { return rows_; }
  uint8_t* Row(uint32_t y) { return origin_ + y * pitch_; }
  const uint8_t* Row(uint32_t y) const { return origin_ + y * pitch_; }

  // The plane seen as format f; empty unless f is the buffer's own format.
  PlaneView View(PixelFormat f);

  // Indexed8: the 256-entry palette (for a display buffer, its colour table).
  // Nothing for other formats.
  uint32_t* Palette();
  // Display buffers: the colour table (grey ramp for Gray8); nothing otherwise.
  const uint32_t* ColourTable() const;
  // Tell a display buffer that the Indexed8 palette was edited.
  void PaletteChanged();
  // Gray8 -> Indexed8 in place; a memory buffer gets a grey-ramp palette.
  bool MakePalette();
  // Indexed8 -> Gray8 in place; a display buffer's table returns to the grey ramp.
  bool DropPalette();

  ImageProperties& Properties() { return properties_; }

  FrameDescription& Frame() { return frame_; }
  const FrameDescription& Frame() const { return frame_; }
  ImageBuffer* Next() const { return next_.get(); }
  ImageBuffer* Previous() const { return previous_; }
  ImageBuffer* First();
  // Links next as the following frame (it points back without a reference).
  // A frame already linked is unlinked and released first.
  void SetNext(RefPtr<ImageBuffer> next);
  RefPtr<ImageBuffer> DetachNext();
  uint32_t ChainLength() const;

  DisplaySurface* Surface() { return surface_.get(); }
  const DisplayBitmapHeader* BitmapHeader() const { return surface_ ? &header_ : nullptr; }

  // One further shared object that lives as long as the buffer (for example the
  // reader state a lazily decoded frame still needs).
  void SetSharedReference(RefPtr<RefCounted> ref) { shared_ = std::move(ref); }
  RefCounted* SharedReference() const { return shared_.get(); }

 private:
  ImageBuffer() = default;
  ~ImageBuffer() override;
  void SetGrayRampTable();
  void PropagateSwitch(PixelFormat from, PixelFormat to);
  void SwitchFormat(PixelFormat to);

  uint32_t width_ = 0;
  uint32_t height_ = 0;
  PixelFormat format_ = PixelFormat::Bgra8;
  AlphaMode alpha_ = AlphaMode::None;
  FrameDescription frame_;
  RefPtr<ImageBuffer> next_;
  ImageBuffer* previous_ = nullptr;
  RefPtr<RefCounted> shared_;

  size_t pitch_ = 0;
  uint32_t rows_ = 0;
  uint8_t* origin_ = nullptr;
  void* memory_ = nullptr;  // memory buffer: the aligned allocation
  size_t memoryBytes_ = 0;
  std::unique_ptr<uint32_t[]> palette_;  // memory buffer, Indexed8
  std::unique_ptr<DisplaySurface> surface_;  // display buffer
  DisplayBitmapHeader header_;
  uint32_t colourTable_[256] = {};  // display buffer
  OwnedImageProperties properties_;
};

// Conversion options (process-wide). Dithering is on by default, linear-light
// grey off.
struct ConversionOptions {
  bool dithering = true;
  bool linearLightGray = false;
};
ConversionOptions& GlobalConversionOptions();

// A new buffer of the same size in target (SameAsSource keeps the source's
// format), filled by ConvertInto; nothing on failure. colours: for Indexed8
// targets from colour sources, the most colours the palette may have (2..256).
RefPtr<ImageBuffer> Convert(ImageBuffer* source, PixelFormat target, bool display,
                            bool withChain, uint32_t colours = 256);
// Sizes must match (kInvalidArgument otherwise, target untouched). A next frame
// already linked to target is released first. On success the source's frame
// description is copied; with withChain the source's following frames are
// converted and linked too (a failure there leaves target without next frame).
Status ConvertInto(ImageBuffer* target, ImageBuffer* source, bool withChain,
                   uint32_t colours = 256);
// Copies w x h pixels from (sx, sy) of source to (x, y) of target. kAllBits for
// w or h means up to the source's edge. Returns 1 when nothing is left after
// clipping, kInvalidArgument for a source rectangle outside the source.
inline constexpr uint32_t kToEdge = 0xFFFFFFFFu;
Status CopyRect(ImageBuffer* target, int32_t x, int32_t y, ImageBuffer* source, uint32_t sx,
                uint32_t sy, uint32_t w, uint32_t h);

}  // namespace vt
