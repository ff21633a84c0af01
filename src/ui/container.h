#pragma once
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "ui/control.h"
#include "ui/toolkit_window.h"

namespace vt {

// A toolkit window that holds controls: it paints them on a 32-bit surface of
// its own, hands the mouse to the control under the pointer, and keys to the
// focused control first, then moves the focus itself (Tab, Shift+Tab, the
// arrows, Home and End).
class Container : public ToolkitWindow {
 public:
  Container();
  ~Container() override;

  template <class T, class... Args>
  T& Add(Args&&... args) {
    auto control = std::make_unique<T>(std::forward<Args>(args)...);
    T& out = *control;
    Adopt(std::move(control));
    return out;
  }
  void Adopt(std::unique_ptr<Control> control);
  void RemoveAll();
  // Puts control just before another in the order of Tab and of painting.
  void MoveBefore(Control* control, Control* before);
  size_t Count() const { return controls_.size(); }
  Control* At(size_t i) const { return i < controls_.size() ? controls_[i].get() : nullptr; }
  int FocusIndex() const { return focus_; }
  Control* Focused() const { return focus_ >= 0 ? controls_[size_t(focus_)].get() : nullptr; }
  // Focus to a control of this container (or to none); false when it cannot take it.
  bool SetFocus(Control* control);
  // Focus on the next (or previous) control that can take it, going round at
  // the ends; from no focus the first (or last). False when none can.
  bool FocusNext(bool backwards);
  bool FocusFirst();
  bool FocusLast();

  const Theme& CurrentTheme() const { return theme_; }
  void SetDpi(uint32_t dpi);
  // Paints again once the event in progress is handled (at once outside events).
  void Invalidate();
  // The surface of the last paint (what the window shows).
  const PixelSurface& Surface() const { return surface_; }

  // The key handler: the focused control first, then the container's keys.
  bool HandleKey(uint32_t virtualKey, bool down, uint8_t modifiers);
  // Tab, Shift+Tab, Left, Up, Right, Down, Home and End move the focus.
  virtual bool ContainerKey(uint32_t virtualKey, bool down, uint8_t modifiers);
  // A control's notification.
  virtual void OnControlNotify(Control& control, uint16_t code) {}
  // The window's background, under the controls.
  virtual void PaintBackground(Canvas& canvas);
  // The control under a client point, the last added first; null for none.
  Control* ControlAt(ViewPoint client) const;
  // The first control with the id; null for none.
  Control* ControlById(uint16_t id) const;

  // Window events.
  void OnPaint(PaintTarget& target, const ViewRect& dirty) override;
  bool OnUnboundKey(uint32_t virtualKey, bool down, uint8_t modifiers) override;
  void OnChar(char16_t character) override;
  void OnMouseButton(int button, MouseAction action, ViewPoint client, uint8_t modifiers) override;
  void OnMouseMove(ViewPoint client, uint8_t modifiers) override;
  void OnDpiChanged(uint32_t dpi) override;
  void OnDestroyed() override;
  // A drop-down's choice comes back as the command of its control's id.
  void OnCommand(uint32_t command, intptr_t argument) override;

 protected:
  // Keeps paints for the end of the outermost event being handled.
  class EventScope {
   public:
    explicit EventScope(Container& c) : c_(c) { ++c_.eventDepth_; }
    ~EventScope();
    EventScope(const EventScope&) = delete;
    EventScope& operator=(const EventScope&) = delete;

   private:
    Container& c_;
  };
  void ForgetControl(Control* control);
  bool IsGone() const { return gone_; }

 private:
  friend class Control;
  int IndexOf(const Control* control) const;

  std::vector<std::unique_ptr<Control>> controls_;
  int focus_ = -1;
  Control* pressed_ = nullptr;  // a button went down on it
  Control* hovered_ = nullptr;
  Theme theme_;
  PixelSurface surface_;
  int eventDepth_ = 0;
  bool dirty_ = false;
  bool gone_ = false;
};

}  // namespace vt
