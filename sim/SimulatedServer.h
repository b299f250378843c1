// The simulated audio server: the world of devices, processes, taps and
// aggregate devices that answers the audio layer's functions, plays what it is
// told to, records what each device played, and fails on purpose. A thin facade:
// it is the world's control surface (WorldControl), owns the components that hold each
// other concern (FaultInjection, PropertyAccess and PropertyWrites, ProcessTaps,
// AggregateDevices, IOProcedures, ReadBack, TimelinePlayer, SimulatedWorkspace, CallLog)
// and hands every call to the one concerned.
//
// Created from a Scenario and held in a std::shared_ptr; while alive it is the
// installed AudioHardwareService and workspace service. Tests own one each; the
// program owns the shared one (startShared). Listener blocks run on their queues;
// IO cycles run on one queue per running device ("sim.io.<uid>"); timeline events
// on "sim.events". Everything runs in virtual time while a dispatch::VirtualTime exists.
// Thread-safety: every public operation may be called from any thread.
#pragma once

#include "audioserver/BundleFolder.h"
#include "platform/appkit/RunningApplication.h"
#include "platform/coreaudio/AudioHardwareService.h"
#include "platform/dispatch/Dispatch.h"
#include "sim/CallLog.h"
#include "sim/FaultInjection.h"
#include "sim/PlayedAudio.h"
#include "sim/Scenario.h"
#include "sim/SimulatedWorkspace.h"
#include "sim/WorldControl.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace audioserver {
class PropertyAccess;
}

