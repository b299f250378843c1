// The whole application model on the simulated desk in virtual time, driven through the
// mixer's widgets: what the devices then play, and what is saved.
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QTest>

#include "platform/appkit/Application.h"
#include "tests/support/ApplicationModelWorld.h"
#include "ui/widgets/MenuPicker.h"
#include "ui/widgets/MixerAppRowWidget.h"
#include "ui/widgets/MixerPopoverWidget.h"
#include "ui/widgets/SettingsAreaWidget.h"
#include "ui/widgets/VolumeSlider.h"

namespace tonvale::testing {
namespace {

constexpr double kTolerance = 0.01;

// Stops the model at termination, as the application's delegate does.
struct StoppingDelegate final : appkit::ApplicationDelegate {
    explicit StoppingDelegate(AppStateController& model) : controller(model) {}
    void applicationDidFinishLaunching() override {}
    void applicationWillTerminate() override { controller.stop(); }
    AppStateController& controller;
};

// The slider's pixel for a value, along its groove.
int sliderPixel(const QSlider& slider, int value) {
    const int handle = slider.style()->pixelMetric(QStyle::PM_SliderLength, nullptr, &slider);
    return handle / 2 +
           QStyle::sliderPositionFromValue(slider.minimum(), slider.maximum(), value, slider.width() - handle);
}

TEST(MixerEndToEndTest, SliderPickerAndQuit_AreHeardOnTheDevices) {
    ApplicationModelWorld world;
    world.start();
    MixerPopoverWidget popover(world.controller);
    popover.show();
    world.advance(0.1);
    MixerAppRowWidget* row = popover.rowWidget(ApplicationModelWorld::music().bundleID);
    ASSERT_NE(row, nullptr);

    QSlider& slider = row->slider();
    const std::size_t saves = world.store->saves.size();
    const int y = slider.height() / 2;
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(sliderPixel(slider, slider.value()), y));
    for (const int value : {800, 500, 300}) {
        QTest::mouseMove(&slider, QPoint(sliderPixel(slider, value), y));
        world.advance(0.05);
    }
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(sliderPixel(slider, 300), y));
    world.advance(0.2);
    EXPECT_EQ(row->percentage().text().toStdString(), "30%");
    EXPECT_NEAR(world.gainHeardOver(kSpeakers), 0.3, kTolerance);
    EXPECT_EQ(world.store->saves.size(), saves + 1) << "the drag is saved once";

    // Down the picker's entries, from "System Default" to the headset.
    QComboBox& picker = row->outputPicker();
    const int headset = picker.findText(QString::fromUtf8("Headset \u00B7 USB"));
    ASSERT_GT(headset, 0);
    while (picker.currentIndex() < headset) {
        QTest::keyClick(&picker, Qt::Key_Down);
    }
    world.advance(0.2);
    EXPECT_NEAR(world.gainHeardOver(kHeadset), 0.3, kTolerance);
    EXPECT_LT(world.gainHeardOver(kSpeakers), kTolerance);

    appkit::Application application;
    StoppingDelegate delegate(*world.controller);
    application.setDelegate(&delegate);
    QTest::mouseClick(popover.button("Quit"), Qt::LeftButton);
    EXPECT_EQ(application.terminationStatus(), 0);
    world.advance(0.3);
    world.expectNothingOfOursLeft();
    EXPECT_NEAR(world.gainHeardOver(kSpeakers), 1.0, kTolerance) << "the app's own output again";
    world.stop();
}

}  // namespace
}  // namespace tonvale::testing
