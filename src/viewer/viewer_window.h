#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/command_line.h"
#include "base/ref_counted.h"
#include "base/status.h"
#include "files/folder_listing.h"
#include "files/navigate.h"
#include "render/view_state.h"
#include "render/view_window.h"
#include "ui/toolkit_window.h"
#include "viewer/load_progress.h"

namespace vt {

class ViewerApp;
struct OptionsBlock;

// How a viewer window starts (the window keywords of the command line and the
// monitor of the window it was opened from).
struct ViewerOptions {
  std::optional<ViewPoint> position;  // absent: centred on the work area
  float zoom = kZoomNotGiven;
  bool frozen = false;
  bool fullScreen = false;
  bool topmost = false;
  std::optional<std::u16string> title;
  std::optional<MonitorInfo> monitor;
};

// The zoom as a start-up keyword carries it: rounded to three decimals and
// written with all three ("0.500", "2.000", "12.346").
std::u16string LogonZoomText(double zoom);
// The message of a file that could not be shown: what went wrong, and which
// file. translate passes a built-in text through the interface dictionary.
std::u16string OpenFailureText(Status status, const std::u16string& path,
                               const std::function<std::u16string(std::u16string_view)>& translate);
// The arguments that bring a frozen window back at the next logon: frozen,
// the screen position of its client area (where the position keyword puts
// it), its zoom and the image.
std::u16string LogonArguments(ViewPoint clientTopLeft, double zoom, std::u16string_view path);

// One image window: opens files, holds the view of its image, carries the
// window states the geometry and the commands consult, and dispatches commands.
class ViewerWindow : public ToolkitWindow, public ViewWindow {
 public:
  explicit ViewerWindow(ViewerApp& app);
  ~ViewerWindow() override;

  // Creation: makes the window, opens path (or asks for a file) and queues
  // the first layout. False when the window got no image; it then closes itself.
  bool Create(const std::u16string* path, const ViewerOptions& options);

  Status OpenImage(const std::u16string& path, bool showErrors);
  void Dispatch(uint32_t command, intptr_t argument);
  void UpdateTitle() override;
  void SetFrame(bool show, bool force);
  void SetAnimationTimer(int32_t delay);

  const std::u16string& Path() const { return path_; }
  bool HasImage() const { return view_ != nullptr; }
  bool IsSlideshow() const { return slideshow_; }
  bool FrameShown() const { return frameShown_; }
  bool ThinBorder() const { return thinBorder_; }
  bool LayeredState() const { return layered_; }
  int32_t BusyCount() const { return busy_; }
  uint64_t AnimationDue() const { return animationDue_; }
  bool AnimationPaused() const { return paused_; }
  uint32_t BackgroundColour() const;
  // A checkerboard behind the transparent parts of images, in every window
  // (a setting of its own); the popup menu's "透明区域显示棋盘格" toggles it.
  void SetCheckerboard(bool on);
  bool CheckerboardShown() const;
  const AcceleratorTable& FullAccelerators() const { return fullKeys_; }

  // ViewWindow
  ViewState* View() override { return view_.get(); }
  ViewSize ClientSize() const override { return client_; }
  ViewPoint ClientOrigin() const override;
  ViewPoint Scroll() const override { return scroll_; }
  void SetScroll(ViewPoint scroll) override { scroll_ = scroll; }
  FrameMetrics Frame() const override { return metrics_; }
  ViewRect MonitorWorkArea() const override;
  ViewRect MonitorRect() const override;
  uint32_t MonitorDpi() const override;
  bool IsMaximized() const override;
  bool IsFrozen() const override { return frozen_; }
  bool IsTopmost() const override { return topmost_; }
  bool AlwaysFramed() const override;
  bool IsFrameless() const override { return !frameShown_; }
  bool IsCentredPlacement() const override { return centred_; }
  bool ImageLargerThanScreen() const override { return largerThanScreen_; }
  void SetImageLargerThanScreen(bool larger) override { largerThanScreen_ = larger; }
  bool AutoFitImage() const override;
  void SetAutoFitImage(bool on) override;
  void BeginGeometryChange() override { ++geometryNesting_; }
  void EndGeometryChange() override { --geometryNesting_; }
  void RestoreFromFullScreen() override;
  void PlaceClient(ViewPoint topLeft, ViewSize size) override;
  void PlaceWindow(std::optional<ViewPoint> topLeft, ViewSize windowSize) override;
  void Present(std::optional<ViewPoint> topLeft, ViewSize size) override;
  void Refresh() override;
  void SetBusy(bool busy) override;
  void ShowNotAllowedCursor(bool show) override;
  void UpdateCursor() override;

