// The lifecycle monitor: sleep, wake and restarts in order, and the restart listener's
// registration again after a burst of restarts, never after a stop.
#include "observe/SystemLifecycleMonitor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "tests/observe/MonitorTestWorld.h"

namespace tonvale {
namespace {

using Event = SystemLifecycleEvent;

// Starting produces no event by itself.
class SystemLifecycleMonitorTest : public testing::MonitorFixture<SystemLifecycleMonitor, SystemLifecycleEvent, 0> {
protected:
    std::vector<Event> events() const {
        std::vector<Event> events;
        for (const auto& delivery : deliveries_.received) {
            EXPECT_TRUE(delivery.isOnDeliveryQueue);
            events.push_back(delivery.value);
        }
        return events;
    }
    // The restart listener's registrations and removals since the last clear.
    std::vector<testing::ListenerCall> restartListenerCalls() const {
        return world_.recorder->calls(kAudioHardwarePropertyServiceRestarted);
    }
};

TEST_F(SystemLifecycleMonitorTest, SleepWakeAndTwoRestarts_ArriveInOrderWithOneReregistration250msAfterTheLast) {
    startAndSettle();
    world_.recorder->clear();
    world_.server->sleep();
    world_.server->wake();
    world_.server->restartAudioService();
    time_.advance(0.1);
    world_.server->restartAudioService();
    const dispatch::Seconds second = time_.now();
    time_.advance(1.0);

    EXPECT_EQ(events(), (std::vector<Event>{Event::willSleep, Event::didWake, Event::audioServiceRestarted,
                                            Event::audioServiceRestarted}));
    const auto calls = restartListenerCalls();
    ASSERT_EQ(calls.size(), 2u) << "one removal and one registration";
    EXPECT_FALSE(calls[0].isAddition);
    EXPECT_TRUE(calls[1].isAddition);
    EXPECT_NEAR(calls[1].time - second, SystemLifecycleMonitor::kReinstallDelay, 0.002);
    world_.server->restartAudioService();
    time_.advance(0.01);
    EXPECT_EQ(deliveries_.count(), 5u) << "the listener registered again still hears restarts";
}

TEST_F(SystemLifecycleMonitorTest, ReregistrationDueAfterStop_DoesNothing) {
    startAndSettle();
    world_.server->restartAudioService();
    time_.advance(0.1);
    world_.recorder->clear();
    monitor_->stop();
    time_.advance(1.0);

    const auto calls = restartListenerCalls();
    ASSERT_EQ(calls.size(), 1u) << "only the stop's removal";
    EXPECT_FALSE(calls[0].isAddition);
    EXPECT_EQ(world_.held(), 0u);
}

}  // namespace
}  // namespace tonvale
