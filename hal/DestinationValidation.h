// Checks, at every route start, that the output the user picked still exists and can
// play, and lays it out for the route's private aggregate device: a plain device as the
// only sub-device, an aggregate of the user's own by copying its output sub-devices.
// Runs on a route controller's control queue.
// Thread-safety: no shared state; callable from any queue.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "hal/HALResult.h"
#include "hal/RouteSubdeviceConfiguration.h"

namespace tonvale {

struct ValidatedDestination {
    std::vector<RouteSubdeviceConfiguration> subdevices;  // never empty, in order
    std::string mainSubdeviceUID;
    std::optional<std::string> clockDeviceUID;  // the picked aggregate's; absent for plain devices
    std::optional<bool> isStacked;              // the picked aggregate's, when it gives one

    bool operator==(const ValidatedDestination&) const = default;
};

// The listed device with exactly this UID, alive, with output streams and not AirPlay,
// laid out for a route.
[[nodiscard]] HALResult<ValidatedDestination> validateDestination(const std::string& uid);

// The layout of a destination: a plain one unless the transport type is aggregate, in
// which case the composition (nullptr when there is none) supplies the sub-devices.
[[nodiscard]] HALResult<ValidatedDestination> readAggregateComposition(const std::string& uid, UInt32 transportType,
                                                                       CFDictionaryRef composition);

}  // namespace tonvale
