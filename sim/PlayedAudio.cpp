#include "sim/PlayedAudio.h"

#include <cmath>
#include <numbers>

namespace sim {

double PlayedAudio::toneAmplitude(double frequency, std::uint32_t channel) const {
    const std::size_t frames = frameCount();
    if (frames == 0 || channel >= channels || sampleRate <= 0.0) {
        return 0.0;
    }
    const double step = 2.0 * std::numbers::pi * frequency / sampleRate;
    double real = 0.0;
    double imaginary = 0.0;
    for (std::size_t frame = 0; frame < frames; ++frame) {
        const double sample = samples[frame * channels + channel];
        const double phase = step * static_cast<double>(frame);
        real += sample * std::cos(phase);
        imaginary -= sample * std::sin(phase);
    }
    return 2.0 * std::hypot(real, imaginary) / static_cast<double>(frames);
}

double PlayedAudio::rms(std::uint32_t channel) const {
    const std::size_t frames = frameCount();
    if (frames == 0 || channel >= channels) {
        return 0.0;
    }
    double sum = 0.0;
    for (std::size_t frame = 0; frame < frames; ++frame) {
        const double sample = samples[frame * channels + channel];
        sum += sample * sample;
    }
    return std::sqrt(sum / static_cast<double>(frames));
}

double PlayedAudio::peak() const {
    double highest = 0.0;
    for (const float sample : samples) {
        highest = std::max(highest, static_cast<double>(std::fabs(sample)));
    }
    return highest;
}

}  // namespace sim
