// What a route engine offers its callers (the route reconciler, the command-line
// modes): start, stop, re-gain and inspect one route. Every operation returns at once;
// the work runs later, in submission order, and every answer arrives on the main queue.
// Callers hold engines in std::shared_ptr; an engine released before its work runs drops
// start and snapshot answers but still answers a stop.
// Thread-safety: operations are called on the main thread.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/AudioRouteSnapshot.h"
#include "engine/RouteError.h"
#include "platform/coreaudio/CoreAudio.h"

namespace tonvale {

class AudioRouteEngine {
public:
    using StartCompletion = std::function<void(RouteStartResult)>;
    using StopCompletion = std::function<void()>;
    using SnapshotCompletion = std::function<void(AudioRouteSnapshot)>;

    virtual ~AudioRouteEngine() = default;

    // Tears down whatever route the engine had, then builds a route of these processes
    // to the destination at the gain (clamped to 0...1 when applied).
    virtual void start(std::vector<AudioObjectID> processIDs, std::string destinationUID, float gain,
                       StartCompletion completion) = 0;
    // Tears the route down, then calls the completion, if any.
    virtual void stop(StopCompletion completion) = 0;
    // Clamps to 0...1 and passes it to the running route, if any; no answer.
    virtual void setGain(float gain) = 0;
    virtual void snapshot(SnapshotCompletion completion) = 0;
};

}  // namespace tonvale
