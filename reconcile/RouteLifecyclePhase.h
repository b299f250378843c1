// Where one app's audio stands, as the route reconciler reports it: played normally,
// waiting for something, routed, failed open, or being torn down. A plain enumeration
// whose raw values are the texts the diagnostics report prints.
// Thread-safety: a value; copies may move freely between threads.
#pragma once

#include <optional>
#include <string_view>

namespace tonvale {

// Declaration order is the case index.
enum class RouteLifecyclePhase {
    bypassed,
    waitingForProcess,
    starting,
    active,
    // Shown by the interface, never produced by the reconciler.
    fallbackDefault,
    waitingForPreferredDevice,
    failedRecoverable,
    stopping,
};

[[nodiscard]] std::string_view rawValue(RouteLifecyclePhase phase) noexcept;
// Only the exact raw values name a phase; any other text, in any letter case, names none.
[[nodiscard]] std::optional<RouteLifecyclePhase> routeLifecyclePhase(std::string_view rawValue) noexcept;

}  // namespace tonvale
