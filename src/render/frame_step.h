#pragma once
#include <cstdint>

namespace vt {

class ViewState;

// The ways a view steps through the frames of its image.
enum class FrameDirection : uint8_t { kNext = 1, kPrevious = 2, kFirst = 4 };

// Makes another frame of the view's chain its source: the next or previous
// one, or the first. Stepping on from the last frame of an animation starts it
// again while it loops: a loop count of 0 plays for ever, a count of n plays
// the whole animation n times in all. False when there is no such frame (the
// view keeps its frame); stepping to the first frame is always true.
bool StepFrame(ViewState& view, FrameDirection direction);

}  // namespace vt
