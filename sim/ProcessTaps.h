// Process taps: AudioHardwareCreateProcessTap and AudioHardwareDestroyProcessTap against
// the world, with capture refused or silenced when the faults say so. What a tap hears
// and whom it silences is worked out where the IO cycles are planned (World). Internal to sim/.
//
// Owned by SimulatedServer.
// Thread-safety: every operation may be called from any thread.
#pragma once

#include "platform/coreaudio/CATapDescription.h"
#include "platform/coreaudio/CoreAudioTypes.h"

#include <memory>

namespace sim {

class FaultInjection;
struct World;

class ProcessTaps {
public:
    ProcessTaps(std::shared_ptr<World> world, std::shared_ptr<const FaultInjection> faults)
        : world_(std::move(world)), faults_(std::move(faults)) {}

    [[nodiscard]] OSStatus create(const CATapDescription& description, AudioObjectID& outTapID);
    [[nodiscard]] OSStatus destroy(AudioObjectID tapID);

private:
    const std::shared_ptr<World> world_;
    const std::shared_ptr<const FaultInjection> faults_;
};

}  // namespace sim
