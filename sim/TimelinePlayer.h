// Plays a scenario's timeline: each event runs at its time after the server's start on
// the server's event queue ("sim.events"), through the world's control surface. Internal to sim/.
//
// Owned by SimulatedServer; its scheduled events hold the server weakly, so events still
// pending when the server goes do nothing, and one that runs keeps the server alive until
// it is done.
// Thread-safety: schedule may be called from any thread.
#pragma once

#include "platform/dispatch/Dispatch.h"
#include "sim/Scenario.h"

#include <memory>
#include <vector>

namespace sim {

class WorldControl;

class TimelinePlayer {
public:
    explicit TimelinePlayer(dispatch::QueuePtr eventQueue) : eventQueue_(std::move(eventQueue)) {}

    // Events run through control, and only while it (the server) lives.
    void schedule(const std::vector<TimelineEvent>& timeline, const std::weak_ptr<WorldControl>& control);
    // Applies one event now.
    static void apply(WorldControl& control, const TimelineEvent& event);

private:
    const dispatch::QueuePtr eventQueue_;
};

}  // namespace sim
