// Where a popover goes next to the rectangle it points at (its anchor): on the
// preferred side when it fits there, else on the opposite side when it fits there,
// else on the side with more room; centred on the anchor along that side and kept
// inside the screen's usable area. So a popover hangs below a tray icon at the top
// of the screen and stands above one at the bottom.
// Thread-safety: a pure function.
#pragma once

#include <QPoint>
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

// The popover's top-left corner, in the coordinates of anchor and screen.
[[nodiscard]] QPoint popoverOrigin(const QRect& anchor, QSize popoverSize, const QRect& screen, RectEdge preferredEdge);

}  // namespace appkit
