#include "platform/headless/headless_platform.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "image/display_rows.h"
#include "image/image_buffer.h"

namespace vt {

namespace {

int64_t DistanceOutside(int64_t v, int32_t lo, int32_t hi) {
  if (v < lo) return lo - v;
  if (v >= hi) return v - hi + 1;
  return 0;
}

int32_t ScaleForDpi(int32_t v, uint32_t dpi) { return static_cast<int32_t>((int64_t{v} * dpi + 48) / 96); }

// The columns [first, last) of a run of count pixels from source column x
// that lie on an image width pixels wide.
std::pair<int32_t, int32_t> ColumnsOnImage(int64_t x, int32_t count, uint32_t width) {
  count = std::max(count, 0);
  const int64_t first = std::clamp<int64_t>(-x, 0, count);
  const int64_t last = std::clamp<int64_t>(int64_t{width} - x, first, count);
  return {int32_t(first), int32_t(last)};
}

// Source over destination with straight alpha (premultiplied sources add).
uint32_t Blend(uint32_t dst, uint32_t src, bool premultiplied) {
  const uint32_t a = src >> 24;
  if (a == 255) return src;
  uint32_t out = 0xFF000000u;
  for (int shift = 0; shift < 24; shift += 8) {
    const uint32_t s = src >> shift & 0xFF, d = dst >> shift & 0xFF;
    const uint32_t v = premultiplied ? s + d * (255 - a) / 255 : (s * a + d * (255 - a) + 127) / 255;
    out |= std::min<uint32_t>(v, 255) << shift;
  }
  return out;
}

class HeadlessPaint : public PaintTarget {
 public:
  HeadlessPaint(std::vector<uint32_t>& pixels, ViewSize size, std::vector<HeadlessWindow::Label>& labels)
      : pixels_(pixels), size_(size), labels_(labels) {}

  void Fill(const ViewRect& rect, uint32_t colour) override {
    const ViewRect r = Clip(rect);
    for (int32_t y = r.top; y < r.bottom; ++y)
      for (int32_t x = r.left; x < r.right; ++x) pixels_[size_t(y) * size_.width + x] = colour;
  }
  void DrawImage(ImageBuffer& display, ViewPoint source, const ViewRect& destination) override {
    const ViewRect r = Clip(destination);
    if (r.right <= r.left) return;
    const bool alpha = display.Alpha() != AlphaMode::None;
    const bool premultiplied = display.Alpha() == AlphaMode::Premultiplied;
    // Only the part of the destination that lies on the image is drawn.
    const int64_t sx = int64_t{source.x} + (r.left - destination.left);
    const auto [first, last] = ColumnsOnImage(sx, r.right - r.left, display.Width());
    if (last <= first) return;
    std::vector<uint32_t> row(size_t(last - first));
    for (int32_t y = r.top; y < r.bottom; ++y) {
      const int64_t sy = int64_t{source.y} + (y - destination.top);
      if (sy < 0 || sy >= display.Height()) continue;
      DisplayRowTo32(display, sx + first, sy, last - first, RowAlpha::kAsStored, row.data());
      uint32_t* d = &pixels_[size_t(y) * size_.width + r.left + first];
      for (size_t i = 0; i < row.size(); ++i) d[i] = alpha ? Blend(d[i], row[i], premultiplied) : row[i];
    }
  }
  // A fixed cell of 7 x 16 pixels per character: enough for placement rules.
  ViewSize MeasureText(std::u16string_view text) override {
    return {static_cast<int32_t>(text.size() * 7), 16};
  }
  void DrawLabel(std::u16string_view text, ViewPoint at, uint32_t colour) override {
    labels_.push_back({std::u16string(text), at, colour});
  }
  void DrawSurface(const PixelSurface& surface, const ViewRect& source, ViewPoint at) override {
    const ViewRect from = Intersect(source, surface.Bounds());
    const ViewRect to = Clip({at.x, at.y, at.x + from.Width(), at.y + from.Height()});
    for (int32_t y = to.top; y < to.bottom; ++y)
      for (int32_t x = to.left; x < to.right; ++x)
        pixels_[size_t(y) * size_.width + x] = surface.At(from.left + x - at.x, from.top + y - at.y);
  }

