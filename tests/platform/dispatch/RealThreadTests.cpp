#include "platform/dispatch/Dispatch.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace dispatch {
namespace {

// Counts down to zero and lets one waiter block until it gets there.
class CountDown {
public:
    explicit CountDown(int count) : count_(count) {}
    void arrive() {
        std::lock_guard lock(mutex_);
        if (--count_ == 0) {
            reached_.notify_all();
        }
    }
    void wait() {
        std::unique_lock lock(mutex_);
        reached_.wait(lock, [this] { return count_ <= 0; });
    }

private:
    std::mutex mutex_;
    std::condition_variable reached_;
    int count_;
};

// State touched only on its own queue, without locks: the sanitizer reports
// any two pieces of work that overlap.
struct QueueState {
    QueuePtr queue;
    long total = 0;
    std::array<long, 8> lastFromThread{};
    bool isOutOfOrder = false;
    bool hasRunOffQueue = false;
};

class RealThreadTest : public ::testing::Test {
protected:
    std::vector<std::string> log_;
};

TEST_F(RealThreadTest, ManyQueuesAndThreads_RunSeriallyInOrderWithCancellationAndTimers) {
    constexpr int kQueues = 6;
    constexpr int kThreads = 4;
    constexpr int kRounds = 150;
    std::array<QueueState, kQueues> states;
    for (int q = 0; q < kQueues; ++q) {
        states[q].queue = DispatchQueue::create("stress." + std::to_string(q));
    }
    std::atomic<int> cancelledRuns{0};
    std::atomic<int> syncRuns{0};

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (long round = 1; round <= kRounds; ++round) {
                QueueState& state = states[(t + round) % kQueues];
                state.queue->async([&state, t, round] {
                    state.hasRunOffQueue |= !state.queue->isCurrent();
                    state.isOutOfOrder |= state.lastFromThread[t] >= round;
                    state.lastFromThread[t] = round;
                    ++state.total;
                });
                if (round % 7 == 0) {
                    state.queue->asyncAfter(0.0005 * (round % 3), [&state] { ++state.total; });
                }
                if (round % 11 == 0) {
                    auto item = DispatchWorkItem::create([&] { ++cancelledRuns; });
                    item->cancel();
                    state.queue->asyncAfter(0.001, item);
                }
                if (round % 13 == 0) {
                    QueueState& other = states[(t + round + 1) % kQueues];
                    state.queue->sync([&] {
                        other.queue->sync([&] { ++other.total; });
                        ++syncRuns;
                    });
                }
            }
        });
    }

    // Timers on two queues, cancelled from another thread and from their own handler.
    auto ticking = DispatchSourceTimer::create(states[0].queue);
    std::promise<void> ticked;
    int ticks = 0;
    ticking->setEventHandler([&] {
        if (++ticks == 5) {
            ticked.set_value();
        }
        ++states[0].total;
    });
    ticking->schedule(0.0005, 0.0005);
    ticking->resume();
    auto selfCancelling = DispatchSourceTimer::create(states[1].queue);
    std::promise<void> selfCancelled;
    selfCancelling->setEventHandler([&] {
        selfCancelling->cancel();
        selfCancelled.set_value();
    });
    selfCancelling->schedule(0.0005, 0.0005);
    selfCancelling->resume();

    for (auto& thread : threads) {
        thread.join();
    }
    ticked.get_future().wait();
    ticking->cancel();
    selfCancelled.get_future().wait();

    // Each queue runs in deadline order, so work due after everything else
    // runs last.
    CountDown finished(kQueues);
    for (auto& state : states) {
        state.queue->asyncAfter(0.002, [&] { finished.arrive(); });
    }
    finished.wait();

    long total = 0;
    for (auto& state : states) {
        state.queue->sync([&] {
            EXPECT_FALSE(state.isOutOfOrder) << state.queue->label();
            EXPECT_FALSE(state.hasRunOffQueue) << state.queue->label();
            total += state.total;
        });
    }
    long delayed = 0;
    long synced = 0;
    for (long round = 1; round <= kRounds; ++round) {
        delayed += round % 7 == 0 ? 1 : 0;
        synced += round % 13 == 0 ? 1 : 0;
    }
    EXPECT_EQ(cancelledRuns.load(), 0);
    EXPECT_EQ(syncRuns.load(), kThreads * synced);
    EXPECT_GE(ticks, 5);
    EXPECT_EQ(total, kThreads * (kRounds + delayed + synced) + ticks);
}

