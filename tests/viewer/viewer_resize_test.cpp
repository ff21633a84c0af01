#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "viewer/load_progress.h"
#include "viewer/view_command.h"
#include "viewer/viewer_fixture.h"

namespace vt::test {
namespace {

constexpr uint32_t kRed = 0xFF0000;

class ViewerResizeTest : public ViewerFixture {
 protected:
  ViewerWindow* OpenFramed(int32_t width, int32_t height) {
    Options().viewerTitleBar = 0;
    Options().autoFit = 1;
    Options().fitOnlyShrinks = 0;
    ViewerWindow* w = Open(dir.Write("image.bmp", SolidBmp(width, height, kRed)));
    EXPECT_NE(w, nullptr);
    return w;
  }
};

TEST_F(ViewerResizeTest, DraggingASideEdgeKeepsTheImageProportionsAndFitsIt) {
  ViewerWindow* w = OpenFramed(400, 300);
  ASSERT_NE(w, nullptr);
  HeadlessWindow* n = Native(w);
  ASSERT_EQ(n->ClientSize(), (ViewSize{400, 300}));
  const ViewRect before = n->WindowRect();
  n->UserDragEdge(SizingEdge::kRight, {before.left, before.top, before.right + 200, before.bottom});
  EXPECT_EQ(n->ClientSize(), (ViewSize{600, 450}));
  EXPECT_EQ(n->WindowRect().left, before.left);
  // The new height is shared around the old centre.
  EXPECT_EQ(n->WindowRect().top, before.top - 75);
  EXPECT_DOUBLE_EQ(w->View()->Zoom(), 1.5);
  EXPECT_EQ(n->Pixel(599, 449), 0xFFFF0000u);

  // The bottom edge: the width follows the height.
  const ViewRect now = n->WindowRect();
  n->UserDragEdge(SizingEdge::kBottom, {now.left, now.top, now.right, now.bottom - 150});
  EXPECT_EQ(n->ClientSize(), (ViewSize{400, 300}));
  EXPECT_DOUBLE_EQ(w->View()->Zoom(), 1.0);
}

TEST_F(ViewerResizeTest, NoLockWithoutAutomaticFitOrForAnImageLargerThanTheScreen) {
  ViewerWindow* w = OpenFramed(400, 300);
  ASSERT_NE(w, nullptr);
  HeadlessWindow* n = Native(w);
  Options().autoFit = 0;
  ViewRect r = n->WindowRect();
  n->UserDragEdge(SizingEdge::kRight, {r.left, r.top, r.right + 200, r.bottom});
  EXPECT_EQ(n->ClientSize(), (ViewSize{600, 300}));
  EXPECT_DOUBLE_EQ(w->View()->Zoom(), 1.0);  // and nothing fitted

  Options().autoFit = 1;
  w->SetImageLargerThanScreen(true);
  r = n->WindowRect();
  n->UserDragEdge(SizingEdge::kBottom, {r.left, r.top, r.right, r.bottom + 100});
  EXPECT_EQ(n->ClientSize().width, 600);
  EXPECT_EQ(n->ClientSize().height, 400);
}

TEST_F(ViewerResizeTest, FitOnlyShrinksLetsAClientLargerThanTheImageGoFree) {
  ViewerWindow* w = OpenFramed(400, 300);
  ASSERT_NE(w, nullptr);
  HeadlessWindow* n = Native(w);
  Options().fitOnlyShrinks = 1;
  // 600 x 300 is not larger than the image in both directions: locked.
  ViewRect r = n->WindowRect();
  n->UserDragEdge(SizingEdge::kRight, {r.left, r.top, r.right + 200, r.bottom});
  EXPECT_EQ(n->ClientSize(), (ViewSize{600, 450}));
  EXPECT_DOUBLE_EQ(w->View()->Zoom(), 1.0);  // never enlarged
  // Now larger both ways: the height goes where the user puts it.
  r = n->WindowRect();
  n->UserDragEdge(SizingEdge::kBottom, {r.left, r.top, r.right, r.bottom + 100});
  EXPECT_EQ(n->ClientSize(), (ViewSize{600, 550}));
  // Smaller than the image again: locked and shrunk.
  r = n->WindowRect();
  n->UserDragEdge(SizingEdge::kLeft, {r.right - 216, r.top, r.right, r.bottom});
  EXPECT_EQ(n->ClientSize(), (ViewSize{200, 150}));
  EXPECT_DOUBLE_EQ(w->View()->Zoom(), 0.5);
}

TEST_F(ViewerResizeTest, MovingTheWindowAwayLeavesAStripInTheWorkArea) {
  ViewerWindow* w = OpenFramed(400, 300);
  ASSERT_NE(w, nullptr);
  HeadlessWindow* n = Native(w);
  n->UserMove({-5000, 100});
  EXPECT_EQ(n->WindowRect().right, 2 * 8 + 2);
  EXPECT_EQ(n->WindowRect().top, 100);
  n->UserMove({300, 5000});
  EXPECT_EQ(n->WindowRect().top, 1040 - (2 * 8 + 2) - 23);
  n->UserMove({300, 200});
  EXPECT_EQ(n->WindowRect().left, 300);
  EXPECT_EQ(n->WindowRect().top, 200);
  EXPECT_EQ(n->ClientSize(), (ViewSize{400, 300}));
}

TEST_F(ViewerResizeTest, LeavingFullScreenStartsAScreenFillingImageFromItsOwnSize) {
  Options().viewerTitleBar = 0;
  Options().autoFit = 1;
  Options().fitOnlyShrinks = 0;
  // Enlarged to fill the monitor's width (9.6 x) in full screen.
  ViewerWindow* w = Open(dir.Write("small.bmp", SolidBmp(200, 100, kRed)), {u"-fullscreen"});
  ASSERT_NE(w, nullptr);
  HeadlessWindow* n = Native(w);
  ASSERT_EQ(n->State(), ShowState::kMaximized);
  ASSERT_GT(w->View()->Zoom(), 9.0);
  // The system's restore (the caption button), not the window's command.
  n->Show(ShowState::kNormal, true);
  platform.Pump();
  EXPECT_EQ(n->State(), ShowState::kNormal);
  EXPECT_DOUBLE_EQ(w->View()->Zoom(), 1.0);
  EXPECT_EQ(n->ClientSize(), (ViewSize{200, 100}));
  EXPECT_FALSE(n->IsTopmost());

  // Without automatic fit the window takes the image as it is.
  ViewerWindow* v = Open(dir.Write("wide.bmp", SolidBmp(800, 200, kRed)), {u"-fullscreen"});
  ASSERT_NE(v, nullptr);
  Options().autoFit = 0;
  v->Dispatch(kCmdRestoreWindow, 0);
  platform.Pump();
  EXPECT_EQ(Native(v)->State(), ShowState::kNormal);
  EXPECT_DOUBLE_EQ(v->View()->Zoom(), 2.4);
  EXPECT_EQ(Native(v)->ClientSize(), (ViewSize{1904, 480}));
}

// Two monitors side by side, the second to the right.
class TwoMonitorTest : public ViewerFixture {
 protected:
  TwoMonitorTest()
      : ViewerFixture({{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}, 96},
                       {{1920, 0, 3840, 1080}, {1920, 0, 3840, 1040}, 96}}) {}
};

TEST_F(TwoMonitorTest, FullScreenStaysWhenTheNewForegroundWindowIsOnTheOtherMonitor) {
  Options().viewerTitleBar = 0;
  const std::string a = dir.Write("a.bmp", SolidBmp(200, 100, kRed));
  ViewerWindow* w = Open(a, {u"-fullscreen"});
  ASSERT_NE(w, nullptr);
  HeadlessWindow* n = Native(w);
  ASSERT_EQ(n->State(), ShowState::kMaximized);
  ASSERT_TRUE(n->IsForeground());

  // A window on the second monitor takes the activation: both stay.
  ViewerWindow* other = Open(a, {u"-pos=2200,200"});
  ASSERT_NE(other, nullptr);
  ASSERT_TRUE(Native(other)->IsForeground());
  EXPECT_EQ(n->State(), ShowState::kMaximized);
  EXPECT_EQ(platform.slept, 0u);  // it was there at once

  // Another program's window shows up 120 ms after the loss, on the second
  // monitor: waited for, and the window stays.
  n->Activate(true);
  platform.foreignForeground = ViewRect{2000, 100, 2600, 500};
  platform.foreignForegroundFrom = platform.TickCount() + 120;
  n->Activate(false);
  EXPECT_EQ(platform.slept, 120u);
  EXPECT_EQ(n->State(), ShowState::kMaximized);

  // On the same monitor: minimized.
  n->Activate(true);
  platform.foreignForeground = ViewRect{300, 300, 900, 700};
  platform.foreignForegroundFrom = platform.TickCount();
  n->Activate(false);
  EXPECT_EQ(n->State(), ShowState::kMinimized);
}

TEST_F(TwoMonitorTest, AWindowMovesOntoTheOtherMonitorAndIsKeptInReachThere) {
  Options().viewerTitleBar = 0;
  ViewerWindow* w = Open(dir.Write("a.bmp", SolidBmp(400, 300, kRed)));
  ASSERT_NE(w, nullptr);
  HeadlessWindow* n = Native(w);
  n->UserMove({2500, 300});
  EXPECT_EQ(n->WindowRect().left, 2500);
  n->UserMove({5000, 300});
  EXPECT_EQ(n->WindowRect().left, 3840 - (2 * 8 + 2));
}

TEST_F(TwoMonitorTest, FullScreenMinimizesWhenNoWindowTakesTheActivation) {
  Options().viewerTitleBar = 0;
  ViewerWindow* w = Open(dir.Write("a.bmp", SolidBmp(200, 100, kRed)), {u"-fullscreen"});
  ASSERT_NE(w, nullptr);
  HeadlessWindow* n = Native(w);
  const uint64_t start = platform.TickCount();
  n->Activate(false);
  // 50 polls 10 ms apart on the platform's clock, then it gives way.
  EXPECT_EQ(platform.slept, 500u);
  EXPECT_EQ(platform.TickCount() - start, 500u);
  EXPECT_EQ(n->State(), ShowState::kMinimized);
}

// ---- Progress from other threads ------------------------------------------------

// A bare window that hands the posted command to the relay, as the viewer does.
class RelayWindow : public WindowEvents {
 public:
  void OnCloseRequest() override {}
  void OnDestroyed() override {}
  void OnCommand(uint32_t command, intptr_t) override {
    ++commands;
    if (command == kApplyProgressCommand && relay) relay->ApplyPosted();
  }
  LoadProgress* relay = nullptr;
  int commands = 0;
};

class LoadProgressTest : public ::testing::Test {
 protected:
  LoadProgressTest() : platform({}) {
    WindowCreateParams params;
    params.clientSize = {10, 10};
    window = platform.NewWindow(events, params);
    relay = MakeRef<LoadProgress>(platform, window.get(), kApplyProgressCommand);
    events.relay = relay.get();
  }
  template <class F>
  static void OnAnotherThread(F f) {
    std::thread t(f);
    t.join();
  }

