#include "hal/AudioPropertyReaders.h"

#include <algorithm>
#include <cstring>

#include "hal/FourCharCode.h"

namespace tonvale {

namespace {

// No real object list comes near this (4 Mi identifiers); a size beyond it is a broken
// answer, not a reason to allocate gigabytes.
constexpr UInt32 kMaxObjectListBytes = 16U * 1024U * 1024U;

constexpr char kReadOperation[] = "Read Core Audio property";
constexpr char kReadDictionaryOperation[] = "Read Core Audio dictionary";

AudioObjectPropertyAddress addressOf(AudioObjectPropertySelector selector, AudioObjectPropertyScope scope) {
    return AudioObjectPropertyAddress{selector, scope, kAudioObjectPropertyElementMain};
}

std::string operationText(const char* operation, AudioObjectPropertySelector selector) {
    return std::string(operation) + " " + fourCharCodeText(selector);
}

template <typename Value>
HALResult<Value> readScalar(AudioObjectID object, AudioObjectPropertySelector selector,
                            AudioObjectPropertyScope scope) {
    const AudioObjectPropertyAddress address = addressOf(selector, scope);
    Value value{};
    UInt32 size = sizeof(Value);
    const OSStatus status = AudioObjectGetPropertyData(object, &address, 0, nullptr, &size, &value);
    if (status != kAudioHardwareNoError) {
        return AudioHALError::osStatus(operationText(kReadOperation, selector), status);
    }
    if (size < sizeof(Value)) {
        return AudioHALError::missingValue(kReadOperation);
    }
    return value;
}

}  // namespace

HALResult<UInt32> readUInt32(AudioObjectID object, AudioObjectPropertySelector selector,
                             AudioObjectPropertyScope scope) {
    return readScalar<UInt32>(object, selector, scope);
}

HALResult<Float64> readDouble(AudioObjectID object, AudioObjectPropertySelector selector,
                              AudioObjectPropertyScope scope) {
    return readScalar<Float64>(object, selector, scope);
}

HALResult<std::vector<AudioObjectID>> readObjectIDs(AudioObjectID object, AudioObjectPropertySelector selector,
                                                    AudioObjectPropertyScope scope) {
    const AudioObjectPropertyAddress address = addressOf(selector, scope);
    UInt32 size = 0;
    OSStatus status = AudioObjectGetPropertyDataSize(object, &address, 0, nullptr, &size);
    if (status != kAudioHardwareNoError) {
        return AudioHALError::osStatus(operationText("Size Core Audio property", selector), status);
    }
    if (size == 0) {
        return std::vector<AudioObjectID>{};
    }
    if (size > kMaxObjectListBytes) {
        return AudioHALError::missingValue(kReadOperation);
    }
    const UInt32 bufferSize = size;
    std::vector<unsigned char> buffer(bufferSize, 0);
    status = AudioObjectGetPropertyData(object, &address, 0, nullptr, &size, buffer.data());
    if (status != kAudioHardwareNoError) {
        return AudioHALError::osStatus(operationText(kReadOperation, selector), status);
    }
    // The layer may claim to have written more than it was given; only the buffer counts.
    const std::size_t count = std::min(size, bufferSize) / sizeof(AudioObjectID);
    std::vector<AudioObjectID> objectIDs(count);
    if (count > 0) {
        std::memcpy(objectIDs.data(), buffer.data(), count * sizeof(AudioObjectID));
    }
    return objectIDs;
}

HALResult<std::string> readString(AudioObjectID object, AudioObjectPropertySelector selector) {
    const AudioObjectPropertyAddress address = addressOf(selector, kAudioObjectPropertyScopeGlobal);
    const CFReference<CFStringRef> preset(CFStringCreateWithUTF8(""));
    CFStringRef value = preset.get();
    UInt32 size = sizeof(CFStringRef);
    const OSStatus status = AudioObjectGetPropertyData(object, &address, 0, nullptr, &size, &value);
    // Whatever the layer put in place of the preset belongs to us now, even on failure.
    const CFReference<CFStringRef> delivered(value == preset.get() ? nullptr : value);
    if (status != kAudioHardwareNoError) {
        return AudioHALError::osStatus(operationText("Read Core Audio string", selector), status);
    }
    if (value == nullptr || CFGetTypeID(value) != CFStringGetTypeID()) {
        return std::string();
    }
    return CFStringGetUTF8(value);
}

HALResult<CFReference<CFDictionaryRef>> readDictionary(AudioObjectID object, AudioObjectPropertySelector selector) {
    const AudioObjectPropertyAddress address = addressOf(selector, kAudioObjectPropertyScopeGlobal);
    CFDictionaryRef value = nullptr;
    UInt32 size = sizeof(CFDictionaryRef);
    const OSStatus status = AudioObjectGetPropertyData(object, &address, 0, nullptr, &size, &value);
    CFReference<CFDictionaryRef> dictionary(value);
    if (status != kAudioHardwareNoError) {
        return AudioHALError::osStatus(operationText("Read Core Audio dictionary", selector), status);
    }
    if (!dictionary || CFGetTypeID(dictionary.get()) != CFDictionaryGetTypeID()) {
        return AudioHALError::missingValue(kReadDictionaryOperation);
    }
    const auto count = static_cast<std::size_t>(std::max<CFIndex>(CFDictionaryGetCount(dictionary.get()), 0));
    std::vector<const void*> keys(count);
    std::vector<const void*> values(count);
    CFDictionaryGetKeysAndValues(dictionary.get(), keys.data(), values.data());
    const bool hasTextKeys = std::all_of(keys.begin(), keys.end(), [](const void* key) {
        return key != nullptr && CFGetTypeID(key) == CFStringGetTypeID();
    });
    if (!hasTextKeys) {
        return AudioHALError::missingValue(kReadDictionaryOperation);
    }
    return dictionary;
}

}  // namespace tonvale
