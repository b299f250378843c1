#include "hal/AudioDeviceCatalogue.h"

#include <algorithm>
#include <optional>

#include "hal/AudioPropertyReaders.h"
#include "platform/foundation/LocalizedCaseInsensitiveCompare.h"

namespace tonvale {

namespace {

// Records reserved up front; a longer list grows as its records are read.
constexpr std::size_t kReservedRecords = 256;

std::optional<AudioDeviceInfo> readDevice(AudioObjectID objectID) {
    HALResult<std::string> uid = readString(objectID, kAudioDevicePropertyDeviceUID);
    if (!uid) {
        return std::nullopt;
    }
    HALResult<std::string> name = readString(objectID, kAudioObjectPropertyName);
    if (!name) {
        return std::nullopt;
    }
    AudioDeviceInfo device;
    device.objectID = objectID;
    device.uid = std::move(uid).value();
    device.name = std::move(name).value();
    device.transportType =
        readUInt32(objectID, kAudioDevicePropertyTransportType, kAudioObjectPropertyScopeGlobal).valueOr(0);
    device.isAlive =
        readUInt32(objectID, kAudioDevicePropertyDeviceIsAlive, kAudioObjectPropertyScopeGlobal).valueOr(0) != 0;
    device.hasOutput =
        !readObjectIDs(objectID, kAudioDevicePropertyStreams, kAudioObjectPropertyScopeOutput).valueOr({}).empty();
    device.hasInput =
        !readObjectIDs(objectID, kAudioDevicePropertyStreams, kAudioObjectPropertyScopeInput).valueOr({}).empty();
    const HALResult<Float64> rate =
        readDouble(objectID, kAudioDevicePropertyNominalSampleRate, kAudioObjectPropertyScopeGlobal);
    if (rate) {
        device.nominalSampleRate = rate.value();
    }
    return device;
}

}  // namespace

HALResult<std::vector<AudioDeviceInfo>> enumerateDevices() {
    HALResult<std::vector<AudioObjectID>> objectIDs =
        readObjectIDs(kAudioObjectSystemObject, kAudioHardwarePropertyDevices, kAudioObjectPropertyScopeGlobal);
    if (!objectIDs) {
        return objectIDs.error();
    }
    std::vector<AudioDeviceInfo> devices;
    // Bounded: a broken list answer may name millions of objects that never read.
    devices.reserve(std::min(objectIDs.value().size(), kReservedRecords));
    for (const AudioObjectID objectID : objectIDs.value()) {
        if (std::optional<AudioDeviceInfo> device = readDevice(objectID)) {
            devices.push_back(std::move(*device));
        }
    }
    std::stable_sort(devices.begin(), devices.end(), [](const AudioDeviceInfo& lhs, const AudioDeviceInfo& rhs) {
        return foundation::localizedCaseInsensitiveCompare(lhs.name, rhs.name) == std::weak_ordering::less;
    });
    return devices;
}

HALResult<AudioObjectID> readDefaultOutputDevice() {
    return readUInt32(kAudioObjectSystemObject, kAudioHardwarePropertyDefaultOutputDevice,
                      kAudioObjectPropertyScopeGlobal);
}

HALResult<AudioObjectID> readDefaultInputDevice() {
    return readUInt32(kAudioObjectSystemObject, kAudioHardwarePropertyDefaultInputDevice,
                      kAudioObjectPropertyScopeGlobal);
}

HALResult<void> setDefaultInputDevice(AudioObjectID device) {
    const AudioObjectPropertyAddress address{kAudioHardwarePropertyDefaultInputDevice, kAudioObjectPropertyScopeGlobal,
                                             kAudioObjectPropertyElementMain};
    const OSStatus status =
        AudioObjectSetPropertyData(kAudioObjectSystemObject, &address, 0, nullptr, sizeof(device), &device);
    if (status != kAudioHardwareNoError) {
        return AudioHALError::osStatus("Set default input device", status);
    }
    return {};
}

}  // namespace tonvale
