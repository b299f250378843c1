// A route at one moment: whether it plays, what it taps, where it plays to, and the
// renderer's counters. Read on a route controller's control queue and delivered on the
// main queue; the counters of one snapshot may come from different IO cycles.
// Thread-safety: a value; copies may move freely between threads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/coreaudio/CoreAudio.h"

namespace tonvale {

struct AudioRouteSnapshot {
    bool isActive = false;
    std::vector<AudioObjectID> processIDs;
    std::optional<std::string> destinationUID;
    std::uint64_t callbackCount = 0;
    std::uint64_t lastCallbackHostTime = 0;
    std::uint64_t unequalFrameCallbackCount = 0;
    std::uint32_t lastInputFrameCount = 0;
    std::uint32_t lastOutputFrameCount = 0;

    bool operator==(const AudioRouteSnapshot&) const = default;
};

}  // namespace tonvale
