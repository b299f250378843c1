#include "platform/dispatch/Clock.h"

#include "platform/dispatch/Scheduler.h"
#include "platform/dispatch/VirtualScheduler.h"

#include <chrono>
#include <cmath>

namespace dispatch {

namespace detail {
Seconds monotonicNow() {
    // steady_clock is CLOCK_MONOTONIC here, the clock the workers wait on.
    return std::chrono::duration<Seconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::chrono::steady_clock::time_point steadyTimePoint(Seconds deadline) {
    // The clock's nanoseconds end after about 292 years; converting a deadline past that
    // (a caller's "forever", or a huge delay) would wrap into the past, and a waiter
    // would spin instead of sleeping. Such deadlines saturate at either end.
    constexpr Seconds kLatest = 9.2e9;
    if (!(deadline < kLatest)) {
        return std::chrono::steady_clock::time_point::max();
    }
    if (deadline < -kLatest) {
        return std::chrono::steady_clock::time_point::min();
    }
    return std::chrono::steady_clock::time_point(
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<Seconds>(deadline)));
}
}  // namespace detail

Seconds now() { return detail::activeScheduler().now(); }

std::uint64_t hostTimeNanoseconds() noexcept {
    if (detail::VirtualScheduler* scheduler = detail::installedVirtualScheduler()) {
        return static_cast<std::uint64_t>(std::llround(scheduler->now() * 1e9));
    }
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

}  // namespace dispatch
