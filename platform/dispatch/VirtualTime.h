// Virtual time for tests: a deterministic scheduler behind every queue.
//
// While one is alive, all work (any queue, the main queue, timers) runs on the
// thread that advances it, in (deadline, submission) order with its queue
// current, and now() answers the virtual clock. The test owns it.
//
// Thread-safety: create, advance and destroy it on the test's thread.
#pragma once

#include "platform/dispatch/Clock.h"

#include <cstddef>
#include <memory>

namespace dispatch {

namespace detail {
class VirtualScheduler;
}

// The clock starts at kStart. sync runs its block inline on the caller's thread
// after the target queue's earlier due work. On destruction pending work is
// dropped (destroyed with its queue current) and real threads take over again.
//
// Limits: no real concurrency (work submitted from other threads is accepted
// but runs on the advancing thread); one at a time, outliving every thread
// that submits work; work given to real threads before it was created still
// runs there; advancing from inside work it runs is not supported.
class VirtualTime {
public:
    // Where the virtual clock starts: far enough from zero that "a while ago"
    // is still a positive time.
    static constexpr Seconds kStart = 10000.0;

    VirtualTime();
    ~VirtualTime();
    VirtualTime(const VirtualTime&) = delete;
    VirtualTime& operator=(const VirtualTime&) = delete;

    // Runs everything due up to now + seconds, moving the clock to each item's
    // deadline before running it, and ends with the clock at now + seconds.
    // Work submitted meanwhile that falls due within that span runs too.
    void advance(Seconds seconds);
    // Runs what is due now, without moving the clock.
    void runUntilIdle();
    // Advances to the next deadline and runs that one item; false when nothing
    // is pending.
    bool runNext();
    [[nodiscard]] std::size_t pendingCount() const;
    [[nodiscard]] Seconds now() const;

private:
    std::unique_ptr<detail::VirtualScheduler> scheduler_;
};

}  // namespace dispatch
