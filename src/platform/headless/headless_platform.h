#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace vt {

class HeadlessPlatform;

// A window on the fake screen. Its client area is a pixel buffer that paints
// and layered presentations write into, so a test reads back what was shown.
class HeadlessWindow : public PlatformWindow {
 public:
  HeadlessWindow(HeadlessPlatform& platform, WindowEvents& events, const WindowCreateParams& params,
                 uintptr_t handle);
  ~HeadlessWindow() override;

  uintptr_t NativeHandle() const override { return handle_; }
  bool Exists() const override { return exists_; }
  void SetTitle(std::u16string_view title) override { title_ = title; }
  std::u16string Title() const override { return title_; }
  void SetFrame(FrameStyle frame) override;
  FrameStyle Frame() const override { return frame_; }
  bool SetLayered(bool layered) override;
  bool IsLayered() const override { return layered_; }
  void PlaceClient(ViewPoint clientTopLeft, ViewSize clientSize) override;
  void PlaceWindow(std::optional<ViewPoint> topLeft, ViewSize windowSize) override;
  ViewRect WindowRect() const override;
  ViewPoint ClientOrigin() const override { return {client_.left, client_.top}; }
  ViewSize ClientSize() const override { return {client_.Width(), client_.Height()}; }
  void Show(ShowState state, bool activate) override;
  void Hide() override { visible_ = false; }
  ShowState State() const override { return state_; }
  bool IsVisible() const override { return visible_; }
  void SetTopmost(bool topmost) override { topmost_ = topmost; }
  bool IsTopmost() const override { return topmost_; }
  void SetEnabled(bool enabled) override { enabled_ = enabled; }
  bool IsEnabled() const override { return enabled_; }
  void SendToBack() override;
  void BringToFront() override;
  bool IsForeground() const override;
  void Repaint() override;
  bool PresentLayered(ImageBuffer& display, ViewPoint source, std::optional<ViewPoint> clientTopLeft,
                      ViewSize size, bool perPixelAlpha) override;
  void SetTimer(uint32_t id, uint32_t milliseconds) override;
  void KillTimer(uint32_t id) override { timers_.erase(id); }
  void PostCommand(uint32_t command, intptr_t argument) override;
  void PostCloseRequest() override;
  void Destroy() override;
  void SetCursor(CursorKind cursor) override { cursor_ = cursor; }
  MonitorInfo Monitor() const override;
  bool IsUnderCursor() const override;
  void CaptureMouse(bool capture) override { mouseCapture_ = capture; }

  // What the test reads back.
  uint32_t Pixel(int32_t x, int32_t y) const;  // client coordinates, blue green red alpha
  ViewSize PixelsSize() const { return pixelsSize_; }
  struct Label {
    std::u16string text;
    ViewPoint at;
    uint32_t colour;
  };
  const std::vector<Label>& Labels() const { return labels_; }
  int PaintCount() const { return paints_; }
  int PresentCount() const { return presents_; }
  bool LastPresentPerPixelAlpha() const { return lastPerPixelAlpha_; }
  CursorKind Cursor() const { return cursor_; }
  bool HasTimer(uint32_t id) const { return timers_.count(id) != 0; }
  // Milliseconds from now to the timer's next tick; -1 when not set.
  int64_t TimerRemaining(uint32_t id) const;
  bool IsNoActivate() const { return noActivate_; }
  uintptr_t Owner() const { return owner_; }
  int ZOrder() const { return zOrder_; }
  WindowEvents& Events() { return events_; }

  // Test input: delivered at once, as the system would (a running menu sees
  // keys and presses first).
  bool SendKey(uint32_t virtualKey, uint8_t modifiers = 0);
  void SendChar(char16_t character);
  void SendMouseMove(ViewPoint client);
  void SendMouseButton(int button, MouseAction action, ViewPoint client, uint8_t modifiers = 0);
  // A press and a release of button at client.
  void Click(int button, ViewPoint client, uint8_t modifiers = 0);
  bool HasMouseCapture() const { return mouseCapture_; }
  void Activate(bool active);
  void SetDpi(uint32_t dpi);
  // The user drags an edge of the window towards the window rectangle
  // proposed; the window may change it while sizing, then it is applied.
  void UserDragEdge(SizingEdge edge, ViewRect proposed);
  // The user drags the window by its caption so that its top-left corner
  // would be at topLeft.
  void UserMove(ViewPoint topLeft);

