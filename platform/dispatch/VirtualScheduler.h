// Virtual-time execution: one deterministic list of every queue's work.
//
// Installed by VirtualTime for its lifetime. Work runs on the thread that
// advances the clock, in (deadline, submission) order, with its queue current.
// Private to dispatch.
//
// Thread-safety: submissions may come from any thread; running belongs to the
// thread that owns the VirtualTime.
#pragma once

#include "platform/dispatch/Scheduler.h"

#include <atomic>
#include <cstddef>
#include <map>
#include <mutex>
#include <optional>

namespace dispatch::detail {

class VirtualScheduler final : public Scheduler {
public:
    VirtualScheduler(Seconds start, std::uint64_t generation);
    VirtualScheduler(const VirtualScheduler&) = delete;
    VirtualScheduler& operator=(const VirtualScheduler&) = delete;

    [[nodiscard]] Seconds now() const override;
    Ticket submit(const QueuePtr& queue, Seconds deadline, std::function<void()> work) override;
    // Runs the block inline after the queue's own earlier due work.
    void sync(const QueuePtr& queue, const std::function<void()>& work) override;

    [[nodiscard]] std::uint64_t generation() const { return generation_; }
    void withdraw(const WorkKey& key);

    void advance(Seconds seconds);
    void runUntilIdle();
    bool runNext();
    [[nodiscard]] std::size_t pendingCount() const;
    // Runs one queue's due work submitted before the call; answers that
    // queue's next deadline.
    std::optional<Seconds> drain(const QueueCore& core);
    // Destroys every pending item, including items their destructors submit.
    void dropAll();

private:
    // Runs the first pending item with a key below limit whose queue matches
    // (any queue when core is null), moving the clock up to its deadline.
    bool runFirstBefore(const WorkKey& limit, const QueueCore* core);

    const std::uint64_t generation_;
    mutable std::mutex mutex_;
    std::map<WorkKey, PendingWork> pending_;
    std::atomic<Seconds> now_;
};

}  // namespace dispatch::detail
