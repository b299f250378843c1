// Finds what the route test and the route benchmark route: the playing processes of one
// application (its helpers included) and one output device, from "--bundle-id" and
// "--device-uid". Runs on the main thread when either mode starts.
// Thread-safety: main thread only.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/CommandLine.h"
#include "platform/coreaudio/CoreAudio.h"

namespace tonvale {

struct RouteTarget {
    std::string bundleID;
    std::string deviceUID;
    // The matching processes' object identifiers, in enumeration order.
    std::vector<AudioObjectID> processIDs;

    bool operator==(const RouteTarget&) const = default;
};

// The target, or the line the mode fails with.
struct RouteTargetDiscovery {
    std::optional<RouteTarget> target;
    std::string failureLine;

    bool operator==(const RouteTargetDiscovery&) const = default;
};

// modeName ("route-test", "route-benchmark") starts the mode's own failure lines. An
// empty option value counts as missing: it would name no application and no device.
[[nodiscard]] RouteTargetDiscovery discoverRouteTarget(const CommandLine& commandLine, std::string_view modeName);

// True for the application's own identifier and for identifiers below it after a period
// ("com.example.browser.helper" for "com.example.browser"), not for longer names.
[[nodiscard]] bool isBundleOrHelper(std::string_view processBundleID, std::string_view bundleID);

}  // namespace tonvale
