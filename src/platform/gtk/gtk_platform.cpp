#include "platform/gtk/gtk_platform.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "base/text.h"
#include "base/byte_cursor.h"
#include "image/display_rows.h"
#include "image/image_buffer.h"
#include "platform/gtk/gtk_clicks.h"
#include "platform/gtk/gtk_hand_off.h"
#include "platform/gtk/gtk_keys.h"
#include "platform/gtk/gtk_progress.h"
#include "platform/gtk/gtk_shell_icons.h"
#include "platform/gtk/gtk_text.h"

#include <langinfo.h>
#include <poll.h>

#include <clocale>

// Last: the X11 header defines macros (None, Status, Bool) that clash with the
// program's names.
#include <X11/Xatom.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#undef None
#undef Status
#undef Bool

namespace vt {

namespace {

std::string Utf8(std::u16string_view s) { return Utf16ToUtf8(s); }

void AppendU64(std::vector<uint8_t>& out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// The socket of the instance that serves this user on the display of that name.
std::string HandOffPathFor(std::string display) {
  for (char& c : display)
    if (!g_ascii_isalnum(c)) c = '_';
  return std::string(g_get_user_runtime_dir()) + "/vistrel-" + display + ".socket";
}
std::string HandOffPath() { return HandOffPathFor(gdk_display_get_name(gdk_display_get_default())); }

constexpr int kFindMs = 5000;
constexpr int kCopyDataMs = 60000;  // the other instance opens the image before it answers
constexpr int kCloseMs = 5000;
// How long a size asked of the system may take to be reported.
constexpr guint kRequestMs = 1000;
// How long after the question the window manager may take to say what frame
// it will draw.
constexpr int kFrameAnswerMs = 200;

uint8_t ModifiersOf(guint state) {
  return (state & GDK_SHIFT_MASK ? kModifierShift : 0) | (state & GDK_CONTROL_MASK ? kModifierCtrl : 0) |
         (state & GDK_MOD1_MASK ? kModifierAlt : 0);
}

uint32_t DpiOf(GdkScreen* screen) {
  const double resolution = screen ? gdk_screen_get_resolution(screen) : -1.0;
  return resolution > 0 ? static_cast<uint32_t>(std::lround(resolution)) : 96u;
}

MonitorInfo InfoOf(GdkMonitor* monitor) {
  MonitorInfo info;
  if (!monitor) return info;
  GdkRectangle g{}, w{};
  gdk_monitor_get_geometry(monitor, &g);
  gdk_monitor_get_workarea(monitor, &w);
  info.rect = {g.x, g.y, g.x + g.width, g.y + g.height};
  info.workArea = {w.x, w.y, w.x + w.width, w.y + w.height};
  info.dpi = DpiOf(gdk_display_get_default_screen(gdk_monitor_get_display(monitor)));
  return info;
}

// Part of a display image as a premultiplied cairo surface (opaque when the
// image's alpha is not to be shown). Cairo's pixel is a native-endian word of
// alpha, red, green, blue: the blue, green, red, alpha bytes of a
// little-endian machine, which are the rows the core's converter writes.
cairo_surface_t* SurfaceOf(ImageBuffer& image, ViewPoint source, ViewSize size, bool showAlpha) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size.width, size.height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) return surface;
  cairo_surface_flush(surface);
  uint8_t* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const RowAlpha alpha = showAlpha ? RowAlpha::kPremultiplied : RowAlpha::kOpaque;
  for (int32_t y = 0; y < size.height; ++y)
    DisplayRowTo32(image, source.x, int64_t{source.y} + y, size.width, alpha,
                   reinterpret_cast<uint32_t*>(data + size_t(y) * stride));
  cairo_surface_mark_dirty(surface);
  return surface;
}

// The frame the window manager will put around a framed window (left, top,
// right, bottom), asked before any such window is shown: the window manager
// answers the request for a window it does not manage (an unmapped one made
// for the question). The question goes out as soon as the display is open
// and the answer is read when the first window needs it, by when it has
// normally arrived: nothing waits unless the answer is needed within the
// first moments.
class FrameExtentsQuestion {
 public:
  explicit FrameExtentsQuestion(GdkDisplay* display) {
    GdkScreen* screen = gdk_display_get_default_screen(display);
    if (!GDK_IS_X11_SCREEN(screen) ||
        !gdk_x11_screen_supports_net_wm_hint(screen,
                                             gdk_atom_intern_static_string("_NET_REQUEST_FRAME_EXTENTS")))
      return;
    x_ = GDK_DISPLAY_XDISPLAY(display);
    const Window root = GDK_WINDOW_XID(gdk_screen_get_root_window(screen));
    extents_ = gdk_x11_get_xatom_by_name_for_display(display, "_NET_FRAME_EXTENTS");
    XSetWindowAttributes attributes{};
    attributes.event_mask = PropertyChangeMask;
    probe_ = XCreateWindow(x_, root, 0, 0, 100, 100, 0, CopyFromParent, InputOutput, CopyFromParent, CWEventMask,
                           &attributes);
    XEvent message{};
    message.xclient.type = ClientMessage;
    message.xclient.window = probe_;
    message.xclient.message_type = gdk_x11_get_xatom_by_name_for_display(display, "_NET_REQUEST_FRAME_EXTENTS");
    message.xclient.format = 32;
    XSendEvent(x_, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &message);
    XFlush(x_);
    askedAt_ = g_get_monotonic_time();
  }
  ~FrameExtentsQuestion() {
    if (!probe_) return;
    XDestroyWindow(x_, probe_);
    XFlush(x_);
  }
  FrameExtentsQuestion(const FrameExtentsQuestion&) = delete;
  FrameExtentsQuestion& operator=(const FrameExtentsQuestion&) = delete;

  // None when the window manager takes no such requests or has not answered
  // within waitMs of the question.
  std::optional<ViewRect> Answer(int waitMs) {
    if (!probe_) return std::nullopt;
    // The toolkit may have taken the property's change from the queue already
    // (it drops events of windows it does not know): the property is read
    // before any waiting.
    std::optional<ViewRect> out = Read();
    const gint64 end = askedAt_ + gint64{waitMs} * 1000;
    while (!out) {
      // Only this window's events are taken from the queue; the rest stay for
      // the toolkit.
      XEvent event;
      bool changed = false;
      while (XCheckTypedWindowEvent(x_, probe_, PropertyNotify, &event))
        changed = changed || event.xproperty.atom == extents_;
      if (changed) out = Read();
      if (out) break;
      const gint64 left = end - g_get_monotonic_time();
      if (left <= 0) break;
      pollfd connection{ConnectionNumber(x_), POLLIN, 0};
      poll(&connection, 1, static_cast<int>((left + 999) / 1000));
    }
    return out ? out : Read();
  }

 private:
  std::optional<ViewRect> Read() {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::optional<ViewRect> out;
    if (XGetWindowProperty(x_, probe_, extents_, 0, 4, False, XA_CARDINAL, &type, &format, &count, &after,
                           &data) == Success &&
        type == XA_CARDINAL && format == 32 && count == 4) {
      // Format 32 properties come as longs whatever their size.
      const auto* v = reinterpret_cast<const long*>(data);
      auto side = [](long value) { return static_cast<int32_t>(std::clamp(value, 0L, 1000L)); };
      out = ViewRect{side(v[0]), side(v[2]), side(v[1]), side(v[3])};
    }
    if (data) XFree(data);
    return out;
  }

