// Counts outstanding work; notify runs its block once the count drops to zero.
//
// Each notify block runs once, asynchronously on its queue, after every enter
// has been matched by a leave (at once if nothing is outstanding). A group may
// be entered again after it notified.
//
// Thread-safety: every operation may be called from any thread.
#pragma once

#include "platform/dispatch/DispatchQueue.h"

#include <functional>
#include <memory>

namespace dispatch {

class DispatchGroup {
public:
    DispatchGroup();
    void enter();
    // Leaving more often than entering aborts, as on the platform.
    void leave();
    void notify(QueuePtr queue, std::function<void()> work);

private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace dispatch
