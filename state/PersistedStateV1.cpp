#include "state/PersistedStateV1.h"

#include <cmath>
#include <utility>

namespace tonvale {
namespace {

float normalizedVolume(float volume) {
    // Also turns -0 into 0, so the stored text never reads "-0".
    if (std::isnan(volume) || volume <= 0.0F) {
        return 0.0F;
    }
    return volume > 1.0F ? 1.0F : volume;
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

    // Misfiled profiles first, then those filed under their own identifier, so the latter
    // win any clash.
    std::map<std::string, AppProfile> rebuilt;
    for (const auto& [key, profile] : appProfiles) {
        if (profile.bundleID.empty() || key == profile.bundleID) {
            continue;
        }
        AppProfile refiled = profile;
        refiled.defaultConfiguration.volume = normalizedVolume(refiled.defaultConfiguration.volume);
        std::string bundleID = refiled.bundleID;
        rebuilt.insert_or_assign(std::move(bundleID), std::move(refiled));
    }
    for (auto& [key, profile] : appProfiles) {
        if (profile.bundleID.empty() || key != profile.bundleID) {
            continue;
        }
        profile.defaultConfiguration.volume = normalizedVolume(profile.defaultConfiguration.volume);
        rebuilt.insert_or_assign(key, std::move(profile));
    }
    appProfiles = std::move(rebuilt);

    favoriteBundleIDs.erase(std::string());
}

}  // namespace tonvale
