#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "ui/control.h"

namespace vt {

// A line of text; takes no focus.
class Label : public Control {
 public:
  explicit Label(std::u16string text = {}, TextAlign align = TextAlign::kLeft)
      : text_(std::move(text)), align_(align) {}
  const std::u16string& Text() const { return text_; }
  void SetText(std::u16string text);
  void Paint(Canvas& canvas, const Theme& theme) override;

 private:
  std::u16string text_;
  TextAlign align_;
};

// A button pushed with the mouse, Space (on release) or Enter: notifies
// kNotifyClicked. The default button of a dialog wears a stronger frame.
class PushButton : public Control {
 public:
  explicit PushButton(std::u16string text = {}) : text_(std::move(text)) {}
  const std::u16string& Text() const { return text_; }
  void SetText(std::u16string text);
  bool IsDefault() const { return default_; }
  void SetDefault(bool on);
  bool IsPressed() const { return pressed_; }
  // What a click, Space or Enter does.
  void Click();

  bool Focusable() const override { return true; }
  void Paint(Canvas& canvas, const Theme& theme) override;
  bool OnKey(uint32_t virtualKey, bool down, uint8_t modifiers) override;
  void OnMouseDown(int button, ViewPoint at, uint8_t modifiers) override;
  void OnMouseUp(int button, ViewPoint at, uint8_t modifiers) override;
  void OnMouseMove(ViewPoint at, bool held) override;
  void OnHover(bool inside) override;
  void OnFocus(bool focused) override;

 protected:
  // The face of the button; the colour button draws its swatch in it.
  virtual void PaintFace(Canvas& canvas, const Theme& theme, const ViewRect& face);
  // A click of an enabled button: notifies kNotifyClicked.
  virtual void Activate() { Notify(kNotifyClicked); }

 private:
  std::u16string text_;
  bool default_ = false;
  bool pressed_ = false;
  bool mouseDown_ = false;
  bool hover_ = false;
};

// A box with a check mark and its text; Space or a click toggles it and
// notifies kNotifyClicked.
class CheckBox : public Control {
 public:
  explicit CheckBox(std::u16string text = {}, bool checked = false) : text_(std::move(text)), checked_(checked) {}
  bool IsChecked() const { return checked_; }
  void SetChecked(bool checked);
  void Toggle();

  bool Focusable() const override { return true; }
  void Paint(Canvas& canvas, const Theme& theme) override;
  bool OnKey(uint32_t virtualKey, bool down, uint8_t modifiers) override;
  void OnMouseUp(int button, ViewPoint at, uint8_t modifiers) override;

 private:
  std::u16string text_;
  bool checked_;
};

// The sixteen custom colours the colour chooser offers and keeps, shared by
// every colour button of the process (blue, green, red words).
std::array<uint32_t, 16>& SharedCustomColours();

// A button showing a colour; pushing it opens the system's colour chooser
// on the window's behalf, and a colour chosen there becomes the button's
// (notifies kNotifyChanged).
class ColourButton : public PushButton {
 public:
  explicit ColourButton(uint32_t colour = 0) : colour_(colour & 0xFFFFFF) {}
  uint32_t Colour() const { return colour_; }
  void SetColour(uint32_t colour);

 protected:
  void PaintFace(Canvas& canvas, const Theme& theme, const ViewRect& face) override;
  // Opens the chooser.
  void Activate() override;

 private:
  uint32_t colour_;
};

}  // namespace vt