 private:
  ViewRect Clip(const ViewRect& r) const {
    return {std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, size_.width),
            std::min(r.bottom, size_.height)};
  }
  std::vector<uint32_t>& pixels_;
  ViewSize size_;
  std::vector<HeadlessWindow::Label>& labels_;
};

}  // namespace

HeadlessWindow::HeadlessWindow(HeadlessPlatform& platform, WindowEvents& events,
                               const WindowCreateParams& params, uintptr_t handle)
    : platform_(platform),
      events_(events),
      handle_(handle),
      owner_(params.owner),
      title_(params.title),
      frame_(params.frame),
      layered_(params.layered),
      client_{params.clientTopLeft.x, params.clientTopLeft.y,
              params.clientTopLeft.x + params.clientSize.width,
              params.clientTopLeft.y + params.clientSize.height},
      normalClient_(client_),
      topmost_(params.topmost || params.popup),
      noActivate_(params.noActivate || params.popup),
      popup_(params.popup) {
  zOrder_ = params.bottom ? -platform.NextZ() : platform.NextZ();
  ResizePixels();
  if (params.visible) Show(ShowState::kNormal, !noActivate_);
}

HeadlessWindow::~HeadlessWindow() {
  if (exists_) Destroy();
}

FrameMetrics HeadlessWindow::Metrics() const { return platform_.FrameMetricsForDpi(Monitor().dpi); }

void HeadlessWindow::SetFrame(FrameStyle frame) { frame_ = frame; }

bool HeadlessWindow::SetLayered(bool layered) {
  if (layered && platform_.refuseLayered) return false;
  layered_ = layered;
  return true;
}

void HeadlessWindow::Resize(ViewRect client, ShowState state) {
  const bool changed = client != client_ || state != state_;
  client_ = client;
  state_ = state;
  if (state == ShowState::kNormal) normalClient_ = client;
  ResizePixels();
  if (changed) events_.OnSize({client.Width(), client.Height()}, state);
}

void HeadlessWindow::ResizePixels() {
  const ViewSize s{std::max(client_.Width(), 0), std::max(client_.Height(), 0)};
  if (s == pixelsSize_) return;
  pixelsSize_ = s;
  pixels_.assign(size_t(s.width) * s.height, 0);
}

void HeadlessWindow::PlaceClient(ViewPoint topLeft, ViewSize size) {
  Resize({topLeft.x, topLeft.y, topLeft.x + size.width, topLeft.y + size.height},
         state_ == ShowState::kMinimized ? ShowState::kNormal : state_);
}

ViewRect HeadlessWindow::ClientOfWindowRect(const ViewRect& c) const {
  if (frame_ == FrameStyle::kFramed || frame_ == FrameStyle::kDialog) {
    const FrameMetrics m = Metrics();
    return {c.left + m.borderWidth, c.top + m.borderHeight + m.captionHeight, c.right - m.borderWidth,
            c.bottom - m.borderHeight};
  }
  if (frame_ == FrameStyle::kFramelessBorder) return {c.left + 1, c.top + 1, c.right - 1, c.bottom - 1};
  return c;
}

void HeadlessWindow::PlaceWindow(std::optional<ViewPoint> topLeft, ViewSize windowSize) {
  const ViewRect w = WindowRect();
  const ViewPoint at = topLeft ? *topLeft : ViewPoint{w.left, w.top};
  Resize(ClientOfWindowRect({at.x, at.y, at.x + windowSize.width, at.y + windowSize.height}), state_);
}

