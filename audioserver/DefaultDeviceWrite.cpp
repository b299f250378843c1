#include "audioserver/DefaultDeviceWrite.h"

#include "audioserver/ObjectModel.h"

#include <cstring>

namespace audioserver {

DefaultDeviceWrite DefaultDeviceWrite::check(ObjectModel& model, AudioObjectID object,
                                             const AudioObjectPropertyAddress& address, UInt32 dataSize,
                                             const void* data) {
    if (!model.exists(object)) {
        return {kAudioHardwareBadObjectError};
    }
    if (object != kAudioObjectSystemObject || (address.mSelector != kAudioHardwarePropertyDefaultOutputDevice &&
                                               address.mSelector != kAudioHardwarePropertyDefaultInputDevice)) {
        return {answerProperty(model, object, address).status == kAudioHardwareNoError
                    ? kAudioHardwareIllegalOperationError
                    : kAudioHardwareUnknownPropertyError};
    }
    if (dataSize != sizeof(AudioObjectID)) {
        return {kAudioHardwareBadPropertySizeError};
    }
    AudioObjectID wanted = 0;
    std::memcpy(&wanted, data, sizeof(wanted));
    const Device* device = model.findDevice(wanted);
    const bool isOutput = address.mSelector == kAudioHardwarePropertyDefaultOutputDevice;
    if (device == nullptr || !device->isAlive || (isOutput ? device->outputChannels : device->inputChannels) == 0) {
        return {kAudioHardwareIllegalOperationError};
    }
    return {kAudioHardwareNoError, isOutput, device->uid};
}

}  // namespace audioserver
