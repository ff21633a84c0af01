#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace vt {

// Decides which presses of the mouse buttons are double clicks, the way the
// windows of the other system see them: the second press of a pair is a
// double click and nothing else (no press before it), and the press after a
// double click starts a new pair. The toolkit's own multiple-click events are
// not used: they come in addition to the press, and a third press makes a
// triple click instead of starting over.
class ClickTracker {
 public:
  // The desktop's settings: the most time between the two presses and the most
  // distance on either axis from the first press.
  struct Limits {
    uint32_t milliseconds = 400;
    int32_t distance = 5;
  };

  // window: any value that tells the windows apart. time: the event's
  // millisecond clock, which wraps around.
  MouseAction Press(uintptr_t window, int button, uint32_t time, ViewPoint at, const Limits& limits);
  // Something came between two presses (another button, the window lost the
  // pointer grab): the next press is a first one.
  void Forget() { armed_ = false; }

 private:
  bool armed_ = false;
  uintptr_t window_ = 0;
  int button_ = 0;
  uint32_t time_ = 0;
  ViewPoint at_;
};

// The local paths of a dropped text/uri-list, in their order. Comments, URIs
// of other schemes and files on other hosts are left out.
std::vector<std::u16string> LocalPathsOfUriList(std::string_view uriList);

}  // namespace vt
