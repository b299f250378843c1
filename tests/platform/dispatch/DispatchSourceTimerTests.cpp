// Repeating and one-shot timer sources in virtual time: deadlines, rescheduling, and both ways of ending.
#include "platform/dispatch/DispatchSourceTimer.h"

#include "platform/dispatch/VirtualTime.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

namespace dispatch {
namespace {

using ::testing::ElementsAre;

class DispatchSourceTimerTest : public ::testing::Test {
protected:
    VirtualTime time_;
    QueuePtr queue_ = DispatchQueue::create("timers");
    std::vector<Seconds> fires_;

    std::shared_ptr<DispatchSourceTimer> startTimer(Seconds deadline, Seconds interval) {
        auto timer = DispatchSourceTimer::create(queue_);
        timer->setEventHandler([this] { fires_.push_back(now() - VirtualTime::kStart); });
        timer->schedule(deadline, interval);
        timer->resume();
        return timer;
    }
};

TEST_F(DispatchSourceTimerTest, RepeatingTimer_FirstFiresOneIntervalAfterStartThenRepeatsUntilCancelled) {
    auto timer = startTimer(2.0, 2.0);
    time_.advance(1.9);
    EXPECT_TRUE(fires_.empty());

    time_.advance(4.1);
    EXPECT_THAT(fires_, ElementsAre(2.0, 4.0, 6.0));

    timer->cancel();
    time_.advance(10.0);
    EXPECT_THAT(fires_, ElementsAre(2.0, 4.0, 6.0));
    EXPECT_EQ(time_.pendingCount(), 0U);
}

TEST_F(DispatchSourceTimerTest, ScheduleAgainWithZeroInterval_ReplacesThePendingDeadlineAndFiresOnce) {
    auto timer = startTimer(1.0, 1.0);
    time_.advance(1.5);
    timer->schedule(3.0, 0);
    time_.advance(10.0);
    EXPECT_THAT(fires_, ElementsAre(1.0, 4.5));
}

TEST_F(DispatchSourceTimerTest, CancelFromItsOwnHandler_StopsAndReleasesTheHandler) {
    auto timer = DispatchSourceTimer::create(queue_);
    auto token = std::make_shared<int>(0);
    std::weak_ptr<int> watch = token;
    timer->setEventHandler([this, timer = std::weak_ptr(timer), token = std::move(token)] {
        fires_.push_back(now() - VirtualTime::kStart);
        timer.lock()->cancel();
    });
    timer->schedule(1.0, 1.0);
    timer->resume();

    time_.advance(5.0);

    EXPECT_THAT(fires_, ElementsAre(1.0));
    EXPECT_TRUE(watch.expired());
}

TEST_F(DispatchSourceTimerTest, TimerDroppedWithoutCancel_StopsFiringAndLeavesNothingPending) {
    auto timer = startTimer(1.0, 1.0);
    time_.advance(2.0);
    timer.reset();
    time_.advance(5.0);
    EXPECT_THAT(fires_, ElementsAre(1.0, 2.0));
    EXPECT_EQ(time_.pendingCount(), 0U);
}

}  // namespace
}  // namespace dispatch
