// The application model with real monitors, reconciler and route controllers on the
// simulated desk, in virtual time: what the devices play when a route fails. Interruptions
// (sleep, restarts of the audio service) are met in the fault matrix.
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
    world.server->setCaptureDenial(sim::CaptureDenial::none);
    controller.retryRoutes();
    world.advance(0.5);
    EXPECT_NEAR(world.gainHeardOver(kHeadset), 0.5, kTolerance) << "Retry Routes tries again at once";
}

}  // namespace
}  // namespace tonvale::testing
