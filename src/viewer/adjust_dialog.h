#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "render/adjustments.h"
#include "ui/controls/buttons.h"
#include "ui/controls/combo_box.h"
#include "ui/controls/slider.h"
#include "ui/dialog.h"

namespace vt {

class ViewState;

// The sliders of the adjustments dialog, top to bottom.
enum class AdjustSlider : uint8_t {
  kContrast,
  kBrightness,
  kSharpness,
  kHue,
  kSaturation,
  kGamma,
  kLightness,
  kRedBias,
  kGreenBias,
  kBlueBias,
};
inline constexpr int kAdjustSliderCount = 10;

// A slider's value text: position / 100 with two decimals ("-0.05", "1.50").
std::u16string AdjustValueText(int32_t position);
// The field a slider position sets, and the position that shows a field
// (rounded half away from zero).
float AdjustFieldOfPosition(AdjustSlider slider, int32_t position);
int32_t AdjustPositionOfField(AdjustSlider slider, float field);

// "图像调整": edits a view's adjustment record live. Every change goes into
// the record at once (counts in step) and is handed to `changed` (with
// whether the image's sides swapped, so that the window is laid out again).
// "确定" ends with 1; "取消" and closing end with 0 and leave the record as
// it is now (the caller keeps the one from before). "保存" writes the
// adjustment file beside the image; "重置" returns to the defaults (the zoom
// kept, the image's own orientation) and saves, which deletes the file.
class AdjustDialog : public Dialog {
 public:
  using Changed = std::function<void(bool sidesSwapped)>;
  using Translate = std::function<std::u16string(std::u16string_view)>;
  AdjustDialog(ViewState& view, std::u16string imagePath, Changed changed, Translate translate);

  // Makes the window beside the owner's rectangle, inside the work area.
  bool Create(ToolkitWindow* owner, const ViewRect& ownerRect, const ViewRect& workArea);

  Slider& SliderOf(AdjustSlider s) { return *sliders_[static_cast<size_t>(s)]; }
  ComboBox& Rotation() { return *rotation_; }
  CheckBox& VerticalMirror() { return *vertical_; }
  CheckBox& HorizontalMirror() { return *horizontal_; }
  CheckBox& Invert() { return *invert_; }
  PushButton& ResetButton() { return *reset_; }
  PushButton& SaveButton() { return *save_; }
  PushButton& CancelButton() { return *cancel_; }
  PushButton& OkButton() { return *ok_; }

  void OnControlNotify(Control& control, uint16_t code) override;

 private:
  // The controls from the record, and the buttons' states.
  void ShowRecord();
  void UpdateButtons();
  void Save();
  void Reset();
  void OrientationChanged();

  ViewState& view_;
  std::u16string path_;
  Changed changed_;
  Translate translate_;
  AdjustmentRecord saved_;  // as the file beside the image holds it
  std::array<Slider*, kAdjustSliderCount> sliders_{};
  ComboBox* rotation_;
  CheckBox* vertical_;
  CheckBox* horizontal_;
  CheckBox* invert_;
  PushButton* reset_;
  PushButton* save_;
  PushButton* cancel_;
  PushButton* ok_;
};

}  // namespace vt
