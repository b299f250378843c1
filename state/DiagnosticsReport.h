// The plain-text diagnostics report the user copies for a support request: the build, the
// system, the devices, the logical apps and their processes, and every route. No stored
// settings, no audio. A pure function of its inputs and of the facts about the running
// program and machine passed with them; the app state controller builds it on the main
// thread when the user asks to copy diagnostics.
// Thread-safety: pure functions; DiagnosticsReportFacts::current reads the main bundle and
// the system, callable from any thread.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/AudioRouteSnapshot.h"
#include "hal/AudioDeviceInfo.h"
#include "observe/LogicalAppResolver.h"
#include "reconcile/RouteStatus.h"

namespace tonvale {

// What the report says about the program and the machine it runs on.
struct DiagnosticsReportFacts {
    std::optional<std::string> appVersion;  // the main bundle's CFBundleShortVersionString
    std::optional<std::string> appBuild;    // the main bundle's CFBundleVersion
    std::string operatingSystemVersion;
    std::string architecture;  // the machine's, as the system names it ("x86_64", "arm64", ...)

    [[nodiscard]] static DiagnosticsReportFacts current();

    bool operator==(const DiagnosticsReportFacts&) const = default;
};

// Lines joined by line feeds, none after the last. Every text taken from the world (names,
// UIDs, bundle identifiers, messages, versions) is escaped as diagnosticsFieldText does,
// so no text can break or forge a line.
[[nodiscard]] std::string makeDiagnosticsReport(const std::vector<AudioDeviceInfo>& devices,
                                                AudioObjectID defaultOutputID, AudioObjectID defaultInputID,
                                                const std::vector<LogicalAppProcessGroup>& logicalApps,
                                                const std::map<std::string, RouteStatus>& routeStatuses,
                                                const std::map<std::string, AudioRouteSnapshot>& routeSnapshots,
                                                const DiagnosticsReportFacts& facts);

}  // namespace tonvale
