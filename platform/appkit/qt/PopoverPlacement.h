// Where a popover goes next to the rectangle it points at (its anchor): on the
// preferred side when it fits there, else on the opposite side when it fits there,
// else on the side with more room, cut to that room so that it never covers its
// anchor; centred on the anchor along that side and kept inside the screen's usable
// area. So a popover hangs below a tray icon at the top of the screen and stands
// above one at the bottom.
// Thread-safety: a pure function.
#pragma once

#include <QRect>
#include <QSize>

namespace appkit {

// The anchor's edge the popover is shown at. With y growing downwards here, minY is
// the edge below the anchor and maxY the edge above it, as for a status-bar button.
enum class RectEdge {
    minX = 0,
    minY = 1,
    maxX = 2,
    maxY = 3,
};

// Gap in pixels between the anchor and the popover.
inline constexpr int kPopoverGap = 4;

// The popover's frame, in the coordinates of anchor and screen: its size, cut where the
// room on the chosen side is smaller.
[[nodiscard]] QRect popoverFrame(const QRect& anchor, QSize popoverSize, const QRect& screen, RectEdge preferredEdge);

}  // namespace appkit
