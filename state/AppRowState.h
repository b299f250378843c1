// One row of the mixer: who the app is, its stored configuration, and the flags and route
// status the row shows. The app state controller derives the rows on every read; the
// interface draws them and identifies each by its bundle identifier.
// Thread-safety: a value; copies may move freely between threads.
#pragma once

#include <optional>
#include <string>

#include "model/AppAudioConfiguration.h"
#include "model/AppIdentity.h"
#include "reconcile/RouteStatus.h"

namespace tonvale {

struct AppRowState {
    AppIdentity identity;
    AppAudioConfiguration configuration;  // neutral when the app has no profile
    bool isFavorite = false;
    bool isConfigured = false;  // configuration.isCustomized()
    bool isRunningOutput = false;
    bool isRecent = false;
    std::optional<RouteStatus> routeStatus;

    [[nodiscard]] const std::string& id() const noexcept { return identity.bundleID; }

    bool operator==(const AppRowState&) const = default;
};

}  // namespace tonvale
