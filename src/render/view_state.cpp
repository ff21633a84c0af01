#include "render/view_state.h"

#include <cmath>
#include <utility>

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
    : source_(std::move(source)), composed_(source_), flags_(flags) {}

ImageBuffer* ViewState::CurrentImage() const {
  if (adjusted_) return adjusted_.get();
  if (composed_) return composed_.get();
  return source_.get();
}

ImageBuffer* ViewState::ShownImage() const {
  return display_ ? display_.get() : CurrentImage();
}

void ViewState::SetSourceImage(RefPtr<ImageBuffer> source) {
  source_ = std::move(source);
  SetComposedImage(source_);
}

void ViewState::SetComposedImage(RefPtr<ImageBuffer> composed) {
  composed_ = std::move(composed);
  DropAdjustedLayer();
}

void ViewState::SetAdjustedImage(RefPtr<ImageBuffer> adjusted) {
  adjusted_ = std::move(adjusted);
  display_.reset();
}

void ViewState::SetDisplayImage(RefPtr<ImageBuffer> display) { display_ = std::move(display); }

void ViewState::DropAdjustedLayer() {
  display_.reset();
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

uint32_t ViewState::DisplayWidth() const {
  const ImageBuffer* image = CurrentImage();
  return image ? ZoomedWidth(image->Width(), zoom_, aspectX_) : 0;
}

uint32_t ViewState::DisplayHeight() const {
  const ImageBuffer* image = CurrentImage();
  return image ? ZoomedHeight(image->Height(), zoom_) : 0;
}

}  // namespace vt
