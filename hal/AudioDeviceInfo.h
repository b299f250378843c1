// One audio device as the catalogue lists it. Produced by enumerateDevices on whichever
// queue enumerates (device monitor, route controller, command-line modes); a plain value.
// Thread-safety: a value; copies may move freely between threads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/coreaudio/CoreAudio.h"

namespace tonvale {

struct AudioDeviceInfo {
    AudioObjectID objectID = kAudioObjectUnknown;
    std::string uid;
    std::string name;
    std::uint32_t transportType = 0;  // 0 when it could not be read
    bool hasOutput = false;
    bool hasInput = false;
    bool isAlive = false;
    std::optional<double> nominalSampleRate;

    // "USB", "AirPlay", ... for the known transports; the four-character code otherwise.
    [[nodiscard]] std::string transportTypeName() const;

    bool operator==(const AudioDeviceInfo&) const = default;
};

}  // namespace tonvale
