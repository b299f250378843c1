#include "sim/DeviceIO.h"

#include "platform/coreaudio/AudioHardware.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace sim {

namespace {

// The device IO whose cycle runs on this thread, if any.
thread_local const DeviceIO* cycleIO = nullptr;

float clampUnit(float value) { return std::clamp(value, -1.0F, 1.0F); }

void store(std::byte* at, const StreamLayout& layout, float value) {
    if (layout.isFloat && layout.bitsPerChannel == 32) {
        std::memcpy(at, &value, sizeof(value));
        return;
    }
    if (layout.isFloat) {
        return;
    }
    switch (layout.bitsPerChannel) {
        case 16: {
            const auto sample = static_cast<std::int16_t>(std::lround(clampUnit(value) * 32767.0F));
            std::memcpy(at, &sample, sizeof(sample));
            return;
        }
        case 24: {
            const auto sample = static_cast<std::int32_t>(std::lround(clampUnit(value) * 8388607.0F));
            at[0] = static_cast<std::byte>(sample & 0xFF);
            at[1] = static_cast<std::byte>((sample >> 8) & 0xFF);
            at[2] = static_cast<std::byte>((sample >> 16) & 0xFF);
            return;
        }
        case 32: {
            const auto sample =
                static_cast<std::int32_t>(std::lround(static_cast<double>(clampUnit(value)) * 2147483647.0));
            std::memcpy(at, &sample, sizeof(sample));
            return;
        }
        default:
            return;
    }
}

float load(const std::byte* at, const StreamLayout& layout) {
    if (layout.isFloat && layout.bitsPerChannel == 32) {
        float value = 0.0F;
        std::memcpy(&value, at, sizeof(value));
        return std::isfinite(value) ? value : 0.0F;
    }
    if (layout.isFloat) {
        return 0.0F;
    }
    switch (layout.bitsPerChannel) {
        case 16: {
            std::int16_t sample = 0;
            std::memcpy(&sample, at, sizeof(sample));
            return static_cast<float>(sample) / 32767.0F;
        }
        case 24: {
            std::int32_t sample = static_cast<std::int32_t>(std::to_integer<std::uint32_t>(at[0]) |
                                                            (std::to_integer<std::uint32_t>(at[1]) << 8) |
                                                            (std::to_integer<std::uint32_t>(at[2]) << 16));
            if ((sample & 0x800000) != 0) {
                sample -= 0x1000000;
            }
            return static_cast<float>(sample) / 8388607.0F;
        }
        case 32: {
            std::int32_t sample = 0;
            std::memcpy(&sample, at, sizeof(sample));
            return static_cast<float>(static_cast<double>(sample) / 2147483647.0);
        }
        default:
            return 0.0F;
    }
}

}  // namespace

StreamLayout StreamLayout::of(const AudioStreamBasicDescription& format) {
    StreamLayout layout;
    layout.channels = format.mChannelsPerFrame;
    layout.isInterleaved = (format.mFormatFlags & kAudioFormatFlagIsNonInterleaved) == 0;
    layout.isFloat = (format.mFormatFlags & kAudioFormatFlagIsFloat) != 0;
    layout.bitsPerChannel = format.mBitsPerChannel;
    return layout;
}

void BufferListStorage::layOut(const std::vector<StreamLayout>& streams, UInt32 frames) {
    UInt32 bufferCount = 0;
    std::size_t bytes = 0;
    placements_.resize(streams.size());
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const StreamLayout& layout = streams[i];
        placements_[i] = {layout, bufferCount};
        bufferCount += layout.isInterleaved ? 1 : layout.channels;
        bytes += static_cast<std::size_t>(frames) * layout.channels * layout.bytesPerSample();
    }
    frames_ = frames;
    if (listMemory_.size() < audioBufferListSize(bufferCount)) {
        listMemory_.resize(audioBufferListSize(bufferCount));
    }
    if (sampleMemory_.size() < bytes) {
        sampleMemory_.resize(bytes);
    }
    AudioBufferList* bufferList = list();
    bufferList->mNumberBuffers = bufferCount;
    std::byte* data = sampleMemory_.data();
    for (const Placement& placement : placements_) {
        const StreamLayout& layout = placement.layout;
        const UInt32 buffers = layout.isInterleaved ? 1 : layout.channels;
        const UInt32 channelsPerBuffer = layout.isInterleaved ? layout.channels : 1;
        for (UInt32 b = 0; b < buffers; ++b) {
            AudioBuffer& buffer = bufferList->mBuffers[placement.firstBuffer + b];
            buffer.mNumberChannels = channelsPerBuffer;
            buffer.mDataByteSize = frames * channelsPerBuffer * layout.bytesPerSample();
            buffer.mData = data;
            data += buffer.mDataByteSize;
        }
    }
}

void BufferListStorage::zero() {
    AudioBufferList* bufferList = list();
    for (UInt32 b = 0; b < bufferList->mNumberBuffers; ++b) {
        if (bufferList->mBuffers[b].mData != nullptr) {
            std::memset(bufferList->mBuffers[b].mData, 0, bufferList->mBuffers[b].mDataByteSize);
        }
    }
}

