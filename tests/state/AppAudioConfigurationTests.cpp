#include "state/AppAudioConfiguration.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <unordered_set>
#include <vector>

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

TEST_F(AppAudioConfigurationTest, Volume_CountsAsFullFromThresholdInSinglePrecision) {
    // The float nearest 0.9999 lies below the double 0.9999; comparing in double precision
    // would wrongly route an app whose slider sits at the threshold.
    EXPECT_FALSE(AppAudioConfiguration::neutral().isCustomized());
    EXPECT_FALSE(atVolume(0.9999F).isCustomized());
    EXPECT_TRUE(atVolume(std::nextafter(0.9999F, 0.0F)).isCustomized());
    EXPECT_FALSE(atVolume(0.99995F).isCustomized());
    EXPECT_TRUE(atVolume(0.9998F).isCustomized());
    EXPECT_FALSE(atVolume(1.7F).isCustomized()) << "above full volume reads as full volume once clamped";
    EXPECT_TRUE(atVolume(std::numeric_limits<float>::quiet_NaN()).isCustomized()) << "like the silence it becomes";
}

TEST_F(AppAudioConfigurationTest, MuteDeviceOrProcessingProfile_EachCustomizeAtFullVolume) {
    AppAudioConfiguration muted;
    muted.muted = true;
    AppAudioConfiguration routed;
    routed.output = OutputPreference::device("USB-1", "USB Headset");
    AppAudioConfiguration processed;
    processed.processingProfileID = foundation::UUID::random();
    for (const AppAudioConfiguration& configuration : {muted, routed, processed}) {
        EXPECT_TRUE(configuration.isCustomized());
    }
}

TEST_F(AppAudioConfigurationTest, EqualityAndHash_CompareVolumesAsNumbersAndCoverEveryField) {
    EXPECT_EQ(atVolume(0.0F), atVolume(-0.0F));
    EXPECT_EQ(std::hash<AppAudioConfiguration>{}(atVolume(0.0F)), std::hash<AppAudioConfiguration>{}(atVolume(-0.0F)));

    std::vector<AppAudioConfiguration> configurations(7);
    configurations[1].volume = 0.5F;
    configurations[2].muted = true;
    configurations[3].processingProfileID = foundation::UUID::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    configurations[4].output = OutputPreference::device("", "");
    configurations[5].output = OutputPreference::device("USB-1", "A");
    configurations[6].output = OutputPreference::device("USB-1", "B");
    const std::unordered_set<AppAudioConfiguration> distinct(configurations.begin(), configurations.end());
    EXPECT_EQ(distinct.size(), configurations.size());
}

}  // namespace
}  // namespace tonvale
