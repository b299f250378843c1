// The application model with real monitors, reconciler and route controllers on the
// simulated desk, in virtual time: what the devices play across interruptions and failures.
#include <functional>

#include "tests/support/ApplicationModelWorld.h"

namespace tonvale::testing {
namespace {

constexpr double kTolerance = 0.01;
const AppIdentity kMusicApp = ApplicationModelWorld::music();

class AppStateControllerEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        world.start();
        controller.setConfiguration({0.5F}, kMusicApp, true);
        world.advance(0.1);
        ASSERT_EQ(world.musicPhase(), RouteLifecyclePhase::active);
    }
    void TearDown() override { world.stop(); }

    ApplicationModelWorld world;
    AppStateController& controller = *world.controller;
};

// Suspended, the app plays normally; 0.5 s after the wake or the restart its route is back.
TEST_F(AppStateControllerEndToEndTest, SleepAndServiceRestart_StopTheRouteAndBringItBack) {
    const auto sleepThenWake = [this] {
        world.server->sleep();
        world.advance(1.0);
        world.expectNothingOfOursLeft();
        world.server->wake();
    };
    const std::vector<std::pair<const char*, std::function<void()>>> interruptions{
        {"sleep, then wake", sleepThenWake},
        {"audio service restart", [this] { world.server->restartAudioService(); }}};
    for (const auto& [name, interrupt] : interruptions) {
        SCOPED_TRACE(name);
        const int starts = world.engineStarts;
        interrupt();
        const dispatch::Seconds interrupted = dispatch::now();
        world.advance(0.49);
        world.expectNothingOfOursLeft();
        EXPECT_NEAR(world.gainHeard(kSpeakers, interrupted + ApplicationModelWorld::kBufferPeriod, interrupted + 0.48),
                    1.0, kTolerance);
        world.advance(0.02);
        EXPECT_EQ(world.engineStarts, starts + 1);
        EXPECT_NEAR(world.gainHeardOver(kSpeakers), 0.5, kTolerance);
    }
}

// Our own aggregate coming and going is no event: a failed route waits for a real one.
TEST_F(AppStateControllerEndToEndTest, RouteFailingAfterItsAggregateExists_IsRetriedOncePerRealEvent) {
    world.server->injectFailure({sim::Call::createIOProcID, kAudioHardwareUnspecifiedError, 0});
    controller.setConfiguration({0.5F, false, OutputPreference::device(kHeadset, "Headset")}, kMusicApp, true);
    world.advance(5.0);
    EXPECT_EQ(world.engineStarts, 2);
    EXPECT_NEAR(world.gainHeardOver(kSpeakers), 1.0, kTolerance);
    world.server->clearInjectedFailures();
    world.server->setCaptureDenial(sim::CaptureDenial::refuseTap);
    ASSERT_TRUE(world.server->unplugDevice(kAirPlay));
    world.advance(5.0);
    EXPECT_EQ(world.engineStarts, 3);
    EXPECT_TRUE(controller.needsSystemAudioAccess())
        << controller.routeStatuses().at(kMusicApp.bundleID).message.value();
}

}  // namespace
}  // namespace tonvale::testing
