#include "viewer/viewer_menus.h"

#include <cmath>
#include <iterator>
#include <memory>

#include "viewer/view_commands.h"

namespace vt {

namespace {

constexpr int kPresetPercent[] = {12, 25, 50, 75, 100, 150, 200, 400, 800};

MenuIcon IconOf(uint16_t command) {
  switch (command) {
    case kCmdLoadNew: return MenuIcon::kOpen;
    case kCmdCreateNew:
    case kCmdCreateNext:
    case kCmdCreatePrevious: return MenuIcon::kNewWindow;
    case kCmdNextFile: return MenuIcon::kNext;
    case kCmdPreviousFile: return MenuIcon::kPrevious;
    case kCmdFirstFile: return MenuIcon::kFirst;
    case kCmdLastFile: return MenuIcon::kLast;
    case kCmdZoomIn: return MenuIcon::kZoomIn;
    case kCmdZoomOut: return MenuIcon::kZoomOut;
    case kCmdFullScreen: return MenuIcon::kFullScreen;
    case kCmdRestoreWindow: return MenuIcon::kRestore;
    case kCmdRotateLeft:
    case kCmdRotate180:
    case kCmdRotateRight: return MenuIcon::kRotate;
    case kCmdFreeze: return MenuIcon::kFreeze;
    case kCmdReload: return MenuIcon::kReload;
    case kCmdOpenFolder: return MenuIcon::kFolder;
    case kCmdCopyToClipboard: return MenuIcon::kCopy;
    case kCmdPasteFromClipboard: return MenuIcon::kPaste;
    case kCmdDeleteFile:
    case kCmdDeleteShowNext:
    case kCmdEraseFile:
    case kCmdEraseShowNext: return MenuIcon::kDelete;
    case kCmdCaptureScreen:
    case kCmdCaptureWindow: return MenuIcon::kCapture;
    case kCmdSlideshow: return MenuIcon::kSlideshow;
    case kCmdOptions: return MenuIcon::kOptions;
    case kCmdHelp: return MenuIcon::kHelp;
    case kCmdClose: return MenuIcon::kClose;
    default: return MenuIcon::kNone;
  }
}

class Builder {
 public:
  explicit Builder(ViewerMenuText text) : text_(std::move(text)) {}
  // keysFrom: the command whose key text the item shows (itself by default).
  MenuEntry& Item(MenuModel& m, uint16_t command, uint16_t keysFrom = 0) {
    MenuEntry& e = m.AddItem(command, text_.translate(ViewCommandName(command)), IconOf(command));
    e.accelerator = text_.keysOf(keysFrom ? keysFrom : command);
    e.enabled = IsViewCommandAvailable(command);
    return e;
  }
  void Items(MenuModel& m, std::initializer_list<uint16_t> commands) {
    for (uint16_t c : commands) Item(m, c);
  }
  std::u16string Text(std::u16string_view builtIn) const { return text_.translate(builtIn); }

