// Virtual time: the clocks it answers, the order it runs work in, its threads, and what its end leaves.
#include "platform/dispatch/VirtualTime.h"

#include "platform/dispatch/DispatchQueue.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace dispatch {
namespace {

using ::testing::ElementsAre;

class VirtualTimeTest : public ::testing::Test {
protected:
    std::unique_ptr<VirtualTime> time_ = std::make_unique<VirtualTime>();
    QueuePtr queue_ = DispatchQueue::create("virtual");
    std::vector<std::string> log_;
};

TEST_F(VirtualTimeTest, WorkSubmittedWhileAdvancing_RunsInTheSameAdvanceWhenDueWithinIt) {
    auto other = DispatchQueue::create("other");
    std::vector<Seconds> seen;
    queue_->asyncAfter(1.25, [&] {
        seen.push_back(now());
        other->async([&] { log_.push_back("same deadline"); });
        other->asyncAfter(0.5, [&] { log_.push_back("within span"); });
        other->asyncAfter(5.0, [&] { log_.push_back("beyond span"); });
    });
    EXPECT_EQ(now(), VirtualTime::kStart);

    time_->advance(3.0);

    EXPECT_THAT(seen, ElementsAre(VirtualTime::kStart + 1.25));
    EXPECT_THAT(log_, ElementsAre("same deadline", "within span"));
    EXPECT_EQ(time_->pendingCount(), 1U);
    EXPECT_EQ(time_->now(), VirtualTime::kStart + 3.0);
    EXPECT_EQ(hostTimeNanoseconds(), static_cast<std::uint64_t>((VirtualTime::kStart + 3.0) * 1e9));
}

// A delay that is not a number must not break the deadline order of the work around it.
TEST_F(VirtualTimeTest, NotANumberDelay_RunsAtOnceAndKeepsTheOrderOfOtherWork) {
    const Seconds nan = std::numeric_limits<Seconds>::quiet_NaN();
    queue_->asyncAfter(2.0, [&] { log_.push_back("later"); });
    queue_->asyncAfter(nan, [&] { log_.push_back("not a number"); });
    queue_->asyncAfter(1.0, [&] { log_.push_back("sooner"); });

    time_->advance(3.0);

    EXPECT_THAT(log_, ElementsAre("not a number", "sooner", "later"));
}

TEST_F(VirtualTimeTest, AllQueues_RunOnTheAdvancingThreadIncludingQueuesMadeInRealTime) {
    time_.reset();
    auto early = DispatchQueue::create("made before");
    std::promise<std::thread::id> realRun;
    early->async([&] { realRun.set_value(std::this_thread::get_id()); });
    EXPECT_NE(realRun.get_future().get(), std::this_thread::get_id());

    time_ = std::make_unique<VirtualTime>();
    std::vector<std::thread::id> threads;
    early->async([&] { threads.push_back(std::this_thread::get_id()); });
    DispatchQueue::main()->async([&] { threads.push_back(std::this_thread::get_id()); });
    time_->runUntilIdle();

    EXPECT_THAT(threads, ElementsAre(std::this_thread::get_id(), std::this_thread::get_id()));
}

TEST_F(VirtualTimeTest, Destruction_DropsPendingWorkWithItsQueueCurrentAndRealTimeResumes) {
    struct Probe {
        QueuePtr queue;
        std::vector<std::string>& log;
        ~Probe() { log.push_back(queue->isCurrent() ? "dropped on its queue" : "dropped elsewhere"); }
    };
    std::shared_ptr<Probe> probe(new Probe{queue_, log_});
    queue_->asyncAfter(1.0, [probe, this] { log_.push_back("ran"); });
    probe.reset();

    time_.reset();

    EXPECT_THAT(log_, ElementsAre("dropped on its queue"));
    std::promise<bool> ran;
    queue_->async([&] { ran.set_value(queue_->isCurrent()); });
    EXPECT_TRUE(ran.get_future().get());
}

TEST(ClockTest, DeadlinesBeyondTheSteadyClock_SaturateInsteadOfWrappingIntoThePast) {
    using std::chrono::steady_clock;
    const Seconds current = detail::monotonicNow();
    for (const Seconds deadline : {current + 1e10, 1e300, std::numeric_limits<Seconds>::infinity()}) {
        EXPECT_EQ(detail::steadyTimePoint(deadline), steady_clock::time_point::max()) << deadline;
    }
    const auto soon = detail::steadyTimePoint(current + 1.0) - steady_clock::now();
    EXPECT_GT(soon, std::chrono::milliseconds(900));
    EXPECT_LE(soon, std::chrono::seconds(1));
}

}  // namespace
}  // namespace dispatch
