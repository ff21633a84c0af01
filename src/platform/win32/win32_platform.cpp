#include "platform/win32/win32_platform.h"

#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <optional>
#include <vector>

#include "image/display_rows.h"
#include "image/image_buffer.h"
#include "platform/win32/dib_surface.h"
#include "platform/win32/gdi_handles.h"
#include "platform/win32/gdi_text.h"
#include "platform/win32/win32_shell_icons.h"

namespace vt {

namespace {

constexpr wchar_t kWindowClass[] = L"muiWindow";
constexpr wchar_t kPopupClass[] = L"muiPopup";

const wchar_t* Wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
std::u16string FromWide(const wchar_t* s, size_t n) {
  return std::u16string(reinterpret_cast<const char16_t*>(s), n);
}

// Functions that only newer systems have, looked up once.
struct OptionalApis {
  using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
  using ChangeWindowMessageFilterFn = BOOL(WINAPI*)(UINT, DWORD);
  GetDpiForMonitorFn getDpiForMonitor = nullptr;
  GetSystemMetricsForDpiFn getSystemMetricsForDpi = nullptr;
  ChangeWindowMessageFilterFn changeWindowMessageFilter = nullptr;

  OptionalApis() {
    if (HMODULE shcore = LoadLibraryW(L"Shcore.dll"))
      getDpiForMonitor = reinterpret_cast<GetDpiForMonitorFn>(
          reinterpret_cast<void*>(GetProcAddress(shcore, "GetDpiForMonitor")));
    if (HMODULE user = GetModuleHandleW(L"User32.dll")) {
      getSystemMetricsForDpi = reinterpret_cast<GetSystemMetricsForDpiFn>(
          reinterpret_cast<void*>(GetProcAddress(user, "GetSystemMetricsForDpi")));
      changeWindowMessageFilter = reinterpret_cast<ChangeWindowMessageFilterFn>(
          reinterpret_cast<void*>(GetProcAddress(user, "ChangeWindowMessageFilter")));
    }
  }
};

const OptionalApis& Apis() {
  static const OptionalApis apis;
  return apis;
}

int MetricForDpi(int index, uint32_t dpi) {
  if (Apis().getSystemMetricsForDpi) return Apis().getSystemMetricsForDpi(index, dpi);
  return MulDiv(GetSystemMetrics(index), static_cast<int>(dpi), 96);
}

MonitorInfo InfoOf(HMONITOR monitor) {
  MONITORINFO mi{};
  mi.cbSize = sizeof(mi);
  GetMonitorInfoW(monitor, &mi);
  MonitorInfo info;
  info.rect = {mi.rcMonitor.left, mi.rcMonitor.top, mi.rcMonitor.right, mi.rcMonitor.bottom};
  info.workArea = {mi.rcWork.left, mi.rcWork.top, mi.rcWork.right, mi.rcWork.bottom};
  UINT dx = 96, dy = 96;
  if (Apis().getDpiForMonitor && Apis().getDpiForMonitor(monitor, 0, &dx, &dy) == S_OK)
    info.dpi = dx;
  else if (HDC dc = GetDC(nullptr)) {
    info.dpi = static_cast<uint32_t>(GetDeviceCaps(dc, LOGPIXELSX));
    ReleaseDC(nullptr, dc);
  }
  return info;
}

FrameMetrics MetricsForDpi(uint32_t dpi) {
  const int padded = MetricForDpi(SM_CXPADDEDBORDER, dpi);
  return {MetricForDpi(SM_CXSIZEFRAME, dpi) + padded, MetricForDpi(SM_CYSIZEFRAME, dpi) + padded,
          MetricForDpi(SM_CYCAPTION, dpi), MetricForDpi(SM_CXMINTRACK, dpi)};
}

DWORD StyleFor(FrameStyle frame) {
  switch (frame) {
    case FrameStyle::kFramed:
      return WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    case FrameStyle::kFrameless:
      return WS_POPUP | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    case FrameStyle::kDialog:
      return WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    case FrameStyle::kFramelessBorder:
    default:
      return WS_POPUP | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_BORDER | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  }
}

// A top-down 32-bit copy of part of a display image, premultiplied when its
// alpha is to be shown, in the layout the drawing calls take.
struct Rows32 {
  std::vector<uint32_t> pixels;
  BITMAPINFO info{};
  Rows32(ImageBuffer& image, ViewPoint source, ViewSize size, bool premultiply) {
    pixels.resize(size_t(std::max(size.width, 0)) * std::max(size.height, 0));
    const RowAlpha alpha = premultiply ? RowAlpha::kPremultiplied : RowAlpha::kOpaque;
    for (int32_t y = 0; y < size.height; ++y)
      DisplayRowTo32(image, source.x, int64_t{source.y} + y, size.width, alpha,
                     pixels.data() + size_t(y) * size.width);
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = size.width;
    info.bmiHeader.biHeight = -size.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
  }
};

// The DIB section behind a display image, when its pixels can go to the
// screen as they are: the source rectangle lies inside the image and the
// alpha needs no premultiplying. Otherwise (memory buffers, straight alpha,
// rectangles over the edge) the caller makes a 32-bit copy.
struct DirectSource {
  HDC dc = nullptr;
  POINT at{};
  bool blend = false;  // premultiplied alpha to blend
};
std::optional<DirectSource> DirectSourceOf(ImageBuffer& image, ViewPoint source, ViewSize size) {
  auto* surface = dynamic_cast<DibSurface*>(image.Surface());
  if (!surface || source.x < 0 || source.y < 0 || size.width <= 0 || size.height <= 0 ||
      int64_t{source.x} + size.width > image.Width() || int64_t{source.y} + size.height > image.Height())
    return std::nullopt;
  DirectSource direct;
  if (image.Format() == PixelFormat::Bgra8) {
    if (image.Alpha() == AlphaMode::Straight) return std::nullopt;
    direct.blend = image.Alpha() == AlphaMode::Premultiplied;
  }
  // Grey and palette planes show through the section's colour table, opaque.
  direct.dc = surface->Dc();
  if (!direct.dc) return std::nullopt;
  const POINT origin = surface->PlaneOrigin();
  direct.at = {origin.x + source.x, origin.y + source.y};
  return direct;
}

// The background brush of a window, kept until the colour changes. A colour
// with alpha below 255 becomes a 1 x 1 32-bit pattern whose pixel keeps the
// alpha byte (a solid brush would drop it), so that what is filled stays
// transparent where the window is composed with alpha.
class BackgroundBrush {
 public:
  HBRUSH For(uint32_t colour) {
    if (brush_ && colour == colour_) return brush_.Get();
    colour_ = colour;
    if ((colour >> 24) == 0xFF) {
      brush_.Reset(CreateSolidBrush(RGB(colour >> 16 & 0xFF, colour >> 8 & 0xFF, colour & 0xFF)));
    } else {
      struct {
        BITMAPINFOHEADER header;
        uint32_t pixel;
      } packed{};
      packed.header.biSize = sizeof(BITMAPINFOHEADER);
      packed.header.biWidth = 1;
      packed.header.biHeight = 1;
      packed.header.biPlanes = 1;
      packed.header.biBitCount = 32;
      packed.header.biCompression = BI_RGB;
      packed.pixel = colour;  // blue, green, red, alpha in memory order
      brush_.Reset(CreateDIBPatternBrushPt(&packed, DIB_RGB_COLORS));
    }
    return brush_.Get();
  }