 private:
  ViewerMenuText text_;
};
using SharedBuilder = std::shared_ptr<Builder>;

void FileMenu(MenuModel& m, Builder& b, const ViewerMenuState& s) {
  b.Items(m, {kCmdFirstFile, kCmdLastFile});
  m.AddSeparator();
  b.Items(m, {kCmdCreateNext, kCmdCreatePrevious});
  m.AddSeparator();
  b.Items(m, {kCmdImageInfo, kCmdReload, kCmdSaveAs, kCmdOpenFolder});
  m.AddSeparator();
  // Kept by the window, like "保持缩放": no key text.
  m.AddItem(static_cast<uint16_t>(kSaveRotationCommand), b.Text(u"将旋转保存到文件"));
  m.AddItem(static_cast<uint16_t>(kKeepFileTimeCommand), b.Text(u"保存旋转时保留文件时间")).checked = s.keepFileTime;
  m.AddSeparator();
  b.Items(m, {kCmdCopyFile, kCmdMoveFile, kCmdRenameFile, kCmdDeleteFile, kCmdDeleteShowNext, kCmdEraseFile,
              kCmdEraseShowNext});
  m.AddSeparator();
  b.Items(m, {kCmdCopyToClipboard, kCmdPasteFromClipboard, kCmdCaptureScreen, kCmdCaptureWindow});
  m.AddSeparator();
  b.Item(m, kCmdCloseAll);
}

void ViewMenu(MenuModel& m, const SharedBuilder& shared, const ViewerMenuState& s) {
  Builder& b = *shared;
  b.Item(m, s.maximized ? kCmdRestoreWindow : kCmdFullScreen, kCmdToggleFullScreen);
  if (s.imageSize != s.clientSize) b.Items(m, {kCmdFitWindowToImage, kCmdFitImageToWindow});
  if (s.zoomedSize != s.imageSize) b.Item(m, kCmdRestoreOriginalSize);
  if (s.zoomedSize.width > s.clientSize.width || s.zoomedSize.height > s.clientSize.height)
    b.Item(m, kCmdTrimImageToWindow);
  b.Item(m, kCmdTopmost).checked = s.topmost;
  if (!s.maximized) b.Item(m, kCmdFreeze);
  m.AddSeparator();
  b.Items(m, {kCmdRotateRight, kCmdRotateLeft, kCmdRotate180});
  b.Item(m, kCmdMirrorVertical).checked = (s.orientation & 4) != 0;
  b.Item(m, kCmdMirrorHorizontal).checked = (s.orientation & 8) != 0;
  m.AddSeparator();
  if (s.animated) {
    MenuEntry& pause = m.AddItem(static_cast<uint16_t>(kPauseAnimationCommand), b.Text(u"暂停动画"));
    pause.checked = s.paused;
    pause.accelerator = s.pauseKey;
    MenuEntry& next = m.AddItem(static_cast<uint16_t>(kNextFrameCommand), b.Text(u"下一帧"));
    next.accelerator = s.nextFrameKey;
    MenuEntry& previous = m.AddItem(static_cast<uint16_t>(kPreviousFrameCommand), b.Text(u"上一帧"));
    previous.accelerator = s.previousFrameKey;
    m.AddSeparator();
  }
  b.Items(m, {kCmdZoomIn, kCmdZoomOut});
  const uint16_t checked = CheckedZoomPreset(s.zoom);
  m.AddSubmenu(b.Text(u"缩放到因子"), [shared, checked](MenuModel& sub) {
    for (uint16_t c = kCmdZoom12; c <= kCmdZoom800; ++c) shared->Item(sub, c).checked = c == checked;
  });
  // Kept by the window, not a command of the key list: no key text.
  MenuEntry& keep = m.AddItem(static_cast<uint16_t>(kKeepZoomCommand), b.Text(u"保持缩放"));
  keep.checked = s.keepZoom;
  MenuEntry& checker =
      m.AddItem(static_cast<uint16_t>(kCheckerboardCommand), b.Text(u"透明区域显示棋盘格"));
  checker.checked = s.checkerboard;
  m.AddSeparator();
  b.Items(m, {kCmdWallpaper, kCmdSendToBack});
}

void SlideshowMenu(MenuModel& m, Builder& b, const ViewerMenuState& s) {
  b.Items(m, {kCmdSlideshow, kCmdCreateSlideshow});
  b.Item(m, kCmdSlideshowFullScreen).checked = s.slideshowFullScreen;
}

}  // namespace

uint16_t CheckedZoomPreset(double zoom) {
  const double percent = std::trunc(zoom * 100 + 0.1);
  for (size_t i = 0; i < std::size(kPresetPercent); ++i)
    if (percent == kPresetPercent[i]) return static_cast<uint16_t>(kCmdZoom12 + i);
  return 0;
}

MenuModel BuildViewerMenu(const ViewerMenuState& s, const ViewerMenuText& text) {
  MenuModel m;
  // The builder outlives this call inside the submenus' builders.
  auto b = std::make_shared<Builder>(text);
  if (s.slideshow) {
    b->Item(m, kCmdCancel);
    b->Item(m, kCmdSlideshowFullScreen).checked = s.slideshowFullScreen;
    return m;
  }
  if (s.frozen) {
    b->Items(m, {kCmdFreeze, kCmdCreateNew});
    m.AddSeparator();
    b->Items(m, {kCmdLoadNew, kCmdNextFile, kCmdPreviousFile});
    m.AddSeparator();
    b->Items(m, {kCmdZoomIn, kCmdZoomOut});
    m.AddSeparator();
    b->Items(m, {kCmdHelp, kCmdClose});
    return m;
  }
  if (s.maximized) b->Item(m, kCmdRestoreWindow);
  b->Items(m, {kCmdLoadNew, kCmdCreateNew});
  m.AddSeparator();
  b->Items(m, {kCmdNextFile, kCmdPreviousFile});
  m.AddSeparator();
  m.AddSubmenu(b->Text(u"文件"), [b, s](MenuModel& sub) { FileMenu(sub, *b, s); });
  m.AddSubmenu(b->Text(u"查看"), [b, s](MenuModel& sub) { ViewMenu(sub, b, s); });
  m.AddSubmenu(b->Text(u"幻灯片"), [b, s](MenuModel& sub) { SlideshowMenu(sub, *b, s); }, MenuIcon::kSlideshow);
  m.AddSeparator();
  b->Items(m, {kCmdAdjustImage, kCmdIndex});
  m.AddSeparator();
  b->Items(m, {kCmdOptions, kCmdHelp, kCmdClose});
  return m;
}

}  // namespace vt
