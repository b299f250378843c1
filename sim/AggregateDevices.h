// Aggregate devices a program makes and destroys: AudioHardwareCreateAggregateDevice
// builds a device from its description (sub-devices' streams, one input stream per tap),
// whose streams appear after the delay the faults ask for; destroying it ends its IO.
// Internal to sim/.
//
// Owned by SimulatedServer. Stream appearances are announced on the server's event
// queue ("sim.events").
// Thread-safety: every operation may be called from any thread.
#pragma once

#include "platform/coreaudio/CoreFoundation.h"
#include "platform/dispatch/Dispatch.h"

#include <memory>

namespace sim {

class FaultInjection;
class IOProcedures;
struct World;

class AggregateDevices {
public:
    AggregateDevices(std::shared_ptr<World> world, std::shared_ptr<const FaultInjection> faults,
                     std::shared_ptr<IOProcedures> io, dispatch::QueuePtr eventQueue);

    [[nodiscard]] OSStatus create(CFDictionaryRef description, AudioObjectID& outDeviceID);
    [[nodiscard]] OSStatus destroy(AudioObjectID deviceID);

private:
    const std::shared_ptr<World> world_;
    const std::shared_ptr<const FaultInjection> faults_;
    const std::shared_ptr<IOProcedures> io_;
    const dispatch::QueuePtr eventQueue_;
};

}  // namespace sim
