// The one rule for gains that reach a route: clamped to 0...1, not-a-number is silence.
// Used by the route controller on its control queue and by the renderer on the IO thread.
// Thread-safety: a pure function; realtime-safe.
#pragma once

namespace tonvale {

// Values at or below 0 and not-a-number become 0; values above 1 (infinity too) become 1.
[[nodiscard]] constexpr float clampedGain(float gain) noexcept {
    if (!(gain > 0.0F)) {
        return 0.0F;
    }
    return gain > 1.0F ? 1.0F : gain;
}

}  // namespace tonvale
