#include "ui/toolkit_window.h"

namespace vt {

ToolkitWindow::~ToolkitWindow() = default;

bool ToolkitWindow::CreateToolkitWindow(const WindowCreateParams& params) {
  window_ = CurrentPlatform().NewWindow(*this, params);
  return window_ != nullptr;
}

void ToolkitWindow::OnCloseRequest() {
  if (window_) window_->Destroy();
}

bool ToolkitWindow::OnKey(uint32_t virtualKey, bool down, uint8_t modifiers) {
  if (down && accelerators_) {
    if (auto command = accelerators_->CommandFor(modifiers, virtualKey)) {
      OnCommand(*command, 0);
      return true;
    }
  }
  return OnUnboundKey(virtualKey, down, modifiers);
}

void RunMessageLoop() { CurrentPlatform().RunMessageLoop(); }
bool PumpPendingMessages() { return CurrentPlatform().PumpPendingMessages(); }

FrameMetrics FrameMetricsForDpi(uint32_t dpi) { return CurrentPlatform().FrameMetricsForDpi(dpi); }

MonitorInfo MonitorOfPoint(ViewPoint point) {
  return CurrentPlatform().MonitorNearest({point.x, point.y, point.x + 1, point.y + 1});
}

}  // namespace vt
