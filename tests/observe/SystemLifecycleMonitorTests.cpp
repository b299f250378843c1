#include "observe/SystemLifecycleMonitor.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "platform/dispatch/Dispatch.h"
#include "tests/observe/MonitorTestWorld.h"

namespace tonvale {
namespace {

using testing::Deliveries;
using testing::ListenerCall;
using testing::MonitorTestWorld;
using Event = SystemLifecycleEvent;

// Starting produces no event by itself.
class SystemLifecycleMonitorTest : public testing::MonitorFixture<SystemLifecycleMonitor, SystemLifecycleEvent, 0> {
protected:
    std::vector<Event> events() const {
        std::vector<Event> events;
        for (const auto& delivery : deliveries_.received) {
            events.push_back(delivery.value);
        }
        return events;
    }

    // The registrations and removals of the restart listener.
    std::vector<ListenerCall> restartListenerCalls() const {
        std::vector<ListenerCall> calls;
        for (const ListenerCall& call : world_.recorder->calls()) {
            if (call.selector == kAudioHardwarePropertyServiceRestarted) {
                calls.push_back(call);
            }
        }
        return calls;
    }
};

TEST_F(SystemLifecycleMonitorTest, SleepAndWake_AreDeliveredInOrderOnTheDeliveryQueue) {
    startAndSettle();
    world_.server->sleep();
    world_.server->wake();
    time_.advance(0.01);

    EXPECT_EQ(events(), (std::vector<Event>{Event::willSleep, Event::didWake}));
    for (const auto& delivery : deliveries_.received) {
        EXPECT_TRUE(delivery.isOnDeliveryQueue);
    }
}

TEST_F(SystemLifecycleMonitorTest, BeforeStartOrAfterStop_NoEventAndNoObserverOrListenerLeft) {
    world_.server->sleep();
    time_.advance(0.01);
    startAndSettle();
    monitor_->stop();
    time_.advance(0.01);
    EXPECT_EQ(world_.server->workspaceObserverCount(), 0u);
    EXPECT_EQ(world_.listenerCount(), 0u);

    world_.server->wake();
    world_.server->restartAudioService();
    time_.advance(1.0);
    EXPECT_TRUE(deliveries_.received.empty());
}

TEST_F(SystemLifecycleMonitorTest, SleepPostedWhileStopIsPending_IsDropped) {
    startAndSettle();
    monitor_->stop();
    world_.server->sleep();
    time_.advance(0.01);

    EXPECT_TRUE(deliveries_.received.empty()) << "the observer still existed, but the event reached the queue after the stop";
}

TEST_F(SystemLifecycleMonitorTest, StartedTwice_RegistersObserversAndListenerOnceAndUsesTheNewerHandler) {
    Deliveries<Event> newer(deliveryQueue_);
    monitor_->start(deliveries_.handler());
    monitor_->start(newer.handler());
    time_.advance(0.01);

    EXPECT_EQ(world_.server->workspaceObserverCount(), 2u);
    EXPECT_EQ(world_.listenerCount(), 1u);
    EXPECT_EQ(restartListenerCalls().size(), 1u);

    world_.server->sleep();
    time_.advance(0.01);
    EXPECT_TRUE(deliveries_.received.empty());
    EXPECT_EQ(newer.count(), 1u);
}

TEST_F(SystemLifecycleMonitorTest, TwoRestarts100msApart_GiveTwoEventsAndOneReregistration250msAfterTheSecond) {
    startAndSettle();
    world_.recorder->clear();

    world_.server->restartAudioService();
    time_.advance(0.1);
    world_.server->restartAudioService();
    const dispatch::Seconds second = time_.now();
    time_.advance(1.0);

    EXPECT_EQ(events(), (std::vector<Event>{Event::audioServiceRestarted, Event::audioServiceRestarted}));
    const std::vector<ListenerCall> calls = restartListenerCalls();
    ASSERT_EQ(calls.size(), 2u) << "one removal and one registration";
    EXPECT_FALSE(calls[0].isAddition);
    EXPECT_TRUE(calls[1].isAddition);
    EXPECT_NEAR(calls[1].time - second, SystemLifecycleMonitor::kReinstallDelay, 0.002);
    EXPECT_EQ(world_.listenerCount(), 1u);

    world_.server->restartAudioService();
    time_.advance(0.01);
    EXPECT_EQ(deliveries_.count(), 3u) << "the listener registered again still hears restarts";
}

TEST_F(SystemLifecycleMonitorTest, ReregistrationDueAfterStop_DoesNothing) {
    startAndSettle();
    world_.server->restartAudioService();
    time_.advance(0.1);
    world_.recorder->clear();

    monitor_->stop();
    time_.advance(1.0);

    const std::vector<ListenerCall> calls = restartListenerCalls();
    ASSERT_EQ(calls.size(), 1u) << "only the stop's removal";
    EXPECT_FALSE(calls[0].isAddition);
    EXPECT_EQ(world_.listenerCount(), 0u);
}

TEST_F(SystemLifecycleMonitorTest, ReleasedFromAnotherQueue_StopsBeforeReturning) {
    startAndSettle();
    monitor_.reset();
    EXPECT_EQ(world_.server->workspaceObserverCount(), 0u) << "no time passed: the stop ran synchronously";
    EXPECT_EQ(world_.listenerCount(), 0u);
}

TEST(SystemLifecycleMonitorScenarioTest, ScenarioTimeline_SleepAndWakeReachTheOwnerAtTheirTimes) {
    dispatch::VirtualTime time;
    sim::Scenario scenario = testing::smallDesk();
    scenario.timeline = {{.at = 1.0, .kind = sim::TimelineEvent::Kind::sleep},
                         {.at = 3.0, .kind = sim::TimelineEvent::Kind::wake}};
    MonitorTestWorld world(scenario);
    const dispatch::QueuePtr deliveryQueue = dispatch::DispatchQueue::create("test.delivery");
    Deliveries<Event> deliveries(deliveryQueue);
    const auto monitor = SystemLifecycleMonitor::create(deliveryQueue);
    monitor->start(deliveries.handler());

    time.advance(5.0);

    ASSERT_EQ(deliveries.count(), 2u);
    EXPECT_EQ(deliveries.received[0].value, Event::willSleep);
    EXPECT_NEAR(deliveries.received[0].time - world.server->startTime(), 1.0, 0.001);
    EXPECT_EQ(deliveries.received[1].value, Event::didWake);
    EXPECT_NEAR(deliveries.received[1].time - world.server->startTime(), 3.0, 0.001);
}

// On real threads: the machine sleeps and wakes on another thread while the owner starts,
// stops and releases the monitor.
TEST(SystemLifecycleMonitorRealThreadTest, ReleasedWhileNotificationsArePosted_LeavesNoObserver) {
    MonitorTestWorld world;
    auto monitor = SystemLifecycleMonitor::create(dispatch::DispatchQueue::create("test.delivery"));

    std::thread posting([&world] {
        for (int step = 0; step < 200; ++step) {
            step % 2 == 0 ? world.server->sleep() : world.server->wake();
        }
    });
    for (int round = 0; round < 20; ++round) {
        monitor->start([](Event) {});
        monitor->stop();
    }
    monitor->start([](Event) {});
    EXPECT_TRUE(testing::releaseWhileChanging(monitor, posting, [&] {
        return world.listenerCount() == 0 && world.server->workspaceObserverCount() == 0;
    }));
}

}  // namespace
}  // namespace tonvale
