// The route renderer on a hand-made device: which devices it refuses and why, its procedure's
// life, the gain ramp, and what each cycle plays for any shape of buffer list.
#include "engine/AudioRouteRenderer.h"

#include <gtest/gtest.h>
#if defined(__x86_64__)
#include <pmmintrin.h>
#endif

#include <algorithm>
#include <limits>
#include <string>

#include "tests/engine/FakeAggregateDevice.h"
#include "tests/engine/RenderBuffers.h"

namespace tonvale {
namespace {

using namespace tonvale::testing;

// A stereo float format changed to the given sample width, kind and channel count.
AudioStreamBasicDescription reshaped(UInt32 bits, bool isFloat, UInt32 channels = 2) {
    AudioStreamBasicDescription format = stereoFloatFormat();
    format.mBitsPerChannel = bits;
    format.mFormatFlags =
        isFloat ? kAudioFormatFlagsNativeFloatPacked : (kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked);
    format.mChannelsPerFrame = channels;
    return format;
}

class AudioRouteRendererTest : public ::testing::Test {
protected:
    // A renderer on a device of the given shape; started unless told otherwise.
    AudioRouteRenderer& renderer(AggregateShape shape = {}, bool isStarted = true) {
        device_ = FakeAggregateDevice::install(std::move(shape));
        renderer_ = std::make_unique<AudioRouteRenderer>(FakeAggregateDevice::kDevice);
        AudioRouteRendererError error;
        EXPECT_TRUE(!isStarted || renderer_->startAndReturnError(&error)) << error.localizedDescription;
        return *renderer_;
    }

