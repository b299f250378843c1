#include "sim/PropertyAccess.h"

#include "sim/PropertyAnswers.h"
#include "sim/World.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace sim {

Boolean PropertyAccess::has(AudioObjectID object, const AudioObjectPropertyAddress& address) {
    std::lock_guard lock(world_->mutex);
    return answerProperty(*world_, object, address).status == kAudioHardwareNoError ? 1 : 0;
}

OSStatus PropertyAccess::size(AudioObjectID object, const AudioObjectPropertyAddress& address, UInt32& outDataSize) {
    std::lock_guard lock(world_->mutex);
    const PropertyAnswer answer = answerProperty(*world_, object, address);
    if (answer.status != kAudioHardwareNoError) {
        return answer.status;
    }
    outDataSize = answerSize(answer.value);
    return kAudioHardwareNoError;
}

OSStatus PropertyAccess::get(AudioObjectID object, const AudioObjectPropertyAddress& address, UInt32& ioDataSize,
                             void* outData) {
    PropertyAnswer answer;
    {
        std::lock_guard lock(world_->mutex);
        answer = answerProperty(*world_, object, address);
    }
    if (answer.status != kAudioHardwareNoError) {
        return answer.status;
    }
    if (auto* list = std::get_if<std::vector<AudioObjectID>>(&answer.value)) {
        // Lists fill as many whole entries as the buffer holds, as on the platform.
        const std::size_t count = std::min<std::size_t>(list->size(), ioDataSize / sizeof(AudioObjectID));
        std::memcpy(outData, list->data(), count * sizeof(AudioObjectID));
        ioDataSize = static_cast<UInt32>(count * sizeof(AudioObjectID));
        return kAudioHardwareNoError;
    }
    const UInt32 size = answerSize(answer.value);
    if (ioDataSize < size) {
        return kAudioHardwareBadPropertySizeError;
    }
    if (auto* number = std::get_if<UInt32>(&answer.value)) {
        std::memcpy(outData, number, size);
    } else if (auto* real = std::get_if<Float64>(&answer.value)) {
        std::memcpy(outData, real, size);
    } else if (auto* format = std::get_if<AudioStreamBasicDescription>(&answer.value)) {
        std::memcpy(outData, format, size);
    } else if (auto* text = std::get_if<std::string>(&answer.value)) {
        CFStringRef string = CFStringCreateWithUTF8(*text);
        std::memcpy(outData, &string, size);
    } else if (auto* dictionary = std::get_if<OwnedDictionary>(&answer.value)) {
        CFDictionaryRef given = dictionary->release();
        std::memcpy(outData, &given, size);
    }
    ioDataSize = size;
    return kAudioHardwareNoError;
}

OSStatus PropertyAccess::set(AudioObjectID object, const AudioObjectPropertyAddress& address, UInt32 dataSize,
                             const void* data) {
    return world_->change([&](World& world) -> OSStatus {
        if (!world.exists(object)) {
            return kAudioHardwareBadObjectError;
        }
        if (object != kAudioObjectSystemObject || (address.mSelector != kAudioHardwarePropertyDefaultOutputDevice &&
                                                   address.mSelector != kAudioHardwarePropertyDefaultInputDevice)) {
            return answerProperty(world, object, address).status == kAudioHardwareNoError
                       ? kAudioHardwareIllegalOperationError
                       : kAudioHardwareUnknownPropertyError;
        }
        if (dataSize != sizeof(AudioObjectID)) {
            return kAudioHardwareBadPropertySizeError;
        }
        AudioObjectID wanted = 0;
        std::memcpy(&wanted, data, sizeof(wanted));
        const Device* device = world.device(wanted);
        const bool isOutput = address.mSelector == kAudioHardwarePropertyDefaultOutputDevice;
        if (device == nullptr || !device->isAlive || (isOutput ? device->outputChannels : device->inputChannels) == 0) {
            return kAudioHardwareIllegalOperationError;
        }
        std::string& current = isOutput ? world.defaultOutputUID : world.defaultInputUID;
        if (current != device->uid) {
            current = device->uid;
            world.notify(kAudioObjectSystemObject, address.mSelector);
        }
        return kAudioHardwareNoError;
    });
}

OSStatus PropertyAccess::addListener(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                     dispatch::QueuePtr queue, AudioObjectPropertyListenerBlock listener) {
    std::lock_guard lock(world_->mutex);
    if (!world_->exists(object)) {
        return kAudioHardwareBadObjectError;
    }
    world_->listeners.push_back(
        {object, address, std::move(queue), std::move(listener), std::make_shared<std::atomic<bool>>(true)});
    return kAudioHardwareNoError;
}

OSStatus PropertyAccess::removeListener(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                        const AudioObjectPropertyListenerBlock& listener) {
    std::lock_guard lock(world_->mutex);
    auto& listeners = world_->listeners;
    for (auto it = listeners.begin(); it != listeners.end(); ++it) {
        if (it->object == object && it->address == address && it->block.get() == listener.get()) {
            it->isLive->store(false);
            listeners.erase(it);
            return kAudioHardwareNoError;
        }
    }
    return world_->exists(object) ? kAudioHardwareIllegalOperationError : kAudioHardwareBadObjectError;
}

}  // namespace sim
