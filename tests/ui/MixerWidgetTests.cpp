// The mixer's widgets on Qt's offscreen platform, driven by mouse and key events, over the
// app state controller on fakes in virtual time; the status item and its consent question.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <functional>

#include "platform/appkit/Application.h"
#include "platform/appkit/qt/BundleResources.h"
#include "platform/appkit/qt/QtEventLoop.h"
#include "platform/appkit/qt/StatusBar.h"
#include "tests/ui/MixerTestWorld.h"
#include "ui/widgets/ElidedLabel.h"
#include "ui/widgets/MenuPicker.h"
#include "ui/widgets/MixerAppRowWidget.h"
#include "ui/widgets/MixerPopoverWidget.h"
#include "ui/widgets/SettingsAreaWidget.h"
#include "ui/widgets/StatusItemController.h"
#include "ui/widgets/VolumeSlider.h"

namespace tonvale::testing {
namespace {

PersistedStateV1 documentWithConsent(bool hasConsent) {
    PersistedStateV1 document = PersistedStateV1::newDocument();
    document.preferences.hasCompletedLaunchAtLoginConsent = hasConsent;
    return document;
}

QPoint sliderHandle(const QSlider& slider) {
    QStyleOptionSlider option;
    option.initFrom(&slider);
    option.orientation = slider.orientation();
    option.minimum = slider.minimum();
    option.maximum = slider.maximum();
    option.sliderPosition = slider.sliderPosition();
    option.sliderValue = slider.value();
    return slider.style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, &slider).center();
}

QAbstractButton* alertButton(const char* title) {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    for (QAbstractButton* button : box ? box->buttons() : QList<QAbstractButton*>{}) {
        if (button->text() == QLatin1String(title)) {
            return button;
        }
    }
    return nullptr;
}

class MixerWidgetTest : public ::testing::Test {
protected:
    MixerWidgetTest() {
        appkit::setResourcesDirectory(std::filesystem::path(TONVALE_BUNDLE_RESOURCES));
        appkit::StatusBar::systemStatusBar().setSystemTrayPresenceForTesting(true);
    }
    ~MixerWidgetTest() override {
        appkit::StatusBar::systemStatusBar().setSystemTrayPresenceForTesting(std::nullopt);
        appkit::setResourcesDirectory(std::nullopt);
    }
};

class MixerPopoverWidgetTest : public MixerWidgetTest {
protected:
    MixerPopoverWidgetTest() {
        popover.show();
        world.play({{kMusic, true}});
    }

