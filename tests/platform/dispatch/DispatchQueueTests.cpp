#include "platform/dispatch/DispatchQueue.h"

#include "platform/dispatch/DispatchSourceTimer.h"
#include "platform/dispatch/VirtualTime.h"
#include "platform/dispatch/Weakly.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace dispatch {
namespace {

using ::testing::ElementsAre;

// Tears down on its queue: directly when already there, otherwise by a sync,
// the way the system's components do in their destructors.
class QueueOwner {
public:
    QueueOwner(QueuePtr queue, std::vector<std::string>& log) : queue_(std::move(queue)), log_(log) {}
    ~QueueOwner() {
        if (queue_->isCurrent()) {
            log_.push_back("teardown directly");
            return;
        }
        queue_->sync([this] { log_.push_back(queue_->isCurrent() ? "teardown by sync" : "teardown off queue"); });
    }

private:
    QueuePtr queue_;
    std::vector<std::string>& log_;
};

class DispatchQueueTest : public ::testing::Test {
protected:
    VirtualTime time_;
    QueuePtr queue_ = DispatchQueue::create("test.queue");
    std::vector<std::string> log_;

    std::function<void()> record(std::string entry) {
        return [this, entry = std::move(entry)] { log_.push_back(entry); };
    }
};

TEST_F(DispatchQueueTest, AsyncWork_RunsInSubmissionOrderOnlyWhenTimeRuns) {
    queue_->async(record("a"));
    queue_->async(record("b"));
    queue_->async(record("c"));
    EXPECT_TRUE(log_.empty());

    time_.runUntilIdle();

    EXPECT_THAT(log_, ElementsAre("a", "b", "c"));
}

TEST_F(DispatchQueueTest, AsyncAfter_RunsByDeadlineAndEqualDeadlinesInSubmissionOrder) {
    queue_->asyncAfter(2.0, record("late"));
    queue_->asyncAfter(1.0, record("first at 1"));
    queue_->async(record("now"));
    queue_->asyncAfter(1.0, record("second at 1"));

    time_.advance(0.5);
    EXPECT_THAT(log_, ElementsAre("now"));
    time_.advance(0.5);
    EXPECT_THAT(log_, ElementsAre("now", "first at 1", "second at 1"));
    time_.advance(1.0);
    EXPECT_THAT(log_, ElementsAre("now", "first at 1", "second at 1", "late"));
}

TEST_F(DispatchQueueTest, Queues_AreCurrentOnlyInsideTheirOwnWorkAsyncSyncAndTimers) {
    auto other = DispatchQueue::create("other");
    std::vector<bool> seen;
    EXPECT_FALSE(queue_->isCurrent());
    queue_->async([&] {
        seen.push_back(queue_->isCurrent());
        seen.push_back(other->isCurrent());
        other->sync([&] {
            seen.push_back(other->isCurrent());
            seen.push_back(queue_->isCurrent());
        });
        seen.push_back(queue_->isCurrent());
    });
    time_.runUntilIdle();
    queue_->sync([&] { seen.push_back(queue_->isCurrent()); });

    auto timer = DispatchSourceTimer::create(queue_);
    timer->setEventHandler([&] { seen.push_back(queue_->isCurrent()); });
    timer->schedule(1.0, 0);
    timer->resume();
    time_.advance(1.0);

    EXPECT_THAT(seen, ElementsAre(true, false, true, false, true, true, true));
    EXPECT_FALSE(queue_->isCurrent());
}

TEST_F(DispatchQueueTest, Specifics_AnswerTheValueOfTheQueueTheCallerRunsOn) {
    static const int key = 0;
    int mine = 1;
    int theirs = 2;
    auto other = DispatchQueue::create("other");
    queue_->setSpecific(&key, &mine);
    other->setSpecific(&key, &theirs);
    std::vector<void*> seen;

    queue_->async([&] {
        seen.push_back(DispatchQueue::getSpecific(&key));
        other->sync([&] { seen.push_back(DispatchQueue::getSpecific(&key)); });
    });
    time_.runUntilIdle();

    EXPECT_THAT(seen, ElementsAre(&mine, &theirs));
    EXPECT_EQ(DispatchQueue::getSpecific(&key), nullptr);
}

TEST_F(DispatchQueueTest, Sync_RunsAfterTheQueuesEarlierDueWorkButNotLaterWork) {
    queue_->async(record("earlier"));
    queue_->asyncAfter(1.0, record("later"));

    queue_->sync(record("sync"));

    EXPECT_THAT(log_, ElementsAre("earlier", "sync"));
    EXPECT_EQ(time_.pendingCount(), 1U);
}

TEST_F(DispatchQueueTest, PendingWork_KeepsItsQueueAliveUntilItRan) {
    std::weak_ptr<DispatchQueue> weak = queue_;
    queue_->asyncAfter(1.0, [&] { log_.push_back(weak.lock()->label()); });
    queue_.reset();
    EXPECT_FALSE(weak.expired());

    time_.advance(1.0);

    EXPECT_THAT(log_, ElementsAre("test.queue"));
    EXPECT_TRUE(weak.expired());
}

TEST_F(DispatchQueueTest, OwnerReleasedOnItsQueue_TearsDownDirectly) {
    auto owner = std::make_shared<QueueOwner>(queue_, log_);
    queue_->async([owner = std::move(owner)]() mutable { owner.reset(); });
    time_.runUntilIdle();
    EXPECT_THAT(log_, ElementsAre("teardown directly"));
}

TEST_F(DispatchQueueTest, OwnerReleasedInClosureDestroyedAfterRunning_TearsDownDirectly) {
    auto owner = std::make_shared<QueueOwner>(queue_, log_);
    queue_->async([owner = std::move(owner)] {});
    owner.reset();
    time_.runUntilIdle();
    EXPECT_THAT(log_, ElementsAre("teardown directly"));
}

TEST_F(DispatchQueueTest, OwnerReleasedElsewhere_TearsDownBySyncOntoItsQueue) {
    auto other = DispatchQueue::create("other");
    auto owner = std::make_shared<QueueOwner>(queue_, log_);
    other->async([owner = std::move(owner)]() mutable { owner.reset(); });
    time_.runUntilIdle();
    auto second = std::make_unique<QueueOwner>(queue_, log_);
    second.reset();
    EXPECT_THAT(log_, ElementsAre("teardown by sync", "teardown by sync"));
}

TEST_F(DispatchQueueTest, WeakClosure_DoesNothingOnceItsOwnerIsGone) {
    struct Counter {
        int count = 0;
    };
    auto counter = std::make_shared<Counter>();
    std::weak_ptr<Counter> weak = counter;
    queue_->async(weakly(counter, [](Counter& c) { ++c.count; }));
    time_.runUntilIdle();
    EXPECT_EQ(counter->count, 1);

    queue_->async(weakly(weak, [this](Counter&) { log_.push_back("ran"); }));
    counter.reset();
    time_.runUntilIdle();
    EXPECT_TRUE(log_.empty());
}

using DispatchQueueDeathTest = DispatchQueueTest;

TEST_F(DispatchQueueDeathTest, NestedSyncOntoTheCurrentQueue_AbortsWithAMessage) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto other = DispatchQueue::create("other");
    EXPECT_DEATH(
        {
            queue_->sync([&] { other->sync([&] { queue_->sync([] {}); }); });
        },
        "sync onto queue 'test.queue' .* would deadlock");
}

}  // namespace
}  // namespace dispatch
