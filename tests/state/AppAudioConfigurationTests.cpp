#include "state/AppAudioConfiguration.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <unordered_set>

#include "state/AppProfile.h"

namespace tonvale {
namespace {

class AppAudioConfigurationTest : public ::testing::Test {
protected:
    static AppAudioConfiguration atVolume(float volume) {
        AppAudioConfiguration configuration;
        configuration.volume = volume;
        return configuration;
    }
};

TEST_F(AppAudioConfigurationTest, Neutral_IsFullVolumeUnmutedSystemDefaultAndNotCustomized) {
    const AppAudioConfiguration neutral = AppAudioConfiguration::neutral();
    EXPECT_EQ(neutral.volume, 1.0F);
    EXPECT_FALSE(neutral.muted);
    EXPECT_EQ(neutral.output, OutputPreference::systemDefault());
    EXPECT_FALSE(neutral.processingProfileID.has_value());
    EXPECT_FALSE(neutral.isCustomized());
}

TEST_F(AppAudioConfigurationTest, Volume_CountsAsFullFromThresholdInSinglePrecision) {
    // The float nearest 0.9999 lies below the double 0.9999; comparing in double precision
    // would wrongly route an app whose slider sits at the threshold.
    EXPECT_FALSE(atVolume(0.9999F).isCustomized());
    EXPECT_TRUE(atVolume(std::nextafter(0.9999F, 0.0F)).isCustomized());
    EXPECT_FALSE(atVolume(0.99995F).isCustomized());
    EXPECT_TRUE(atVolume(0.9998F).isCustomized());
    EXPECT_TRUE(atVolume(0.0F).isCustomized());
    EXPECT_FALSE(atVolume(1.7F).isCustomized()) << "above full volume reads as full volume once clamped";
}

TEST_F(AppAudioConfigurationTest, VolumeNotANumber_IsCustomizedLikeTheSilenceItNormalisesTo) {
    EXPECT_TRUE(atVolume(std::numeric_limits<float>::quiet_NaN()).isCustomized());
}

TEST_F(AppAudioConfigurationTest, MuteDeviceOrProcessingProfile_EachCustomizeAtFullVolume) {
    AppAudioConfiguration muted;
    muted.muted = true;
    EXPECT_TRUE(muted.isCustomized());

    AppAudioConfiguration routed;
    routed.output = OutputPreference::device("USB-1", "USB Headset");
    EXPECT_TRUE(routed.isCustomized());

    AppAudioConfiguration processed;
    processed.processingProfileID = foundation::UUID::random();
    EXPECT_TRUE(processed.isCustomized());
}

TEST_F(AppAudioConfigurationTest, EqualityAndHash_CompareVolumesAsNumbersAndCoverEveryField) {
    EXPECT_EQ(atVolume(0.0F), atVolume(-0.0F));
    EXPECT_EQ(std::hash<AppAudioConfiguration>{}(atVolume(0.0F)), std::hash<AppAudioConfiguration>{}(atVolume(-0.0F)));

    AppAudioConfiguration withProfile;
    withProfile.processingProfileID = foundation::UUID::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    AppAudioConfiguration withOtherProfile;
    withOtherProfile.processingProfileID = foundation::UUID::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E50");
    AppAudioConfiguration muted;
    muted.muted = true;
    const std::unordered_set<AppAudioConfiguration> distinct{
        AppAudioConfiguration::neutral(), atVolume(0.5F), muted, withProfile, withOtherProfile};
    EXPECT_EQ(distinct.size(), 5U);

    const AppProfile profile{"com.example.music", "Music", atVolume(0.5F)};
    std::unordered_set<AppProfile> profiles{profile, profile, AppProfile{"com.example.music", "Music 2", {}}};
    EXPECT_EQ(profiles.size(), 2U);
}

}  // namespace
}  // namespace tonvale