 private:
  GdiObject<HBRUSH> brush_;
  uint32_t colour_ = 0;
};

class GdiPaint : public PaintTarget {
 public:
  GdiPaint(HDC dc, BackgroundBrush& brushes) : dc_(dc), brushes_(brushes) {
    old_ = SelectObject(dc_, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc_, TRANSPARENT);
  }
  ~GdiPaint() override { SelectObject(dc_, old_); }
  void Fill(const ViewRect& r, uint32_t colour) override {
    if (r.right <= r.left || r.bottom <= r.top) return;
    RECT rc{r.left, r.top, r.right, r.bottom};
    if (HBRUSH brush = brushes_.For(colour)) FillRect(dc_, &rc, brush);
  }
  void DrawImage(ImageBuffer& display, ViewPoint source, const ViewRect& d) override {
    const ViewSize size{d.Width(), d.Height()};
    if (size.width <= 0 || size.height <= 0) return;
    if (const auto direct = DirectSourceOf(display, source, size)) {
      if (!direct->blend) {
        BitBlt(dc_, d.left, d.top, size.width, size.height, direct->dc, direct->at.x, direct->at.y, SRCCOPY);
      } else {
        const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        AlphaBlend(dc_, d.left, d.top, size.width, size.height, direct->dc, direct->at.x, direct->at.y,
                   size.width, size.height, blend);
      }
      return;
    }
    const bool alpha = display.Alpha() != AlphaMode::None;
    Rows32 rows(display, source, size, alpha);
    if (!alpha) {
      StretchDIBits(dc_, d.left, d.top, size.width, size.height, 0, 0, size.width, size.height,
                    rows.pixels.data(), &rows.info, DIB_RGB_COLORS, SRCCOPY);
      return;
    }
    // Blended over what the background fill left there.
    MemoryDc memory(dc_);
    void* bits = nullptr;
    GdiObject<HBITMAP> dib(CreateDIBSection(dc_, &rows.info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (memory && dib && bits) {
      std::memcpy(bits, rows.pixels.data(), rows.pixels.size() * 4);
      Selection selected(memory.Get(), dib.Get());
      BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
      AlphaBlend(dc_, d.left, d.top, size.width, size.height, memory.Get(), 0, 0, size.width, size.height, blend);
    }
  }
  ViewSize MeasureText(std::u16string_view text) override {
    SIZE s{};
    GetTextExtentPoint32W(dc_, reinterpret_cast<const wchar_t*>(text.data()), static_cast<int>(text.size()), &s);
    return {s.cx, s.cy};
  }
  void DrawSurface(const PixelSurface& surface, const ViewRect& source, ViewPoint at) override {
    const ViewRect r = Intersect(source, surface.Bounds());
    if (IsEmpty(r)) return;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = surface.width;
    info.bmiHeader.biHeight = -surface.height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    // Rows counted from the bottom of a top-down bitmap: the source's y is
    // measured from the last row.
    SetDIBitsToDevice(dc_, at.x + r.left - source.left, at.y + r.top - source.top, r.Width(), r.Height(), r.left,
                      surface.height - r.bottom, 0, surface.height, surface.pixels.data(), &info, DIB_RGB_COLORS);
  }
  void DrawLabel(std::u16string_view text, ViewPoint at, uint32_t colour) override {
    SetTextColor(dc_, RGB(colour >> 16 & 0xFF, colour >> 8 & 0xFF, colour & 0xFF));
    TextOutW(dc_, at.x, at.y, reinterpret_cast<const wchar_t*>(text.data()), static_cast<int>(text.size()));
  }

 private:
  HDC dc_;
  BackgroundBrush& brushes_;
  HGDIOBJ old_;
};

class Win32Platform;

class Win32Window : public PlatformWindow {
 public:
  Win32Window(Win32Platform& platform, WindowEvents& events) : platform_(platform), events_(events) {}
  ~Win32Window() override {
    if (hwnd_ && IsWindow(hwnd_)) {
      SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
      DestroyWindow(hwnd_);
    }
  }

  bool Make(const WindowCreateParams& p, HINSTANCE instance);
  static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM w, LPARAM l);
  LRESULT Handle(UINT message, WPARAM w, LPARAM l);

  uintptr_t NativeHandle() const override { return reinterpret_cast<uintptr_t>(hwnd_); }
  bool Exists() const override { return hwnd_ && IsWindow(hwnd_); }
  void SetTitle(std::u16string_view title) override {
    const std::u16string t(title);
    SetWindowTextW(hwnd_, Wide(t));
  }
  std::u16string Title() const override {
    wchar_t buffer[1024];
    const int n = GetWindowTextW(hwnd_, buffer, 1024);
    return FromWide(buffer, static_cast<size_t>(std::max(n, 0)));
  }
  void SetFrame(FrameStyle frame) override {
    if (frame == frame_) return;
    const ViewPoint origin = ClientOrigin();
    const ViewSize size = ClientSize();
    frame_ = frame;
    const LONG_PTR keep = GetWindowLongPtrW(hwnd_, GWL_STYLE) & (WS_VISIBLE | WS_MINIMIZE | WS_MAXIMIZE);
    SetWindowLongPtrW(hwnd_, GWL_STYLE, StyleFor(frame) | keep);
    if (!IsZoomed(hwnd_)) PlaceClient(origin, size);
  }
  FrameStyle Frame() const override { return frame_; }
  bool SetLayered(bool layered) override {
    LONG_PTR ex = GetWindowLongPtrW(hwnd_, GWL_EXSTYLE);
    ex = layered ? (ex | WS_EX_LAYERED) : (ex & ~LONG_PTR{WS_EX_LAYERED});
    SetWindowLongPtrW(hwnd_, GWL_EXSTYLE, ex);
    return IsLayered() == layered;
  }
  bool IsLayered() const override { return (GetWindowLongPtrW(hwnd_, GWL_EXSTYLE) & WS_EX_LAYERED) != 0; }
  void PlaceClient(ViewPoint topLeft, ViewSize size) override {
    RECT r{topLeft.x, topLeft.y, topLeft.x + size.width, topLeft.y + size.height};
    AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)));
    SetWindowPos(hwnd_, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOACTIVATE | SWP_NOZORDER | SWP_FRAMECHANGED);
  }
  void PlaceWindow(std::optional<ViewPoint> topLeft, ViewSize size) override {
    SetWindowPos(hwnd_, nullptr, topLeft ? topLeft->x : 0, topLeft ? topLeft->y : 0, size.width, size.height,
                 SWP_NOACTIVATE | SWP_NOZORDER | SWP_FRAMECHANGED | (topLeft ? 0 : SWP_NOMOVE));
  }
  ViewRect WindowRect() const override {
    RECT r{};
    GetWindowRect(hwnd_, &r);
    return {r.left, r.top, r.right, r.bottom};
  }
  ViewPoint ClientOrigin() const override {
    POINT p{0, 0};
    ClientToScreen(hwnd_, &p);
    return {p.x, p.y};
  }
  ViewSize ClientSize() const override {
    RECT r{};
    GetClientRect(hwnd_, &r);
    return {r.right, r.bottom};
  }
  void Show(ShowState state, bool activate) override {
    int how = activate ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE;
    if (state == ShowState::kMaximized) how = SW_SHOWMAXIMIZED;
    if (state == ShowState::kMinimized) how = activate ? SW_MINIMIZE : SW_SHOWMINNOACTIVE;
    if (state == ShowState::kNormal && IsZoomed(hwnd_)) how = SW_RESTORE;
    const bool wasHidden = !IsWindowVisible(hwnd_);
    const ViewPoint origin = ClientOrigin();
    const ViewSize size = ClientSize();
    ShowWindow(hwnd_, how);
    // Some systems settle the frame of a hidden window only when it is first
    // shown; keep the client area that was asked for. A framed window is
    // placed again in any case: hidden, it took a client narrower than its
    // caption allows, and now the tracking limits apply.
    if (wasHidden && state == ShowState::kNormal && !IsLayered() &&
        (ClientSize() != size || frame_ == FrameStyle::kFramed || frame_ == FrameStyle::kDialog))
      PlaceClient(origin, size);
    UpdateWindow(hwnd_);
  }
  void Hide() override { ShowWindow(hwnd_, SW_HIDE); }
  void SetEnabled(bool enabled) override { EnableWindow(hwnd_, enabled ? TRUE : FALSE); }
  bool IsEnabled() const override { return IsWindowEnabled(hwnd_) != FALSE; }
  ShowState State() const override {
    return IsZoomed(hwnd_) ? ShowState::kMaximized : IsIconic(hwnd_) ? ShowState::kMinimized : ShowState::kNormal;
  }
  bool IsVisible() const override { return IsWindowVisible(hwnd_) != FALSE; }
  void SetTopmost(bool topmost) override {
    SetWindowPos(hwnd_, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  bool IsTopmost() const override { return (GetWindowLongPtrW(hwnd_, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }
  void SendToBack() override {
    SetWindowPos(hwnd_, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  void BringToFront() override {
    SetForegroundWindow(hwnd_);
    BringWindowToTop(hwnd_);
  }
  bool IsForeground() const override { return GetForegroundWindow() == hwnd_; }
  void Repaint() override {
    InvalidateRect(hwnd_, nullptr, FALSE);
    UpdateWindow(hwnd_);
  }
  bool PresentLayered(ImageBuffer& display, ViewPoint source, std::optional<ViewPoint> at, ViewSize size,
                      bool perPixelAlpha) override;
  void SetTimer(uint32_t id, uint32_t ms) override { ::SetTimer(hwnd_, id, ms, nullptr); }
  void KillTimer(uint32_t id) override { ::KillTimer(hwnd_, id); }
  // Any thread: the handle is read from its own atomic copy, which the
  // window clears when it is destroyed, so a late post goes nowhere.
  void PostCommand(uint32_t command, intptr_t argument) override {
    if (HWND target = postTarget_.load()) PostMessageW(target, WM_COMMAND, command & 0xFFFF, argument);
  }
  void PostCloseRequest() override {
    if (HWND target = postTarget_.load()) PostMessageW(target, WM_CLOSE, 0, 0);
  }
  void Destroy() override {
    if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
  }
  void SetCursor(CursorKind cursor) override {
    cursor_ = cursor;
    POINT p;
    if (GetCursorPos(&p) && WindowFromPoint(p) == hwnd_) ApplyCursor();
  }
  MonitorInfo Monitor() const override { return InfoOf(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST)); }
  void CaptureMouse(bool capture) override {
    if (capture)
      SetCapture(hwnd_);
    else if (GetCapture() == hwnd_)
      ReleaseCapture();
  }
  bool IsUnderCursor() const override {
    POINT p;
    if (!GetCursorPos(&p)) return false;
    const HWND under = WindowFromPoint(p);
    return under == hwnd_ || IsChild(hwnd_, under);
  }

 private:
  void ApplyCursor() {
    const wchar_t* id = IDC_ARROW;
    switch (cursor_) {
      case CursorKind::kWait: id = IDC_WAIT; break;
      case CursorKind::kNotAllowed: id = IDC_NO; break;
      case CursorKind::kPanAll: id = IDC_SIZEALL; break;
      case CursorKind::kPanHorizontal: id = IDC_SIZEWE; break;
      case CursorKind::kPanVertical: id = IDC_SIZENS; break;
      default: break;
    }
    ::SetCursor(LoadCursorW(nullptr, id));
  }
  uint8_t Modifiers() const {
    return (GetKeyState(VK_SHIFT) < 0 ? kModifierShift : 0) | (GetKeyState(VK_CONTROL) < 0 ? kModifierCtrl : 0) |
           (GetKeyState(VK_MENU) < 0 ? kModifierAlt : 0);
  }

  Win32Platform& platform_;
  WindowEvents& events_;
  HWND hwnd_ = nullptr;
  std::atomic<HWND> postTarget_{nullptr};
  FrameStyle frame_ = FrameStyle::kFramed;
  CursorKind cursor_ = CursorKind::kArrow;
  BackgroundBrush brush_;
  bool popup_ = false;  // a menu: never takes the activation
};

// The thread hooks of a running popup menu: every key and button press of
// the thread reaches the menu first, whatever window it is aimed at.
struct MenuHooks {
  HHOOK keyboard = nullptr;
  HHOOK mouse = nullptr;
  MenuCaptureSink* sink = nullptr;
  HWND popup = nullptr;
};
MenuHooks g_menuHooks;

uint8_t HeldModifiers() {
  return (GetKeyState(VK_SHIFT) < 0 ? kModifierShift : 0) | (GetKeyState(VK_CONTROL) < 0 ? kModifierCtrl : 0) |
         (GetKeyState(VK_MENU) < 0 ? kModifierAlt : 0);
}

LRESULT CALLBACK MenuKeyboardHook(int code, WPARAM w, LPARAM l) {
  if (code == HC_ACTION && g_menuHooks.sink && IsWindow(g_menuHooks.popup)) {
    // Bit 31 of the key data: the key is being released.
    const bool down = (static_cast<uint32_t>(l) & 0x80000000u) == 0;
    if (g_menuHooks.sink->OnMenuKey(static_cast<uint32_t>(w), down, HeldModifiers())) return 1;
  }
  return CallNextHookEx(g_menuHooks.keyboard, code, w, l);
}

LRESULT CALLBACK MenuMouseHook(int code, WPARAM w, LPARAM l) {
  if (code == HC_ACTION && g_menuHooks.sink) {
    const auto* m = reinterpret_cast<const MOUSEHOOKSTRUCT*>(l);
    int button = -1;
    switch (w) {
      case WM_LBUTTONDOWN: case WM_NCLBUTTONDOWN: button = 0; break;
      case WM_RBUTTONDOWN: case WM_NCRBUTTONDOWN: button = 1; break;
      case WM_MBUTTONDOWN: case WM_NCMBUTTONDOWN: button = 2; break;
      default: break;
    }
    if (button >= 0 && g_menuHooks.sink->OnMenuPress(button, {m->pt.x, m->pt.y})) return 1;
  }
  return CallNextHookEx(g_menuHooks.mouse, code, w, l);
}

// The file dialogs' hook: the default handling (the flag asks for one).
UINT_PTR CALLBACK FileDialogHook(HWND, UINT, WPARAM, LPARAM) { return 0; }

// The shortcut of that name in the user's Startup folder; empty when the
// folder is unknown or the name would leave it.
static std::u16string StartupLinkPath(std::u16string_view name) {
  if (name.empty() || name.find_first_of(u"\\/:") != std::u16string_view::npos) return {};
  wchar_t startup[MAX_PATH];
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_STARTUP, nullptr, SHGFP_TYPE_CURRENT, startup))) return {};
  return FromWide(startup, wcslen(startup)) + u"\\" + std::u16string(name) + u".lnk";
}

class Win32Platform : public Platform {
 public:
  explicit Win32Platform(HINSTANCE instance) : instance_(instance) {}
  ~Win32Platform() override {
    if (taskbar_) taskbar_->Release();
  }

  bool RegisterClasses() {
    if (registered_) return true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = &Win32Window::Procedure;
    wc.hInstance = instance_;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kWindowClass;
    WNDCLASSEXW popup = wc;
    popup.style |= CS_DROPSHADOW | CS_SAVEBITS;
    popup.lpszClassName = kPopupClass;
    if (!RegisterClassExW(&wc) || !RegisterClassExW(&popup)) {
      MessageBoxW(nullptr, L"RegisterClassEx failed", L"致命错误!", MB_ICONERROR);
      ExitProcess(1);
    }
    registered_ = true;
    return true;
  }

  std::unique_ptr<PlatformWindow> NewWindow(WindowEvents& events, const WindowCreateParams& params) override {
    RegisterClasses();
    auto w = std::make_unique<Win32Window>(*this, events);
    if (!w->Make(params, instance_)) return nullptr;
    lastWindow_ = reinterpret_cast<HWND>(w->NativeHandle());
    return w;
  }
  std::vector<MonitorInfo> Monitors() override {
    std::vector<MonitorInfo> out;
    EnumDisplayMonitors(
        nullptr, nullptr,
        [](HMONITOR m, HDC, LPRECT, LPARAM data) -> BOOL {
          reinterpret_cast<std::vector<MonitorInfo>*>(data)->push_back(InfoOf(m));
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&out));
    return out;
  }
  MonitorInfo MonitorNearest(const ViewRect& rect) override {
    RECT r{rect.left, rect.top, rect.right, rect.bottom};
    return InfoOf(MonitorFromRect(&r, MONITOR_DEFAULTTONEAREST));
  }
  FrameMetrics FrameMetricsForDpi(uint32_t dpi) override { return MetricsForDpi(dpi); }
  ViewPoint CursorPosition() override {
    POINT p{};
    GetCursorPos(&p);
    return {p.x, p.y};
  }
  void Beep() override { MessageBeep(0); }
  MessageBoxAnswer ShowMessageBox(PlatformWindow* owner, std::u16string_view text, std::u16string_view caption,
                                  MessageBoxKind kind) override {
    const std::u16string t(text), c(caption);
    UINT flags = kind == MessageBoxKind::kError          ? MB_ICONERROR
                 : kind == MessageBoxKind::kQuestion     ? (MB_ICONQUESTION | MB_YESNO)
                 : kind == MessageBoxKind::kTopmostPlain ? (MB_OK | MB_TOPMOST)
                                                         : MB_ICONINFORMATION;
    const int r = MessageBoxW(owner ? reinterpret_cast<HWND>(owner->NativeHandle()) : nullptr, Wide(t), Wide(c), flags);
    return r == IDYES ? MessageBoxAnswer::kYes : r == IDNO ? MessageBoxAnswer::kNo
                      : r == IDCANCEL ? MessageBoxAnswer::kCancel : MessageBoxAnswer::kOk;
  }
  // The filter chosen last is offered again.
  std::vector<std::u16string> ShowOpenDialog(PlatformWindow* owner, std::u16string_view title,
                                             const std::vector<std::u16string>& filter, bool multiple) override {
    FileDialogRequest request;
    request.title = title;
    request.filter = filter;
    request.multiple = multiple;
    request.filterIndex = filterIndex_;
    std::vector<std::u16string> chosen = ShowFileDialog(owner, request);
    if (!chosen.empty()) filterIndex_ = request.filterIndex;
    return chosen;
  }
  void RunMessageLoop() override {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  bool PumpPendingMessages() override {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(0);
        return false;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    return true;
  }
  void Quit() override { PostQuitMessage(0); }
  bool RunNestedLoop(const std::function<bool()>& keepRunning) override {
    MSG msg;
    while (keepRunning()) {
      const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
      if (got <= 0) {
        // The quit request stays for the outer loop.
        if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
        return false;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    return true;
  }
  void BeginMenuCapture(PlatformWindow& popup, MenuCaptureSink& sink) override {
    EndMenuCapture();
    g_menuHooks.sink = &sink;
    g_menuHooks.popup = reinterpret_cast<HWND>(popup.NativeHandle());
    g_menuHooks.keyboard = SetWindowsHookExW(WH_KEYBOARD, &MenuKeyboardHook, nullptr, GetCurrentThreadId());
    g_menuHooks.mouse = SetWindowsHookExW(WH_MOUSE, &MenuMouseHook, nullptr, GetCurrentThreadId());
  }
  void EndMenuCapture() override {
    if (g_menuHooks.keyboard) UnhookWindowsHookEx(g_menuHooks.keyboard);
    if (g_menuHooks.mouse) UnhookWindowsHookEx(g_menuHooks.mouse);
    g_menuHooks = MenuHooks{};
  }
  TextRenderer& Text() override {
    if (!text_) text_ = std::make_unique<GdiTextRenderer>();
    return *text_;
  }
  // The keyboard layout's name of the key: the scan code of the virtual key,
  // with the extended bit for the keys of the navigation block.
  std::u16string KeyName(uint32_t virtualKey) override {
    UINT scan = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    switch (virtualKey) {
      case VK_LEFT: case VK_UP: case VK_RIGHT: case VK_DOWN: case VK_PRIOR: case VK_NEXT:
      case VK_HOME: case VK_END: case VK_INSERT: case VK_DELETE: case VK_DIVIDE: case VK_NUMLOCK:
        scan |= 0x100;
        break;
      default: break;
    }
    wchar_t name[64];
    const int n = scan ? GetKeyNameTextW(static_cast<LONG>(scan << 16), name, 64) : 0;
    return n > 0 ? FromWide(name, static_cast<size_t>(n)) : Platform::KeyName(virtualKey);
  }
  std::optional<PixelSurface> CaptureScreen(const ViewRect& area) override {
    if (IsEmpty(area)) return std::nullopt;
    WindowDc screen;
    MemoryDc memory(screen.Get());
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = area.Width();
    info.bmiHeader.biHeight = -area.Height();
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    GdiObject<HBITMAP> dib(CreateDIBSection(screen.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!screen || !memory || !dib.Get() || !bits) return std::nullopt;
    {
      Selection selected(memory.Get(), dib.Get());
      // Layered windows are part of what the user sees.
      if (!BitBlt(memory.Get(), 0, 0, area.Width(), area.Height(), screen.Get(), area.left, area.top,
                  SRCCOPY | CAPTUREBLT))
        return std::nullopt;
      GdiFlush();
    }
    PixelSurface out(area.Width(), area.Height());
    const auto* in = static_cast<const uint32_t*>(bits);
    for (size_t i = 0; i < out.pixels.size(); ++i) out.pixels[i] = in[i] | 0xFF000000u;
    return out;
  }
  bool OpenWithShell(const std::u16string& path) override {
    return reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", Wide(path), nullptr, nullptr, SW_SHOWNORMAL)) > 32;
  }
  std::optional<PixelSurface> FileIcon(const std::u16string& path, bool, int32_t) override {
    return ShellFileIcon(path);
  }
  std::optional<std::u16string> ResolveShortcut(const std::u16string& path) override { return ShellLinkTarget(path); }
  void SetClipboardText(std::u16string_view text) override {
    if (!OpenClipboard(nullptr)) return;
    EmptyClipboard();
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t))) {
      if (auto* out = static_cast<char16_t*>(GlobalLock(memory))) {
        std::copy(text.begin(), text.end(), out);
        out[text.size()] = 0;
        GlobalUnlock(memory);
        if (!SetClipboardData(CF_UNICODETEXT, memory)) GlobalFree(memory);
      } else {
        GlobalFree(memory);
      }
    }
    CloseClipboard();
  }
  std::optional<std::u16string> ClipboardText() override {
    if (!IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboard(nullptr)) return std::nullopt;
    std::optional<std::u16string> out;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
      if (const auto* text = static_cast<const char16_t*>(GlobalLock(data))) {
        // The block's size bounds the text should its NUL be missing.
        const size_t limit = GlobalSize(data) / sizeof(char16_t);
        size_t n = 0;
        while (n < limit && text[n]) ++n;
        out = std::u16string(text, n);
        GlobalUnlock(data);
      }
    }
    CloseClipboard();
    return out;
  }
  std::vector<std::u16string> ShowFileDialog(PlatformWindow* owner, FileDialogRequest& request) override {
    std::u16string filterText;
    for (const auto& f : request.filter) {
      filterText += f;
      filterText.push_back(0);
    }
    filterText.push_back(0);
    std::vector<wchar_t> buffer(32768, 0);
    const size_t initial = std::min(request.initialPath.size(), buffer.size() - 1);
    std::copy_n(request.initialPath.begin(), initial, buffer.begin());
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner ? reinterpret_cast<HWND>(owner->NativeHandle()) : nullptr;
    ofn.lpstrFilter = Wide(filterText);
    ofn.nFilterIndex = request.filterIndex;
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.lpstrTitle = Wide(request.title);
    ofn.lpfnHook = &FileDialogHook;
    // No overwrite prompt: the caller decides about an existing file.
    ofn.Flags = OFN_EXPLORER | OFN_SHAREAWARE | OFN_PATHMUSTEXIST | OFN_ENABLEHOOK | OFN_HIDEREADONLY |
                OFN_ENABLESIZING;
    if (!request.save) ofn.Flags |= OFN_FILEMUSTEXIST | (request.multiple ? OFN_ALLOWMULTISELECT : 0);
    if (!(request.save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn))) return {};
    request.filterIndex = ofn.nFilterIndex;
    std::vector<std::u16string> parts;
    for (const wchar_t* p = buffer.data(); *p; p += wcslen(p) + 1) parts.push_back(FromWide(p, wcslen(p)));
    if (request.save || parts.size() <= 1) return parts.empty() ? parts : std::vector<std::u16string>{parts[0]};
    // Several: the folder, then the names.
    std::vector<std::u16string> out;
    for (size_t i = 1; i < parts.size(); ++i) out.push_back(parts[0] + u"\\" + parts[i]);
    return out;
  }
  std::optional<uint32_t> ChooseColour(PlatformWindow* owner, uint32_t colour,
                                       std::array<uint32_t, 16>& customColours) override {
    // COLORREF keeps red in the low byte.
    auto toColorRef = [](uint32_t c) { return RGB(c >> 16 & 0xFF, c >> 8 & 0xFF, c & 0xFF); };
    auto fromColorRef = [](COLORREF c) {
      return uint32_t{GetRValue(c)} << 16 | uint32_t{GetGValue(c)} << 8 | GetBValue(c);
    };
    COLORREF custom[16];
    for (size_t i = 0; i < 16; ++i) custom[i] = toColorRef(customColours[i]);
    CHOOSECOLORW cc{};
    cc.lStructSize = sizeof(cc);
    cc.hwndOwner = owner ? reinterpret_cast<HWND>(owner->NativeHandle()) : nullptr;
    cc.rgbResult = toColorRef(colour);
    cc.lpCustColors = custom;
    cc.Flags = CC_FULLOPEN | CC_RGBINIT | CC_ANYCOLOR;
    const bool chosen = ChooseColorW(&cc) != FALSE;
    for (size_t i = 0; i < 16; ++i) customColours[i] = fromColorRef(custom[i]);
    if (!chosen) return std::nullopt;
    return fromColorRef(cc.rgbResult);
  }
  uint64_t TickCount() override { return GetTickCount64(); }
  void Sleep(uint32_t milliseconds) override { ::Sleep(milliseconds); }
  std::optional<ViewRect> ForegroundWindowRect() override {
    const HWND foreground = GetForegroundWindow();
    RECT r{};
    if (!foreground || !GetWindowRect(foreground, &r)) return std::nullopt;
    return ViewRect{r.left, r.top, r.right, r.bottom};
  }
  void SetProgress(ProgressState state, uint32_t done, uint32_t total) override {
    if (!lastWindow_) return;
    if (!taskbar_ && !taskbarFailed_) {
      CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                  reinterpret_cast<void**>(&taskbar_))) ||
          FAILED(taskbar_->HrInit())) {
        if (taskbar_) taskbar_->Release();
        taskbar_ = nullptr;
        taskbarFailed_ = true;
      }
    }
    if (!taskbar_) return;
    if (state == ProgressState::kNone) {
      taskbar_->SetProgressState(lastWindow_, TBPF_NOPROGRESS);
    } else {
      taskbar_->SetProgressValue(lastWindow_, done, total ? total : 1);
      taskbar_->SetProgressState(lastWindow_, TBPF_NORMAL);
    }
  }
  void SetPriorityAboveNormal(bool above) override {
    SetPriorityClass(GetCurrentProcess(), above ? ABOVE_NORMAL_PRIORITY_CLASS : NORMAL_PRIORITY_CLASS);
  }
  std::vector<uintptr_t> FindTopLevelWindows(std::u16string_view part) override {
    struct Search {
      std::u16string part;
      std::vector<uintptr_t> found;
    } search{std::u16string(part), {}};
    EnumWindows(
        [](HWND hwnd, LPARAM data) -> BOOL {
          auto* s = reinterpret_cast<Search*>(data);
          wchar_t title[512];
          const int n = GetWindowTextW(hwnd, title, 512);
          if (n > 0 && FromWide(title, n).find(s->part) != std::u16string::npos)
            s->found.push_back(reinterpret_cast<uintptr_t>(hwnd));
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
  }
  bool SendCopyData(uintptr_t window, uint64_t tag, std::span<const uint8_t> bytes) override {
    COPYDATASTRUCT cds{};
    cds.dwData = static_cast<ULONG_PTR>(tag);
    cds.cbData = static_cast<DWORD>(bytes.size());
    cds.lpData = const_cast<uint8_t*>(bytes.data());
    return SendMessageW(reinterpret_cast<HWND>(window), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds)) != 0;
  }
  void SendCloseRequest(uintptr_t window) override {
    DWORD_PTR result;
    SendMessageTimeoutW(reinterpret_cast<HWND>(window), WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 5000, &result);
  }
  void AllowCopyDataFromLowerPrivilege() override {
    if (Apis().changeWindowMessageFilter) Apis().changeWindowMessageFilter(WM_COPYDATA, 1 /* MSGFLT_ADD */);
  }
  std::u16string LongPathName(const std::u16string& path) override {
    wchar_t buffer[260];
    const DWORD n = GetLongPathNameW(Wide(path), buffer, 260);
    return n > 0 && n < 260 ? FromWide(buffer, n) : path;
  }
  bool CreateLogonShortcut(std::u16string_view name, std::u16string_view arguments,
                           std::u16string_view workingFolder) override {
    const std::u16string target = StartupLinkPath(name);
    if (target.empty()) return false;
    std::vector<wchar_t> program(32768);
    const DWORD length = GetModuleFileNameW(nullptr, program.data(), static_cast<DWORD>(program.size()));
    if (length == 0 || length >= program.size()) return false;
    const std::u16string argumentText(arguments), folder(workingFolder);
    // Usually on already (the taskbar progress needs it); the balance keeps a
    // first use here from leaving it on.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    bool saved = false;
    IShellLinkW* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link)))) {
      IPersistFile* file = nullptr;
      if (SUCCEEDED(link->SetPath(program.data())) && SUCCEEDED(link->SetArguments(Wide(argumentText))) &&
          SUCCEEDED(link->SetWorkingDirectory(Wide(folder))) &&
          SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        saved = SUCCEEDED(file->Save(Wide(target), TRUE));
        file->Release();
      }
      link->Release();
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return saved;
  }
  bool RemoveLogonShortcut(std::u16string_view name) override {
    const std::u16string target = StartupLinkPath(name);
    return !target.empty() && DeleteFileW(Wide(target)) != FALSE;
  }

 private:
  HINSTANCE instance_;
  bool registered_ = false;
  HWND lastWindow_ = nullptr;
  ITaskbarList3* taskbar_ = nullptr;
  bool taskbarFailed_ = false;
  DWORD filterIndex_ = 1;
  std::unique_ptr<GdiTextRenderer> text_;
};

