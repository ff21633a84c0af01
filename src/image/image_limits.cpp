#include "image/image_limits.h"

namespace vt {

namespace {

// Row slack and objects a frame brings besides its pixels (the buffer's slack
// rows and alignment, its reader, its properties).
constexpr uint64_t kRowSlackBytes = 48;
constexpr uint64_t kFrameOverheadBytes = 8192;

}  // namespace

bool WithinFrameLimits(uint64_t width, uint64_t height, uint32_t bytesPerPixel) {
  const ImageLimits& l = kImageLimits;
  if (width == 0 || height == 0 || width > l.maxSide || height > l.maxSide) return false;
  const uint64_t pixels = width * height;  // both at most 2^24: no overflow
  return pixels <= l.maxPixels && pixels * bytesPerPixel <= l.maxFrameBytes;
}

bool PixelDataPlausible(const PixelDataClaim& claim) {
  const BestRatio best = claim.best;
  if (best.decoded == 0 || best.stored == 0) return true;
  if (claim.declared <= kAlwaysPlausibleBytes) return true;
  // The fewest stored bytes that decode to the declared size, rounded up per
  // group of the ratio. Decoded sizes are bounded by the frame caps, far below
  // where the product could overflow.
  const uint64_t needed = (claim.declared + best.decoded - 1) / best.decoded * best.stored;
  return claim.present * kTruncatedShare >= needed;
}

uint64_t FrameBudget::FrameCost(uint64_t width, uint64_t height, uint32_t bytesPerPixel) {
  return (width * bytesPerPixel + kRowSlackBytes) * (height + 2) + kFrameOverheadBytes;
}

bool FrameBudget::Admit(uint64_t width, uint64_t height, uint32_t bytesPerPixel) {
  const ImageLimits& l = kImageLimits;
  if (frames_ >= l.maxFrames || !WithinFrameLimits(width, height, bytesPerPixel)) return false;
  const uint64_t cost = FrameCost(width, height, bytesPerPixel);
  // The first frame is held to the frame limits alone: the chain budget is
  // for what comes after it.
  if (frames_ > 0 && bytes_ + cost > l.maxChainBytes) return false;
  bytes_ += cost;
  ++frames_;
  return true;
}

}  // namespace vt
