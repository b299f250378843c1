// What the app state controller holds of the lifecycle monitor: start with a receiver of
// events, stop. Implemented by SystemLifecycleMonitor; launch modes may put another
// implementation behind it. Owned by the app state controller on the main thread.
// Thread-safety: implementations say; SystemLifecycleMonitor accepts calls from any thread.
#pragma once

#include <functional>

#include "observe/SystemLifecycleEvent.h"

namespace tonvale {

class SystemLifecycleMonitoring {
public:
    using Handler = std::function<void(SystemLifecycleEvent)>;

    virtual ~SystemLifecycleMonitoring() = default;

    // Replaces any earlier handler; starting produces no event by itself.
    virtual void start(Handler handler) = 0;
    virtual void stop() = 0;
};

}  // namespace tonvale