ViewRect HeadlessWindow::WindowRect() const {
  if (frame_ == FrameStyle::kFramed || frame_ == FrameStyle::kDialog) {
    const FrameMetrics m = Metrics();
    return {client_.left - m.borderWidth, client_.top - m.borderHeight - m.captionHeight,
            client_.right + m.borderWidth, client_.bottom + m.borderHeight};
  }
  if (frame_ == FrameStyle::kFramelessBorder)
    return {client_.left - 1, client_.top - 1, client_.right + 1, client_.bottom + 1};
  return client_;
}

void HeadlessWindow::Show(ShowState state, bool activate) {
  visible_ = true;
  if (activate) BringToFront();
  ViewRect c = normalClient_;
  if (state == ShowState::kMaximized) c = Monitor().rect;
  if (state == ShowState::kMinimized) c = {client_.left, client_.top, client_.left, client_.top};
  if (state_ == ShowState::kNormal && state != ShowState::kNormal) normalClient_ = client_;
  Resize(c, state);
}

void HeadlessWindow::SendToBack() { zOrder_ = -platform_.NextZ(); }

void HeadlessWindow::BringToFront() {
  zOrder_ = platform_.NextZ();
  const uintptr_t before = platform_.foreground_;
  if (before == handle_) return;
  platform_.foreground_ = handle_;
  if (HeadlessWindow* old = platform_.Find(before)) old->events_.OnActivate(false);
  events_.OnActivate(true);
}

bool HeadlessWindow::IsForeground() const { return platform_.foreground_ == handle_; }

void HeadlessWindow::Repaint() {
  if (!exists_ || layered_ || state_ == ShowState::kMinimized) return;
  ResizePixels();
  labels_.clear();
  HeadlessPaint paint(pixels_, pixelsSize_, labels_);
  ++paints_;
  events_.OnPaint(paint, {0, 0, pixelsSize_.width, pixelsSize_.height});
}

bool HeadlessWindow::PresentLayered(ImageBuffer& display, ViewPoint source,
                                    std::optional<ViewPoint> clientTopLeft, ViewSize size,
                                    bool perPixelAlpha) {
  if (!layered_) return false;
  const ViewPoint at = clientTopLeft ? *clientTopLeft : ClientOrigin();
  client_ = {at.x, at.y, at.x + size.width, at.y + size.height};
  if (state_ == ShowState::kNormal) normalClient_ = client_;
  ResizePixels();
  labels_.clear();
  // What lies off the image is clear with per-pixel alpha, black without.
  std::fill(pixels_.begin(), pixels_.end(), perPixelAlpha ? 0u : 0xFF000000u);
  const auto [first, last] = ColumnsOnImage(source.x, size.width, display.Width());
  const RowAlpha alpha = perPixelAlpha ? RowAlpha::kAsStored : RowAlpha::kOpaque;
  for (int32_t y = 0; y < size.height && first < last; ++y) {
    const int64_t sy = int64_t{source.y} + y;
    if (sy < 0 || sy >= display.Height()) continue;
    DisplayRowTo32(display, int64_t{source.x} + first, sy, last - first, alpha,
                   &pixels_[size_t(y) * size.width + first]);
  }
  lastPerPixelAlpha_ = perPixelAlpha;
  ++presents_;
  return true;
}

void HeadlessWindow::SetTimer(uint32_t id, uint32_t milliseconds) {
  timers_[id] = {milliseconds, platform_.now_ + std::max<uint32_t>(milliseconds, 1)};
}

int64_t HeadlessWindow::TimerRemaining(uint32_t id) const {
  auto it = timers_.find(id);
  return it == timers_.end() ? -1 : static_cast<int64_t>(it->second.due - platform_.now_);
}

void HeadlessWindow::PostCommand(uint32_t command, intptr_t argument) {
  platform_.Post({handle_, HeadlessPlatform::Message::kCommand, command, argument});
}

void HeadlessWindow::PostCloseRequest() {
  platform_.Post({handle_, HeadlessPlatform::Message::kClose, 0, 0});
}

