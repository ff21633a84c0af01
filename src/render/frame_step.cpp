#include "render/frame_step.h"

#include "image/image_buffer.h"
#include "render/view_state.h"

namespace vt {

namespace {

void ShowFrame(ViewState& view, ImageBuffer* frame) {
  view.SetSourceImage(RefPtr<ImageBuffer>(frame));
}

// The animation has plays left after the pass that just ended.
bool PlaysAgain(const ViewState& view, const FrameDescription& frame) {
  if (!frame.loop || frame.delay < 0) return false;  // a page sequence does not wrap
  return frame.loopCount == 0 || view.CompletedPlays() + 1 < frame.loopCount;
}

}  // namespace

bool StepFrame(ViewState& view, FrameDirection direction) {
  ImageBuffer* current = view.SourceImage();
  ImageBuffer* first = view.FirstFrame();
  if (!current || !first) return false;
  switch (direction) {
    case FrameDirection::kFirst:
      if (current != first) ShowFrame(view, first);
      return true;
    case FrameDirection::kPrevious:
      if (!current->Previous()) return false;
      ShowFrame(view, current->Previous());
      return true;
    case FrameDirection::kNext:
      if (ImageBuffer* next = current->Next()) {
        ShowFrame(view, next);
        return true;
      }
      if (current == first || !PlaysAgain(view, current->Frame())) return false;
      view.CountCompletedPlay();
      ShowFrame(view, first);
      return true;
  }
  return false;
}

}  // namespace vt
