#pragma once
#include <cstdint>

#include "base/ref_counted.h"
#include "image/image_buffer.h"
#include "render/adjustments.h"
#include "render/view_window.h"

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

// A scaled image of more pixels than this is rendered part by part, as it is
// shown (one 3840 x 2160 screen; a fitted image is never that large).
inline constexpr uint64_t kWholeDisplayPixels = 3840 * 2160;

// What the window that owns a view wants from rendering.
struct ViewFlags {
  bool displayBuffers = false;    // make the display layer drawable as it is
  bool keepTransparency = false;  // otherwise alpha is flattened onto background
  bool frameless = false;         // presented as a layered window
  uint32_t background = 0xFF000000u;  // window background, blue green red alpha
  uint64_t wholeDisplayPixels = kWholeDisplayPixels;
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
// A display layer of a large zoom is tiled: the scaled image exists only in
// the part around what the window shows (DisplayImage(), placed at
// DisplayOrigin() in the shown image), rendered as it comes into view. The
// shown size, format and alpha are those of the whole scaled image.
//
// Active-transform count: every transformation in force counts one. The
// setters keep it in step; other transformations report their own changes
// through CountTransform.
//
// The adjustment record (colour controls, sharpening, orientation) starts at
// its defaults with the orientation the image's own orientation property
// gives. Its setters keep two counts in step: the colour fields away from
// their defaults, and (in the active-transform count) sharpening and an
// orientation other than 0.
//
// A chain of frames is an animation when a frame after the first has a delay
// of 0 or more, and a sequence of pages when one has the delay -1. An
// animation's composed image is its canvas (frame_step.h composes it); the
// canvas is absent until the first composition.
class ViewState {
 public:
  explicit ViewState(RefPtr<ImageBuffer> source, ViewFlags flags = {});
  ViewState(const ViewState&) = delete;
  ViewState& operator=(const ViewState&) = delete;

  ImageBuffer* SourceImage() const { return source_.get(); }
  bool Animated() const { return animated_; }
  bool Paged() const { return paged_; }
  ImageBuffer* ComposedImage() const { return composed_.get(); }
  ImageBuffer* AdjustedImage() const { return adjusted_.get(); }
  // The display layer; for a tiled one the part rendered last (or nothing yet).
  ImageBuffer* DisplayImage() const { return display_.get(); }
  bool DisplayTiled() const { return tiled_; }
  // Where pixel (0, 0) of DisplayImage() lies in the shown image.
  ViewPoint DisplayOrigin() const { return displayOrigin_; }
  // The image the geometry measures: adjusted, else composed, else source.
  ImageBuffer* CurrentImage() const;
  // The pixels on screen: display, else the current image. Measure the shown
  // image through ShownWidth() and ShownHeight(): a tiled display is larger
  // than its part.
  ImageBuffer* ShownImage() const;
  uint32_t ShownWidth() const;
  uint32_t ShownHeight() const;
  PixelFormat ShownFormat() const;
  AlphaMode ShownAlpha() const;

