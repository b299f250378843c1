// The buffers an IO cycle hands out and the timeline a device's playback lands on.
#include "sim/DeviceIO.h"
#include "sim/PlayedTimeline.h"

#include <gtest/gtest.h>

#include <vector>

namespace sim {
namespace {

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

TEST_F(PlaybackBuffersTest, ToneAmplitude_MeasuresOneFrequencyAmongOthers) {
    PlayedAudio audio{48000.0, 1, std::vector<float>(48000, 0.0F)};
    AudioSource::sine(440.0, -12.0).renderAdding(0, 48000.0, audio.samples.data(), 48000, 1);
    AudioSource::sine(660.0, -6.0).renderAdding(0, 48000.0, audio.samples.data(), 48000, 1);
    EXPECT_NEAR(audio.toneAmplitude(440.0), AudioSource::sine(440.0, -12.0).amplitude(), 1e-3);
    EXPECT_NEAR(audio.toneAmplitude(660.0), AudioSource::sine(660.0, -6.0).amplitude(), 1e-3);
    EXPECT_LT(audio.toneAmplitude(1000.0), 1e-3);
    // A block rendered in two halves equals the block rendered at once.
    std::vector<float> halves(200, 0.0F);
    std::vector<float> whole(200, 0.0F);
    const AudioSource noise = AudioSource::noise(-20.0);
    noise.renderAdding(1000, 48000.0, halves.data(), 100, 1);
    noise.renderAdding(1100, 48000.0, halves.data() + 100, 100, 1);
    noise.renderAdding(1000, 48000.0, whole.data(), 200, 1);
    EXPECT_EQ(halves, whole);
}

}  // namespace
}  // namespace sim
