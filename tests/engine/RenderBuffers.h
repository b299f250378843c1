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

    explicit RenderBuffers(const std::vector<BufferLayout>& layouts) : listStorage_(audioBufferListSize(
                                                                       static_cast<UInt32>(layouts.size()))) {
        list()->mNumberBuffers = static_cast<UInt32>(layouts.size());
        samples_.resize(layouts.size());
        for (std::size_t index = 0; index < layouts.size(); ++index) {
            const std::size_t sampleCount = (layouts[index].byteSize + 3) / 4;
            samples_[index].assign(sampleCount + kGuardSamples, kGuard);
            AudioBuffer& buffer = list()->mBuffers[index];
            buffer.mNumberChannels = layouts[index].channels;
            buffer.mDataByteSize = layouts[index].byteSize;
            buffer.mData = layouts[index].hasData ? samples_[index].data() : nullptr;
            byteSizes_.push_back(layouts[index].byteSize);
        }
    }

    AudioBufferList* list() { return reinterpret_cast<AudioBufferList*>(listStorage_.data()); }

    // Sets every sample inside the declared byte size; bytes of a trailing partial sample too.
    void fill(float value) {
        for (std::size_t index = 0; index < samples_.size(); ++index) {
            for (std::size_t sample = 0; sample < byteSizes_[index] / 4; ++sample) {
                samples_[index][sample] = value;
            }
        }
    }
    [[nodiscard]] float sample(std::size_t buffer, std::size_t index) const { return samples_[buffer][index]; }
    [[nodiscard]] std::size_t sampleCount(std::size_t buffer) const { return byteSizes_[buffer] / 4; }

    // True when no byte past the declared byte size was written.
    [[nodiscard]] bool areGuardsIntact() const {
        const float guard = kGuard;
        const auto* guardBytes = reinterpret_cast<const unsigned char*>(&guard);
        for (std::size_t index = 0; index < samples_.size(); ++index) {
            const auto* bytes = reinterpret_cast<const unsigned char*>(samples_[index].data());
            for (std::size_t byte = byteSizes_[index]; byte < samples_[index].size() * 4; ++byte) {
                if (bytes[byte] != guardBytes[byte % 4]) {
                    return false;
                }
            }
        }
        return true;
    }

private:
    std::vector<std::byte> listStorage_;
    std::vector<std::vector<float>> samples_;
    std::vector<UInt32> byteSizes_;
};

}  // namespace tonvale::testing