  Display* x_ = nullptr;
  Window probe_ = 0;
  Atom extents_ = 0;
  gint64 askedAt_ = 0;
};

constexpr uint32_t kThinBorderColour = 0x646464;

void SetColour(cairo_t* cr, uint32_t colour) {
  cairo_set_source_rgb(cr, (colour >> 16 & 0xFF) / 255.0, (colour >> 8 & 0xFF) / 255.0, (colour & 0xFF) / 255.0);
}

class CairoPaint : public PaintTarget {
 public:
  explicit CairoPaint(cairo_t* cr) : cr_(cr) {}
  ~CairoPaint() override {
    if (layout_) g_object_unref(layout_);
  }
  void Fill(const ViewRect& r, uint32_t colour) override {
    if (r.right <= r.left || r.bottom <= r.top) return;
    cairo_save(cr_);
    cairo_set_operator(cr_, CAIRO_OPERATOR_SOURCE);
    SetColour(cr_, colour);
    cairo_rectangle(cr_, r.left, r.top, r.Width(), r.Height());
    cairo_fill(cr_);
    cairo_restore(cr_);
  }
  void DrawImage(ImageBuffer& display, ViewPoint source, const ViewRect& d) override {
    const ViewSize size{d.Width(), d.Height()};
    if (size.width <= 0 || size.height <= 0) return;
    const bool alpha = display.Alpha() != AlphaMode::None;
    // An opaque Bgra8 image is drawn from its own rows, which the colour
    // format without alpha reads as they are: no copy on the way to the screen.
    const bool inside = source.x >= 0 && source.y >= 0 && int64_t{source.x} + size.width <= display.Width() &&
                        int64_t{source.y} + size.height <= display.Height();
    cairo_surface_t* surface =
        !alpha && inside && display.Format() == PixelFormat::Bgra8 && display.Pitch() <= INT32_MAX
            ? cairo_image_surface_create_for_data(display.Row(uint32_t(source.y)) + size_t(source.x) * 4,
                                                  CAIRO_FORMAT_RGB24, size.width, size.height,
                                                  static_cast<int>(display.Pitch()))
            : SurfaceOf(display, source, size, alpha);
    cairo_save(cr_);
    // Blended over what the background fill left there.
    cairo_set_operator(cr_, alpha ? CAIRO_OPERATOR_OVER : CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr_, surface, d.left, d.top);
    cairo_rectangle(cr_, d.left, d.top, size.width, size.height);
    cairo_fill(cr_);
    cairo_restore(cr_);
    cairo_surface_destroy(surface);
  }
  ViewSize MeasureText(std::u16string_view text) override {
    const std::string t = Utf8(text);
    pango_layout_set_text(Layout(), t.data(), static_cast<int>(t.size()));
    int w = 0, h = 0;
    pango_layout_get_pixel_size(Layout(), &w, &h);
    return {w, h};
  }
  void DrawSurface(const PixelSurface& surface, const ViewRect& source, ViewPoint at) override {
    const ViewRect r = Intersect(source, surface.Bounds());
    if (IsEmpty(r)) return;
    // Cairo reads the words as they are: opaque native-endian ARGB.
    cairo_surface_t* image = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(surface.pixels.data())), CAIRO_FORMAT_ARGB32,
        surface.width, surface.height, surface.width * 4);
    cairo_save(cr_);
    cairo_set_operator(cr_, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr_, image, at.x - source.left, at.y - source.top);
    cairo_rectangle(cr_, at.x + r.left - source.left, at.y + r.top - source.top, r.Width(), r.Height());
    cairo_fill(cr_);
    cairo_restore(cr_);
    cairo_surface_destroy(image);
  }
  void DrawLabel(std::u16string_view text, ViewPoint at, uint32_t colour) override {
    const std::string t = Utf8(text);
    pango_layout_set_text(Layout(), t.data(), static_cast<int>(t.size()));
    cairo_save(cr_);
    SetColour(cr_, colour);
    cairo_move_to(cr_, at.x, at.y);
    pango_cairo_show_layout(cr_, Layout());
    cairo_restore(cr_);
  }

 private:
  PangoLayout* Layout() {
    if (!layout_) {
      layout_ = pango_cairo_create_layout(cr_);
      PangoFontDescription* font = pango_font_description_from_string("Sans 9");
      pango_layout_set_font_description(layout_, font);
      pango_font_description_free(font);
    }
    return layout_;
  }
  cairo_t* cr_;
  PangoLayout* layout_ = nullptr;
};

class DesktopPlatform;

class DesktopWindow : public PlatformWindow {
 public:
  DesktopWindow(DesktopPlatform& platform, WindowEvents& events, uint64_t serial)
      : platform_(platform), events_(events), serial_(serial) {}
  ~DesktopWindow() override;

  bool Make(const WindowCreateParams& p);
  uint64_t Serial() const { return serial_; }
  WindowEvents& Events() { return events_; }
  GtkWindow* Widget() const { return widget_ ? GTK_WINDOW(widget_) : nullptr; }

  uintptr_t NativeHandle() const override { return handle_; }
  bool Exists() const override { return widget_ != nullptr; }
  void SetTitle(std::u16string_view title) override {
    title_ = title;
    if (widget_) gtk_window_set_title(Widget(), Utf8(title_).c_str());
  }
  std::u16string Title() const override { return title_; }
  void SetFrame(FrameStyle frame) override;
  FrameStyle Frame() const override { return frame_; }
  void SetEnabled(bool enabled) override { enabled_ = enabled; }
  bool IsEnabled() const override { return enabled_; }
  bool SetLayered(bool layered) override;
  bool IsLayered() const override { return layered_; }
  void PlaceClient(ViewPoint clientTopLeft, ViewSize clientSize) override;
  void PlaceWindow(std::optional<ViewPoint> topLeft, ViewSize windowSize) override;
  ViewRect WindowRect() const override;
  ViewPoint ClientOrigin() const override { return {client_.left, client_.top}; }
  ViewSize ClientSize() const override { return {client_.Width(), client_.Height()}; }
  void Show(ShowState state, bool activate) override;
  void Hide() override {
    if (widget_) gtk_widget_hide(widget_);
  }
  ShowState State() const override { return state_; }
  bool IsVisible() const override { return widget_ && gtk_widget_get_visible(widget_); }
  void SetTopmost(bool topmost) override {
    topmost_ = topmost;
    if (widget_) gtk_window_set_keep_above(Widget(), topmost);
  }
  bool IsTopmost() const override { return topmost_; }
  void SendToBack() override {
    if (GdkWindow* w = GdkOf()) gdk_window_lower(w);
  }
  void BringToFront() override {
    if (widget_) gtk_window_present(Widget());
  }
  bool IsForeground() const override { return widget_ && gtk_window_is_active(Widget()); }
  void Repaint() override;
  bool PresentLayered(ImageBuffer& display, ViewPoint source, std::optional<ViewPoint> at, ViewSize size,
                      bool perPixelAlpha) override;
  void SetTimer(uint32_t id, uint32_t milliseconds) override;
  void KillTimer(uint32_t id) override;
  void PostCommand(uint32_t command, intptr_t argument) override;
  void PostCloseRequest() override;
  void Destroy() override {
    if (widget_) gtk_widget_destroy(widget_);
  }
  void SetCursor(CursorKind cursor) override;
  MonitorInfo Monitor() const override;
  bool IsUnderCursor() const override;

 private:
  GdkWindow* GdkOf() const { return widget_ ? gtk_widget_get_window(widget_) : nullptr; }
  // What the frame adds on each side: left, top, right, bottom.
  ViewRect Insets() const;
  // The thin border of the frameless style is this program's own: the system
  // window is larger than the client area by this much on each side.
  int32_t Border() const { return frame_ == FrameStyle::kFramelessBorder ? 1 : 0; }
  bool Decorated() const { return frame_ == FrameStyle::kFramed || frame_ == FrameStyle::kDialog; }
  ViewPoint ClientPoint(double x, double y) const {
    return {static_cast<int32_t>(std::floor(x)) - Border(), static_cast<int32_t>(std::floor(y)) - Border()};
  }
  void ApplyGeometry();
  // The window's own size (client plus border) as the system reported it.
  void Configured(int32_t width, int32_t height);
  void EndRequest();
  static gboolean OnRequestExpired(gpointer self);
  void Gone();
  void StopWatchingScreen();
  void CoverMonitor(bool cover);
  void KillAllTimers();

  static gboolean OnDraw(GtkWidget*, cairo_t* cr, gpointer self);
  static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer self);
  static void OnDestroy(GtkWidget*, gpointer self);
  static gboolean OnConfigure(GtkWidget*, GdkEventConfigure* e, gpointer self);
  static gboolean OnWindowState(GtkWidget*, GdkEventWindowState* e, gpointer self);
  static gboolean OnKey(GtkWidget*, GdkEventKey* e, gpointer self);
  static gboolean OnButton(GtkWidget*, GdkEventButton* e, gpointer self);
  static gboolean OnMotion(GtkWidget*, GdkEventMotion* e, gpointer self);
  static gboolean OnScroll(GtkWidget*, GdkEventScroll* e, gpointer self);
  static gboolean OnFocus(GtkWidget*, GdkEventFocus* e, gpointer self);
  static void OnDragData(GtkWidget*, GdkDragContext*, gint, gint, GtkSelectionData* data, guint, guint,
                         gpointer self);
  static gboolean OnTimerTick(gpointer data);
  static void OnCompositedChanged(GdkScreen* screen, gpointer self);

  DesktopPlatform& platform_;
  WindowEvents& events_;
  uint64_t serial_;
  GtkWidget* widget_ = nullptr;
  uintptr_t handle_ = 0;
  std::u16string title_;
  FrameStyle frame_ = FrameStyle::kFramed;
  bool enabled_ = true;
  bool layered_ = false;
  bool topmost_ = false;
  ViewRect client_;
  ShowState state_ = ShowState::kNormal;
  CursorKind cursor_ = CursorKind::kArrow;
  cairo_surface_t* layeredSurface_ = nullptr;
  struct Timer {
    DesktopWindow* window;
    uint32_t id;
  };
  std::map<uint32_t, guint> timers_;
  bool painting_ = false;
  // The size last asked of the system. Until a configure event reports it,
  // events with another size are ones sent before the request was seen (the
  // border switched off still reports the bordered size once) and are held
  // back; should the system never grant the size, the last one held back
  // counts after a while.
  struct Request {
    int32_t width = 0, height = 0;
    guint expiry = 0;
    std::optional<ViewSize> heldBack;
  };
  std::optional<Request> request_;
  // The client area before full screen, to come back to.
  std::optional<ViewRect> restore_;
  // The state last asked for, while the desktop has not yet reported it, and
  // when it was asked (monotonic microseconds): reports of other states in
  // the meantime are the desktop catching up with earlier requests.
  std::optional<ShowState> wanted_;
  gint64 wantedSince_ = 0;
  // The screen whose compositing manager a layered window depends on.
  GdkScreen* screen_ = nullptr;
  gulong compositedHandler_ = 0;
};