void HeadlessWindow::Destroy() {
  if (!exists_) return;
  exists_ = false;
  visible_ = false;
  timers_.clear();
  if (platform_.foreground_ == handle_) platform_.foreground_ = 0;
  platform_.Unregister(this);
  events_.OnDestroyed();
}

MonitorInfo HeadlessWindow::Monitor() const {
  MonitorInfo m = platform_.MonitorNearest(state_ == ShowState::kNormal ? client_ : normalClient_);
  if (dpiOverride_) m.dpi = dpiOverride_;
  return m;
}

bool HeadlessWindow::IsUnderCursor() const {
  const ViewRect w = WindowRect();
  const ViewPoint c = platform_.cursor;
  return visible_ && c.x >= w.left && c.x < w.right && c.y >= w.top && c.y < w.bottom;
}

uint32_t HeadlessWindow::Pixel(int32_t x, int32_t y) const {
  if (x < 0 || y < 0 || x >= pixelsSize_.width || y >= pixelsSize_.height) return 0;
  return pixels_[size_t(y) * pixelsSize_.width + x];
}

bool HeadlessWindow::SendKey(uint32_t virtualKey, uint8_t modifiers) {
  const bool handled = platform_.DeliverKey(*this, virtualKey, true, modifiers);
  if (exists_) platform_.DeliverKey(*this, virtualKey, false, modifiers);
  return handled;
}

void HeadlessWindow::SendChar(char16_t character) {
  if (exists_ && enabled_) events_.OnChar(character);
}

void HeadlessWindow::SendMouseMove(ViewPoint client) {
  platform_.cursor = {client_.left + client.x, client_.top + client.y};
  events_.OnMouseMove(client, 0);
}

void HeadlessWindow::SendMouseButton(int button, MouseAction action, ViewPoint client, uint8_t modifiers) {
  platform_.DeliverMouseButton(*this, button, action, client, modifiers);
}

void HeadlessWindow::Click(int button, ViewPoint client, uint8_t modifiers) {
  SendMouseButton(button, MouseAction::kPress, client, modifiers);
  if (exists_) SendMouseButton(button, MouseAction::kRelease, client, modifiers);
}

void HeadlessWindow::Activate(bool active) {
  if (active) {
    BringToFront();
  } else if (platform_.foreground_ == handle_) {
    platform_.foreground_ = 0;
    events_.OnActivate(false);
  }
}

void HeadlessWindow::UserDragEdge(SizingEdge edge, ViewRect proposed) {
  events_.OnSizeMoveLoop(true);
  if (exists_) events_.OnSizing(edge, &proposed);
  if (exists_) events_.OnPositionChanging(&proposed);
  if (exists_) Resize(ClientOfWindowRect(proposed), state_);
  if (exists_) events_.OnSizeMoveLoop(false);
}

void HeadlessWindow::UserMove(ViewPoint topLeft) {
  const ViewRect w = WindowRect();
  ViewRect proposed{topLeft.x, topLeft.y, topLeft.x + w.Width(), topLeft.y + w.Height()};
  events_.OnSizeMoveLoop(true);
  if (exists_) events_.OnPositionChanging(&proposed);
  if (exists_) Resize(ClientOfWindowRect(proposed), state_);
  if (exists_) events_.OnSizeMoveLoop(false);
}

void HeadlessWindow::SetDpi(uint32_t dpi) {
  dpiOverride_ = dpi;
  events_.OnDpiChanged(dpi);
}

HeadlessPlatform::HeadlessPlatform(std::vector<MonitorInfo> monitors) : monitors_(std::move(monitors)) {
  if (monitors_.empty()) monitors_.push_back({{0, 0, 1920, 1080}, {0, 0, 1920, 1040}, 96});
}

HeadlessPlatform::~HeadlessPlatform() = default;

std::unique_ptr<PlatformWindow> HeadlessPlatform::NewWindow(WindowEvents& events,
                                                            const WindowCreateParams& params) {
  auto w = std::make_unique<HeadlessWindow>(*this, events, params, nextHandle_);
  nextHandle_ += 0x10;
  windows_.push_back(w.get());
  return w;
}

