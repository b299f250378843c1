// The description of a route's private aggregate device: the validated destination's
// output sub-devices around one private process tap. Built on a route controller's
// control queue for AudioHardwareCreateAggregateDevice; the caller owns the result.
// Thread-safety: pure functions; callable from any thread.
#pragma once

#include <string>

#include "hal/CFReference.h"
#include "hal/DestinationValidation.h"

namespace tonvale {

inline constexpr const char* kRouteAggregateName = "Tonvale Private Route";
inline constexpr const char* kRouteAggregateUIDPrefix = "com.zelkor.tonvale.route.";

// The prefix followed by a fresh random UUID in upper-case text.
[[nodiscard]] std::string newRouteAggregateUID();

// "name", "uid", "private", "tapautostart", "master", "subdevices", "taps", then "clock"
// and "stacked" only when the destination has them: seven entries for a plain device,
// nine for an aggregate with a clock device and a stacked flag. Every sub-device is
// entered with zero input channels.
[[nodiscard]] CFReference<CFDictionaryRef> routeAggregateDescription(const std::string& aggregateUID,
                                                                     const std::string& tapUID,
                                                                     const ValidatedDestination& destination);

}  // namespace tonvale