bool Win32Window::Make(const WindowCreateParams& p, HINSTANCE instance) {
  frame_ = p.frame;
  DWORD style, ex = 0;
  const wchar_t* cls = kWindowClass;
  if (p.popup) {
    popup_ = true;
    ex = WS_EX_TOPMOST | WS_EX_WINDOWEDGE;
    style = WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_BORDER;
    cls = kPopupClass;
  } else {
    style = StyleFor(p.frame);
    if (p.topmost) ex |= WS_EX_TOPMOST;
    if (p.acceptFiles) ex |= WS_EX_ACCEPTFILES;
    if (p.layered) ex |= WS_EX_LAYERED;
    if (p.noActivate) ex |= WS_EX_NOACTIVATE;
  }
  if (p.visible && !p.noActivate) style |= WS_VISIBLE;
  RECT r{p.clientTopLeft.x, p.clientTopLeft.y, p.clientTopLeft.x + p.clientSize.width,
         p.clientTopLeft.y + p.clientSize.height};
  AdjustWindowRectEx(&r, style, FALSE, ex);
  hwnd_ = CreateWindowExW(ex, cls, Wide(p.title), style, r.left, r.top, r.right - r.left, r.bottom - r.top,
                          reinterpret_cast<HWND>(p.owner), nullptr, instance, this);
  if (!hwnd_) return false;
  postTarget_.store(hwnd_);
  if (p.visible && p.noActivate) ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
  if (p.bottom) SendToBack();
  if (p.visible) UpdateWindow(hwnd_);
  return true;
}