MonitorInfo HeadlessPlatform::MonitorNearest(const ViewRect& rect) {
  const int64_t cx = (int64_t{rect.left} + rect.right) / 2, cy = (int64_t{rect.top} + rect.bottom) / 2;
  const MonitorInfo* best = &monitors_.front();
  int64_t bestDistance = INT64_MAX;
  for (const MonitorInfo& m : monitors_) {
    const int64_t d = DistanceOutside(cx, m.rect.left, m.rect.right) +
                      DistanceOutside(cy, m.rect.top, m.rect.bottom);
    if (d < bestDistance) {
      bestDistance = d;
      best = &m;
    }
  }
  return *best;
}

// A themed system's frame: 8-pixel borders, a 23-pixel caption and a
// 136-pixel minimum width at 96 dpi.
FrameMetrics HeadlessPlatform::FrameMetricsForDpi(uint32_t dpi) {
  return {ScaleForDpi(8, dpi), ScaleForDpi(8, dpi), ScaleForDpi(23, dpi), ScaleForDpi(136, dpi)};
}

MessageBoxAnswer HeadlessPlatform::ShowMessageBox(PlatformWindow*, std::u16string_view text,
                                                  std::u16string_view caption, MessageBoxKind kind) {
  messageBoxes.push_back({std::u16string(text), std::u16string(caption), kind});
  if (messageBoxAnswers.empty()) return MessageBoxAnswer::kOk;
  const MessageBoxAnswer a = messageBoxAnswers.front();
  messageBoxAnswers.pop_front();
  return a;
}

std::vector<std::u16string> HeadlessPlatform::ShowOpenDialog(PlatformWindow*, std::u16string_view title,
                                                             const std::vector<std::u16string>&, bool) {
  openDialogTitles.emplace_back(title);
  if (openDialogAnswers.empty()) return {};
  auto a = std::move(openDialogAnswers.front());
  openDialogAnswers.pop_front();
  return a;
}

void HeadlessPlatform::RunMessageLoop() {
  // Nothing outside drives a headless loop: it runs what is queued and what the
  // timers bring until every window is gone or quit is asked.
  while (!quitRequested) {
    if (Pump() != 0) continue;
    uint64_t next = UINT64_MAX;
    for (HeadlessWindow* w : windows_)
      for (auto& [id, t] : w->timers_) next = std::min(next, t.due);
    if (next == UINT64_MAX) break;
    AdvanceTime(next - now_);
  }
}

bool HeadlessPlatform::PumpPendingMessages() {
  Pump();
  return !quitRequested;
}

void HeadlessPlatform::Post(Message m) {
  std::lock_guard lock(queueMutex_);
  queue_.push_back(m);
}

size_t HeadlessPlatform::Pump() {
  size_t count = 0;
  while (PumpOne()) ++count;
  return count;
}

bool HeadlessPlatform::PumpOne() {
  Message m;
  {
    std::lock_guard lock(queueMutex_);
    if (queue_.empty()) return false;
    m = queue_.front();
    queue_.pop_front();
  }
  HeadlessWindow* w = Find(m.window);
  if (!w) return true;
  switch (m.kind) {
    case Message::kCommand: w->events_.OnCommand(m.command, m.argument); break;
    case Message::kClose:
      if (w->enabled_) w->events_.OnCloseRequest();
      break;
    case Message::kKey: DeliverKey(*w, m.command, m.argument >> 8 != 0, static_cast<uint8_t>(m.argument)); break;
    case Message::kChar:
      if (w->enabled_) w->events_.OnChar(static_cast<char16_t>(m.command));
      break;
    case Message::kMouseButton:
      DeliverMouseButton(*w, static_cast<int>(m.command), static_cast<MouseAction>(m.argument >> 8), m.at,
                         static_cast<uint8_t>(m.argument));
      break;
    case Message::kMouseMove: w->SendMouseMove(m.at); break;
  }
  return true;
}

