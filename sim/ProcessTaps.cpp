#include "sim/ProcessTaps.h"

#include "sim/FaultInjection.h"
#include "sim/World.h"

namespace sim {

OSStatus ProcessTaps::create(const CATapDescription& description, AudioObjectID& outTapID) {
    const FaultInjection::Capture capture = faults_->capture();
    return world_->change([&](World& world) -> OSStatus {
        if (capture.denial == CaptureDenial::refuseTap) {
            return capture.refusal;
        }
        for (const AudioObjectID process : description.processes) {
            if (world.process(process) == nullptr) {
                return kAudioHardwareBadObjectError;
            }
        }
        if (description.uuid.empty() || world.tap(description.uuid) != nullptr) {
            return kAudioHardwareIllegalOperationError;
        }
        Tap tap;
        tap.id = world.allocateID();
        tap.description = description;
        tap.deliversSilence = capture.denial == CaptureDenial::silentTap;
        world.taps.push_back(tap);
        outTapID = tap.id;
        world.notify(kAudioObjectSystemObject, kAudioHardwarePropertyTapList);
        return kAudioHardwareNoError;
    });
}

OSStatus ProcessTaps::destroy(AudioObjectID tapID) {
    return world_->change([&](World& world) -> OSStatus {
        const auto removed = std::erase_if(world.taps, [tapID](const Tap& tap) { return tap.id == tapID; });
        if (removed == 0) {
            return kAudioHardwareBadObjectError;
        }
        world.dropListeners(tapID);
        world.notify(kAudioObjectSystemObject, kAudioHardwarePropertyTapList);
        return kAudioHardwareNoError;
    });
}

}  // namespace sim
