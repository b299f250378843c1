// The property calls of the audio layer: reads of any object's properties (answered by
// PropertyAnswers), the one write the platform allows (the default devices), and listener
// blocks, which run on their queues after the change they announce. Internal to sim/.
//
// Owned by SimulatedServer.
// Thread-safety: every operation may be called from any thread.
#pragma once

#include "platform/coreaudio/AudioHardwareService.h"

#include <memory>

namespace sim {

struct World;

class PropertyAccess {
public:
    explicit PropertyAccess(std::shared_ptr<World> world) : world_(std::move(world)) {}

    [[nodiscard]] Boolean has(AudioObjectID object, const AudioObjectPropertyAddress& address);
    [[nodiscard]] OSStatus size(AudioObjectID object, const AudioObjectPropertyAddress& address, UInt32& outDataSize);
    [[nodiscard]] OSStatus get(AudioObjectID object, const AudioObjectPropertyAddress& address, UInt32& ioDataSize,
                               void* outData);
    [[nodiscard]] OSStatus set(AudioObjectID object, const AudioObjectPropertyAddress& address, UInt32 dataSize,
                               const void* data);
    [[nodiscard]] OSStatus addListener(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                       dispatch::QueuePtr queue, AudioObjectPropertyListenerBlock listener);
    [[nodiscard]] OSStatus removeListener(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                          const AudioObjectPropertyListenerBlock& listener);

private:
    const std::shared_ptr<World> world_;
};

}  // namespace sim
