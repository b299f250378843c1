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

struct Span {
    int start = 0;
    int length = 0;
};

// A span of `length` beside [anchorStart, anchorEnd): after it when preferAfter and it
// fits there, else before it when it fits there, else on the side with more room and no
// longer than that room; kept within the area as far as it fits.
Span beside(int anchorStart, int anchorEnd, int length, int areaStart, int areaEnd, bool preferAfter) {
    const int roomAfter = areaEnd - anchorEnd - kPopoverGap;
    const int roomBefore = anchorStart - kPopoverGap - areaStart;
    bool isAfter = preferAfter;
    if (length > (preferAfter ? roomAfter : roomBefore)) {
        const bool fitsOtherSide = length <= (preferAfter ? roomBefore : roomAfter);
        isAfter = fitsOtherSide ? !preferAfter : roomAfter >= roomBefore;
    }
    const int fitted = std::clamp(isAfter ? roomAfter : roomBefore, 0, length);
    const int start = isAfter ? anchorEnd + kPopoverGap : anchorStart - kPopoverGap - fitted;
    return {std::max(areaStart, std::min(start, areaEnd - fitted)), fitted};
}

}  // namespace

QRect popoverFrame(const QRect& anchor, QSize popoverSize, const QRect& screen, RectEdge preferredEdge) {
    const int anchorLeft = anchor.x();
    const int anchorRight = anchor.x() + anchor.width();
    const int anchorTop = anchor.y();
    const int anchorBottom = anchor.y() + anchor.height();
    const int screenRight = screen.x() + screen.width();
    const int screenBottom = screen.y() + screen.height();
    switch (preferredEdge) {
        case RectEdge::minY:
        case RectEdge::maxY: {
            const Span vertical = beside(anchorTop, anchorBottom, popoverSize.height(), screen.y(), screenBottom,
                                         preferredEdge == RectEdge::minY);
            const int left = centredWithin(anchorLeft, anchorRight, popoverSize.width(), screen.x(), screenRight);
            return {left, vertical.start, popoverSize.width(), vertical.length};
        }
        case RectEdge::minX:
        case RectEdge::maxX: {
            const Span horizontal = beside(anchorLeft, anchorRight, popoverSize.width(), screen.x(), screenRight,
                                           preferredEdge == RectEdge::maxX);
            const int top = centredWithin(anchorTop, anchorBottom, popoverSize.height(), screen.y(), screenBottom);
            return {horizontal.start, top, horizontal.length, popoverSize.height()};
        }
    }
    return {screen.topLeft(), popoverSize};
}

}  // namespace appkit
