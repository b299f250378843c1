// The status bar item over the tray icon: no button without a tray, clicks filtered by mask, removal.
#include "platform/appkit/qt/StatusBar.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace appkit {
namespace {

class StatusItemTest : public ::testing::Test {
protected:
    ~StatusItemTest() override { StatusBar::systemStatusBar().setSystemTrayPresenceForTesting(std::nullopt); }

    StatusBar& bar_ = StatusBar::systemStatusBar();
};

TEST_F(StatusItemTest, WithoutASystemTray_TheItemHasNoButton) {
    ASSERT_FALSE(bar_.hasSystemTray()) << "the offscreen platform has no tray";
    const auto item = bar_.statusItemWithLength(NSSquareStatusItemLength);
    EXPECT_EQ(item->button(), nullptr);
    EXPECT_EQ(item->length(), NSSquareStatusItemLength);
}

struct ClickCase {
    QSystemTrayIcon::ActivationReason reason;
    EventMask mask;
    int expectedActions;
};

TEST_F(StatusItemTest, Clicks_SendTheActionOnlyForTheMouseButtonsInTheMask) {
    bar_.setSystemTrayPresenceForTesting(true);
    // Left and right clicks with both buttons in the mask are met in the mixer's widget tests.
    constexpr EventMask kLeftAndRight = NSEventMaskLeftMouseUp | NSEventMaskRightMouseUp;
    const std::vector<ClickCase> cases = {
        {QSystemTrayIcon::DoubleClick, kLeftAndRight, 1},
        {QSystemTrayIcon::MiddleClick, kLeftAndRight, 0},
        {QSystemTrayIcon::Trigger, NSEventMaskLeftMouseUp, 1},
        {QSystemTrayIcon::Context, NSEventMaskLeftMouseUp, 0},
    };
    for (const ClickCase& click : cases) {
        SCOPED_TRACE(std::to_string(click.reason) + " mask " + std::to_string(click.mask));
        const auto item = bar_.statusItemWithLength(NSSquareStatusItemLength);
        StatusBarButton* button = item->button();
        ASSERT_NE(button, nullptr);
        std::vector<StatusBarButton*> senders;
        button->setAction([&](StatusBarButton& sender) { senders.push_back(&sender); });
        button->sendActionOn(click.mask);

        emit button->trayIcon().activated(click.reason);

        EXPECT_EQ(senders, std::vector<StatusBarButton*>(click.expectedActions, button));
    }
}

}  // namespace
}  // namespace appkit
