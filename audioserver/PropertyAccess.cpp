#include "audioserver/PropertyAccess.h"

#include "audioserver/ObjectModel.h"

#include <utility>

namespace audioserver {

Boolean PropertyAccess::has(AudioObjectID object, const AudioObjectPropertyAddress& address) {
    std::lock_guard lock(model_->mutex);
    return answerProperty(*model_, object, address).status == kAudioHardwareNoError ? 1 : 0;
}

OSStatus PropertyAccess::size(AudioObjectID object, const AudioObjectPropertyAddress& address, UInt32& outDataSize) {
    std::lock_guard lock(model_->mutex);
    const PropertyAnswer answer = answerProperty(*model_, object, address);
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
        std::lock_guard lock(model_->mutex);
        answer = answerProperty(*model_, object, address);
    }
    return writeAnswer(std::move(answer), ioDataSize, outData);
}

OSStatus PropertyAccess::addListener(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                     dispatch::QueuePtr queue, AudioObjectPropertyListenerBlock listener) {
    std::lock_guard lock(model_->mutex);
    if (!model_->exists(object)) {
        return kAudioHardwareBadObjectError;
    }
    model_->listeners.add(object, address, std::move(queue), std::move(listener));
    return kAudioHardwareNoError;
}

OSStatus PropertyAccess::removeListener(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                        const AudioObjectPropertyListenerBlock& listener) {
    std::lock_guard lock(model_->mutex);
    if (model_->listeners.remove(object, address, listener)) {
        return kAudioHardwareNoError;
    }
    return model_->exists(object) ? kAudioHardwareIllegalOperationError : kAudioHardwareBadObjectError;
}

}  // namespace audioserver
