#include "viewer/viewer_window.h"

#include <algorithm>
#include <cmath>

#include "app/settings.h"
#include "base/file_system.h"
#include "image/image_buffer.h"
#include "image/image_cache.h"
#include "render/adjustment_file.h"
#include "render/frame_step.h"
#include "render/render_view.h"
#include "render/view_geometry.h"
#include "viewer/read_ahead_render.h"
#include "viewer/view_command.h"
#include "viewer/viewer_app.h"
#include "viewer/viewer_paint.h"
#include "viewer/viewer_title.h"
#include "viewer/window_rules.h"

namespace vt {

namespace {

constexpr uint8_t kSemiTransparentOff = 0x80;
constexpr uint8_t kAutomaticColourOff = 0x40;

bool EndsWithNoCase(std::u16string_view s, std::u16string_view suffix) {
  if (s.size() < suffix.size()) return false;
  for (size_t i = 0; i < suffix.size(); ++i) {
    char16_t c = s[s.size() - suffix.size() + i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    if (c != suffix[i]) return false;
  }
  return true;
}

std::u16string_view FolderOf(std::u16string_view path) {
  const size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string_view::npos ? std::u16string_view() : path.substr(0, slash);
}

std::u16string_view FileNameOf(std::u16string_view path) {
  const size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

// The folder to run in: a drive or file-system root keeps its separator, as
// "C:" alone would mean the drive's current folder.
std::u16string_view WorkingFolderOf(std::u16string_view path) {
  const size_t slash = path.find_last_of(u"\\/");
  if (slash == std::u16string_view::npos) return {};
  const std::u16string_view folder = path.substr(0, slash);
  return folder.empty() || folder.back() == u':' ? path.substr(0, slash + 1) : folder;
}

std::u16string Decimal(int64_t v) {
  const std::string text = std::to_string(v);
  return std::u16string(text.begin(), text.end());
}

// Raised for the life of a scope.
class Nesting {
 public:
  explicit Nesting(int32_t& n) : n_(n) { ++n_; }
  ~Nesting() { --n_; }
  Nesting(const Nesting&) = delete;
  Nesting& operator=(const Nesting&) = delete;

 private:
  int32_t& n_;
};

}  // namespace

std::u16string OpenFailureText(
    Status status, const std::u16string& path,
    const std::function<std::u16string(std::u16string_view)>& translate) {
  FileStamp stamp;
  if (status == status::kCannotOpenFile && GetFileStamp(path, &stamp) && stamp.size == 0) {
    // The file is there and readable; there is just nothing in it.
    return translate(u"文件为空") + u"\n" + path;
  }
  if (status == status::kCannotOpenFile || Succeeded(status)) {
    std::u16string text = translate(u"无法打开文件: \"%s\"");
    const size_t at = text.find(u"%s");
    if (at != std::u16string::npos) text.replace(at, 2, path);
    return text;
  }
  return translate(StatusText(status)) + u"\n" + path;
}

std::u16string LogonZoomText(double zoom) {
  // Rounded as a whole: a digit-by-digit rounding would carry 1.9996 into a
  // fourth digit.
  const int64_t z = std::llround(zoom * 1000.0);
  const int64_t fraction = z % 1000;
  std::u16string text = Decimal(z / 1000) + u".";
  text.push_back(static_cast<char16_t>(u'0' + fraction / 100));
  text.push_back(static_cast<char16_t>(u'0' + fraction / 10 % 10));
  text.push_back(static_cast<char16_t>(u'0' + fraction % 10));
  return text;
}

std::u16string LogonArguments(ViewPoint clientTopLeft, double zoom, std::u16string_view path) {
  std::u16string text = u"-freeze -pos=" + Decimal(clientTopLeft.x) + u"," + Decimal(clientTopLeft.y) +
                        u" -zoom=" + LogonZoomText(zoom) + u" \"";
  text += path;
  text += u"\"";
  return text;
}

ViewerWindow::ViewerWindow(ViewerApp& app) : app_(app) {}

ViewerWindow::~ViewerWindow() {
  folder_.reset();
  FollowFolder();
}

void ViewerWindow::FollowFolder() {
  if (watchedFolder_ == folder_) return;
  if (watchedFolder_) watchedFolder_->RemoveListener(&folderWatch_);
  watchedFolder_ = folder_;
  if (watchedFolder_) watchedFolder_->AddListener(&folderWatch_);
}

OptionsBlock& ViewerWindow::Options() const { return app_.AppSettings().Options(); }

bool ViewerWindow::Create(const std::u16string* path, const ViewerOptions& options) {
  app_.WindowCreating();
  Platform& os = app_.Os();
  const MonitorInfo monitor =
      options.monitor ? *options.monitor : os.MonitorNearest({0, 0, 1, 1});
  const ViewRect area = monitor.workArea;

  framelessMode_ = Options().viewerTitleBar != 0;
  startFullScreen_ = options.fullScreen || Options().openFullScreen != 0;
  pendingZoom_ = options.zoom > 0 ? options.zoom : -1.0f;
  centred_ = !options.position.has_value();
  requestedPosition_ = options.position;

  WindowCreateParams params;
  params.title = u"Vistrel";
  params.visible = false;  // shown by the first layout, once it has its size
  params.acceptFiles = true;
  if (!options.frozen) {
    params.clientSize = {2, 2};
    params.clientTopLeft = options.position ? *options.position
                                            : ViewPoint{area.left + area.Width() / 2 - 1,
                                                        area.top + area.Height() / 2 - 1};
  } else {
    params.owner = app_.HiddenOwner();
    params.clientTopLeft = options.position ? *options.position : ViewPoint{area.left, area.top};
    params.clientSize = {2, 2};
    params.noActivate = true;
    params.bottom = true;
    frozen_ = true;
    showNoActivate_ = true;
  }
  if (!CreateToolkitWindow(params)) return false;

  progress_ = MakeRef<LoadProgress>(os, Window(), kApplyProgressCommand);
  metrics_ = FrameMetricsForDpi(Window()->Monitor().dpi);
  dpiScale_ = DpiScale(Window()->Monitor().dpi);
  RebuildAccelerators();
  SetAccelerators(frozen_ ? &frozenKeys_ : &fullKeys_);
  os.SetProgress(ProgressState::kNormal, 0, 100);

  bool opened = false;
  if (!path || path->empty()) {
    const auto chosen = os.ShowOpenDialog(Window(), app_.Translate(u"打开图像文件") + u" | Vistrel",
                                          app_.OpenFilter(), true);
    if (!chosen.empty()) {
      opened = Succeeded(OpenImage(chosen.front(), true));
      for (size_t i = 1; i < chosen.size(); ++i) app_.OpenWindow(chosen[i], nullptr, this);
    }
  } else {
    opened = Succeeded(OpenImage(*path, true));
  }
  if (!opened) {
    Window()->PostCloseRequest();
    return false;
  }
  if (options.topmost) {
    topmost_ = true;
    Window()->SetTopmost(true);
  }
  if (options.title) fixedTitle_ = *options.title + u" - Vistrel";
  return true;
}

Status ViewerWindow::OpenImage(const std::u16string& requested, bool showErrors) {
  std::u16string path = requested;
  // The program's own files: an adjustment file opens the image it belongs to.
  if (EndsWithNoCase(path, u".vta")) path.resize(path.size() - 4);

  Platform& os = app_.Os();
  os.SetPriorityAboveNormal(true);
  const bool cached = app_.Cache().Lookup(path) != nullptr;
  if (!cached) SetBusy(true);
  os.SetProgress(ProgressState::kNormal, 0, 100);

  RefPtr<ImageBuffer> image;
  const RefPtr<ProgressSink> progress = progress_->Begin();
  const Status status = app_.Cache().LoadPath(&image, path, 0, progress.get());
  progress_->End();
  const bool ok = Succeeded(status) && image;
  if (ok) {
    os.SetProgress(ProgressState::kNormal, 100, 100);
    SetAnimationTimer(-1);
    ViewFlags flags;
    flags.displayBuffers = true;
    flags.keepTransparency = true;
    flags.frameless = !frameShown_;
    view_ = std::make_unique<ViewState>(std::move(image), flags);
    paused_ = false;
    LoadAdjustments(*view_, path);
    RenderView(*view_);
  }
  os.SetPriorityAboveNormal(false);

  if (!ok && showErrors) {
    const auto translate = [this](std::u16string_view t) { return app_.Translate(t); };
    os.ShowMessageBox(Window(), OpenFailureText(status, path, translate), u"Vistrel",
                      MessageBoxKind::kError);
  }

  app_.AppSettings().RecentFolders().AddOrRemove(FolderOf(path), false);
  os.SetProgress(ProgressState::kNone, 0, 0);
  if (!cached) SetBusy(false);

  if (!ok) return Succeeded(status) ? status::kCannotOpenFile : status;

  app_.AppSettings().SetLastFilePath(path);
  if (FolderOf(path) != FolderOf(path_) || !folder_) {
    folder_.reset();
    const std::u16string_view folder = FolderOf(path);
    if (!folder.empty()) folder_ = app_.FolderNavigator().Listings().Acquire(folder, false);
  }
  FollowFolder();
  if (path != path_) ForgetLogonShortcut();
  path_ = path;
  if (client_.width == 0 && client_.height == 0)
    readAheadAfterLayout_ = true;
  else
    ScheduleReadAhead();
  Window()->PostCommand(kCmdShowNewImage, 0);
  return status::kOk;
}

void ViewerWindow::ScheduleReadAhead() {
  readAheadAfterLayout_ = false;
  readAheadAfterPaint_ = false;
  if (path_.empty() || path_[0] == u'<' || !view_) return;
  app_.Cache().ScheduleLoad(path_, LoadMode::SameDirection, true, nullptr, nullptr,
                            MakeRef<FitRenderHint>(FitRoomOf(*this), view_->Flags()));
}

// ---- ViewWindow -------------------------------------------------------------

ViewPoint ViewerWindow::ClientOrigin() const { return Window()->ClientOrigin(); }
ViewRect ViewerWindow::MonitorWorkArea() const {
  const ViewRect area = Window()->Monitor().workArea;
  return HoverFrameComes() ? HoverFrameRoom(area, metrics_) : area;
}
bool ViewerWindow::HoverFrameComes() const {
  return Options().viewerTitleBar == 1 && !frameShown_ && !frozen_ && !IsMaximized();
}
ViewRect ViewerWindow::MonitorRect() const { return Window()->Monitor().rect; }
uint32_t ViewerWindow::MonitorDpi() const { return Window()->Monitor().dpi; }
bool ViewerWindow::IsMaximized() const { return Window()->State() == ShowState::kMaximized; }
bool ViewerWindow::AlwaysFramed() const { return frameShown_; }
bool ViewerWindow::AutoFitImage() const { return Options().autoFit != 0; }
void ViewerWindow::SetAutoFitImage(bool on) { Options().autoFit = on ? 1 : 0; }

ViewSize ViewerWindow::ShownSize() const {
  if (!view_ || !view_->ShownImage()) return {};
  const auto side = [](uint32_t v) {
    return static_cast<int32_t>(std::min<uint32_t>(v, INT32_MAX));
  };
  return {side(view_->ShownWidth()), side(view_->ShownHeight())};
}

void ViewerWindow::RestoreFromFullScreen() {
  if (!IsMaximized()) return;
  Nesting geometry(geometryNesting_);
  LeaveFullScreen();
}

void ViewerWindow::PlaceClient(ViewPoint topLeft, ViewSize size) {
  if (!frameShown_ && Window()->IsLayered()) {
    Present(topLeft, size);
    return;
  }
  if (HoverFrameComes()) topLeft = KeepHoverFrameOnArea(topLeft, size, Window()->Monitor().workArea, metrics_);
  {
    Nesting geometry(geometryNesting_);
    Window()->PlaceClient(topLeft, size);
  }
  client_ = Window()->ClientSize();
  Window()->Repaint();
}

void ViewerWindow::PlaceWindow(std::optional<ViewPoint> topLeft, ViewSize windowSize) {
  {
    Nesting geometry(geometryNesting_);
    Window()->PlaceWindow(topLeft, windowSize);
  }
  client_ = Window()->ClientSize();
  Window()->Repaint();
}

void ViewerWindow::Present(std::optional<ViewPoint> topLeft, ViewSize size) {
  const ViewSize full = ShownSize();
  const bool layered = !frameShown_ && Window()->IsLayered() && view_ && view_->ShownImage();
  // A layered window has exactly the size of the visible part of the image.
  const ViewSize placed = layered ? ViewSize{std::min(size.width, full.width), std::min(size.height, full.height)}
                                  : size;
  if (topLeft && HoverFrameComes())
    topLeft = KeepHoverFrameOnArea(*topLeft, placed, Window()->Monitor().workArea, metrics_);
  if (!layered) {
    Nesting geometry(geometryNesting_);
    Window()->PlaceClient(topLeft ? *topLeft : Window()->ClientOrigin(), size);
    client_ = Window()->ClientSize();
    Window()->Repaint();
    return;
  }
  scroll_ = ClampScroll(scroll_, placed, full);
  const Drawing drawing = DrawingOf(placed);
  if (!drawing.image) return;
  {
    Nesting geometry(geometryNesting_);
    Window()->PresentLayered(*drawing.image, drawing.from, topLeft, placed,
                             layered_ && hasAlpha_ && !drawing.opaque);
  }
  client_ = placed;
  if (readAheadAfterPaint_) ScheduleReadAhead();
}

ViewerWindow::Drawing ViewerWindow::DrawingOf(ViewSize visible) {
  const ShownPart part = ShowPart(
      *view_, {scroll_.x, scroll_.y, scroll_.x + visible.width, scroll_.y + visible.height});
  if (!part.image) return {};
  const ViewPoint from{scroll_.x - part.origin.x, scroll_.y - part.origin.y};
  if (app_.AppSettings().Checkerboard() && view_->ShownAlpha() != AlphaMode::None) {
    // Laid over the squares, the image is opaque: kept here for as long as
    // the window draws from it.
    checkered_ = OverCheckerboard(*part.image, from, visible, scroll_, CheckerSquare());
    if (checkered_) {
      PrepareDisplaySurface(*checkered_, !frameShown_);
      return {checkered_.get(), {0, 0}, true};
    }
  }
  return {part.image, from, part.image->Alpha() == AlphaMode::None};
}

int32_t ViewerWindow::CheckerSquare() const {
  return std::max(1, static_cast<int32_t>(std::lround(kCheckerSquare * dpiScale_)));
}

void ViewerWindow::SetCheckerboard(bool on) {
  Settings& settings = app_.AppSettings();
  if (settings.Checkerboard() == on) return;
  settings.SetCheckerboard(on);
  for (ViewerWindow* w : app_.Windows()) {
    w->checkered_.reset();
    if (w->view_) w->Refresh();
  }
}

bool ViewerWindow::CheckerboardShown() const {
  return app_.AppSettings().Checkerboard();
}

void ViewerWindow::Refresh() {
  if (!frameShown_ && Window()->IsLayered())
    Present(std::nullopt, client_);
  else
    Window()->Repaint();
}

void ViewerWindow::SetBusy(bool busy) {
  busy_ += busy ? 1 : -1;
  UpdateCursor();
}

void ViewerWindow::ShowNotAllowedCursor(bool show) {
  notAllowed_ += show ? 1 : -1;
  UpdateCursor();
}

void ViewerWindow::UpdateCursor() {
  if (!Window()) return;
  Window()->SetCursor(busy_ > 0 ? CursorKind::kWait
                      : notAllowed_ > 0 ? CursorKind::kNotAllowed
                                        : CursorKind::kArrow);
}

void ViewerWindow::UpdateTitle() {
  if (!Window()) return;
  if (fixedTitle_) {
    Window()->SetTitle(*fixedTitle_);
    return;
  }
  if (!view_) {
    Window()->SetTitle(u"Vistrel");
    return;
  }
  TitleParts parts = TitlePartsOf(*view_);
  const std::u16string slideshowText = app_.Translate(u"幻灯片");
  parts.slideshow = slideshow_;
  parts.slideshowText = slideshowText;
  parts.path = path_;
  parts.fullPath = Options().titleShowsFullPath != 0;
  parts.showResolution = Options().titleShowsResolution != 0;
  // A paused animation tells which of its frames stands still.
  std::u16string frameText;
  if (paused_ && view_->Animated()) {
    const std::string place = " " + std::to_string(FrameIndex(*view_) + 1) + "/" + std::to_string(FrameCount(*view_));
    frameText = app_.Translate(u"帧") + std::u16string(place.begin(), place.end());
    parts.pageText = frameText;
  }
  Window()->SetTitle(BuildViewerTitle(parts));
}

// ---- Showing a new image ----------------------------------------------------

void ViewerWindow::ShowNewImage() {
  if (!view_ || !Exists()) return;
  const bool firstLayout = client_.width == 0 && client_.height == 0;
  const bool goFullScreen = !IsMaximized() && firstLayout && startFullScreen_;
  if (readAheadAfterLayout_) {
    readAheadAfterLayout_ = false;
    readAheadAfterPaint_ = true;
  }

  largerThanScreen_ = false;
  ImageBuffer* source = view_->SourceImage();
  // The background the image asks for: its own, else sampled from it.
  imageBackground_ = 0;
  for (ImageBuffer* b = source; b && !imageBackground_; b = b == b->First() ? nullptr : b->First())
    if (b->Frame().background >> 24) imageBackground_ = b->Frame().background;
  if (!imageBackground_) imageBackground_ = SampleBackgroundColour(*source).value_or(0);

  if (pendingZoom_ > 0) {
    SetZoom(*this, pendingZoom_);
    pendingZoom_ = -1.0f;
    // The zoom keeps the window's centre; a window placed by the command line
    // keeps its given corner instead.
    if (firstLayout && requestedPosition_) {
      Nesting geometry(geometryNesting_);
      Window()->PlaceClient(*requestedPosition_, Window()->ClientSize());
    }
  }
  if (IsMaximized() || goFullScreen) {
    EnterFullScreen();
  } else if (firstLayout && frozen_) {
    HideFrameNow();
  } else if (firstLayout) {
    SetFrame(false, true);
  }

  const bool wasLayered = layered_, hadAlpha = hasAlpha_;
  EvaluateLayered();
  if (!frameShown_ && (wasLayered != layered_ || hadAlpha != hasAlpha_)) UpdateDisplaySurface();

  if (!frozen_) {
    // A scaled image the read-ahead made for this window is used by the render
    // below when the fit asks for exactly that image at exactly that size.
    if (RefPtr<ImageBuffer> prepared = app_.Cache().TakePrepared(view_->SourceImage()))
      view_->OfferScaledImage(std::move(prepared), view_->SourceImage());
    if (!IsMaximized()) {
      FitWindowToImage(*this, !firstLayout);
      normalLayout_ = true;
    } else {
      FullScreenFit();
    }
    UpdateTitle();
    if (firstLayout) {
      {
        Nesting geometry(geometryNesting_);
        Window()->Show(IsMaximized() ? ShowState::kMaximized : ShowState::kNormal, !showNoActivate_);
      }
      if (!IsMaximized() && frameShown_) client_ = Window()->ClientSize();
      Refresh();
    }
    Window()->BringToFront();
    Refresh();
  } else if (firstLayout) {
    FitWindowToImage(*this, false);
    savedClient_ = client_;
    savedClientOrigin_ = Window()->ClientOrigin();
    savedWindowRect_ = Window()->WindowRect();
    UpdateTitle();
    {
      Nesting geometry(geometryNesting_);
      Window()->Show(ShowState::kNormal, false);
    }
    Window()->SendToBack();
    Refresh();
  } else {
    const ViewSize shown = ShownSize();
    if (shown.width <= savedClient_.width && shown.height <= savedClient_.height) {
      FitWindowToImage(*this, true);
    } else {
      // The fit places the client: the window's own corner would shift a
      // bordered window by its border with every large image.
      FitImageToWindow(*this, false, false, savedClientOrigin_, savedClient_);
    }
    UpdateTitle();
  }

  if (source->Next() && source->Frame().delay >= 0 && !paused_) SetAnimationTimer(source->Frame().delay);
  ApplyKeptView();
}

void ViewerWindow::FullScreenFit() {
  const ViewSize shown = ShownSize();
  const ViewRect monitor = MonitorRect();
  const bool exceeds = shown.width > monitor.Width() || shown.height > monitor.Height();
  const OptionsBlock& o = Options();
  bool fit;
  if (!o.autoFit)
    fit = o.fullScreenShrinksLarge && exceeds;
  else if (o.fitOnlyShrinks)
    fit = exceeds;
  else
    fit = true;
  if (fit)
    FitImageToWindow(*this, false, false);
  else
    Refresh();
}

void ViewerWindow::EnterFullScreen() {
  {
    Nesting geometry(geometryNesting_);
    fullScreen_ = true;
    layered_ = false;
    Window()->SetLayered(false);
    frameShown_ = true;
    view_->Flags().frameless = false;
    Window()->SetFrame(FrameStyle::kFramed);
    // Above every normal window, so that the taskbar does not cover it.
    Window()->SetTopmost(true);
    Window()->Show(ShowState::kMaximized, !showNoActivate_);
    client_ = Window()->ClientSize();
  }
  UpdateDisplaySurface();
  scroll_ = {0, 0};
}

void ViewerWindow::LeaveFullScreen() {
  Nesting geometry(geometryNesting_);
  fullScreen_ = false;
  Window()->SetTopmost(topmost_);
  Window()->Show(ShowState::kNormal, true);
  client_ = Window()->ClientSize();
}

// ---- Frame -------------------------------------------------------------------

void ViewerWindow::SetFrame(bool show, bool force) {
  if (!force && (commandNesting_ > 0 || frozen_)) return;
  if (hoverTimer_) {
    Window()->KillTimer(kHoverTimer);
    hoverTimer_ = false;
  }
  show = show || IsMaximized() || Options().viewerTitleBar == 0;
  if (!force && show == frameShown_) return;
  if (show)
    ShowFrameNow();
  else
    HideFrameNow();
}

void ViewerWindow::ShowFrameNow() {
  frameShown_ = true;
  thinBorder_ = false;
  layered_ = false;
  if (view_) view_->Flags().frameless = false;
  Nesting geometry(geometryNesting_);
  Window()->SetLayered(false);
  Window()->SetFrame(FrameStyle::kFramed);
  if (!IsMaximized() && client_.width > 0) {
    ViewPoint origin = Window()->ClientOrigin();
    ViewSize size = client_;
    const int32_t minClient = metrics_.minWindowWidth - 2 * metrics_.borderWidth;
    if (size.width < minClient) {
      origin.x -= (minClient - size.width) / 2;
      size.width = minClient;
    }
    Window()->PlaceClient(origin, size);
    client_ = Window()->ClientSize();
  }
  UpdateDisplaySurface();
  Window()->Repaint();
}

void ViewerWindow::HideFrameNow() {
  frameShown_ = false;
  thinBorder_ = !(view_ && view_->ShownImage() && view_->ShownAlpha() != AlphaMode::None);
  if (view_) view_->Flags().frameless = true;
  const ViewPoint origin = Window()->ClientOrigin();
  {
    Nesting geometry(geometryNesting_);
    Window()->SetFrame(thinBorder_ ? FrameStyle::kFramelessBorder : FrameStyle::kFrameless);
  }
  if (!Window()->SetLayered(true)) {
    // The system will not present per-pixel: paint as a normal window, for good.
    Options().viewerBackgroundFlags |= kSemiTransparentOff;
    if (client_.width > 0) PlaceClient(origin, client_);
    return;
  }
  EvaluateLayered();
  UpdateDisplaySurface();
  if (client_.width == 0 || client_.height == 0) return;  // the first layout places it
  const ViewSize shown = ShownSize();
  const ViewSize size{std::min(client_.width, shown.width), std::min(client_.height, shown.height)};
  const ViewPoint at{origin.x + (client_.width - size.width) / 2, origin.y + (client_.height - size.height) / 2};
  Present(at, size);
}

void ViewerWindow::EvaluateLayered() {
  const bool shown = view_ && view_->ShownImage();
  hasAlpha_ = shown && view_->ShownAlpha() != AlphaMode::None;
  const ViewSize s = ShownSize();
  const bool smaller = s.width < client_.width || s.height < client_.height;
  const PixelFormat format = shown ? view_->ShownFormat() : PixelFormat::Bgra8;
  const bool drawable = shown && (format == PixelFormat::Bgra8 || format == PixelFormat::Bgra16);
  layered_ = !(Options().viewerBackgroundFlags & kSemiTransparentOff) && !frameShown_ && !IsMaximized() &&
             (smaller || hasAlpha_) && drawable;
}

void ViewerWindow::UpdateDisplaySurface() {
  if (ImageBuffer* display = view_ ? view_->DisplayImage() : nullptr)
    PrepareDisplaySurface(*display, !frameShown_);
}

uint32_t ViewerWindow::BackgroundColour() const {
  if (layered_) return 0;
  const OptionsBlock& o = Options();
  if (!(o.viewerBackgroundFlags & kAutomaticColourOff) && imageBackground_) return imageBackground_;
  return 0xFF000000u | uint32_t{o.viewerBackground[2]} << 16 | uint32_t{o.viewerBackground[1]} << 8 |
         o.viewerBackground[0];
}

// ---- Painting ------------------------------------------------------------------

void ViewerWindow::OnPaint(PaintTarget& target, const ViewRect&) {
  const ViewSize client = Window()->ClientSize();
  const ViewRect all{0, 0, client.width, client.height};
  const uint32_t background = BackgroundColour();
  if (!view_ || !view_->ShownImage()) {
    target.Fill(all, background);
    return;
  }
  const ViewSize size = ShownSize();
  scroll_ = ClampScroll(scroll_, client, size);
  const ViewPoint at = ImageOffset(client, size);
  const ViewRect image{at.x, at.y, at.x + std::min(size.width, client.width),
                       at.y + std::min(size.height, client.height)};
  const Drawing drawing = DrawingOf({image.right - image.left, image.bottom - image.top});
  if (!drawing.opaque) {
    target.Fill(all, background);
  } else {
    target.Fill({0, 0, client.width, image.top}, background);
    target.Fill({0, image.bottom, client.width, client.height}, background);
    target.Fill({0, image.top, image.left, image.bottom}, background);
    target.Fill({image.right, image.top, client.width, image.bottom}, background);
  }
  if (drawing.image) target.DrawImage(*drawing.image, drawing.from, image);

  // Overlays: white one pixel up and left, then black at the place. Text is
  // measured only when there is some: the first measuring loads the fonts,
  // which would hold up the first picture of every image without a caption.
  ImageBuffer* source = view_->SourceImage();
  int32_t margin = 0;
  for (uint8_t setting : Options().overlays) {
    const auto text = OverlayText(setting, *source);
    if (!text) continue;
    if (margin == 0) {
      const int32_t baseUnit =
          (target.MeasureText(u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz").width / 26 + 1) / 2;
      margin = std::max(1, baseUnit * 3 / 4);
    }
    const auto pos = OverlayPosition(setting, target.MeasureText(*text), client, margin);
    if (!pos) continue;
    target.DrawLabel(*text, {pos->x - 1, pos->y - 1}, 0xFFFFFFFFu);
    target.DrawLabel(*text, *pos, 0xFF000000u);
  }
  if (readAheadAfterPaint_) ScheduleReadAhead();
}

// ---- Events -----------------------------------------------------------------------

void ViewerWindow::OnDestroyed() {
  ForgetLogonShortcut();
  ++commandNesting_;
  folder_.reset();
  FollowFolder();
  if (progress_) progress_->Detach();
  destroyed_ = true;
  animationDue_ = 0;
  app_.WindowDestroyed(this);
}

void ViewerWindow::OnSize(ViewSize client, ShowState state) {
  if (state == ShowState::kMinimized || !view_) return;
  if (geometryNesting_ > 0) return;
  if (state == ShowState::kMaximized) {
    if (!fullScreen_) {
      EnterFullScreen();
      FullScreenFit();
      UpdateTitle();
    }
    return;
  }
  if (fullScreen_) {
    // Left full screen through the system (restore button, keyboard).
    const bool filled = ImageFillsScreen();
    client_ = client;
    fullScreen_ = false;
    Window()->SetTopmost(topmost_);
    SetFrame(false, true);
    RefitAfterFullScreen(filled);
    return;
  }
  client_ = client;
  normalLayout_ = true;
  EvaluateLayered();
  const ViewSize shown = ShownSize();
  if (AutoFitImage() && shown != client) {
    const bool smallerSomewhere = client.width < shown.width || client.height < shown.height;
    if (!Options().fitOnlyShrinks || smallerSomewhere) {
      const bool cover = client.height >= MonitorWorkArea().Height();
      FitImageToWindow(*this, false, cover);
      return;
    }
  }
  Refresh();
}

ViewSize ViewerWindow::NaturalImageSize() const {
  ImageBuffer* current = view_ ? view_->CurrentImage() : nullptr;
  if (!current) return {};
  return {static_cast<int32_t>(ZoomedWidth(current->Width(), 1.0, view_->AspectX())),
          static_cast<int32_t>(ZoomedHeight(current->Height(), 1.0))};
}

bool ViewerWindow::ImageFillsScreen() const {
  const ViewSize shown = ShownSize();
  const ViewRect monitor = MonitorRect();
  return shown.width >= monitor.Width() || shown.height >= monitor.Height();
}

void ViewerWindow::RefitAfterFullScreen(bool imageFilledScreen) {
  if (!normalLayout_) {
    // Started in full screen: there is no size of its own to return to (the
    // system restores the tiny window it was made as), so it is laid out as a
    // first showing of the image would be.
    normalLayout_ = true;
    if (AutoFitImage()) SetZoom(*this, 1.0);
    // Zoom 1 was not the user's choice of a size beyond the screen.
    largerThanScreen_ = false;
    FitWindowToImage(*this, false);
    return;
  }
  if (!AutoFitImage()) {
    FitWindowToImage(*this, true);
    return;
  }
  // An image zoomed to fill the screen starts again from its own size, so
  // that the fit does not carry the full-screen zoom into the window.
  if (imageFilledScreen) SetZoom(*this, 1.0);
  FitImageToWindow(*this, true, false);
}

void ViewerWindow::OnSizing(SizingEdge edge, ViewRect* windowRect) {
  if (geometryNesting_ > 0 || !view_ || !frameShown_ || IsMaximized()) return;
  if (!AutoFitImage() || largerThanScreen_) return;
  const ViewSize image = NaturalImageSize();
  if (image.width <= 0 || image.height <= 0) return;
  if (Options().fitOnlyShrinks) {
    // The image is never enlarged: a client larger than it both ways shows
    // it unchanged, whatever the proportions.
    const ViewSize client{windowRect->Width() - 2 * metrics_.borderWidth,
                          windowRect->Height() - 2 * metrics_.borderHeight - metrics_.captionHeight};
    const ViewSize shown = ShownSize();
    if (client.width > shown.width && client.height > shown.height) return;
  }
  *windowRect = AspectLockedWindowRect(edge, *windowRect, Window()->WindowRect(), image, metrics_,
                                       MonitorWorkArea());
}

void ViewerWindow::OnPositionChanging(ViewRect* windowRect) {
  // The window's own placements are the geometry's business; this is for
  // the user's and the system's moves.
  if (!Window() || geometryNesting_ > 0 || Window()->State() != ShowState::kNormal) return;
  // The monitor the window is headed for, so that it can cross to another one.
  const ViewRect area = app_.Os().MonitorNearest(*windowRect).workArea;
  *windowRect = KeepWindowReachable(*windowRect, area, metrics_);
}

void ViewerWindow::OnSizeMoveLoop(bool entering) { commandNesting_ += entering ? 1 : -1; }

void ViewerWindow::OnMouseMove(ViewPoint, uint8_t) {
  if (Options().viewerTitleBar == 1 && !frameShown_ && !frozen_ && commandNesting_ == 0) {
    SetFrame(true, false);
    Window()->SetTimer(kHoverTimer, kHoverMilliseconds);
    hoverTimer_ = true;
  }
}

void ViewerWindow::OnTimer(uint32_t id) {
  if (id == kAnimationTimer) {
    StepAnimation();
  } else if (id == kHoverTimer) {
    if (!Window()->IsUnderCursor()) {
      Window()->KillTimer(kHoverTimer);
      hoverTimer_ = false;
      SetFrame(false, false);
    } else {
      Window()->SetTimer(kHoverTimer, kHoverMilliseconds);
    }
  }
}

void ViewerWindow::SetAnimationTimer(int32_t delay) {
  if (!Window()) return;
  if (delay < 0) {
    Window()->KillTimer(kAnimationTimer);
    animationDue_ = 0;
    return;
  }
  const uint64_t now = app_.Os().TickCount();
  animationDue_ = NextAnimationDue(animationDue_, now, delay);
  Window()->SetTimer(kAnimationTimer, static_cast<uint32_t>(animationDue_ - now));
}

void ViewerWindow::StepAnimation() {
  if (!view_ || !StepFrame(*view_, FrameDirection::kNext)) {
    SetAnimationTimer(-1);
    return;
  }
  RenderView(*view_);
  UpdateDisplaySurface();
  Refresh();
  SetAnimationTimer(std::max(view_->SourceImage()->Frame().delay, 0));
}

void ViewerWindow::OnCommand(uint32_t command, intptr_t argument) { Dispatch(command, argument); }

void ViewerWindow::OnDroppedFiles(const std::vector<std::u16string>& paths) {
  if (!paths.empty() && !frozen_) OpenImage(paths.front(), true);
}

void ViewerWindow::OnDpiChanged(uint32_t dpi) {
  const ViewPoint origin = Window()->ClientOrigin();
  metrics_ = FrameMetricsForDpi(dpi);
  dpiScale_ = DpiScale(dpi);
  if (frameShown_ && !IsMaximized() && client_.width > 0) {
    Nesting geometry(geometryNesting_);
    Window()->PlaceClient(origin, client_);
  }
  Window()->PostCommand(kCmdFitImageToWindow, 0);
}

void ViewerWindow::OnDisplayChange() {
  OnDpiChanged(Window()->Monitor().dpi);
  if (layered_ && !Window()->IsLayered()) {
    // The system withdrew per-pixel presentation (its compositor went): the
    // window paints itself on an opaque background from now on.
    layered_ = false;
    UpdateDisplaySurface();
  }
  Refresh();
}

void ViewerWindow::OnActivate(bool active) {
  // Full screen gives way to whatever the user turned to, unless that lies
  // on another monitor: then both stay in view.
  if (active || destroyed_ || !Window() || !IsMaximized()) return;
  Platform& os = app_.Os();
  if (os.Monitors().size() > 1) {
    // The window that takes over may show up a little later than our loss.
    for (int i = 0; i < kForegroundPolls; ++i) {
      if (Window()->IsForeground()) return;  // it came back to us
      if (const auto other = os.ForegroundWindowRect()) {
        if (LiesBeside(*other, Window()->WindowRect())) return;
        break;
      }
      os.Sleep(kForegroundPollMilliseconds);
    }
  }
  Nesting geometry(geometryNesting_);
  Window()->Show(ShowState::kMinimized, false);
}

bool ViewerWindow::OnCopyData(uint64_t tag, const void* data, size_t bytes) {
  return app_.ReceiveHandOff(tag, data, bytes);
}

void ViewerWindow::ForgetLogonShortcut() {
  if (!frozen_ || sessionEnding_ || path_.empty() || path_.front() == u'<') return;
  app_.Os().RemoveLogonShortcut(FileNameOf(path_));
}

void ViewerWindow::OnEndSession() {
  sessionEnding_ = true;
  if (destroyed_ || !frozen_ || !view_ || !Window()) return;
  // Only a file can be opened again; a pseudo-name ("<...>") or a file gone
  // since it was opened would greet the next logon with an error instead.
  if (path_.empty() || path_.front() == u'<' || !PathExists(path_)) return;
  // The client area, not the window: the position keyword places the client,
  // so a bordered window comes back exactly where it is.
  app_.Os().CreateLogonShortcut(FileNameOf(path_), LogonArguments(ClientOrigin(), view_->Zoom(), path_),
                                WorkingFolderOf(path_));
}

// ---- Commands --------------------------------------------------------------------

void ViewerWindow::Dispatch(uint32_t command, intptr_t argument) {
  if (destroyed_) return;
  switch (command) {
    case kCmdShowNewImage: ShowNewImage(); return;
    case kApplyProgressCommand:
      if (progress_) progress_->ApplyPosted();
      return;
    case kCmdBusy: SetBusy(argument != 0); return;
    case kCmdSlideshowState:
      slideshow_ = argument != 0;
      UpdateTitle();
      return;
    case kCmdRebuildAccelerators:
      RebuildAccelerators();
      return;
    case kKeepZoomCommand:
      app_.AppSettings().SetKeepZoom(!app_.AppSettings().KeepZoom());
      return;
    case kCheckerboardCommand:
      SetCheckerboard(!CheckerboardShown());
      return;
    case kPauseAnimationCommand:
    case kNextFrameCommand:
    case kPreviousFrameCommand:
    case kSaveRotationCommand:
    case kKeepFileTimeCommand:
      if (view_ && !frozen_ && !slideshow_) {
        Nesting nesting(commandNesting_);
        RunImageCommand(command);
      }
      return;
    case kStopSlideshowCommand:
      // No player runs in this window to stop: leave the slideshow state here,
      // or a close that waits for the stop would post itself for ever.
      if (slideshow_) {
        slideshow_ = false;
        UpdateTitle();
      }
      return;
    default: break;
  }
  if (!view_) return;
  if (command < kFirstUserCommand || command > kLastUserCommand) return;
  if (frozen_) {
    switch (command) {
      case kCmdLoadNew: case kCmdNextFile: case kCmdPreviousFile: case kCmdFirstFile:
      case kCmdLastFile: case kCmdCreateNew: case kCmdZoomIn: case kCmdZoomOut:
      case kCmdFreeze: case kCmdHelp:
        break;
      case kCmdClose:
        Window()->PostCommand(kCmdFreeze, 0);
        Window()->PostCommand(kCmdClose, 0);
        return;
      default:
        return;
    }
  }
  if (slideshow_) {
    switch (command) {
      case kCmdNextFile: case kCmdPreviousFile: case kCmdFirstFile: case kCmdLastFile:
      case kCmdCreateNext: case kCmdCreatePrevious:
        return;
      case kCmdClose:
        Window()->PostCommand(kCmdCancel, 0);
        Window()->PostCommand(kCmdClose, 0);
        return;
      default: break;
    }
  }
  if (command == kCmdToggleFullScreen) {
    Window()->PostCommand(IsMaximized() ? kCmdRestoreWindow : kCmdFullScreen, 0);
    return;
  }
  if (command == kCmdFreeze && commandNesting_ > 0) {
    // A dialog of another command is still open: try again when it has closed.
    Window()->PostCommand(kCmdFreeze, argument);
    return;
  }
  Nesting nesting(commandNesting_);
  RunCommand(command, argument);
}

void ViewerWindow::RunCommand(uint32_t command, intptr_t argument) {
  switch (command) {
    case kCmdLoadNew: OpenFromDialog(false); return;
    case kCmdCreateNew: OpenFromDialog(true); return;
    case kCmdNextFile: Navigate(NavigateMode::Next, false); return;
    case kCmdPreviousFile: Navigate(NavigateMode::Previous, false); return;
    case kCmdFirstFile: Navigate(NavigateMode::First, false); return;
    case kCmdLastFile: Navigate(NavigateMode::Last, false); return;
    case kCmdCreateNext: Navigate(NavigateMode::Next, true); return;
    case kCmdCreatePrevious: Navigate(NavigateMode::Previous, true); return;
    case kCmdNextWindow:
    case kCmdPreviousWindow: {
      const auto windows = app_.Windows();
      const auto it = std::find(windows.begin(), windows.end(), this);
      if (windows.size() < 2 || it == windows.end()) return;
      size_t i = static_cast<size_t>(it - windows.begin());
      i = command == kCmdNextWindow ? (i + 1) % windows.size() : (i + windows.size() - 1) % windows.size();
      windows[i]->Window()->BringToFront();
      return;
    }
    case kCmdFreeze: Freeze(!frozen_); return;
    case kCmdCancel: Window()->PostCommand(kStopSlideshowCommand, 0); return;
    case kCmdFullScreen:
      if (!IsMaximized()) {
        EnterFullScreen();
        FullScreenFit();
        UpdateTitle();
      }
      return;
    case kCmdRestoreWindow:
      if (IsMaximized()) {
        const bool filled = ImageFillsScreen();
        LeaveFullScreen();
        SetFrame(false, true);
        RefitAfterFullScreen(filled);
        UpdateTitle();
      } else {
        Window()->Show(ShowState::kNormal, true);
      }
      return;
    case kCmdBringToFront:
      Window()->BringToFront();
      Refresh();
      return;
    case kCmdSendToBack: Window()->SendToBack(); return;
    case kCmdTopmost:
      topmost_ = !topmost_;
      Window()->BringToFront();
      Window()->SetTopmost(topmost_);
      return;
    case kCmdCloseAll:
      for (ViewerWindow* w : app_.Windows()) w->Window()->PostCloseRequest();
      return;
    case kCmdClose: Window()->Destroy(); return;
    case kCmdReload: Reload(); return;
    case kCmdColourSampler: SampleColour(); return;
    case kCmdCaptureScreen: Capture(false); return;
    case kCmdCaptureWindow: Capture(true); return;
    case kCmdOpenFolder: OpenFolderInShell(); return;
    case kCmdHelp: OpenHelp(); return;
    case kCmdIndex: {
      // A picture without a file (pasted, captured) has no folder: the
      // process's current one stands in.
      const bool file = !path_.empty() && path_.front() != u'<';
      if (app_.OpenIndex(file ? path_ : AbsolutePath(u"."), Window()->Monitor()) && Options().indexCloseOnOpen)
        Window()->PostCommand(kCmdClose, 0);
      return;
    }
    case kCmdSlideshowFullScreen:
      Options().slideshowFullScreen = Options().slideshowFullScreen ? 0 : 1;
      return;
    default:
      if (RunImageCommand(command)) return;
      // A command whose part of the program is not there yet says so.
      if (!RunZoomCommand(*this, command)) app_.Os().Beep();
      return;
  }
}

void ViewerWindow::OpenFromDialog(bool newWindow) {
  Platform& os = app_.Os();
  const auto chosen = os.ShowOpenDialog(Window(), app_.Translate(u"打开图像文件") + u" | Vistrel",
                                        app_.OpenFilter(), true);
  if (chosen.empty()) return;
  size_t first = 0;
  if (!newWindow && !frozen_) {
    OpenImage(chosen.front(), true);
    first = 1;
  }
  for (size_t i = first; i < chosen.size(); ++i) app_.OpenWindow(chosen[i], nullptr, this);
}

void ViewerWindow::Navigate(NavigateMode mode, bool newWindow) {
  if (!folder_ || path_.empty()) return;
  const bool waiting = !folder_->IsScanComplete();
  if (waiting) SetBusy(true);
  std::u16string current = path_;
  bool wrapped = false;
  // Every file of the folder is tried at most once, so a folder of unreadable
  // files ends instead of going round for ever.
  for (int attempts = 0; attempts < 100000; ++attempts) {
    std::u16string found;
    bool ok = NavigateFolder(app_.FolderNavigator(), &folder_, mode, &found, current);
    FollowFolder();
    if (!ok) {
      if (wrapped) break;
      app_.Os().Beep();
      wrapped = true;
      const NavigateMode around = mode == NavigateMode::Next       ? NavigateMode::First
                                  : mode == NavigateMode::Previous ? NavigateMode::Last
                                                                   : mode;
      if (around == mode) break;
      ok = NavigateFolder(app_.FolderNavigator(), &folder_, around, &found, current);
      FollowFolder();
      if (!ok) break;
    }
    if (newWindow) {
      app_.OpenWindow(found, nullptr, this);
      break;
    }
    NoteKeptView();
    // A file met while stepping that cannot be shown is passed over quietly.
    if (Succeeded(OpenImage(found, false))) break;
    keptView_.reset();
    if (found == path_ || (wrapped && found == current)) break;
    // Skip the unreadable file: go on from it in the same direction.
    current = found;
    if (mode == NavigateMode::First) mode = NavigateMode::Next;
    if (mode == NavigateMode::Last) mode = NavigateMode::Previous;
    if (wrapped && current == path_) break;
  }
  if (waiting) SetBusy(false);
}

void ViewerWindow::Freeze(bool freeze) {
  if (freeze == frozen_) return;
  if (freeze) {
    if (IsMaximized()) return;
    if (hoverTimer_) {
      Window()->KillTimer(kHoverTimer);
      hoverTimer_ = false;
    }
    if (frameShown_) HideFrameNow();
    savedClient_ = client_;
    savedClientOrigin_ = Window()->ClientOrigin();
    savedWindowRect_ = Window()->WindowRect();
    frozen_ = true;
    SetAccelerators(&frozenKeys_);
  } else {
    ForgetLogonShortcut();
    frozen_ = false;
    SetAccelerators(&fullKeys_);
    SetFrame(Options().viewerTitleBar == 0, true);
  }
}

void ViewerWindow::RebuildAccelerators() {
  fullKeys_ = AcceleratorTable(BindingsFromBytes(app_.AppSettings().KeyBindings()));
  frozenKeys_ = BuildFrozenTable(fullKeys_);
}

}  // namespace vt
