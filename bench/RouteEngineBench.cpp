// The route engine's costs: the renderer's time per 512-frame stereo IO cycle (steady and
// during a gain ramp, on normal and on denormal samples) beside a plain copy of the same buffers, and the time from a route
// start request to its active answer on the simulated server when the aggregate's
// streams appear at once.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "engine/AudioRouteRenderer.h"
#include "engine/RouteController.h"
#include "platform/coreaudio/CoreAudio.h"
#include "platform/dispatch/Dispatch.h"
#include "sim/SimulatedServer.h"

namespace {

constexpr UInt32 kFrames = 512;
constexpr UInt32 kChannels = 2;
constexpr std::int32_t kMusicPid = 2201;

// A sample whose products with the route's gains are denormal, as the tail of a sound
// decaying towards silence is.
constexpr float kDenormalSample = 2.0e-39F;

// One interleaved stereo buffer of 512 frames in a one-buffer list.
struct StereoBuffer {
    explicit StereoBuffer(float sample = 0.25F) : samples(kFrames * kChannels, sample) {
        list.mBuffers[0].mData = samples.data();
    }
    std::vector<float> samples;
    AudioBufferList list{1, {{kChannels, kFrames* kChannels * sizeof(float), nullptr}}};
};

void plainCopy(benchmark::State& state) {
    StereoBuffer input;
    StereoBuffer output;
    for (auto _ : state) {
        std::memcpy(output.list.mBuffers[0].mData, input.list.mBuffers[0].mData, input.list.mBuffers[0].mDataByteSize);
        benchmark::ClobberMemory();
    }
}

// With isRamping, every cycle starts a new 336-frame ramp (the target alternates); with
// denormal, the input is denormal and so is every sample played. The cycle carries its host
// time, as a device's IO cycle does.
void renderCycle(benchmark::State& state) {
    const bool isRamping = state.range(0) != 0;
    StereoBuffer input(state.range(1) != 0 ? kDenormalSample : 0.25F);
    StereoBuffer output;
    tonvale::AudioRouteRenderState renderState;
    AudioTimeStamp now{};
    now.mHostTime = AudioGetCurrentHostTime();
    now.mFlags = kAudioTimeStampHostTimeValid;
    const auto cycle = [&] {
        tonvale::AudioRouteRenderer::render(0, &now, &input.list, &now, &output.list, &now, &renderState);
    };
    renderState.targetGain.store(0.5F);
    cycle();
    cycle();
    bool isLow = false;
    for (auto _ : state) {
        if (isRamping) {
            isLow = !isLow;
            renderState.targetGain.store(isLow ? 0.25F : 0.5F, std::memory_order_relaxed);
        }
        cycle();
        benchmark::ClobberMemory();
    }
}

// Real threads: request to active answer on the main queue, then an untimed stop.
void routeStartLatency(benchmark::State& state) {
    const auto server = sim::SimulatedServer::create(sim::Scenario::embeddedDefault());
    server->setAggregateBehaviour({.streamDelaySeconds = 0.0});
    const AudioObjectID music = server->processObjectID(kMusicPid).value_or(0);
    const auto controller = tonvale::RouteController::create();
    for (auto _ : state) {
        bool isActive = false;
        controller->start({music}, "usb-headset", 0.5F, [&isActive](tonvale::RouteStartResult result) {
            isActive = result.isSuccess();
            dispatch::MainRunLoop::stop();
        });
        dispatch::MainRunLoop::run();
        state.PauseTiming();
        if (!isActive) {
            state.SkipWithError("the route did not start");
        }
        controller->stop([] { dispatch::MainRunLoop::stop(); });
        dispatch::MainRunLoop::run();
        state.ResumeTiming();
    }
}

}  // namespace

BENCHMARK(plainCopy);
BENCHMARK(renderCycle)->ArgsProduct({{0, 1}, {0, 1}})->ArgNames({"ramping", "denormal"});
BENCHMARK(routeStartLatency)->UseRealTime()->Unit(benchmark::kMicrosecond)->Iterations(200);

BENCHMARK_MAIN();
