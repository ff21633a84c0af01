#pragma once
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <functional>
#include <thread>
#include <vector>

#include "platform/pixel_surface.h"
#include "platform/text_renderer.h"
#include "render/view_window.h"

// The operating-system boundary of the windows: what a window receives (events,
// plain structs and virtual handlers) and what it can ask for (operations). The
// back ends are win32 (the product), headless (tests) and later a desktop one
// for Linux. Nothing here includes a system header.

namespace vt {

class ImageBuffer;

// Windows virtual-key codes are the key codes of every back end.
inline constexpr uint8_t kModifierShift = 1;
inline constexpr uint8_t kModifierCtrl = 2;
inline constexpr uint8_t kModifierAlt = 4;

enum class ShowState : uint8_t { kNormal = 0, kMaximized = 1, kMinimized = 2 };

// The frame a top-level window wears.
enum class FrameStyle : uint8_t {
  kFramed = 0,          // caption, sizing border, system menu, minimize and maximize boxes
  kFrameless = 1,       // popup with minimize and maximize boxes
  kFramelessBorder = 2,  // the same with a one-pixel border
  kDialog = 3            // caption and close box, not sizable (dialogs)
};

enum class CursorKind : uint8_t { kArrow, kWait, kNotAllowed, kPanAll, kPanHorizontal, kPanVertical };

enum class MouseAction : uint8_t { kPress, kRelease, kDoubleClick };

// kTopmostPlain: no icon, above every other window (a reading shown while the
// user goes on looking at the screen).
enum class MessageBoxKind : uint8_t { kError, kInformation, kQuestion, kTopmostPlain };
enum class MessageBoxAnswer : uint8_t { kOk, kCancel, kYes, kNo };

enum class ProgressState : uint8_t { kNone, kIndeterminate, kNormal };

// The edge a user drags while sizing a window.
enum class SizingEdge : uint8_t { kLeft, kRight, kTop, kBottom, kTopLeft, kTopRight, kBottomLeft, kBottomRight };

struct MonitorInfo {
  ViewRect rect;
  ViewRect workArea;
  uint32_t dpi = 96;
  friend bool operator==(const MonitorInfo&, const MonitorInfo&) = default;
};

// What a window asks for when it is made. Positions are client-area positions.
struct WindowCreateParams {
  std::u16string title;
  ViewPoint clientTopLeft;
  ViewSize clientSize;
  FrameStyle frame = FrameStyle::kFramed;
  bool popup = false;       // a toolkit popup (menus): class "muiPopup"
  bool visible = true;
  bool noActivate = false;  // shown without taking the focus
  bool topmost = false;
  bool layered = false;
  bool acceptFiles = false;
  bool bottom = false;      // placed below every other window
  uintptr_t owner = 0;      // native handle of the owner window, 0 for none
};

// The surface a window paints on during its paint event; client coordinates.
class PaintTarget {
 public:
  virtual ~PaintTarget() = default;
  // colour: blue, green, red, alpha bytes of a little-endian word.
  virtual void Fill(const ViewRect& rect, uint32_t colour) = 0;
  // Copies the part of a display image at source, size of destination, 1:1.
  virtual void DrawImage(ImageBuffer& display, ViewPoint source, const ViewRect& destination) = 0;
  virtual ViewSize MeasureText(std::u16string_view text) = 0;
  // Single line, no prefix processing, transparent background.
  virtual void DrawLabel(std::u16string_view text, ViewPoint at, uint32_t colour) = 0;
  // Copies the part source of a surface the toolkit painted to at, 1:1.
  virtual void DrawSurface(const PixelSurface& surface, const ViewRect& source, ViewPoint at) {
    const ViewRect r = Intersect(source, surface.Bounds());
    for (int32_t y = r.top; y < r.bottom; ++y)
      for (int32_t x = r.left; x < r.right; ++x)
        Fill({at.x + x - source.left, at.y + y - source.top, at.x + x - source.left + 1, at.y + y - source.top + 1},
             surface.At(x, y));
  }
};

// What a window receives. Handlers run on the user-interface thread.
class WindowEvents {
 public:
  virtual ~WindowEvents() = default;
  // The user or the system asks the window to close; the default destroys it.
  virtual void OnCloseRequest() = 0;
  // The system window is gone; nothing may be asked of it any more.
  virtual void OnDestroyed() = 0;
  virtual void OnSize(ViewSize client, ShowState state) {}
  virtual void OnMove(ViewPoint clientTopLeft) {}
  // While the user drags an edge: the window rectangle may be changed.
  virtual void OnSizing(SizingEdge edge, ViewRect* windowRect) {}
  // Before the window is moved or sized (the user dragging it, the system's
  // snapping and keyboard moves, the window's own requests): the window
  // rectangle may be changed.
  virtual void OnPositionChanging(ViewRect* windowRect) {}
  virtual void OnSizeMoveLoop(bool entering) {}
  virtual void OnPaint(PaintTarget& target, const ViewRect& dirty) {}
  // Key down and up with the held modifiers; true when handled.
  virtual bool OnKey(uint32_t virtualKey, bool down, uint8_t modifiers) { return false; }
  // Buttons 0 left, 1 right, 2 middle, 3 and 4 the side buttons.
  virtual void OnMouseButton(int button, MouseAction action, ViewPoint client, uint8_t modifiers) {}
  virtual void OnMouseMove(ViewPoint client, uint8_t modifiers) {}
  virtual void OnWheel(int delta, ViewPoint client, uint8_t modifiers) {}
  virtual void OnTimer(uint32_t id) {}
  virtual void OnCommand(uint32_t command, intptr_t argument) {}
  // A character typed (after the key's down event); controls that take text use it.
  virtual void OnChar(char16_t character) {}
  virtual void OnDroppedFiles(const std::vector<std::u16string>& paths) {}
  virtual void OnDpiChanged(uint32_t dpi) {}
  virtual void OnActivate(bool active) {}
  virtual void OnDisplayChange() {}
  // Data another process sent to this window; the answer goes back to it.
  virtual bool OnCopyData(uint64_t tag, const void* data, size_t bytes) { return false; }
  // The user's logon is ending (log off, shut down): the last chance to leave
  // something for the next logon. The process may end without further events.
  virtual void OnEndSession() {}
};

// One system window. Destroying the object destroys the system window.
class PlatformWindow {
 public:
  virtual ~PlatformWindow() = default;