    // Runs one interleaved stereo cycle of ones and answers the left gain of every frame.
    std::vector<float> cycleGains(UInt32 frames) {
        RenderBuffers input({interleavedStereo(frames)}, 1.0F);
        RenderBuffers output({interleavedStereo(frames)});
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

TEST_F(AudioRouteRendererTest, UnusableDevices_AreRefusedWithTheirCodeAndMessageAndLeaveNoProcedure) {
    // The tap side's shapes are met through the whole application in the fault matrix.
    const auto stereo = stereoFloatFormat();
    const struct {
        AggregateShape shape;
        OSStatus createStatus;
        std::int64_t code;
        std::string message;
    } cases[] = {
        {{{stereo}, {}},
         0,
         1,
         "Expected one tap input and at least one output, found 1 input/0 output streams. The route was rejected to "
         "avoid opening a destination device's physical input."},
        {{{stereo}, {stereo}, true, false}, 0, 1, "The aggregate route did not expose both input and output streams."},
        {{{stereo}, {reshaped(32, false)}},
         0,
         2,
         "The aggregate route is not Float32 PCM; conversion is not implemented in Milestone 0."},
        {{{stereo}, {reshaped(32, true, 6)}},
         0,
         3,
         "Route channel/layout mismatch: input 48000 Hz/2 ch, output 48000 Hz/6 ch. Tonvale did not coerce the "
         "destination format."},
        {{}, kAudio_ParamError, -50, "AudioDeviceCreateIOProcID failed (-50)."},
    };
    for (const auto& refusal : cases) {
        AudioRouteRenderer& refused = renderer(refusal.shape, false);
        device_->createStatus = refusal.createStatus;
        EXPECT_FALSE(refused.startAndReturnError(nullptr));
        AudioRouteRendererError error;
        EXPECT_FALSE(refused.startAndReturnError(&error));
        EXPECT_EQ(error,
                  (AudioRouteRendererError{"com.zelkor.tonvale.AudioRouteRenderer", refusal.code, refusal.message}));
        EXPECT_FALSE(refused.isRunning());
        EXPECT_EQ(device_->installedProcCount, 0) << refusal.message;
    }
}

TEST_F(AudioRouteRendererTest, StartStop_InstallOneProcedureAndRemoveIt) {
    AudioRouteRenderer& started = renderer();
    EXPECT_TRUE(started.startAndReturnError(nullptr));
    EXPECT_EQ(device_->createdProcCount, 1) << "a second start while running adds nothing";
    EXPECT_TRUE(device_->isStarted && started.isRunning());
    started.stop();
    started.stop();
    EXPECT_FALSE(device_->isStarted || started.isRunning());
    EXPECT_EQ(device_->installedProcCount, 0);
    EXPECT_TRUE(started.startAndReturnError(nullptr));
    renderer_.reset();
    EXPECT_EQ(device_->installedProcCount, 0) << "destruction stops the procedure";
}

TEST_F(AudioRouteRendererTest, GainChanges_RampLinearlyToTheClampedTargetExactly) {
    AudioRouteRenderer& playing = renderer();
    playing.setTargetGain(0.5F);
    std::vector<float> gains;
    for (int cycle = 0; cycle < 4; ++cycle) {
        const auto part = cycleGains(127);
        gains.insert(gains.end(), part.begin(), part.end());
    }
    for (std::size_t k = 1; k <= 336; ++k) {
        ASSERT_EQ(gains[k - 1], static_cast<float>(1.0 + static_cast<double>(k) * (0.5 - 1.0) / 336.0)) << k;
    }
    EXPECT_EQ(gains.back(), 0.5F);

    // A new target ramps afresh from where the gain is.
    playing.setTargetGain(1.0F);
    const float reached = cycleGains(100).back();
    playing.setTargetGain(0.0F);
    EXPECT_NEAR(cycleGains(100).front(), reached - reached / 336, 1e-6);

    const std::pair<float, float> clamped[] = {
        {2.0F, 1.0F}, {std::numeric_limits<float>::quiet_NaN(), 0.0F}, {-std::numeric_limits<float>::infinity(), 0.0F}};
    for (const auto& [requested, played] : clamped) {
        playing.setTargetGain(0.5F);
        cycleGains(400);
        playing.setTargetGain(requested);
        const auto ramp = cycleGains(400);
        EXPECT_EQ(ramp.back(), played) << requested;
        EXPECT_TRUE(std::all_of(ramp.begin(), ramp.end(), [](float gain) { return gain >= 0.0F && gain <= 1.0F; }));
    }
}

TEST_F(AudioRouteRendererTest, BufferLists_PlayOnlyWhatBothSidesHoldAndStaySilentAndInsideTheRest) {
    renderer();
    // Each output buffer plays its first `played` samples from the input and is silent after.
    const struct {
        const char* name;
        std::vector<BufferLayout> input;
        std::vector<BufferLayout> output;
        std::vector<std::size_t> played;
    } cases[] = {
        {"unequal frame counts", {interleavedStereo(512)}, {interleavedStereo(256)}, {512}},
        {"more outputs than inputs", {interleavedStereo(16)}, {interleavedStereo(16), interleavedStereo(16)}, {32, 0}},
        {"null input data", {{2, 128, false}}, {interleavedStereo(16)}, {0}},
        {"null output data beside a good one",
         {interleavedStereo(16), interleavedStereo(16)},
         {{2, 128, false}, interleavedStereo(16)},
         {0, 32}},
        {"odd byte sizes", {{2, 37, true}}, {{2, 23, true}}, {4}},
        {"fewer bytes than one frame", {{2, 4, true}}, {{2, 6, true}}, {0}},
        {"channel mismatch", {{1, 64, true}}, {interleavedStereo(16)}, {0}},
        {"zero channels", {{0, 64, true}}, {{0, 64, true}}, {0}},
        {"no input buffers", {}, {interleavedStereo(16)}, {0}},
        {"no output buffers", {interleavedStereo(16)}, {}, {}},
    };
    for (const auto& layout : cases) {
        RenderBuffers input(layout.input, 0.75F);
        RenderBuffers output(layout.output, 9.0F);
        ASSERT_EQ(device_->runCycle(input.list(), output.list()), kAudioHardwareNoError) << layout.name;
        EXPECT_TRUE(output.areGuardsIntact() && input.areGuardsIntact()) << layout.name;
        for (std::size_t buffer = 0; buffer < layout.output.size(); ++buffer) {
            for (std::size_t sample = 0; layout.output[buffer].hasData && sample < output.sampleCount(buffer);
                 ++sample) {
                ASSERT_EQ(output.sample(buffer, sample), sample < layout.played[buffer] ? 0.75F : 0.0F)
                    << layout.name << " buffer " << buffer << " sample " << sample;
            }
        }
    }
    EXPECT_EQ(renderer_->unequalFrameCallbackCount(), 4U) << "the cycles whose first buffers' frames differ";

    RenderBuffers output({interleavedStereo(16)}, 9.0F);
    ASSERT_EQ(device_->runCycle(nullptr, output.list()), kAudioHardwareNoError);
    EXPECT_EQ(output.sample(0, 0), 0.0F) << "no input list plays silence";
    ASSERT_EQ(device_->runCycle(output.list(), nullptr), kAudioHardwareNoError);
    EXPECT_EQ(renderer_->callbackCount(), 11U) << "a cycle without output is not counted";
}

TEST_F(AudioRouteRendererTest, SeparateChannelBuffers_GetTheSameGainPerFrameDuringARamp) {
    const auto separate = stereoFloatFormat(48000.0, true);
    renderer({{separate}, {separate}}).setTargetGain(0.0F);
    RenderBuffers input({mono(512), mono(512)}, 1.0F);
    RenderBuffers output({mono(512), mono(512)});
    ASSERT_EQ(device_->runCycle(input.list(), output.list()), kAudioHardwareNoError);
    for (std::size_t frame = 0; frame < 512; ++frame) {
        ASSERT_EQ(output.sample(0, frame), output.sample(1, frame)) << "frame " << frame;
    }
    EXPECT_EQ(output.sample(0, 167), 0.5F);
    EXPECT_EQ(output.sample(1, 335), 0.0F);
}

#if defined(__x86_64__)
TEST_F(AudioRouteRendererTest, DenormalInput_PlaysAsSilenceAndTheCallersFloatingPointStateIsKept) {
    renderer().setTargetGain(0.5F);
    RenderBuffers input({interleavedStereo(64)}, std::numeric_limits<float>::denorm_min() * 1000.0F);
    RenderBuffers output({interleavedStereo(64)}, 1.0F);
    const unsigned callers = _mm_getcsr() & ~(_MM_FLUSH_ZERO_ON | _MM_DENORMALS_ZERO_ON);
    _mm_setcsr(callers);
    ASSERT_EQ(device_->runCycle(input.list(), output.list()), kAudioHardwareNoError);
    EXPECT_EQ(_mm_getcsr(), callers);
    for (std::size_t sample = 0; sample < output.sampleCount(0); ++sample) {
        ASSERT_EQ(output.sample(0, sample), 0.0F) << "sample " << sample;
    }
}
#endif

}  // namespace
}  // namespace tonvale
