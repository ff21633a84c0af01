#pragma once
#include <cstdint>

namespace vt {

class ImageBuffer;
class ViewState;

// The ways a view steps through the frames of its image.
enum class FrameDirection : uint8_t { kNext = 1, kPrevious = 2, kFirst = 4 };

// Builds the composed layer for the view's current frame when it is absent
// (or always, with force, which also renders the view). A sequence of pages
// shows the frame itself; an animation draws it onto its canvas: a display
// Bgra8 buffer of premultiplied colour as large as the animation's canvas and
// every frame's rectangle, made for the first frame and filled with its
// background colour. A frame is copied (blend 0) or drawn over (blend 1:
// target = source + ((target x (65535 - alpha x 257) + 32768) >> 16) per
// channel). Before a frame that restores what was beneath it is drawn, that
// part of the canvas is saved.
void ComposeFrame(ViewState& view, bool force);

// Makes another frame of the view's chain current and composes it: the next
// or previous one, or the first. Before an animation moves on, the current
// frame's disposal is applied to the canvas (its rectangle filled with the
// background colour, or what it covered restored). Stepping back in an
// animation composes the earlier frame again from the first. Stepping on from
// the last frame of an animation starts it again while it loops (the canvas
// starts afresh): a loop count of 0 plays for ever, a count of n plays the
// whole animation n times in all. False when there is no such frame (the view
// keeps its frame); stepping to the first frame is always true.
bool StepFrame(ViewState& view, FrameDirection direction);

// The place of the view's current frame in its chain (0 for the first), and
// the chain's length.
uint32_t FrameIndex(const ViewState& view);
uint32_t FrameCount(const ViewState& view);

}  // namespace vt
