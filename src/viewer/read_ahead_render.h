#pragma once
#include <cstdint>
#include <optional>

#include "image/image_cache.h"
#include "render/view_state.h"
#include "render/view_window.h"

namespace vt {

// The room a viewer window gives a new image when it fits itself to it: the
// client area it may take at most, and whether a larger image is shrunk into it.
struct FitRoom {
  int64_t width = 0;
  int64_t height = 0;
  bool mayShrink = false;
};

// The room of window for a new image, which starts out not larger than the
// screen whatever the image before it was.
FitRoom FitRoomOf(const ViewWindow& window);

// How fitting the window to an image of width x height (at 1:1) ends when the
// image is shrunk into room: the client size and the zoom the fit renders.
// Absent when the image is shown as it is.
struct ShrinkFit {
  ViewSize client;
  double zoom = 1.0;
};
std::optional<ShrinkFit> ShrinkToRoom(uint32_t width, uint32_t height, const FitRoom& room);

// Scales a read-ahead image to the size the window that scheduled the load
// expects to show it at, so that stepping to it costs no scaling on the
// user-interface thread. Only still images whose view shows the decoded image
// unchanged are prepared.
class FitRenderHint : public RenderHint {
 public:
  FitRenderHint(const FitRoom& room, const ViewFlags& flags) : room_(room), flags_(flags) {}
  RefPtr<ImageBuffer> Prepare(ImageBuffer* image, const CancelFlag* cancel) const override;

 private:
  FitRoom room_;
  ViewFlags flags_;
};

}  // namespace vt
