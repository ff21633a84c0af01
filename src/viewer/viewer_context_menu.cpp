// The viewer window's popup menu: opened by the right button and by the
// context-menu key at the pointer.
#include "app/settings.h"
#include "render/view_state.h"
#include "ui/key_bindings.h"
#include "ui/popup_menu.h"
#include "viewer/view_command.h"
#include "viewer/viewer_app.h"
#include "viewer/viewer_menus.h"
#include "viewer/viewer_window.h"

namespace vt {

namespace {
constexpr uint32_t kApplicationsKey = 0x5D, kF10 = 0x79;
constexpr uint32_t kPauseKey = 0x13, kCommaKey = 0xBC, kPeriodKey = 0xBE;
}  // namespace

void ViewerWindow::OnMouseButton(int button, MouseAction action, ViewPoint, uint8_t) {
  if (button == 1 && action == MouseAction::kRelease) ShowContextMenu(false);
}

bool ViewerWindow::OnUnboundKey(uint32_t virtualKey, bool down, uint8_t modifiers) {
  // The animation controls, on keys no binding takes.
  if ((modifiers & 7) == 0 && view_ && view_->Animated()) {
    const uint32_t command = virtualKey == kPauseKey    ? kPauseAnimationCommand
                             : virtualKey == kPeriodKey ? kNextFrameCommand
                             : virtualKey == kCommaKey  ? kPreviousFrameCommand
                                                        : 0;
    if (command) {
      if (down) Dispatch(command, 0);
      return true;
    }
  }
  const bool menuKey = virtualKey == kApplicationsKey || (virtualKey == kF10 && (modifiers & 7) == kModifierShift);
  if (!menuKey) return false;
  if (down) ShowContextMenu(true);
  return true;
}

void ViewerWindow::ShowContextMenu(bool byKeyboard) {
  if (!view_ || destroyed_ || menuOpen_ || !Window()) return;
  ViewerMenuState state;
  state.frozen = frozen_;
  state.slideshow = slideshow_;
  state.maximized = IsMaximized();
  state.topmost = topmost_;
  state.slideshowFullScreen = Options().slideshowFullScreen != 0;
  state.keepZoom = app_.AppSettings().KeepZoom();
  state.checkerboard = CheckerboardShown();
  state.zoom = view_->Zoom();
  state.orientation = view_->Adjustments().orientation;
  state.animated = view_->Animated();
  state.paused = paused_;
  state.keepFileTime = app_.AppSettings().KeepFileTime();
  state.imageSize = NaturalImageSize();
  state.zoomedSize = ShownSize();
  state.clientSize = client_;
  Platform& os = app_.Os();
  ViewerMenuText text;
  text.translate = [this](std::u16string_view t) { return app_.Translate(t); };
  // The keys of the table in force (the frozen one shows what still acts).
  const AcceleratorTable* keys = Accelerators();
  text.keysOf = [keys, &os](uint16_t command) {
    return keys ? CommandKeysName(*keys, command, [&os](uint32_t vk) { return os.KeyName(vk); })
                : std::u16string();
  };

  state.pauseKey = os.KeyName(kPauseKey);
  state.nextFrameKey = os.KeyName(kPeriodKey);
  state.previousFrameKey = os.KeyName(kCommaKey);
  PopupMenu menu(PopupKind::kContextMenu, this, nullptr, Window()->Monitor().dpi);
  menu.Build(BuildViewerMenu(state, text));
  const ViewPoint at = os.CursorPosition();
  if (!menu.Open({at.x, at.y, at.x + 1, at.y + 1}, byKeyboard)) return;
  // While the menu runs the window keeps its frame as it is: a frame
  // shown on hover would otherwise go once the pointer is over the menu.
  menuOpen_ = true;
  ++commandNesting_;
  app_.BeginModal();
  const uint16_t command = RunModalMenu(menu, true);
  app_.EndModal();
  --commandNesting_;
  menuOpen_ = false;
  if (command != 0 && !destroyed_) Dispatch(command, 0);
}

}  // namespace vt
