// The simulated server's state: devices with their streams, processes and taps, on the
// shared object model (identifiers, listeners, notifications, property answers), plus
// what only a simulation has: each device's IO, recording and fault state, each process's
// sound and application. Internal to sim/.
//
// Owned by SimulatedServer and shared with the components that answer its calls; every
// field is guarded by World::mutex. A device's IO state (DeviceIO) has its own mutex,
// always taken before World::mutex.
// Thread-safety: any thread, holding World::mutex (change() takes it, and delivers the
// notifications once it is released).
#pragma once

#include "audioserver/ObjectModel.h"
#include "platform/coreaudio/AudioHardwareService.h"
#include "sim/DeviceIO.h"
#include "sim/PlayedTimeline.h"
#include "sim/Scenario.h"

#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace sim {

using audioserver::PendingNotification;
using audioserver::Stream;
using audioserver::streamFormat;

struct Device : audioserver::Device {
    StreamShape format;
    AudioSource inputSource;
    std::shared_ptr<DeviceIO> io;
    std::shared_ptr<PlayedTimeline> timeline;
    int observers = 0;
    bool isStalled = false;
    // An aggregate's IO procedures are not called once its IO has run this long (seconds).
    double ioStallSeconds = std::numeric_limits<double>::infinity();
};

// Makes an aggregate stacked, as the platform builds one: it offers only its main member's
// output stream (the first member with output when the main one has none), and what is
// played there is played on every member with output.
void stackOutputStreams(Device& aggregate, const std::string& mainSubdeviceUID);

struct Process : audioserver::Process {
    ScenarioProcess declared;
    bool isLaunched = true;
    AudioSource source;
    std::optional<std::filesystem::path> bundleURL;

    [[nodiscard]] bool isListed() const { return isLaunched && declared.isAudioClient; }
};

struct Tap : audioserver::Tap {
    bool deliversSilence = false;
};

struct World final : audioserver::ObjectModel {
    std::vector<std::unique_ptr<Device>> devices;
    std::vector<Process> processes;
    std::vector<Tap> taps;
    bool isAsleep = false;

    // Gives a device that comes back (plugged again, or after a restart) and its streams
    // new object identifiers, as the platform does.
    void renumber(Device& device);
    Device* device(AudioObjectID id);
    Device* device(const std::string& uid);
    Process* process(AudioObjectID id);
    Process* processWithPid(std::int32_t pid);
    Tap* tap(AudioObjectID id);
    Tap* tap(const std::string& uid);

    // The physical devices a process's audio reaches, in order.
    std::vector<Device*> destinations(const Process& process);
    // True while a tap silences the process's normal output.
    bool isMuted(const Process& process);
    std::vector<AudioObjectID> tapTargets(const Tap& tap);

    // Runs change with the mutex held, then delivers the notifications it queued.
    template <typename Change>
    auto change(Change&& apply) {
        return changeAs(*this, std::forward<Change>(apply));
    }

    // Copies what one IO cycle of the device, whose IO started at ioStartedAt, needs into plan.
    void planCycle(Device& device, const std::vector<IOProcEntry>& procs, CyclePlan& plan, dispatch::Seconds current,
                   dispatch::Seconds ioStartedAt);

    // Chooses a new default when the current one vanished.
    void repairDefaults();

    // The shared model's look-ups.
    std::vector<const audioserver::Device*> listedDevices() override;
    std::vector<const audioserver::Process*> listedProcesses() override;
    const audioserver::Device* findDevice(AudioObjectID id) override { return device(id); }
    const audioserver::Process* findProcess(AudioObjectID id) override { return process(id); }
    std::vector<AudioObjectID> processDevices(const audioserver::Process& process) override;
    std::vector<const audioserver::Tap*> listedTaps() override;
};

}  // namespace sim
