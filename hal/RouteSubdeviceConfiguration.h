// One output sub-device of a route's private aggregate device, as taken from the user's
// destination, and its entry in the aggregate description. Produced by destination
// validation on a route controller's control queue; a plain value.
// Thread-safety: a value; copies may move freely between threads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "hal/CFReference.h"
#include "platform/coreaudio/CoreAudio.h"

namespace tonvale {

struct RouteSubdeviceConfiguration {
    std::string uid;
    std::optional<std::int64_t> outputChannels;      // absent: the layer's default
    std::optional<UInt32> driftCompensation;         // absent: not specified
    std::optional<UInt32> driftCompensationQuality;  // absent: not specified
    std::optional<Float64> extraOutputLatency;       // absent: not specified
    bool suppressInputChannels = false;              // entered with zero input channels

    bool operator==(const RouteSubdeviceConfiguration&) const = default;
};

// One sub-device entry of an aggregate's composition as a route output: nothing when it
// has no UID text or declares no output channels (zero or fewer), so input-only
// sub-devices never become route outputs. Its inputs are always suppressed.
[[nodiscard]] std::optional<RouteSubdeviceConfiguration> parseSubdevice(CFDictionaryRef subdevice);

// The entry for the aggregate description: "uid", then "channels-in" 0 when inputs are
// suppressed, then each present setting under its sub-device key.
[[nodiscard]] CFReference<CFDictionaryRef> subdeviceDescription(const RouteSubdeviceConfiguration& configuration);

}  // namespace tonvale
