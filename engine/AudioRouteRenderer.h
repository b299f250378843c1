// The realtime half of a route: one IO procedure on a route's private aggregate device
// that copies the tap's input to the device's output at a ramped gain, and counts cycles.
// Owned by a RouteController and started, stopped and destroyed on its control queue;
// the IO procedure runs on the device's IO thread and touches only the render state.
// Thread-safety: setTargetGain and the counter reads may be called from any thread;
// start and stop only from one thread at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "engine/AudioRouteRendererError.h"
#include "platform/coreaudio/CoreAudio.h"

namespace tonvale {

// Everything the IO procedure reads or writes, in one block whose address is the
// procedure's client data. Cross-thread fields are lock-free atomics, and only the IO
// thread writes the counters; the ramp fields belong to the IO thread alone. A ramp keeps
// where it started and its length so that frame k of n gets exactly
// start + k (target - start) / n, free of accumulated rounding.
struct AudioRouteRenderState {
    std::atomic<float> targetGain{1.0F};
    float rampTargetGain = 1.0F;
    float rampStartGain = 1.0F;
    float currentGain = 1.0F;
    std::uint32_t rampFrames = 0;
    std::uint32_t rampFramesRemaining = 0;
    std::atomic<std::uint32_t> rampLengthFrames{336};
    std::atomic<std::uint64_t> callbackCount{0};
    std::atomic<std::uint64_t> lastCallbackHostTime{0};
    std::atomic<std::uint64_t> unequalFrameCallbackCount{0};
    std::atomic<std::uint32_t> lastInputFrameCount{0};
    std::atomic<std::uint32_t> lastOutputFrameCount{0};
};
static_assert(std::atomic<float>::is_always_lock_free, "the gain crosses threads without a lock");
static_assert(std::atomic<std::uint32_t>::is_always_lock_free, "frame counts cross threads without a lock");
static_assert(std::atomic<std::uint64_t>::is_always_lock_free, "counters cross threads without a lock");

class AudioRouteRenderer {
public:
    // A stopped renderer for the aggregate device.
    explicit AudioRouteRenderer(AudioObjectID deviceID);
    // Stops the IO procedure before the render state goes.
    ~AudioRouteRenderer();
    AudioRouteRenderer(const AudioRouteRenderer&) = delete;
    AudioRouteRenderer& operator=(const AudioRouteRenderer&) = delete;

    // Checks that the device has exactly the route's shape (one tap input, an output,
    // stereo Float32 on both sides, same interleaving), then installs and starts the IO
    // procedure, which plays the target gain from its first cycle, unramped. True when
    // running (at once if it already was); false with error filled in (when given)
    // otherwise, leaving no IO procedure behind.
    [[nodiscard]] bool startAndReturnError(AudioRouteRendererError* error);
    // Stops and removes the IO procedure; the counters are kept. Always succeeds.
    void stop();

    // Clamps to 0...1 (not-a-number plays silence); the IO thread ramps to it.
    void setTargetGain(float gain) noexcept;

    [[nodiscard]] bool isRunning() const { return isRunning_; }
    [[nodiscard]] std::uint64_t callbackCount() const noexcept;
    [[nodiscard]] std::uint64_t lastCallbackHostTime() const noexcept;
    [[nodiscard]] std::uint64_t unequalFrameCallbackCount() const noexcept;
    [[nodiscard]] std::uint32_t lastInputFrameCount() const noexcept;
    [[nodiscard]] std::uint32_t lastOutputFrameCount() const noexcept;

    // The IO procedure; the client data is the render state. Realtime: allocates
    // nothing, locks nothing, logs nothing, writes every output sample, returns 0. Denormal
    // numbers are flushed to zero while it runs; the thread's floating-point state is kept.
    static OSStatus render(AudioObjectID device, const AudioTimeStamp* now, const AudioBufferList* input,
                           const AudioTimeStamp* inputTime, AudioBufferList* output, const AudioTimeStamp* outputTime,
                           void* clientData) noexcept;

private:
    const AudioObjectID deviceID_;
    AudioDeviceIOProcID ioProcID_ = nullptr;
    const std::unique_ptr<AudioRouteRenderState> state_;
    bool isRunning_ = false;
};

}  // namespace tonvale
