#pragma once
#include <memory>
#include <optional>
#include <vector>

#include "render/view_state.h"
#include "render/view_window.h"

namespace vt::test {

struct FakeMonitor {
  ViewRect rect;
  ViewRect workArea;
  uint32_t dpi = 96;
};

// Monitors side by side as the tests lay them out.
class FakeScreen {
 public:
  explicit FakeScreen(std::vector<FakeMonitor> monitors) : monitors_(std::move(monitors)) {}
  // The monitor that holds the point, else the nearest one (as the system
  // picks a window's monitor).
  const FakeMonitor& MonitorAt(ViewPoint p) const;

 private:
  std::vector<FakeMonitor> monitors_;
};

// Frame metrics as a themed system reports them, scaled with the dpi:
// 8-pixel borders, a 23-pixel caption and a 136-pixel minimum width at 96 dpi.
FrameMetrics FakeFrameMetrics(uint32_t dpi);

// One call of the window's move, size and paint operations.
struct WindowCall {
  enum Kind { kPlaceClient, kPlaceWindow, kPresent, kRefresh, kRestore };
  Kind kind;
  std::optional<ViewPoint> at;
  ViewSize size;
  int geometryNesting;  // the window's geometry nesting count during the call
};

// A viewer window reduced to what the geometry sees, on a fake screen. Its
// states are public so a test can set up any situation; every operation the
// geometry calls is recorded.
class FakeWindow : public ViewWindow {
 public:
  FakeWindow(const FakeScreen& screen, ViewPoint origin, ViewSize client);

  // Gives the window a view of image (the flags of a viewer window's view
  // unless told otherwise) and renders it.
  void Show(RefPtr<ImageBuffer> image, ViewFlags flags = ViewerFlags());
  static ViewFlags ViewerFlags();

  ViewState* View() override { return view_.get(); }
  ViewSize ClientSize() const override { return client; }
  ViewPoint ClientOrigin() const override { return origin; }
  ViewPoint Scroll() const override { return scroll; }
  void SetScroll(ViewPoint s) override { scroll = s; }
  FrameMetrics Frame() const override { return FakeFrameMetrics(Monitor().dpi); }
  ViewRect MonitorWorkArea() const override { return Monitor().workArea; }
  ViewRect MonitorRect() const override { return Monitor().rect; }
  uint32_t MonitorDpi() const override { return Monitor().dpi; }
  bool IsMaximized() const override { return maximized; }
  bool IsFrozen() const override { return frozen; }
  bool IsTopmost() const override { return topmost; }
  bool AlwaysFramed() const override { return alwaysFramed; }
  bool IsFrameless() const override { return frameless; }
  bool IsCentredPlacement() const override { return centred; }
  bool ImageLargerThanScreen() const override { return largerThanScreen; }
  void SetImageLargerThanScreen(bool larger) override { largerThanScreen = larger; }
  bool AutoFitImage() const override { return autoFit; }
  void SetAutoFitImage(bool on) override;
  void BeginGeometryChange() override { ++geometryNesting; }
  void EndGeometryChange() override { --geometryNesting; }
  void RestoreFromFullScreen() override;
  void PlaceClient(ViewPoint topLeft, ViewSize size) override;
  void PlaceWindow(std::optional<ViewPoint> topLeft, ViewSize windowSize) override;
  void Present(std::optional<ViewPoint> topLeft, ViewSize size) override;
  void Refresh() override;
  void SetBusy(bool busy) override;
  void ShowNotAllowedCursor(bool show) override;
  void UpdateTitle() override { ++titleUpdates; }
  void UpdateCursor() override { ++cursorUpdates; }

  const FakeMonitor& Monitor() const;
  // Everything the window was asked to do, forgotten by ClearRecord.
  void ClearRecord();
  bool NothingRecorded() const;

  ViewPoint origin;
  ViewSize client;
  ViewPoint scroll;
  bool maximized = false;
  bool frozen = false;
  bool topmost = false;
  bool alwaysFramed = true;
  bool frameless = false;
  bool centred = false;
  bool largerThanScreen = false;
  bool autoFit = false;
  int geometryNesting = 0;

  std::vector<WindowCall> calls;
  std::vector<bool> busyChanges;
  std::vector<bool> notAllowedChanges;
  std::vector<bool> autoFitWrites;
  int titleUpdates = 0;
  int cursorUpdates = 0;

 private:
  const FakeScreen& screen_;
  std::unique_ptr<ViewState> view_;
};

}  // namespace vt::test
