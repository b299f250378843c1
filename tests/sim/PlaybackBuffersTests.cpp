// The buffers an IO cycle hands out, the timeline a device's playback lands on, and the
// recording of it.
#include "sim/DeviceIO.h"
#include "sim/PlayedTimeline.h"
#include "sim/SimulatedServer.h"

#include "platform/dispatch/Dispatch.h"
#include "tests/sim/SimTestWorld.h"

#include <gtest/gtest.h>

#include <sndfile.h>
#include <chrono>
#include <filesystem>
#include <vector>

namespace sim {
namespace {

using namespace sim::testing;

class PlaybackBuffersTest : public ::testing::Test {
protected:
    static constexpr UInt32 kFrames = 4;
    const std::vector<float> stereo{0.5F, -0.5F, 0.25F, -0.25F, 1.0F, -1.0F, 0.0F, 0.125F};
};

TEST_F(PlaybackBuffersTest, NonInterleavedStream_GetsOneBufferPerChannel) {
    BufferListStorage storage;
    storage.layOut({StreamLayout{1, true, true, 32}, StreamLayout{2, false, true, 32}}, kFrames);
    AudioBufferList* list = storage.list();
    ASSERT_EQ(list->mNumberBuffers, 3U);
    EXPECT_EQ(list->mBuffers[0].mDataByteSize, kFrames * 4);
    EXPECT_EQ(list->mBuffers[1].mNumberChannels, 1U);
    EXPECT_EQ(list->mBuffers[2].mDataByteSize, kFrames * 4);
    storage.write(1, stereo.data(), kFrames);
    const auto* right = static_cast<const float*>(list->mBuffers[2].mData);
    EXPECT_EQ(right[0], -0.5F);
    EXPECT_EQ(right[3], 0.125F);
    std::vector<float> back(stereo.size());
    storage.read(1, back.data(), kFrames);
    EXPECT_EQ(back, stereo);
}

TEST_F(PlaybackBuffersTest, SixteenBitStream_HoldsIntegersThatReadBackClose) {
    BufferListStorage storage;
    storage.layOut({StreamLayout{2, true, false, 16}}, kFrames);
    EXPECT_EQ(storage.list()->mBuffers[0].mDataByteSize, kFrames * 2 * 2);
    storage.write(0, stereo.data(), kFrames);
    EXPECT_EQ(static_cast<const std::int16_t*>(storage.list()->mBuffers[0].mData)[4], 32767);
    std::vector<float> back(stereo.size());
    storage.read(0, back.data(), kFrames);
    for (std::size_t i = 0; i < stereo.size(); ++i) {
        EXPECT_NEAR(back[i], stereo[i], 1.0 / 32767.0);
    }
}

TEST_F(PlaybackBuffersTest, Timeline_MixesAddsAndMapsChannels) {
    PlayedTimeline timeline("device", 48000.0, 2, 1.0, std::nullopt);
    EXPECT_FALSE(timeline.hasPlayed());
    timeline.add(10, stereo.data(), kFrames, 2);
    timeline.add(10, stereo.data(), kFrames, 2);
    const std::vector<float> mono{0.5F, 0.5F};
    timeline.add(12, mono.data(), 2, 1);
    const PlayedAudio audio = timeline.read(9, 14);
    ASSERT_EQ(audio.frameCount(), 5U);
    EXPECT_EQ(audio.samples[0], 0.0F);
    EXPECT_EQ(audio.samples[2], 1.0F);
    EXPECT_EQ(audio.samples[3], -1.0F);
    EXPECT_EQ(audio.samples[6], 2.5F);
    EXPECT_EQ(audio.samples[7], -1.5F);
    EXPECT_TRUE(timeline.hasPlayed());
}

TEST_F(PlaybackBuffersTest, Timeline_KeepsOnlyTheRetainedStretchForReadBack) {
    PlayedTimeline timeline("device", 100.0, 1, 1.0, std::nullopt);
    std::vector<float> second(100, 0.5F);
    for (int i = 0; i < 5; ++i) {
        timeline.add(i * 100, second.data(), 100, 1);
    }
    EXPECT_EQ(timeline.read(0, 100).peak(), 0.0);
    EXPECT_EQ(timeline.read(400, 500).peak(), 0.5);
    // Audio older than the held stretch is ignored rather than misplaced.
    timeline.add(0, second.data(), 100, 1);
    EXPECT_EQ(timeline.read(400, 500).rms(), 0.5);
}

// Recording writes, per physical output that played, what it played from the server's start.
TEST(SimulatedServerRecordingTest, PlayingDevices_WriteFloatWavFromTheStart) {
    const auto folder = std::filesystem::temp_directory_path() /
                        ("tonvale-sim-record-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                         "-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    {
        dispatch::VirtualTime time;
        Scenario scenario = routeDesk();
        scenario.devices[0].uid = "Speakers:Main/1";
        scenario.defaultOutputUID = "Speakers:Main/1";
        scenario.aggregates.clear();
        auto server = SimulatedServer::create(scenario, {.readBackSeconds = 0.25, .recordingFolder = folder});
        time.advance(1.0);
        server.reset();
    }
    const auto file = folder / "Speakers_Main_1.wav";
    ASSERT_TRUE(std::filesystem::exists(file));
    EXPECT_FALSE(std::filesystem::exists(folder / "headset.wav"));
    SF_INFO info{};
    SNDFILE* sound = sf_open(file.c_str(), SFM_READ, &info);
    ASSERT_NE(sound, nullptr);
    EXPECT_EQ(info.samplerate, 48000);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_NEAR(static_cast<double>(info.frames), 48000.0, 512.0);
    PlayedAudio audio{48000.0, 2, std::vector<float>(static_cast<std::size_t>(info.frames) * 2)};
    sf_readf_float(sound, audio.samples.data(), info.frames);
    sf_close(sound);
    // The tone runs from the first frame: the first cycle is not lost to silence.
    EXPECT_NE(audio.samples[2], 0.0F);
    EXPECT_NEAR(audio.toneAmplitude(kMusicFrequency), kMusicAmplitude, 0.01);
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace sim