  // A new source (the next frame) also becomes the composed image; the
  // layers above are dropped.
  void SetSourceImage(RefPtr<ImageBuffer> source);
  // The first frame of the source's chain. The view holds it: a frame links
  // back to the one before it without a reference, so the chain stays whole
  // only while someone holds its start.
  ImageBuffer* FirstFrame() const { return first_.get(); }
  // Whole passes an animation has played through since the view was made.
  uint32_t CompletedPlays() const { return completedPlays_; }
  void CountCompletedPlay() { ++completedPlays_; }
  void SetComposedImage(RefPtr<ImageBuffer> composed);
  // An animation's canvas, and the part of it a frame that restores what was
  // before it saved (savedFor: that frame).
  ImageBuffer* Canvas() const { return canvas_.get(); }
  void SetCanvas(RefPtr<ImageBuffer> canvas) { canvas_ = std::move(canvas); }
  ImageBuffer* SavedRegion(const ImageBuffer* frame) const {
    return savedFor_ == frame ? saved_.get() : nullptr;
  }
  void SetSavedRegion(RefPtr<ImageBuffer> saved, const ImageBuffer* frame) {
    saved_ = std::move(saved);
    savedFor_ = saved_ ? frame : nullptr;
  }
  // Makes frame the source without composing it: the composed layer goes
  // (ComposeFrame makes it again).
  void SetCurrentFrame(ImageBuffer* frame);
  // The layers above are dropped.
  void SetAdjustedImage(RefPtr<ImageBuffer> adjusted);
  // The whole shown image.
  void SetDisplayImage(RefPtr<ImageBuffer> display);
  // A tiled display of width x height in all, drawn from parts of format;
  // none is rendered yet.
  void SetTiledDisplay(uint32_t width, uint32_t height, PixelFormat format);
  // The part of a tiled display rendered last, and its place.
  void SetDisplayPart(RefPtr<ImageBuffer> part, ViewPoint origin);
  void DropDisplayLayer();

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

  // The adjustment record; its setters count as described above and, like the
  // zoom setters, leave dropping the layers to the caller.
  const AdjustmentRecord& Adjustments() const { return adjustments_; }
  // The orientation the image's own property gives.
  uint8_t ImageOrientationCode() const { return imageOrientation_; }
  int32_t ColourAdjustmentCount() const { return colourCount_; }
  void SetColour(const ColourSettings& colour);
  void SetSharpness(float sharpness);
  void SetOrientation(uint8_t code);
  void SetAdjustments(const AdjustmentRecord& record);
  // Colour, sharpening and crop to their defaults, the orientation to the
  // image's own; the zoom and aspect too unless kept.
  void ResetAdjustments(bool keepZoom);

  // Display size of the current image at the present zoom and aspect.
  uint32_t DisplayWidth() const;
  uint32_t DisplayHeight() const;

  ViewFlags& Flags() { return flags_; }
  const ViewFlags& Flags() const { return flags_; }

  // Bits per pixel of the screen, measured on first render (0 = not yet).
  uint32_t ScreenDepth() const { return screenDepth_; }
  void SetScreenDepth(uint32_t bits) { screenDepth_ = bits; }

 private:
  RefPtr<ImageBuffer> first_;
  RefPtr<ImageBuffer> source_;
  RefPtr<ImageBuffer> composed_;
  RefPtr<ImageBuffer> adjusted_;
  RefPtr<ImageBuffer> display_;
  bool tiled_ = false;
  ViewPoint displayOrigin_;
  uint32_t tiledWidth_ = 0;
  uint32_t tiledHeight_ = 0;
  PixelFormat tiledFormat_ = PixelFormat::Bgra8;
  RefPtr<ImageBuffer> offered_;
  const ImageBuffer* offeredFrom_ = nullptr;
  RefPtr<ImageBuffer> canvas_;
  RefPtr<ImageBuffer> saved_;
  const ImageBuffer* savedFor_ = nullptr;
  bool animated_ = false;
  bool paged_ = false;
  AdjustmentRecord adjustments_;
  uint8_t imageOrientation_ = 0;
  int32_t colourCount_ = 0;
  double zoom_ = 1.0;
  double aspectX_ = 1.0;
  CropRect crop_;
  int32_t activeTransforms_ = 0;
  ViewFlags flags_;
  uint32_t screenDepth_ = 0;
  uint32_t completedPlays_ = 0;
};

// Width and height of an image of w x h at zoom and aspect, as rendered: the
// real size plus a half, cut toward zero, and at least one pixel. The geometry
// and the renderer both measure through these so that they always agree.
uint32_t ZoomedWidth(uint32_t w, double zoom, double aspectX);
uint32_t ZoomedHeight(uint32_t h, double zoom);

}  // namespace vt
