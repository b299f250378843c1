// The dispatch layer on real threads and the real clock, under ThreadSanitizer: queues stay
// serial and in order while many threads submit, sync, cancel and run timers, and a queue
// may be released by its own work. The rules themselves are proven in virtual time.
#include "platform/dispatch/Dispatch.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace dispatch {
namespace {

// State touched only on its own queue, without locks: the sanitizer reports
// any two pieces of work that overlap.
struct QueueState {
    QueuePtr queue;
    long total = 0;
    std::array<long, 8> lastFromThread{};
    bool isOutOfOrder = false;
    bool hasRunOffQueue = false;
};

// Waits until `queue` has run everything due before `delay` from now.
void drainAfter(const QueuePtr& queue, Seconds delay) {
    std::promise<void> done;
    queue->asyncAfter(delay, [&] { done.set_value(); });
    done.get_future().wait();
}

class RealThreadTest : public ::testing::Test {};

TEST_F(RealThreadTest, ManyQueuesAndThreads_RunSeriallyInOrderWithCancellationAndTimers) {
    constexpr int kQueues = 6;
    constexpr int kThreads = 4;
    constexpr long kRounds = 150;
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
    // Each queue runs in deadline order, so work due after everything else runs last.
    for (auto& state : states) {
        drainAfter(state.queue, 0.002);
    }

    long total = 0;
    for (auto& state : states) {
        state.queue->sync([&] {
            EXPECT_FALSE(state.isOutOfOrder) << state.queue->label();
            EXPECT_FALSE(state.hasRunOffQueue) << state.queue->label();
            total += state.total;
        });
    }
    const long delayed = kRounds / 7;
    const long synced = kRounds / 13;
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

    std::thread([&] {
        for (auto& item : items) {
            item->cancel();
        }
    }).join();
    gate.set_value();
    queue->sync([] {});

    EXPECT_EQ(runs.load(), 0);
}

TEST_F(RealThreadTest, QueueReleasedFromItsOwnWork_EndsWithoutJoiningItself) {
    std::promise<void> ran;
    {
        auto queue = DispatchQueue::create("self-release");
        queue->async([queue, &ran]() mutable {
            queue.reset();
            ran.set_value();
        });
    }
    ran.get_future().wait();
    // The queue's last reference went with the work on its own worker; a
    // second queue proves the process carries on.
    DispatchQueue::create("next")->sync([] {});
}

}  // namespace
}  // namespace dispatch
