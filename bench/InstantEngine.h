// A route engine for the benchmarks that does no audio work: every start, stop and snapshot
// is answered at once on the main queue, so what a benchmark measures is its caller's cost.
// Main thread only.
#pragma once

#include <string>
#include <vector>

#include "engine/AudioRouteEngine.h"
#include "platform/dispatch/Dispatch.h"

namespace tonvale::bench {

class InstantEngine final : public AudioRouteEngine {
public:
    void start(std::vector<AudioObjectID>, std::string, float, StartCompletion completion) override {
        dispatch::DispatchQueue::main()->async([completion] { completion(RouteStartResult::success()); });
    }
    void stop(StopCompletion completion) override {
        if (completion) {
            dispatch::DispatchQueue::main()->async(completion);
        }
    }
    void setGain(float) override {}
    void snapshot(SnapshotCompletion completion) override {
        dispatch::DispatchQueue::main()->async([completion] { completion(AudioRouteSnapshot{true}); });
    }
};

}  // namespace tonvale::bench
