// What the app state controller holds of the device monitor: start with a receiver of
// snapshots, stop. Implemented by AudioDeviceMonitor; launch modes may put another
// implementation behind it. Owned by the app state controller on the main thread.
// Thread-safety: implementations say; AudioDeviceMonitor accepts calls from any thread.
#pragma once

#include <functional>

#include "observe/AudioDeviceSnapshot.h"

namespace tonvale {

class AudioDeviceMonitoring {
public:
    using Handler = std::function<void(const AudioDeviceSnapshot&)>;

    virtual ~AudioDeviceMonitoring() = default;

    // Replaces any earlier handler and delivers a fresh snapshot to it.
    virtual void start(Handler handler) = 0;
    virtual void stop() = 0;
};

}  // namespace tonvale