  virtual uintptr_t NativeHandle() const = 0;
  virtual bool Exists() const = 0;

  virtual void SetTitle(std::u16string_view title) = 0;
  virtual std::u16string Title() const = 0;

  // Changes the frame keeping the client area where it is.
  virtual void SetFrame(FrameStyle frame) = 0;
  virtual FrameStyle Frame() const = 0;
  // The per-pixel transparent style; false when the system refuses it.
  virtual bool SetLayered(bool layered) = 0;
  virtual bool IsLayered() const = 0;

  // Moves and sizes so that the client area has this position and size
  // (without activation; the frame change is applied too).
  virtual void PlaceClient(ViewPoint clientTopLeft, ViewSize clientSize) = 0;
  // Moves (when a position is given) and sizes the whole window.
  virtual void PlaceWindow(std::optional<ViewPoint> topLeft, ViewSize windowSize) = 0;
  virtual ViewRect WindowRect() const = 0;
  virtual ViewPoint ClientOrigin() const = 0;
  virtual ViewSize ClientSize() const = 0;

  virtual void Show(ShowState state, bool activate) = 0;
  virtual void Hide() = 0;
  virtual ShowState State() const = 0;
  virtual bool IsVisible() const = 0;

  virtual void SetTopmost(bool topmost) = 0;
  virtual bool IsTopmost() const = 0;
  virtual void SendToBack() = 0;
  virtual void BringToFront() = 0;
  virtual bool IsForeground() const = 0;

  // Paints the window now (through the paint event).
  virtual void Repaint() = 0;
  // Shows a layered window from a display image: size pixels from source, the
  // client at clientTopLeft when given. Per-pixel alpha or opaque. False when
  // the system refused.
  virtual bool PresentLayered(ImageBuffer& display, ViewPoint source,
                              std::optional<ViewPoint> clientTopLeft, ViewSize size,
                              bool perPixelAlpha) = 0;

