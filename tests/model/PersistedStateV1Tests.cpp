// Normalising the document: clamped values, profiles refiled under their own identifier, and
// texts made valid so that no two entries collide once written.
#include "model/PersistedStateV1.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <string>

namespace tonvale {
namespace {

class PersistedStateV1Test : public ::testing::Test {
protected:
    static AppProfile profile(std::string bundleID, std::string displayName, float volume = 1.0F) {
        AppProfile made{std::move(bundleID), std::move(displayName), {}};
        made.defaultConfiguration.volume = volume;
        return made;
    }

    static PersistedStateV1 normalized(PersistedStateV1 state) {
        state.normalize();
        return state;
    }
};

TEST_F(PersistedStateV1Test, Normalize_ClampsVisibilityAndVolumesAndReadsNotANumberAsSilence) {
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    PersistedStateV1 state;
    for (const auto& [stored, expected] : std::vector<std::pair<std::int64_t, std::int64_t>>{
             {29, 30}, {kMin, 30}, {45, 45}, {86400, 86400}, {86401, 86400}, {kMax, 86400}}) {
        state.preferences.recentAppVisibilitySeconds = stored;
        EXPECT_EQ(normalized(state).preferences.recentAppVisibilitySeconds, expected) << stored;
    }
    constexpr float kInfinity = std::numeric_limits<float>::infinity();
    for (const auto& [stored, expected] :
         std::vector<std::pair<float, float>>{{1.7F, 1.0F},
                                              {-0.2F, 0.0F},
                                              {0.25F, 0.25F},
                                              {kInfinity, 1.0F},
                                              {-kInfinity, 0.0F},
                                              {std::numeric_limits<float>::quiet_NaN(), 0.0F},
                                              {-0.0F, 0.0F}}) {
        state.appProfiles.insert_or_assign("a", profile("a", "A", stored));
        const float volume = normalized(state).appProfiles.at("a").defaultConfiguration.volume;
        EXPECT_EQ(volume, expected) << stored;
        EXPECT_FALSE(std::signbit(volume)) << stored;
    }
}

TEST_F(PersistedStateV1Test, Normalize_RefilesProfilesUnderTheirOwnIDAndDropsNamelessOnes) {
    // "com.example.b" sorts after "com.example.a"; a plain last-wins rebuild would let the
    // misfiled copy overwrite the settings filed under the app's own ID.
    PersistedStateV1 state;
    state.appProfiles.emplace("com.example.a", profile("com.example.a", "Real", 0.3F));
    state.appProfiles.emplace("com.example.b", profile("com.example.a", "Misfiled", 0.9F));
    state.appProfiles.emplace("com.example.blank", profile("", "Blank"));
    state.appProfiles.emplace("", profile("com.example.keyless", "Keyless"));
    state.appProfiles.emplace("com.example.c", profile("com.example.z", "First misfiled", 0.1F));
    state.appProfiles.emplace("com.example.d", profile("com.example.z", "Last misfiled", 0.2F));

    const PersistedStateV1 result = normalized(state);
    EXPECT_EQ(result.appProfiles.size(), 3U);
    EXPECT_EQ(result.appProfiles.at("com.example.a").displayName, "Real");
    EXPECT_EQ(result.appProfiles.at("com.example.keyless").displayName, "Keyless");
    EXPECT_EQ(result.appProfiles.at("com.example.z").displayName, "Last misfiled");
}

TEST_F(PersistedStateV1Test, Normalize_MakesTextsValidSoKeysEqualOnceWrittenCollapseInMemory) {
    // Two identifiers that differ only in bytes that are not UTF-8 would be written as one
    // key, and one of the two profiles would be lost on the next load.
    PersistedStateV1 state;
    state.appProfiles.emplace("com.example.a\xfe", profile("com.example.a\xfe", "A\xc3", 0.3F));
    state.appProfiles.emplace("com.example.a\xff", profile("com.example.a\xff", "A", 0.4F));
    state.appProfiles.at("com.example.a\xff").defaultConfiguration.output =
        OutputPreference::device("usb\x80", "Head\xe2\x82");
    state.favoriteBundleIDs = {"com.example.f\xff", "com.example.f\xfe"};
    state.future = FutureCompatibleState{{{"k\xff", "v\xc0\xaf"}}};

    const PersistedStateV1 result = normalized(state);
    ASSERT_EQ(result.appProfiles.size(), 1U);
    const AppProfile& kept = result.appProfiles.begin()->second;
    EXPECT_EQ(result.appProfiles.begin()->first, "com.example.a\uFFFD");
    EXPECT_EQ(kept.bundleID, "com.example.a\uFFFD");
    EXPECT_EQ(kept.displayName, "A");
    EXPECT_EQ(kept.defaultConfiguration.output, OutputPreference::device("usb\uFFFD", "Head\uFFFD"));
    EXPECT_EQ(result.favoriteBundleIDs, (std::set<std::string>{"com.example.f\uFFFD"}));
    EXPECT_EQ(result.future->reserved, (std::map<std::string, std::string>{{"k\uFFFD", "v\uFFFD\uFFFD"}}));
    EXPECT_EQ(normalized(result), result);
}

}  // namespace
}  // namespace tonvale
