// A running application as the workspace lists it: its process, bundle identifier,
// name and bundle folder. A value snapshot taken from the workspace's service.
// Thread-safety: a value; copies may move freely between threads.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace appkit {

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

}  // namespace appkit
