// The IO procedures of every device and the IO cycles that call them: a started device
// (or one whose playback is being read back) gets a queue "sim.io.<uid>" and a timer that
// runs one cycle per buffer period; an idle device has neither. Internal to sim/.
//
// Owned by SimulatedServer (shared with the timers' handlers, which hold it weakly).
// Thread-safety: every operation may be called from any thread, including an IO procedure
// from inside its own cycle.
#pragma once

#include "platform/coreaudio/CoreAudioTypes.h"
#include "platform/dispatch/Dispatch.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace sim {

struct DeviceIO;
struct World;

class IOProcedures final : public std::enable_shared_from_this<IOProcedures> {
public:
    IOProcedures(std::shared_ptr<World> world, dispatch::Seconds startTime);

    // AudioDeviceCreateIOProcID, AudioDeviceDestroyIOProcID, AudioDeviceStart, AudioDeviceStop.
    [[nodiscard]] OSStatus create(AudioObjectID device, AudioDeviceIOProc proc, void* clientData,
                                  AudioDeviceIOProcID& outProcID);
    [[nodiscard]] OSStatus destroy(AudioObjectID device, AudioDeviceIOProcID procID);
    [[nodiscard]] OSStatus start(AudioObjectID device, AudioDeviceIOProcID procID);
    [[nodiscard]] OSStatus stop(AudioObjectID device, AudioDeviceIOProcID procID);

    // Starts or stops the device's IO cycle to match what it has to do now.
    void update(const std::shared_ptr<DeviceIO>& io);
    void updateAll();
    // Forgets the device's IO procedures: the device or the whole service went away.
    void dropProcedures(DeviceIO& io);
    // Ends the device's IO for good: its procedures, its timer and its queue.
    void end(DeviceIO& io);
    // Ends the IO of every device, when the server goes.
    void endAll();

    [[nodiscard]] std::size_t procedureCount() const { return procedureCount_.load(); }
    // Devices whose IO cycle (timer and queue) currently exists.
    [[nodiscard]] std::size_t runningCount() const;
    [[nodiscard]] std::uint64_t cycleCount(const std::string& uid) const;

private:
    [[nodiscard]] OSStatus setStarted(const std::shared_ptr<DeviceIO>& io, AudioDeviceIOProcID procID, bool isStarted);
    // The same as update, with the device's IO mutex already held.
    void updateLocked(const std::shared_ptr<DeviceIO>& io);
    void runCycle(const std::shared_ptr<DeviceIO>& io);
    void renderCycle(const std::shared_ptr<DeviceIO>& io);
    [[nodiscard]] std::shared_ptr<DeviceIO> ioOf(AudioObjectID device) const;

    const std::shared_ptr<World> world_;
    const dispatch::Seconds startTime_;
    std::atomic<std::size_t> procedureCount_{0};
    // Opaque tokens in the procedure's type, as the platform hands out; never called.
    std::atomic<std::uintptr_t> nextProcToken_{0x5100};
};

}  // namespace sim
