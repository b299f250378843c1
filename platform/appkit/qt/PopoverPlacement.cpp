#include "platform/appkit/qt/PopoverPlacement.h"

#include <algorithm>

namespace appkit {

namespace {

// Where to start a span of `length` centred on [anchorStart, anchorEnd), kept within
// [areaStart, areaEnd) as far as it fits; a span longer than the area starts at its start.
int centredWithin(int anchorStart, int anchorEnd, int length, int areaStart, int areaEnd) {
    const int centred = anchorStart + (anchorEnd - anchorStart - length) / 2;
    return std::max(areaStart, std::min(centred, areaEnd - length));
}

// Where to start a span of `length` beside [anchorStart, anchorEnd): after it when
// preferAfter and it fits there, else before it when it fits there, else on the side
// with more room; kept within the area as far as it fits.
int beside(int anchorStart, int anchorEnd, int length, int areaStart, int areaEnd, bool preferAfter) {
    const int roomAfter = areaEnd - anchorEnd - kPopoverGap;
    const int roomBefore = anchorStart - kPopoverGap - areaStart;
    bool isAfter = preferAfter;
    if (length > (preferAfter ? roomAfter : roomBefore)) {
        const bool fitsOtherSide = length <= (preferAfter ? roomBefore : roomAfter);
        isAfter = fitsOtherSide ? !preferAfter : roomAfter >= roomBefore;
    }
    const int start = isAfter ? anchorEnd + kPopoverGap : anchorStart - kPopoverGap - length;
    return std::max(areaStart, std::min(start, areaEnd - length));
}

}  // namespace

QPoint popoverOrigin(const QRect& anchor, QSize popoverSize, const QRect& screen, RectEdge preferredEdge) {
    const int anchorLeft = anchor.x();
    const int anchorRight = anchor.x() + anchor.width();
    const int anchorTop = anchor.y();
    const int anchorBottom = anchor.y() + anchor.height();
    const int screenRight = screen.x() + screen.width();
    const int screenBottom = screen.y() + screen.height();
    switch (preferredEdge) {
        case RectEdge::minY:
        case RectEdge::maxY:
            return {centredWithin(anchorLeft, anchorRight, popoverSize.width(), screen.x(), screenRight),
                    beside(anchorTop, anchorBottom, popoverSize.height(), screen.y(), screenBottom,
                           preferredEdge == RectEdge::minY)};
        case RectEdge::minX:
        case RectEdge::maxX:
            return {beside(anchorLeft, anchorRight, popoverSize.width(), screen.x(), screenRight,
                           preferredEdge == RectEdge::maxX),
                    centredWithin(anchorTop, anchorBottom, popoverSize.height(), screen.y(), screenBottom)};
    }
    return screen.topLeft();
}

}  // namespace appkit
