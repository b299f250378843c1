// Where submitted work goes: the interface both execution modes implement.
//
// ThreadScheduler runs each queue on real threads; VirtualScheduler runs every
// queue in virtual time while a VirtualTime scope is alive. activeScheduler()
// answers the one in charge at the moment of the call. Private to dispatch.
//
// Thread-safety: implementations accept calls from any thread.
#pragma once

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"

#include <compare>
#include <cstdint>
#include <functional>

namespace dispatch::detail {

class QueueCore;
class VirtualScheduler;
struct QueueFrame;

// Orders pending work: by deadline, then by submission.
struct WorkKey {
    Seconds deadline = 0;
    std::uint64_t sequence = 0;
    auto operator<=>(const WorkKey&) const = default;
    bool operator==(const WorkKey&) const = default;
};

// One submitted block and what it needs while it waits and runs.
struct PendingWork {
    std::function<void()> work;
    // Keeps the queue alive until the work has run.
    QueuePtr queue;
    // For a sync block run elsewhere: the queues its caller is running on, so
    // a nested sync back onto one of them is caught.
    const QueueFrame* caller = nullptr;
};

// Identifies submitted work so that it can be withdrawn before it runs.
struct Ticket {
    WorkKey key;
    // 0 for real threads; otherwise the VirtualTime scope it belongs to.
    std::uint64_t generation = 0;
    bool operator==(const Ticket&) const = default;
};

class Scheduler {
public:
    virtual ~Scheduler() = default;
    [[nodiscard]] virtual Seconds now() const = 0;
    // Queues work on queue to run at the absolute deadline.
    virtual Ticket submit(const QueuePtr& queue, Seconds deadline, std::function<void()> work) = 0;
    // Runs work on queue and returns once it has run.
    virtual void sync(const QueuePtr& queue, const std::function<void()>& work) = 0;
};

[[nodiscard]] Scheduler& activeScheduler();
// The virtual scheduler in charge, or nullptr in real mode.
[[nodiscard]] VirtualScheduler* installedVirtualScheduler();
// Installs (or, with nullptr, removes) the virtual scheduler; aborts when a
// second one arrives while one is installed.
void installVirtualScheduler(VirtualScheduler* scheduler);
// Removes work that has not started yet; does nothing if it already ran or
// belongs to a VirtualTime scope that is gone.
void withdraw(QueueCore& core, const Ticket& ticket);
// The next submission number, shared by both modes so that order survives a
// change of mode.
[[nodiscard]] std::uint64_t nextSequence();

// Access to a queue's private core for the other dispatch parts.
struct QueueAccess {
    [[nodiscard]] static QueueCore& core(const DispatchQueue& queue) { return *queue.core_; }
};

}  // namespace dispatch::detail
