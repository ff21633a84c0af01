#include "viewer/window_rules.h"

#include <algorithm>

namespace vt {

namespace {

// round(a x b / c) for positive c, in 64 bits.
int64_t MulDivRound(int64_t a, int64_t b, int64_t c) { return (2 * a * b + c) / (2 * c); }

// A span of length size that starts at start, pushed inside [lo, hi) as far as
// it fits (its start wins when it is longer than the range).
int32_t ShiftInto(int64_t start, int64_t size, int32_t lo, int32_t hi) {
  if (start + size > hi) start = hi - size;
  if (start < lo) start = lo;
  return static_cast<int32_t>(start);
}

}  // namespace

ViewRect AspectLockedWindowRect(SizingEdge edge, const ViewRect& proposed, const ViewRect& old,
                                ViewSize image, const FrameMetrics& frame, const ViewRect& area) {
  if (image.width <= 0 || image.height <= 0) return proposed;
  const int64_t extraW = 2 * int64_t{frame.borderWidth};
  const int64_t extraH = 2 * int64_t{frame.borderHeight} + frame.captionHeight;
  const int64_t minClientW = std::max<int64_t>(frame.minWindowWidth - extraW, 1);
  const int64_t maxClientW = std::max<int64_t>(area.Width() - extraW, minClientW);
  const int64_t maxClientH = std::max<int64_t>(area.Height() - extraH, 1);

  const bool heightLeads = edge == SizingEdge::kTop || edge == SizingEdge::kBottom;
  int64_t cw, ch;
  if (!heightLeads) {
    cw = std::max(int64_t{proposed.Width()} - extraW, minClientW);
    ch = std::max<int64_t>(MulDivRound(cw, image.height, image.width), 1);
    if (ch > maxClientH) {
      ch = maxClientH;
      cw = std::max(MulDivRound(ch, image.width, image.height), minClientW);
    }
  } else {
    ch = std::max<int64_t>(int64_t{proposed.Height()} - extraH, 1);
    cw = MulDivRound(ch, image.width, image.height);
    if (cw > maxClientW) {
      cw = maxClientW;
      ch = std::max<int64_t>(MulDivRound(cw, image.height, image.width), 1);
    }
    // Below the narrowest frame the proportions cannot hold: the height the
    // user dragged to stays.
    cw = std::max(cw, minClientW);
  }
  const int64_t w = cw + extraW, h = ch + extraH;

  ViewRect r;
  switch (edge) {
    case SizingEdge::kLeft: case SizingEdge::kTopLeft: case SizingEdge::kBottomLeft:
      r.right = proposed.right;
      r.left = static_cast<int32_t>(r.right - w);
      break;
    case SizingEdge::kRight: case SizingEdge::kTopRight: case SizingEdge::kBottomRight:
      r.left = proposed.left;
      r.right = static_cast<int32_t>(r.left + w);
      break;
    case SizingEdge::kTop: case SizingEdge::kBottom:
      r.left = ShiftInto(old.left + (old.Width() - w) / 2, w, area.left, area.right);
      r.right = static_cast<int32_t>(r.left + w);
      break;
  }
  switch (edge) {
    case SizingEdge::kTop: case SizingEdge::kTopLeft: case SizingEdge::kTopRight:
      r.bottom = proposed.bottom;
      r.top = static_cast<int32_t>(r.bottom - h);
      break;
    case SizingEdge::kBottom: case SizingEdge::kBottomLeft: case SizingEdge::kBottomRight:
      r.top = proposed.top;
      r.bottom = static_cast<int32_t>(r.top + h);
      break;
    case SizingEdge::kLeft: case SizingEdge::kRight:
      r.top = ShiftInto(old.top + (old.Height() - h) / 2, h, area.top, area.bottom);
      r.bottom = static_cast<int32_t>(r.top + h);
      break;
  }
  return r;
}

ViewRect KeepWindowReachable(const ViewRect& window, const ViewRect& workArea, const FrameMetrics& frame) {
  const int32_t keepX = 2 * frame.borderWidth + 2;
  const int32_t keepY = 2 * frame.borderHeight + 2;
  int32_t dx = 0, dy = 0;
  if (window.right < workArea.left + keepX)
    dx = workArea.left + keepX - window.right;
  else if (window.left > workArea.right - keepX)
    dx = workArea.right - keepX - window.left;
  // At the bottom the caption must stay in reach too: it is what the user drags.
  if (window.bottom < workArea.top + keepY)
    dy = workArea.top + keepY - window.bottom;
  else if (window.top > workArea.bottom - keepY - frame.captionHeight)
    dy = workArea.bottom - keepY - frame.captionHeight - window.top;
  return {window.left + dx, window.top + dy, window.right + dx, window.bottom + dy};
}

ViewRect HoverFrameRoom(const ViewRect& workArea, const FrameMetrics& frame) {
  // The geometry centres on top + height / 2: the part taken off the top is
  // chosen so that this point stays where it is for any parity.
  const int32_t height = workArea.Height(), extraH = 2 * frame.borderHeight + frame.captionHeight;
  const int32_t top = height / 2 - (height - extraH) / 2;
  return {workArea.left + frame.borderWidth, workArea.top + top, workArea.right - frame.borderWidth,
          workArea.bottom - (extraH - top)};
}

ViewPoint KeepHoverFrameOnArea(ViewPoint topLeft, ViewSize client, const ViewRect& workArea,
                               const FrameMetrics& frame) {
  // One direction: the client spans [start, start + size) with before and
  // after pixels of frame around it, inside [lo, hi).
  auto keep = [](int64_t start, int64_t size, int32_t before, int32_t after, int32_t lo, int32_t hi) {
    if (start < lo || start + size > hi || before + size + after > int64_t{hi} - lo) return start;
    if (start - before < lo) return int64_t{lo} + before;
    if (start + size + after > hi) return int64_t{hi} - after - size;
    return start;
  };
  const int32_t caption = frame.borderHeight + frame.captionHeight;
  return {static_cast<int32_t>(keep(topLeft.x, client.width, frame.borderWidth, frame.borderWidth,
                                    workArea.left, workArea.right)),
          static_cast<int32_t>(keep(topLeft.y, client.height, caption, frame.borderHeight, workArea.top,
                                    workArea.bottom))};
}

bool LiesBeside(const ViewRect& a, const ViewRect& b) {
  const int64_t overlapX = int64_t{std::min(a.right, b.right)} - std::max(a.left, b.left);
  const int64_t overlapY = int64_t{std::min(a.bottom, b.bottom)} - std::max(a.top, b.top);
  return overlapX <= kBesideOverlap || overlapY <= kBesideOverlap;
}

}  // namespace vt
