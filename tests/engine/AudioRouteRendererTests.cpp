#include "engine/AudioRouteRenderer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <string>
#include <thread>

#include "tests/engine/FakeAggregateDevice.h"
#include "tests/engine/RenderBuffers.h"

namespace tonvale {
namespace {

using namespace tonvale::testing;

// A stereo float format changed to the given sample width, kind and channel count.
AudioStreamBasicDescription reshaped(UInt32 bits, bool isFloat, UInt32 channels = 2, Float64 rate = 48000.0) {
    AudioStreamBasicDescription format = stereoFloatFormat(rate);
    format.mBitsPerChannel = bits;
    format.mFormatFlags = isFloat ? kAudioFormatFlagsNativeFloatPacked
                                  : (kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked);
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

TEST_F(AudioRouteRendererTest, UnusableStreams_AreRefusedWithTheirCodeAndMessage) {
    const std::string shapeText = "The aggregate route did not expose both input and output streams.";
    const std::string floatText = "The aggregate route is not Float32 PCM; conversion is not implemented in Milestone 0.";
    const auto layoutText = [](const char* input, const char* output = "48000 Hz/2 ch") {
        return std::string("Route channel/layout mismatch: input ") + input + ", output " + output +
               ". Tonvale did not coerce the destination format.";
    };
    const auto countText = [](const char* counts) {
        return std::string("Expected one tap input and at least one output, found ") + counts +
               " streams. The route was rejected to avoid opening a destination device's physical input.";
    };
    const auto shape = [](std::vector<AudioStreamBasicDescription> inputs,
                          std::vector<AudioStreamBasicDescription> outputs, bool isInputReadable = true,
                          bool isOutputReadable = true) {
        return AggregateShape{std::move(inputs), std::move(outputs), isInputReadable, isOutputReadable};
    };
    const auto stereo = stereoFloatFormat();
    const struct {
        const char* name;
        AggregateShape shape;
        int code;
        std::string message;
    } cases[] = {
        {"two inputs", shape({stereo, stereo}, {stereo, stereo, stereo}), 1, countText("2 input/3 output")},
        {"no output", shape({stereo}, {}), 1, countText("1 input/0 output")},
        {"unreadable input", shape({stereo}, {stereo}, false, true), 1, shapeText},
        {"unreadable output", shape({stereo}, {stereo}, true, false), 1, shapeText},
        {"16-bit input", shape({reshaped(16, false)}, {stereo}), 2, floatText},
        {"24-bit output", shape({stereo}, {reshaped(24, false)}), 2, floatText},
        {"64-bit float input", shape({reshaped(64, true)}, {stereo}), 2, floatText},
        {"32-bit integer output", shape({stereo}, {reshaped(32, false)}), 2, floatText},
        {"mono input", shape({reshaped(32, true, 1, 44100.0)}, {stereo}), 3, layoutText("44100 Hz/1 ch")},
        {"six-channel output", shape({stereo}, {reshaped(32, true, 6)}), 3, layoutText("48000 Hz/2 ch", "48000 Hz/6 ch")},
        {"mixed interleaving", shape({stereo}, {stereoFloatFormat(48000.0, true)}), 3, layoutText("48000 Hz/2 ch")},
    };
    for (const auto& testCase : cases) {
        const auto error = refusal(testCase.shape);
        EXPECT_EQ(error.domain, "com.zelkor.tonvale.AudioRouteRenderer") << testCase.name;
        EXPECT_EQ(error.code, testCase.code) << testCase.name;
        EXPECT_EQ(error.localizedDescription, testCase.message) << testCase.name;
    }
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

TEST_F(AudioRouteRendererTest, MalformedBufferLists_StaySilentAndInsideTheirBuffers) {
    startRenderer();
    // Each output buffer plays its first `played` samples from the input and is silent after.
    const struct {
        const char* name;
        std::vector<BufferLayout> input;
        std::vector<BufferLayout> output;
        std::vector<std::size_t> played;
    } cases[] = {
        {"more outputs than inputs", {interleavedStereo(16)}, {interleavedStereo(16), interleavedStereo(16)}, {32, 0}},
        {"null input data", {{2, 128, false}}, {interleavedStereo(16)}, {0}},
        {"null output data beside a good one", {interleavedStereo(16), interleavedStereo(16)},
         {{2, 128, false}, interleavedStereo(16)}, {0, 32}},
        {"zero-sized buffers", {{2, 0, true}}, {{2, 0, true}}, {0}},
        {"odd byte sizes", {{2, 37, true}}, {{2, 23, true}}, {4}},
        {"fewer bytes than one frame", {{2, 4, true}}, {{2, 6, true}}, {0}},
        {"channel mismatch", {{1, 64, true}}, {interleavedStereo(16)}, {0}},
        {"zero channels", {{0, 64, true}}, {{0, 64, true}}, {0}},
        {"no input buffers", {}, {interleavedStereo(16)}, {0}},
        {"no output buffers", {interleavedStereo(16)}, {}, {}},
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
            for (std::size_t sample = 0; testCase.output[buffer].hasData && sample < output.sampleCount(buffer);
                 ++sample) {
                ASSERT_EQ(output.sample(buffer, sample), sample < testCase.played[buffer] ? 0.75F : 0.0F)
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
