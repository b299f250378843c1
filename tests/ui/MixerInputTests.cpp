// The mixer as a user handles it, on Qt's offscreen platform: a mouse wheel over the list, the
// keyboard, a pointer resting on rows while the controller reorders them, long names, a link
// the desktop cannot open, and less height than the popover asks for.
#include <QApplication>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpontaneKeyEvent>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/appkit/Workspace.h"
#include "tests/ui/MixerTestWorld.h"
#include "ui/widgets/ElidedLabel.h"
#include "ui/widgets/MenuPicker.h"
#include "ui/widgets/MixerAppRowWidget.h"
#include "ui/widgets/MixerPopoverWidget.h"
#include "ui/widgets/SettingsAreaWidget.h"
#include "ui/widgets/VolumeSlider.h"

namespace tonvale::testing {
namespace {

using Names = std::vector<std::string>;

QPoint middleOf(const QWidget& widget) { return widget.mapTo(widget.window(), widget.rect().center()); }

// Notches of a mouse wheel over the widget, delivered as the window system's are (an ignored
// turn goes on to the widget's parents); negative turns down.
void turnWheel(QWidget& widget, int notches) {
    const QPointF middle = widget.rect().center();
    QWheelEvent wheel(middle, widget.mapToGlobal(middle), {}, {0, notches * VolumeSlider::kWheelNotch}, Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QSpontaneKeyEvent::setSpontaneous(&wheel);
    QApplication::instance()->notify(&widget, &wheel);
}

class MixerInputTest : public ::testing::Test {
protected:
    MixerInputTest() { popover.show(); }

    // Plays the apps and lays the popover out at the height it asks for.
    void play(std::initializer_list<std::pair<const char*, bool>> apps) {
        world.play(apps);
        popover.resize(popover.sizeHint());
        QApplication::processEvents();
    }
    [[nodiscard]] Names listed() const {
        Names names;
        for (const MixerAppRowWidget* row : popover.listedRows()) {
            names.push_back(row->name().fullText().toStdString());
        }
        return names;
    }
    [[nodiscard]] MixerAppRowWidget& row(const char* app) const { return *popover.rowWidget(app); }
    void movePointer(QPoint to) const { QTest::mouseMove(popover.windowHandle(), to); }
    void click(QPoint at) const { QTest::mouseClick(popover.windowHandle(), Qt::LeftButton, {}, at); }

    MixerTestWorld world;
    MixerPopoverWidget popover{world.controller};
};

TEST_F(MixerInputTest, WheelOverTheList_ScrollsItAndSetsNothingUntilAControlHasFocus) {
    play({{"a", true}, {"b", true}, {"c", true}, {"d", true}, {"e", true}});
    const std::size_t saves = world.store->saves.size();
    for (QWidget* control : {static_cast<QWidget*>(&row("a").slider()), static_cast<QWidget*>(&row("a").outputPicker()),
                             static_cast<QWidget*>(&popover.inputPicker())}) {
        turnWheel(*control, -1);
    }
    EXPECT_GT(popover.list().verticalScrollBar()->value(), 0) << "the list scrolls";
    EXPECT_TRUE(world.controller->persistedState().appProfiles.empty());
    EXPECT_TRUE(world.inputSelections.empty());

    // Focused (clicked or tabbed to), a slider moves 1% a notch or an arrow, 10% a page.
    QApplication::setActiveWindow(&popover);
    VolumeSlider& slider = row("b").slider();
    slider.setFocus();
    turnWheel(slider, -2);
    EXPECT_FLOAT_EQ(world.stored("b").volume, 0.98F);
    QTest::keyClick(&slider, Qt::Key_Left);
    QTest::keyClick(&slider, Qt::Key_PageDown);
    EXPECT_FLOAT_EQ(world.stored("b").volume, 0.87F);
    EXPECT_EQ(world.store->saves.size(), saves + 3) << "each step is saved";
}

TEST_F(MixerInputTest, Tab_GoesFromTheInputThroughTheRowsInTheirOrderToTheSettings) {
    play({{"a", true}, {"b", true}, {"c", true}});
    // Whose row each Tab stop between the input picker and the settings is on.
    const auto tabStops = [this] {
        Names owners;
        const QWidget* settings = &popover.settings().disclosureButton();
        for (QWidget* stop = popover.inputPicker().nextInFocusChain(); stop != settings;
             stop = stop->nextInFocusChain()) {
            const auto* owner = dynamic_cast<MixerAppRowWidget*>(stop->parentWidget());
            if ((stop->focusPolicy() & Qt::TabFocus) != 0 && stop->isVisibleTo(&popover)) {
                owners.push_back(owner ? owner->name().fullText().toStdString() : "not a row");
            }
        }
        return owners;
    };
    EXPECT_EQ(tabStops(), (Names{"a", "a", "a", "a", "b", "b", "b", "b", "c", "c", "c", "c"}));
    QTest::mouseClick(&row("c").pinButton(), Qt::LeftButton);
    world.settle();
    EXPECT_EQ(tabStops(), (Names{"c", "c", "c", "c", "a", "a", "a", "a", "b", "b", "b", "b"})) << "the new order";
}

TEST_F(MixerInputTest, RowsUnderThePointer_StayPutUntilItLeavesTheListOrNothingIsHeld) {
    play({{"a", true}, {"b", true}, {"c", true}});
    const QPoint outside = middleOf(popover.inputPicker());
    const QPoint pin = middleOf(row("c").pinButton());
    movePointer(pin);
    click(pin);
    world.settle();
    EXPECT_EQ(listed(), (Names{"a", "b", "c"})) << "pinned, not moved";
    click(pin);
    world.settle();
    EXPECT_TRUE(world.controller->persistedState().favoriteBundleIDs.empty()) << "the second click unpins the same app";
    click(pin);
    world.settle();
    movePointer(outside);
    EXPECT_EQ(listed(), (Names{"c", "a", "b"}));

    // A drag makes b customised; its row stays while the slider is held, even outside the list.
    VolumeSlider& slider = row("b").slider();
    const QPoint handle = middleOf(slider) + QPoint(slider.width() / 2 - 8, 0);
    movePointer(handle);
    QTest::mousePress(popover.windowHandle(), Qt::LeftButton, {}, handle);
    QTest::mouseMove(popover.windowHandle(), handle - QPoint(slider.width() / 2, 0));
    QTest::mouseMove(popover.windowHandle(), outside);
    world.settle();
    EXPECT_LT(world.stored("b").volume, 0.9F);
    EXPECT_EQ(listed(), (Names{"c", "a", "b"})) << "held";
    QTest::mouseRelease(popover.windowHandle(), Qt::LeftButton, {}, outside);
    EXPECT_EQ(listed(), (Names{"c", "b", "a"}));

    // An app that stopped playing outlives its time on the list while the pointer rests on it.
    movePointer(middleOf(row("a").slider()));
    world.play({{"b", true}, {"c", true}});
    world.time->advance(31.0);
    EXPECT_EQ(listed(), (Names{"c", "b", "a"}));
    popover.hide();
    popover.show();
    EXPECT_EQ(listed(), (Names{"c", "b"})) << "gone at the next opening";
}

TEST_F(MixerInputTest, LongTextsAndUnopenableLinks_AreShownWhole) {
    const char* longName = "com.example.an-extraordinarily-long-application-name-for-testing";
    play({{longName, true}});
    world.controller->setConfiguration({1.0F, false, OutputPreference::device("gone", "An Extraordinarily Long Dock")},
                                       {longName, longName}, true);
    world.settle();
    EXPECT_TRUE(row(longName).name().text().endsWith(QStringLiteral("\u2026")));
    EXPECT_EQ(row(longName).name().toolTip().toStdString(), longName);
    const MenuPicker& output = row(longName).outputPicker();
    EXPECT_TRUE(output.shownText().endsWith(QStringLiteral("\u2026 (Unavailable)")));

    struct RefusingOpener final : appkit::URLOpening {
        bool open(const std::string& /*url*/) override { return false; }
    };
    appkit::Workspace::sharedWorkspace().setURLOpener(std::make_shared<RefusingOpener>());
    QTest::mouseClick(popover.button("Get help"), Qt::LeftButton);
    appkit::Workspace::sharedWorkspace().setURLOpener(nullptr);
    world.settle();
    EXPECT_EQ(popover.bannerText().text().toStdString(),
              "The desktop could not open " + ProductLinks::standard().helpURL);
}

TEST_F(MixerInputTest, LessHeightThanAsked_TheListGivesWayThenTheRestScrollsAndTheLinksStayInView) {
    play({{"a", true}, {"b", true}, {"c", true}, {"d", true}, {"e", true}, {"f", true}});
    QTest::mouseClick(&popover.settings().disclosureButton(), Qt::LeftButton);
    const int asked = popover.sizeHint().height();
    for (const int given : {asked - 100, asked - 400}) {
        SCOPED_TRACE(given);
        popover.resize(MixerPopoverView::kWidth, given);
        QApplication::processEvents();
        const bool isListShortest = given == asked - 400;
        EXPECT_EQ(popover.list().height(), isListShortest ? MixerPopoverWidget::kListShortestHeight
                                                          : MixerPopoverWidget::kListMaximumHeight - 100);
        EXPECT_EQ(popover.body().verticalScrollBar()->maximum() > 0, isListShortest);
        EXPECT_LE(popover.linksRow().mapTo(&popover, QPoint(0, popover.linksRow().height())).y(), given);
        EXPECT_EQ(popover.sizeHint().height(), asked) << "it still asks for all of it";
    }
}

}  // namespace
}  // namespace tonvale::testing