class DesktopPlatform : public Platform {
 public:
  DesktopPlatform() : frameQuestion_(std::make_unique<FrameExtentsQuestion>(gdk_display_get_default())) {}
  ~DesktopPlatform() override {
    for (auto& [kind, cursor] : cursors_) g_object_unref(cursor);
  }

  std::unique_ptr<PlatformWindow> NewWindow(WindowEvents& events, const WindowCreateParams& params) override {
    auto w = std::make_unique<DesktopWindow>(*this, events, ++nextSerial_);
    windows_[w->Serial()] = w.get();
    if (!w->Make(params)) return nullptr;
    return w;
  }
  std::vector<MonitorInfo> Monitors() override {
    std::vector<MonitorInfo> out;
    GdkDisplay* display = gdk_display_get_default();
    const int n = gdk_display_get_n_monitors(display);
    for (int i = 0; i < n; ++i) out.push_back(InfoOf(gdk_display_get_monitor(display, i)));
    return out;
  }
  MonitorInfo MonitorNearest(const ViewRect& r) override {
    return InfoOf(gdk_display_get_monitor_at_point(gdk_display_get_default(), r.left + r.Width() / 2,
                                                   r.top + r.Height() / 2));
  }
  // The frame the window manager put around the last framed window shown;
  // before that, what it said it would put (the first window is laid out
  // before it is shown); none without a window manager. Its frame is its own:
  // the same at any dpi of this program.
  FrameMetrics FrameMetricsForDpi(uint32_t dpi) override {
    if (frameQuestion_) {
      const auto insets = frameKnown_ ? std::nullopt : frameQuestion_->Answer(kFrameAnswerMs);
      frameQuestion_.reset();
      if (insets) NoteFrame(*insets);
    }
    return frame_;
  }
  ViewPoint CursorPosition() override {
    GdkSeat* seat = gdk_display_get_default_seat(gdk_display_get_default());
    gint x = 0, y = 0;
    if (seat) gdk_device_get_position(gdk_seat_get_pointer(seat), nullptr, &x, &y);
    return {x, y};
  }
  void Beep() override { gdk_display_beep(gdk_display_get_default()); }
  MessageBoxAnswer ShowMessageBox(PlatformWindow* owner, std::u16string_view text, std::u16string_view caption,
                                  MessageBoxKind kind) override {
    const GtkMessageType type = kind == MessageBoxKind::kError          ? GTK_MESSAGE_ERROR
                                : kind == MessageBoxKind::kQuestion     ? GTK_MESSAGE_QUESTION
                                : kind == MessageBoxKind::kTopmostPlain ? GTK_MESSAGE_OTHER
                                                                        : GTK_MESSAGE_INFO;
    GtkWidget* dialog =
        gtk_message_dialog_new(ParentOf(owner), GTK_DIALOG_MODAL, type,
                               kind == MessageBoxKind::kQuestion ? GTK_BUTTONS_YES_NO : GTK_BUTTONS_OK, "%s",
                               Utf8(text).c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), Utf8(caption).c_str());
    if (kind == MessageBoxKind::kTopmostPlain) gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    PlaceDialog(GTK_WINDOW(dialog), owner ? ByHandle(owner->NativeHandle()) : nullptr);
    const gint r = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    return r == GTK_RESPONSE_YES ? MessageBoxAnswer::kYes
           : r == GTK_RESPONSE_NO ? MessageBoxAnswer::kNo
           : r == GTK_RESPONSE_OK ? MessageBoxAnswer::kOk
                                  : MessageBoxAnswer::kCancel;
  }
  std::vector<std::u16string> ShowOpenDialog(PlatformWindow* owner, std::u16string_view title,
                                             const std::vector<std::u16string>& filter, bool multiple) override {
    FileDialogRequest request;
    request.title = title;
    request.filter = filter;
    request.multiple = multiple;
    return ShowFileDialog(owner, request);
  }
  void RunMessageLoop() override {
    while (!quit_) g_main_context_iteration(nullptr, TRUE);
    quit_ = false;
  }
  bool PumpPendingMessages() override {
    while (!quit_ && g_main_context_iteration(nullptr, FALSE)) {
    }
    return !quit_;
  }
  bool RunNestedLoop(const std::function<bool()>& keepRunning) override {
    while (keepRunning()) {
      if (quit_) return false;  // left set: the outer loop ends too
      g_main_context_iteration(nullptr, TRUE);
    }
    return true;
  }
  // The popup takes the pointer and the keyboard, so that a press anywhere
  // on the screen is seen; keys of every window of this program come to the
  // sink first in any case.
  void BeginMenuCapture(PlatformWindow& popup, MenuCaptureSink& sink) override {
    menuSink_ = &sink;
    DesktopWindow* w = ByHandle(popup.NativeHandle());
    GdkWindow* target = w && w->Widget() ? gtk_widget_get_window(GTK_WIDGET(w->Widget())) : nullptr;
    GdkDisplay* display = gdk_display_get_default();
    if (!target) return;
    // The window must be viewable on the server before it can be grabbed to.
    gdk_display_sync(display);
    grabbed_ = gdk_seat_grab(gdk_display_get_default_seat(display), target, GDK_SEAT_CAPABILITY_ALL, TRUE, nullptr,
                             nullptr, nullptr, nullptr) == GDK_GRAB_SUCCESS;
  }
  void EndMenuCapture() override {
    if (grabbed_) gdk_seat_ungrab(gdk_display_get_default_seat(gdk_display_get_default()));
    grabbed_ = false;
    menuSink_ = nullptr;
  }
  MenuCaptureSink* MenuSink() const { return menuSink_; }
  TextRenderer& Text() override { return text_; }
  std::optional<PixelSurface> CaptureScreen(const ViewRect& area) override {
    if (IsEmpty(area)) return std::nullopt;
    GdkPixbuf* shot = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), area.left, area.top, area.Width(),
                                                 area.Height());
    if (!shot) return std::nullopt;
    PixelSurface out(gdk_pixbuf_get_width(shot), gdk_pixbuf_get_height(shot));
    const int channels = gdk_pixbuf_get_n_channels(shot), stride = gdk_pixbuf_get_rowstride(shot);
    const guchar* bytes = gdk_pixbuf_read_pixels(shot);
    for (int32_t y = 0; y < out.height; ++y)
      for (int32_t x = 0; x < out.width; ++x) {
        const guchar* p = bytes + size_t(y) * stride + size_t(x) * channels;
        out.Row(y)[x] = 0xFF000000u | uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
      }
    g_object_unref(shot);
    return out;
  }
  std::optional<PixelSurface> FileIcon(const std::u16string& path, bool folder, int32_t size) override {
    return GtkFileIcon(path, folder, size);
  }
  // The desktop's handler of the folder or file, as a double click there would.
  bool OpenWithShell(const std::u16string& path) override {
    const std::string target = Utf8(path);
    gchar* argv[] = {const_cast<gchar*>("xdg-open"), const_cast<gchar*>(target.c_str()), nullptr};
    return g_spawn_async(nullptr, argv, nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr, nullptr) != FALSE;
  }
  void SetClipboardText(std::u16string_view text) override {
    const std::string utf8 = Utf8(text);
    gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), utf8.data(), static_cast<gint>(utf8.size()));
  }
  std::optional<std::u16string> ClipboardText() override {
    gchar* text = gtk_clipboard_wait_for_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD));
    if (!text) return std::nullopt;
    std::u16string out = Utf8ToUtf16(text);
    g_free(text);
    return out;
  }
  std::vector<std::u16string> ShowFileDialog(PlatformWindow* owner, FileDialogRequest& request) override {
    GtkWidget* dialog = gtk_file_chooser_dialog_new(
        Utf8(request.title).c_str(), ParentOf(owner),
        request.save ? GTK_FILE_CHOOSER_ACTION_SAVE : GTK_FILE_CHOOSER_ACTION_OPEN, "_Cancel", GTK_RESPONSE_CANCEL,
        request.save ? "_Save" : "_Open", GTK_RESPONSE_ACCEPT, nullptr);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    gtk_file_chooser_set_select_multiple(chooser, !request.save && request.multiple);
    // The caller decides about existing files.
    gtk_file_chooser_set_do_overwrite_confirmation(chooser, FALSE);
    std::vector<GtkFileFilter*> filters;
    for (size_t i = 0; i + 1 < request.filter.size(); i += 2) {
      filters.push_back(FilterOf(request.filter[i], request.filter[i + 1]));
      gtk_file_chooser_add_filter(chooser, filters.back());
    }
    if (request.filterIndex >= 1 && request.filterIndex <= filters.size())
      gtk_file_chooser_set_filter(chooser, filters[request.filterIndex - 1]);
    if (!request.initialPath.empty()) {
      const std::string initial = Utf8(request.initialPath);
      if (request.save) {
        gchar* folder = g_path_get_dirname(initial.c_str());
        gchar* name = g_path_get_basename(initial.c_str());
        if (g_file_test(folder, G_FILE_TEST_IS_DIR)) gtk_file_chooser_set_current_folder(chooser, folder);
        gtk_file_chooser_set_current_name(chooser, name);
        g_free(folder);
        g_free(name);
      } else if (g_file_test(initial.c_str(), G_FILE_TEST_IS_DIR)) {
        gtk_file_chooser_set_current_folder(chooser, initial.c_str());
      } else {
        gtk_file_chooser_set_filename(chooser, initial.c_str());
      }
    }
    std::vector<std::u16string> out;
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
      GSList* names = gtk_file_chooser_get_filenames(chooser);
      for (GSList* n = names; n; n = n->next) {
        out.push_back(Utf8ToUtf16(static_cast<const char*>(n->data)));
        g_free(n->data);
      }
      g_slist_free(names);
      GtkFileFilter* chosen = gtk_file_chooser_get_filter(chooser);
      for (size_t i = 0; i < filters.size(); ++i)
        if (filters[i] == chosen) request.filterIndex = static_cast<uint32_t>(i + 1);
    }
    gtk_widget_destroy(dialog);
    return out;
  }
  std::optional<uint32_t> ChooseColour(PlatformWindow* owner, uint32_t colour,
                                       std::array<uint32_t, 16>& customColours) override {
    GtkWidget* dialog = gtk_color_chooser_dialog_new(nullptr, ParentOf(owner));
    GtkColorChooser* chooser = GTK_COLOR_CHOOSER(dialog);
    gtk_color_chooser_set_use_alpha(chooser, FALSE);
    auto rgba = [](uint32_t c) {
      return GdkRGBA{(c >> 16 & 0xFF) / 255.0, (c >> 8 & 0xFF) / 255.0, (c & 0xFF) / 255.0, 1.0};
    };
    std::vector<GdkRGBA> palette;
    for (uint32_t c : customColours) palette.push_back(rgba(c));
    gtk_color_chooser_add_palette(chooser, GTK_ORIENTATION_HORIZONTAL, 8, static_cast<gint>(palette.size()),
                                  palette.data());
    const GdkRGBA start = rgba(colour);
    gtk_color_chooser_set_rgba(chooser, &start);
    std::optional<uint32_t> out;
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_OK) {
      GdkRGBA c{};
      gtk_color_chooser_get_rgba(chooser, &c);
      auto byte = [](double v) { return static_cast<uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
      out = byte(c.red) << 16 | byte(c.green) << 8 | byte(c.blue);
    }
    gtk_widget_destroy(dialog);
    return out;
  }
  void Quit() override {
    quit_ = true;
    g_main_context_wakeup(nullptr);
  }
  uint64_t TickCount() override { return static_cast<uint64_t>(g_get_monotonic_time() / 1000); }
  // The window manager names the active window on the root window; its
  // frame is part of what the user sees of it.
  std::optional<ViewRect> ForegroundWindowRect() override {
    GdkDisplay* display = gdk_display_get_default();
    if (!display || !GDK_IS_X11_DISPLAY(display)) return std::nullopt;
    Display* x = GDK_DISPLAY_XDISPLAY(display);
    const Atom active = gdk_x11_get_xatom_by_name_for_display(display, "_NET_ACTIVE_WINDOW");
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    Window xid = 0;
    if (XGetWindowProperty(x, DefaultRootWindow(x), active, 0, 1, False, XA_WINDOW, &type, &format, &count, &after,
                           &data) == Success &&
        type == XA_WINDOW && format == 32 && count == 1)
      xid = static_cast<Window>(*reinterpret_cast<const unsigned long*>(data));
    if (data) XFree(data);
    if (xid == 0) return std::nullopt;
    gdk_x11_display_error_trap_push(display);  // the window may be gone already
    GdkWindow* foreign = gdk_x11_window_foreign_new_for_display(display, xid);
    std::optional<ViewRect> out;
    if (foreign) {
      GdkRectangle r{};
      gdk_window_get_frame_extents(foreign, &r);
      if (r.width > 0 && r.height > 0) out = ViewRect{r.x, r.y, r.x + r.width, r.y + r.height};
      g_object_unref(foreign);
    }
    gdk_x11_display_error_trap_pop_ignored(display);
    return out;
  }
  void SetProgress(ProgressState state, uint32_t done, uint32_t total) override {
    progress_.Set(state, done, total);
  }
  // Raising a process's priority needs privileges ordinary users lack.
  void SetPriorityAboveNormal(bool above) override {}
  // This process's windows, then those of the instance listening on the
  // hand-off socket (unless that is this process).
  std::vector<uintptr_t> FindTopLevelWindows(std::u16string_view part) override {
    std::vector<uintptr_t> out = OwnWindows(part);
    if (server_) return out;
    std::vector<uint8_t> body;
    for (char16_t c : part) {
      body.push_back(static_cast<uint8_t>(c));
      body.push_back(static_cast<uint8_t>(c >> 8));
    }
    if (auto answer = SendHandOffRequest(HandOffPath(), HandOffKind::kFind, body, kFindMs)) {
      ByteCursor cursor(*answer);
      while (cursor.Has(8)) out.push_back(static_cast<uintptr_t>(cursor.U64LE()));
    }
    return out;
  }
  bool SendCopyData(uintptr_t window, uint64_t tag, std::span<const uint8_t> bytes) override {
    if (DesktopWindow* w = ByHandle(window)) return w->Events().OnCopyData(tag, bytes.data(), bytes.size());
    if (server_) return false;
    std::vector<uint8_t> body;
    AppendU64(body, window);
    AppendU64(body, tag);
    body.insert(body.end(), bytes.begin(), bytes.end());
    const auto answer = SendHandOffRequest(HandOffPath(), HandOffKind::kCopyData, body, kCopyDataMs);
    return answer && answer->size() == 1 && (*answer)[0] == 1;
  }
  void SendCloseRequest(uintptr_t window) override {
    if (DesktopWindow* w = ByHandle(window)) {
      w->Events().OnCloseRequest();
      return;
    }
    if (server_) return;
    std::vector<uint8_t> body;
    AppendU64(body, window);
    SendHandOffRequest(HandOffPath(), HandOffKind::kClose, body, kCloseMs);
  }
  // The serving instance starts listening for later starts here.
  void AllowCopyDataFromLowerPrivilege() override {
    if (!server_)
      server_ = HandOffServer::Listen(HandOffPath(), [this](HandOffKind kind, std::span<const uint8_t> body) {
        return AnswerHandOff(kind, body);
      });
  }
  std::u16string LongPathName(const std::u16string& path) override { return path; }

  // For the windows.
  DesktopWindow* BySerial(uint64_t serial) const {
    auto it = windows_.find(serial);
    return it == windows_.end() ? nullptr : it->second;
  }
  DesktopWindow* ByHandle(uintptr_t handle) const {
    for (auto& [serial, w] : windows_)
      if (handle && w->NativeHandle() == handle) return w;
    return nullptr;
  }
  void Unregister(uint64_t serial) { windows_.erase(serial); }
  GdkCursor* Cursor(CursorKind kind) {
    auto it = cursors_.find(kind);
    if (it != cursors_.end()) return it->second;
    const char* name = "default";
    // The X server's own cursors serve where the cursor theme lacks a name.
    GdkCursorType fallback = GDK_LEFT_PTR;
    switch (kind) {
      case CursorKind::kWait: name = "wait", fallback = GDK_WATCH; break;
      case CursorKind::kNotAllowed: name = "not-allowed", fallback = GDK_X_CURSOR; break;
      case CursorKind::kPanAll: name = "move", fallback = GDK_FLEUR; break;
      case CursorKind::kPanHorizontal: name = "ew-resize", fallback = GDK_SB_H_DOUBLE_ARROW; break;
      case CursorKind::kPanVertical: name = "ns-resize", fallback = GDK_SB_V_DOUBLE_ARROW; break;
      default: break;
    }
    GdkCursor* cursor = gdk_cursor_new_from_name(gdk_display_get_default(), name);
    if (!cursor) cursor = gdk_cursor_new_for_display(gdk_display_get_default(), fallback);
    if (cursor) cursors_[kind] = cursor;
    return cursor;
  }
  MouseAction Press(uint64_t window, int button, uint32_t time, ViewPoint at) {
    ClickTracker::Limits limits;
    gint ms = 0, distance = 0;
    g_object_get(gtk_settings_get_default(), "gtk-double-click-time", &ms, "gtk-double-click-distance", &distance,
                 nullptr);
    if (ms > 0) limits.milliseconds = static_cast<uint32_t>(ms);
    if (distance >= 0) limits.distance = distance;
    return clicks_.Press(static_cast<uintptr_t>(window), button, time, at, limits);
  }
  void NoteFrame(const ViewRect& insets) {
    frameKnown_ = true;
    frame_.borderWidth = std::max(insets.left, insets.right);
    frame_.borderHeight = insets.bottom;
    frame_.captionHeight = std::max(insets.top - insets.bottom, 0);
  }

  // A message posted from any thread to a window, found again by its serial
  // on the user-interface thread (the window may be gone by then).
  struct Posted {
    DesktopPlatform* platform;
    uint64_t serial;
    bool close;
    uint32_t command;
    intptr_t argument;
  };
  static void Post(const Posted& message) {
    g_idle_add_full(G_PRIORITY_DEFAULT, &DesktopPlatform::DeliverPosted, new Posted(message), nullptr);
  }
  // Files dropped on a window arrive once the drag is over, as on the other
  // system: the source is not kept waiting while the window opens them.
  struct Dropped {
    DesktopPlatform* platform;
    uint64_t serial;
    std::vector<std::u16string> paths;
  };
  static void PostDropped(Dropped* message) {
    g_idle_add_full(G_PRIORITY_DEFAULT, &DesktopPlatform::DeliverDropped, message, nullptr);
  }

 private:
  static gboolean DeliverPosted(gpointer data) {
    const Posted m = *static_cast<Posted*>(data);
    delete static_cast<Posted*>(data);
    if (DesktopWindow* w = m.platform->BySerial(m.serial); w && w->Exists()) {
      if (m.close)
        w->Events().OnCloseRequest();
      else
        w->Events().OnCommand(m.command, m.argument);
    }
    return G_SOURCE_REMOVE;
  }
  static gboolean DeliverDropped(gpointer data) {
    const std::unique_ptr<Dropped> m(static_cast<Dropped*>(data));
    if (DesktopWindow* w = m->platform->BySerial(m->serial); w && w->Exists()) w->Events().OnDroppedFiles(m->paths);
    return G_SOURCE_REMOVE;
  }
  std::vector<uintptr_t> OwnWindows(std::u16string_view part) const {
    std::vector<uintptr_t> out;
    for (auto& [serial, w] : windows_)
      if (w->Exists() && w->Title().find(part) != std::u16string::npos) out.push_back(w->NativeHandle());
    return out;
  }
  // A request of another instance; its bytes are untrusted.
  std::vector<uint8_t> AnswerHandOff(HandOffKind kind, std::span<const uint8_t> body) {
    ByteCursor cursor(body);
    std::vector<uint8_t> answer;
    switch (kind) {
      case HandOffKind::kFind: {
        std::u16string part;
        while (cursor.Has(2)) part.push_back(static_cast<char16_t>(cursor.U16LE()));
        for (uintptr_t handle : OwnWindows(part)) AppendU64(answer, handle);
        break;
      }
      case HandOffKind::kCopyData: {
        const uint64_t window = cursor.U64LE();
        const uint64_t tag = cursor.U64LE();
        DesktopWindow* w = cursor.Ok() ? ByHandle(static_cast<uintptr_t>(window)) : nullptr;
        const std::span<const uint8_t> data = body.subspan(cursor.Ok() ? cursor.Position() : body.size());
        answer.push_back(w && w->Events().OnCopyData(tag, data.data(), data.size()) ? 1 : 0);
        break;
      }
      case HandOffKind::kClose: {
        const uint64_t window = cursor.U64LE();
        if (DesktopWindow* w = cursor.Ok() ? ByHandle(static_cast<uintptr_t>(window)) : nullptr)
          w->Events().OnCloseRequest();
        break;
      }
    }
    return answer;
  }
  // Centred on the owner when it is on screen, else on the work area of its
  // monitor (of the pointer's monitor without an owner). The toolkit centres
  // a dialog only on a parent on screen and without a window manager leaves
  // every other one at the screen's corner, where it is easily overlooked.
  void PlaceDialog(GtkWindow* dialog, DesktopWindow* owner) {
    MonitorInfo monitor;
    if (owner) {
      monitor = owner->Monitor();
    } else {
      const ViewPoint cursor = CursorPosition();
      monitor = MonitorNearest({cursor.x, cursor.y, cursor.x + 1, cursor.y + 1});
    }
    const ViewRect area = monitor.workArea;
    const ViewRect around = owner && owner->IsVisible() ? owner->WindowRect() : area;
    // The size the dialog asks for is known once it is realized, before it is shown.
    gtk_widget_realize(GTK_WIDGET(dialog));
    gint width = 0, height = 0;
    gtk_window_get_size(dialog, &width, &height);
    // A window manager puts its frame around the box, and the position asked
    // for is the frame's.
    const FrameMetrics frame = FrameMetricsForDpi(monitor.dpi);
    width += 2 * frame.borderWidth;
    height += frame.captionHeight + 2 * frame.borderHeight;
    int32_t x = around.left + (around.Width() - width) / 2;
    int32_t y = around.top + (around.Height() - height) / 2;
    // Kept inside the work area; the top-left corner wins when it is too small.
    x = std::max(std::min(x, area.right - width), area.left);
    y = std::max(std::min(y, area.bottom - height), area.top);
    gtk_window_set_position(dialog, GTK_WIN_POS_NONE);
    gtk_window_move(dialog, x, y);
  }
  // A filter of the open and save dialogs from a description and a pattern
  // list. Patterns are matched as written here; the names on disk may be in
  // either case.
  static GtkFileFilter* FilterOf(const std::u16string& name, std::u16string_view list) {
    GtkFileFilter* f = gtk_file_filter_new();
    gtk_file_filter_set_name(f, Utf8(name).c_str());
    while (!list.empty()) {
      const size_t end = std::min(list.find(u';'), list.size());
      const std::string pattern = Utf8(list.substr(0, end));
      if (pattern == "*.*") {
        gtk_file_filter_add_pattern(f, "*");
      } else if (!pattern.empty()) {
        gtk_file_filter_add_pattern(f, pattern.c_str());
        std::string upper = pattern;
        for (char& c : upper) c = g_ascii_toupper(c);
        if (upper != pattern) gtk_file_filter_add_pattern(f, upper.c_str());
      }
      list.remove_prefix(std::min(end + 1, list.size()));
    }
    return f;
  }
  GtkWindow* ParentOf(PlatformWindow* owner) const {
    DesktopWindow* w = owner ? ByHandle(owner->NativeHandle()) : nullptr;
    return w ? w->Widget() : nullptr;
  }

  std::map<uint64_t, DesktopWindow*> windows_;
  std::map<CursorKind, GdkCursor*> cursors_;
  uint64_t nextSerial_ = 0;
  FrameMetrics frame_;
  bool frameKnown_ = false;
  // Asked when the platform is made, answered when a window first needs it.
  std::unique_ptr<FrameExtentsQuestion> frameQuestion_;
  std::atomic<bool> quit_{false};
  // Named by the menu entry installed with the program (vistrel.desktop).
  LauncherProgress progress_{"application://vistrel.desktop", "/com/korvanne/Vistrel"};
  std::unique_ptr<HandOffServer> server_;
  ClickTracker clicks_;
  MenuCaptureSink* menuSink_ = nullptr;
  bool grabbed_ = false;
  PangoTextRenderer text_;
};