  // Window events
  void OnDestroyed() override;
  void OnSize(ViewSize client, ShowState state) override;
  void OnSizing(SizingEdge edge, ViewRect* windowRect) override;
  void OnPositionChanging(ViewRect* windowRect) override;
  void OnSizeMoveLoop(bool entering) override;
  void OnPaint(PaintTarget& target, const ViewRect& dirty) override;
  void OnMouseMove(ViewPoint client, uint8_t modifiers) override;
  void OnTimer(uint32_t id) override;
  void OnCommand(uint32_t command, intptr_t argument) override;
  void OnDroppedFiles(const std::vector<std::u16string>& paths) override;
  void OnMouseButton(int button, MouseAction action, ViewPoint client, uint8_t modifiers) override;
  bool OnUnboundKey(uint32_t virtualKey, bool down, uint8_t modifiers) override;
  void OnDpiChanged(uint32_t dpi) override;
  void OnActivate(bool active) override;
  void OnDisplayChange() override;
  bool OnCopyData(uint64_t tag, const void* data, size_t bytes) override;
  void OnEndSession() override;

  static constexpr uint32_t kAnimationTimer = 1;
  static constexpr uint32_t kHoverTimer = 42;
  static constexpr uint32_t kHoverMilliseconds = 250;
  static constexpr int32_t kCheckerSquare = 8;  // pixels at 96 dpi

 private:
  OptionsBlock& Options() const;
  ViewSize ShownSize() const;
  // Frameless in the title-bar mode "on hover": the mouse brings the frame up
  // around the client at any time, so fits and placements leave it room on
  // the work area.
  bool HoverFrameComes() const;
  void ShowNewImage();
  void FullScreenFit();
  void EnterFullScreen();
  void LeaveFullScreen();
  void ShowFrameNow();
  void HideFrameNow();
  void EvaluateLayered();
  void Navigate(NavigateMode mode, bool newWindow);
  void Freeze(bool freeze);
  void StepAnimation();
  void RebuildAccelerators();
  void UpdateDisplaySurface();
  // What the visible part of the shown image (at the scroll position) is
  // drawn from: the display layer, or that laid over the checkerboard.
  struct Drawing {
    ImageBuffer* image = nullptr;
    ViewPoint from;       // pixel of image at the visible part's corner
    bool opaque = false;  // nothing behind it shows through
  };
  Drawing DrawingOf(ViewSize visible);
  int32_t CheckerSquare() const;
  void RunCommand(uint32_t command, intptr_t argument);
  void OpenFromDialog(bool newWindow);
  void ScheduleReadAhead();
  // The commands of viewer_commands.cpp.
  void Reload();
  void SampleColour();
  // The commands of viewer_image_commands.cpp: turning and mirroring, the
  // adjustments dialog, the animation controls and saving the rotation.
  void Turn(uint32_t command);
  void AdjustImage();
  // The view's layers were rebuilt (adjustments changed): repainted, and
  // laid out again when the shown size changed.
  void AdjustmentsChanged(bool layout);
  void PauseAnimation(bool pause);
  void StepFrameCommand(bool forward);
  void SaveRotationIntoFile();
  bool RunImageCommand(uint32_t command);
  void Capture(bool foregroundWindow);
  void OpenFolderInShell();
  void OpenHelp();
  // A captured picture becomes the window's image under a pseudo-name
  // ("<screen>"): no file, no folder to step through.
  bool ShowCapturedImage(const PixelSurface& picture, std::u16string_view name);
  // With "keep zoom" on, a step to another file of the folder takes the zoom
  // and the centre of view along: noted before the step, applied once the new
  // image is laid out.
  void NoteKeptView();
  void ApplyKeptView();
  // The popup menu of the window's state at the pointer, run until it closes;
  // the command chosen runs then.
  void ShowContextMenu(bool byKeyboard);
  // The image's own proportions: the current image at zoom 1 with its aspect.
  ViewSize NaturalImageSize() const;
  // The shown image covers the monitor in a direction.
  bool ImageFillsScreen() const;
  // After leaving full screen: the window fitted again.
  void RefitAfterFullScreen(bool imageFilledScreen);
  // Keeps the folder listing the window steps through under watch, so that
  // files added, removed or renamed there are seen by the next step.
  void FollowFolder();
  // A frozen window that stops showing its file as frozen (unfrozen, another
  // file, closed) takes back the logon entry an earlier logoff left for it.
  void ForgetLogonShortcut();

