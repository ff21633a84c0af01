#pragma once
#include <cstdint>
#include <memory>

#include "platform/platform.h"
#include "ui/key_bindings.h"

namespace vt {

// Base of every window of the program: owns its system window and receives its
// events through virtual handlers. Keys go through the window's accelerator
// table first; a bound key becomes a command.
class ToolkitWindow : public WindowEvents {
 public:
  ToolkitWindow() = default;
  ToolkitWindow(const ToolkitWindow&) = delete;
  ToolkitWindow& operator=(const ToolkitWindow&) = delete;
  ~ToolkitWindow() override;

  // Makes the system window on the current platform; false when it could not be made.
  bool CreateToolkitWindow(const WindowCreateParams& params);
  PlatformWindow* Window() const { return window_.get(); }
  bool Exists() const { return window_ && window_->Exists(); }
  // Expires when this object is deleted: for those that keep a pointer to a
  // window they do not own (a dialog's owner).
  std::weak_ptr<const void> Lifetime() const { return lifetime_; }

  // Not owned; null for none.
  void SetAccelerators(const AcceleratorTable* table) { accelerators_ = table; }
  const AcceleratorTable* Accelerators() const { return accelerators_; }

  void OnCloseRequest() override;
  void OnDestroyed() override {}
  bool OnKey(uint32_t virtualKey, bool down, uint8_t modifiers) override;
  // The key handler after the accelerators had their turn.
  virtual bool OnUnboundKey(uint32_t virtualKey, bool down, uint8_t modifiers) { return false; }

 private:
  std::unique_ptr<PlatformWindow> window_;
  std::shared_ptr<const void> lifetime_ = std::make_shared<int>(0);
  const AcceleratorTable* accelerators_ = nullptr;
};

// The shared message loop and the pump used by nested loops.
void RunMessageLoop();
bool PumpPendingMessages();

// DPI helpers: the scale of a dpi against the 96 of the system's base, and the
// frame of a framed window at that dpi.
inline double DpiScale(uint32_t dpi) { return dpi / 96.0; }
FrameMetrics FrameMetricsForDpi(uint32_t dpi);
MonitorInfo MonitorOfPoint(ViewPoint point);

}  // namespace vt
