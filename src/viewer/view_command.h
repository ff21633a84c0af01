#pragma once
#include <cstdint>

namespace vt {

// The numbered commands of a viewer window. 20000..20064 are user commands;
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
  kCmdZoom800 = 20024,
  kCmdZoomIn = 20025,
  kCmdZoomOut = 20026,
  kCmdZoomPrintSize = 20027,
  kCmdFreeze = 20033,
  kCmdCancel = 20052,
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

}  // namespace vt
