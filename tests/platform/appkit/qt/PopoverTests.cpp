// Where a popover goes beside its tray icon; the real-desktop tray test shows the popover
// itself on a real X server.
#include "platform/appkit/qt/PopoverPlacement.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace appkit {
namespace {

struct PlacementCase {
    std::string name;
    QRect anchor;
    QSize size;
    RectEdge edge;
    QRect expected;
};

TEST(PopoverPlacementTest, PopoverFrame_FollowsTheTrayFitsTheRoomAndNeverCoversTheAnchor) {
    const QRect screen(0, 0, 1920, 1080);
    const QSize popover(440, 600);
    const int gap = kPopoverGap;
    const std::vector<PlacementCase> cases = {
        {"tray at the top: below, centred", QRect(900, 0, 24, 24), popover, RectEdge::minY, {692, 24 + gap, 440, 600}},
        {"tray at the bottom: above",
         QRect(900, 1056, 24, 24),
         popover,
         RectEdge::minY,
         {692, 1056 - gap - 600, 440, 600}},
        {"right screen edge", QRect(1890, 0, 24, 24), popover, RectEdge::minY, {1920 - 440, 24 + gap, 440, 600}},
        {"above preferred, no room above", QRect(900, 0, 24, 24), popover, RectEdge::maxY, {692, 24 + gap, 440, 600}},
        {"taller than either side: the side with more room, cut to it",
         QRect(900, 300, 24, 24),
         QSize(440, 900),
         RectEdge::minY,
         {692, 324 + gap, 440, 1080 - 324 - gap}},
        {"taller than the room above a bottom tray: cut, still above it",
         QRect(900, 1056, 24, 24),
         QSize(440, 1200),
         RectEdge::minY,
         {692, 0, 440, 1056 - gap}},
        {"tray on a left panel: beside it", QRect(0, 500, 24, 24), popover, RectEdge::maxX, {24 + gap, 212, 440, 600}},
        {"second screen", QRect(3100, 0, 24, 24), popover, RectEdge::minY, {3200 - 440, 24 + gap, 440, 600}},
    };
    for (const PlacementCase& placement : cases) {
        SCOPED_TRACE(placement.name);
        const QRect area = placement.name == "second screen" ? QRect(1920, 0, 1280, 1024) : screen;
        EXPECT_EQ(popoverFrame(placement.anchor, placement.size, area, placement.edge), placement.expected);
    }
}

}  // namespace
}  // namespace appkit
