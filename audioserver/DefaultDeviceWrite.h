// The one property write the platform allows, checked alike for every server: the default
// output or input device, set on the system object to a device that is alive and has
// streams of that direction. What the write then does is the driver's own.
// Thread-safety: called with the model's mutex held.
#pragma once

#include "platform/coreaudio/CoreAudioTypes.h"

#include <string>

namespace audioserver {

struct ObjectModel;

struct DefaultDeviceWrite {
    OSStatus status = kAudioHardwareNoError;
    bool isOutput = false;
    // The UID of the device to make the default, when status is 0.
    std::string uid;

    // Checks a write of address on object against the model.
    [[nodiscard]] static DefaultDeviceWrite check(ObjectModel& model, AudioObjectID object,
                                                  const AudioObjectPropertyAddress& address, UInt32 dataSize,
                                                  const void* data);
};

}  // namespace audioserver
