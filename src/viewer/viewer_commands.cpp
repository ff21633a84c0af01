// The viewer commands that stand apart from stepping and zooming: reload,
// colour sampler, screen capture, the folder in the file manager, help and
// the kept view of "keep zoom".
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "app/settings.h"
#include "base/file_system.h"
#include "image/image_buffer.h"
#include "image/image_cache.h"
#include "render/render_view.h"
#include "render/view_geometry.h"
#include "viewer/view_command.h"
#include "viewer/viewer_app.h"
#include "viewer/viewer_paint.h"
#include "viewer/viewer_window.h"

namespace vt {

namespace {

// The desktop redraws what the minimized window uncovered before the picture
// is taken.
constexpr uint32_t kCaptureSettleMilliseconds = 300;

std::u16string Decimal(uint32_t v) {
  const std::string digits = std::to_string(v);
  return std::u16string(digits.begin(), digits.end());
}

bool IsPseudoName(const std::u16string& path) { return path.empty() || path.front() == u'<'; }

}  // namespace

void ViewerWindow::Reload() {
  if (IsPseudoName(path_)) {
    app_.Os().Beep();  // nothing on disk to read again
    return;
  }
  // A file rewritten within the same second at the same size would still be
  // taken for the cached one.
  app_.Cache().Remove(path_);
  const std::u16string path = path_;
  OpenImage(path, true);
}

void ViewerWindow::SampleColour() {
  Platform& os = app_.Os();
  const ViewPoint cursor = os.CursorPosition();
  const ViewPoint origin = Window()->ClientOrigin();
  const ViewSize client = Window()->ClientSize();
  if (!Contains({origin.x, origin.y, origin.x + client.width, origin.y + client.height}, cursor)) return;
  // What the screen shows there: zoomed, adjusted, on its background.
  const auto picture = os.CaptureScreen({cursor.x, cursor.y, cursor.x + 1, cursor.y + 1});
  if (!picture || picture->Empty()) return;
  const uint32_t p = picture->pixels[0];
  const std::u16string text = u"     R:\t" + Decimal(p >> 16 & 0xFF) + u"\n     G:\t" + Decimal(p >> 8 & 0xFF) +
                              u"\n     B:\t" + Decimal(p & 0xFF);
  os.ShowMessageBox(Window(), text, u"RGB", MessageBoxKind::kTopmostPlain);
}

void ViewerWindow::Capture(bool foregroundWindow) {
  Platform& os = app_.Os();
  const bool wasMaximized = IsMaximized();
  const MonitorInfo monitor = Window()->Monitor();
  ++geometryNesting_;
  Window()->Show(ShowState::kMinimized, false);
  --geometryNesting_;
  os.PumpPendingMessages();
  os.Sleep(kCaptureSettleMilliseconds);
  ViewRect area = monitor.rect;
  if (foregroundWindow) {
    // The window the user turned to last, now that this one is out of the way.
    if (const auto other = os.ForegroundWindowRect()) area = Intersect(*other, monitor.rect);
  }
  const auto picture = os.CaptureScreen(area);
  const bool shown = picture && !picture->Empty() &&
                     ShowCapturedImage(*picture, foregroundWindow ? u"<window>" : u"<screen>");
  ++geometryNesting_;
  Window()->Show(wasMaximized ? ShowState::kMaximized : ShowState::kNormal, true);
  --geometryNesting_;
  if (!shown) {
    os.Beep();
    return;
  }
  UpdateTitle();
  Window()->PostCommand(kCmdRestoreOriginalSize, 0);
}

bool ViewerWindow::ShowCapturedImage(const PixelSurface& picture, std::u16string_view name) {
  RefPtr<ImageBuffer> image = ImageBuffer::Create(PixelFormat::Bgra8, static_cast<uint32_t>(picture.width),
                                                  static_cast<uint32_t>(picture.height));
  if (!image) return false;
  for (int32_t y = 0; y < picture.height; ++y)
    std::memcpy(image->Row(static_cast<uint32_t>(y)), picture.Row(y), size_t(picture.width) * 4);
  image->SetAlpha(AlphaMode::None);
  image->Properties().Set(PropertyId::FileName, name);
  image->Properties().Set(PropertyId::Dimensions, u"24");
  SetAnimationTimer(-1);
  ViewFlags flags;
  flags.displayBuffers = true;
  flags.keepTransparency = true;
  flags.frameless = !frameShown_;
  view_ = std::make_unique<ViewState>(std::move(image), flags);
  RenderView(*view_);
  if (!IsPseudoName(path_)) ForgetLogonShortcut();
  path_ = name;
  folder_.reset();
  FollowFolder();
  Window()->PostCommand(kCmdShowNewImage, 0);
  return true;
}

void ViewerWindow::OpenFolderInShell() {
  const size_t slash = path_.find_last_of(u"\\/");
  if (IsPseudoName(path_) || slash == std::u16string::npos) {
    app_.Os().Beep();
    return;
  }
  // A drive's root keeps its separator ("C:" alone is the drive's current folder).
  std::u16string folder = path_.substr(0, slash);
  if (folder.empty() || folder.back() == u':') folder = path_.substr(0, slash + 1);
  if (!app_.Os().OpenWithShell(folder)) app_.Os().Beep();
}

void ViewerWindow::OpenHelp() {
  const std::u16string help = app_.AppSettings().ProgramFolder() + u"Vistrel.chm";
  if (!PathExists(help) || !app_.Os().OpenWithShell(help)) app_.Os().Beep();
}

void ViewerWindow::NoteKeptView() {
  keptView_.reset();
  if (!app_.AppSettings().KeepZoom() || !view_ || frozen_) return;
  const ViewSize shown = ShownSize();
  if (shown.width <= 0 || shown.height <= 0) return;
  const ViewSize visible{std::min(client_.width, shown.width), std::min(client_.height, shown.height)};
  const ViewPoint scroll = ClampScroll(scroll_, client_, shown);
  keptView_ = KeptView{view_->Zoom(), (scroll.x + visible.width / 2.0) / shown.width,
                       (scroll.y + visible.height / 2.0) / shown.height};
}

void ViewerWindow::ApplyKeptView() {
  if (!keptView_) return;
  const KeptView kept = *keptView_;
  keptView_.reset();
  if (!view_ || frozen_) return;
  SetZoom(*this, kept.zoom);
  const ViewSize shown = ShownSize();
  const ViewSize visible{std::min(client_.width, shown.width), std::min(client_.height, shown.height)};
  const ViewPoint centre{static_cast<int32_t>(std::lround(kept.centreX * shown.width)),
                         static_cast<int32_t>(std::lround(kept.centreY * shown.height))};
  scroll_ = ClampScroll({centre.x - visible.width / 2, centre.y - visible.height / 2}, client_, shown);
  Refresh();
}

}  // namespace vt
