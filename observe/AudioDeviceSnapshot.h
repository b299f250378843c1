// The audio devices and the two system default devices at one moment, as the device
// monitor reads them on its queue and hands them to its owner. A plain value.
// Thread-safety: a value; copies may move freely between threads.
#pragma once

#include <optional>
#include <vector>

#include "hal/AudioDeviceInfo.h"
#include "platform/coreaudio/CoreAudio.h"

namespace tonvale {

struct AudioDeviceSnapshot {
    std::vector<AudioDeviceInfo> devices;  // in the device reader's order
    AudioObjectID defaultOutputID = kAudioObjectUnknown;
    AudioObjectID defaultInputID = kAudioObjectUnknown;

    // The first listed device that is the default output, if it is listed.
    [[nodiscard]] std::optional<AudioDeviceInfo> defaultOutputDevice() const;
    // The devices a route may play to, in list order: alive, with output, and not
    // AirPlay, which is never a route's destination.
    [[nodiscard]] std::vector<AudioDeviceInfo> outputDevices() const;

    bool operator==(const AudioDeviceSnapshot&) const = default;
};

}  // namespace tonvale
