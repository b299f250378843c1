// The audio devices the layer lists, the system default devices, and the one write the
// system makes to them: choosing the default input. Plain synchronous calls, run on the
// caller's queue (device monitor, route controller's control queue, command-line modes).
// Thread-safety: no shared state; callable from any queue.
#pragma once

#include <vector>

#include "hal/AudioDeviceInfo.h"
#include "hal/HALResult.h"

namespace tonvale {

// Every device whose UID and name can be read, sorted by name with the localized
// case-insensitive comparison (stable). Fails only when the device list itself fails.
[[nodiscard]] HALResult<std::vector<AudioDeviceInfo>> enumerateDevices();

// The system default output and input devices; kAudioObjectUnknown means none.
[[nodiscard]] HALResult<AudioObjectID> readDefaultOutputDevice();
[[nodiscard]] HALResult<AudioObjectID> readDefaultInputDevice();

// Makes the device the system default input. The default output is never written: routing
// one application must not move everyone else's sound.
[[nodiscard]] HALResult<void> setDefaultInputDevice(AudioObjectID device);

}  // namespace tonvale
