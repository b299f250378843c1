#include "engine/AudioRouteRenderer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

#include "platform/dispatch/Dispatch.h"
#include "tests/engine/FakeAggregateDevice.h"
#include "tests/engine/RenderBuffers.h"

namespace tonvale {
namespace {

using testing::AggregateShape;
using testing::BufferLayout;
using testing::FakeAggregateDevice;
using testing::RenderBuffers;
using testing::interleavedStereo;
using testing::mono;
using testing::stereoFloatFormat;

AudioStreamBasicDescription withBits(AudioStreamBasicDescription format, UInt32 bits, bool isFloat) {
    format.mBitsPerChannel = bits;
    format.mFormatFlags = isFloat ? kAudioFormatFlagsNativeFloatPacked
                                  : (kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked);
    return format;
}

AudioStreamBasicDescription withChannels(AudioStreamBasicDescription format, UInt32 channels) {
    format.mChannelsPerFrame = channels;
    return format;
}

class AudioRouteRendererTest : public ::testing::Test {
protected:
    // A running renderer on a device of the given shape.
    AudioRouteRenderer& startRenderer(AggregateShape shape = {}) {
        device_ = FakeAggregateDevice::install(std::move(shape));
        renderer_ = std::make_unique<AudioRouteRenderer>(FakeAggregateDevice::kDevice);
        AudioRouteRendererError error;
        EXPECT_TRUE(renderer_->startAndReturnError(&error)) << error.localizedDescription;
        return *renderer_;
    }

    // The refusal a device of this shape gets; the renderer must stay without IO procedure.
    AudioRouteRendererError refusal(AggregateShape shape) {
        device_ = FakeAggregateDevice::install(std::move(shape));
        AudioRouteRenderer renderer(FakeAggregateDevice::kDevice);
        AudioRouteRendererError error;
        EXPECT_FALSE(renderer.startAndReturnError(&error));
        EXPECT_FALSE(renderer.isRunning());
        EXPECT_EQ(device_->installedProcCount, 0);
        return error;
    }

    AudioRouteRenderState& state() { return *static_cast<AudioRouteRenderState*>(device_->clientData); }

    // Runs one interleaved stereo cycle of ones and answers the left gain of every frame.
    std::vector<float> cycleGains(UInt32 frames) {
        RenderBuffers input({interleavedStereo(frames)});
        RenderBuffers output({interleavedStereo(frames)});
        input.fill(1.0F);
        EXPECT_EQ(device_->runCycle(input.list(), output.list()), kAudioHardwareNoError);
        std::vector<float> gains;
        for (UInt32 frame = 0; frame < frames; ++frame) {
            EXPECT_EQ(output.sample(0, frame * 2), output.sample(0, frame * 2 + 1)) << "frame " << frame;
            gains.push_back(output.sample(0, frame * 2));
        }
        return gains;
    }

