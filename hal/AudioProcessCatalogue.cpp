#include "hal/AudioProcessCatalogue.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <unordered_map>

#include "hal/AudioPropertyReaders.h"
#include "platform/appkit/Workspace.h"
#include "platform/foundation/LocalizedCaseInsensitiveCompare.h"
#include "platform/foundation/ProcessInfo.h"

namespace tonvale {

namespace {

// Records reserved up front; a longer list grows as its records are read.
constexpr std::size_t kReservedRecords = 256;

using RunningApplications = std::unordered_map<std::int32_t, appkit::RunningApplication>;

RunningApplications runningApplicationsByPID() {
    RunningApplications applications;
    for (appkit::RunningApplication& application : appkit::Workspace::sharedWorkspace().runningApplications()) {
        applications.try_emplace(application.processIdentifier, std::move(application));
    }
    return applications;
}

std::string executableName() {
    const std::vector<std::string> arguments = foundation::ProcessInfo::processInfo().arguments();
    if (arguments.empty()) {
        return {};
    }
    return std::filesystem::path(arguments.front()).filename().string();
}

std::string processNumberName(std::int32_t pid) { return "Process " + std::to_string(pid); }

struct ProcessNaming {
    RunningApplications runningApplications;
    std::string ownExecutableName;
    std::int32_t ownPID;
};

std::optional<AudioProcessInfo> readProcess(AudioObjectID objectID, const ProcessNaming& naming) {
    const HALResult<UInt32> pidValue = readUInt32(objectID, kAudioProcessPropertyPID, kAudioObjectPropertyScopeGlobal);
    if (!pidValue) {
        return std::nullopt;
    }
    AudioProcessInfo process;
    process.objectID = objectID;
    process.pid = static_cast<std::int32_t>(pidValue.value());

    const auto found = naming.runningApplications.find(process.pid);
    const appkit::RunningApplication* application =
        found == naming.runningApplications.end() ? nullptr : &found->second;

    HALResult<std::string> bundleID = readString(objectID, kAudioProcessPropertyBundleID);
    if (bundleID) {
        process.bundleID = std::move(bundleID).value();
    } else if (application != nullptr) {
        process.bundleID = application->bundleIdentifier.value_or("");
    }

    // Only this program's own process may keep its executable's name; any other process
    // the workspace cannot name is known by its number.
    process.displayName = naming.ownExecutableName;
    if (application != nullptr && application->localizedName) {
        process.displayName = *application->localizedName;
    } else if (process.pid != naming.ownPID) {
        process.displayName = processNumberName(process.pid);
    }
    if (process.displayName.empty()) {
        process.displayName = processNumberName(process.pid);
    }

    process.isRunning =
        readUInt32(objectID, kAudioProcessPropertyIsRunning, kAudioObjectPropertyScopeGlobal).valueOr(0) != 0;
    process.isRunningOutput =
        readUInt32(objectID, kAudioProcessPropertyIsRunningOutput, kAudioObjectPropertyScopeGlobal).valueOr(0) != 0;
    return process;
}

}  // namespace

HALResult<std::vector<AudioProcessInfo>> enumerateProcesses() {
    HALResult<std::vector<AudioObjectID>> objectIDs = readObjectIDs(
        kAudioObjectSystemObject, kAudioHardwarePropertyProcessObjectList, kAudioObjectPropertyScopeGlobal);
    if (!objectIDs) {
        return objectIDs.error();
    }
    const ProcessNaming naming{runningApplicationsByPID(), executableName(),
                               foundation::ProcessInfo::processInfo().processIdentifier()};
    std::vector<AudioProcessInfo> processes;
    // Bounded: a broken list answer may name millions of objects that never read.
    processes.reserve(std::min(objectIDs.value().size(), kReservedRecords));
    for (const AudioObjectID objectID : objectIDs.value()) {
        if (std::optional<AudioProcessInfo> process = readProcess(objectID, naming)) {
            processes.push_back(std::move(*process));
        }
    }
    std::stable_sort(processes.begin(), processes.end(), [](const AudioProcessInfo& lhs, const AudioProcessInfo& rhs) {
        if (lhs.isRunningOutput != rhs.isRunningOutput) {
            return lhs.isRunningOutput;
        }
        return foundation::localizedCaseInsensitiveCompare(lhs.displayName, rhs.displayName) ==
               std::weak_ordering::less;
    });
    return processes;
}

}  // namespace tonvale
