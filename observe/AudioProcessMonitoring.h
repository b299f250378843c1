// What the app state controller holds of the process monitor: start with a receiver of
// snapshots, stop. Implemented by AudioProcessMonitor; launch modes may put another
// implementation behind it. Owned by the app state controller on the main thread.
// Thread-safety: implementations say; AudioProcessMonitor accepts calls from any thread.
#pragma once

#include <functional>

#include "observe/AudioProcessSnapshot.h"

namespace tonvale {

class AudioProcessMonitoring {
public:
    using Handler = std::function<void(const AudioProcessSnapshot&)>;

    virtual ~AudioProcessMonitoring() = default;

    // Replaces any earlier handler and delivers a fresh snapshot to it.
    virtual void start(Handler handler) = 0;
    virtual void stop() = 0;
};

}  // namespace tonvale