DesktopWindow::~DesktopWindow() {
  KillAllTimers();
  StopWatchingScreen();
  platform_.Unregister(serial_);
  if (layeredSurface_) cairo_surface_destroy(layeredSurface_);
  if (widget_) {
    // Destroyed by its owner: no more events reach this object.
    g_signal_handlers_disconnect_matched(widget_, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr, this);
    GtkWidget* w = widget_;
    widget_ = nullptr;
    gtk_widget_destroy(w);
  }
}

bool DesktopWindow::Make(const WindowCreateParams& p) {
  frame_ = p.frame;
  title_ = p.title;
  topmost_ = p.topmost || p.popup;
  client_ = {p.clientTopLeft.x, p.clientTopLeft.y, p.clientTopLeft.x + p.clientSize.width,
             p.clientTopLeft.y + p.clientSize.height};
  widget_ = gtk_window_new(p.popup ? GTK_WINDOW_POPUP : GTK_WINDOW_TOPLEVEL);
  if (!widget_) return false;
  GtkWindow* window = Widget();
  gtk_window_set_title(window, Utf8(title_).c_str());
  // Positions are those of the client area, as everywhere in the program.
  gtk_window_set_gravity(window, GDK_GRAVITY_STATIC);
  gtk_widget_set_app_paintable(widget_, TRUE);
  gtk_window_set_decorated(window, Decorated() && !p.popup);
  if (frame_ == FrameStyle::kDialog) {
    gtk_window_set_resizable(window, FALSE);
    gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DIALOG);
  }
  // Per-pixel transparency needs a visual with alpha, chosen before the window is made.
  GdkScreen* screen = gtk_widget_get_screen(widget_);
  if (gdk_screen_is_composited(screen))
    if (GdkVisual* rgba = gdk_screen_get_rgba_visual(screen)) gtk_widget_set_visual(widget_, rgba);
  if (p.topmost) gtk_window_set_keep_above(window, TRUE);
  if (p.noActivate) gtk_window_set_accept_focus(window, FALSE);
  if (p.owner) {
    if (DesktopWindow* owner = platform_.ByHandle(p.owner)) gtk_window_set_transient_for(window, owner->Widget());
    gtk_window_set_skip_taskbar_hint(window, TRUE);
  }
  gtk_widget_add_events(widget_, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK |
                                     GDK_SCROLL_MASK | GDK_KEY_PRESS_MASK | GDK_KEY_RELEASE_MASK |
                                     GDK_STRUCTURE_MASK | GDK_FOCUS_CHANGE_MASK);
  if (p.acceptFiles) {
    // Copy only: a move would have the source delete the files once dropped.
    static char uriList[] = "text/uri-list";
    static const GtkTargetEntry targets[] = {{uriList, 0, 0}};
    gtk_drag_dest_set(widget_, static_cast<GtkDestDefaults>(GTK_DEST_DEFAULT_MOTION | GTK_DEST_DEFAULT_DROP),
                      targets, 1, GDK_ACTION_COPY);
    g_signal_connect(widget_, "drag-data-received", G_CALLBACK(OnDragData), this);
  }
  g_signal_connect(widget_, "draw", G_CALLBACK(OnDraw), this);
  g_signal_connect(widget_, "delete-event", G_CALLBACK(OnDelete), this);
  g_signal_connect(widget_, "destroy", G_CALLBACK(OnDestroy), this);
  g_signal_connect(widget_, "configure-event", G_CALLBACK(OnConfigure), this);
  g_signal_connect(widget_, "window-state-event", G_CALLBACK(OnWindowState), this);
  g_signal_connect(widget_, "key-press-event", G_CALLBACK(OnKey), this);
  g_signal_connect(widget_, "key-release-event", G_CALLBACK(OnKey), this);
  g_signal_connect(widget_, "button-press-event", G_CALLBACK(OnButton), this);
  g_signal_connect(widget_, "button-release-event", G_CALLBACK(OnButton), this);
  g_signal_connect(widget_, "motion-notify-event", G_CALLBACK(OnMotion), this);
  g_signal_connect(widget_, "scroll-event", G_CALLBACK(OnScroll), this);
  g_signal_connect(widget_, "focus-in-event", G_CALLBACK(OnFocus), this);
  g_signal_connect(widget_, "focus-out-event", G_CALLBACK(OnFocus), this);
  screen_ = screen;
  compositedHandler_ = g_signal_connect(screen, "composited-changed", G_CALLBACK(OnCompositedChanged), this);
  ApplyGeometry();
  gtk_widget_realize(widget_);
  if (GdkWindow* w = GdkOf()) handle_ = static_cast<uintptr_t>(gdk_x11_window_get_xid(w));
  if (p.visible) {
    Show(ShowState::kNormal, !p.noActivate);
    if (p.bottom) SendToBack();
  }
  return true;
}