 private:
  friend class HeadlessPlatform;
  void Resize(ViewRect client, ShowState state);
  ViewRect ClientOfWindowRect(const ViewRect& window) const;
  void ResizePixels();
  FrameMetrics Metrics() const;

  HeadlessPlatform& platform_;
  WindowEvents& events_;
  uintptr_t handle_;
  uintptr_t owner_;
  bool exists_ = true;
  std::u16string title_;
  FrameStyle frame_;
  bool layered_ = false;
  ViewRect client_;
  ViewRect normalClient_;
  ShowState state_ = ShowState::kNormal;
  bool visible_ = false;
  bool topmost_ = false;
  bool enabled_ = true;
  bool noActivate_ = false;
  bool popup_ = false;
  bool mouseCapture_ = false;
  int zOrder_ = 0;
  uint32_t dpiOverride_ = 0;
  std::vector<uint32_t> pixels_;
  ViewSize pixelsSize_;
  std::vector<Label> labels_;
  int paints_ = 0;
  int presents_ = 0;
  bool lastPerPixelAlpha_ = false;
  CursorKind cursor_ = CursorKind::kArrow;
  struct Timer {
    uint32_t interval;
    uint64_t due;
  };
  std::map<uint32_t, Timer> timers_;
};

// A fake screen with a message queue that the test pumps. Time stands still
// until the test advances it.
class HeadlessPlatform : public Platform {
 public:
  explicit HeadlessPlatform(std::vector<MonitorInfo> monitors);
  ~HeadlessPlatform() override;

  std::unique_ptr<PlatformWindow> NewWindow(WindowEvents& events,
                                            const WindowCreateParams& params) override;
  std::vector<MonitorInfo> Monitors() override { return monitors_; }
  MonitorInfo MonitorNearest(const ViewRect& rect) override;
  FrameMetrics FrameMetricsForDpi(uint32_t dpi) override;
  ViewPoint CursorPosition() override { return cursor; }
  void Beep() override { ++beeps; }
  MessageBoxAnswer ShowMessageBox(PlatformWindow* owner, std::u16string_view text,
                                  std::u16string_view caption, MessageBoxKind kind) override;
  std::vector<std::u16string> ShowOpenDialog(PlatformWindow* owner, std::u16string_view title,
                                             const std::vector<std::u16string>& filter,
                                             bool multiple) override;
  void RunMessageLoop() override;
  bool PumpPendingMessages() override;
  void Quit() override { quitRequested = true; }
  uint64_t TickCount() override { return now_; }
  // Time moves on without timers firing or messages running, as while a
  // thread really sleeps.
  void Sleep(uint32_t milliseconds) override {
    now_ += milliseconds;
    slept += milliseconds;
  }
  std::optional<ViewRect> ForegroundWindowRect() override;
  void SetProgress(ProgressState state, uint32_t done, uint32_t total) override;
  void SetPriorityAboveNormal(bool above) override { priorityAbove = above; }
  std::vector<uintptr_t> FindTopLevelWindows(std::u16string_view titlePart) override;
  bool SendCopyData(uintptr_t window, uint64_t tag, std::span<const uint8_t> bytes) override;
  void SendCloseRequest(uintptr_t window) override;
  void AllowCopyDataFromLowerPrivilege() override { copyDataAllowed = true; }
  std::u16string LongPathName(const std::u16string& path) override { return path; }
  bool CreateLogonShortcut(std::u16string_view name, std::u16string_view arguments,
                           std::u16string_view workingFolder) override;
  bool RemoveLogonShortcut(std::u16string_view name) override;
  std::vector<std::u16string> ShowFileDialog(PlatformWindow* owner, FileDialogRequest& request) override;
  std::optional<uint32_t> ChooseColour(PlatformWindow* owner, uint32_t colour,
                                       std::array<uint32_t, 16>& customColours) override;
  // Runs the queued messages one by one while keepRunning says so; with the
  // queue empty nothing more can happen here, and it returns false.
  bool RunNestedLoop(const std::function<bool()>& keepRunning) override;
  void BeginMenuCapture(PlatformWindow& popup, MenuCaptureSink& sink) override;
  void EndMenuCapture() override;
  // The fake screen: the visible windows' pixels in their stacking order over black.
  std::optional<PixelSurface> CaptureScreen(const ViewRect& area) override;
  bool OpenWithShell(const std::u16string& path) override;

