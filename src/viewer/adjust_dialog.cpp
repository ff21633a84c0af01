#include "viewer/adjust_dialog.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "render/adjustment_file.h"
#include "render/orientation.h"
#include "render/view_state.h"

namespace vt {

namespace {

struct SliderSpec {
  const char16_t* label;
  int32_t low, high;
  float step;         // field per position
  ColourField field;  // unused for sharpness
};

constexpr SliderSpec kSliders[kAdjustSliderCount] = {
    {u"对比度:", -100, 200, 0.005f, ColourField::kContrast},
    {u"亮度:", -100, 200, 0.01f, ColourField::kBrightness},
    {u"清晰度:", -100, 200, 0.01f, ColourField::kContrast},
    {u"色调:", -100, 100, 0.005f, ColourField::kHue},
    {u"饱和度:", -100, 100, 0.01f, ColourField::kSaturation},
    {u"伽玛:", 0, 200, 0.01f, ColourField::kGamma},
    {u"亮度:", -100, 200, 0.005f, ColourField::kLightness},
    {u"红色偏置:", -100, 200, 0.005f, ColourField::kRedBias},
    {u"绿色偏置:", -100, 200, 0.005f, ColourField::kGreenBias},
    {u"蓝色偏置:", -100, 200, 0.005f, ColourField::kBlueBias},
};

const SliderSpec& Spec(AdjustSlider s) { return kSliders[static_cast<size_t>(s)]; }

bool IsGray(const ViewState& view) {
  const ImageBuffer* source = view.SourceImage();
  if (!source) return false;
  const PixelFormat f = source->Format();
  return f == PixelFormat::Gray8 || f == PixelFormat::Gray16 || f == PixelFormat::GrayFloat;
}

// Layout at 96 dpi.
constexpr int32_t kRow = 26, kTop = 10, kLabelLeft = 10, kSliderLeft = 100, kRight = 430;
constexpr int32_t kOrientationTop = kTop + kAdjustSliderCount * kRow + 6;
constexpr int32_t kInvertTop = kOrientationTop + 30;
constexpr int32_t kButtonTop = kInvertTop + 34;
constexpr ViewSize kClient{kRight + 10, kButtonTop + 36};

}  // namespace

std::u16string AdjustValueText(int32_t position) {
  const int32_t a = std::abs(position);
  std::u16string text = position < 0 ? u"-" : u"";
  const std::string whole = std::to_string(a / 100);
  text.append(whole.begin(), whole.end());
  text += u'.';
  text += static_cast<char16_t>(u'0' + a / 10 % 10);
  text += static_cast<char16_t>(u'0' + a % 10);
  return text;
}

float AdjustFieldOfPosition(AdjustSlider slider, int32_t position) {
  return static_cast<float>(position) * Spec(slider).step;
}

int32_t AdjustPositionOfField(AdjustSlider slider, float field) {
  const SliderSpec& s = Spec(slider);
  // In single precision, as the field is kept: 0.0025f x 200 is exactly half a position.
  const float scale = s.step < 0.0075f ? 200.0f : 100.0f;
  return std::clamp(static_cast<int32_t>(std::lround(field * scale)), s.low, s.high);
}

AdjustDialog::AdjustDialog(ViewState& view, std::u16string imagePath, Changed changed, Translate translate)
    : view_(view),
      path_(std::move(imagePath)),
      changed_(std::move(changed)),
      translate_(std::move(translate)),
      saved_(view.Adjustments()) {}

bool AdjustDialog::Create(ToolkitWindow* owner, const ViewRect& ownerRect, const ViewRect& workArea) {
  if (!CreateDialog(owner, translate_(u"图像调整") + u" | Vistrel", kClient)) return false;
  const Theme& theme = CurrentTheme();
  auto px = [&theme](ViewRect r) {
    return ViewRect{theme.Px(r.left), theme.Px(r.top), theme.Px(r.right), theme.Px(r.bottom)};
  };
  const bool gray = IsGray(view_);
  for (int i = 0; i < kAdjustSliderCount; ++i) {
    const SliderSpec& s = kSliders[i];
    const int32_t y = kTop + i * kRow;
    Add<Label>(translate_(s.label)).SetBounds(px({kLabelLeft, y + 4, kSliderLeft - 4, y + 22}));
    Slider& slider = Add<Slider>(s.low, s.high, 0, 10);
    slider.SetBounds(px({kSliderLeft, y, kRight, y + 24}));
    slider.SetValueText(AdjustValueText);
    const auto which = static_cast<AdjustSlider>(i);
    const bool colourOnly = which == AdjustSlider::kHue || which == AdjustSlider::kSaturation ||
                            which == AdjustSlider::kRedBias || which == AdjustSlider::kGreenBias ||
                            which == AdjustSlider::kBlueBias;
    slider.SetEnabled(!(gray && colourOnly));
    sliders_[static_cast<size_t>(i)] = &slider;
  }
  Add<Label>(translate_(u"旋转图像:")).SetBounds(px({kLabelLeft, kOrientationTop + 4, kSliderLeft - 4, kOrientationTop + 22}));
  rotation_ = &Add<ComboBox>(std::vector<std::u16string>{u"0°", u"-90°", u"180°", u"+90°"}, 0);
  rotation_->SetId(1);
  rotation_->SetBounds(px({kSliderLeft, kOrientationTop, kSliderLeft + 100, kOrientationTop + 24}));
  vertical_ = &Add<CheckBox>(translate_(u"垂直镜像"));
  vertical_->SetBounds(px({kSliderLeft + 110, kOrientationTop + 2, kSliderLeft + 215, kOrientationTop + 22}));
  horizontal_ = &Add<CheckBox>(translate_(u"水平镜像"));
  horizontal_->SetBounds(px({kSliderLeft + 220, kOrientationTop + 2, kRight, kOrientationTop + 22}));
  invert_ = &Add<CheckBox>(translate_(u"反转颜色"));
  invert_->SetBounds(px({kSliderLeft, kInvertTop, kRight, kInvertTop + 20}));
  reset_ = &Add<PushButton>(translate_(u"重置"));
  reset_->SetBounds(px({kLabelLeft, kButtonTop, kLabelLeft + 80, kButtonTop + 26}));
  save_ = &Add<PushButton>(translate_(u"保存"));
  save_->SetBounds(px({kLabelLeft + 90, kButtonTop, kLabelLeft + 170, kButtonTop + 26}));
  cancel_ = &Add<PushButton>(translate_(u"取消"));
  cancel_->SetBounds(px({kRight - 170, kButtonTop, kRight - 90, kButtonTop + 26}));
  ok_ = &Add<PushButton>(translate_(u"确定"));
  ok_->SetBounds(px({kRight - 80, kButtonTop, kRight, kButtonTop + 26}));
  SetDefaultButton(ok_);
  SetCancelButton(cancel_);
  ShowRecord();

  // Beside the viewer, where the image stays in sight: right of it, else
  // left of it, else against the work area's right edge.
  // Measured from the size asked for: a window not yet shown may report
  // another one. The frame the system adds is what the window rectangle
  // holds beyond the client.
  const ViewSize client{theme.Px(kClient.width), theme.Px(kClient.height)};
  const ViewRect window = Window()->WindowRect();
  const ViewPoint origin = Window()->ClientOrigin();
  const int32_t frameLeft = std::max(origin.x - window.left, 0), frameTop = std::max(origin.y - window.top, 0);
  const int32_t w = client.width + 2 * frameLeft, h = client.height + frameTop + frameLeft;
  int32_t x = ownerRect.right;
  if (x + w > workArea.right) x = ownerRect.left - w;
  if (x < workArea.left) x = workArea.right - w;
  x = std::max(x, workArea.left);
  const int32_t y = std::max(std::min(ownerRect.top, workArea.bottom - h), workArea.top);
  Window()->PlaceClient({x + frameLeft, y + frameTop}, client);
  return true;
}

void AdjustDialog::ShowRecord() {
  const AdjustmentRecord& r = view_.Adjustments();
  for (int i = 0; i < kAdjustSliderCount; ++i) {
    const auto which = static_cast<AdjustSlider>(i);
    const float field = which == AdjustSlider::kSharpness ? r.sharpness : r.colour.Get(kSliders[i].field);
    sliders_[static_cast<size_t>(i)]->SetValue(AdjustPositionOfField(which, field));
  }
  rotation_->SetSelected(r.orientation & kQuarterTurnBits);
  vertical_->SetChecked((r.orientation & kVerticalMirror) != 0);
  horizontal_->SetChecked((r.orientation & kHorizontalMirror) != 0);
  invert_->SetChecked(r.colour.invert);
  UpdateButtons();
}

void AdjustDialog::UpdateButtons() {
  const AdjustmentRecord& r = view_.Adjustments();
  AdjustmentRecord defaults;
  defaults.orientation = view_.ImageOrientationCode();
  reset_->SetEnabled(!(r == defaults) || !view_.Crop().IsNone());
  const bool realName = !path_.empty() && path_.front() != u'<';
  save_->SetEnabled(realName && !(r == saved_));
}

void AdjustDialog::OrientationChanged() {
  const uint8_t before = view_.Adjustments().orientation;
  const uint8_t code = static_cast<uint8_t>((rotation_->Selected() & kQuarterTurnBits) |
                                            (vertical_->IsChecked() ? kVerticalMirror : 0) |
                                            (horizontal_->IsChecked() ? kHorizontalMirror : 0));
  if (code == before) return;
  view_.SetOrientation(code);
  changed_(SwapsSides(before) != SwapsSides(code));
}

void AdjustDialog::Save() {
  if (path_.empty() || path_.front() == u'<') return;
  // A failed write leaves "保存" enabled, to be tried again.
  if (Succeeded(SaveAdjustments(view_, path_))) saved_ = view_.Adjustments();
  UpdateButtons();
}

void AdjustDialog::Reset() {
  const uint8_t before = view_.Adjustments().orientation;
  view_.ResetAdjustments(true);
  ShowRecord();
  changed_(SwapsSides(before) != SwapsSides(view_.Adjustments().orientation));
  Save();
}

void AdjustDialog::OnControlNotify(Control& control, uint16_t code) {
  for (int i = 0; i < kAdjustSliderCount; ++i) {
    if (&control != sliders_[static_cast<size_t>(i)] || code != kNotifyChanged) continue;
    const auto which = static_cast<AdjustSlider>(i);
    const float field = AdjustFieldOfPosition(which, sliders_[static_cast<size_t>(i)]->Value());
    if (which == AdjustSlider::kSharpness) {
      view_.SetSharpness(field);
    } else {
      ColourSettings colour = view_.Adjustments().colour;
      colour.Set(kSliders[i].field, field);
      view_.SetColour(colour);
    }
    changed_(false);
    UpdateButtons();
    return;
  }
  if (&control == rotation_ && code == kNotifySelection) {
    OrientationChanged();
  } else if ((&control == vertical_ || &control == horizontal_) && code == kNotifyClicked) {
    OrientationChanged();
  } else if (&control == invert_ && code == kNotifyClicked) {
    ColourSettings colour = view_.Adjustments().colour;
    colour.invert = invert_->IsChecked();
    view_.SetColour(colour);
    changed_(false);
  } else if (&control == reset_ && code == kNotifyClicked) {
    Reset();
  } else if (&control == save_ && code == kNotifyClicked) {
    Save();
  } else if (&control == cancel_ && code == kNotifyClicked) {
    EndDialog(0);
  } else if (&control == ok_ && code == kNotifyClicked) {
    EndDialog(1);
  }
  UpdateButtons();
}

}  // namespace vt
