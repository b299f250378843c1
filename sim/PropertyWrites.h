// The one property write the platform allows: the default output and input devices.
// Reads and listener blocks are answered alike for every server (audioserver::PropertyAccess).
// Internal to sim/.
//
// Owned by SimulatedServer.
// Thread-safety: every operation may be called from any thread.
#pragma once

#include "platform/coreaudio/AudioHardwareService.h"

#include <memory>

namespace sim {

struct World;

class PropertyWrites {
public:
    explicit PropertyWrites(std::shared_ptr<World> world) : world_(std::move(world)) {}

    [[nodiscard]] OSStatus set(AudioObjectID object, const AudioObjectPropertyAddress& address, UInt32 dataSize,
                               const void* data);

private:
    const std::shared_ptr<World> world_;
};

}  // namespace sim
