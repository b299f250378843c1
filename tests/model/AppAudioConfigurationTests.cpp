// Which configurations leave the normal path, and equality and hashing over every field.
#include "model/AppAudioConfiguration.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <unordered_set>
#include <utility>
#include <vector>

namespace tonvale {
namespace {

const OutputPreference kSystemDefault = OutputPreference::systemDefault();

TEST(AppAudioConfigurationTest, IsCustomized_BelowFullVolumeInSinglePrecisionOrMutedRoutedOrProcessed) {
    // The float nearest 0.9999 lies below the double 0.9999; comparing in double precision
    // would wrongly route an app whose slider sits at the threshold.
    for (const auto& [volume, isCustomized] :
         std::vector<std::pair<float, bool>>{{1.0F, false},
                                             {0.9999F, false},
                                             {std::nextafter(0.9999F, 0.0F), true},
                                             {0.99995F, false},
                                             {0.9998F, true},
                                             {1.7F, false},
                                             {std::numeric_limits<float>::quiet_NaN(), true}}) {
        EXPECT_EQ(AppAudioConfiguration{volume}.isCustomized(), isCustomized) << volume;
    }
    for (const AppAudioConfiguration& configuration : {AppAudioConfiguration{1.0F, true},
                                                       {1.0F, false, OutputPreference::device("USB-1", "USB Headset")},
                                                       {1.0F, false, kSystemDefault, foundation::UUID::random()}}) {
        EXPECT_TRUE(configuration.isCustomized());
    }
}

TEST(AppAudioConfigurationTest, EqualityAndHash_CompareVolumesAsNumbersAndCoverEveryField) {
    EXPECT_EQ(AppAudioConfiguration{0.0F}, AppAudioConfiguration{-0.0F});
    EXPECT_EQ(std::hash<AppAudioConfiguration>{}({0.0F}), std::hash<AppAudioConfiguration>{}({-0.0F}));
    const std::vector<AppAudioConfiguration> configurations{{},
                                                            {0.5F},
                                                            {1.0F, true},
                                                            {1.0F, false, kSystemDefault, foundation::UUID::random()},
                                                            {1.0F, false, OutputPreference::device("", "")},
                                                            {1.0F, false, OutputPreference::device("USB-1", "A")},
                                                            {1.0F, false, OutputPreference::device("USB-1", "B")}};
    const std::unordered_set<AppAudioConfiguration> distinct(configurations.begin(), configurations.end());
    EXPECT_EQ(distinct.size(), configurations.size());
}

}  // namespace
}  // namespace tonvale
