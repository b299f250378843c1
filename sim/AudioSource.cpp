#include "sim/AudioSource.h"

#include <cmath>
#include <numbers>

namespace sim {

namespace {

// A stateless hash of the frame index: the same frame always gets the same sample.
float noiseSample(std::int64_t frame) noexcept {
    auto x = static_cast<std::uint64_t>(frame) * 0x9E3779B97F4A7C15ULL;
    x ^= x >> 31;
    x *= 0xBF58476D1CE4E5B9ULL;
    x ^= x >> 29;
    return static_cast<float>(static_cast<double>(x >> 11) / static_cast<double>(1ULL << 53) * 2.0 - 1.0);
}

}  // namespace

double AudioSource::amplitude() const noexcept {
    if (kind == Kind::silence) {
        return 0.0;
    }
    return std::pow(10.0, levelDBFS / 20.0);
}

void AudioSource::renderAdding(std::int64_t firstFrame, double sampleRate, float* interleaved, std::uint32_t frames,
                               std::uint32_t channels) const noexcept {
    if (channels == 0 || sampleRate <= 0.0) {
        return;
    }
    const double gain = amplitude();
    switch (kind) {
        case Kind::silence:
            return;
        case Kind::sine: {
            // The phase of the first frame is taken exactly; the following frames rotate
            // by a fixed step, which keeps a long block cheap and accurate enough.
            const double step = 2.0 * std::numbers::pi * frequency / sampleRate;
            const double phase = std::fmod(static_cast<double>(firstFrame) * step, 2.0 * std::numbers::pi);
            double s = std::sin(phase);
            double c = std::cos(phase);
            const double stepSin = std::sin(step);
            const double stepCos = std::cos(step);
            for (std::uint32_t frame = 0; frame < frames; ++frame) {
                const auto value = static_cast<float>(gain * s);
                for (std::uint32_t channel = 0; channel < channels; ++channel) {
                    interleaved[frame * channels + channel] += value;
                }
                const double nextS = s * stepCos + c * stepSin;
                c = c * stepCos - s * stepSin;
                s = nextS;
            }
            return;
        }
        case Kind::noise:
            for (std::uint32_t frame = 0; frame < frames; ++frame) {
                const auto value = static_cast<float>(gain) * noiseSample(firstFrame + frame);
                for (std::uint32_t channel = 0; channel < channels; ++channel) {
                    interleaved[frame * channels + channel] += value;
                }
            }
            return;
    }
}

}  // namespace sim