    MixerTestWorld world;
    MixerPopoverWidget popover{world.controller};
};

TEST_F(MixerPopoverWidgetTest, RowButtonsAndPickers_CallTheControllerAndTheRowShowsItsAnswer) {
    MixerAppRowWidget* row = popover.rowWidget(kMusic);
    ASSERT_NE(row, nullptr);
    QTest::mouseClick(&row->muteButton(), Qt::LeftButton);
    QTest::mouseClick(&row->pinButton(), Qt::LeftButton);
    QTest::keyClick(&row->outputPicker(), Qt::Key_Down);
    EXPECT_TRUE(world.stored(kMusic).muted);
    EXPECT_EQ(world.stored(kMusic).output, OutputPreference::device(kSpeakers, kSpeakers));
    EXPECT_TRUE(world.controller->persistedState().favoriteBundleIDs.contains(kMusic));
    EXPECT_EQ(world.store->saves.size(), 3U);

    world.settle();
    EXPECT_EQ(row->muteButton().toolTip().toStdString(), "Unmute");
    EXPECT_EQ(row->outputPicker().currentText().toStdString(), "speakers \u00B7 Built-in");
    EXPECT_EQ(row->routeStatus().fullText().toStdString(), "Active");

    QTest::keyClick(&popover.inputPicker(), Qt::Key_Down);
    EXPECT_EQ(world.inputSelections, std::vector<AudioObjectID>{kBluetoothID});
    world.settle();
    EXPECT_FALSE(popover.bluetoothWarning().isHidden());
    EXPECT_EQ(popover.bannerText().text().toStdString(), "Default input changed.");
    world.controller->setLastError("Saving failed.");
    world.settle();
    EXPECT_EQ(popover.bannerText().text().toStdString(), "Saving failed.") << "an error hides the notice";
    QTest::mouseClick(&popover.closeBannerButton(), Qt::LeftButton);
    world.settle();
    EXPECT_TRUE(popover.banner().isHidden()) << "closing clears both";
}

TEST_F(MixerPopoverWidgetTest, SliderDrag_KeepsItsRowThroughEveryChangeAndSavesOnceWhenReleased) {
    MixerAppRowWidget* row = popover.rowWidget(kMusic);
    ASSERT_NE(row, nullptr);
    QSlider& slider = row->slider();
    const QPoint start = sliderHandle(slider);
    const std::size_t saves = world.store->saves.size();
    const int redraws = popover.redrawCount();
    world.controller->setLastError("Saving failed.");
    world.controller->setNoticeMessage("Default input changed.");
    world.controller->setLoginItemStatus(LoginItemStatus::enabled());
    world.settle();
    EXPECT_EQ(popover.redrawCount(), redraws + 1) << "one redraw for all the changes of a main-queue turn";

    QTest::mousePress(&slider, Qt::LeftButton, {}, start);
    for (int step = 1; step <= 4; ++step) {
        QTest::mouseMove(&slider, start - QPoint(step * slider.width() / 8, 0));
        const int dragged = slider.value();
        EXPECT_EQ(world.stored(kMusic).volume, static_cast<float>(dragged) / VolumeSlider::kSteps);
        // Between the moves the controller publishes the drag's own change, another volume
        // for the same app, and other apps coming and going.
        world.controller->setConfiguration({0.9F}, {kMusic, kMusic}, false);
        world.play({{kMusic, true}, {kChat, step % 2 == 0}});
        ASSERT_EQ(popover.rowWidget(kMusic), row) << "step " << step;
        EXPECT_TRUE(slider.isSliderDown());
        EXPECT_EQ(slider.value(), dragged) << "the slider stays under the pointer";
    }
    EXPECT_LT(slider.value(), 600);
    EXPECT_EQ(world.store->saves.size(), saves) << "nothing is saved while the drag goes on";

    QTest::mouseRelease(&slider, Qt::LeftButton, {}, start - QPoint(slider.width() / 2, 0));
    world.time->advance(1.0);
    EXPECT_EQ(world.store->saves.size(), saves + 1);
    EXPECT_EQ(world.store->saves.back().appProfiles.at(kMusic).defaultConfiguration.volume,
              world.stored(kMusic).volume);
}

TEST_F(MixerWidgetTest, StatusItem_ShowsWhatCameWhileClosedOnceAndRereadsTheLoginItemAtEveryOpening) {
    MixerTestWorld world(documentWithConsent(true));
    const auto statusItem = StatusItemController::create(world.controller);
    QSystemTrayIcon& tray = statusItem->statusItem().button()->trayIcon();
    world.controller->setLastError("Settings could not be read.");
    world.loginItems->currentStatus = LoginItemStatus::requiresApproval();

    emit tray.activated(QSystemTrayIcon::Trigger);
    ASSERT_NE(statusItem->popover(), nullptr);
    EXPECT_TRUE(statusItem->popover()->isShown());
    world.settle();
    auto& content = static_cast<MixerPopoverWidget&>(*statusItem->popover()->contentWidget());
    EXPECT_EQ(content.bannerText().text().toStdString(), "Settings could not be read.")
        << "an error raised while the popover was closed is seen at the next opening";
    QTest::mouseClick(&content.settings().disclosureButton(), Qt::LeftButton);
    EXPECT_FALSE(content.settings().loginItemLine().isHidden());
    QTest::mouseClick(&content.settings().openLoginItemsButton(), Qt::LeftButton);
    EXPECT_EQ(world.loginItems->settingsOpenings, 1);

    emit tray.activated(QSystemTrayIcon::Context);
    EXPECT_FALSE(statusItem->popover()->isShown()) << "a right click closes it too";
    world.loginItems->currentStatus = LoginItemStatus::enabled();
    emit tray.activated(QSystemTrayIcon::Context);
    world.settle();
    EXPECT_TRUE(content.banner().isHidden()) << "a banner once shown is not shown again";
    EXPECT_TRUE(content.settings().loginItemLine().isHidden()) << "the status as of this opening";
    statusItem->popover()->performClose();
}

// The question, asked on the main-queue turn after the status item is made, and its answer.
TEST_F(MixerWidgetTest, ConsentQuestion_AnsweredEachWayOrNotAskedOrIgnoredWhenConsentCameMeanwhile) {
    struct Case {
        const char* name;
        bool hasConsent;
        std::function<void(AppStateController&)> answer;  // none: the question must not come
        bool launchAtLogin, hasConsentAfter;
    };
    const auto click = [](const char* title) { return [title](AppStateController&) { alertButton(title)->click(); }; };
    for (const Case& c : std::vector<Case>{{"Enable", false, click("Enable"), true, true},
                                           {"Not Now", false, click("Not Now"), false, true},
                                           {"consent recorded", true, nullptr, false, true},
                                           {"consent given meanwhile", false,
                                            [](AppStateController& controller) {
                                                controller.setLaunchAtLogin(true);
                                                alertButton("Not Now")->click();
                                            },
                                            true, true}}) {
        SCOPED_TRACE(c.name);
        MixerTestWorld world(documentWithConsent(c.hasConsent));
        const auto statusItem = StatusItemController::create(world.controller);
        bool wasAsked = false;
        QTimer::singleShot(0, [&] {
            wasAsked = QApplication::activeModalWidget() != nullptr;
            if (wasAsked && c.answer) {
                EXPECT_NE(alertButton("Enable"), nullptr);
                c.answer(*world.controller);
            }
        });
        EXPECT_FALSE(wasAsked) << "not while the status item is made";
        world.settle();
        QApplication::processEvents();
        EXPECT_EQ(wasAsked, c.answer != nullptr);
        const Preferences& preferences = world.controller->persistedState().preferences;
        EXPECT_EQ(preferences.launchAtLogin, c.launchAtLogin);
        EXPECT_EQ(preferences.hasCompletedLaunchAtLoginConsent, c.hasConsentAfter);
    }
}

// Quitting while the question is open records no answer, so it is asked again at the next launch.
TEST_F(MixerWidgetTest, ConsentQuestion_EndedByTerminationRecordsNothing) {
    MixerTestWorld world(documentWithConsent(false), false);
    struct Delegate final : appkit::ApplicationDelegate {
        Delegate(MixerTestWorld& model, appkit::Application& app) : world(model), application(app) {}
        void applicationDidFinishLaunching() override {
            statusItem = StatusItemController::create(world.controller);
            dispatch::DispatchQueue::main()->async([this] {
                wasAsked = QApplication::activeModalWidget() != nullptr;
                application.terminate(0);
            });
        }
        void applicationWillTerminate() override { world.controller->stop(); }

        MixerTestWorld& world;
        appkit::Application& application;
        std::shared_ptr<StatusItemController> statusItem;
        bool wasAsked = false;
    };
    appkit::Application application;
    appkit::QtEventLoop loop;
    Delegate delegate(world, application);
    application.setEventLoop(&loop);
    application.setDelegate(&delegate);

    EXPECT_EQ(application.run(), 0);
    EXPECT_TRUE(delegate.wasAsked);
    ASSERT_FALSE(world.store->saves.empty());
    EXPECT_FALSE(world.store->saves.back().preferences.hasCompletedLaunchAtLoginConsent);
}

}  // namespace
}  // namespace tonvale::testing
