#pragma once
#include <cstdint>

#include "platform/platform.h"
#include "render/view_window.h"

namespace vt {

// The arithmetic behind the viewer window's reactions to the user moving,
// sizing and leaving it; kept apart from the window so that every back end
// gets the same answers and tests can check them without a screen.

// The window rectangle that keeps the image's proportions while the user drags
// edge of a framed window from old towards proposed. The dragged dimension
// follows the pointer (the width for the left and right edges and for the
// corners, the height for the top and bottom edges); the other one is made
// from it, round(client side x image side / image side). For an edge it is
// centred on old and shifted into area; for a corner the opposite corner stays
// where it is, so that the dragged corner follows the pointer. The made side
// never exceeds area, and the window never gets narrower than the minimum
// tracking width.
ViewRect AspectLockedWindowRect(SizingEdge edge, const ViewRect& proposed, const ViewRect& old,
                                ViewSize image, const FrameMetrics& frame, const ViewRect& area);

// Moves window (without resizing it) so that enough of it stays inside the
// work area to take hold of: 2 x border width + 2 pixels horizontally,
// 2 x border height + 2 vertically, and at the bottom edge the caption too.
ViewRect KeepWindowReachable(const ViewRect& window, const ViewRect& workArea, const FrameMetrics& frame);

// A frameless window in the title-bar mode "on hover" brings up the frame
// around its client whenever the mouse is over it, and that frame must lie
// on the work area too. The room such a window fits its image into: the
// work area less the frame's width and height, taken evenly off opposite
// sides so that a window centred in it is centred on the work area.
ViewRect HoverFrameRoom(const ViewRect& workArea, const FrameMetrics& frame);
// Where such a window's client goes instead of topLeft so that the frame
// around it lies on the work area: moved (not resized) as little as needed,
// in each direction where the client itself lies on the area and the framed
// window fits it (a window the user put partly off the area stays there).
ViewPoint KeepHoverFrameOnArea(ViewPoint topLeft, ViewSize client, const ViewRect& workArea,
                               const FrameMetrics& frame);

// Two windows that overlap by at most this many pixels in one direction lie
// beside each other: a window on the neighbouring monitor, whose frame may
// reach a few pixels across the edge.
inline constexpr int32_t kBesideOverlap = 10;
bool LiesBeside(const ViewRect& a, const ViewRect& b);

// How a full-screen window that lost the activation on a system of several
// monitors waits for the window that took it: polls of so many milliseconds.
inline constexpr int kForegroundPolls = 50;
inline constexpr uint32_t kForegroundPollMilliseconds = 10;

}  // namespace vt