namespace sim {

class AggregateDevices;
class IOProcedures;
class ProcessTaps;
class PropertyWrites;
class ReadBack;
class TimelinePlayer;
struct World;

struct ServerOptions {
    // Seconds of each device's most recent playback kept for read-back.
    double readBackSeconds = 30.0;
    // When set, every physical output device records what it plays to <folder>/<UID>.wav.
    std::optional<std::filesystem::path> recordingFolder;
    bool operator==(const ServerOptions&) const = default;
};

// Processes, devices, defaults, stalls, restart, sleep and wake are WorldControl's
// operations, offered here as they are.
class SimulatedServer final : public AudioHardwareService,
                              public WorldControl,
                              public std::enable_shared_from_this<SimulatedServer> {
public:
    // Builds the world, creates the bundle folders, schedules the timeline and
    // installs the server. The scenario must have passed parseScenario's checks.
    [[nodiscard]] static std::shared_ptr<SimulatedServer> create(const Scenario& scenario, ServerOptions options = {});
    // The program's server: the scenario named by TONVALE_SCENARIO or the
    // embedded default, recording to TONVALE_SIM_RECORD when set. A scenario that
    // cannot be loaded ends the process with one line on standard error and status 1.
    static void startShared();
    // Finishes recordings and removes the shared server (also done at exit).
    static void stopShared();
    // The installed server, if any.
    [[nodiscard]] static std::shared_ptr<SimulatedServer> current();

    ~SimulatedServer() override;
    SimulatedServer(const SimulatedServer&) = delete;
    SimulatedServer& operator=(const SimulatedServer&) = delete;

    [[nodiscard]] dispatch::Seconds startTime() const { return startTime_; }

    // Faults.
    void injectFailure(InjectedFailure failure);
    void clearInjectedFailures();
    void setCaptureDenial(CaptureDenial denial, OSStatus refusal = kAudioHardwarePermissionDeniedError);
    void setAggregateBehaviour(AggregateBehaviour behaviour);

    // Read-back. Observing a physical output device makes it render what it
    // plays even when no IO procedure runs on it.
    [[nodiscard]] bool startObserving(const std::string& uid);
    [[nodiscard]] bool stopObserving(const std::string& uid);
    // What the device played between two times of dispatch::now().
    [[nodiscard]] PlayedAudio played(const std::string& uid, dispatch::Seconds from, dispatch::Seconds to) const;

    // Counts of what the server holds.
    [[nodiscard]] std::size_t tapCount() const;
    [[nodiscard]] std::size_t aggregateDeviceCount() const;
    [[nodiscard]] std::size_t ioProcCount() const;
    [[nodiscard]] std::size_t listenerCount() const;
    // Devices whose IO cycle (timer and queue) currently exists.
    [[nodiscard]] std::size_t runningIOCount() const;
    // IO cycles run on a device since the server started.
    [[nodiscard]] std::uint64_t ioCycleCount(const std::string& uid) const;
    // The most recent audio calls (at most CallLog::kCapacity), oldest first.
    [[nodiscard]] std::vector<LoggedCall> callLog() const;

    // The workspace's view (installed as the workspace service while the server lives).
    [[nodiscard]] std::vector<appkit::RunningApplication> runningApplications() const;
    // The bundle of the first declared application with that identifier, running or not.
    [[nodiscard]] std::optional<std::filesystem::path> applicationURL(const std::string& bundleID) const;
    // Observers run on the thread that posts (the caller of sleep()/wake() or "sim.events").
    [[nodiscard]] std::uint64_t addWorkspaceObserver(WorkspaceNotification notification, std::function<void()> block);
    void removeWorkspaceObserver(std::uint64_t token);
    [[nodiscard]] std::size_t workspaceObserverCount() const;

    // AudioHardwareService.
    Boolean hasProperty(AudioObjectID object, const AudioObjectPropertyAddress& address) override;
    OSStatus getPropertyDataSize(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                 UInt32& outDataSize) override;
    OSStatus getPropertyData(AudioObjectID object, const AudioObjectPropertyAddress& address, UInt32& ioDataSize,
                             void* outData) override;
    OSStatus setPropertyData(AudioObjectID object, const AudioObjectPropertyAddress& address, UInt32 dataSize,
                             const void* data) override;
    OSStatus addPropertyListenerBlock(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                      dispatch::QueuePtr queue, AudioObjectPropertyListenerBlock listener) override;
    OSStatus removePropertyListenerBlock(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                         dispatch::QueuePtr queue,
                                         const AudioObjectPropertyListenerBlock& listener) override;
    OSStatus createProcessTap(const CATapDescription& description, AudioObjectID& outTapID) override;
    OSStatus destroyProcessTap(AudioObjectID tapID) override;
    OSStatus createAggregateDevice(CFDictionaryRef description, AudioObjectID& outDeviceID) override;
    OSStatus destroyAggregateDevice(AudioObjectID deviceID) override;
    OSStatus createIOProcID(AudioObjectID device, AudioDeviceIOProc proc, void* clientData,
                            AudioDeviceIOProcID& outProcID) override;
    OSStatus destroyIOProcID(AudioObjectID device, AudioDeviceIOProcID procID) override;
    OSStatus startDevice(AudioObjectID device, AudioDeviceIOProcID procID) override;
    OSStatus stopDevice(AudioObjectID device, AudioDeviceIOProcID procID) override;

private:
    // The parts the control surface shares with the server, made before either.
    struct Parts {
        dispatch::Seconds startTime = 0.0;
        std::shared_ptr<World> world;
        std::shared_ptr<IOProcedures> io;
        std::shared_ptr<SimulatedWorkspace> workspace;
    };

    SimulatedServer(const Scenario& scenario, const ServerOptions& options, Parts parts);
    // Answers an audio call with the status injected into it, if any, or with what it does,
    // and logs it as acting on object.
    template <typename Perform>
    OSStatus answer(Call call, AudioObjectID object, std::optional<AudioObjectPropertySelector> selector,
                    Perform&& perform);
    // The same for a call that creates an object: matched as a call on the system object and
    // logged with the object it created.
    template <typename Perform>
    OSStatus answerCreation(Call call, AudioObjectID& created, Perform&& perform);

    const dispatch::Seconds startTime_;
    const std::shared_ptr<World> world_;
    audioserver::BundleFolder bundles_;
    const dispatch::QueuePtr eventQueue_;
    const std::shared_ptr<FaultInjection> faults_;
    CallLog calls_;
    const std::shared_ptr<IOProcedures> io_;
    const std::shared_ptr<SimulatedWorkspace> workspace_;
    const std::unique_ptr<audioserver::PropertyAccess> properties_;
    const std::unique_ptr<PropertyWrites> writes_;
    const std::unique_ptr<ProcessTaps> taps_;
    const std::unique_ptr<AggregateDevices> aggregates_;
    const std::unique_ptr<ReadBack> readBack_;
    const std::unique_ptr<TimelinePlayer> timeline_;
};

}  // namespace sim
