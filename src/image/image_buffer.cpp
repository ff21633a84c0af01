#include "image/image_buffer.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

#include "image/plane_memory.h"

namespace vt {

namespace {

// Planes above this size are refused outright: no real image needs them, and an
// allocation this large from a damaged header must fail cleanly, not abort.
constexpr uint64_t kMaxPlaneBytes = uint64_t{1} << 36;

class MemorySurface : public DisplaySurface {
 public:
  MemorySurface(void* bits, size_t bytes) : bits_(bits), bytes_(bytes) {}
  ~MemorySurface() override { FreePlane(bits_, bytes_); }
  uint8_t* Bits() override { return static_cast<uint8_t*>(bits_); }

 private:
  void* bits_;
  size_t bytes_;
};

std::unique_ptr<DisplaySurface> DefaultSurfaceFactory(const DisplayBitmapHeader&, const uint32_t*,
                                                      size_t bytes) {
  void* bits = AllocatePlane(bytes);
  if (!bits) return nullptr;
  return std::make_unique<MemorySurface>(bits, bytes);
}

std::atomic<DisplaySurfaceFactory> g_surface_factory{&DefaultSurfaceFactory};

constexpr uint32_t GrayRampEntry(uint32_t i) { return i | i << 8 | i << 16 | 0xFF000000u; }

void SetIndexedDefaults(uint32_t* palette) {
  palette[253] = 0x00000000u;  // transparent black
  palette[254] = 0xFFFFFFFFu;  // opaque white
  palette[255] = 0xFF000000u;  // opaque black
}

}  // namespace

void SetDisplaySurfaceFactory(DisplaySurfaceFactory factory) {
  g_surface_factory.store(factory ? factory : &DefaultSurfaceFactory);
}

ConversionOptions& GlobalConversionOptions() {
  static ConversionOptions options;
  return options;
}

RefPtr<ImageBuffer> ImageBuffer::Create(PixelFormat format, uint32_t width, uint32_t height,
                                        bool display, uint32_t minStride, uint32_t minRows) {
  if (!IsStorageFormat(format)) return nullptr;
  if (display && !IsDisplayFormat(format)) return nullptr;
  const uint64_t bpp = vt::BytesPerPixel(format);
  uint64_t pitch = std::max<uint64_t>(uint64_t{width} * bpp + 32, minStride);
  pitch = (pitch + 15) & ~uint64_t{15};
  uint64_t rows = display ? std::max<uint64_t>(height, minRows) + 2
                          : std::max<uint64_t>(uint64_t{height} + 1, minRows);
  if (pitch > kMaxPlaneBytes || rows > kMaxPlaneBytes / pitch) return nullptr;
  const uint64_t planeBytes = pitch * rows;
  if (display && pitch / bpp > INT32_MAX) return nullptr;

  RefPtr<ImageBuffer> b = RefPtr<ImageBuffer>::Adopt(new (std::nothrow) ImageBuffer());
  if (!b) return nullptr;
  b->width_ = width;
  b->height_ = height;
  b->format_ = format;
  b->pitch_ = static_cast<size_t>(pitch);
  b->rows_ = static_cast<uint32_t>(std::min<uint64_t>(rows, UINT32_MAX));

  if (display) {
    DisplayBitmapHeader& h = b->header_;
    h.width = static_cast<int32_t>(pitch / bpp);
    h.height = -static_cast<int32_t>(std::min<uint64_t>(rows, INT32_MAX));
    h.bitCount = static_cast<uint16_t>(bpp * 8);
    if (format == PixelFormat::Gray8) b->SetGrayRampTable();
    if (format == PixelFormat::Indexed8) SetIndexedDefaults(b->colourTable_);
    b->surface_ = g_surface_factory.load()(h, b->colourTable_, static_cast<size_t>(planeBytes));
    if (!b->surface_ || !b->surface_->Bits()) return nullptr;
    b->origin_ = b->surface_->Bits() + pitch + 16;
  } else {
    b->memoryBytes_ = static_cast<size_t>(planeBytes + 32);
    b->memory_ = AllocatePlane(b->memoryBytes_);
    if (!b->memory_) return nullptr;
    b->origin_ = static_cast<uint8_t*>(b->memory_) + 16;
    if (format == PixelFormat::Indexed8) {
      b->palette_.reset(new (std::nothrow) uint32_t[256]());
      if (!b->palette_) return nullptr;
      SetIndexedDefaults(b->palette_.get());
    }
  }
  return b;
}

ImageBuffer::~ImageBuffer() {
  // Releasing the chain iteratively keeps a long animation from recursing once
  // per frame when its first frame goes.
  RefPtr<ImageBuffer> next = std::move(next_);
  while (next) {
    next->previous_ = nullptr;
    if (next->RefCount() != 1) break;  // someone else keeps the rest alive
    RefPtr<ImageBuffer> after = std::move(next->next_);
    next = std::move(after);
  }
  if (memory_) FreePlane(memory_, memoryBytes_);
}

PlaneView ImageBuffer::View(PixelFormat f) {
  if (f != format_ || !origin_) return {};
  PlaneView v;
  v.origin = origin_;
  v.width = width_;
  v.height = height_;
  v.pitch = pitch_;
  v.stride = Stride();
  if (f == PixelFormat::Indexed8) v.palette = Palette();
  return v;
}

uint32_t* ImageBuffer::Palette() {
  if (format_ != PixelFormat::Indexed8) return nullptr;
  return surface_ ? colourTable_ : palette_.get();
}

const uint32_t* ImageBuffer::ColourTable() const { return surface_ ? colourTable_ : nullptr; }

void ImageBuffer::PaletteChanged() {
  if (surface_ && format_ == PixelFormat::Indexed8) surface_->ColourTableChanged(colourTable_);
}

void ImageBuffer::SetGrayRampTable() {
  for (uint32_t i = 0; i < 256; ++i) colourTable_[i] = GrayRampEntry(i);
}

void ImageBuffer::SwitchFormat(PixelFormat to) {
  if (to == PixelFormat::Indexed8) {
    if (!surface_) {
      palette_.reset(new (std::nothrow) uint32_t[256]);
      if (!palette_) return;
      for (uint32_t i = 0; i < 256; ++i) palette_[i] = GrayRampEntry(i);
    }
    // A display buffer keeps its colour table, which already is the grey ramp.
  } else {
    if (surface_) {
      SetGrayRampTable();
      surface_->ColourTableChanged(colourTable_);
    } else {
      palette_.reset();
    }
  }
  format_ = to;
}

void ImageBuffer::PropagateSwitch(PixelFormat from, PixelFormat to) {
  // Display frames of one chain share how they are drawn, so they switch together.
  for (ImageBuffer* p = previous_; p && p->surface_ && p->format_ == from; p = p->previous_)
    p->SwitchFormat(to);
  for (ImageBuffer* n = next_.get(); n && n->surface_ && n->format_ == from; n = n->next_.get())
    n->SwitchFormat(to);
}

bool ImageBuffer::MakePalette() {
  if (format_ != PixelFormat::Gray8) return false;
  SwitchFormat(PixelFormat::Indexed8);
  if (format_ != PixelFormat::Indexed8) return false;
  if (surface_) PropagateSwitch(PixelFormat::Gray8, PixelFormat::Indexed8);
  return true;
}

bool ImageBuffer::DropPalette() {
  if (format_ != PixelFormat::Indexed8) return false;
  SwitchFormat(PixelFormat::Gray8);
  if (surface_) PropagateSwitch(PixelFormat::Indexed8, PixelFormat::Gray8);
  return true;
}

ImageBuffer* ImageBuffer::First() {
  ImageBuffer* f = this;
  while (f->previous_) f = f->previous_;
  return f;
}

void ImageBuffer::SetNext(RefPtr<ImageBuffer> next) {
  // A frame moved from another chain leaves it first, so that the frame it left
  // does not later clear the back link that now belongs to this chain.
  if (next && next->previous_ && next->previous_ != this) next->previous_->DetachNext();
  if (next_) next_->previous_ = nullptr;
  next_ = std::move(next);
  if (next_) next_->previous_ = this;
}

RefPtr<ImageBuffer> ImageBuffer::DetachNext() {
  if (next_) next_->previous_ = nullptr;
  return std::move(next_);
}

uint32_t ImageBuffer::ChainLength() const {
  uint32_t n = 1;
  for (const ImageBuffer* p = next_.get(); p; p = p->next_.get()) ++n;
  return n;
}

}  // namespace vt
