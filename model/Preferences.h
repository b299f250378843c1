// The user's preferences kept in the document: the launch-at-login choice, whether the
// one-time launch-at-login question was answered, and how long an app that stopped
// playing stays listed. A plain value inside the document.
// Thread-safety: a value; copies may move freely between threads.
#pragma once

#include <algorithm>
#include <cstdint>

#include "model/Hashing.h"

namespace tonvale {

struct Preferences {
    static constexpr std::int64_t kMinimumRecentAppVisibilitySeconds = 30;
    static constexpr std::int64_t kMaximumRecentAppVisibilitySeconds = 86400;

    bool launchAtLogin = false;
    bool hasCompletedLaunchAtLoginConsent = false;
    std::int64_t recentAppVisibilitySeconds = kMinimumRecentAppVisibilitySeconds;

    [[nodiscard]] static constexpr std::int64_t clampedRecentAppVisibilitySeconds(std::int64_t seconds) noexcept {
        return std::clamp(seconds, kMinimumRecentAppVisibilitySeconds, kMaximumRecentAppVisibilitySeconds);
    }

    bool operator==(const Preferences&) const = default;
};

}  // namespace tonvale

template <>
struct std::hash<tonvale::Preferences> {
    std::size_t operator()(const tonvale::Preferences& preferences) const noexcept {
        return tonvale::hashFields(preferences.launchAtLogin, preferences.hasCompletedLaunchAtLoginConsent,
                                   preferences.recentAppVisibilitySeconds);
    }
};