void BufferListStorage::write(std::size_t stream, const float* interleaved, UInt32 frames) {
    const Placement& placement = placements_[stream];
    const StreamLayout& layout = placement.layout;
    const UInt32 bytes = layout.bytesPerSample();
    AudioBufferList* bufferList = list();
    frames = std::min(frames, frames_);
    for (UInt32 channel = 0; channel < layout.channels; ++channel) {
        AudioBuffer& buffer = bufferList->mBuffers[placement.firstBuffer + (layout.isInterleaved ? 0 : channel)];
        auto* base = static_cast<std::byte*>(buffer.mData);
        const UInt32 stride = buffer.mNumberChannels;
        const UInt32 offset = layout.isInterleaved ? channel : 0;
        for (UInt32 frame = 0; frame < frames; ++frame) {
            store(base + (static_cast<std::size_t>(frame) * stride + offset) * bytes, layout,
                  interleaved[static_cast<std::size_t>(frame) * layout.channels + channel]);
        }
    }
}

void BufferListStorage::read(std::size_t stream, float* interleaved, UInt32 frames) {
    const Placement& placement = placements_[stream];
    const StreamLayout& layout = placement.layout;
    const UInt32 bytes = layout.bytesPerSample();
    AudioBufferList* bufferList = list();
    frames = std::min(frames, frames_);
    for (UInt32 channel = 0; channel < layout.channels; ++channel) {
        AudioBuffer& buffer = bufferList->mBuffers[placement.firstBuffer + (layout.isInterleaved ? 0 : channel)];
        const auto* base = static_cast<const std::byte*>(buffer.mData);
        const UInt32 stride = buffer.mNumberChannels;
        const UInt32 offset = layout.isInterleaved ? channel : 0;
        for (UInt32 frame = 0; frame < frames; ++frame) {
            interleaved[static_cast<std::size_t>(frame) * layout.channels + channel] =
                load(base + (static_cast<std::size_t>(frame) * stride + offset) * bytes, layout);
        }
    }
}

DeviceIO::CycleLock::CycleLock(DeviceIO& io) : lock_(io.mutex), outer_(std::exchange(cycleIO, &io)) {}

DeviceIO::CycleLock::~CycleLock() { cycleIO = outer_; }

std::unique_lock<std::mutex> DeviceIO::lock() {
    std::unique_lock locked(mutex, std::defer_lock);
    if (cycleIO != this) {
        locked.lock();
    }
    return locked;
}

IOProcEntry* DeviceIO::entry(AudioDeviceIOProcID id) {
    for (auto& candidate : procs) {
        if (candidate.id == id) {
            return &candidate;
        }
    }
    return nullptr;
}

void DeviceIO::render(std::int64_t frame) {
    const UInt32 frames = plan.frames;
    UInt32 widest = 2;
    inputLayouts.clear();
    outputLayouts.clear();
    std::size_t mixSamples = 0;
    for (const auto& input : plan.inputs) {
        inputLayouts.push_back(input.layout);
        widest = std::max(widest, input.layout.channels);
    }
    for (const auto& output : plan.outputs) {
        outputLayouts.push_back(output.layout);
        widest = std::max(widest, output.layout.channels);
        mixSamples += static_cast<std::size_t>(frames) * output.layout.channels;
    }
    block.resize(static_cast<std::size_t>(frames) * widest);
    mix.assign(mixSamples, 0.0F);

    inputBuffers.layOut(inputLayouts, frames);
    for (std::size_t i = 0; i < plan.inputs.size(); ++i) {
        const auto& input = plan.inputs[i];
        std::fill(block.begin(), block.end(), 0.0F);
        for (const auto& source : input.sources) {
            source.renderAdding(frame, plan.sampleRate, block.data(), frames, input.layout.channels);
        }
        inputBuffers.write(i, block.data(), frames);
    }

    if (plan.callsProcs && !plan.procs.empty()) {
        AudioTimeStamp now{};
        now.mSampleTime = static_cast<Float64>(frame);
        now.mHostTime = AudioGetCurrentHostTime();
        now.mRateScalar = 1.0;
        now.mFlags = kAudioTimeStampSampleTimeValid | kAudioTimeStampHostTimeValid | kAudioTimeStampRateScalarValid;
        AudioTimeStamp outputTime = now;
        outputTime.mSampleTime = static_cast<Float64>(frame + frames);
        for (const auto& planned : plan.procs) {
            // A procedure stopped by an earlier one in this cycle is not called.
            const IOProcEntry* current = entry(planned.id);
            if (current == nullptr || !current->isStarted) {
                continue;
            }
            outputBuffers.layOut(outputLayouts, frames);
            outputBuffers.zero();
            inputBuffers.layOut(inputLayouts, frames);
            planned.proc(plan.deviceID, &now, inputBuffers.list(), &now, outputBuffers.list(), &outputTime,
                         planned.clientData);
            float* out = mix.data();
            for (std::size_t i = 0; i < plan.outputs.size(); ++i) {
                const UInt32 channels = plan.outputs[i].layout.channels;
                outputBuffers.read(i, block.data(), frames);
                for (std::size_t s = 0; s < static_cast<std::size_t>(frames) * channels; ++s) {
                    out[s] += block[s];
                }
                out += static_cast<std::size_t>(frames) * channels;
            }
        }
    }

    float* out = mix.data();
    for (std::size_t i = 0; i < plan.outputs.size(); ++i) {
        const auto& output = plan.outputs[i];
        const UInt32 channels = output.layout.channels;
        if (i == 0 && plan.ownTimeline) {
            for (const auto& source : plan.direct) {
                source.renderAdding(frame, plan.sampleRate, out, frames, channels);
            }
        }
        for (const auto& target : output.targets) {
            const auto targetFrame = std::llround(static_cast<double>(frame) * target->sampleRate() / plan.sampleRate);
            target->add(targetFrame, out, frames, channels);
        }
        out += static_cast<std::size_t>(frames) * channels;
    }
}

}  // namespace sim
