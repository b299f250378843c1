// One stored entry of the document: an app's bundle identifier, the name remembered for it
// while it is not running, and its configuration. Owned by the document's profile map,
// under a key equal to its bundle identifier once the document is normalised.
// Thread-safety: a value; copies may move freely between threads.
#pragma once

#include <string>

#include "model/AppAudioConfiguration.h"
#include "model/Hashing.h"

namespace tonvale {

struct AppProfile {
    std::string bundleID;
    std::string displayName;
    AppAudioConfiguration defaultConfiguration;

    bool operator==(const AppProfile&) const = default;
};

}  // namespace tonvale

template <>
struct std::hash<tonvale::AppProfile> {
    std::size_t operator()(const tonvale::AppProfile& profile) const noexcept {
        return tonvale::hashFields(profile.bundleID, profile.displayName, profile.defaultConfiguration);
    }
};
