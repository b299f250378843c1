// What every monitor promises about starting, stopping and release, checked on each: one
// registration however often it starts, nothing held or delivered once stopped, a
// synchronous stop on release wherever the last reference goes, and all of it while the
// world changes on another thread.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "observe/AudioDeviceMonitor.h"
#include "observe/AudioProcessMonitor.h"
#include "observe/SystemLifecycleMonitor.h"
#include "tests/observe/MonitorTestWorld.h"

namespace tonvale {
namespace {

using namespace tonvale::testing;

struct DeviceMonitorTraits {
    using Monitor = AudioDeviceMonitor;
    using Value = AudioDeviceSnapshot;
    static constexpr std::size_t kDeliveriesOnStart = 1;
    // A change the monitor reports; each step's differs from the one before.
    static void change(sim::SimulatedServer& server, int step) {
        static_cast<void>(server.setDefaultOutputDevice(step % 2 == 0 ? "headset" : "speakers"));
    }
    // Keeps starting from handing the handler to the delivery queue.
    static void withholdFirstDelivery(sim::SimulatedServer& server) {
        server.injectFailure(
            {.object = kAudioObjectSystemObject, .selector = kAudioHardwarePropertyDefaultOutputDevice});
    }
};

struct ProcessMonitorTraits {
    using Monitor = AudioProcessMonitor;
    using Value = AudioProcessSnapshot;
    static constexpr std::size_t kDeliveriesOnStart = 1;
    static void change(sim::SimulatedServer& server, int step) {
        static_cast<void>(step % 2 == 0 ? server.startAudio(kChatPid) : server.stopAudio(kChatPid));
    }
    static void withholdFirstDelivery(sim::SimulatedServer& server) {
        server.injectFailure({.call = sim::Call::getPropertyDataSize,
                              .object = kAudioObjectSystemObject,
                              .selector = kAudioHardwarePropertyProcessObjectList});
    }
};

struct LifecycleMonitorTraits {
    using Monitor = SystemLifecycleMonitor;
    using Value = SystemLifecycleEvent;
    static constexpr std::size_t kDeliveriesOnStart = 0;
    static void change(sim::SimulatedServer& server, int step) { step % 2 == 0 ? server.sleep() : server.wake(); }
    static void withholdFirstDelivery(sim::SimulatedServer&) {}
};

template <typename Traits>
class MonitorLifecycleTest
    : public MonitorFixture<typename Traits::Monitor, typename Traits::Value, Traits::kDeliveriesOnStart> {};
using Monitors = ::testing::Types<DeviceMonitorTraits, ProcessMonitorTraits, LifecycleMonitorTraits>;
TYPED_TEST_SUITE(MonitorLifecycleTest, Monitors);

TYPED_TEST(MonitorLifecycleTest, StartedTwice_HoldsOneRegistrationAndOnlyTheNewerHandlerHears) {
    this->startAndSettle();
    const std::size_t heldOnce = this->world_.held();
    ASSERT_GT(heldOnce, 0U);
    Deliveries<typename TypeParam::Value> newer(this->deliveryQueue_);
    this->monitor_->start(newer.handler());
    this->time_.advance(0.01);
    EXPECT_EQ(this->world_.held(), heldOnce);
    EXPECT_EQ(newer.count(), TypeParam::kDeliveriesOnStart) << "the newer handler gets its own first delivery";

    TypeParam::change(*this->world_.server, 0);
    this->time_.advance(1.0);
    EXPECT_EQ(this->deliveries_.count(), TypeParam::kDeliveriesOnStart) << "the replaced handler hears nothing more";
    EXPECT_EQ(newer.count(), TypeParam::kDeliveriesOnStart + 1);
}

TYPED_TEST(MonitorLifecycleTest, Stopped_HoldsAndDeliversNothingUntilStartedAnew) {
    this->monitor_->start([](const typename TypeParam::Value&) {});
    this->monitor_->stop();
    this->time_.advance(0.01);
    EXPECT_EQ(this->world_.held(), 0U) << "a stop right after the start";

    this->startAndSettle();
    const std::size_t heldOnce = this->world_.held();
    TypeParam::change(*this->world_.server, 0);
    this->time_.advance(0.02);
    const std::size_t delivered = this->deliveries_.count();
    this->monitor_->stop();
    TypeParam::change(*this->world_.server, 1);
    this->time_.advance(1.0);
    EXPECT_EQ(this->world_.held(), 0U);
    EXPECT_EQ(this->deliveries_.count(), delivered) << "neither a refresh pending at the stop nor a later change";

    this->monitor_->start(this->deliveries_.handler());
    this->time_.advance(0.01);
    EXPECT_EQ(this->world_.held(), heldOnce);
    EXPECT_EQ(this->deliveries_.count(), delivered + TypeParam::kDeliveriesOnStart);
}

TYPED_TEST(MonitorLifecycleTest, Released_StopsBeforeTheReleaseReturnsAlsoOnItsOwnQueue) {
    this->startAndSettle();
    this->monitor_.reset();
    EXPECT_EQ(this->world_.held(), 0U) << "no time passed: the stop ran synchronously";

    // The last reference kept in the monitor's own handler goes when the stop drops the
    // handler on the monitor's queue: the teardown runs there, directly.
    TypeParam::withholdFirstDelivery(*this->world_.server);
    auto monitor = TypeParam::Monitor::create(this->deliveryQueue_);
    const std::weak_ptr<typename TypeParam::Monitor> weakMonitor = monitor;
    monitor->start([keeper = monitor](const typename TypeParam::Value&) {});
    monitor->stop();
    monitor.reset();
    this->time_.advance(0.01);
    EXPECT_TRUE(weakMonitor.expired());
    EXPECT_EQ(this->world_.held(), 0U);
}

// On real threads: the world changes on another thread while the owner starts, stops and
// finally releases the monitor. ThreadSanitizer watches the hand-overs.
template <typename Traits>
class MonitorRealThreadTest : public ::testing::Test {};
TYPED_TEST_SUITE(MonitorRealThreadTest, Monitors);

TYPED_TEST(MonitorRealThreadTest, ReleasedWhileTheWorldChanges_LeavesNothingRegistered) {
    MonitorTestWorld world;
    auto monitor = TypeParam::Monitor::create(dispatch::DispatchQueue::create("test.delivery"));
    std::thread changes([&world] {
        for (int step = 0; step < 200; ++step) {
            TypeParam::change(*world.server, step);
        }
    });
    for (int round = 0; round < 20; ++round) {
        monitor->start([](const typename TypeParam::Value&) {});
        monitor->stop();
    }
    monitor->start([](const typename TypeParam::Value&) {});
    const std::weak_ptr<typename TypeParam::Monitor> weakMonitor = monitor;
    monitor.reset();
    changes.join();
    // A closure of the monitor still running elsewhere may hold it for a moment.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!(weakMonitor.expired() && world.held() == 0) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    EXPECT_TRUE(weakMonitor.expired());
    EXPECT_EQ(world.held(), 0U);
}

}  // namespace
}  // namespace tonvale
