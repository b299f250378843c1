// The lifecycle monitor: sleep, wake and restarts in order, and the restart listener's
// registration again after a burst of restarts, never after a stop.
#include "observe/SystemLifecycleMonitor.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/observe/MonitorTestWorld.h"

namespace tonvale {
namespace {

using Event = SystemLifecycleEvent;

// Starting produces no event by itself.
using SystemLifecycleMonitorTest = testing::MonitorFixture<SystemLifecycleMonitor, SystemLifecycleEvent, 0>;

TEST_F(SystemLifecycleMonitorTest,
       SleepWakeAndRestarts_ArriveInOrderAndTheListenerIsRegisteredOnceAgainButNotAfterAStop) {
    startAndSettle();
    const std::size_t held = world_.held();
    world_.server->sleep();
    world_.server->wake();
    world_.server->restartAudioService();
    time_.advance(0.1);
    world_.server->restartAudioService();
    time_.advance(1.0);
    EXPECT_EQ(world_.held(), held);
    world_.server->restartAudioService();
    time_.advance(0.01);

    std::vector<Event> events;
    for (const auto& delivery : deliveries_.received) {
        EXPECT_TRUE(delivery.isOnDeliveryQueue);
        events.push_back(delivery.value);
    }
    EXPECT_EQ(events, (std::vector<Event>{Event::willSleep, Event::didWake, Event::audioServiceRestarted,
                                          Event::audioServiceRestarted, Event::audioServiceRestarted}))
        << "the listener registered again still hears restarts";

    monitor_->stop();
    time_.advance(1.0);
    EXPECT_EQ(world_.held(), 0u) << "the registration due after the last restart is not made after a stop";
}

}  // namespace
}  // namespace tonvale
