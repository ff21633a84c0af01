#pragma once
#include "ui/canvas.h"
#include "ui/menu_model.h"

namespace vt {

// Draws a menu picture into box (a square of the icon size) in colour. The
// pictures are drawn from lines and shapes, so they stay sharp at any size.
void DrawMenuIcon(Canvas& canvas, MenuIcon icon, const ViewRect& box, uint32_t colour, uint32_t accent);

// The small arrow of an item that opens a submenu, pointing right, centred in box.
void DrawSubmenuArrow(Canvas& canvas, const ViewRect& box, uint32_t colour);

}  // namespace vt
