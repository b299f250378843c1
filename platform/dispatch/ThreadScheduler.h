// Real-thread execution: each serial queue drains on its own worker thread.
//
// A worker starts at a queue's first submission and ends when the queue is
// destroyed (detached instead of joined when that happens on the worker
// itself). The main queue has no worker: MainRunLoop drains it. Private to
// dispatch.
//
// Thread-safety: every operation may be called from any thread.
#pragma once

#include "platform/dispatch/MainRunLoop.h"
#include "platform/dispatch/Scheduler.h"

#include <atomic>
#include <optional>

namespace dispatch::detail {

class QueueCore;

// The driver MainRunLoop::setDriver installed, or nullptr.
[[nodiscard]] MainQueueDriver* installedMainDriver();

class ThreadScheduler final : public Scheduler {
public:
    [[nodiscard]] static ThreadScheduler& instance();

    [[nodiscard]] Seconds now() const override;
    Ticket submit(const QueuePtr& queue, Seconds deadline, std::function<void()> work) override;
    void sync(const QueuePtr& queue, const std::function<void()>& work) override;

    void withdraw(QueueCore& core, const WorkKey& key);
    // Ends the worker of a queue that is being destroyed.
    void shutdown(QueueCore& core);

    // The main queue's loop: runs until it finds isStopRequested set, which it
    // clears. Whoever sets the flag calls wakeMain.
    void runMain(QueueCore& main, std::atomic<bool>& isStopRequested);
    void wakeMain(QueueCore& main);
    // Runs the main queue's due work submitted before the call; answers the
    // next pending deadline.
    std::optional<Seconds> drainMain(QueueCore& main);
    // The earliest pending deadline on a queue, if any.
    [[nodiscard]] std::optional<Seconds> nextDeadline(QueueCore& core);

private:
    ThreadScheduler() = default;
    // Runs, on the calling thread, the queue's work due before key.
    void runDueBefore(QueueCore& core, const WorkKey& key);
    void enqueue(const QueuePtr& queue, const WorkKey& key, PendingWork work);
};

}  // namespace dispatch::detail