  // Input queued for a nested loop to find (a test cannot act while a modal
  // menu runs): delivered in order as the real systems would.
  void PostKey(uintptr_t window, uint32_t virtualKey, uint8_t modifiers = 0);
  void PostChar(uintptr_t window, char16_t character);
  void PostMouseButton(uintptr_t window, int button, MouseAction action, ViewPoint client, uint8_t modifiers = 0);
  void PostMouseMove(uintptr_t window, ViewPoint client);
  // A key reaching a window (down or up): through a running menu first.
  bool DeliverKey(HeadlessWindow& window, uint32_t virtualKey, bool down, uint8_t modifiers);
  void DeliverMouseButton(HeadlessWindow& window, int button, MouseAction action, ViewPoint client,
                          uint8_t modifiers);
  bool MenuCaptureActive() const { return menuSink_ != nullptr; }
  uintptr_t MenuCaptureWindow() const { return menuWindow_; }

  // Runs queued messages until none is left; the number run.
  size_t Pump();
  // Moves the clock forward, firing due timers in order (and pumping after each).
  void AdvanceTime(uint64_t milliseconds);
  // Live windows in creation order.
  std::vector<HeadlessWindow*> Windows() const;
  HeadlessWindow* Find(uintptr_t handle) const;
  HeadlessWindow* Foreground() const;
  // The system ends the user's logon: every live window hears of it.
  void EndSession();

  int beeps = 0;
  uint64_t slept = 0;  // milliseconds spent in Sleep
  // A window of another program that takes the activation at the given tick
  // when no window of this screen has it.
  std::optional<ViewRect> foreignForeground;
  uint64_t foreignForegroundFrom = 0;
  bool quitRequested = false;
  bool copyDataAllowed = false;
  bool priorityAbove = false;
  bool refuseLayered = false;
  ViewPoint cursor{-10000, -10000};
  struct ShownMessageBox {
    std::u16string text;
    std::u16string caption;
    MessageBoxKind kind;
  };
  std::vector<ShownMessageBox> messageBoxes;
  std::deque<MessageBoxAnswer> messageBoxAnswers;  // kOk when empty
  std::vector<std::u16string> openDialogTitles;
  std::deque<std::vector<std::u16string>> openDialogAnswers;  // cancelled when empty
  struct Progress {
    ProgressState state;
    uint32_t done;
    uint32_t total;
    std::thread::id thread;  // the taskbar belongs to the user-interface thread
  };
  std::vector<Progress> progress;
  struct LogonShortcut {
    std::u16string name;
    std::u16string arguments;
    std::u16string workingFolder;
  };
  std::vector<LogonShortcut> logonShortcuts;  // in the order they were asked for
  std::vector<std::u16string> removedLogonShortcuts;  // names, in order
  std::vector<FileDialogRequest> fileDialogRequests;
  std::deque<std::vector<std::u16string>> fileDialogAnswers;  // cancelled when empty
  uint32_t fileDialogFilterChoice = 0;  // the filter the user picks (0: the one offered)
  std::deque<std::optional<uint32_t>> colourAnswers;          // cancelled when empty
  std::vector<std::u16string> shellOpened;  // paths handed to the shell
  bool shellOpens = true;                   // what OpenWithShell reports
  int menuCaptures = 0;                     // BeginMenuCapture calls
  // Called when a nested loop finds the queue empty: a test looks at what the
  // loop shows and queues more input (true), or lets the loop end (false).
  std::function<bool()> onNestedLoopIdle;

 private:
  friend class HeadlessWindow;
  struct Message {
    uintptr_t window;
    enum Kind { kCommand, kClose, kKey, kChar, kMouseButton, kMouseMove } kind;
    uint32_t command;  // kKey: the virtual key; kChar: the character; kMouseButton: the button
    intptr_t argument;  // kKey: the modifiers; kMouseButton: the action and modifiers
    ViewPoint at{};
  };
  void Post(Message m);
  // Runs the first queued message; false when there was none.
  bool PumpOne();
  void Unregister(HeadlessWindow* w);
  int NextZ() { return ++zCounter_; }

  std::vector<MonitorInfo> monitors_;
  std::mutex queueMutex_;
  std::deque<Message> queue_;
  std::vector<HeadlessWindow*> windows_;
  uintptr_t nextHandle_ = 0x100;
  uintptr_t foreground_ = 0;
  uint64_t now_ = 1000;
  int zCounter_ = 0;
  MenuCaptureSink* menuSink_ = nullptr;
  uintptr_t menuWindow_ = 0;
};

}  // namespace vt
