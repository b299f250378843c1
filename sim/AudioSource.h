// What a simulated process plays (or a simulated input device hears): a sine of
// a given frequency and level, deterministic noise, or silence.
//
// A plain value. Rendering is a pure function of the absolute frame index, so
// the same source renders identically on every device at any time.
// Thread-safety: render is const and touches no shared state; realtime-safe.
#pragma once

#include <cstdint>

namespace sim {

struct AudioSource {
    enum class Kind { silence, sine, noise };

    Kind kind = Kind::silence;
    double frequency = 0.0;
    // Peak level in dBFS (sine) or the level of the uniform noise's peak.
    double levelDBFS = -120.0;

    [[nodiscard]] static AudioSource sine(double frequency, double levelDBFS) {
        return {Kind::sine, frequency, levelDBFS};
    }
    [[nodiscard]] static AudioSource noise(double levelDBFS) { return {Kind::noise, 0.0, levelDBFS}; }
    [[nodiscard]] static AudioSource silence() { return {}; }

    // Linear peak amplitude of the level.
    [[nodiscard]] double amplitude() const noexcept;

    // Adds frames [firstFrame, firstFrame + frames) at sampleRate into an
    // interleaved buffer of the given channel count (every channel the same).
    void renderAdding(std::int64_t firstFrame, double sampleRate, float* interleaved, std::uint32_t frames,
                      std::uint32_t channels) const noexcept;

    bool operator==(const AudioSource&) const = default;
};

}  // namespace sim