LRESULT CALLBACK Win32Window::Procedure(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(l);
    auto* self = static_cast<Win32Window*>(cs->lpCreateParams);
    self->hwnd_ = hwnd;
    self->postTarget_.store(hwnd);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, message, w, l);
  return self->Handle(message, w, l);
}

LRESULT Win32Window::Handle(UINT message, WPARAM w, LPARAM l) {
  const auto point = [l] { return ViewPoint{static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l))}; };
  switch (message) {
    case WM_CLOSE: events_.OnCloseRequest(); return 0;
    case WM_DESTROY: {
      postTarget_.store(nullptr);
      HWND gone = hwnd_;
      SetWindowLongPtrW(gone, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
      events_.OnDestroyed();
      return 0;
    }
    case WM_SIZE: {
      const ShowState s = w == SIZE_MAXIMIZED ? ShowState::kMaximized
                          : w == SIZE_MINIMIZED ? ShowState::kMinimized : ShowState::kNormal;
      events_.OnSize({LOWORD(l), HIWORD(l)}, s);
      return 0;
    }
    case WM_MOVE: events_.OnMove(point()); return 0;
    case WM_SIZING: {
      auto* rc = reinterpret_cast<RECT*>(l);
      SizingEdge edge;
      switch (w) {
        case WMSZ_LEFT: edge = SizingEdge::kLeft; break;
        case WMSZ_RIGHT: edge = SizingEdge::kRight; break;
        case WMSZ_TOP: edge = SizingEdge::kTop; break;
        case WMSZ_BOTTOM: edge = SizingEdge::kBottom; break;
        case WMSZ_TOPLEFT: edge = SizingEdge::kTopLeft; break;
        case WMSZ_TOPRIGHT: edge = SizingEdge::kTopRight; break;
        case WMSZ_BOTTOMLEFT: edge = SizingEdge::kBottomLeft; break;
        case WMSZ_BOTTOMRIGHT: edge = SizingEdge::kBottomRight; break;
        default: return DefWindowProcW(hwnd_, message, w, l);
      }
      ViewRect r{rc->left, rc->top, rc->right, rc->bottom};
      events_.OnSizing(edge, &r);
      *rc = RECT{r.left, r.top, r.right, r.bottom};
      return TRUE;
    }
    case WM_WINDOWPOSCHANGING: {
      auto* pos = reinterpret_cast<WINDOWPOS*>(l);
      if ((pos->flags & SWP_NOMOVE) && (pos->flags & SWP_NOSIZE)) break;
      if (IsIconic(hwnd_) || IsZoomed(hwnd_)) break;
      RECT now{};
      GetWindowRect(hwnd_, &now);
      ViewRect r{now.left, now.top, now.right, now.bottom};
      if (!(pos->flags & SWP_NOMOVE)) r = {pos->x, pos->y, pos->x + r.Width(), pos->y + r.Height()};
      if (!(pos->flags & SWP_NOSIZE)) r = {r.left, r.top, r.left + pos->cx, r.top + pos->cy};
      const ViewRect asked = r;
      events_.OnPositionChanging(&r);
      if (r.left != asked.left || r.top != asked.top) {
        pos->x = r.left;
        pos->y = r.top;
        pos->flags &= ~SWP_NOMOVE;
      }
      if (r.Width() != asked.Width() || r.Height() != asked.Height()) {
        pos->cx = r.Width();
        pos->cy = r.Height();
        pos->flags &= ~SWP_NOSIZE;
      }
      break;  // the system still applies the tracking limits
    }
    case WM_ENTERSIZEMOVE: events_.OnSizeMoveLoop(true); return 0;
    case WM_EXITSIZEMOVE: events_.OnSizeMoveLoop(false); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd_, &ps);
      {
        GdiPaint target(dc, brush_);
        events_.OnPaint(target, {ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right, ps.rcPaint.bottom});
      }
      EndPaint(hwnd_, &ps);
      return 0;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      if (events_.OnKey(static_cast<uint32_t>(w), true, Modifiers())) return 0;
      break;
    case WM_KEYUP:
    case WM_SYSKEYUP:
      if (events_.OnKey(static_cast<uint32_t>(w), false, Modifiers())) return 0;
      break;
    case WM_MOUSEMOVE: events_.OnMouseMove(point(), Modifiers()); return 0;
    case WM_LBUTTONDOWN: events_.OnMouseButton(0, MouseAction::kPress, point(), Modifiers()); return 0;
    case WM_LBUTTONUP: events_.OnMouseButton(0, MouseAction::kRelease, point(), Modifiers()); return 0;
    case WM_LBUTTONDBLCLK: events_.OnMouseButton(0, MouseAction::kDoubleClick, point(), Modifiers()); return 0;
    case WM_RBUTTONDOWN: events_.OnMouseButton(1, MouseAction::kPress, point(), Modifiers()); return 0;
    case WM_RBUTTONUP: events_.OnMouseButton(1, MouseAction::kRelease, point(), Modifiers()); return 0;
    case WM_MBUTTONDOWN: events_.OnMouseButton(2, MouseAction::kPress, point(), Modifiers()); return 0;
    case WM_MBUTTONUP: events_.OnMouseButton(2, MouseAction::kRelease, point(), Modifiers()); return 0;
    case WM_MOUSEWHEEL: events_.OnWheel(GET_WHEEL_DELTA_WPARAM(w), point(), Modifiers()); return 0;
    case WM_TIMER: events_.OnTimer(static_cast<uint32_t>(w)); return 0;
    case WM_COMMAND: events_.OnCommand(LOWORD(w), static_cast<intptr_t>(l)); return 0;
    case WM_CHAR:
      events_.OnChar(static_cast<char16_t>(w));
      return 0;
    case WM_MOUSEACTIVATE:
      if (popup_) return MA_NOACTIVATE;
      break;
    case WM_COPYDATA: {
      const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(l);
      return cds && events_.OnCopyData(cds->dwData, cds->lpData, cds->cbData) ? 1 : 0;
    }
    case WM_DROPFILES: {
      HDROP drop = reinterpret_cast<HDROP>(w);
      std::vector<std::u16string> paths;
      const UINT n = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
      for (UINT i = 0; i < n; ++i) {
        wchar_t buffer[MAX_PATH];
        const UINT len = DragQueryFileW(drop, i, buffer, MAX_PATH);
        paths.push_back(FromWide(buffer, len));
      }
      DragFinish(drop);
      events_.OnDroppedFiles(paths);
      return 0;
    }
    case 0x02E0:  // WM_DPICHANGED
      events_.OnDpiChanged(LOWORD(w));
      return 0;
    case WM_ACTIVATE: events_.OnActivate(LOWORD(w) != WA_INACTIVE); return 0;
    case WM_DISPLAYCHANGE: events_.OnDisplayChange(); return 0;
    case WM_ENDSESSION:
      // The restart manager closing the program alone is no end of the logon.
      if (w && (!(l & ENDSESSION_CLOSEAPP) || (l & ENDSESSION_LOGOFF))) events_.OnEndSession();
      return 0;
    case WM_SETCURSOR:
      if (LOWORD(l) == HTCLIENT) {
        ApplyCursor();
        return TRUE;
      }
      break;
    case WM_GETMINMAXINFO: {
      // Maximized, the frame lies outside the monitor and the client covers it.
      // The system reads these figures for the primary monitor and carries
      // them over to the monitor the window is maximized on.
      auto* mmi = reinterpret_cast<MINMAXINFO*>(l);
      const MonitorInfo m = InfoOf(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY));
      RECT r{0, 0, m.rect.Width(), m.rect.Height()};
      AdjustWindowRectEx(&r, StyleFor(frame_), FALSE,
                         static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)));
      mmi->ptMaxPosition = {r.left, r.top};
      mmi->ptMaxSize = {r.right - r.left, r.bottom - r.top};
      mmi->ptMaxTrackSize.x = std::max<LONG>(mmi->ptMaxTrackSize.x, r.right - r.left);
      mmi->ptMaxTrackSize.y = std::max<LONG>(mmi->ptMaxTrackSize.y, r.bottom - r.top);
      // A window not shown yet takes the client size it is given: its frame
      // may still go, and a first layout that starts from a widened client
      // would centre a narrow image away from the place it was asked for.
      if (!IsWindowVisible(hwnd_)) mmi->ptMinTrackSize = {1, 1};
      return 0;
    }
    default: break;
  }
  return DefWindowProcW(hwnd_, message, w, l);
}