  virtual void SetTimer(uint32_t id, uint32_t milliseconds) = 0;
  virtual void KillTimer(uint32_t id) = 0;
  // Any thread: the command event arrives later on the user-interface thread.
  virtual void PostCommand(uint32_t command, intptr_t argument) = 0;
  // Any thread: the close request arrives later.
  virtual void PostCloseRequest() = 0;
  virtual void Destroy() = 0;

  virtual void SetCursor(CursorKind cursor) = 0;
  virtual MonitorInfo Monitor() const = 0;
  virtual bool IsUnderCursor() const = 0;
  // Mouse events keep coming to this window while the pointer is elsewhere
  // (a slider's thumb dragged past the window's edge) until released.
  virtual void CaptureMouse(bool capture) {}
  // A disabled window takes no keys, clicks, wheel turns or close requests
  // (the owner of a modal dialog); it is still painted.
  virtual void SetEnabled(bool enabled) {}
  virtual bool IsEnabled() const { return true; }
};

// Where a running popup menu hears of the input of the whole thread: every
// key, whatever window has the focus, and every mouse button pressed,
// wherever the pointer is.
class MenuCaptureSink {
 public:
  virtual ~MenuCaptureSink() = default;
  // True swallows the key.
  virtual bool OnMenuKey(uint32_t virtualKey, bool down, uint8_t modifiers) = 0;
  // A press of button (0 left, 1 right, 2 middle) at a screen point; true
  // swallows it.
  virtual bool OnMenuPress(int button, ViewPoint screen) = 0;
};

// The common open and save dialogs: one request serves both.
struct FileDialogRequest {
  bool save = false;
  bool multiple = false;  // open only: several files may be chosen
  std::u16string title;
  // Pairs of description and pattern list ("*.bmp;*.jpg").
  std::vector<std::u16string> filter;
  // 1-based; the one chosen comes back here.
  uint32_t filterIndex = 1;
  // Folder and name the dialog starts at (save: the proposed name).
  std::u16string initialPath;
};

// The process's windowing services.
class Platform {
 public:
  virtual ~Platform() = default;

  virtual std::unique_ptr<PlatformWindow> NewWindow(WindowEvents& events,
                                                       const WindowCreateParams& params) = 0;

  virtual std::vector<MonitorInfo> Monitors() = 0;
  virtual MonitorInfo MonitorNearest(const ViewRect& rect) = 0;
  // What a framed window's frame adds at dpi.
  virtual FrameMetrics FrameMetricsForDpi(uint32_t dpi) = 0;
  virtual ViewPoint CursorPosition() = 0;

  virtual void Beep() = 0;
  virtual MessageBoxAnswer ShowMessageBox(PlatformWindow* owner, std::u16string_view text,
                                          std::u16string_view caption, MessageBoxKind kind) = 0;
  // Paths chosen (empty when cancelled). filter: pairs of description and
  // pattern list as the open-file dialog takes them.
  virtual std::vector<std::u16string> ShowOpenDialog(PlatformWindow* owner, std::u16string_view title,
                                                     const std::vector<std::u16string>& filter,
                                                     bool multiple) = 0;
  // The open or save dialog; the paths chosen, none when cancelled. A save
  // dialog does not ask before an existing file is chosen.
  virtual std::vector<std::u16string> ShowFileDialog(PlatformWindow* owner, FileDialogRequest& request) {
    return request.save ? std::vector<std::u16string>{}
                        : ShowOpenDialog(owner, request.title, request.filter, request.multiple);
  }
  // The system's colour chooser, full, starting at colour (blue, green, red
  // bytes of a little-endian word) with the shared custom colours (changed in
  // place); nothing when cancelled or when there is none.
  virtual std::optional<uint32_t> ChooseColour(PlatformWindow* owner, uint32_t colour,
                                               std::array<uint32_t, 16>& customColours) {
    return std::nullopt;
  }

