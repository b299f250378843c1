// The one monotonic clock for deadlines and the host clock.
//
// Outside virtual time both read CLOCK_MONOTONIC; while a VirtualTime scope is
// alive both answer the virtual clock, so deadlines and host times computed by
// the code under test agree with the clock the test advances.
//
// Thread-safety: callable from any thread.
#pragma once

#include <chrono>
#include <cstdint>

namespace dispatch {

// Seconds of the monotonic clock; the clock's zero is arbitrary.
using Seconds = double;

// The monotonic clock for deadlines. In virtual time it answers the virtual clock.
[[nodiscard]] Seconds now();
// The host clock in nanoseconds, monotonic (AudioGetCurrentHostTime builds on
// it); virtual in virtual time too. Safe on the render thread: no allocation,
// no lock.
[[nodiscard]] std::uint64_t hostTimeNanoseconds() noexcept;

namespace detail {
// CLOCK_MONOTONIC in seconds, whatever the mode.
[[nodiscard]] Seconds monotonicNow();
// A deadline of the monotonic clock as a steady_clock time point to wait until;
// deadlines beyond the time point's range (infinity and not-a-number too) saturate.
[[nodiscard]] std::chrono::steady_clock::time_point steadyTimePoint(Seconds deadline);
// A delay or interval as the queues order it: not-a-number means none (0), since it
// would break the deadline order of everything queued with it.
[[nodiscard]] inline Seconds orderableDelay(Seconds delay) { return delay == delay ? delay : 0; }
}  // namespace detail

}  // namespace dispatch
