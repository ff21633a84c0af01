#pragma once
#include <cstdint>

#include "platform/platform.h"
#include "ui/canvas.h"
#include "ui/theme.h"

namespace vt {

class Container;

// What a control tells its container (the notification code of the command
// it sends).
enum ControlNotification : uint16_t {
  kNotifyClicked = 0,        // a button pushed, a check box toggled, a menu item chosen
  kNotifyChanged = 1,        // the value or the text changed
  kNotifySelection = 2,      // another entry selected
  kNotifyDoubleClicked = 3,  // an entry double-clicked (or Enter on it)
};

// A child of a toolkit window that the window draws and feeds with input: it
// has no system window of its own. Positions are the container's client
// coordinates; a control paints and hears the mouse in its own (0, 0 at its
// top-left corner).
class Control {
 public:
  Control() = default;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;
  virtual ~Control() = default;

  uint16_t Id() const { return id_; }
  void SetId(uint16_t id) { id_ = id; }
  const ViewRect& Bounds() const { return bounds_; }
  void SetBounds(const ViewRect& bounds);
  ViewSize Size() const { return {bounds_.Width(), bounds_.Height()}; }
  bool IsVisible() const { return visible_; }
  void SetVisible(bool visible);
  bool IsEnabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  Container* Parent() const { return parent_; }
  bool HasFocus() const;
  // Whether Tab, the arrows and clicks can give it the focus now.
  bool CanTakeFocus() const { return Focusable() && visible_ && enabled_; }

  virtual bool Focusable() const { return false; }
  virtual void Paint(Canvas& canvas, const Theme& theme) = 0;
  // True when handled; the container's own keys come after.
  virtual bool OnKey(uint32_t virtualKey, bool down, uint8_t modifiers) { return false; }
  virtual bool OnChar(char16_t character) { return false; }
  virtual void OnMouseDown(int button, ViewPoint at, uint8_t modifiers) {}
  virtual void OnMouseUp(int button, ViewPoint at, uint8_t modifiers) {}
  virtual void OnDoubleClick(int button, ViewPoint at) {}
  // at: the pointer; held: a button went down on this control and is still down.
  virtual void OnMouseMove(ViewPoint at, bool held) {}
  virtual void OnHover(bool inside) {}
  virtual void OnFocus(bool focused) {}
  // The choice of the control's drop-down (its number in the list), posted
  // back to the window as a command with the control's id.
  virtual void OnPopupChoice(uint16_t code) {}

  // Asks the container to paint again.
  void Invalidate();

 protected:
  void Notify(uint16_t code);
  const Theme& CurrentTheme() const;

 private:
  friend class Container;
  Container* parent_ = nullptr;
  uint16_t id_ = 0;
  ViewRect bounds_;
  bool visible_ = true;
  bool enabled_ = true;
};

}  // namespace vt
