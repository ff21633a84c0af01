#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "image/image_buffer.h"
#include "platform/win32/gdi_handles.h"

namespace vt {

// A display plane backed by a top-down DIB section, so painting and layered
// presentation read the pixels where the renderer wrote them. The memory DC
// the section is selected into is made on first use: the frames of a long
// animation are display buffers too, and most of them are never drawn from
// while the process has a limited number of GDI handles.
class DibSurface : public DisplaySurface {
 public:
  // Null when the system refuses the section or it would not hold bytes.
  static std::unique_ptr<DibSurface> Create(const DisplayBitmapHeader& header, const uint32_t* colourTable,
                                            size_t bytes);
  ~DibSurface() override;

  uint8_t* Bits() override { return bits_; }
  void ColourTableChanged(const uint32_t* table) override;
  void PrepareForPresentation(bool layered, uint32_t background) override;

  // The memory DC holding the section; null when none could be made.
  HDC Dc();
  // Where the plane's pixel (0, 0) lies in the section: the plane starts one
  // row and 16 bytes into the bits.
  POINT PlaneOrigin() const;
  bool PreparedLayered() const { return layered_; }

 private:
  DibSurface() = default;

  GdiObject<HBITMAP> bitmap_;
  std::unique_ptr<MemoryDc> dc_;
  HGDIOBJ oldBitmap_ = nullptr;
  uint8_t* bits_ = nullptr;
  uint16_t bitCount_ = 0;
  bool layered_ = false;
};

// Display buffers made from now on are DIB sections (the factory of the
// Windows program, installed when its platform starts).
std::unique_ptr<DisplaySurface> CreateDibDisplaySurface(const DisplayBitmapHeader& header,
                                                        const uint32_t* colourTable, size_t bytes);

}  // namespace vt
