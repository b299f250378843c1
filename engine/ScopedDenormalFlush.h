// Flushes denormal numbers to zero while it lives, and gives the thread back its own
// floating-point state when it goes: on x86-64 it sets the flush-to-zero and
// denormals-are-zero bits of MXCSR, elsewhere it does nothing. The renderer holds one for
// each IO cycle: a sound decaying towards silence passes through denormal values, which
// are inaudible and cost far more per operation than normal ones.
// Thread-safety: the floating-point state belongs to the thread; made and ended on one
// thread. Realtime: allocates nothing, locks nothing.
#pragma once

#if defined(__x86_64__)
#include <pmmintrin.h>
#endif

namespace tonvale {

class ScopedDenormalFlush {
public:
    ScopedDenormalFlush() noexcept {
#if defined(__x86_64__)
        if (!isChanged_) {
            return;
        }
        _mm_setcsr(saved_ | kFlushBits);
#endif
    }
    ~ScopedDenormalFlush() {
#if defined(__x86_64__)
        // Also drops the exception flags the cycle raised: they are not the caller's.
        if (isChanged_) {
            _mm_setcsr(saved_);
        }
#endif
    }
    ScopedDenormalFlush(const ScopedDenormalFlush&) = delete;
    ScopedDenormalFlush& operator=(const ScopedDenormalFlush&) = delete;

private:
#if defined(__x86_64__)
    // Results too small to be normal become zero, and such inputs read as zero.
    static constexpr unsigned kFlushBits = _MM_FLUSH_ZERO_ON | _MM_DENORMALS_ZERO_ON;
    const unsigned saved_ = _mm_getcsr();
    // A thread that flushes already is left alone.
    const bool isChanged_ = (saved_ & kFlushBits) != kFlushBits;
#endif
};

}  // namespace tonvale