  ViewerApp& app_;
  RefPtr<LoadProgress> progress_;
  std::unique_ptr<ViewState> view_;
  std::u16string path_;
  RefPtr<FolderListing> folder_;
  // A change reported by the watch already marks the listing stale (the next
  // step rescans); the listener is what keeps the watch running.
  struct FolderWatch : FolderChangeListener {
    void OnFolderChanged() override {}
  } folderWatch_;
  RefPtr<FolderListing> watchedFolder_;
  std::optional<std::u16string> fixedTitle_;
  AcceleratorTable fullKeys_;
  AcceleratorTable frozenKeys_;

  ViewSize client_;
  ViewPoint scroll_;
  FrameMetrics metrics_;
  double dpiScale_ = 1.0;

  bool frameShown_ = true;
  bool framelessMode_ = false;
  bool thinBorder_ = false;
  bool frozen_ = false;
  bool topmost_ = false;
  bool slideshow_ = false;
  bool showNoActivate_ = false;
  bool centred_ = false;
  bool startFullScreen_ = false;
  // The window has been laid out in the normal state (not only full screen).
  bool normalLayout_ = false;
  bool largerThanScreen_ = false;
  bool layered_ = false;
  bool hasAlpha_ = false;
  bool hoverTimer_ = false;
  bool fullScreen_ = false;  // the window is in (or minimized from) the maximized state
  bool destroyed_ = false;
  // The image opened before the first layout: its read-ahead waits for that
  // layout, whose frame and placement decide the room the hint fits into,
  // and then for the first picture to be drawn, which it would slow down.
  bool readAheadAfterLayout_ = false;
  bool readAheadAfterPaint_ = false;

  int32_t commandNesting_ = 0;
  int32_t geometryNesting_ = 0;
  int32_t busy_ = 0;
  int32_t notAllowed_ = 0;
  float pendingZoom_ = -1.0f;
  std::optional<ViewPoint> requestedPosition_;
  ViewSize savedClient_;
  ViewPoint savedClientOrigin_;
  // The logon is ending: what the window leaves for the next one stays.
  bool sessionEnding_ = false;
  ViewRect savedWindowRect_;
  uint64_t animationDue_ = 0;
  bool paused_ = false;  // the user stopped the animation on its current frame
  uint32_t imageBackground_ = 0;  // sampled or stored background of the current image
  struct KeptView {
    double zoom;
    double centreX, centreY;  // the centre of view as fractions of the shown image
  };
  std::optional<KeptView> keptView_;
  bool menuOpen_ = false;
  RefPtr<ImageBuffer> checkered_;  // the visible part over the checkerboard, as drawn last
};

}  // namespace vt
