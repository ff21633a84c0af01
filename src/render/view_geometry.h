#pragma once
#include <cstdint>
#include <optional>

#include "render/view_window.h"

namespace vt {

class ImageBuffer;

// Quarter-octave zoom steps: four steps in double the zoom, and a step in
// followed by a step out returns to the start up to rounding.
inline constexpr double kZoomStepIn = 1.189207115002721;     // 2^(1/4)
inline constexpr double kZoomStepOut = 0.8408964152537146;   // 2^(-1/4)
// A zoomed image estimated at this many bytes or more shows the wait cursor
// while it is made.
inline constexpr uint64_t kBusyZoomBytes = 0x8000000;  // 128 MiB
// No zoom may make the image narrower or lower than this.
inline constexpr int64_t kMinZoomedSide = 2;

// The zoom commands of the viewer.
enum class ZoomCommand : uint32_t {
  kFitImageToWindow = 20011,
  kFitWindowToImage = 20012,
  kRestoreOriginalSize = 20013,
  kTrimImageToWindow = 20014,
  kZoom12 = 20016,  // named 12 %, exactly 1/8
  kZoom25 = 20017,
  kZoom50 = 20018,
  kZoom75 = 20019,
  kZoom100 = 20020,
  kZoom150 = 20021,
  kZoom200 = 20022,
  kZoom400 = 20023,
  kZoom800 = 20024,
  kZoomIn = 20025,
  kZoomOut = 20026,
  kZoomPrintSize = 20027,
};

// The area a window of this state is laid out in: the monitor's work area,
// or the whole monitor when the window is full screen or topmost.
ViewRect LayoutArea(const ViewWindow& window);
// The part of the layout area the client may take: a window that wears a
// frame (also one the pointer brought up) keeps room for it.
ViewRect ClientRoom(const ViewWindow& window);

// Zooms to z keeping the image point at the client centre in the centre, and
// sizes the window around it. Refused silently when the image would become
// smaller than 2 pixels in a direction; a zoom that cannot be rendered falls
// back to the previous zoom.
void SetZoom(ViewWindow& window, double z);

// Zooms so that the image fits inside (fill: covers) size, or the client area
// without size. With allowResize the window then fits the image; otherwise a
// given position and size place the window.
void FitImageToWindow(ViewWindow& window, bool allowResize, bool fill,
                      std::optional<ViewPoint> position = std::nullopt,
                      std::optional<ViewSize> size = std::nullopt);

// Sizes the client area to the shown image within the layout area, pulling a
// window that lies wholly outside it back in; an image too large for the area
// is fitted into it when automatic fitting is on.
void FitWindowToImage(ViewWindow& window, bool centreOnClient);

// Zoom 1.0, scroll to the top-left corner, window fitted to the image.
void RestoreOriginalSize(ViewWindow& window);

// Turns the visible part of a partly visible image into the crop.
void TrimImageToWindow(ViewWindow& window);

// The zoom that shows image at its printed size on a monitor of monitorDpi:
// monitor dpi over the image's horizontal resolution; nothing when the image
// has no usable resolution.
std::optional<double> PrintSizeZoom(ImageBuffer& image, uint32_t monitorDpi);
void ZoomToPrintSize(ViewWindow& window);

// The fixed factor of a preset zoom command.
std::optional<double> PresetZoom(ZoomCommand command);
// Runs one of the zoom commands; false for any other number.
bool RunZoomCommand(ViewWindow& window, uint32_t command);

}  // namespace vt