void DesktopWindow::ApplyGeometry() {
  if (!widget_) return;
  const int32_t b = Border();
  gtk_window_move(Widget(), client_.left - b, client_.top - b);
  const int32_t width = std::max(client_.Width(), 1) + 2 * b, height = std::max(client_.Height(), 1) + 2 * b;
  // A window the user cannot size keeps its natural size (that of its
  // contents, which the toolkit draws itself): the request is what holds it.
  if (frame_ == FrameStyle::kDialog) gtk_widget_set_size_request(widget_, width, height);
  gtk_window_resize(Widget(), width, height);
  EndRequest();
  request_ = Request{width, height, g_timeout_add(kRequestMs, &OnRequestExpired, this), std::nullopt};
}

ViewRect DesktopWindow::Insets() const {
  GdkWindow* w = GdkOf();
  if (w && gdk_window_is_visible(w) && Decorated()) {
    GdkRectangle frame{};
    gdk_window_get_frame_extents(w, &frame);
    gint x = 0, y = 0;
    gdk_window_get_origin(w, &x, &y);
    const ViewRect insets{x - frame.x, y - frame.y, frame.x + frame.width - (x + gdk_window_get_width(w)),
                          frame.y + frame.height - (y + gdk_window_get_height(w))};
    if (insets.left >= 0 && insets.top >= 0 && insets.right >= 0 && insets.bottom >= 0) return insets;
  }
  if (!Decorated()) return {Border(), Border(), Border(), Border()};
  const FrameMetrics m = platform_.FrameMetricsForDpi(96);
  return {m.borderWidth, m.borderHeight + m.captionHeight, m.borderWidth, m.borderHeight};
}

