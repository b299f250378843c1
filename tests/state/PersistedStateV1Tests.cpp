#include "state/PersistedStateV1.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

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

TEST_F(PersistedStateV1Test, NewDocument_HoldsTheDefaults) {
    const PersistedStateV1 document = PersistedStateV1::newDocument();
    EXPECT_EQ(document.schemaVersion, 1);
    EXPECT_TRUE(document.appProfiles.empty());
    EXPECT_TRUE(document.favoriteBundleIDs.empty());
    EXPECT_EQ(document.preferences, (Preferences{false, false, 30}));
    EXPECT_FALSE(document.future.has_value());
}

TEST_F(PersistedStateV1Test, Normalize_ClampsVisibilitySecondsToThirtyThroughOneDay) {
    PersistedStateV1 state;
    for (const auto& [stored, expected] : std::vector<std::pair<std::int64_t, std::int64_t>>{
             {29, 30},
             {-5, 30},
             {std::numeric_limits<std::int64_t>::min(), 30},
             {30, 30},
             {45, 45},
             {86400, 86400},
             {86401, 86400},
             {std::numeric_limits<std::int64_t>::max(), 86400}}) {
        state.preferences.recentAppVisibilitySeconds = stored;
        EXPECT_EQ(normalized(state).preferences.recentAppVisibilitySeconds, expected) << stored;
    }
}

TEST_F(PersistedStateV1Test, Normalize_ClampsVolumesAndReadsNotANumberAsSilence) {
    for (const auto& [stored, expected] : std::vector<std::pair<float, float>>{
             {1.7F, 1.0F},
             {-0.2F, 0.0F},
             {0.25F, 0.25F},
             {std::numeric_limits<float>::infinity(), 1.0F},
             {-std::numeric_limits<float>::infinity(), 0.0F},
             {std::numeric_limits<float>::quiet_NaN(), 0.0F}}) {
        PersistedStateV1 state;
        state.appProfiles.emplace("com.example.a", profile("com.example.a", "A", stored));
        const float volume = normalized(state).appProfiles.at("com.example.a").defaultConfiguration.volume;
        EXPECT_EQ(volume, expected) << stored;
    }
    PersistedStateV1 negativeZero;
    negativeZero.appProfiles.emplace("com.example.a", profile("com.example.a", "A", -0.0F));
    EXPECT_FALSE(std::signbit(normalized(negativeZero).appProfiles.at("com.example.a").defaultConfiguration.volume));
}

TEST_F(PersistedStateV1Test, Normalize_RefilesProfilesUnderTheirOwnIDAndDropsNamelessOnes) {
    PersistedStateV1 state;
    state.appProfiles.emplace("com.example.old", profile("com.example.new", "New"));
    state.appProfiles.emplace("com.example.blank", profile("", "Blank"));
    state.appProfiles.emplace("", profile("com.example.keyless", "Keyless"));

    const PersistedStateV1 result = normalized(state);
    EXPECT_EQ(result.appProfiles.size(), 2U);
    EXPECT_EQ(result.appProfiles.at("com.example.new").displayName, "New");
    EXPECT_EQ(result.appProfiles.at("com.example.keyless").displayName, "Keyless");
    for (const auto& [key, stored] : result.appProfiles) {
        EXPECT_EQ(key, stored.bundleID);
    }
}

TEST_F(PersistedStateV1Test, Normalize_KeepsTheProfileFiledUnderItsOwnIDOverMisfiledCopies) {
    // "com.example.b" sorts after "com.example.a"; a plain last-wins rebuild would let the
    // misfiled copy overwrite the app's real settings.
    PersistedStateV1 state;
    state.appProfiles.emplace("com.example.a", profile("com.example.a", "Real", 0.3F));
    state.appProfiles.emplace("com.example.b", profile("com.example.a", "Misfiled", 0.9F));
    state.appProfiles.emplace("com.example.c", profile("com.example.z", "First misfiled", 0.1F));
    state.appProfiles.emplace("com.example.d", profile("com.example.z", "Last misfiled", 0.2F));

    const PersistedStateV1 result = normalized(state);
    EXPECT_EQ(result.appProfiles.size(), 2U);
    EXPECT_EQ(result.appProfiles.at("com.example.a").displayName, "Real");
    EXPECT_EQ(result.appProfiles.at("com.example.a").defaultConfiguration.volume, 0.3F);
    EXPECT_EQ(result.appProfiles.at("com.example.z").displayName, "Last misfiled");
}

TEST_F(PersistedStateV1Test, Normalize_DropsTheEmptyFavoriteAndLeavesVersionAndFutureAlone) {
    PersistedStateV1 state;
    state.schemaVersion = 7;
    state.favoriteBundleIDs = {"", "com.example.a"};
    state.future = FutureCompatibleState{{{"k", "v"}}};

    const PersistedStateV1 result = normalized(state);
    EXPECT_EQ(result.favoriteBundleIDs, (std::set<std::string>{"com.example.a"}));
    EXPECT_EQ(result.schemaVersion, 7);
    EXPECT_EQ(result.future, state.future);
    EXPECT_EQ(normalized(result), result) << "normalising twice changes nothing more";
}

TEST_F(PersistedStateV1Test, Normalize_KeepsFavoritesAndProfilesIndependent) {
    PersistedStateV1 state;
    state.favoriteBundleIDs = {"com.example.pinned"};
    state.appProfiles.emplace("com.example.tuned", profile("com.example.tuned", "Tuned", 0.5F));
    EXPECT_EQ(normalized(state), state);
}

}  // namespace
}  // namespace tonvale
