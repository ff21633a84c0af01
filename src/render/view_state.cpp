#include "render/view_state.h"

#include <cmath>
#include <utility>

#include "render/orientation.h"

namespace vt {

namespace {

// A display image is never empty: a zoom that rounds a side to nothing (a very
// thin image fitted into a tiny window) still shows one pixel row or column.
uint32_t ClampSide(double v) {
  const double r = std::trunc(v + 0.5);
  if (!(r >= 1.0)) return 1;  // also NaN
  if (r >= static_cast<double>(UINT32_MAX)) return UINT32_MAX;
  return static_cast<uint32_t>(r);
}

}  // namespace

uint32_t ZoomedWidth(uint32_t w, double zoom, double aspectX) {
  return ClampSide(static_cast<double>(w) * aspectX * zoom);
}

uint32_t ZoomedHeight(uint32_t h, double zoom) { return ClampSide(static_cast<double>(h) * zoom); }

ViewState::ViewState(RefPtr<ImageBuffer> source, ViewFlags flags)
    : first_(source ? source->First() : nullptr),
      source_(std::move(source)),
      composed_(source_),
      flags_(flags) {
  if (!first_) return;
  for (const ImageBuffer* f = first_->Next(); f; f = f->Next()) {
    if (f->Frame().delay >= 0)
      animated_ = true;
    else
      paged_ = true;
  }
  // An animation shows its canvas, made on the first render.
  if (animated_) composed_.reset();
  imageOrientation_ = ImageOrientation(*source_);
  SetOrientation(imageOrientation_);
}

ImageBuffer* ViewState::CurrentImage() const {
  if (adjusted_) return adjusted_.get();
  if (composed_) return composed_.get();
  return source_.get();
}

ImageBuffer* ViewState::ShownImage() const {
  return display_ ? display_.get() : CurrentImage();
}

uint32_t ViewState::ShownWidth() const {
  if (tiled_) return tiledWidth_;
  const ImageBuffer* shown = ShownImage();
  return shown ? shown->Width() : 0;
}

uint32_t ViewState::ShownHeight() const {
  if (tiled_) return tiledHeight_;
  const ImageBuffer* shown = ShownImage();
  return shown ? shown->Height() : 0;
}

PixelFormat ViewState::ShownFormat() const {
  if (tiled_) return tiledFormat_;
  const ImageBuffer* shown = ShownImage();
  return shown ? shown->Format() : PixelFormat::Bgra8;
}

AlphaMode ViewState::ShownAlpha() const {
  // Parts take the alpha of the image they are scaled from.
  const ImageBuffer* shown = tiled_ ? CurrentImage() : ShownImage();
  return shown ? shown->Alpha() : AlphaMode::None;
}

void ViewState::SetSourceImage(RefPtr<ImageBuffer> source) {
  // The new frame's chain is taken before the old one is let go: they are
  // usually the same chain.
  RefPtr<ImageBuffer> first(source ? source->First() : nullptr);
  source_ = std::move(source);
  if (first_ != first) {
    first_ = std::move(first);
    completedPlays_ = 0;
  }
  SetComposedImage(source_);
}

void ViewState::SetCurrentFrame(ImageBuffer* frame) {
  RefPtr<ImageBuffer> keep(frame);
  SetSourceImage(std::move(keep));
  composed_.reset();
}

void ViewState::SetComposedImage(RefPtr<ImageBuffer> composed) {
  composed_ = std::move(composed);
  DropAdjustedLayer();
}

void ViewState::SetAdjustedImage(RefPtr<ImageBuffer> adjusted) {
  adjusted_ = std::move(adjusted);
  DropDisplayLayer();
}

void ViewState::SetDisplayImage(RefPtr<ImageBuffer> display) {
  DropDisplayLayer();
  display_ = std::move(display);
}

void ViewState::SetTiledDisplay(uint32_t width, uint32_t height, PixelFormat format) {
  DropDisplayLayer();
  tiled_ = true;
  tiledWidth_ = width;
  tiledHeight_ = height;
  tiledFormat_ = format;
}

void ViewState::SetDisplayPart(RefPtr<ImageBuffer> part, ViewPoint origin) {
  display_ = std::move(part);
  displayOrigin_ = origin;
}

void ViewState::DropDisplayLayer() {
  display_.reset();
  tiled_ = false;
  displayOrigin_ = {};
}

void ViewState::DropAdjustedLayer() {
  DropDisplayLayer();
  adjusted_.reset();
}

void ViewState::CountTransform(bool wasActive, bool isActive) {
  if (wasActive != isActive) activeTransforms_ += isActive ? 1 : -1;
}

void ViewState::SetZoomFactor(double zoom) {
  CountTransform(zoom_ != 1.0, zoom != 1.0);
  zoom_ = zoom;
}

void ViewState::SetAspectX(double aspectX) {
  CountTransform(aspectX_ != 1.0, aspectX != 1.0);
  aspectX_ = aspectX;
}

void ViewState::SetCrop(const CropRect& crop) {
  CountTransform(!crop_.IsNone(), !crop.IsNone());
  crop_ = crop;
}

void ViewState::SetColour(const ColourSettings& colour) {
  colourCount_ += colour.NonDefaultCount() - adjustments_.colour.NonDefaultCount();
  adjustments_.colour = colour;
}

void ViewState::SetSharpness(float sharpness) {
  CountTransform(adjustments_.sharpness != 0, sharpness != 0);
  adjustments_.sharpness = sharpness;
}

void ViewState::SetOrientation(uint8_t code) {
  code &= kOrientationBits;
  CountTransform(adjustments_.orientation != 0, code != 0);
  adjustments_.orientation = code;
}

void ViewState::SetAdjustments(const AdjustmentRecord& record) {
  SetColour(record.colour);
  SetSharpness(record.sharpness);
  SetOrientation(record.orientation);
}

void ViewState::ResetAdjustments(bool keepZoom) {
  AdjustmentRecord record;
  record.orientation = imageOrientation_;
  SetAdjustments(record);
  SetCrop({});
  if (!keepZoom) {
    SetZoomFactor(1.0);
    SetAspectX(1.0);
  }
}

uint32_t ViewState::DisplayWidth() const {
  const ImageBuffer* image = CurrentImage();
  return image ? ZoomedWidth(image->Width(), zoom_, aspectX_) : 0;
}

uint32_t ViewState::DisplayHeight() const {
  const ImageBuffer* image = CurrentImage();
  return image ? ZoomedHeight(image->Height(), zoom_) : 0;
}

}  // namespace vt
