// Test helper for the monitors: a small simulated desk, a record of what a monitor delivered,
// when and on which queue, and the fixture every monitor's virtual-time tests share.
// Create on the test's thread after the dispatch::VirtualTime it runs in, if any.
// Thread-safety: the world may be changed from any thread; the rest is for the test's.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "platform/dispatch/Dispatch.h"
#include "sim/SimulatedServer.h"
#include "tests/engine/RouteTestWorld.h"

namespace tonvale::testing {

// Listed by the server only once launched.
inline constexpr std::int32_t kLatePID = 503;

// The route tests' desk with an input-only microphone (the default input), a spare output
// not plugged in yet and a process listed only once launched.
inline sim::Scenario monitorDesk() {
    sim::Scenario scenario = routeDesk();
    scenario.devices.push_back({.uid = "microphone", .name = "Microphone", .outputChannels = 0, .inputChannels = 1});
    scenario.devices.push_back({.uid = "spare", .name = "Spare", .isPlugged = false});
    scenario.defaultInputUID = "microphone";
    scenario.processes.push_back({.pid = kLatePID, .bundleID = "com.example.late", .isLaunched = false});
    return scenario;
}

// The simulated desk and the listeners it held before the code under test ran.
struct MonitorTestWorld {
    explicit MonitorTestWorld(const sim::Scenario& scenario = monitorDesk())
        : server(sim::SimulatedServer::create(scenario)), baseListenerCount(server->listenerCount()) {}

    // Listeners and workspace observers of the code under test that the server holds.
    [[nodiscard]] std::size_t held() const {
        return server->listenerCount() - baseListenerCount + server->workspaceObserverCount();
    }

    std::shared_ptr<sim::SimulatedServer> server;
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
        return [this](const Value& value) { received.push_back({value, dispatch::now(), deliveryQueue->isCurrent()}); };
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

    dispatch::VirtualTime time_;
    MonitorTestWorld world_;
    dispatch::QueuePtr deliveryQueue_ = dispatch::DispatchQueue::create("test.delivery");
    Deliveries<Value> deliveries_;
    std::shared_ptr<Monitor> monitor_ = Monitor::create(deliveryQueue_);
};

}  // namespace tonvale::testing
