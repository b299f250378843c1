// What the system tells about one app's route: its phase, the output its configuration
// asks for, where its audio goes, whether it fell back to the system default and why.
// The route reconciler makes every status through the named constructors below, which
// hold the rules of each phase; the app state controller and the interface read them.
// Thread-safety: a value; copies may move freely between threads.
#pragma once

#include <optional>
#include <string>

#include "model/OutputPreference.h"
#include "reconcile/RouteLifecyclePhase.h"

namespace tonvale {

struct RouteStatus {
    static constexpr const char* kPreferredOutputUnavailableMessage =
        "Preferred output is unavailable; using System Default.";
    static constexpr const char* kEngineStoppedMessage = "The route engine stopped unexpectedly.";
    static constexpr const char* kHeartbeatStalledMessage =
        "Audio callback heartbeat stalled; normal playback restored.";

    RouteLifecyclePhase phase = RouteLifecyclePhase::bypassed;
    OutputPreference preferredOutput;
    std::optional<std::string> effectiveDestinationUID;
    bool isFallbackActive = false;
    std::optional<std::string> message;

    // preferredOutput is always the app's configured output, except for stopping.
    [[nodiscard]] static RouteStatus bypassed(OutputPreference preferredOutput);
    [[nodiscard]] static RouteStatus waitingForProcess(OutputPreference preferredOutput);
    [[nodiscard]] static RouteStatus starting(OutputPreference preferredOutput, std::string destinationUID);
    [[nodiscard]] static RouteStatus active(OutputPreference preferredOutput, std::string destinationUID);
    // The app plays through the system default output, whose UID is given when known.
    [[nodiscard]] static RouteStatus waitingForPreferredDevice(OutputPreference preferredOutput,
                                                               std::optional<std::string> defaultDeviceUID);
    [[nodiscard]] static RouteStatus failedRecoverable(OutputPreference preferredOutput,
                                                       std::optional<std::string> defaultDeviceUID,
                                                       std::string message);
    // preferredOutput: that of the status the teardown will end in, else the profile's.
    [[nodiscard]] static RouteStatus stopping(OutputPreference preferredOutput);

    bool operator==(const RouteStatus&) const = default;
};

}  // namespace tonvale
