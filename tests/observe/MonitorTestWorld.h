// Test helper for the monitors: a small simulated desk with the recorder of listener calls
// in front of it, a record of what a monitor delivered, when and on which queue, the fixture
// every monitor's virtual-time tests share, and the waits of the real-thread tests.
// Create on the test's thread after the dispatch::VirtualTime it runs in.
// Thread-safety: for virtual-time tests, except the helpers marked for real threads.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "platform/coreaudio/CoreAudio.h"
#include "platform/dispatch/Dispatch.h"
#include "sim/SimulatedServer.h"
#include "tests/observe/ListenerCallRecorder.h"

namespace tonvale::testing {

inline constexpr std::int32_t kPlayerPID = 501;
inline constexpr std::int32_t kChatPID = 502;
// Listed by the server only once launched.
inline constexpr std::int32_t kLatePID = 503;

inline sim::Scenario smallDesk() {
    sim::Scenario scenario;
    sim::ScenarioDevice headset{.uid = "headset", .name = "Headset", .transportType = kAudioDeviceTransportTypeUSB};
    headset.inputChannels = 1;
    sim::ScenarioDevice microphone{.uid = "microphone", .name = "Microphone"};
    microphone.outputChannels = 0;
    microphone.inputChannels = 1;
    sim::ScenarioDevice spare{.uid = "spare", .name = "Spare"};
    spare.isPlugged = false;
    scenario.devices = {{.uid = "speakers", .name = "Speakers"}, headset, microphone, spare};
    scenario.defaultOutputUID = "speakers";
    scenario.defaultInputUID = "microphone";

    sim::ScenarioProcess player{.pid = kPlayerPID, .bundleID = "com.example.player"};
    player.isPlaying = true;
    sim::ScenarioProcess late{.pid = kLatePID, .bundleID = "com.example.late"};
    late.isLaunched = false;
    scenario.processes = {player, {.pid = kChatPID, .bundleID = "com.example.chat"}, late};
    return scenario;
}

// The simulated desk, reached through a recorder of listener calls.
struct MonitorTestWorld {
    explicit MonitorTestWorld(const sim::Scenario& scenario = smallDesk())
        : server(sim::SimulatedServer::create(scenario)),
          recorder(std::make_shared<ListenerCallRecorder>(server)),
          baseListenerCount(server->listenerCount()) {
        AudioHardwareInstallService(recorder);
    }
    ~MonitorTestWorld() { AudioHardwareInstallService(server); }
    MonitorTestWorld(const MonitorTestWorld&) = delete;
    MonitorTestWorld& operator=(const MonitorTestWorld&) = delete;

    // Listeners of the code under test that the server holds.
    [[nodiscard]] std::size_t listenerCount() const { return server->listenerCount() - baseListenerCount; }

    std::shared_ptr<sim::SimulatedServer> server;
    std::shared_ptr<ListenerCallRecorder> recorder;
    std::size_t baseListenerCount;
};

// What a monitor handed to one handler.
template <typename Value>
struct Deliveries {
    struct Delivery {
        Value value;
        dispatch::Seconds time;
        bool isOnDeliveryQueue;
    };

    explicit Deliveries(dispatch::QueuePtr queue) : deliveryQueue(std::move(queue)) {}

    [[nodiscard]] auto handler() {
        return [this](const Value& value) {
            received.push_back({value, dispatch::now(), deliveryQueue->isCurrent()});
        };
    }
    [[nodiscard]] std::size_t count() const { return received.size(); }
    [[nodiscard]] const Value& last() const { return received.back().value; }

    dispatch::QueuePtr deliveryQueue;
    std::vector<Delivery> received;
};

// Monitor makes Value deliveries; starting delivers deliveriesOnStart of them at once.
template <typename Monitor, typename Value, std::size_t deliveriesOnStart>
class MonitorFixture : public ::testing::Test {
protected:
    MonitorFixture() : deliveries_(deliveryQueue_) {}

    // Starts the monitor and lets what starting delivers arrive, on the delivery queue.
    void startAndSettle() {
        monitor_->start(deliveries_.handler());
        time_.advance(0.01);
        ASSERT_EQ(deliveries_.count(), deliveriesOnStart) << "what starting delivers by itself";
        for (const auto& delivery : deliveries_.received) {
            EXPECT_TRUE(delivery.isOnDeliveryQueue);
        }
    }

    // Leaves the last reference to the monitor in its own handler and stops it, so the
    // stop, running on the monitor's queue, drops that reference there.
    void releaseOnTheMonitorsQueue() {
        const std::weak_ptr<Monitor> weakMonitor = monitor_;
        monitor_->start([keeper = monitor_](const Value&) {});
        monitor_->stop();
        monitor_.reset();
        ASSERT_FALSE(weakMonitor.expired());
        time_.advance(0.01);
        EXPECT_TRUE(weakMonitor.expired());
    }

    dispatch::VirtualTime time_;
    MonitorTestWorld world_;
    dispatch::QueuePtr deliveryQueue_ = dispatch::DispatchQueue::create("test.delivery");
    Deliveries<Value> deliveries_;
    std::shared_ptr<Monitor> monitor_ = Monitor::create(deliveryQueue_);
};

// Real-thread tests only: starts monitor and answers whether its first delivery came.
template <typename Value, typename Monitor>
[[nodiscard]] bool startAndAwaitFirstDelivery(Monitor& monitor) {
    auto firstDelivery = std::make_shared<std::promise<void>>();
    auto isFirst = std::make_shared<std::atomic<bool>>(true);
    monitor.start([firstDelivery, isFirst](const Value&) {
        if (isFirst->exchange(false)) {
            firstDelivery->set_value();
        }
    });
    return firstDelivery->get_future().wait_for(std::chrono::seconds(10)) == std::future_status::ready;
}

// Real-thread tests only: drops the owner's reference to monitor while changes runs on
// another thread. Answers whether, within a generous bound, the teardown (here or on the
// monitor's queue, if one of its closures still ran) left isClean, and nothing registered again.
template <typename Monitor>
[[nodiscard]] bool releaseWhileChanging(std::shared_ptr<Monitor>& monitor, std::thread& changes,
                                        const std::function<bool()>& isClean) {
    const std::weak_ptr<Monitor> weakMonitor = monitor;
    monitor.reset();
    changes.join();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!(weakMonitor.expired() && isClean())) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

}  // namespace tonvale::testing
