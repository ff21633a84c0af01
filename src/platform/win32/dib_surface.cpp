#include "platform/win32/dib_surface.h"

#include <cstring>

namespace vt {

namespace {

// The header as the drawing calls take it, with room for the full table.
struct DibInfo {
  BITMAPINFOHEADER header;
  RGBQUAD colours[256];
};
static_assert(sizeof(BITMAPINFOHEADER) == sizeof(DisplayBitmapHeader));

}  // namespace

std::unique_ptr<DibSurface> DibSurface::Create(const DisplayBitmapHeader& header, const uint32_t* colourTable,
                                               size_t bytes) {
  if (header.width <= 0 || header.height >= 0 || header.bitCount == 0) return nullptr;
  const uint64_t rowBytes = ((uint64_t(header.width) * header.bitCount + 31) / 32) * 4;
  if (rowBytes * uint64_t(-int64_t{header.height}) < bytes) return nullptr;

  DibInfo info{};
  std::memcpy(&info.header, &header, sizeof(info.header));
  if (colourTable) std::memcpy(info.colours, colourTable, sizeof(info.colours));

  auto surface = std::unique_ptr<DibSurface>(new DibSurface);
  void* bits = nullptr;
  surface->bitmap_.Reset(CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                          &bits, nullptr, 0));
  if (!surface->bitmap_ || !bits) return nullptr;
  surface->bits_ = static_cast<uint8_t*>(bits);
  surface->bitCount_ = header.bitCount;
  return surface;
}

DibSurface::~DibSurface() {
  // The section leaves its DC before either is deleted.
  if (dc_ && oldBitmap_) SelectObject(dc_->Get(), oldBitmap_);
  dc_.reset();
}

HDC DibSurface::Dc() {
  if (!dc_) {
    auto dc = std::make_unique<MemoryDc>();
    if (!*dc) return nullptr;
    HGDIOBJ old = SelectObject(dc->Get(), bitmap_.Get());
    if (!old || old == HGDI_ERROR) return nullptr;
    oldBitmap_ = old;
    dc_ = std::move(dc);
  }
  return dc_->Get();
}

POINT DibSurface::PlaneOrigin() const { return {static_cast<LONG>(16 * 8 / bitCount_), 1}; }

void DibSurface::ColourTableChanged(const uint32_t* table) {
  if (bitCount_ > 8 || !table) return;
  if (HDC dc = Dc()) SetDIBColorTable(dc, 0, 256, reinterpret_cast<const RGBQUAD*>(table));
}

void DibSurface::PrepareForPresentation(bool layered, uint32_t) {
  layered_ = layered;
  // Ready the DC now, before the first paint needs it.
  Dc();
}

std::unique_ptr<DisplaySurface> CreateDibDisplaySurface(const DisplayBitmapHeader& header,
                                                        const uint32_t* colourTable, size_t bytes) {
  return DibSurface::Create(header, colourTable, bytes);
}

}  // namespace vt
