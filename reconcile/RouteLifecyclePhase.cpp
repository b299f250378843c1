#include "reconcile/RouteLifecyclePhase.h"

#include <array>

namespace tonvale {
namespace {

constexpr std::array kAllPhases{
    RouteLifecyclePhase::bypassed,          RouteLifecyclePhase::waitingForProcess,
    RouteLifecyclePhase::starting,          RouteLifecyclePhase::active,
    RouteLifecyclePhase::fallbackDefault,   RouteLifecyclePhase::waitingForPreferredDevice,
    RouteLifecyclePhase::failedRecoverable, RouteLifecyclePhase::stopping,
};

}  // namespace

std::string_view rawValue(RouteLifecyclePhase phase) noexcept {
    switch (phase) {
        case RouteLifecyclePhase::bypassed:
            return "bypassed";
        case RouteLifecyclePhase::waitingForProcess:
            return "waitingForProcess";
        case RouteLifecyclePhase::starting:
            return "starting";
        case RouteLifecyclePhase::active:
            return "active";
        case RouteLifecyclePhase::fallbackDefault:
            return "fallbackDefault";
        case RouteLifecyclePhase::waitingForPreferredDevice:
            return "waitingForPreferredDevice";
        case RouteLifecyclePhase::failedRecoverable:
            return "failedRecoverable";
        case RouteLifecyclePhase::stopping:
            return "stopping";
    }
    return "bypassed";
}

std::optional<RouteLifecyclePhase> routeLifecyclePhase(std::string_view text) noexcept {
    for (const RouteLifecyclePhase phase : kAllPhases) {
        if (rawValue(phase) == text) {
            return phase;
        }
    }
    return std::nullopt;
}

}  // namespace tonvale
