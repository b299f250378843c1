#include "app/RouteTargetDiscovery.h"

#include "hal/AudioDeviceCatalogue.h"
#include "hal/AudioProcessCatalogue.h"

namespace tonvale {

namespace {

RouteTargetDiscovery failure(std::string line) { return {std::nullopt, std::move(line)}; }

}  // namespace

bool isBundleOrHelper(std::string_view processBundleID, std::string_view bundleID) {
    if (processBundleID == bundleID) {
        return true;
    }
    return processBundleID.size() > bundleID.size() && processBundleID.substr(0, bundleID.size()) == bundleID &&
           processBundleID[bundleID.size()] == '.';
}

RouteTargetDiscovery discoverRouteTarget(const CommandLine& commandLine, std::string_view modeName) {
    const std::string mode(modeName);
    const auto bundleID = commandLine.optionValue("--bundle-id");
    const auto deviceUID = bundleID && !bundleID->empty() ? commandLine.optionValue("--device-uid") : std::nullopt;
    if (!deviceUID || deviceUID->empty()) {
        return failure(mode + " requires --bundle-id and --device-uid");
    }

    const auto processes = enumerateProcesses();
    if (!processes) {
        return failure(mode + " discovery failed: " + processes.error().description());
    }
    RouteTarget target{*bundleID, *deviceUID, {}};
    for (const auto& process : processes.value()) {
        if (process.isRunningOutput && isBundleOrHelper(process.bundleID, *bundleID)) {
            target.processIDs.push_back(process.objectID);
        }
    }
    if (target.processIDs.empty()) {
        return failure("No running output process matched " + *bundleID);
    }

    const auto devices = enumerateDevices();
    if (!devices) {
        return failure(mode + " discovery failed: " + devices.error().description());
    }
    for (const auto& device : devices.value()) {
        if (device.uid == *deviceUID && device.hasOutput && device.isAlive &&
            device.transportType != kAudioDeviceTransportTypeAirPlay) {
            return {std::move(target), {}};
        }
    }
    return failure("No compatible output matched " + *deviceUID);
}

}  // namespace tonvale