  // Runs until Quit; PumpPendingMessages runs what waits and reports false
  // once the quit request was seen.
  virtual void RunMessageLoop() = 0;
  virtual bool PumpPendingMessages() = 0;
  virtual void Quit() = 0;
  // A loop of its own inside a handler (a modal menu or dialog): waits for
  // and dispatches messages while keepRunning says so. False when the quit
  // request was seen (it stays for the outer loop) or nothing more can come.
  virtual bool RunNestedLoop(const std::function<bool()>& keepRunning) {
    while (keepRunning()) {
      if (!PumpPendingMessages()) return false;
      Sleep(1);
    }
    return true;
  }
  // From BeginMenuCapture to EndMenuCapture the sink sees the thread's input
  // first (on one system thread hooks, on another a grab of pointer and
  // keyboard to popup).
  virtual void BeginMenuCapture(PlatformWindow& popup, MenuCaptureSink& sink) {}
  virtual void EndMenuCapture() {}

  // Interface text on the toolkit's surfaces.
  virtual TextRenderer& Text();
  // The system's name of a key (a virtual-key code), as its keyboard
  // settings print it; English names where the system has none.
  virtual std::u16string KeyName(uint32_t virtualKey);
  // What the screen shows in area (screen coordinates), opaque; nothing when
  // the system will not tell.
  virtual std::optional<PixelSurface> CaptureScreen(const ViewRect& area) { return std::nullopt; }
  // Opens a file or folder the way the desktop opens it on a double click
  // (the shell's "open"); false when nothing took it.
  virtual bool OpenWithShell(const std::u16string& path) { return false; }
  // The picture the desktop shows for a file or folder (its shell icon, or
  // the icon theme's picture of its type), about size pixels square, blue,
  // green, red and alpha (straight) per pixel; nothing when there is none.
  virtual std::optional<PixelSurface> FileIcon(const std::u16string& path, bool folder, int32_t size) {
    return std::nullopt;
  }
  // The target of a shortcut file (a Windows ".lnk"); nothing when the path
  // is none or its target cannot be told.
  virtual std::optional<std::u16string> ResolveShortcut(const std::u16string& path) { return std::nullopt; }
  // Plain text on the clipboard; this process's own clipboard where the
  // system has none.
  virtual void SetClipboardText(std::u16string_view text) { clipboardText_ = text; }
  virtual std::optional<std::u16string> ClipboardText() { return clipboardText_; }

  virtual uint64_t TickCount() = 0;  // milliseconds
  // Blocks the calling thread for a while (the clock of TickCount moves on).
  virtual void Sleep(uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
  // The whole rectangle of the window that has the activation now, of this or
  // any other program; nothing when no window has it or the system cannot tell.
  virtual std::optional<ViewRect> ForegroundWindowRect() { return std::nullopt; }
  // The progress display of the program's taskbar button.
  virtual void SetProgress(ProgressState state, uint32_t done, uint32_t total) = 0;
  virtual void SetPriorityAboveNormal(bool above) = 0;

  // Other instances of the program: top-level windows whose title holds text.
  virtual std::vector<uintptr_t> FindTopLevelWindows(std::u16string_view titlePart) = 0;
  // Sends the hand-off and waits for the answer (true = accepted).
  virtual bool SendCopyData(uintptr_t window, uint64_t tag, std::span<const uint8_t> bytes) = 0;
  virtual void SendCloseRequest(uintptr_t window) = 0;
  // Lets a less privileged instance hand off to this one.
  virtual void AllowCopyDataFromLowerPrivilege() = 0;
  // The long form of a path with short (8.3) names; the path when unknown.
  virtual std::u16string LongPathName(const std::u16string& path) = 0;
  // An entry that starts this program with arguments at the user's next
  // logon, named name (a file name, without any extension of the system's),
  // run in workingFolder. An entry of the same name is replaced. False when
  // it could not be made or the system has no such place.
  virtual bool CreateLogonShortcut(std::u16string_view name, std::u16string_view arguments,
                                   std::u16string_view workingFolder) {
    return false;
  }
  // Removes the entry of that name, when there is one; false when none was removed.
  virtual bool RemoveLogonShortcut(std::u16string_view name) { return false; }

 private:
  std::optional<std::u16string> clipboardText_;
};

// The platform of the process, set once at start-up (tests set their own).
Platform& CurrentPlatform();
void SetCurrentPlatform(Platform* platform);

}  // namespace vt