bool HeadlessPlatform::RunNestedLoop(const std::function<bool()>& keepRunning) {
  while (keepRunning()) {
    if (quitRequested) return false;
    if (PumpOne()) continue;
    if (!onNestedLoopIdle || !onNestedLoopIdle()) return false;
  }
  return true;
}

void HeadlessPlatform::PostKey(uintptr_t window, uint32_t virtualKey, uint8_t modifiers) {
  Post({window, Message::kKey, virtualKey, intptr_t{1} << 8 | modifiers});
  Post({window, Message::kKey, virtualKey, modifiers});
}

void HeadlessPlatform::PostChar(uintptr_t window, char16_t character) {
  Post({window, Message::kChar, character, 0});
}

void HeadlessPlatform::PostMouseButton(uintptr_t window, int button, MouseAction action, ViewPoint client,
                                       uint8_t modifiers) {
  Post({window, Message::kMouseButton, static_cast<uint32_t>(button),
        static_cast<intptr_t>(action) << 8 | modifiers, client});
}

void HeadlessPlatform::PostMouseMove(uintptr_t window, ViewPoint client) {
  Post({window, Message::kMouseMove, 0, 0, client});
}

bool HeadlessPlatform::DeliverKey(HeadlessWindow& window, uint32_t virtualKey, bool down, uint8_t modifiers) {
  if (menuSink_ && menuSink_->OnMenuKey(virtualKey, down, modifiers)) return true;
  return window.exists_ && window.enabled_ && window.events_.OnKey(virtualKey, down, modifiers);
}

void HeadlessPlatform::DeliverMouseButton(HeadlessWindow& window, int button, MouseAction action,
                                          ViewPoint client, uint8_t modifiers) {
  const ViewPoint screen{window.client_.left + client.x, window.client_.top + client.y};
  cursor = screen;
  if (menuSink_ && action == MouseAction::kPress && button <= 2 && menuSink_->OnMenuPress(button, screen)) return;
  if (window.exists_ && window.enabled_) window.events_.OnMouseButton(button, action, client, modifiers);
}

void HeadlessPlatform::BeginMenuCapture(PlatformWindow& popup, MenuCaptureSink& sink) {
  menuSink_ = &sink;
  menuWindow_ = popup.NativeHandle();
  ++menuCaptures;
}

void HeadlessPlatform::EndMenuCapture() {
  menuSink_ = nullptr;
  menuWindow_ = 0;
}

std::optional<PixelSurface> HeadlessPlatform::CaptureScreen(const ViewRect& area) {
  if (IsEmpty(area)) return std::nullopt;
  PixelSurface out(area.Width(), area.Height(), 0xFF000000u);
  std::vector<HeadlessWindow*> shown;
  for (HeadlessWindow* w : windows_)
    if (w->visible_ && w->state_ != ShowState::kMinimized) shown.push_back(w);
  // Bottom first: topmost windows above the others, each group by its order.
  std::stable_sort(shown.begin(), shown.end(), [](const HeadlessWindow* a, const HeadlessWindow* b) {
    return a->topmost_ != b->topmost_ ? b->topmost_ : a->zOrder_ < b->zOrder_;
  });
  for (const HeadlessWindow* w : shown) {
    const ViewRect r = Intersect(w->client_, area);
    for (int32_t y = r.top; y < r.bottom; ++y)
      for (int32_t x = r.left; x < r.right; ++x)
        out.Row(y - area.top)[x - area.left] = w->Pixel(x - w->client_.left, y - w->client_.top) | 0xFF000000u;
  }
  return out;
}

bool HeadlessPlatform::OpenWithShell(const std::u16string& path) {
  shellOpened.push_back(path);
  return shellOpens;
}

std::vector<std::u16string> HeadlessPlatform::ShowFileDialog(PlatformWindow*, FileDialogRequest& request) {
  fileDialogRequests.push_back(request);
  if (fileDialogAnswers.empty()) return {};
  if (fileDialogFilterChoice) request.filterIndex = fileDialogFilterChoice;
  auto a = std::move(fileDialogAnswers.front());
  fileDialogAnswers.pop_front();
  return a;
}

