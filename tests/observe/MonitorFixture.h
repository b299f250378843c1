// Test helper: the fixture every monitor's virtual-time tests share. It builds the simulated
// desk, a delivery queue, a record of what the monitor delivered there, and the monitor
// itself, all on the test's thread, in that order, after the fixture's dispatch::VirtualTime.
// Thread-safety: for virtual-time tests; everything runs on the test's thread.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>

#include "platform/dispatch/Dispatch.h"
#include "tests/observe/MonitorTestWorld.h"

namespace tonvale::testing {

// Monitor makes Value deliveries; starting delivers deliveriesOnStart of them at once.
template <typename Monitor, typename Value, std::size_t deliveriesOnStart>
class MonitorFixture : public ::testing::Test {
protected:
    MonitorFixture() : deliveries_(deliveryQueue_) {}

    // Starts the monitor and lets what starting delivers arrive.
    void startAndSettle() {
        monitor_->start(deliveries_.handler());
        time_.advance(0.01);
        ASSERT_EQ(deliveries_.count(), deliveriesOnStart) << "what starting delivers by itself";
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

}  // namespace tonvale::testing
