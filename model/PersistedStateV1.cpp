#include "model/PersistedStateV1.h"

#include <cmath>
#include <utility>
#include <vector>

#include "model/ValidText.h"

namespace tonvale {
namespace {

float normalizedVolume(float volume) {
    // Also turns -0 into 0, so the stored text never reads "-0".
    if (std::isnan(volume) || volume <= 0.0F) {
        return 0.0F;
    }
    return volume > 1.0F ? 1.0F : volume;
}

// Every text of a profile made valid UTF-8.
AppProfile withValidTexts(AppProfile profile) {
    profile.bundleID = validText(profile.bundleID);
    profile.displayName = validText(profile.displayName);
    if (const OutputPreference::Device* device = profile.defaultConfiguration.output.selectedDevice()) {
        profile.defaultConfiguration.output =
            OutputPreference::device(validText(device->uid), validText(device->lastKnownName));
    }
    return profile;
}

}  // namespace

PersistedStateV1 PersistedStateV1::newDocument() {
    PersistedStateV1 document;
    document.normalize();
    return document;
}

void PersistedStateV1::normalize() {
    preferences.recentAppVisibilitySeconds =
        Preferences::clampedRecentAppVisibilitySeconds(preferences.recentAppVisibilitySeconds);

    // Texts become valid first, so that identifiers equal once written are equal here and
    // collapse by the rules below. Misfiled profiles go first, then those filed under their
    // own identifier, so the latter win any clash.
    std::vector<std::pair<std::string, AppProfile>> profiles;
    profiles.reserve(appProfiles.size());
    for (auto& [key, profile] : appProfiles) {
        profiles.emplace_back(validText(key), withValidTexts(std::move(profile)));
    }
    std::map<std::string, AppProfile> rebuilt;
    for (const bool isFiledUnderOwnID : {false, true}) {
        for (auto& [key, profile] : profiles) {
            if (profile.bundleID.empty() || (key == profile.bundleID) != isFiledUnderOwnID) {
                continue;
            }
            profile.defaultConfiguration.volume = normalizedVolume(profile.defaultConfiguration.volume);
            std::string bundleID = profile.bundleID;
            rebuilt.insert_or_assign(std::move(bundleID), std::move(profile));
        }
    }
    appProfiles = std::move(rebuilt);

    std::set<std::string> favorites;
    for (const std::string& favorite : favoriteBundleIDs) {
        favorites.insert(validText(favorite));
    }
    favorites.erase(std::string());
    favoriteBundleIDs = std::move(favorites);
    if (future) {
        std::map<std::string, std::string> reserved;
        for (const auto& [key, value] : future->reserved) {
            reserved.insert_or_assign(validText(key), validText(value));
        }
        future->reserved = std::move(reserved);
    }
}

}  // namespace tonvale
