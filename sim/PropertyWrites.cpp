#include "sim/PropertyWrites.h"

#include "audioserver/DefaultDeviceWrite.h"
#include "sim/World.h"

#include <string>

namespace sim {

OSStatus PropertyWrites::set(AudioObjectID object, const AudioObjectPropertyAddress& address, UInt32 dataSize,
                             const void* data) {
    return world_->change([&](World& world) -> OSStatus {
        const auto write = audioserver::DefaultDeviceWrite::check(world, object, address, dataSize, data);
        if (write.status != kAudioHardwareNoError) {
            return write.status;
        }
        std::string& current = write.isOutput ? world.defaultOutputUID : world.defaultInputUID;
        if (current != write.uid) {
            current = write.uid;
            world.notify(kAudioObjectSystemObject, address.mSelector);
        }
        return kAudioHardwareNoError;
    });
}

}  // namespace sim
