// What every monitor promises, checked on each: one registration however often it starts,
// nothing held or delivered once stopped, a synchronous stop on release, also on real threads.
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

TYPED_TEST(MonitorLifecycleTest, StartedTwiceStoppedAndStartedAnew_HoldOneRegistrationForTheCurrentHandler) {
    this->monitor_->start([](const typename TypeParam::Value&) {});
    this->monitor_->stop();
    this->time_.advance(0.01);
    EXPECT_EQ(this->world_.held(), 0U) << "a stop right after the start";

    this->startAndSettle();
    const std::size_t heldOnce = this->world_.held();
    ASSERT_GT(heldOnce, 0U);
    Deliveries<typename TypeParam::Value> newer(this->deliveryQueue_);
    this->monitor_->start(newer.handler());
    TypeParam::change(*this->world_.server, 0);
    this->time_.advance(1.0);
    EXPECT_EQ(this->world_.held(), heldOnce);
    EXPECT_EQ(this->deliveries_.count(), TypeParam::kDeliveriesOnStart) << "the replaced handler hears nothing more";
    EXPECT_EQ(newer.count(), TypeParam::kDeliveriesOnStart + 1) << "its own first delivery, then the change";

    TypeParam::change(*this->world_.server, 1);
    this->time_.advance(0.02);
    const std::size_t delivered = newer.count();
    this->monitor_->stop();
    TypeParam::change(*this->world_.server, 0);
    this->time_.advance(1.0);
    EXPECT_EQ(this->world_.held(), 0U);
    EXPECT_EQ(newer.count(), delivered) << "neither a refresh pending at the stop nor a later change";

    this->monitor_->start(this->deliveries_.handler());
    this->time_.advance(0.01);
    EXPECT_EQ(this->world_.held(), heldOnce);
    EXPECT_EQ(this->deliveries_.count(), 2 * TypeParam::kDeliveriesOnStart);
}

TYPED_TEST(MonitorLifecycleTest, Released_StopsBeforeTheReleaseReturnsAlsoOnItsOwnQueue) {
    this->startAndSettle();
    this->monitor_.reset();
    EXPECT_EQ(this->world_.held(), 0U) << "no time passed: the stop ran synchronously";

    // The last reference, kept in its own handler, goes with the handler on the monitor's queue.
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

// The world changes on another thread while the owner starts, stops and releases the monitor.
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
