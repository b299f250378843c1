// The property calls of the audio layer that every server answers alike from its model:
// reads of any object's properties and listener blocks, which run on their queues after
// the change they announce. Writes stay with each driver, since what a write does is
// its own (a simulated default, or the desktop's configured default).
//
// Owned by a server.
// Thread-safety: every operation may be called from any thread.
#pragma once

#include "platform/coreaudio/AudioHardwareService.h"

#include <memory>

namespace audioserver {

struct ObjectModel;

class PropertyAccess {
public:
    explicit PropertyAccess(std::shared_ptr<ObjectModel> model) : model_(std::move(model)) {}

    [[nodiscard]] Boolean has(AudioObjectID object, const AudioObjectPropertyAddress& address);
    [[nodiscard]] OSStatus size(AudioObjectID object, const AudioObjectPropertyAddress& address, UInt32& outDataSize);
    [[nodiscard]] OSStatus get(AudioObjectID object, const AudioObjectPropertyAddress& address, UInt32& ioDataSize,
                               void* outData);
    [[nodiscard]] OSStatus addListener(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                       dispatch::QueuePtr queue, AudioObjectPropertyListenerBlock listener);
    [[nodiscard]] OSStatus removeListener(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                          const AudioObjectPropertyListenerBlock& listener);

private:
    const std::shared_ptr<ObjectModel> model_;
};

}  // namespace audioserver
