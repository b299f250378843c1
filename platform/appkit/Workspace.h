// The workspace: the running applications by process identifier, where an
// application's bundle lies, and the notification center of sleep and wake.
//
// Answers from the simulated server's world (its running applications are backed
// by real .app folders on disk). One shared instance per process.
// Thread-safety: every operation may be called from any thread.
#pragma once

#include "platform/appkit/NotificationCenter.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace appkit {

// A running application as the workspace lists it; a value snapshot.
struct RunningApplication {
    std::int32_t processIdentifier = 0;
    std::optional<std::string> bundleIdentifier;
    std::optional<std::string> localizedName;
    // The application's bundle folder (a file URL's path).
    std::optional<std::filesystem::path> bundleURL;
    bool operator==(const RunningApplication&) const = default;

    // The running application with that process identifier, if any.
    [[nodiscard]] static std::optional<RunningApplication> runningApplicationWithProcessIdentifier(std::int32_t pid);
};

class Workspace {
public:
    [[nodiscard]] static Workspace& sharedWorkspace();

    // Every running application, in a stable order; empty when no server runs.
    [[nodiscard]] std::vector<RunningApplication> runningApplications() const;
    // The bundle of the first running application with that identifier.
    [[nodiscard]] std::optional<std::filesystem::path> URLForApplicationWithBundleIdentifier(
        const std::string& bundleIdentifier) const;
    [[nodiscard]] NotificationCenter& notificationCenter() const;
};

}  // namespace appkit
