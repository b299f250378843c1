#include "engine/AudioRouteRenderer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

#include "engine/Gain.h"
#include "engine/ScopedDenormalFlush.h"

namespace tonvale {

namespace {

constexpr double kRampSeconds = 0.007;
constexpr float kGainTolerance = 0.000001F;
constexpr UInt32 kBytesPerSample = sizeof(Float32);
constexpr UInt32 kRouteChannels = 2;

AudioObjectPropertyAddress streamsAddress(AudioObjectPropertyScope scope) {
    return {kAudioDevicePropertyStreams, scope, kAudioObjectPropertyElementMain};
}

UInt32 streamCount(AudioObjectID device, AudioObjectPropertyScope scope) {
    const AudioObjectPropertyAddress address = streamsAddress(scope);
    UInt32 size = 0;
    if (AudioObjectGetPropertyDataSize(device, &address, 0, nullptr, &size) != kAudioHardwareNoError) {
        return 0;
    }
    return size / sizeof(AudioObjectID);
}

bool readFirstStreamFormat(AudioObjectID device, AudioObjectPropertyScope scope, AudioStreamBasicDescription& format) {
    const AudioObjectPropertyAddress address = streamsAddress(scope);
    UInt32 size = 0;
    if (AudioObjectGetPropertyDataSize(device, &address, 0, nullptr, &size) != kAudioHardwareNoError ||
        size < sizeof(AudioObjectID)) {
        return false;
    }
    AudioObjectID stream = kAudioObjectUnknown;
    UInt32 streamSize = sizeof(stream);
    if (AudioObjectGetPropertyData(device, &address, 0, nullptr, &streamSize, &stream) != kAudioHardwareNoError) {
        return false;
    }
    const AudioObjectPropertyAddress formatAddress{kAudioStreamPropertyVirtualFormat, kAudioObjectPropertyScopeGlobal,
                                                   kAudioObjectPropertyElementMain};
    format = AudioStreamBasicDescription{};
    UInt32 formatSize = sizeof(format);
    return AudioObjectGetPropertyData(stream, &formatAddress, 0, nullptr, &formatSize, &format) ==
           kAudioHardwareNoError;
}

bool isFloat32PCM(const AudioStreamBasicDescription& format) {
    return format.mFormatID == kAudioFormatLinearPCM && (format.mFormatFlags & kAudioFormatFlagIsFloat) != 0 &&
           format.mBitsPerChannel == 32;
}

bool isNonInterleaved(const AudioStreamBasicDescription& format) {
    return (format.mFormatFlags & kAudioFormatFlagIsNonInterleaved) != 0;
}

// 7 ms at the output rate, truncated, never below one frame (also for rates that are
// not numbers or not positive).
std::uint32_t rampLength(Float64 sampleRate) {
    const double frames = sampleRate * kRampSeconds;
    if (!(frames >= 1.0)) {
        return 1;
    }
    if (frames >= static_cast<double>(std::numeric_limits<std::uint32_t>::max())) {
        return std::numeric_limits<std::uint32_t>::max();
    }
    return static_cast<std::uint32_t>(frames);
}

template <typename... Arguments>
std::string formatted(const char* format, Arguments... arguments) {
    const int length = std::snprintf(nullptr, 0, format, arguments...);
    std::string text(static_cast<std::size_t>(std::max(length, 0)) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, arguments...);
    text.resize(text.size() - 1);
    return text;
}

bool fail(AudioRouteRendererError* error, std::int64_t code, std::string message) {
    if (error != nullptr) {
        *error = AudioRouteRendererError{kAudioRouteRendererErrorDomain, code, std::move(message)};
    }
    return false;
}

// Counts one more. Only the IO thread writes the counters, so a plain increment published
// with one store is enough; a locked add costs about a fifth of a quiet cycle.
void countOne(std::atomic<std::uint64_t>& counter) noexcept {
    counter.store(counter.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

// Frames of a buffer list, from its first buffer: 0 without buffers.
std::uint32_t frameCount(const AudioBufferList* list) noexcept {
    if (list == nullptr || list->mNumberBuffers == 0) {
        return 0;
    }
    const AudioBuffer& first = list->mBuffers[0];
    const std::uint64_t channels = first.mNumberChannels == 0 ? 1 : first.mNumberChannels;
    return static_cast<std::uint32_t>(first.mDataByteSize / (channels * kBytesPerSample));
}

// Where a cycle's ramp stands: frame k (1-based) of an n-frame ramp from start to target
// plays start + k (target - start) / n, and its last frame plays target itself.
struct Ramp {
    float start;
    float target;
    std::uint32_t frames;
    std::uint32_t framesRemaining;
    float currentGain;
};

// The loops use vector instructions: the steady one runs over fixed-size blocks, which
// the compiler vectorizes even where it would not add a remainder loop of its own; the
// ramp spells its vectors out. Each comes in versions for wider vectors, chosen once when
// the program loads.
constexpr std::size_t kBlockSamples = 16;
// Sanitizer builds go without: the version is chosen before a sanitizer's runtime is up.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TONVALE_IS_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TONVALE_IS_SANITIZED 1
#endif
#if defined(__x86_64__) && !defined(TONVALE_IS_SANITIZED)
#define TONVALE_HAS_VECTOR_VERSIONS 1
#define TONVALE_VECTOR_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define TONVALE_VECTOR_CLONES
#endif

TONVALE_VECTOR_CLONES void scaleSamples(const float* __restrict input, float* __restrict output, std::size_t count,
                                        float gain) noexcept {
    std::size_t sample = 0;
    for (; sample + kBlockSamples <= count; sample += kBlockSamples) {
        for (std::size_t lane = 0; lane < kBlockSamples; ++lane) {
            output[sample + lane] = input[sample + lane] * gain;
        }
    }
    for (; sample < count; ++sample) {
        output[sample] = input[sample] * gain;
    }
}

// The ramp's arithmetic on `Lanes` frames at once: their k and gains in double, the gains
// rounded to float, and the samples of as many stereo frames.
template <std::size_t Lanes>
struct RampVectors;
template <>
struct RampVectors<4> {
    using Doubles = double __attribute__((vector_size(32)));
    using Gains = float __attribute__((vector_size(16)));
    using StereoSamples = float __attribute__((vector_size(32)));
};
template <>
struct RampVectors<8> {
    using Doubles = double __attribute__((vector_size(64)));
    using Gains = float __attribute__((vector_size(32)));
    using StereoSamples = float __attribute__((vector_size(64)));
};

// Frames whose gain is start + step k, for k = firstStep, firstStep + 1, ..., `Lanes` at a
// time: one vector of k, one of gains rounded to float once, each gain applied to both
// samples of its frame. Whole numbers are exact in double, so k counted there is the same
// k as frame by frame. Answers the frames done; the caller plays the rest.
template <std::size_t Lanes, std::size_t... Lane>
[[gnu::always_inline]] inline std::uint32_t rampStereo(const float* __restrict input, float* __restrict output,
                                                       std::uint32_t frames, double start, double step,
                                                       std::uint32_t firstStep,
                                                       std::index_sequence<Lane...> /*lanes*/) noexcept {
    using Vectors = RampVectors<Lanes>;
    const auto first = static_cast<double>(firstStep);
    typename Vectors::Doubles k = {(first + static_cast<double>(Lane))...};
    std::uint32_t frame = 0;
    for (; frame + Lanes <= frames; frame += Lanes, k += static_cast<double>(Lanes)) {
        const auto gains = __builtin_convertvector(start + step * k, typename Vectors::Gains);
        typename Vectors::StereoSamples samples;
        std::memcpy(&samples, input + 2 * frame, sizeof(samples));
        samples *= __builtin_shufflevector(gains, gains, (Lane / 2)..., (Lanes / 2 + Lane / 2)...);
        std::memcpy(output + 2 * frame, &samples, sizeof(samples));
    }
    return frame;
}

#if defined(TONVALE_HAS_VECTOR_VERSIONS)
__attribute__((target("avx512f"))) std::uint32_t rampStereoFrames(const float* input, float* output,
                                                                  std::uint32_t frames, double start, double step,
                                                                  std::uint32_t firstStep) noexcept {
    return rampStereo<8>(input, output, frames, start, step, firstStep, std::make_index_sequence<8>());
}
__attribute__((target("avx2"))) std::uint32_t rampStereoFrames(const float* input, float* output, std::uint32_t frames,
                                                               double start, double step,
                                                               std::uint32_t firstStep) noexcept {
    return rampStereo<4>(input, output, frames, start, step, firstStep, std::make_index_sequence<4>());
}
__attribute__((target("default")))
#endif
std::uint32_t
rampStereoFrames(const float* input, float* output, std::uint32_t frames, double start, double step,
                 std::uint32_t firstStep) noexcept {
    return rampStereo<4>(input, output, frames, start, step, firstStep, std::make_index_sequence<4>());
}

// The same for frames of one channel.
TONVALE_VECTOR_CLONES std::uint32_t rampMonoFrames(const float* __restrict input, float* __restrict output,
                                                   std::uint32_t frames, double start, double step,
                                                   std::uint32_t firstStep) noexcept {
    using Vectors = RampVectors<4>;
    const auto first = static_cast<double>(firstStep);
    Vectors::Doubles k = {first, first + 1.0, first + 2.0, first + 3.0};
    std::uint32_t frame = 0;
    for (; frame + 4 <= frames; frame += 4, k += 4.0) {
        Vectors::Gains samples;
        std::memcpy(&samples, input + frame, sizeof(samples));
        samples *= __builtin_convertvector(start + step * k, Vectors::Gains);
        std::memcpy(output + frame, &samples, sizeof(samples));
    }
    return frame;
}

void rampFrames(const float* input, float* output, std::uint32_t channels, std::uint32_t frames, double start,
                double step, std::uint32_t firstStep) noexcept {
    std::uint32_t frame = 0;
    if (channels == 2) {
        frame = rampStereoFrames(input, output, frames, start, step, firstStep);
    } else if (channels == 1) {
        frame = rampMonoFrames(input, output, frames, start, step, firstStep);
    }
    for (; frame < frames; ++frame) {
        const auto gain = static_cast<float>(start + step * static_cast<double>(firstStep + frame));
        const std::size_t sample = static_cast<std::size_t>(frame) * channels;
        for (std::size_t channel = 0; channel < channels; ++channel) {
            output[sample + channel] = input[sample + channel] * gain;
        }
    }
}

// Plays one buffer pair from the cycle's ramp position and answers where the ramp got
// to. Every pair starts from the same position, so all channels of a frame get the same
// gain whether they share a buffer or not.
Ramp renderPair(const float* input, float* output, std::uint32_t channels, std::uint32_t frames, Ramp ramp) noexcept {
    // The first frame played at the target: after the ramp, whose last frame plays the
    // target itself, free of rounding.
    std::uint32_t steadyFrom = 0;
    if (ramp.framesRemaining != 0) {
        const std::uint32_t rampedFrames = std::min(ramp.framesRemaining, frames);
        const bool isEnding = rampedFrames == ramp.framesRemaining;
        const std::uint32_t formulaFrames = isEnding ? rampedFrames - 1 : rampedFrames;
        const double start = ramp.start;
        const double step = (static_cast<double>(ramp.target) - start) / static_cast<double>(ramp.frames);
        const std::uint32_t firstStep = ramp.frames - ramp.framesRemaining + 1;
        rampFrames(input, output, channels, formulaFrames, start, step, firstStep);
        ramp.framesRemaining -= rampedFrames;
        const auto lastStep = static_cast<double>(firstStep + formulaFrames - 1);
        ramp.currentGain = isEnding ? ramp.target : static_cast<float>(start + step * lastStep);
        steadyFrom = formulaFrames;
    } else {
        ramp.currentGain = ramp.target;
    }
    const std::size_t first = static_cast<std::size_t>(steadyFrom) * channels;
    scaleSamples(input + first, output + first, static_cast<std::size_t>(frames) * channels - first, ramp.target);
    return ramp;
}

}  // namespace

AudioRouteRenderer::AudioRouteRenderer(AudioObjectID deviceID)
    : deviceID_(deviceID), state_(std::make_unique<AudioRouteRenderState>()) {}

AudioRouteRenderer::~AudioRouteRenderer() { stop(); }

bool AudioRouteRenderer::startAndReturnError(AudioRouteRendererError* error) {
    if (isRunning_) {
        return true;
    }
    const UInt32 inputStreams = streamCount(deviceID_, kAudioObjectPropertyScopeInput);
    const UInt32 outputStreams = streamCount(deviceID_, kAudioObjectPropertyScopeOutput);
    if (inputStreams != 1 || outputStreams < 1) {
        return fail(error, AudioRouteRendererError::kStreamLayoutCode,
                    formatted("Expected one tap input and at least one output, found %u input/%u output streams. "
                              "The route was rejected to avoid opening a destination device's physical input.",
                              inputStreams, outputStreams));
    }
    AudioStreamBasicDescription input{};
    AudioStreamBasicDescription output{};
    if (!readFirstStreamFormat(deviceID_, kAudioObjectPropertyScopeInput, input) ||
        !readFirstStreamFormat(deviceID_, kAudioObjectPropertyScopeOutput, output)) {
        return fail(error, AudioRouteRendererError::kStreamLayoutCode,
                    "The aggregate route did not expose both input and output streams.");
    }
    if (!isFloat32PCM(input) || !isFloat32PCM(output)) {
        return fail(error, AudioRouteRendererError::kSampleFormatCode,
                    "The aggregate route is not Float32 PCM; conversion is not implemented in Milestone 0.");
    }
    // The sample rates are only reported: the aggregate runs both sides on one clock.
    if (input.mChannelsPerFrame != kRouteChannels || output.mChannelsPerFrame != kRouteChannels ||
        isNonInterleaved(input) != isNonInterleaved(output)) {
        return fail(
            error, AudioRouteRendererError::kChannelLayoutCode,
            formatted("Route channel/layout mismatch: input %.0f Hz/%u ch, output %.0f Hz/%u ch. "
                      "Tonvale did not coerce the destination format.",
                      input.mSampleRate, input.mChannelsPerFrame, output.mSampleRate, output.mChannelsPerFrame));
    }
    state_->rampLengthFrames.store(rampLength(output.mSampleRate), std::memory_order_relaxed);
    // The first cycle plays the requested gain: a ramp from anywhere else would be heard.
    // No IO procedure exists yet, so nothing else touches the ramp.
    const float requested = state_->targetGain.load(std::memory_order_relaxed);
    state_->rampTargetGain = requested;
    state_->rampStartGain = requested;
    state_->currentGain = requested;
    state_->rampFrames = 0;
    state_->rampFramesRemaining = 0;

    const OSStatus created =
        AudioDeviceCreateIOProcID(deviceID_, &AudioRouteRenderer::render, state_.get(), &ioProcID_);
    if (created != kAudioHardwareNoError) {
        ioProcID_ = nullptr;
        return fail(error, created, formatted("AudioDeviceCreateIOProcID failed (%d).", static_cast<int>(created)));
    }
    const OSStatus started = AudioDeviceStart(deviceID_, ioProcID_);
    if (started != kAudioHardwareNoError) {
        static_cast<void>(AudioDeviceDestroyIOProcID(deviceID_, ioProcID_));
        ioProcID_ = nullptr;
        return fail(error, started, formatted("AudioDeviceStart failed (%d).", static_cast<int>(started)));
    }
    isRunning_ = true;
    return true;
}

void AudioRouteRenderer::stop() {
    if (ioProcID_ != nullptr) {
        // Once the stop returns the procedure is not called again, so the state may go.
        static_cast<void>(AudioDeviceStop(deviceID_, ioProcID_));
        static_cast<void>(AudioDeviceDestroyIOProcID(deviceID_, ioProcID_));
        ioProcID_ = nullptr;
    }
    isRunning_ = false;
}

void AudioRouteRenderer::setTargetGain(float gain) noexcept {
    state_->targetGain.store(clampedGain(gain), std::memory_order_relaxed);
}

std::uint64_t AudioRouteRenderer::callbackCount() const noexcept {
    return state_->callbackCount.load(std::memory_order_relaxed);
}

std::uint64_t AudioRouteRenderer::lastCallbackHostTime() const noexcept {
    return state_->lastCallbackHostTime.load(std::memory_order_relaxed);
}

std::uint64_t AudioRouteRenderer::unequalFrameCallbackCount() const noexcept {
    return state_->unequalFrameCallbackCount.load(std::memory_order_relaxed);
}

std::uint32_t AudioRouteRenderer::lastInputFrameCount() const noexcept {
    return state_->lastInputFrameCount.load(std::memory_order_relaxed);
}

std::uint32_t AudioRouteRenderer::lastOutputFrameCount() const noexcept {
    return state_->lastOutputFrameCount.load(std::memory_order_relaxed);
}

OSStatus AudioRouteRenderer::render(AudioObjectID, const AudioTimeStamp* now, const AudioBufferList* input,
                                    const AudioTimeStamp*, AudioBufferList* output, const AudioTimeStamp*,
                                    void* clientData) noexcept {
    if (output == nullptr || clientData == nullptr) {
        return kAudioHardwareNoError;
    }
    auto& state = *static_cast<AudioRouteRenderState*>(clientData);
    const ScopedDenormalFlush flush;
    countOne(state.callbackCount);
    // The device's own time of this cycle when it gives one; reading the clock costs more
    // than the rest of a quiet cycle.
    const bool hasCycleTime = now != nullptr && (now->mFlags & kAudioTimeStampHostTimeValid) != 0;
    state.lastCallbackHostTime.store(hasCycleTime ? now->mHostTime : AudioGetCurrentHostTime(),
                                     std::memory_order_relaxed);

    const std::uint32_t inputFrames = frameCount(input);
    const std::uint32_t outputFrames = frameCount(output);
    state.lastInputFrameCount.store(inputFrames, std::memory_order_relaxed);
    state.lastOutputFrameCount.store(outputFrames, std::memory_order_relaxed);
    if (inputFrames != outputFrames) {
        countOne(state.unequalFrameCallbackCount);
    }

    // Every output sample is written: played where a buffer pair can be played, silent
    // everywhere else (other buffers, and what lies past the frames a pair shares).
    AudioBuffer* outputs = output->mBuffers;
    const bool canPlay = input != nullptr && input->mNumberBuffers != 0 && output->mNumberBuffers != 0;
    Ramp start{};
    if (canPlay) {
        const float target = clampedGain(state.targetGain.load(std::memory_order_relaxed));
        if (std::fabs(target - state.rampTargetGain) > kGainTolerance) {
            // A new target ramps afresh, over the full length, from the gain reached so far.
            state.rampTargetGain = target;
            state.rampStartGain = state.currentGain;
            state.rampFrames = state.rampLengthFrames.load(std::memory_order_relaxed);
            state.rampFramesRemaining = state.rampFrames;
        }
        start = {state.rampStartGain, state.rampTargetGain, state.rampFrames, state.rampFramesRemaining,
                 state.currentGain};
    }
    Ramp reached = start;
    std::uint32_t longestFrames = 0;
    const UInt32 pairs = canPlay ? std::min(input->mNumberBuffers, output->mNumberBuffers) : 0;
    for (UInt32 index = 0; index < output->mNumberBuffers; ++index) {
        AudioBuffer& to = outputs[index];
        if (to.mData == nullptr || to.mDataByteSize == 0) {
            continue;
        }
        std::size_t playedBytes = 0;
        if (index < pairs) {
            const AudioBuffer& from = input->mBuffers[index];
            const std::uint32_t channels = from.mNumberChannels;
            const std::uint32_t samples = std::min(from.mDataByteSize, to.mDataByteSize) / kBytesPerSample;
            if (from.mData != nullptr && channels != 0 && channels == to.mNumberChannels && channels <= samples) {
                const std::uint32_t frames = samples / channels;
                const Ramp pairEnd = renderPair(static_cast<const float*>(from.mData), static_cast<float*>(to.mData),
                                                channels, frames, start);
                if (frames > longestFrames) {
                    longestFrames = frames;
                    reached = pairEnd;
                }
                playedBytes = static_cast<std::size_t>(frames) * channels * kBytesPerSample;
            }
        }
        std::memset(static_cast<char*>(to.mData) + playedBytes, 0, to.mDataByteSize - playedBytes);
    }
    if (canPlay) {
        state.currentGain = reached.currentGain;
        state.rampFramesRemaining = reached.framesRemaining;
    }
    return kAudioHardwareNoError;
}

}  // namespace tonvale
