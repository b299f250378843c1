#include "reconcile/RouteStatus.h"

#include <utility>

namespace tonvale {

RouteStatus RouteStatus::bypassed(OutputPreference preferredOutput) {
    return {RouteLifecyclePhase::bypassed, std::move(preferredOutput), std::nullopt, false, std::nullopt};
}

RouteStatus RouteStatus::waitingForProcess(OutputPreference preferredOutput) {
    return {RouteLifecyclePhase::waitingForProcess, std::move(preferredOutput), std::nullopt, false, std::nullopt};
}

RouteStatus RouteStatus::starting(OutputPreference preferredOutput, std::string destinationUID) {
    return {RouteLifecyclePhase::starting, std::move(preferredOutput), std::move(destinationUID), false, std::nullopt};
}

RouteStatus RouteStatus::active(OutputPreference preferredOutput, std::string destinationUID) {
    return {RouteLifecyclePhase::active, std::move(preferredOutput), std::move(destinationUID), false, std::nullopt};
}

RouteStatus RouteStatus::waitingForPreferredDevice(OutputPreference preferredOutput,
                                                   std::optional<std::string> defaultDeviceUID) {
    return {RouteLifecyclePhase::waitingForPreferredDevice, std::move(preferredOutput), std::move(defaultDeviceUID),
            true, kPreferredOutputUnavailableMessage};
}

RouteStatus RouteStatus::failedRecoverable(OutputPreference preferredOutput,
                                           std::optional<std::string> defaultDeviceUID, std::string message) {
    return {RouteLifecyclePhase::failedRecoverable, std::move(preferredOutput), std::move(defaultDeviceUID), true,
            std::move(message)};
}

RouteStatus RouteStatus::stopping(OutputPreference preferredOutput) {
    return {RouteLifecyclePhase::stopping, std::move(preferredOutput), std::nullopt, false, std::nullopt};
}

}  // namespace tonvale