void DesktopWindow::Repaint() {
  if (!widget_) return;
  gtk_widget_queue_draw(widget_);
  // The caller expects the new picture on screen when this returns (a timer
  // animating the image, a drag showing each step), so the pending expose is
  // handled now rather than at the next frame of the toolkit's clock. Inside
  // a paint, or while the window is not on screen, it stays queued.
  GdkWindow* w = GdkOf();
  if (painting_ || !w || !gtk_widget_get_mapped(widget_)) return;
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  gdk_window_process_updates(w, FALSE);
  G_GNUC_END_IGNORE_DEPRECATIONS
  gdk_display_flush(gtk_widget_get_display(widget_));
}

void DesktopWindow::SetFrame(FrameStyle frame) {
  if (frame == frame_) return;
  frame_ = frame;
  if (widget_) gtk_window_set_decorated(Widget(), Decorated());
  ApplyGeometry();
  Repaint();
}

bool DesktopWindow::SetLayered(bool layered) {
  // Without a compositing manager nothing shows per-pixel alpha: refused, and
  // the caller paints as an ordinary window.
  if (layered && (!widget_ || !gdk_screen_is_composited(gtk_widget_get_screen(widget_)) ||
                  gtk_widget_get_visual(widget_) != gdk_screen_get_rgba_visual(gtk_widget_get_screen(widget_))))
    return false;
  layered_ = layered;
  if (!layered && layeredSurface_) {
    cairo_surface_destroy(layeredSurface_);
    layeredSurface_ = nullptr;
  }
  Repaint();
  return true;
}

void DesktopWindow::PlaceClient(ViewPoint topLeft, ViewSize size) {
  client_ = {topLeft.x, topLeft.y, topLeft.x + size.width, topLeft.y + size.height};
  ApplyGeometry();
}

void DesktopWindow::PlaceWindow(std::optional<ViewPoint> topLeft, ViewSize size) {
  const ViewRect in = Insets();
  const ViewPoint origin = topLeft ? ViewPoint{topLeft->x + in.left, topLeft->y + in.top} : ClientOrigin();
  PlaceClient(origin, {std::max(size.width - in.left - in.right, 1), std::max(size.height - in.top - in.bottom, 1)});
}

ViewRect DesktopWindow::WindowRect() const {
  const ViewRect in = Insets();
  return {client_.left - in.left, client_.top - in.top, client_.right + in.right, client_.bottom + in.bottom};
}

// Callers read the size and state of a window they just put in full screen
// or took out of it, as the other systems have them at once: here the desktop
// reports them a little later, so the window takes them now (the report then
// changes nothing), and places itself when no window manager will.
void DesktopWindow::CoverMonitor(bool cover) {
  const bool managed = gdk_x11_screen_supports_net_wm_hint(
      gtk_widget_get_screen(widget_), gdk_atom_intern_static_string("_NET_WM_STATE_FULLSCREEN"));
  if (cover) {
    restore_ = client_;
    client_ = Monitor().rect;
    state_ = ShowState::kMaximized;
  } else {
    if (restore_) client_ = *restore_;
    restore_.reset();
    state_ = ShowState::kNormal;
  }
  if (!managed) {
    ApplyGeometry();
    return;
  }
  // Sizes reported on the way (the full-screen size still arriving after the
  // window left that state) are held back until the one taken here arrives.
  EndRequest();
  const int32_t b = Border();
  request_ = Request{std::max(client_.Width(), 1) + 2 * b, std::max(client_.Height(), 1) + 2 * b,
                     g_timeout_add(kRequestMs, &OnRequestExpired, this), std::nullopt};
}

void DesktopWindow::Show(ShowState state, bool activate) {
  if (!widget_) return;
  GtkWindow* window = Widget();
  gtk_window_set_focus_on_map(window, activate);
  // Maximized, the client covers the monitor as on the other systems: the
  // desktop's full-screen state gives exactly that.
  // The desktop chooses the size of a full-screen window and of one leaving
  // that state: nothing asked for earlier is still awaited.
  if ((state == ShowState::kMaximized) != (state_ == ShowState::kMaximized)) EndRequest();
  if (state == ShowState::kMaximized) {
    gtk_window_fullscreen(window);
    if (state_ != ShowState::kMaximized) CoverMonitor(true);
  } else if (state_ == ShowState::kMaximized) {
    gtk_window_unfullscreen(window);
    gtk_window_unmaximize(window);
    // Minimized, the desktop says what comes back when it is restored.
    if (state == ShowState::kNormal) CoverMonitor(false);
  }
  if (state == ShowState::kNormal && state_ == ShowState::kMinimized) gtk_window_deiconify(window);
  wanted_ = state;
  wantedSince_ = g_get_monotonic_time();
  gtk_widget_show(widget_);
  if (state == ShowState::kMinimized) gtk_window_iconify(window);
  if (activate && state != ShowState::kMinimized) gtk_window_present(window);
}