std::optional<uint32_t> HeadlessPlatform::ChooseColour(PlatformWindow*, uint32_t, std::array<uint32_t, 16>&) {
  if (colourAnswers.empty()) return std::nullopt;
  const auto a = colourAnswers.front();
  colourAnswers.pop_front();
  return a;
}

void HeadlessPlatform::AdvanceTime(uint64_t milliseconds) {
  const uint64_t end = now_ + milliseconds;
  for (;;) {
    HeadlessWindow* dueWindow = nullptr;
    uint32_t dueId = 0;
    uint64_t due = UINT64_MAX;
    for (HeadlessWindow* w : windows_)
      for (auto& [id, t] : w->timers_)
        if (t.due < due) {
          due = t.due;
          dueWindow = w;
          dueId = id;
        }
    if (!dueWindow || due > end) break;
    now_ = std::max(now_, due);
    // A system timer repeats until killed or set again.
    auto& t = dueWindow->timers_[dueId];
    t.due = now_ + std::max<uint32_t>(t.interval, 1);
    dueWindow->events_.OnTimer(dueId);
    Pump();
  }
  now_ = end;
  Pump();
}

std::vector<HeadlessWindow*> HeadlessPlatform::Windows() const { return windows_; }

HeadlessWindow* HeadlessPlatform::Find(uintptr_t handle) const {
  for (HeadlessWindow* w : windows_)
    if (w->handle_ == handle) return w;
  return nullptr;
}

HeadlessWindow* HeadlessPlatform::Foreground() const { return Find(foreground_); }

std::optional<ViewRect> HeadlessPlatform::ForegroundWindowRect() {
  if (const HeadlessWindow* w = Foreground()) return w->WindowRect();
  if (foreignForeground && now_ >= foreignForegroundFrom) return foreignForeground;
  return std::nullopt;
}

void HeadlessPlatform::SetProgress(ProgressState state, uint32_t done, uint32_t total) {
  progress.push_back({state, done, total, std::this_thread::get_id()});
}

std::vector<uintptr_t> HeadlessPlatform::FindTopLevelWindows(std::u16string_view titlePart) {
  std::vector<uintptr_t> out;
  for (HeadlessWindow* w : windows_)
    if (w->owner_ == 0 && w->title_.find(titlePart) != std::u16string::npos) out.push_back(w->handle_);
  return out;
}

bool HeadlessPlatform::SendCopyData(uintptr_t window, uint64_t tag, std::span<const uint8_t> bytes) {
  HeadlessWindow* w = Find(window);
  return w && w->events_.OnCopyData(tag, bytes.data(), bytes.size());
}

void HeadlessPlatform::SendCloseRequest(uintptr_t window) {
  if (HeadlessWindow* w = Find(window)) w->events_.OnCloseRequest();
}

bool HeadlessPlatform::CreateLogonShortcut(std::u16string_view name, std::u16string_view arguments,
                                           std::u16string_view workingFolder) {
  logonShortcuts.push_back({std::u16string(name), std::u16string(arguments), std::u16string(workingFolder)});
  return true;
}

bool HeadlessPlatform::RemoveLogonShortcut(std::u16string_view name) {
  removedLogonShortcuts.emplace_back(name);
  return true;
}

void HeadlessPlatform::EndSession() {
  // A handler may destroy windows: only those still registered hear of it.
  const std::vector<HeadlessWindow*> live = windows_;
  for (HeadlessWindow* w : live) {
    if (std::find(windows_.begin(), windows_.end(), w) != windows_.end() && w->exists_)
      w->events_.OnEndSession();
  }
}

void HeadlessPlatform::Unregister(HeadlessWindow* w) {
  windows_.erase(std::remove(windows_.begin(), windows_.end(), w), windows_.end());
}

}  // namespace vt