bool Win32Window::PresentLayered(ImageBuffer& display, ViewPoint source, std::optional<ViewPoint> at,
                                 ViewSize size, bool perPixelAlpha) {
  if (!IsLayered() || size.width <= 0 || size.height <= 0) return false;
  // The client takes exactly the image's size and place. The bitmap covers
  // the whole window, so a border of the window's style is part of it and
  // is drawn here: the system draws no frame of a layered window.
  const ViewPoint client = at ? *at : ClientOrigin();
  RECT outer{client.x, client.y, client.x + size.width, client.y + size.height};
  AdjustWindowRectEx(&outer, static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)));
  SIZE windowSize{outer.right - outer.left, outer.bottom - outer.top};
  POINT windowDst{outer.left, outer.top};
  const POINT inset{client.x - outer.left, client.y - outer.top};
  const bool bordered = windowSize.cx != size.width || windowSize.cy != size.height;
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, static_cast<BYTE>(perPixelAlpha ? AC_SRC_ALPHA : 0)};
  const DWORD flags = perPixelAlpha ? ULW_ALPHA : ULW_OPAQUE;
  WindowDc screen;
  // Per-pixel alpha needs premultiplied 32-bit pixels; opaque, any plane will do.
  auto direct = DirectSourceOf(display, source, size);
  if (direct && perPixelAlpha && !(display.Format() == PixelFormat::Bgra8 && direct->blend)) direct.reset();
  if (direct && !bordered) {
    POINT from = direct->at;
    return UpdateLayeredWindow(hwnd_, screen.Get(), &windowDst, &windowSize, direct->dc, &from, 0, &blend,
                               flags) != FALSE;
  }
  // Composed in a bitmap of the window's size: the border, then the image.
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = windowSize.cx;
  info.bmiHeader.biHeight = -windowSize.cy;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  MemoryDc memory(screen.Get());
  void* bits = nullptr;
  GdiObject<HBITMAP> dib(CreateDIBSection(screen.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!memory || !dib || !bits) return false;
  auto* out = static_cast<uint32_t*>(bits);
  const COLORREF frame = GetSysColor(COLOR_WINDOWFRAME);
  std::fill(out, out + size_t(windowSize.cx) * windowSize.cy,
            0xFF000000u | uint32_t{GetRValue(frame)} << 16 | uint32_t{GetGValue(frame)} << 8 | GetBValue(frame));
  Selection selected(memory.Get(), dib.Get());
  if (direct) {
    BitBlt(memory.Get(), inset.x, inset.y, size.width, size.height, direct->dc, direct->at.x, direct->at.y,
           SRCCOPY);
  } else {
    const Rows32 rows(display, source, size, perPixelAlpha);
    for (int32_t y = 0; y < size.height; ++y)
      std::memcpy(out + size_t(y + inset.y) * windowSize.cx + inset.x, rows.pixels.data() + size_t(y) * size.width,
                  size_t(size.width) * 4);
  }
  POINT zero{0, 0};
  return UpdateLayeredWindow(hwnd_, screen.Get(), &windowDst, &windowSize, memory.Get(), &zero, 0, &blend, flags) !=
         FALSE;
}

}  // namespace

std::unique_ptr<Platform> CreateWin32Platform(uintptr_t instance) {
  SetDisplaySurfaceFactory(&CreateDibDisplaySurface);
  return std::make_unique<Win32Platform>(reinterpret_cast<HINSTANCE>(instance));
}

}  // namespace vt
