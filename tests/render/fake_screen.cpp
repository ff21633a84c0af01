#include "render/fake_screen.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "render/render_view.h"

namespace vt::test {

namespace {

int64_t DistanceOutside(int64_t v, int32_t lo, int32_t hi) {
  if (v < lo) return lo - v;
  if (v >= hi) return v - hi + 1;
  return 0;
}

int32_t ScaleForDpi(int32_t v, uint32_t dpi) {
  return static_cast<int32_t>((int64_t{v} * dpi + 48) / 96);
}

}  // namespace

const FakeMonitor& FakeScreen::MonitorAt(ViewPoint p) const {
  const FakeMonitor* best = &monitors_.front();
  int64_t bestDistance = INT64_MAX;
  for (const FakeMonitor& m : monitors_) {
    const int64_t d = DistanceOutside(p.x, m.rect.left, m.rect.right) +
                      DistanceOutside(p.y, m.rect.top, m.rect.bottom);
    if (d < bestDistance) {
      bestDistance = d;
      best = &m;
    }
  }
  return *best;
}

FrameMetrics FakeFrameMetrics(uint32_t dpi) {
  return {ScaleForDpi(8, dpi), ScaleForDpi(8, dpi), ScaleForDpi(23, dpi), ScaleForDpi(136, dpi)};
}

FakeWindow::FakeWindow(const FakeScreen& screen, ViewPoint origin, ViewSize client)
    : origin(origin), client(client), screen_(screen) {}

ViewFlags FakeWindow::ViewerFlags() {
  ViewFlags f;
  f.displayBuffers = true;
  f.keepTransparency = true;
  return f;
}

void FakeWindow::Show(RefPtr<ImageBuffer> image, ViewFlags flags) {
  flags.frameless = frameless;
  view_ = std::make_unique<ViewState>(std::move(image), flags);
  RenderView(*view_);
}

const FakeMonitor& FakeWindow::Monitor() const {
  return screen_.MonitorAt({origin.x + client.width / 2, origin.y + client.height / 2});
}

void FakeWindow::SetAutoFitImage(bool on) {
  autoFit = on;
  autoFitWrites.push_back(on);
}

void FakeWindow::RestoreFromFullScreen() {
  maximized = false;
  calls.push_back({WindowCall::kRestore, std::nullopt, client, geometryNesting});
}

void FakeWindow::PlaceClient(ViewPoint topLeft, ViewSize size) {
  origin = topLeft;
  client = size;
  calls.push_back({WindowCall::kPlaceClient, topLeft, size, geometryNesting});
}

void FakeWindow::PlaceWindow(std::optional<ViewPoint> topLeft, ViewSize windowSize) {
  const FrameMetrics m = Frame();
  if (topLeft) origin = {topLeft->x + m.borderWidth, topLeft->y + m.borderHeight + m.captionHeight};
  client = {windowSize.width - 2 * m.borderWidth,
            windowSize.height - m.captionHeight - 2 * m.borderHeight};
  calls.push_back({WindowCall::kPlaceWindow, topLeft, windowSize, geometryNesting});
}

void FakeWindow::Present(std::optional<ViewPoint> topLeft, ViewSize size) {
  if (topLeft) origin = *topLeft;
  client = size;
  calls.push_back({WindowCall::kPresent, topLeft, size, geometryNesting});
}

void FakeWindow::Refresh() {
  calls.push_back({WindowCall::kRefresh, std::nullopt, client, geometryNesting});
}

void FakeWindow::SetBusy(bool busy) { busyChanges.push_back(busy); }

void FakeWindow::ShowNotAllowedCursor(bool show) { notAllowedChanges.push_back(show); }

void FakeWindow::ClearRecord() {
  calls.clear();
  busyChanges.clear();
  notAllowedChanges.clear();
  autoFitWrites.clear();
  titleUpdates = 0;
  cursorUpdates = 0;
}

bool FakeWindow::NothingRecorded() const {
  return calls.empty() && busyChanges.empty() && notAllowedChanges.empty() &&
         autoFitWrites.empty() && titleUpdates == 0 && cursorUpdates == 0;
}

}  // namespace vt::test
