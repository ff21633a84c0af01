#pragma once
#include <cstdint>
#include <optional>

namespace vt {

class ViewState;

struct ViewPoint {
  int32_t x = 0;
  int32_t y = 0;
  friend bool operator==(const ViewPoint&, const ViewPoint&) = default;
};

struct ViewSize {
  int32_t width = 0;
  int32_t height = 0;
  friend bool operator==(const ViewSize&, const ViewSize&) = default;
};

// Screen rectangle, right and bottom exclusive.
struct ViewRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
  friend bool operator==(const ViewRect&, const ViewRect&) = default;
};

// Measured for the window's DPI: what the frame adds around the client area.
struct FrameMetrics {
  int32_t borderWidth = 0;   // frame width + padded border, each side
  int32_t borderHeight = 0;  // frame height + padded border, top and bottom
  int32_t captionHeight = 0;
  int32_t minWindowWidth = 0;  // minimum tracking width of a framed window
};

// What the view geometry needs of the window that shows a view. The viewer
// window implements it; tests implement it over a fake screen. All positions
// are screen coordinates; sizes are client-area sizes unless named otherwise.
class ViewWindow {
 public:
  virtual ~ViewWindow() = default;

  // The view shown in the window; null while it has no image.
  virtual ViewState* View() = 0;

  virtual ViewSize ClientSize() const = 0;
  // Screen position of the client area's top-left corner.
  virtual ViewPoint ClientOrigin() const = 0;
  // Offset in display pixels of the client's top-left corner into the shown image.
  virtual ViewPoint Scroll() const = 0;
  virtual void SetScroll(ViewPoint scroll) = 0;
  virtual FrameMetrics Frame() const = 0;

  // The monitor that holds the window: its work area, its whole rectangle and
  // its effective DPI (96 where the system cannot tell).
  virtual ViewRect MonitorWorkArea() const = 0;
  virtual ViewRect MonitorRect() const = 0;
  virtual uint32_t MonitorDpi() const = 0;

  virtual bool IsMaximized() const = 0;  // full screen
  virtual bool IsFrozen() const = 0;
  virtual bool IsTopmost() const = 0;
  // The title-bar mode is "always": the window carries a frame and caption.
  virtual bool AlwaysFramed() const = 0;
  // The window is presented as a layered window without a frame at present.
  virtual bool IsFrameless() const = 0;
  // No position was given at creation: the window is placed by its centre.
  virtual bool IsCentredPlacement() const = 0;

  virtual bool ImageLargerThanScreen() const = 0;
  virtual void SetImageLargerThanScreen(bool larger) = 0;

  // The setting "fit image to window automatically".
  virtual bool AutoFitImage() const = 0;
  virtual void SetAutoFitImage(bool on) = 0;

  // Raised while a geometry operation moves the window, so that the window's
  // own size and move handlers do not fit the image again meanwhile.
  virtual void BeginGeometryChange() = 0;
  virtual void EndGeometryChange() = 0;

  // Leaves full screen (the window's restore command).
  virtual void RestoreFromFullScreen() = 0;
  // Moves and sizes the client area, records the new client size and shows
  // the display image (painted, or presented when frameless).
  virtual void PlaceClient(ViewPoint topLeft, ViewSize size) = 0;
  // Moves and sizes the whole framed window (no position: it stays where it
  // is), records the resulting client size and repaints.
  virtual void PlaceWindow(std::optional<ViewPoint> topLeft, ViewSize windowSize) = 0;
  // Presents a frameless window at the given client position and size.
  virtual void Present(std::optional<ViewPoint> topLeft, ViewSize size) = 0;
  // Shows the display image again in place: repaint, or present when frameless.
  virtual void Refresh() = 0;

  // The wait cursor (a nesting count: every true is matched by a false).
  virtual void SetBusy(bool busy) = 0;
  // The "not allowed" cursor while a refused zoom is undone.
  virtual void ShowNotAllowedCursor(bool show) = 0;
  virtual void UpdateTitle() = 0;
  // When the pointer is over this window, evaluates the cursor as a mouse move would.
  virtual void UpdateCursor() = 0;
};

}  // namespace vt
