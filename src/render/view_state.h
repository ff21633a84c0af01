#pragma once
#include <cstdint>

#include "base/ref_counted.h"
#include "image/image_buffer.h"

namespace vt {

// Crop in pixels of the rotated image; all four zero means no crop.
struct CropRect {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  bool IsNone() const { return x == 0 && y == 0 && width == 0 && height == 0; }
  friend bool operator==(const CropRect&, const CropRect&) = default;
};

// What the window that owns a view wants from rendering.
struct ViewFlags {
  bool displayBuffers = false;    // make the display layer drawable as it is
  bool keepTransparency = false;  // otherwise alpha is flattened onto background
  bool frameless = false;         // presented as a layered window
  uint32_t background = 0xFF000000u;  // window background, blue green red alpha
};

// One image window's view of its image: the chain of layers from the decoded
// image to the bitmap on screen, and the zoom, aspect and crop that lead from
// one to the next.
//
// Layers: source (as decoded; the current frame), composed (the frame on its
// animation canvas, else the source), adjusted (composed after flattening,
// colour adjustments, orientation, crop and sharpening; absent until built)
// and display (adjusted scaled to the zoom and made drawable). Each layer
// holds its own reference, so dropping a layer that is the same object as the
// one below it never frees the lower one.
//
// Active-transform count: every transformation in force counts one. The
// setters keep it in step; other transformations report their own changes
// through CountTransform.
class ViewState {
 public:
  explicit ViewState(RefPtr<ImageBuffer> source, ViewFlags flags = {});
  ViewState(const ViewState&) = delete;
  ViewState& operator=(const ViewState&) = delete;

  ImageBuffer* SourceImage() const { return source_.get(); }
  ImageBuffer* ComposedImage() const { return composed_.get(); }
  ImageBuffer* AdjustedImage() const { return adjusted_.get(); }
  ImageBuffer* DisplayImage() const { return display_.get(); }
  // The image the geometry measures: adjusted, else composed, else source.
  ImageBuffer* CurrentImage() const;
  // The image on screen: display, else the current image.
  ImageBuffer* ShownImage() const;

  // A new source (the next frame) also becomes the composed image; the
  // layers above are dropped.
  void SetSourceImage(RefPtr<ImageBuffer> source);
  void SetComposedImage(RefPtr<ImageBuffer> composed);
  // The layers above are dropped.
  void SetAdjustedImage(RefPtr<ImageBuffer> adjusted);
  void SetDisplayImage(RefPtr<ImageBuffer> display);
  void DropDisplayLayer() { display_.reset(); }

  // A scaled image made ahead of time (by the read-ahead, on another thread)
  // from image `from`. The next render uses it instead of scaling when it needs
  // exactly that image at exactly that size; any render takes the offer away.
  void OfferScaledImage(RefPtr<ImageBuffer> scaled, const ImageBuffer* from) {
    offered_ = std::move(scaled);
    offeredFrom_ = from;
  }
  RefPtr<ImageBuffer> TakeOfferedImage(const ImageBuffer* from, uint32_t width, uint32_t height) {
    RefPtr<ImageBuffer> offer = std::move(offered_);
    const ImageBuffer* offerFrom = offeredFrom_;
    offeredFrom_ = nullptr;
    if (!offer || offerFrom != from || offer->Width() != width || offer->Height() != height)
      return nullptr;
    return offer;
  }
  // The display layer is made from the adjusted one, so it goes too.
  void DropAdjustedLayer();

  double Zoom() const { return zoom_; }
  double AspectX() const { return aspectX_; }
  const CropRect& Crop() const { return crop_; }
  int32_t ActiveTransforms() const { return activeTransforms_; }
  // These only store the value and count it; the caller drops and rebuilds
  // the layers that depend on it.
  void SetZoomFactor(double zoom);
  void SetAspectX(double aspectX);
  void SetCrop(const CropRect& crop);
  // For transformations kept elsewhere: was it in force before the change,
  // is it now.
  void CountTransform(bool wasActive, bool isActive);

  // Display size of the current image at the present zoom and aspect.
  uint32_t DisplayWidth() const;
  uint32_t DisplayHeight() const;

  ViewFlags& Flags() { return flags_; }
  const ViewFlags& Flags() const { return flags_; }

  // Bits per pixel of the screen, measured on first render (0 = not yet).
  uint32_t ScreenDepth() const { return screenDepth_; }
  void SetScreenDepth(uint32_t bits) { screenDepth_ = bits; }

 private:
  RefPtr<ImageBuffer> source_;
  RefPtr<ImageBuffer> composed_;
  RefPtr<ImageBuffer> adjusted_;
  RefPtr<ImageBuffer> display_;
  RefPtr<ImageBuffer> offered_;
  const ImageBuffer* offeredFrom_ = nullptr;
  double zoom_ = 1.0;
  double aspectX_ = 1.0;
  CropRect crop_;
  int32_t activeTransforms_ = 0;
  ViewFlags flags_;
  uint32_t screenDepth_ = 0;
};

// Width and height of an image of w x h at zoom and aspect, as rendered: the
// real size plus a half, cut toward zero, and at least one pixel. The geometry
// and the renderer both measure through these so that they always agree.
uint32_t ZoomedWidth(uint32_t w, double zoom, double aspectX);
uint32_t ZoomedHeight(uint32_t h, double zoom);

}  // namespace vt
