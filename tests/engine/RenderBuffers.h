// Buffer lists for driving a render function by hand: any number of buffers with any
// channel count, byte size (odd ones included) or missing data, each followed by guard
// samples that must survive the cycle. Test thread only.
#pragma once

#include <cstddef>
#include <cstring>
#include <vector>

#include "platform/coreaudio/CoreAudio.h"

namespace tonvale::testing {

struct BufferLayout {
    UInt32 channels = 2;
    UInt32 byteSize = 0;
    bool hasData = true;
};

inline BufferLayout interleavedStereo(UInt32 frames) { return {2, frames * 8, true}; }
inline BufferLayout mono(UInt32 frames) { return {1, frames * 4, true}; }

class RenderBuffers {
public:
    static constexpr float kGuard = 12345.0F;
    static constexpr std::size_t kGuardSamples = 8;

    explicit RenderBuffers(const std::vector<BufferLayout>& layouts, float value = 0.0F)
        : layouts_(layouts),
          listStorage_(audioBufferListSize(static_cast<UInt32>(layouts.size()))),
          samples_(layouts.size()) {
        list()->mNumberBuffers = static_cast<UInt32>(layouts.size());
        for (std::size_t index = 0; index < layouts.size(); ++index) {
            samples_[index].assign((layouts[index].byteSize + 3) / 4 + kGuardSamples, kGuard);
            list()->mBuffers[index] = {layouts[index].channels, layouts[index].byteSize,
                                       layouts[index].hasData ? samples_[index].data() : nullptr};
        }
        fill(value);
    }

    AudioBufferList* list() { return reinterpret_cast<AudioBufferList*>(listStorage_.data()); }

    // Sets every whole sample inside the declared byte sizes.
    void fill(float value) {
        for (std::size_t index = 0; index < samples_.size(); ++index) {
            std::fill_n(samples_[index].begin(), sampleCount(index), value);
        }
    }
    [[nodiscard]] float sample(std::size_t buffer, std::size_t index) const { return samples_[buffer][index]; }
    [[nodiscard]] std::size_t sampleCount(std::size_t buffer) const { return layouts_[buffer].byteSize / 4; }

    // True when no byte past the declared byte sizes was written.
    [[nodiscard]] bool areGuardsIntact() const {
        const float guard = kGuard;
        for (std::size_t index = 0; index < samples_.size(); ++index) {
            const auto* bytes = reinterpret_cast<const unsigned char*>(samples_[index].data());
            for (std::size_t byte = layouts_[index].byteSize; byte < samples_[index].size() * 4; ++byte) {
                if (bytes[byte] != reinterpret_cast<const unsigned char*>(&guard)[byte % 4]) {
                    return false;
                }
            }
        }
        return true;
    }

private:
    std::vector<BufferLayout> layouts_;
    std::vector<std::byte> listStorage_;
    std::vector<std::vector<float>> samples_;
};

}  // namespace tonvale::testing
