// What a device played over a stretch of time, read back from the simulated
// server, with the measurements tests make on it.
//
// A plain value (interleaved 32-bit float samples); owned by the caller.
// Thread-safety: a value; copies may move freely between threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

struct PlayedAudio {
    double sampleRate = 0.0;
    std::uint32_t channels = 0;
    std::vector<float> samples;

    [[nodiscard]] std::size_t frameCount() const { return channels == 0 ? 0 : samples.size() / channels; }
    // Peak amplitude of the sine component at frequency on one channel
    // (single-bin discrete Fourier transform over the whole stretch).
    [[nodiscard]] double toneAmplitude(double frequency, std::uint32_t channel = 0) const;
    [[nodiscard]] double rms(std::uint32_t channel = 0) const;
    [[nodiscard]] double peak() const;

    bool operator==(const PlayedAudio&) const = default;
};

}  // namespace sim
