#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "render/view_window.h"
#include "ui/menu_model.h"

namespace vt {

// What the popup menu of a viewer window depends on, taken as it opens.
struct ViewerMenuState {
  bool frozen = false;
  bool slideshow = false;
  bool maximized = false;
  bool topmost = false;
  uint8_t orientation = 0;  // bit 2 vertical mirror, bit 3 horizontal mirror
  bool slideshowFullScreen = false;
  bool keepZoom = false;
  bool checkerboard = false;
  bool animated = false;      // the image is an animation
  bool paused = false;        // and the user paused it
  bool keepFileTime = false;  // saving the rotation keeps the file's time
  // Key texts of the animation controls (keys no binding takes).
  std::u16string pauseKey, nextFrameKey, previousFrameKey;
  double zoom = 1.0;
  ViewSize imageSize;   // the current image at zoom 1
  ViewSize zoomedSize;  // the image as shown
  ViewSize clientSize;
};

// How the menu words its items: the interface dictionary, and the key text of
// a command's bindings.
struct ViewerMenuText {
  std::function<std::u16string(std::u16string_view)> translate;
  std::function<std::u16string(uint16_t)> keysOf;
};

// The popup menu of the normal, frozen or slideshow state. Commands whose
// part of the program is not there yet are disabled items.
MenuModel BuildViewerMenu(const ViewerMenuState& state, const ViewerMenuText& text);

// The zoom preset (20016..20024) that carries the check mark at zoom: the one
// whose percentage is trunc(zoom x 100 + 0.1); 0 when none is.
uint16_t CheckedZoomPreset(double zoom);

}  // namespace vt
