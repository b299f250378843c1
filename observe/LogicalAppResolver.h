// Groups audio processes into the logical apps the user sets volume, mute and output for:
// helpers join the application whose bundle they live in or whose family they extend, and
// the program's own processes are left out. A stateless value; the app state controller
// runs it on the main thread for every process snapshot, the diagnostics mode once.
// Thread-safety: resolve is const and keeps no state; it runs the lookup and reads bundles
// on the calling thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "hal/AudioProcessInfo.h"
#include "model/AppIdentity.h"

namespace tonvale {

// What the workspace knows about the running application behind a process.
struct RunningAppMetadata {
    std::optional<std::string> bundleID;
    std::optional<std::string> displayName;
    std::optional<std::filesystem::path> bundleURL;  // the path of the application's file URL

    bool operator==(const RunningAppMetadata&) const = default;
};

// One logical app and its processes, ascending by object identifier.
struct LogicalAppProcessGroup {
    AppIdentity identity;
    std::vector<AudioProcessInfo> processes;

    // The processes playing output, ascending: what a route taps.
    [[nodiscard]] std::vector<AudioObjectID> activeProcessObjectIDs() const;

    bool operator==(const LogicalAppProcessGroup&) const = default;
};

struct LogicalAppResolver {
    using RunningAppLookup = std::function<std::optional<RunningAppMetadata>(std::int32_t pid)>;

    std::string ownBundleID;
    std::int32_t ownPID = 0;
    RunningAppLookup runningAppLookup;

    // The workspace's running application with that process identifier.
    [[nodiscard]] static std::optional<RunningAppMetadata> standardRunningAppLookup(std::int32_t pid);

    // The same answers from one reading of the workspace's list, for resolving a whole
    // snapshot at once: each look-up is then a map search, not a workspace query.
    [[nodiscard]] static RunningAppLookup snapshotRunningAppLookup();

    // One group per logical app: groups with a playing process first, then by display name.
    [[nodiscard]] std::vector<LogicalAppProcessGroup> resolve(const std::vector<AudioProcessInfo>& processes) const;

    // The logical app one process belongs to; nothing for the program's own processes and
    // for processes without a usable bundle identifier anywhere.
    [[nodiscard]] std::optional<AppIdentity> logicalIdentity(const AudioProcessInfo& process) const;
};

// Application families whose helpers carry extended identifiers ("com.google.Chrome.helper").
[[nodiscard]] const std::vector<std::string>& knownAppFamilies();

// The name shown for a known family, whatever its bundles call themselves.
[[nodiscard]] std::optional<std::string> knownDisplayName(const std::string& bundleID);

}  // namespace tonvale