TEST_F(RealThreadTest, ItemsCancelledFromAnotherThreadWhileQueued_NeverRun) {
    auto queue = DispatchQueue::create("gated");
    std::promise<void> gate;
    queue->async([opened = gate.get_future().share()] { opened.wait(); });
    std::atomic<int> runs{0};
    std::vector<std::shared_ptr<DispatchWorkItem>> items;
    for (int i = 0; i < 20; ++i) {
        items.push_back(DispatchWorkItem::create([&] { ++runs; }));
        queue->async(items.back());
    }

    std::thread canceller([&] {
        for (auto& item : items) {
            item->cancel();
        }
    });
    canceller.join();
    gate.set_value();
    queue->sync([] {});

    EXPECT_EQ(runs.load(), 0);
}

// Tears down on its queue, directly when already there, otherwise by a sync.
class Owner {
public:
    Owner(QueuePtr queue, std::vector<std::string>& log) : queue_(std::move(queue)), log_(log) {}
    ~Owner() {
        if (queue_->isCurrent()) {
            log_.push_back("directly");
            return;
        }
        queue_->sync([this] { log_.push_back("by sync"); });
    }

private:
    QueuePtr queue_;
    std::vector<std::string>& log_;
};

TEST_F(RealThreadTest, OwnerDestructor_TearsDownWithoutDeadlockOnItsQueueAndElsewhere) {
    auto queue = DispatchQueue::create("owner");
    auto onQueue = std::make_shared<Owner>(queue, log_);
    std::promise<void> released;
    queue->async([owner = std::move(onQueue), &released]() mutable {
        owner.reset();
        released.set_value();
    });
    released.get_future().wait();

    auto elsewhere = std::make_unique<Owner>(queue, log_);
    queue->async([] {});
    elsewhere.reset();

    queue->sync([] {});
    EXPECT_EQ(log_, (std::vector<std::string>{"directly", "by sync"}));
}

TEST_F(RealThreadTest, QueueReleasedFromItsOwnWork_EndsWithoutJoiningItself) {
    std::promise<void> ran;
    std::weak_ptr<DispatchQueue> weak;
    {
        auto queue = DispatchQueue::create("self-release");
        weak = queue;
        queue->async([queue, &ran]() mutable {
            queue.reset();
            ran.set_value();
        });
    }
    ran.get_future().wait();
    // The queue's last reference went with the work on its own worker; a
    // second queue proves the process carries on.
    auto next = DispatchQueue::create("next");
    next->sync([] {});
    SUCCEED();
}

TEST_F(RealThreadTest, DroppedTimer_StopsFiringWithoutCancel) {
    auto queue = DispatchQueue::create("timer");
    std::atomic<int> fires{0};
    std::promise<void> firedTwice;
    auto timer = DispatchSourceTimer::create(queue);
    timer->setEventHandler([&] {
        if (++fires == 2) {
            firedTwice.set_value();
        }
    });
    timer->schedule(0.0005, 0.0005);
    timer->resume();
    firedTwice.get_future().wait();

    queue->sync([&] { timer.reset(); });
    const int afterDrop = fires.load();
    std::promise<void> later;
    queue->asyncAfter(0.003, [&] { later.set_value(); });
    later.get_future().wait();
    EXPECT_EQ(fires.load(), afterDrop);
}

}  // namespace
}  // namespace dispatch
