#pragma once
#include <cstdint>

namespace vt {

// The numbered commands of a viewer window: the one list of their numbers.
// 20000..20064 are user commands (each with a name text, see view_commands.h);
// 20065..20068 are the window's own.
enum ViewCommand : uint32_t {
  kCmdLoadNew = 20000,
  kCmdNextFile = 20001,
  kCmdPreviousFile = 20002,
  kCmdFirstFile = 20003,
  kCmdLastFile = 20004,
  kCmdCreateNew = 20005,
  kCmdCreateNext = 20006,
  kCmdCreatePrevious = 20007,
  kCmdIndex = 20008,
  kCmdNextWindow = 20009,
  kCmdPreviousWindow = 20010,
  kCmdFitImageToWindow = 20011,
  kCmdFitWindowToImage = 20012,
  kCmdRestoreOriginalSize = 20013,
  kCmdTrimImageToWindow = 20014,
  kCmdToggleFullScreen = 20015,
  kCmdZoom12 = 20016,
  kCmdZoom25 = 20017,
  kCmdZoom50 = 20018,
  kCmdZoom75 = 20019,
  kCmdZoom100 = 20020,
  kCmdZoom150 = 20021,
  kCmdZoom200 = 20022,
  kCmdZoom400 = 20023,
  kCmdZoom800 = 20024,
  kCmdZoomIn = 20025,
  kCmdZoomOut = 20026,
  kCmdZoomPrintSize = 20027,
  kCmdRotateLeft = 20028,
  kCmdRotate180 = 20029,
  kCmdRotateRight = 20030,
  kCmdMirrorVertical = 20031,
  kCmdMirrorHorizontal = 20032,
  kCmdFreeze = 20033,
  kCmdReload = 20034,
  kCmdAdjustImage = 20035,
  kCmdImageInfo = 20036,
  kCmdColourSampler = 20037,
  kCmdSaveAs = 20038,
  kCmdRenameFile = 20039,
  kCmdCopyFile = 20040,
  kCmdMoveFile = 20041,
  kCmdDeleteFile = 20042,
  kCmdDeleteShowNext = 20043,
  kCmdEraseFile = 20044,
  kCmdEraseShowNext = 20045,
  kCmdOpenFolder = 20046,
  kCmdWallpaper = 20047,
  kCmdCopyToClipboard = 20048,
  kCmdPasteFromClipboard = 20049,
  kCmdCreateSlideshow = 20050,
  kCmdSlideshow = 20051,
  kCmdCancel = 20052,
  kCmdSlideshowFullScreen = 20053,
  kCmdCaptureScreen = 20054,
  kCmdCaptureWindow = 20055,
  kCmdOptions = 20056,
  kCmdFullScreen = 20057,
  kCmdRestoreWindow = 20058,
  kCmdBringToFront = 20059,
  kCmdSendToBack = 20060,
  kCmdTopmost = 20061,
  kCmdHelp = 20062,
  kCmdCloseAll = 20063,
  kCmdClose = 20064,
  kCmdShowNewImage = 20065,
  kCmdBusy = 20066,
  kCmdSlideshowState = 20067,
  kCmdRebuildAccelerators = 20068,
};

inline constexpr uint32_t kFirstUserCommand = 20000;
inline constexpr uint32_t kLastUserCommand = 20064;

// The private message that stops a running slideshow: a command of its own.
inline constexpr uint32_t kStopSlideshowCommand = 0x763F;
// The private message that shows the latest progress of a load reported from
// another thread on the taskbar.
inline constexpr uint32_t kApplyProgressCommand = 0x7640;
// The "keep zoom" switch of the popup menu: a setting of the window's own, not
// a user command (no key reaches it, no name in the key list).
inline constexpr uint32_t kKeepZoomCommand = 0x7641;
// The "checkerboard behind transparency" switch of the popup menu, kept the
// same way.
inline constexpr uint32_t kCheckerboardCommand = 0x7642;
// Animation controls of the popup menu and of keys no binding takes: pause
// or resume, and one frame forward or back (the animation pauses first).
inline constexpr uint32_t kPauseAnimationCommand = 0x7643;
inline constexpr uint32_t kNextFrameCommand = 0x7644;
inline constexpr uint32_t kPreviousFrameCommand = 0x7645;
// Writes the view's orientation into a JPEG file's own orientation tag.
inline constexpr uint32_t kSaveRotationCommand = 0x7646;
// Whether that keeps the file's last-write time (a setting of its own).
inline constexpr uint32_t kKeepFileTimeCommand = 0x7647;

}  // namespace vt
