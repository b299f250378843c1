#include "platform/appkit/qt/Popover.h"

#include <QLabel>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/appkit/qt/StatusBar.h"

namespace appkit {
namespace {

struct PlacementCase {
    std::string name;
    QRect anchor;
    QSize size;
    RectEdge edge;
    QPoint expected;
};

TEST(PopoverPlacementTest, PopoverOrigin_FollowsTheTrayAndStaysOnScreen) {
    const QRect screen(0, 0, 1920, 1080);
    const QSize popover(440, 600);
    const int gap = kPopoverGap;
    const std::vector<PlacementCase> cases = {
        {"tray at the top: below, centred", QRect(900, 0, 24, 24), popover, RectEdge::minY, {692, 24 + gap}},
        {"tray at the bottom: above", QRect(900, 1056, 24, 24), popover, RectEdge::minY, {692, 1056 - gap - 600}},
        {"right screen edge", QRect(1890, 0, 24, 24), popover, RectEdge::minY, {1920 - 440, 24 + gap}},
        {"left screen edge", QRect(2, 1056, 24, 24), popover, RectEdge::minY, {0, 1056 - gap - 600}},
        {"above preferred, room above", QRect(900, 700, 24, 24), popover, RectEdge::maxY, {692, 700 - gap - 600}},
        {"above preferred, no room above", QRect(900, 0, 24, 24), popover, RectEdge::maxY, {692, 24 + gap}},
        {"taller than either side: more room, kept on screen",
         QRect(900, 300, 24, 24),
         QSize(440, 900),
         RectEdge::minY,
         {692, 180}},
        {"taller than the screen: top of the screen",
         QRect(900, 0, 24, 24),
         QSize(440, 1200),
         RectEdge::minY,
         {692, 0}},
        {"tray on a left panel: beside it", QRect(0, 500, 24, 24), popover, RectEdge::maxX, {24 + gap, 212}},
        {"second screen", QRect(3100, 0, 24, 24), popover, RectEdge::minY, {3200 - 440, 24 + gap}},
    };
    for (const PlacementCase& placement : cases) {
        SCOPED_TRACE(placement.name);
        const QRect area = placement.name == "second screen" ? QRect(1920, 0, 1280, 1024) : screen;
        EXPECT_EQ(popoverOrigin(placement.anchor, placement.size, area, placement.edge), placement.expected);
    }
}

TEST(PopoverTest, TransientPopover_IsAPopupAsWideAsItsContentSizeAndClosesOnRequest) {
    StatusBar::systemStatusBar().setSystemTrayPresenceForTesting(true);
    const auto item = StatusBar::systemStatusBar().statusItemWithLength(NSSquareStatusItemLength);
    StatusBar::systemStatusBar().setSystemTrayPresenceForTesting(std::nullopt);
    Popover popover;
    popover.setBehavior(PopoverBehavior::transient);
    popover.setContentSize(QSize(440, 620));
    auto content = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(content.get());
    layout->addWidget(new QLabel(QStringLiteral("Per-app volume and output")));
    popover.setContentWidget(std::move(content));

    popover.showRelativeToRect(item->button()->bounds(), *item->button(), RectEdge::minY);

    EXPECT_TRUE(popover.isShown());
    EXPECT_EQ(popover.window().windowType(), Qt::Popup) << "a popup closes on a click outside";
    EXPECT_TRUE(popover.window().testAttribute(Qt::WA_NoMouseReplay));
    EXPECT_EQ(popover.contentWidget()->width(), 440);
    EXPECT_LT(popover.window().height(), 620) << "the content's own height wins";

    popover.performClose();
    EXPECT_FALSE(popover.isShown());
}

}  // namespace
}  // namespace appkit
