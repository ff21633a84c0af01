// The viewer commands that change how the image itself is shown: turning and
// mirroring, the adjustments dialog, the animation controls and writing the
// rotation into a JPEG file.
#include <algorithm>

#include "app/settings.h"
#include "files/jpeg_orientation.h"
#include "image/image_cache.h"
#include "render/frame_step.h"
#include "render/orientation.h"
#include "render/render_view.h"
#include "render/view_geometry.h"
#include "viewer/adjust_dialog.h"
#include "viewer/view_command.h"
#include "viewer/viewer_app.h"
#include "viewer/viewer_window.h"

namespace vt {

bool ViewerWindow::RunImageCommand(uint32_t command) {
  switch (command) {
    case kCmdRotateLeft:
    case kCmdRotate180:
    case kCmdRotateRight:
    case kCmdMirrorVertical:
    case kCmdMirrorHorizontal: Turn(command); return true;
    case kCmdAdjustImage: AdjustImage(); return true;
    case kPauseAnimationCommand: PauseAnimation(!paused_); return true;
    case kNextFrameCommand: StepFrameCommand(true); return true;
    case kPreviousFrameCommand: StepFrameCommand(false); return true;
    case kSaveRotationCommand: SaveRotationIntoFile(); return true;
    case kKeepFileTimeCommand:
      app_.AppSettings().SetKeepFileTime(!app_.AppSettings().KeepFileTime());
      return true;
    default: return false;
  }
}

void ViewerWindow::Turn(uint32_t command) {
  const uint8_t code = view_->Adjustments().orientation;
  uint8_t next = code;
  switch (command) {
    case kCmdRotateLeft: next = TurnedOrientation(code, 1); break;
    case kCmdRotate180: next = TurnedOrientation(code, 2); break;
    case kCmdRotateRight: next = TurnedOrientation(code, 3); break;
    case kCmdMirrorVertical: next = code ^ kVerticalMirror; break;
    case kCmdMirrorHorizontal: next = code ^ kHorizontalMirror; break;
    default: return;
  }
  // A full-screen image shrunk to the screen in one direction is fitted
  // afresh from its own size, or the turned image would keep the old scale.
  const ViewSize shown = ShownSize();
  const bool resetZoom = IsMaximized() && Options().fullScreenShrinksLarge != 0 &&
                         (shown.width == client_.width || shown.height == client_.height);
  SetBusy(true);
  view_->SetOrientation(next);
  view_->DropAdjustedLayer();
  RenderView(*view_);
  SetBusy(false);
  if (resetZoom) RestoreOriginalSize(*this);
  Window()->PostCommand(kCmdShowNewImage, 0);
}

void ViewerWindow::AdjustmentsChanged(bool layout) {
  view_->DropAdjustedLayer();
  RenderView(*view_);
  if (layout) {
    Window()->PostCommand(kCmdShowNewImage, 0);
  } else {
    UpdateDisplaySurface();
    Refresh();
  }
}

void ViewerWindow::AdjustImage() {
  // The record as it was, for "取消".
  const AdjustmentRecord before = view_->Adjustments();
  AdjustDialog dialog(*view_, path_, [this](bool turned) { AdjustmentsChanged(turned); },
                      [this](std::u16string_view t) { return app_.Translate(t); });
  if (!dialog.Create(this, Window()->WindowRect(), Window()->Monitor().workArea)) {
    app_.Os().Beep();
    return;
  }
  app_.BeginModal();
  const int result = dialog.RunModal();
  app_.EndModal();
  if (destroyed_ || !view_) return;
  if (result != 1 && !(view_->Adjustments() == before)) {
    const bool turned = SwapsSides(before.orientation) != SwapsSides(view_->Adjustments().orientation);
    view_->SetAdjustments(before);
    AdjustmentsChanged(turned);
  }
}

void ViewerWindow::PauseAnimation(bool pause) {
  if (!view_->Animated()) {
    app_.Os().Beep();
    return;
  }
  paused_ = pause;
  if (pause) {
    SetAnimationTimer(-1);
  } else {
    // The next frame is due one delay from now, not from when it stopped.
    SetAnimationTimer(-1);
    SetAnimationTimer(std::max(view_->SourceImage()->Frame().delay, 0));
  }
  UpdateTitle();
}

void ViewerWindow::StepFrameCommand(bool forward) {
  if (!view_->Animated()) {
    app_.Os().Beep();
    return;
  }
  // Stepping by hand holds the animation where the steps leave it.
  if (!paused_) {
    paused_ = true;
    SetAnimationTimer(-1);
  }
  if (StepFrame(*view_, forward ? FrameDirection::kNext : FrameDirection::kPrevious)) {
    RenderView(*view_);
    UpdateDisplaySurface();
    Refresh();
  } else {
    app_.Os().Beep();
  }
  UpdateTitle();
}

void ViewerWindow::SaveRotationIntoFile() {
  Platform& os = app_.Os();
  if (path_.empty() || path_.front() == u'<') {
    os.Beep();
    return;
  }
  SetBusy(true);
  const Status status = SaveJpegOrientation(path_, view_->Adjustments().orientation, app_.AppSettings().KeepFileTime());
  SetBusy(false);
  if (status == status::kUnsupportedSubformat) {
    os.ShowMessageBox(Window(), app_.Translate(u"此文件无法无损地更改: 只有 JPEG 文件中已有的方向标记才能改写。"),
                      u"Vistrel", MessageBoxKind::kInformation);
    return;
  }
  if (Failed(status)) {
    const std::u16string text = app_.Translate(u"无法写入文件: \"%s\"");
    const size_t at = text.find(u"%s");
    os.ShowMessageBox(Window(), at == std::u16string::npos ? text : text.substr(0, at) + path_ + text.substr(at + 2),
                      u"Vistrel", MessageBoxKind::kError);
    return;
  }
  // The file now shows itself the way the view did: read it again, so that
  // its own orientation is the one the view starts from.
  Reload();
}

}  // namespace vt