    std::shared_ptr<FakeAggregateDevice> device_;
    std::unique_ptr<AudioRouteRenderer> renderer_;
};

TEST_F(AudioRouteRendererTest, WrongStreamCounts_AreRefusedWithCodeOneAndBothCounts) {
    AggregateShape twoInputs;
    twoInputs.inputs = {stereoFloatFormat(), stereoFloatFormat()};
    twoInputs.outputs = {stereoFloatFormat(), stereoFloatFormat(), stereoFloatFormat()};
    const auto error = refusal(twoInputs);
    EXPECT_EQ(error.domain, "com.zelkor.tonvale.AudioRouteRenderer");
    EXPECT_EQ(error.code, 1);
    EXPECT_EQ(error.localizedDescription,
              "Expected one tap input and at least one output, found 2 input/3 output streams. The route was "
              "rejected to avoid opening a destination device's physical input.");

    AggregateShape noOutput;
    noOutput.outputs.clear();
    EXPECT_EQ(refusal(noOutput).localizedDescription.substr(0, 70),
              "Expected one tap input and at least one output, found 1 input/0 output");
}

TEST_F(AudioRouteRendererTest, UnreadableFormats_AreRefusedWithCodeOne) {
    for (const bool isInputReadable : {false, true}) {
        AggregateShape shape;
        shape.isInputFormatReadable = isInputReadable;
        shape.isOutputFormatReadable = !isInputReadable;
        const auto error = refusal(shape);
        EXPECT_EQ(error.code, 1);
        EXPECT_EQ(error.localizedDescription, "The aggregate route did not expose both input and output streams.");
    }
}

TEST_F(AudioRouteRendererTest, IntegerOrNarrowFormats_AreRefusedWithCodeTwo) {
    const AudioStreamBasicDescription refused[] = {
        withBits(stereoFloatFormat(), 16, false),
        withBits(stereoFloatFormat(), 24, false),
        withBits(stereoFloatFormat(), 64, true),
        withBits(stereoFloatFormat(), 32, false),
    };
    for (const auto& format : refused) {
        for (const bool onInput : {true, false}) {
            AggregateShape shape;
            (onInput ? shape.inputs : shape.outputs) = {format};
            const auto error = refusal(shape);
            EXPECT_EQ(error.code, 2) << format.mBitsPerChannel << " bits on " << (onInput ? "input" : "output");
            EXPECT_EQ(error.localizedDescription,
                      "The aggregate route is not Float32 PCM; conversion is not implemented in Milestone 0.");
        }
    }
}

TEST_F(AudioRouteRendererTest, MonoOrMixedInterleaving_AreRefusedWithCodeThreeAndBothFormats) {
    AggregateShape monoInput;
    monoInput.inputs = {withChannels(stereoFloatFormat(44100.0), 1)};
    const auto monoError = refusal(monoInput);
    EXPECT_EQ(monoError.code, 3);
    EXPECT_EQ(monoError.localizedDescription,
              "Route channel/layout mismatch: input 44100 Hz/1 ch, output 48000 Hz/2 ch. Tonvale did not coerce the "
              "destination format.");

    AggregateShape sixChannelOutput;
    sixChannelOutput.outputs = {withChannels(stereoFloatFormat(), 6)};
    EXPECT_EQ(refusal(sixChannelOutput).code, 3);

    AggregateShape mixedInterleaving;
    mixedInterleaving.outputs = {stereoFloatFormat(48000.0, true)};
    const auto mixedError = refusal(mixedInterleaving);
    EXPECT_EQ(mixedError.code, 3);
    EXPECT_EQ(mixedError.localizedDescription,
              "Route channel/layout mismatch: input 48000 Hz/2 ch, output 48000 Hz/2 ch. Tonvale did not coerce the "
              "destination format.");
}

TEST_F(AudioRouteRendererTest, FailingIOCalls_CarryTheirStatusAndLeaveNoProcedure) {
    device_ = FakeAggregateDevice::install();
    device_->createStatus = kAudio_ParamError;
    AudioRouteRenderer renderer(FakeAggregateDevice::kDevice);
    AudioRouteRendererError error;
    EXPECT_FALSE(renderer.startAndReturnError(&error));
    EXPECT_EQ(error.code, -50);
    EXPECT_EQ(error.localizedDescription, "AudioDeviceCreateIOProcID failed (-50).");

    device_->createStatus = kAudioHardwareNoError;
    device_->startStatus = kAudioHardwareIllegalOperationError;
    EXPECT_FALSE(renderer.startAndReturnError(nullptr));
    EXPECT_FALSE(renderer.startAndReturnError(&error));
    EXPECT_EQ(error.code, kAudioHardwareIllegalOperationError);
    EXPECT_EQ(error.localizedDescription, "AudioDeviceStart failed (1852797029).");
    EXPECT_EQ(device_->installedProcCount, 0);
    EXPECT_FALSE(renderer.isRunning());
}

TEST_F(AudioRouteRendererTest, StartStop_InstallOneProcedureAndRemoveIt) {
    AudioRouteRenderer& renderer = startRenderer();
    EXPECT_TRUE(renderer.isRunning());
    EXPECT_TRUE(renderer.startAndReturnError(nullptr));
    EXPECT_EQ(device_->createdProcCount, 1);
    EXPECT_TRUE(device_->isStarted);

    renderer.stop();
    renderer.stop();
    EXPECT_FALSE(renderer.isRunning());
    EXPECT_FALSE(device_->isStarted);
    EXPECT_EQ(device_->installedProcCount, 0);

    EXPECT_TRUE(renderer.startAndReturnError(nullptr));
    renderer_.reset();
    EXPECT_EQ(device_->installedProcCount, 0) << "destruction stops the procedure";
}

TEST_F(AudioRouteRendererTest, RampLength_IsSevenMillisecondsOfOutputAndAtLeastOneFrame) {
    const std::pair<Float64, std::uint32_t> cases[] = {
        {48000.0, 336}, {44100.0, 308}, {96000.0, 672}, {100.0, 1}, {0.0, 1}, {-48000.0, 1},
        {std::numeric_limits<double>::quiet_NaN(), 1}};
    for (const auto& [rate, frames] : cases) {
        AggregateShape shape;
        shape.outputs = {stereoFloatFormat(rate)};
        startRenderer(shape);
        EXPECT_EQ(state().rampLengthFrames.load(), frames) << rate << " Hz";
    }
}

TEST_F(AudioRouteRendererTest, GainChange_RampsLinearlyAndLandsExactlyOnTarget) {
    AudioRouteRenderer& renderer = startRenderer();
    EXPECT_EQ(cycleGains(4), std::vector<float>(4, 1.0F));

    renderer.setTargetGain(0.5F);
    std::vector<float> gains;
    for (int cycle = 0; cycle < 4; ++cycle) {
        const auto part = cycleGains(128);
        gains.insert(gains.end(), part.begin(), part.end());
    }
    const double n = 336;
    for (std::size_t k = 1; k <= 336; ++k) {
        ASSERT_EQ(gains[k - 1], static_cast<float>(1.0 + static_cast<double>(k) * (0.5 - 1.0) / n)) << "frame " << k;
    }
    EXPECT_EQ(gains[335], 0.5F);
    for (std::size_t k = 336; k < gains.size(); ++k) {
        EXPECT_EQ(gains[k], 0.5F);
    }
}

TEST_F(AudioRouteRendererTest, TargetWithinToleranceOrMidRamp_KeepsOrRestartsTheRamp) {
    AudioRouteRenderer& renderer = startRenderer();
    renderer.setTargetGain(0.5F);
    const auto firstHalf = cycleGains(100);
    renderer.setTargetGain(0.5000005F);
    const auto rest = cycleGains(236);
    EXPECT_EQ(rest.back(), 0.5F) << "a repeat within 1e-6 continues the running ramp";
    EXPECT_NEAR(rest.front(), 1.0 - 101 * 0.5 / 336, 1e-6);

    renderer.setTargetGain(1.0F);
    const auto partial = cycleGains(100);
    const float reached = partial.back();
    renderer.setTargetGain(0.0F);
    const auto fresh = cycleGains(336);
    EXPECT_NEAR(fresh.front(), reached - reached / 336, 1e-6) << "a new target ramps afresh from where it was";
    EXPECT_EQ(fresh.back(), 0.0F);
}

TEST_F(AudioRouteRendererTest, OutOfRangeGains_PlayClampedAndNeverNaN) {
    AudioRouteRenderer& renderer = startRenderer();
    const std::pair<float, float> cases[] = {{2.0F, 1.0F},
                                             {std::numeric_limits<float>::infinity(), 1.0F},
                                             {-0.5F, 0.0F},
                                             {std::numeric_limits<float>::quiet_NaN(), 0.0F},
                                             {-std::numeric_limits<float>::infinity(), 0.0F}};
    for (const auto& [requested, played] : cases) {
        renderer.setTargetGain(0.5F);
        cycleGains(400);
        renderer.setTargetGain(requested);
        const auto gains = cycleGains(400);
        EXPECT_EQ(gains.back(), played) << "requested " << requested;
        for (const float gain : gains) {
            ASSERT_FALSE(std::isnan(gain));
            ASSERT_LE(gain, 1.0F);
        }
    }
}

TEST_F(AudioRouteRendererTest, UnequalFrameCounts_AreCountedAndOnlyCommonFramesPlay) {
    startRenderer();
    RenderBuffers input({interleavedStereo(512)});
    RenderBuffers output({interleavedStereo(256)});
    input.fill(0.25F);
    output.fill(9.0F);
    ASSERT_EQ(device_->runCycle(input.list(), output.list()), kAudioHardwareNoError);
    EXPECT_EQ(renderer_->unequalFrameCallbackCount(), 1U);
    EXPECT_EQ(renderer_->lastInputFrameCount(), 512U);
    EXPECT_EQ(renderer_->lastOutputFrameCount(), 256U);
    for (std::size_t sample = 0; sample < output.sampleCount(0); ++sample) {
        ASSERT_EQ(output.sample(0, sample), 0.25F);
    }
    EXPECT_TRUE(output.areGuardsIntact());

    RenderBuffers equal({interleavedStereo(256)});
    ASSERT_EQ(device_->runCycle(equal.list(), output.list()), kAudioHardwareNoError);
    EXPECT_EQ(renderer_->callbackCount(), 2U);
    EXPECT_EQ(renderer_->unequalFrameCallbackCount(), 1U);
}

TEST_F(AudioRouteRendererTest, Callback_RecordsTheHostTimeOfItsCycle) {
    dispatch::VirtualTime time;
    startRenderer();
    time.advance(2.5);
    RenderBuffers input({interleavedStereo(8)});
    RenderBuffers output({interleavedStereo(8)});
    ASSERT_EQ(device_->runCycle(input.list(), output.list()), kAudioHardwareNoError);
    EXPECT_EQ(renderer_->lastCallbackHostTime(), AudioGetCurrentHostTime());
    EXPECT_NE(renderer_->lastCallbackHostTime(), 0U);
}

TEST_F(AudioRouteRendererTest, MalformedBufferLists_StaySilentAndInsideTheirBuffers) {
    startRenderer();
    struct Case {
        const char* name;
        std::vector<BufferLayout> input;
        std::vector<BufferLayout> output;
    };
    const Case cases[] = {
        {"more outputs than inputs", {interleavedStereo(16)}, {interleavedStereo(16), interleavedStereo(16)}},
        {"null input data", {{2, 128, false}}, {interleavedStereo(16)}},
        {"null output data beside a good one", {interleavedStereo(16), interleavedStereo(16)},
         {{2, 128, false}, interleavedStereo(16)}},
        {"zero-sized buffers", {{2, 0, true}}, {{2, 0, true}}},
        {"odd byte sizes", {{2, 37, true}}, {{2, 23, true}}},
        {"fewer bytes than one frame", {{2, 4, true}}, {{2, 6, true}}},
        {"channel mismatch", {{1, 64, true}}, {interleavedStereo(16)}},
        {"zero channels", {{0, 64, true}}, {{0, 64, true}}},
        {"no input buffers", {}, {interleavedStereo(16)}},
        {"no output buffers", {interleavedStereo(16)}, {}},
    };
    for (const auto& testCase : cases) {
        RenderBuffers input(testCase.input);
        RenderBuffers output(testCase.output);
        input.fill(0.75F);
        output.fill(9.0F);
        ASSERT_EQ(device_->runCycle(input.list(), output.list()), kAudioHardwareNoError) << testCase.name;
        EXPECT_TRUE(output.areGuardsIntact()) << testCase.name;
        EXPECT_TRUE(input.areGuardsIntact()) << testCase.name;
        for (std::size_t buffer = 0; buffer < testCase.output.size(); ++buffer) {
            if (!testCase.output[buffer].hasData) {
                continue;
            }
            const bool isPlayed = buffer < testCase.input.size() && testCase.input[buffer].hasData &&
                                  testCase.input[buffer].channels != 0 &&
                                  testCase.input[buffer].channels == testCase.output[buffer].channels &&
                                  testCase.input[buffer].byteSize >= 4 * testCase.input[buffer].channels &&
                                  testCase.output[buffer].byteSize >= 4 * testCase.output[buffer].channels;
            const std::size_t played =
                isPlayed ? std::min(testCase.input[buffer].byteSize, testCase.output[buffer].byteSize) / 4 /
                               testCase.output[buffer].channels * testCase.output[buffer].channels
                         : 0;
            for (std::size_t sample = 0; sample < output.sampleCount(buffer); ++sample) {
                ASSERT_EQ(output.sample(buffer, sample), sample < played ? 0.75F : 0.0F)
                    << testCase.name << " buffer " << buffer << " sample " << sample;
            }
        }
    }

    RenderBuffers output({interleavedStereo(16)});
    output.fill(9.0F);
    ASSERT_EQ(device_->runCycle(nullptr, output.list()), kAudioHardwareNoError);
    EXPECT_EQ(output.sample(0, 0), 0.0F) << "no input list plays silence";
    EXPECT_EQ(renderer_->lastInputFrameCount(), 0U);
    const auto cycles = renderer_->callbackCount();
    ASSERT_EQ(device_->runCycle(output.list(), nullptr), kAudioHardwareNoError);
    EXPECT_EQ(renderer_->callbackCount(), cycles) << "a cycle without output is not counted";
}

TEST_F(AudioRouteRendererTest, SeparateChannelBuffers_GetTheSameGainPerFrameDuringARamp) {
    AggregateShape shape;
    shape.inputs = {stereoFloatFormat(48000.0, true)};
    shape.outputs = {stereoFloatFormat(48000.0, true)};
    AudioRouteRenderer& renderer = startRenderer(shape);
    renderer.setTargetGain(0.0F);
    RenderBuffers input({mono(512), mono(512)});
    RenderBuffers output({mono(512), mono(512)});
    input.fill(1.0F);
    ASSERT_EQ(device_->runCycle(input.list(), output.list()), kAudioHardwareNoError);
    for (std::size_t frame = 0; frame < 512; ++frame) {
        ASSERT_EQ(output.sample(0, frame), output.sample(1, frame)) << "frame " << frame;
    }
    EXPECT_EQ(output.sample(0, 167), 0.5F);
    EXPECT_EQ(output.sample(1, 335), 0.0F);
}

// Runs on real threads; ThreadSanitizer checks that the gain and counters cross cleanly.
TEST_F(AudioRouteRendererTest, GainSetWhileTheIOThreadRenders_RacesCleanly) {
    AudioRouteRenderer& renderer = startRenderer();
    std::atomic<bool> isDone{false};
    std::thread ioThread([this, &isDone] {
        RenderBuffers input({interleavedStereo(64)});
        RenderBuffers output({interleavedStereo(64)});
        input.fill(1.0F);
        while (!isDone.load()) {
            device_->runCycle(input.list(), output.list());
            for (std::size_t sample = 0; sample < output.sampleCount(0); ++sample) {
                const float value = output.sample(0, sample);
                if (!(value >= 0.0F && value <= 1.0F)) {
                    ADD_FAILURE() << "sample out of range: " << value;
                    return;
                }
            }
        }
    });
    std::uint64_t seen = 0;
    for (int step = 0; step < 2000; ++step) {
        renderer.setTargetGain(static_cast<float>(step % 3) * 0.75F);
        seen = std::max(seen, renderer.callbackCount());
        static_cast<void>(renderer.lastCallbackHostTime());
        static_cast<void>(renderer.lastOutputFrameCount());
    }
    while (renderer.callbackCount() < 10) {
        std::this_thread::yield();
    }
    isDone.store(true);
    ioThread.join();
    EXPECT_GE(renderer.callbackCount(), seen);
    EXPECT_EQ(renderer.unequalFrameCallbackCount(), 0U);
}

}  // namespace
}  // namespace tonvale
