// Serial queues in virtual time: order, current-queue markers, sync, closures releasing their owner, weak owners.
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

// Tears down on its queue the way the system's components do: directly when already there.
class QueueOwner {
public:
    QueueOwner(QueuePtr queue, std::vector<std::string>& log) : queue_(std::move(queue)), log_(log) {}
    ~QueueOwner() { log_.push_back(queue_->isCurrent() ? "teardown directly" : "teardown would sync"); }

private:
    QueuePtr queue_;
    std::vector<std::string>& log_;
};

class DispatchQueueTest : public ::testing::Test {
protected:
    VirtualTime time_;
    QueuePtr queue_ = DispatchQueue::create("test.queue");
    QueuePtr other_ = DispatchQueue::create("other");
    std::vector<std::string> log_;

    std::function<void()> record(std::string entry) {
        return [this, entry = std::move(entry)] { log_.push_back(entry); };
    }
};

TEST_F(DispatchQueueTest, AsyncWork_RunsOnlyWhenTimeRunsByDeadlineThenSubmission) {
    queue_->asyncAfter(2.0, record("late"));
    queue_->asyncAfter(1.0, record("first at 1"));
    queue_->async(record("now"));
    queue_->async(record("also now"));
    queue_->asyncAfter(1.0, record("second at 1"));
    EXPECT_TRUE(log_.empty());

    time_.advance(0.5);
    EXPECT_THAT(log_, ElementsAre("now", "also now"));
    time_.advance(0.5);
    EXPECT_THAT(log_, ElementsAre("now", "also now", "first at 1", "second at 1"));
    time_.advance(1.0);
    EXPECT_EQ(log_.back(), "late");
}

TEST_F(DispatchQueueTest, QueuesAndTheirSpecifics_AreCurrentOnlyInsideTheirOwnWork) {
    static const int key = 0;
    int mine = 1;
    int theirs = 2;
    queue_->setSpecific(&key, &mine);
    other_->setSpecific(&key, &theirs);
    std::vector<bool> seen;
    std::vector<void*> specifics;
    queue_->async([&] {
        seen.push_back(queue_->isCurrent());
        specifics.push_back(DispatchQueue::getSpecific(&key));
        other_->sync([&] {
            seen.push_back(other_->isCurrent());
            seen.push_back(queue_->isCurrent());
            specifics.push_back(DispatchQueue::getSpecific(&key));
        });
        seen.push_back(queue_->isCurrent());
    });
    time_.runUntilIdle();

    EXPECT_THAT(seen, ElementsAre(true, true, false, true));
    EXPECT_THAT(specifics, ElementsAre(&mine, &theirs));
    EXPECT_FALSE(queue_->isCurrent());
    EXPECT_EQ(DispatchQueue::getSpecific(&key), nullptr);
}

TEST_F(DispatchQueueTest, Sync_RunsAfterTheQueuesEarlierDueWorkButNotLaterWork) {
    queue_->async(record("earlier"));
    queue_->asyncAfter(1.0, record("later"));

    queue_->sync(record("sync"));

    EXPECT_THAT(log_, ElementsAre("earlier", "sync"));
    EXPECT_EQ(time_.pendingCount(), 1U);
}

// A closure is destroyed on its queue, after running there, so an owner it releases tears down directly.
TEST_F(DispatchQueueTest, OwnerReleasedByItsClosure_TearsDownOnItsQueue) {
    auto owner = std::make_shared<QueueOwner>(queue_, log_);
    queue_->async([owner = std::move(owner)] {});
    time_.runUntilIdle();
    EXPECT_THAT(log_, ElementsAre("teardown directly"));
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
    EXPECT_DEATH({ queue_->sync([&] { other_->sync([&] { queue_->sync([] {}); }); }); },
                 "sync onto queue 'test.queue' .* would deadlock");
}

}  // namespace
}  // namespace dispatch