  HeadlessPlatform platform;
  RelayWindow events;
  std::unique_ptr<PlatformWindow> window;
  RefPtr<LoadProgress> relay;
};

TEST_F(LoadProgressTest, ABurstFromAnotherThreadIsOneMessageWithTheLatestValue) {
  RefPtr<ProgressSink> sink = relay->Begin();
  OnAnotherThread([&] {
    for (uint32_t i = 1; i <= 1000; ++i) sink->Report(i, 1000);
  });
  EXPECT_TRUE(platform.progress.empty());  // nothing from the loader's thread
  EXPECT_EQ(platform.Pump(), 1u);
  ASSERT_EQ(platform.progress.size(), 1u);
  EXPECT_EQ(platform.progress[0].done, 1000u);
  EXPECT_EQ(platform.progress[0].total, 1000u);
  EXPECT_EQ(platform.progress[0].thread, std::this_thread::get_id());

  // The next burst posts again; done beyond total is clamped.
  OnAnotherThread([&] { sink->Report(7000, 5000); });
  EXPECT_EQ(platform.Pump(), 1u);
  ASSERT_EQ(platform.progress.size(), 2u);
  EXPECT_EQ(platform.progress[1].done, 5000u);

  // On the window's own thread a report goes straight to the taskbar, and a
  // value still waiting from the other thread is older than it.
  OnAnotherThread([&] { sink->Report(1, 10); });
  sink->Report(5, 10);
  ASSERT_EQ(platform.progress.size(), 3u);
  EXPECT_EQ(platform.progress[2].done, 5u);
  platform.Pump();
  EXPECT_EQ(platform.progress.size(), 3u);
  relay->End();
}

// While the window's thread waits for the load it cannot take messages; the
// cache gives it turns instead, and those apply what is waiting.
TEST_F(LoadProgressTest, TurnsWhileWaitingApplyTheLatestValueOnTheWindowThread) {
  RefPtr<ProgressSink> sink = relay->Begin();
  OnAnotherThread([&] {
    sink->Report(3, 10);
    sink->Report(4, 10);
    sink->Waiting();  // not the window's thread: nothing happens
  });
  EXPECT_TRUE(platform.progress.empty());
  sink->Waiting();
  ASSERT_EQ(platform.progress.size(), 1u);
  EXPECT_EQ(platform.progress[0].done, 4u);
  EXPECT_EQ(platform.progress[0].thread, std::this_thread::get_id());
  sink->Waiting();  // nothing new
  EXPECT_EQ(platform.progress.size(), 1u);
  // The message posted for that value finds nothing left to apply.
  platform.Pump();
  EXPECT_EQ(platform.progress.size(), 1u);
  // And a later report posts afresh.
  OnAnotherThread([&] { sink->Report(9, 10); });
  EXPECT_EQ(platform.Pump(), 1u);
  ASSERT_EQ(platform.progress.size(), 2u);
  EXPECT_EQ(platform.progress[1].done, 9u);
  relay->End();
}

TEST_F(LoadProgressTest, ReportsAfterTheLoadEndedOrOfAnEarlierLoadAreDropped) {
  RefPtr<ProgressSink> first = relay->Begin();
  // Posted while the load ran, arriving after it ended: the bar was hidden
  // meanwhile and stays hidden.
  OnAnotherThread([&] { first->Report(3, 10); });
  relay->End();
  platform.Pump();
  EXPECT_EQ(events.commands, 1);
  EXPECT_TRUE(platform.progress.empty());

  RefPtr<ProgressSink> second = relay->Begin();
  OnAnotherThread([&] { first->Report(9, 10); });
  EXPECT_EQ(platform.Pump(), 0u);
  first->Report(9, 10);
  EXPECT_TRUE(platform.progress.empty());
  second->Report(2, 10);
  ASSERT_EQ(platform.progress.size(), 1u);
  relay->End();
}

TEST_F(LoadProgressTest, AWindowDestroyedWhileReportsArriveIsNeverTouched) {
  RefPtr<ProgressSink> sink = relay->Begin();
  std::atomic<bool> started{false}, stop{false};
  std::thread loader([&] {
    for (uint32_t i = 0; !stop.load(); ++i) {
      sink->Report(i % 100, 100);
      started.store(true);
    }
  });
  while (!started.load()) std::this_thread::yield();
  // What the viewer does when its window goes, then the window is freed.
  relay->Detach();
  window.reset();
  platform.Pump();
  const size_t posted = platform.progress.size();
  for (int i = 0; i < 1000; ++i) sink->Report(1, 2);
  stop.store(true);
  loader.join();
  EXPECT_EQ(platform.Pump(), 0u);
  EXPECT_EQ(platform.progress.size(), posted);
  EXPECT_EQ(posted, 0u);  // the window was gone before any message ran
}

TEST_F(ViewerResizeTest, APreloadedFileReportsOnlyOnTheWindowThreadAndEndsHidden) {
  ViewerWindow* w = OpenFramed(64, 64);
  ASSERT_NE(w, nullptr);
  // Large enough to be decoding on a loader thread when the window asks.
  const std::string big = dir.Write("big.bmp", SolidBmp(3000, 2000, kRed));
  platform.progress.clear();
  ASSERT_TRUE(cache->ScheduleLoad(U16(big), LoadMode::File, false));
  ASSERT_EQ(w->OpenImage(U16(big), true), status::kOk);
  platform.Pump();
  const auto& p = platform.progress;
  ASSERT_GE(p.size(), 3u);
  for (const auto& entry : p) EXPECT_EQ(entry.thread, std::this_thread::get_id());
  EXPECT_EQ(p.front().done, 0u);
  EXPECT_EQ(p.back().state, ProgressState::kNone);
  EXPECT_EQ(p[p.size() - 2].done, p[p.size() - 2].total);
  EXPECT_EQ(w->View()->SourceImage()->Width(), 3000u);
}

}  // namespace
}  // namespace vt::test
