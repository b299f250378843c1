#include "observe/AudioDeviceSnapshot.h"

#include <algorithm>

namespace tonvale {

std::optional<AudioDeviceInfo> AudioDeviceSnapshot::defaultOutputDevice() const {
    const auto found = std::find_if(devices.begin(), devices.end(), [this](const AudioDeviceInfo& device) {
        return device.objectID == defaultOutputID;
    });
    if (found == devices.end()) {
        return std::nullopt;
    }
    return *found;
}

std::vector<AudioDeviceInfo> AudioDeviceSnapshot::outputDevices() const {
    std::vector<AudioDeviceInfo> outputs;
    std::copy_if(devices.begin(), devices.end(), std::back_inserter(outputs), [](const AudioDeviceInfo& device) {
        return device.isAlive && device.hasOutput && device.transportType != kAudioDeviceTransportTypeAirPlay;
    });
    return outputs;
}

}  // namespace tonvale