bool DesktopWindow::PresentLayered(ImageBuffer& display, ViewPoint source, std::optional<ViewPoint> at,
                                   ViewSize size, bool perPixelAlpha) {
  if (!layered_ || !widget_ || size.width <= 0 || size.height <= 0) return false;
  cairo_surface_t* surface = SurfaceOf(display, source, size, perPixelAlpha);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return false;
  }
  if (layeredSurface_) cairo_surface_destroy(layeredSurface_);
  layeredSurface_ = surface;
  const ViewPoint origin = at ? *at : ClientOrigin();
  PlaceClient(origin, size);
  if (!gtk_widget_get_visible(widget_)) gtk_widget_show(widget_);
  Repaint();
  return true;
}

gboolean DesktopWindow::OnTimerTick(gpointer data) {
  const auto* t = static_cast<const Timer*>(data);
  // The handler may kill this timer or destroy the window: nothing is touched after it.
  t->window->events_.OnTimer(t->id);
  return G_SOURCE_CONTINUE;
}

void DesktopWindow::SetTimer(uint32_t id, uint32_t milliseconds) {
  KillTimer(id);
  if (!widget_) return;
  timers_[id] = g_timeout_add_full(G_PRIORITY_DEFAULT, std::max<uint32_t>(milliseconds, 1), &OnTimerTick,
                                   new Timer{this, id}, [](gpointer d) { delete static_cast<Timer*>(d); });
}

void DesktopWindow::KillTimer(uint32_t id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  g_source_remove(it->second);
  timers_.erase(it);
}

void DesktopWindow::KillAllTimers() {
  for (auto& [id, source] : timers_) g_source_remove(source);
  timers_.clear();
  EndRequest();
}

void DesktopWindow::EndRequest() {
  if (request_ && request_->expiry) g_source_remove(request_->expiry);
  request_.reset();
}

gboolean DesktopWindow::OnRequestExpired(gpointer data) {
  auto* self = static_cast<DesktopWindow*>(data);
  const std::optional<ViewSize> last = self->request_->heldBack;
  self->request_->expiry = 0;  // this source ends with the return
  self->request_.reset();
  if (last && self->widget_) self->Configured(last->width, last->height);
  return G_SOURCE_REMOVE;
}

void DesktopWindow::PostCommand(uint32_t command, intptr_t argument) {
  DesktopPlatform::Post({&platform_, serial_, false, command & 0xFFFF, argument});
}

void DesktopWindow::PostCloseRequest() { DesktopPlatform::Post({&platform_, serial_, true, 0, 0}); }

void DesktopWindow::SetCursor(CursorKind cursor) {
  cursor_ = cursor;
  if (GdkWindow* w = GdkOf()) {
    gdk_window_set_cursor(w, platform_.Cursor(cursor));
    // The busy cursor goes up right before a load that keeps this thread
    // from the loop: it has to reach the server now, not after the load.
    gdk_display_flush(gdk_window_get_display(w));
  }
}

MonitorInfo DesktopWindow::Monitor() const {
  GdkDisplay* display = gdk_display_get_default();
  if (GdkWindow* w = GdkOf(); w && gdk_window_is_visible(w))
    return InfoOf(gdk_display_get_monitor_at_window(display, w));
  return platform_.MonitorNearest(client_);
}

// The frame a window manager draws around the window is a window of its own
// that holds this one; over its title bar or border the pointer is still over
// this window for the user. So the question goes to the server: which
// top-level window (this one, or the frame holding it) the pointer is in.
bool DesktopWindow::IsUnderCursor() const {
  GdkWindow* w = GdkOf();
  if (!w || !gdk_window_is_visible(w)) return false;
  GdkDisplay* display = gdk_window_get_display(w);
  Display* x = GDK_DISPLAY_XDISPLAY(display);
  const Window root = GDK_WINDOW_XID(gdk_screen_get_root_window(gdk_window_get_screen(w)));
  gdk_x11_display_error_trap_push(display);  // the frame may go away meanwhile
  Window top = GDK_WINDOW_XID(w);
  for (;;) {
    Window rootOf = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(x, top, &rootOf, &parent, &children, &count)) {
      top = 0;
      break;
    }
    if (children) XFree(children);
    if (parent == root || parent == 0) break;
    top = parent;
  }
  Window pointerRoot = 0, child = 0;
  int rootX = 0, rootY = 0, winX = 0, winY = 0;
  unsigned int mask = 0;
  const bool onScreen = XQueryPointer(x, root, &pointerRoot, &child, &rootX, &rootY, &winX, &winY, &mask);
  gdk_x11_display_error_trap_pop_ignored(display);
  return onScreen && top != 0 && child == top;
}

void DesktopWindow::StopWatchingScreen() {
  if (screen_ && compositedHandler_) g_signal_handler_disconnect(screen_, compositedHandler_);
  screen_ = nullptr;
  compositedHandler_ = 0;
}

// A compositing manager that goes away takes per-pixel transparency with it:
// what was transparent would show black. The window falls back to painting
// itself, as one that was refused the style, and its owner hears of the
// change to present it again.
void DesktopWindow::OnCompositedChanged(GdkScreen* screen, gpointer data) {
  auto* self = static_cast<DesktopWindow*>(data);
  if (gdk_screen_is_composited(screen) || !self->layered_ || !self->widget_) return;
  self->layered_ = false;
  if (self->layeredSurface_) {
    cairo_surface_destroy(self->layeredSurface_);
    self->layeredSurface_ = nullptr;
  }
  self->events_.OnDisplayChange();
  self->Repaint();
}

void DesktopWindow::Gone() {
  KillAllTimers();
  StopWatchingScreen();
  widget_ = nullptr;
  events_.OnDestroyed();
}

gboolean DesktopWindow::OnDraw(GtkWidget* widget, cairo_t* cr, gpointer data) {
  auto* self = static_cast<DesktopWindow*>(data);
  if (const int32_t b = self->Border()) {
    // The frame colour of the other system's thin border; the client is
    // painted inside it, in client coordinates.
    const int width = gtk_widget_get_allocated_width(widget), height = gtk_widget_get_allocated_height(widget);
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    SetColour(cr, kThinBorderColour);
    cairo_rectangle(cr, 0, 0, width, height);
    cairo_rectangle(cr, b, b, width - 2 * b, height - 2 * b);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    cairo_fill(cr);
    cairo_restore(cr);
    cairo_rectangle(cr, b, b, std::max(width - 2 * b, 0), std::max(height - 2 * b, 0));
    cairo_clip(cr);
    cairo_translate(cr, b, b);
  }
  if (self->layered_ && self->layeredSurface_) {
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, self->layeredSurface_, 0, 0);
    cairo_paint(cr);
    return TRUE;
  }
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  cairo_clip_extents(cr, &x1, &y1, &x2, &y2);
  const ViewRect dirty{static_cast<int32_t>(std::floor(x1)), static_cast<int32_t>(std::floor(y1)),
                       static_cast<int32_t>(std::ceil(x2)), static_cast<int32_t>(std::ceil(y2))};
  CairoPaint target(cr);
  self->painting_ = true;
  self->events_.OnPaint(target, dirty);
  self->painting_ = false;
  return TRUE;
}

gboolean DesktopWindow::OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
  auto* self = static_cast<DesktopWindow*>(data);
  if (self->enabled_) self->events_.OnCloseRequest();
  return TRUE;  // the window decides whether it goes
}

void DesktopWindow::OnDestroy(GtkWidget*, gpointer data) { static_cast<DesktopWindow*>(data)->Gone(); }

gboolean DesktopWindow::OnConfigure(GtkWidget*, GdkEventConfigure* e, gpointer data) {
  auto* self = static_cast<DesktopWindow*>(data);
  if (self->request_) {
    if (e->width != self->request_->width || e->height != self->request_->height) {
      self->request_->heldBack = ViewSize{e->width, e->height};
      return FALSE;
    }
    self->EndRequest();
  }
  self->Configured(e->width, e->height);
  return FALSE;
}

