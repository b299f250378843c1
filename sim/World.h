// The simulated server's state: devices with their streams, processes, taps and
// property listeners, and the notifications owed to those listeners. Internal to sim/.
//
// Owned by SimulatedServer and shared with the components that answer its calls; every
// field is guarded by World::mutex. A device's IO state (DeviceIO) has its own mutex,
// always taken before World::mutex.
// Thread-safety: any thread, holding World::mutex (change() takes it, and delivers the
// notifications once it is released).
#pragma once

#include "platform/coreaudio/AudioHardwareService.h"
#include "sim/DeviceIO.h"
#include "sim/PlayedTimeline.h"
#include "sim/Scenario.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace sim {

// The linear PCM format of a stream with the given rate, channels and layout.
[[nodiscard]] AudioStreamBasicDescription streamFormat(double sampleRate, UInt32 channels, const StreamShape& shape);

struct Stream {
    enum class Feed { deviceInput, deviceOutput, tap, phantom };
    AudioObjectID id = 0;
    bool isInput = false;
    AudioStreamBasicDescription format{};
    Feed feed = Feed::deviceOutput;
    // The physical device whose input or output this stream is.
    std::string feedUID;
    AudioObjectID tapID = 0;
    // A stacked aggregate's output stream plays on these members too.
    std::vector<std::string> mirrorUIDs;
};

struct Device {
    enum class Kind { physical, userAggregate, programAggregate };

    ~Device() {
        if (description != nullptr) {
            CFRelease(description);
        }
    }

    Kind kind = Kind::physical;
    AudioObjectID id = 0;
    std::string uid;
    std::string name;
    UInt32 transportType = kAudioDeviceTransportTypeBuiltIn;
    double sampleRate = 48000.0;
    UInt32 bufferFrameSize = 512;
    UInt32 outputChannels = 0;
    UInt32 inputChannels = 0;
    StreamShape format;
    bool isAlive = true;
    bool isPlugged = true;
    AudioSource inputSource;

    // Aggregates: the user's layout, or the description the program passed.
    std::optional<ScenarioAggregate> userLayout;
    CFDictionaryRef description = nullptr;
    std::vector<std::string> subdeviceUIDs;
    std::vector<AudioObjectID> tapIDs;
    dispatch::Seconds inputStreamsAt = 0.0;
    dispatch::Seconds outputStreamsAt = 0.0;

    std::vector<Stream> inputStreams;
    std::vector<Stream> outputStreams;

    std::shared_ptr<DeviceIO> io;
    std::shared_ptr<PlayedTimeline> timeline;
    int observers = 0;
    bool isStalled = false;
    // An aggregate's IO procedures are not called once its IO has run this long (seconds).
    double ioStallSeconds = std::numeric_limits<double>::infinity();
    // Some IO procedure is started on it (kept in step by the server).
    bool isIORunning = false;

    [[nodiscard]] bool isAggregate() const { return kind != Kind::physical; }
    [[nodiscard]] bool isListed() const { return isPlugged; }
};

// Makes an aggregate stacked, as the platform builds one: it offers only its main member's
// output stream (the first member with output when the main one has none), and what is
// played there is played on every member with output.
void stackOutputStreams(Device& aggregate, const std::string& mainSubdeviceUID);

struct Process {
    ScenarioProcess declared;
    AudioObjectID id = 0;
    bool isLaunched = true;
    bool isPlaying = false;
    bool isCapturing = false;
    AudioSource source;
    std::optional<std::filesystem::path> bundleURL;

    [[nodiscard]] bool isListed() const { return isLaunched && declared.isAudioClient; }
};

struct Tap {
    AudioObjectID id = 0;
    CATapDescription description;
    bool deliversSilence = false;
};

struct Listener {
    AudioObjectID object = 0;
    AudioObjectPropertyAddress address{};
    dispatch::QueuePtr queue;
    AudioObjectPropertyListenerBlock block;
    std::shared_ptr<std::atomic<bool>> isLive;
};

// A notification to deliver once World::mutex is released.
struct PendingNotification {
    Listener listener;
    AudioObjectPropertyAddress address{};
};

struct World {
    std::mutex mutex;
    AudioObjectID nextID = 40;
    std::set<AudioObjectID> reservedIDs;
    std::vector<std::unique_ptr<Device>> devices;
    std::vector<Process> processes;
    std::vector<Tap> taps;
    std::vector<Listener> listeners;
    std::vector<PendingNotification> pending;
    std::string defaultOutputUID;
    std::string defaultInputUID;
    bool isAsleep = false;

    AudioObjectID allocateID();
    // Gives a device that comes back (plugged again, or after a restart) and its streams
    // new object identifiers, as the platform does.
    void renumber(Device& device);
    Device* device(AudioObjectID id);
    Device* device(const std::string& uid);
    Process* process(AudioObjectID id);
    Process* processWithPid(std::int32_t pid);
    Tap* tap(AudioObjectID id);
    Tap* tap(const std::string& uid);
    // The stream and its device, for a stream object.
    std::pair<Device*, const Stream*> stream(AudioObjectID id);
    [[nodiscard]] bool exists(AudioObjectID id);

    // The physical devices a process's audio reaches, in order.
    std::vector<Device*> destinations(const Process& process);
    // True while a tap silences the process's normal output.
    bool isMuted(const Process& process);
    std::vector<AudioObjectID> tapTargets(const Tap& tap);
    // Streams currently visible (aggregates show theirs after their delay).
    std::vector<const Stream*> visibleStreams(const Device& device, AudioObjectPropertyScope scope,
                                              dispatch::Seconds now);

    // Queues notifications of the address to every matching listener.
    void notify(AudioObjectID object, AudioObjectPropertySelector selector,
                AudioObjectPropertyScope scope = kAudioObjectPropertyScopeGlobal);
    // Hands the queued notifications to their queues (call after unlocking).
    static void deliver(std::vector<PendingNotification> notifications);
    std::vector<PendingNotification> takePending();
    // Removes every listener of an object that no longer exists.
    void dropListeners(AudioObjectID gone);

    // Runs change with the mutex held, then delivers the notifications it queued.
    template <typename Change>
    std::invoke_result_t<Change, World&> change(Change&& apply) {
        std::vector<PendingNotification> notifications;
        std::invoke_result_t<Change, World&> result{};
        {
            std::lock_guard lock(mutex);
            result = apply(*this);
            notifications = takePending();
        }
        deliver(std::move(notifications));
        return result;
    }

    // Copies what one IO cycle of the device, whose IO started at ioStartedAt, needs into plan.
    void planCycle(Device& device, const std::vector<IOProcEntry>& procs, CyclePlan& plan, dispatch::Seconds current,
                   dispatch::Seconds ioStartedAt);

    // Chooses a new default when the current one vanished.
    void repairDefaults();
};

}  // namespace sim