void DesktopWindow::Configured(int32_t windowWidth, int32_t windowHeight) {
  gint x = 0, y = 0;
  gdk_window_get_origin(gtk_widget_get_window(widget_), &x, &y);
  const int32_t b = Border();
  const int32_t width = std::max(windowWidth - 2 * b, 0), height = std::max(windowHeight - 2 * b, 0);
  const ViewRect now{x + b, y + b, x + b + width, y + b + height};
  const ViewRect was = client_;
  client_ = now;
  if (Decorated() && gtk_widget_get_mapped(widget_)) {
    const ViewRect in = Insets();
    if (in.top > 0) platform_.NoteFrame(in);
  }
  // Changes this program asked for were reported when it asked.
  if (now.Width() != was.Width() || now.Height() != was.Height()) events_.OnSize({now.Width(), now.Height()}, state_);
  if (Exists() && (now.left != was.left || now.top != was.top)) events_.OnMove({now.left, now.top});
}

gboolean DesktopWindow::OnWindowState(GtkWidget*, GdkEventWindowState* e, gpointer data) {
  auto* self = static_cast<DesktopWindow*>(data);
  const GdkWindowState s = e->new_window_state;
  const ShowState state = s & GDK_WINDOW_STATE_ICONIFIED ? ShowState::kMinimized
                          : s & (GDK_WINDOW_STATE_FULLSCREEN | GDK_WINDOW_STATE_MAXIMIZED) ? ShowState::kMaximized
                                                                                            : ShowState::kNormal;
  if (self->wanted_) {
    if (state == *self->wanted_) {
      self->wanted_.reset();
    } else if (g_get_monotonic_time() - self->wantedSince_ < gint64{kRequestMs} * 1000) {
      // A full screen asked for and left again at once is reported on the
      // way: taken now it would put the window back in full screen.
      return FALSE;
    } else {
      self->wanted_.reset();
    }
  }
  if (state != self->state_) {
    self->state_ = state;
    self->events_.OnSize(self->ClientSize(), state);
  }
  return FALSE;
}

gboolean DesktopWindow::OnKey(GtkWidget* widget, GdkEventKey* e, gpointer data) {
  auto* self = static_cast<DesktopWindow*>(data);
  if (!self->enabled_) return TRUE;
  // The key as it is without Shift (so Shift+1 is still the key 1), in the
  // event's layout and then in the first layout (letters of non-Latin layouts).
  GdkKeymap* keymap = gdk_keymap_get_for_display(gtk_widget_get_display(widget));
  const auto lock = static_cast<GdkModifierType>(e->state & GDK_MOD2_MASK);  // Num Lock
  uint32_t vk = 0;
  for (gint group : {static_cast<gint>(e->group), 0}) {
    guint symbol = 0;
    if (gdk_keymap_translate_keyboard_state(keymap, e->hardware_keycode, lock, group, &symbol, nullptr, nullptr,
                                            nullptr))
      vk = VirtualKeyFromKeySymbol(symbol);
    if (vk) break;
  }
  if (!vk) vk = VirtualKeyFromKeySymbol(e->keyval);
  if (!vk) return FALSE;
  uint8_t modifiers = ModifiersOf(e->state);
  // The state is the one before this key: a modifier key counts itself while down.
  const bool down = e->type == GDK_KEY_PRESS;
  const uint8_t own = vk == 0x10 ? kModifierShift : vk == 0x11 ? kModifierCtrl : vk == 0x12 ? kModifierAlt : 0;
  modifiers = down ? (modifiers | own) : (modifiers & ~own);
  // A running menu hears every key of the program first.
  if (MenuCaptureSink* sink = self->platform_.MenuSink(); sink && sink->OnMenuKey(vk, down, modifiers)) return TRUE;
  // The character follows its key, as a typed character follows its key down
  // on the other system.
  const gunichar typed = down && !(modifiers & (kModifierCtrl | kModifierAlt)) ? gdk_keyval_to_unicode(e->keyval) : 0;
  const bool handled = self->events_.OnKey(vk, down, modifiers);
  if (typed >= 0x20 && typed != 0x7F && typed < 0x10000 && self->widget_)
    self->events_.OnChar(static_cast<char16_t>(typed));
  return handled;
}

gboolean DesktopWindow::OnButton(GtkWidget*, GdkEventButton* e, gpointer data) {
  auto* self = static_cast<DesktopWindow*>(data);
  if (!self->enabled_) return TRUE;
  int button;
  switch (e->button) {
    case 1: button = 0; break;
    case 3: button = 1; break;
    case 2: button = 2; break;
    case 8: button = 3; break;
    case 9: button = 4; break;
    default: return FALSE;
  }
  const ViewPoint at = self->ClientPoint(e->x, e->y);
  if (MenuCaptureSink* sink = self->platform_.MenuSink(); sink && e->type == GDK_BUTTON_PRESS && button <= 2) {
    const ViewPoint screen{static_cast<int32_t>(std::floor(e->x_root)), static_cast<int32_t>(std::floor(e->y_root))};
    if (sink->OnMenuPress(button, screen) || !self->widget_) return TRUE;
  }
  MouseAction action;
  if (e->type == GDK_BUTTON_PRESS)
    action = self->platform_.Press(self->serial_, button, e->time, at);
  else if (e->type == GDK_BUTTON_RELEASE)
    action = MouseAction::kRelease;
  else
    return TRUE;  // the toolkit's double and triple clicks: the presses were counted above
  self->events_.OnMouseButton(button, action, at, ModifiersOf(e->state));
  return TRUE;
}

gboolean DesktopWindow::OnMotion(GtkWidget*, GdkEventMotion* e, gpointer data) {
  auto* self = static_cast<DesktopWindow*>(data);
  self->events_.OnMouseMove(self->ClientPoint(e->x, e->y), ModifiersOf(e->state));
  return TRUE;
}

gboolean DesktopWindow::OnScroll(GtkWidget*, GdkEventScroll* e, gpointer data) {
  auto* self = static_cast<DesktopWindow*>(data);
  if (!self->enabled_) return TRUE;
  // One notch is 120, positive away from the user.
  int delta = 0;
  if (e->direction == GDK_SCROLL_UP)
    delta = 120;
  else if (e->direction == GDK_SCROLL_DOWN)
    delta = -120;
  else if (e->direction == GDK_SCROLL_SMOOTH)
    delta = static_cast<int>(std::lround(-e->delta_y * 120));
  if (delta == 0) return FALSE;
  self->events_.OnWheel(delta, self->ClientPoint(e->x, e->y), ModifiersOf(e->state));
  return TRUE;
}

gboolean DesktopWindow::OnFocus(GtkWidget*, GdkEventFocus* e, gpointer data) {
  auto* self = static_cast<DesktopWindow*>(data);
  // The grab of a running menu moves the keyboard focus for its while: the
  // window has not lost the user to another.
  if (self->platform_.MenuSink()) return FALSE;
  self->events_.OnActivate(e->in != 0);
  return FALSE;
}

void DesktopWindow::OnDragData(GtkWidget*, GdkDragContext*, gint, gint, GtkSelectionData* data, guint, guint,
                               gpointer self) {
  auto* window = static_cast<DesktopWindow*>(self);
  const guchar* bytes = gtk_selection_data_get_data(data);
  const gint length = gtk_selection_data_get_length(data);
  if (!bytes || length <= 0) return;
  std::vector<std::u16string> paths =
      LocalPathsOfUriList({reinterpret_cast<const char*>(bytes), static_cast<size_t>(length)});
  if (!paths.empty())
    DesktopPlatform::PostDropped(new DesktopPlatform::Dropped{&window->platform_, window->serial_, std::move(paths)});
}

}  // namespace

void PrepareGtkStart() {
  // The program's texts are Unicode, and the older of the two window-name
  // properties is written in the character set of the locale. In a locale
  // without Chinese (the plain C locale, or one that is not installed, which
  // the C library replaces by C) the toolkit left it out: window managers,
  // window lists and tools that read only that one saw nameless windows and
  // no open dialog. The character set becomes UTF-8 then; the user's other
  // locale settings stay.
  if (!setlocale(LC_ALL, "")) setlocale(LC_ALL, "C");
  if (!g_str_equal(nl_langinfo(CODESET), "UTF-8")) {
    for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"})
      if (setlocale(LC_CTYPE, name)) break;
  }
  gtk_disable_setlocale();
  // The viewer places its windows itself and scales for the screen's dpi itself.
  gdk_set_allowed_backends("x11");
  g_setenv("GDK_SCALE", "1", TRUE);
}

bool GtkInstanceRunning() {
  const char* display = g_getenv("DISPLAY");
  return display && *display && HandOffServerAnswers(HandOffPathFor(display));
}

std::unique_ptr<Platform> CreateGtkPlatform(int* argc, char*** argv) {
  // The viewer draws with the processor only, but the toolkit would load the
  // system's OpenGL driver as it starts, to choose its visuals: most of its
  // start-up time. A choice the user made in the environment stands, and
  // none is passed on to the programs this one starts.
  const bool glChosen = g_getenv("GDK_GL") != nullptr;
  if (!glChosen) g_setenv("GDK_GL", "disable", TRUE);
  const bool up = gtk_init_check(argc, argv);
  if (!glChosen) g_unsetenv("GDK_GL");
  if (!up || !GDK_IS_X11_DISPLAY(gdk_display_get_default())) return nullptr;
  return std::make_unique<DesktopPlatform>();
}

}  // namespace vt
