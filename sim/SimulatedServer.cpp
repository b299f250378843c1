#include "sim/SimulatedServer.h"

#include "platform/coreaudio/AudioHardware.h"
#include "sim/DeviceIO.h"
#include "sim/PropertyAnswers.h"
#include "sim/SimulatedWorkspace.h"
#include "sim/World.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <variant>

namespace sim {

namespace {

constexpr double kNever = std::numeric_limits<double>::infinity();
constexpr std::uint64_t kMaxCatchUpCycles = 8;

// The device IO whose cycle runs on this thread, if any.
thread_local const SimulatedServer::DeviceIO* cycleIO = nullptr;

// Takes a device's IO mutex unless the caller is that device's IO cycle, which holds it already.
std::unique_lock<std::mutex> lockIO(SimulatedServer::DeviceIO& io) {
    std::unique_lock lock(io.mutex, std::defer_lock);
    if (cycleIO != &io) {
        lock.lock();
    }
    return lock;
}

std::shared_ptr<SimulatedServer>& sharedServer() {
    static std::shared_ptr<SimulatedServer> server;
    return server;
}

std::mutex& currentMutex() {
    static std::mutex mutex;
    return mutex;
}

std::weak_ptr<SimulatedServer>& currentServer() {
    static std::weak_ptr<SimulatedServer> server;
    return server;
}

bool matches(const InjectedFailure& failure, Call call, AudioObjectID object,
             std::optional<AudioObjectPropertySelector> selector) {
    if (failure.call != call) {
        return false;
    }
    if (failure.object && *failure.object != object) {
        return false;
    }
    return !failure.selector || (selector && *failure.selector == *selector);
}

}  // namespace

SimulatedServer::SimulatedServer(ServerOptions options)
    : options_(std::move(options)),
      startTime_(dispatch::now()),
      world_(std::make_unique<World>()),
      eventQueue_(dispatch::DispatchQueue::create("sim.events")) {}

std::shared_ptr<SimulatedServer> SimulatedServer::create(const Scenario& scenario, ServerOptions options) {
    std::shared_ptr<SimulatedServer> server(new SimulatedServer(std::move(options)));
    server->load(scenario);
    {
        std::lock_guard lock(currentMutex());
        currentServer() = server;
    }
    AudioHardwareInstallService(server);
    server->workspace_ = std::make_shared<SimulatedWorkspace>(server);
    appkit::WorkspaceInstallService(server->workspace_);
    server->scheduleTimeline(scenario.timeline);
    server->updateAllIO();
    return server;
}

std::shared_ptr<SimulatedServer> SimulatedServer::current() {
    std::lock_guard lock(currentMutex());
    return currentServer().lock();
}

void SimulatedServer::startShared() {
    ScenarioResult loaded;
    const char* scenarioPath = std::getenv("TONVALE_SCENARIO");
    if (scenarioPath != nullptr && *scenarioPath != '\0') {
        loaded = loadScenarioFile(scenarioPath);
    } else {
        loaded.scenario = Scenario::embeddedDefault();
    }
    if (!loaded.scenario) {
        std::fprintf(stderr, "tonvale: scenario %s\n", loaded.error.c_str());
        std::fflush(stderr);
        std::exit(1);
    }
    ServerOptions options;
    if (const char* folder = std::getenv("TONVALE_SIM_RECORD"); folder != nullptr && *folder != '\0') {
        options.recordingFolder = std::filesystem::path(folder);
        options.readBackSeconds = 2.0;
    }
    sharedServer() = create(*loaded.scenario, options);
    static const bool isRegistered = [] {
        std::atexit(&SimulatedServer::stopShared);
        return true;
    }();
    (void)isRegistered;
}

void SimulatedServer::stopShared() {
    std::shared_ptr<SimulatedServer> server = std::move(sharedServer());
    server.reset();
}

SimulatedServer::~SimulatedServer() {
    std::vector<std::shared_ptr<DeviceIO>> ios;
    std::vector<std::shared_ptr<PlayedTimeline>> timelines;
    {
        std::lock_guard lock(world_->mutex);
        for (auto& device : world_->devices) {
            ios.push_back(device->io);
            if (device->timeline) {
                timelines.push_back(device->timeline);
            }
        }
        for (auto& listener : world_->listeners) {
            listener.isLive->store(false);
        }
    }
    for (auto& io : ios) {
        auto lock = lockIO(*io);
        if (io->timer) {
            io->timer->cancel();
            io->timer.reset();
        }
        io->queue.reset();
        io->procs.clear();
    }
    for (auto& timeline : timelines) {
        timeline->finishRecording();
    }
}

void SimulatedServer::load(const Scenario& scenario) {
    World& world = *world_;
    for (const auto& entry : scenario.devices) {
        if (entry.objectID) {
            world.reservedIDs.insert(*entry.objectID);
        }
    }
    for (const auto& entry : scenario.aggregates) {
        if (entry.objectID) {
            world.reservedIDs.insert(*entry.objectID);
        }
    }
    for (const auto& entry : scenario.processes) {
        if (entry.objectID) {
            world.reservedIDs.insert(*entry.objectID);
        }
    }
    for (const auto& entry : scenario.devices) {
        auto device = std::make_unique<Device>();
        device->kind = Device::Kind::physical;
        device->id = entry.objectID.value_or(0);
        device->uid = entry.uid;
        device->name = entry.name;
        device->transportType = entry.transportType;
        device->sampleRate = entry.sampleRate;
        device->bufferFrameSize = entry.bufferFrameSize;
        device->outputChannels = entry.outputChannels;
        device->inputChannels = entry.inputChannels;
        device->format = entry.format;
        device->isAlive = entry.isAlive;
        device->isPlugged = entry.isPlugged;
        device->inputSource = entry.inputSource;
        if (entry.inputChannels > 0) {
            device->inputStreams.push_back({0, true, streamFormat(entry.sampleRate, entry.inputChannels, entry.format),
                                            Stream::Feed::deviceInput, entry.uid, 0});
        }
        if (entry.outputChannels > 0) {
            device->outputStreams.push_back({0, false, streamFormat(entry.sampleRate, entry.outputChannels, entry.format),
                                             Stream::Feed::deviceOutput, entry.uid, 0});
            device->timeline = std::make_shared<PlayedTimeline>(entry.uid, entry.sampleRate, entry.outputChannels,
                                                                options_.readBackSeconds, options_.recordingFolder);
            if (options_.recordingFolder) {
                device->observers = 1;
            }
        }
        device->io = std::make_shared<DeviceIO>(entry.uid);
        world.devices.push_back(std::move(device));
    }
    for (const auto& entry : scenario.aggregates) {
        auto device = std::make_unique<Device>();
        device->kind = Device::Kind::userAggregate;
        device->id = entry.objectID.value_or(0);
        device->uid = entry.uid;
        device->name = entry.name;
        device->transportType = kAudioDeviceTransportTypeAggregate;
        device->userLayout = entry;
        const Device* main = world.device(entry.mainSubdeviceUID);
        device->sampleRate = main != nullptr ? main->sampleRate : 48000.0;
        device->bufferFrameSize = main != nullptr ? main->bufferFrameSize : 512;
        for (const auto& subdevice : entry.subdevices) {
            const Device* member = world.device(subdevice.uid);
            if (member == nullptr) {
                continue;
            }
            device->subdeviceUIDs.push_back(subdevice.uid);
            const bool hasOutput = member->outputChannels > 0 && subdevice.outputChannels.value_or(1) != 0;
            if (hasOutput) {
                device->outputChannels += member->outputChannels;
                device->outputStreams.push_back({0, false, streamFormat(member->sampleRate, member->outputChannels, member->format),
                                                 Stream::Feed::deviceOutput, member->uid, 0});
            }
        }
        device->io = std::make_shared<DeviceIO>(entry.uid);
        world.devices.push_back(std::move(device));
    }
    for (auto& device : world.devices) {
        if (device->id == 0) {
            device->id = world.allocateID();
        }
        for (auto& stream : device->inputStreams) {
            stream.id = world.allocateID();
        }
        for (auto& stream : device->outputStreams) {
            stream.id = world.allocateID();
        }
    }
    for (const auto& entry : scenario.processes) {
        Process process;
        process.declared = entry;
        process.id = entry.objectID.value_or(0);
        process.isLaunched = entry.isLaunched;
        process.isPlaying = entry.isPlaying;
        process.isCapturing = entry.isCapturing;
        process.source = entry.source;
        if (entry.application && entry.application->bundlePath) {
            process.bundleURL = bundles_.bundlePath(*entry.application->bundlePath, entry.application->bundleID,
                                                    entry.application->localizedName);
        }
        world.processes.push_back(std::move(process));
    }
    for (auto& process : world.processes) {
        if (process.id == 0) {
            process.id = world.allocateID();
        }
    }
    world.defaultOutputUID = scenario.defaultOutputUID;
    world.defaultInputUID = scenario.defaultInputUID;
    world.repairDefaults();
    world.pending.clear();
}

void SimulatedServer::scheduleTimeline(const std::vector<TimelineEvent>& timeline) {
    std::weak_ptr<SimulatedServer> weak = weak_from_this();
    for (const auto& event : timeline) {
        eventQueue_->asyncAfter(event.at, [weak, event] {
            if (auto server = weak.lock()) {
                server->apply(event);
            }
        });
    }
}

void SimulatedServer::apply(const TimelineEvent& event) {
    bool isKnown = true;
    switch (event.kind) {
    case TimelineEvent::Kind::startAudio: isKnown = startAudio(event.pid); break;
    case TimelineEvent::Kind::stopAudio: isKnown = stopAudio(event.pid); break;
    case TimelineEvent::Kind::launch: isKnown = launchProcess(event.pid); break;
    case TimelineEvent::Kind::quit: isKnown = quitProcess(event.pid); break;
    case TimelineEvent::Kind::plug: isKnown = plugDevice(event.uid); break;
    case TimelineEvent::Kind::unplug: isKnown = unplugDevice(event.uid); break;
    case TimelineEvent::Kind::kill: isKnown = killDevice(event.uid); break;
    case TimelineEvent::Kind::setDefaultOutput: isKnown = setDefaultOutputDevice(event.uid); break;
    case TimelineEvent::Kind::setDefaultInput: isKnown = setDefaultInputDevice(event.uid); break;
    case TimelineEvent::Kind::restart: restartAudioService(); break;
    case TimelineEvent::Kind::sleep: sleep(); break;
    case TimelineEvent::Kind::wake: wake(); break;
    }
    // The scenario's checks guarantee known names; a miss here is ignored like any stale event.
    (void)isKnown;
}

std::optional<AudioObjectID> SimulatedServer::deviceID(const std::string& uid) const {
    std::lock_guard lock(world_->mutex);
    const Device* device = world_->device(uid);
    if (device == nullptr || !device->isListed()) {
        return std::nullopt;
    }
    return device->id;
}

std::optional<AudioObjectID> SimulatedServer::processObjectID(std::int32_t pid) const {
    std::lock_guard lock(world_->mutex);
    const Process* process = world_->processWithPid(pid);
    if (process == nullptr || !process->isListed()) {
        return std::nullopt;
    }
    return process->id;
}

bool SimulatedServer::startAudio(std::int32_t pid) {
    std::vector<PendingNotification> notifications;
    {
        std::lock_guard lock(world_->mutex);
        Process* process = world_->processWithPid(pid);
        if (process == nullptr) {
            return false;
        }
        const bool wasRunning = process->isPlaying || process->isCapturing;
        if (!process->isPlaying) {
            process->isPlaying = true;
            world_->notify(process->id, kAudioProcessPropertyIsRunningOutput);
            if (!wasRunning) {
                world_->notify(process->id, kAudioProcessPropertyIsRunning);
            }
        }
        notifications = world_->takePending();
    }
    World::deliver(std::move(notifications));
    return true;
}

bool SimulatedServer::stopAudio(std::int32_t pid) {
    std::vector<PendingNotification> notifications;
    {
        std::lock_guard lock(world_->mutex);
        Process* process = world_->processWithPid(pid);
        if (process == nullptr) {
            return false;
        }
        if (process->isPlaying) {
            process->isPlaying = false;
            world_->notify(process->id, kAudioProcessPropertyIsRunningOutput);
            if (!process->isCapturing) {
                world_->notify(process->id, kAudioProcessPropertyIsRunning);
            }
        }
        notifications = world_->takePending();
    }
    World::deliver(std::move(notifications));
    return true;
}

bool SimulatedServer::setSource(std::int32_t pid, AudioSource source) {
    std::lock_guard lock(world_->mutex);
    Process* process = world_->processWithPid(pid);
    if (process == nullptr) {
        return false;
    }
    process->source = source;
    return true;
}

bool SimulatedServer::launchProcess(std::int32_t pid) {
    std::vector<PendingNotification> notifications;
    {
        std::lock_guard lock(world_->mutex);
        Process* process = world_->processWithPid(pid);
        if (process == nullptr) {
            return false;
        }
        if (!process->isLaunched) {
            process->isLaunched = true;
            process->id = world_->allocateID();
            if (process->declared.isAudioClient) {
                world_->notify(kAudioObjectSystemObject, kAudioHardwarePropertyProcessObjectList);
            }
        }
        notifications = world_->takePending();
    }
    World::deliver(std::move(notifications));
    return true;
}

bool SimulatedServer::quitProcess(std::int32_t pid) {
    std::vector<PendingNotification> notifications;
    {
        std::lock_guard lock(world_->mutex);
        Process* process = world_->processWithPid(pid);
        if (process == nullptr) {
            return false;
        }
        if (process->isLaunched) {
            process->isLaunched = false;
            process->isPlaying = false;
            process->isCapturing = false;
            const AudioObjectID gone = process->id;
            std::erase_if(world_->listeners, [gone](const Listener& listener) {
                if (listener.object != gone) {
                    return false;
                }
                listener.isLive->store(false);
                return true;
            });
            if (process->declared.isAudioClient) {
                world_->notify(kAudioObjectSystemObject, kAudioHardwarePropertyProcessObjectList);
            }
        }
        notifications = world_->takePending();
    }
    World::deliver(std::move(notifications));
    return true;
}

bool SimulatedServer::plugDevice(const std::string& uid) {
    std::vector<PendingNotification> notifications;
    {
        std::lock_guard lock(world_->mutex);
        Device* device = world_->device(uid);
        if (device == nullptr || device->kind == Device::Kind::programAggregate) {
            return false;
        }
        if (!device->isPlugged) {
            // A device that comes back is a new object, as on the platform.
            device->isPlugged = true;
            device->isAlive = true;
            device->id = world_->allocateID();
            for (auto& stream : device->inputStreams) {
                stream.id = world_->allocateID();
            }
            for (auto& stream : device->outputStreams) {
                stream.id = world_->allocateID();
            }
            world_->notify(kAudioObjectSystemObject, kAudioHardwarePropertyDevices);
            world_->repairDefaults();
        }
        notifications = world_->takePending();
    }
    World::deliver(std::move(notifications));
    updateAllIO();
    return true;
}

namespace {

// Removes every listener of an object that no longer exists.
void dropListeners(SimulatedServer::World& world, AudioObjectID gone) {
    std::erase_if(world.listeners, [gone](const Listener& listener) {
        if (listener.object != gone) {
            return false;
        }
        listener.isLive->store(false);
        return true;
    });
}

// Marks the aggregates built on a lost device dead; their IO stops.
void killAggregatesOn(SimulatedServer::World& world, const std::string& uid) {
    for (auto& device : world.devices) {
        if (!device->isAggregate() || !device->isAlive) {
            continue;
        }
        const auto& members = device->subdeviceUIDs;
        if (std::find(members.begin(), members.end(), uid) != members.end() && device->kind == Device::Kind::programAggregate) {
            device->isAlive = false;
            world.notify(device->id, kAudioDevicePropertyDeviceIsAlive);
        }
    }
}

}  // namespace

bool SimulatedServer::unplugDevice(const std::string& uid) {
    std::vector<PendingNotification> notifications;
    std::shared_ptr<DeviceIO> io;
    {
        std::lock_guard lock(world_->mutex);
        Device* device = world_->device(uid);
        if (device == nullptr || device->kind == Device::Kind::programAggregate) {
            return false;
        }
        if (device->isPlugged) {
            world_->notify(device->id, kAudioDevicePropertyDeviceIsAlive);
            device->isPlugged = false;
            device->isAlive = false;
            killAggregatesOn(*world_, uid);
            world_->notify(kAudioObjectSystemObject, kAudioHardwarePropertyDevices);
            world_->repairDefaults();
            io = device->io;
        }
        notifications = world_->takePending();
        if (io) {
            dropListeners(*world_, device->id);
            for (const auto& stream : device->inputStreams) {
                dropListeners(*world_, stream.id);
            }
            for (const auto& stream : device->outputStreams) {
                dropListeners(*world_, stream.id);
            }
        }
    }
    World::deliver(std::move(notifications));
    if (io) {
        // The device's IO procedures went with it.
        auto lock = lockIO(*io);
        world_->ioProcCount -= io->procs.size();
        io->procs.clear();
    }
    updateAllIO();
    return true;
}

bool SimulatedServer::killDevice(const std::string& uid) {
    std::vector<PendingNotification> notifications;
    {
        std::lock_guard lock(world_->mutex);
        Device* device = world_->device(uid);
        if (device == nullptr || !device->isPlugged) {
            return false;
        }
        if (device->isAlive) {
            device->isAlive = false;
            world_->notify(device->id, kAudioDevicePropertyDeviceIsAlive);
            killAggregatesOn(*world_, uid);
        }
        notifications = world_->takePending();
    }
    World::deliver(std::move(notifications));
    updateAllIO();
    return true;
}

bool SimulatedServer::setDefaultOutputDevice(const std::string& uid) {
    std::vector<PendingNotification> notifications;
    {
        std::lock_guard lock(world_->mutex);
        Device* device = world_->device(uid);
        if (device == nullptr || !device->isListed() || device->outputChannels == 0) {
            return false;
        }
        if (world_->defaultOutputUID != uid) {
            world_->defaultOutputUID = uid;
            world_->notify(kAudioObjectSystemObject, kAudioHardwarePropertyDefaultOutputDevice);
        }
        notifications = world_->takePending();
    }
    World::deliver(std::move(notifications));
    return true;
}

bool SimulatedServer::setDefaultInputDevice(const std::string& uid) {
    std::vector<PendingNotification> notifications;
    {
        std::lock_guard lock(world_->mutex);
        Device* device = world_->device(uid);
        if (device == nullptr || !device->isListed() || device->inputChannels == 0) {
            return false;
        }
        if (world_->defaultInputUID != uid) {
            world_->defaultInputUID = uid;
            world_->notify(kAudioObjectSystemObject, kAudioHardwarePropertyDefaultInputDevice);
        }
        notifications = world_->takePending();
    }
    World::deliver(std::move(notifications));
    return true;
}

bool SimulatedServer::setIOStalled(const std::string& uid, bool isStalled) {
    std::lock_guard lock(world_->mutex);
    Device* device = world_->device(uid);
    if (device == nullptr) {
        return false;
    }
    device->isStalled = isStalled;
    return true;
}

void SimulatedServer::restartAudioService() {
    std::vector<PendingNotification> notifications;
    std::vector<std::shared_ptr<DeviceIO>> ios;
    {
        std::lock_guard lock(world_->mutex);
        World& world = *world_;
        for (auto& device : world.devices) {
            ios.push_back(device->io);
        }
        // Every tap and aggregate device of this program is gone; the rest of the
        // world comes back with new object identifiers.
        std::erase_if(world.devices, [](const std::unique_ptr<Device>& device) {
            return device->kind == Device::Kind::programAggregate;
        });
        world.taps.clear();
        for (auto& device : world.devices) {
            device->id = world.allocateID();
            for (auto& stream : device->inputStreams) {
                stream.id = world.allocateID();
            }
            for (auto& stream : device->outputStreams) {
                stream.id = world.allocateID();
            }
            device->isIORunning = false;
        }
        for (auto& process : world.processes) {
            process.id = world.allocateID();
        }
        std::erase_if(world.listeners, [](const Listener& listener) {
            if (listener.object == kAudioObjectSystemObject) {
                return false;
            }
            listener.isLive->store(false);
            return true;
        });
        world.notify(kAudioObjectSystemObject, kAudioHardwarePropertyServiceRestarted);
        world.notify(kAudioObjectSystemObject, kAudioHardwarePropertyDevices);
        world.notify(kAudioObjectSystemObject, kAudioHardwarePropertyProcessObjectList);
        world.notify(kAudioObjectSystemObject, kAudioHardwarePropertyDefaultOutputDevice);
        world.notify(kAudioObjectSystemObject, kAudioHardwarePropertyDefaultInputDevice);
        notifications = world.takePending();
    }
    for (auto& io : ios) {
        auto lock = lockIO(*io);
        world_->ioProcCount -= io->procs.size();
        io->procs.clear();
    }
    for (auto& io : ios) {
        updateIO(io);
    }
    World::deliver(std::move(notifications));
}

void SimulatedServer::sleep() {
    {
        std::lock_guard lock(world_->mutex);
        world_->isAsleep = true;
    }
    post(WorkspaceNotification::willSleep);
}

void SimulatedServer::wake() {
    {
        std::lock_guard lock(world_->mutex);
        world_->isAsleep = false;
    }
    post(WorkspaceNotification::didWake);
}

void SimulatedServer::post(WorkspaceNotification notification) {
    std::vector<std::shared_ptr<const std::function<void()>>> blocks;
    {
        std::lock_guard lock(world_->mutex);
        for (const auto& observer : world_->observers) {
            if (observer.notification == notification) {
                blocks.push_back(observer.block);
            }
        }
    }
    for (const auto& block : blocks) {
        (*block)();
    }
}

void SimulatedServer::injectFailure(InjectedFailure failure) {
    std::lock_guard lock(world_->mutex);
    world_->failures.push_back(failure);
}

void SimulatedServer::clearInjectedFailures() {
    std::lock_guard lock(world_->mutex);
    world_->failures.clear();
}

void SimulatedServer::setCaptureDenial(CaptureDenial denial, OSStatus refusal) {
    std::lock_guard lock(world_->mutex);
    world_->denial = denial;
    world_->refusal = refusal;
}

void SimulatedServer::setAggregateBehaviour(AggregateBehaviour behaviour) {
    std::lock_guard lock(world_->mutex);
    world_->aggregateBehaviour = behaviour;
}

std::optional<OSStatus> SimulatedServer::injectedStatus(Call call, AudioObjectID object,
                                                        std::optional<AudioObjectPropertySelector> selector) {
    std::lock_guard lock(world_->mutex);
    auto& failures = world_->failures;
    for (auto it = failures.begin(); it != failures.end(); ++it) {
        if (!matches(*it, call, object, selector)) {
            continue;
        }
        const OSStatus status = it->status;
        if (it->count == 1) {
            failures.erase(it);
        } else if (it->count > 1) {
            --it->count;
        }
        return status;
    }
    return std::nullopt;
}

bool SimulatedServer::startObserving(const std::string& uid) {
    std::shared_ptr<DeviceIO> io;
    {
        std::lock_guard lock(world_->mutex);
        Device* device = world_->device(uid);
        if (device == nullptr || device->isAggregate() || !device->timeline) {
            return false;
        }
        ++device->observers;
        io = device->io;
    }
    updateIO(io);
    return true;
}

bool SimulatedServer::stopObserving(const std::string& uid) {
    std::shared_ptr<DeviceIO> io;
    {
        std::lock_guard lock(world_->mutex);
        Device* device = world_->device(uid);
        if (device == nullptr || device->observers == 0) {
            return false;
        }
        --device->observers;
        io = device->io;
    }
    updateIO(io);
    return true;
}

PlayedAudio SimulatedServer::played(const std::string& uid, dispatch::Seconds from, dispatch::Seconds to) const {
    std::shared_ptr<PlayedTimeline> timeline;
    {
        std::lock_guard lock(world_->mutex);
        const Device* device = world_->device(uid);
        if (device == nullptr || !device->timeline) {
            return {};
        }
        timeline = device->timeline;
    }
    const double rate = timeline->sampleRate();
    return timeline->read(std::llround((from - startTime_) * rate), std::llround((to - startTime_) * rate));
}

std::size_t SimulatedServer::tapCount() const {
    std::lock_guard lock(world_->mutex);
    return world_->taps.size();
}

std::size_t SimulatedServer::aggregateDeviceCount() const {
    std::lock_guard lock(world_->mutex);
    return static_cast<std::size_t>(std::count_if(world_->devices.begin(), world_->devices.end(), [](const auto& device) {
        return device->kind == Device::Kind::programAggregate;
    }));
}

std::size_t SimulatedServer::ioProcCount() const { return world_->ioProcCount.load(); }

std::size_t SimulatedServer::listenerCount() const {
    std::lock_guard lock(world_->mutex);
    return world_->listeners.size();
}

std::size_t SimulatedServer::runningIOCount() const {
    std::vector<std::shared_ptr<DeviceIO>> ios;
    {
        std::lock_guard lock(world_->mutex);
        for (const auto& device : world_->devices) {
            ios.push_back(device->io);
        }
    }
    std::size_t running = 0;
    for (const auto& io : ios) {
        auto lock = lockIO(*io);
        running += io->timer ? 1 : 0;
    }
    return running;
}

std::uint64_t SimulatedServer::ioCycleCount(const std::string& uid) const {
    std::lock_guard lock(world_->mutex);
    const Device* device = world_->device(uid);
    return device == nullptr ? 0 : device->io->cycles.load();
}

std::vector<appkit::RunningApplication> SimulatedServer::runningApplications() const {
    std::lock_guard lock(world_->mutex);
    std::vector<appkit::RunningApplication> applications;
    for (const auto& process : world_->processes) {
        if (!process.isLaunched || !process.declared.application) {
            continue;
        }
        applications.push_back({process.declared.pid, process.declared.application->bundleID,
                                process.declared.application->localizedName, process.bundleURL});
    }
    return applications;
}

std::optional<std::filesystem::path> SimulatedServer::applicationURL(const std::string& bundleID) const {
    std::lock_guard lock(world_->mutex);
    for (const auto& process : world_->processes) {
        if (process.declared.application && process.declared.application->bundleID == bundleID && process.bundleURL) {
            return process.bundleURL;
        }
    }
    return std::nullopt;
}

std::uint64_t SimulatedServer::addWorkspaceObserver(WorkspaceNotification notification, std::function<void()> block) {
    std::lock_guard lock(world_->mutex);
    const std::uint64_t token = world_->nextObserverToken++;
    world_->observers.push_back({token, notification, std::make_shared<const std::function<void()>>(std::move(block))});
    return token;
}

void SimulatedServer::removeWorkspaceObserver(std::uint64_t token) {
    std::lock_guard lock(world_->mutex);
    std::erase_if(world_->observers, [token](const WorkspaceObserver& observer) { return observer.token == token; });
}

std::size_t SimulatedServer::workspaceObserverCount() const {
    std::lock_guard lock(world_->mutex);
    return world_->observers.size();
}

Boolean SimulatedServer::hasProperty(AudioObjectID object, const AudioObjectPropertyAddress& address) {
    std::lock_guard lock(world_->mutex);
    return answerProperty(*world_, object, address).status == kAudioHardwareNoError ? 1 : 0;
}

OSStatus SimulatedServer::getPropertyDataSize(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                              UInt32& outDataSize) {
    if (auto status = injectedStatus(Call::getPropertyDataSize, object, address.mSelector)) {
        return *status;
    }
    std::lock_guard lock(world_->mutex);
    const PropertyAnswer answer = answerProperty(*world_, object, address);
    if (answer.status != kAudioHardwareNoError) {
        return answer.status;
    }
    outDataSize = answerSize(answer.value);
    return kAudioHardwareNoError;
}

OSStatus SimulatedServer::getPropertyData(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                          UInt32& ioDataSize, void* outData) {
    if (auto status = injectedStatus(Call::getPropertyData, object, address.mSelector)) {
        return *status;
    }
    PropertyAnswer answer;
    {
        std::lock_guard lock(world_->mutex);
        answer = answerProperty(*world_, object, address);
    }
    if (answer.status != kAudioHardwareNoError) {
        return answer.status;
    }
    if (auto* list = std::get_if<std::vector<AudioObjectID>>(&answer.value)) {
        // Lists fill as many whole entries as the buffer holds, as on the platform.
        const std::size_t count = std::min<std::size_t>(list->size(), ioDataSize / sizeof(AudioObjectID));
        std::memcpy(outData, list->data(), count * sizeof(AudioObjectID));
        ioDataSize = static_cast<UInt32>(count * sizeof(AudioObjectID));
        return kAudioHardwareNoError;
    }
    const UInt32 size = answerSize(answer.value);
    if (ioDataSize < size) {
        return kAudioHardwareBadPropertySizeError;
    }
    if (auto* number = std::get_if<UInt32>(&answer.value)) {
        std::memcpy(outData, number, size);
    } else if (auto* real = std::get_if<Float64>(&answer.value)) {
        std::memcpy(outData, real, size);
    } else if (auto* format = std::get_if<AudioStreamBasicDescription>(&answer.value)) {
        std::memcpy(outData, format, size);
    } else if (auto* text = std::get_if<std::string>(&answer.value)) {
        CFStringRef string = CFStringCreateWithUTF8(*text);
        std::memcpy(outData, &string, size);
    } else if (auto* dictionary = std::get_if<OwnedDictionary>(&answer.value)) {
        CFDictionaryRef given = dictionary->release();
        std::memcpy(outData, &given, size);
    }
    ioDataSize = size;
    return kAudioHardwareNoError;
}

OSStatus SimulatedServer::setPropertyData(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                          UInt32 dataSize, const void* data) {
    if (auto status = injectedStatus(Call::setPropertyData, object, address.mSelector)) {
        return *status;
    }
    std::vector<PendingNotification> notifications;
    {
        std::lock_guard lock(world_->mutex);
        World& world = *world_;
        if (!world.exists(object)) {
            return kAudioHardwareBadObjectError;
        }
        if (object != kAudioObjectSystemObject || (address.mSelector != kAudioHardwarePropertyDefaultOutputDevice &&
                                                   address.mSelector != kAudioHardwarePropertyDefaultInputDevice)) {
            return answerProperty(world, object, address).status == kAudioHardwareNoError
                       ? kAudioHardwareIllegalOperationError
                       : kAudioHardwareUnknownPropertyError;
        }
        if (dataSize != sizeof(AudioObjectID)) {
            return kAudioHardwareBadPropertySizeError;
        }
        AudioObjectID wanted = 0;
        std::memcpy(&wanted, data, sizeof(wanted));
        const Device* device = world.device(wanted);
        const bool isOutput = address.mSelector == kAudioHardwarePropertyDefaultOutputDevice;
        if (device == nullptr || !device->isAlive || (isOutput ? device->outputChannels : device->inputChannels) == 0) {
            return kAudioHardwareIllegalOperationError;
        }
        std::string& current = isOutput ? world.defaultOutputUID : world.defaultInputUID;
        if (current != device->uid) {
            current = device->uid;
            world.notify(kAudioObjectSystemObject, address.mSelector);
        }
        notifications = world.takePending();
    }
    World::deliver(std::move(notifications));
    return kAudioHardwareNoError;
}

OSStatus SimulatedServer::addPropertyListenerBlock(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                                   dispatch::QueuePtr queue, AudioObjectPropertyListenerBlock listener) {
    if (auto status = injectedStatus(Call::addPropertyListener, object, address.mSelector)) {
        return *status;
    }
    std::lock_guard lock(world_->mutex);
    if (!world_->exists(object)) {
        return kAudioHardwareBadObjectError;
    }
    world_->listeners.push_back(
        {object, address, std::move(queue), std::move(listener), std::make_shared<std::atomic<bool>>(true)});
    return kAudioHardwareNoError;
}

OSStatus SimulatedServer::removePropertyListenerBlock(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                                      dispatch::QueuePtr, const AudioObjectPropertyListenerBlock& listener) {
    if (auto status = injectedStatus(Call::removePropertyListener, object, address.mSelector)) {
        return *status;
    }
    std::lock_guard lock(world_->mutex);
    auto& listeners = world_->listeners;
    for (auto it = listeners.begin(); it != listeners.end(); ++it) {
        if (it->object == object && it->address == address && it->block.get() == listener.get()) {
            it->isLive->store(false);
            listeners.erase(it);
            return kAudioHardwareNoError;
        }
    }
    return world_->exists(object) ? kAudioHardwareIllegalOperationError : kAudioHardwareBadObjectError;
}

OSStatus SimulatedServer::createProcessTap(const CATapDescription& description, AudioObjectID& outTapID) {
    if (auto status = injectedStatus(Call::createProcessTap, kAudioObjectSystemObject, std::nullopt)) {
        return *status;
    }
    std::vector<PendingNotification> notifications;
    {
        std::lock_guard lock(world_->mutex);
        World& world = *world_;
        if (world.denial == CaptureDenial::refuseTap) {
            return world.refusal;
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
        tap.deliversSilence = world.denial == CaptureDenial::silentTap;
        world.taps.push_back(tap);
        outTapID = tap.id;
        world.notify(kAudioObjectSystemObject, kAudioHardwarePropertyTapList);
        notifications = world.takePending();
    }
    World::deliver(std::move(notifications));
    return kAudioHardwareNoError;
}

OSStatus SimulatedServer::destroyProcessTap(AudioObjectID tapID) {
    if (auto status = injectedStatus(Call::destroyProcessTap, tapID, std::nullopt)) {
        return *status;
    }
    std::vector<PendingNotification> notifications;
    {
        std::lock_guard lock(world_->mutex);
        World& world = *world_;
        const auto removed =
            std::erase_if(world.taps, [tapID](const Tap& tap) { return tap.id == tapID; });
        if (removed == 0) {
            return kAudioHardwareBadObjectError;
        }
        dropListeners(world, tapID);
        world.notify(kAudioObjectSystemObject, kAudioHardwarePropertyTapList);
        notifications = world.takePending();
    }
    World::deliver(std::move(notifications));
    return kAudioHardwareNoError;
}

namespace {

// Reads an aggregate description entry of an expected kind; a wrong kind is a parameter error.
struct DescriptionReader {
    CFDictionaryRef dictionary;
    bool isMalformed = false;

    std::optional<std::string> text(const char* key) {
        CFTypeRef value = CFDictionaryGetValueForUTF8Key(dictionary, key);
        if (value == nullptr) {
            return std::nullopt;
        }
        if (CFGetTypeID(value) != CFStringGetTypeID()) {
            isMalformed = true;
            return std::nullopt;
        }
        return CFStringGetUTF8(static_cast<CFStringRef>(value));
    }

    std::optional<SInt64> number(const char* key) {
        CFTypeRef value = CFDictionaryGetValueForUTF8Key(dictionary, key);
        if (value == nullptr) {
            return std::nullopt;
        }
        if (CFGetTypeID(value) == CFBooleanGetTypeID()) {
            return CFBooleanGetValue(static_cast<CFBooleanRef>(value)) != 0 ? 1 : 0;
        }
        if (CFGetTypeID(value) != CFNumberGetTypeID()) {
            isMalformed = true;
            return std::nullopt;
        }
        SInt64 result = 0;
        CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberSInt64Type, &result);
        return result;
    }

    std::vector<CFDictionaryRef> maps(const char* key) {
        std::vector<CFDictionaryRef> result;
        CFTypeRef value = CFDictionaryGetValueForUTF8Key(dictionary, key);
        if (value == nullptr) {
            return result;
        }
        if (CFGetTypeID(value) != CFArrayGetTypeID()) {
            isMalformed = true;
            return result;
        }
        const auto array = static_cast<CFArrayRef>(value);
        for (CFIndex i = 0; i < CFArrayGetCount(array); ++i) {
            CFTypeRef entry = CFArrayGetValueAtIndex(array, i);
            if (CFGetTypeID(entry) != CFDictionaryGetTypeID()) {
                isMalformed = true;
                continue;
            }
            result.push_back(static_cast<CFDictionaryRef>(entry));
        }
        return result;
    }
};

}  // namespace

OSStatus SimulatedServer::createAggregateDevice(CFDictionaryRef description, AudioObjectID& outDeviceID) {
    if (auto status = injectedStatus(Call::createAggregateDevice, kAudioObjectSystemObject, std::nullopt)) {
        return *status;
    }
    if (CFGetTypeID(description) != CFDictionaryGetTypeID()) {
        return kAudio_ParamError;
    }
    std::vector<PendingNotification> notifications;
    std::optional<double> appearsAfter;
    std::string uid;
    AudioObjectID newID = 0;
    {
        std::lock_guard lock(world_->mutex);
        World& world = *world_;
        DescriptionReader reader{description};
        const auto givenUID = reader.text(kAudioAggregateDeviceUIDKey);
        const auto name = reader.text(kAudioAggregateDeviceNameKey);
        const auto mainUID = reader.text(kAudioAggregateDeviceMainSubDeviceKey);
        reader.text(kAudioAggregateDeviceClockDeviceKey);
        reader.number(kAudioAggregateDeviceIsPrivateKey);
        reader.number(kAudioAggregateDeviceIsStackedKey);
        reader.number(kAudioAggregateDeviceTapAutoStartKey);
        const auto subdevices = reader.maps(kAudioAggregateDeviceSubDeviceListKey);
        const auto tapEntries = reader.maps(kAudioAggregateDeviceTapListKey);
        if (reader.isMalformed || !givenUID || givenUID->empty()) {
            return kAudio_ParamError;
        }
        if (world.device(*givenUID) != nullptr) {
            return kAudioHardwareIllegalOperationError;
        }
        auto device = std::make_unique<Device>();
        device->kind = Device::Kind::programAggregate;
        device->uid = *givenUID;
        device->name = name.value_or("");
        device->transportType = kAudioDeviceTransportTypeAggregate;
        device->description = static_cast<CFDictionaryRef>(CFRetain(description));
        const AggregateBehaviour behaviour = world.aggregateBehaviour;
        const Device* main = nullptr;
        for (CFDictionaryRef entry : subdevices) {
            DescriptionReader subReader{entry};
            const auto subUID = subReader.text(kAudioSubDeviceUIDKey);
            const auto channelsIn = subReader.number(kAudioSubDeviceInputChannelsKey);
            const auto channelsOut = subReader.number(kAudioSubDeviceOutputChannelsKey);
            subReader.number(kAudioSubDeviceDriftCompensationKey);
            subReader.number(kAudioSubDeviceDriftCompensationQualityKey);
            if (subReader.isMalformed || !subUID) {
                return kAudio_ParamError;
            }
            const Device* member = world.device(*subUID);
            if (member == nullptr || !member->isListed() || member->kind != Device::Kind::physical) {
                return kAudioHardwareIllegalOperationError;
            }
            device->subdeviceUIDs.push_back(member->uid);
            if (main == nullptr || (mainUID && *mainUID == member->uid)) {
                main = member;
            }
            if (member->inputChannels > 0 && channelsIn.value_or(1) != 0) {
                device->inputStreams.push_back({world.allocateID(), true,
                                                streamFormat(member->sampleRate, member->inputChannels, member->format),
                                                Stream::Feed::deviceInput, member->uid, 0});
                device->inputChannels += member->inputChannels;
            }
            if (member->outputChannels > 0 && channelsOut.value_or(1) != 0) {
                device->outputStreams.push_back({world.allocateID(), false,
                                                 streamFormat(member->sampleRate, member->outputChannels, member->format),
                                                 Stream::Feed::deviceOutput, member->uid, 0});
                device->outputChannels += member->outputChannels;
            }
        }
        device->sampleRate = main != nullptr ? main->sampleRate : 48000.0;
        device->bufferFrameSize = main != nullptr ? main->bufferFrameSize : 512;
        device->isAlive = main == nullptr || main->isAlive;
        if (behaviour.shapeFault == StreamShapeFault::extraInputStream) {
            device->inputStreams.push_back({world.allocateID(), true, streamFormat(device->sampleRate, 2, StreamShape{}),
                                            Stream::Feed::phantom, "", 0});
            device->inputChannels += 2;
        }
        for (CFDictionaryRef entry : tapEntries) {
            DescriptionReader tapReader{entry};
            const auto tapUID = tapReader.text(kAudioSubTapUIDKey);
            tapReader.number(kAudioSubTapDriftCompensationKey);
            if (tapReader.isMalformed || !tapUID) {
                return kAudio_ParamError;
            }
            const Tap* tap = world.tap(*tapUID);
            if (tap == nullptr) {
                return kAudioHardwareIllegalOperationError;
            }
            device->tapIDs.push_back(tap->id);
            StreamShape shape;
            UInt32 channels = tap->description.isMono ? 1 : 2;
            switch (behaviour.shapeFault) {
            case StreamShapeFault::sixteenBitTap:
                shape.bitsPerChannel = 16;
                shape.isFloat = false;
                break;
            case StreamShapeFault::monoTap:
                channels = 1;
                break;
            case StreamShapeFault::nonInterleavedTap:
                shape.isInterleaved = false;
                break;
            case StreamShapeFault::none:
            case StreamShapeFault::extraInputStream:
                break;
            }
            device->inputStreams.push_back({world.allocateID(), true, streamFormat(device->sampleRate, channels, shape),
                                            Stream::Feed::tap, "", tap->id});
            device->inputChannels += channels;
        }
        const dispatch::Seconds current = dispatch::now();
        const double delay = std::max(0.0, behaviour.streamDelaySeconds);
        device->inputStreamsAt = behaviour.isInputWithheld ? kNever : current + delay;
        device->outputStreamsAt = behaviour.isOutputWithheld ? kNever : current + delay;
        device->formatUnknownSeconds = std::max(0.0, behaviour.formatUnknownSeconds);
        if (std::isfinite(delay) && delay > 0.0 && !(behaviour.isInputWithheld && behaviour.isOutputWithheld)) {
            appearsAfter = delay;
        }
        device->id = world.allocateID();
        device->io = std::make_shared<DeviceIO>(device->uid);
        newID = device->id;
        uid = device->uid;
        world.devices.push_back(std::move(device));
        outDeviceID = newID;
        world.notify(kAudioObjectSystemObject, kAudioHardwarePropertyDevices);
        notifications = world.takePending();
    }
    World::deliver(std::move(notifications));
    if (appearsAfter) {
        // The streams show up later; listeners of the stream list hear about it then.
        eventQueue_->asyncAfter(*appearsAfter, [weak = weak_from_this(), uid, newID] {
            auto server = weak.lock();
            if (!server) {
                return;
            }
            std::vector<PendingNotification> appeared;
            {
                std::lock_guard lock(server->world_->mutex);
                Device* device = server->world_->device(uid);
                if (device == nullptr || device->id != newID) {
                    return;
                }
                server->world_->notify(newID, kAudioDevicePropertyStreams, kAudioObjectPropertyScopeGlobal);
                appeared = server->world_->takePending();
            }
            World::deliver(std::move(appeared));
        });
    }
    return kAudioHardwareNoError;
}

OSStatus SimulatedServer::destroyAggregateDevice(AudioObjectID deviceID) {
    if (auto status = injectedStatus(Call::destroyAggregateDevice, deviceID, std::nullopt)) {
        return *status;
    }
    std::shared_ptr<DeviceIO> io;
    {
        std::lock_guard lock(world_->mutex);
        Device* device = world_->device(deviceID);
        if (device == nullptr) {
            return kAudioHardwareBadObjectError;
        }
        if (device->kind != Device::Kind::programAggregate) {
            return kAudioHardwareIllegalOperationError;
        }
        io = device->io;
    }
    {
        auto lock = lockIO(*io);
        world_->ioProcCount -= io->procs.size();
        io->procs.clear();
        if (io->timer) {
            io->timer->cancel();
            io->timer.reset();
        }
        io->queue.reset();
    }
    std::vector<PendingNotification> notifications;
    {
        std::lock_guard lock(world_->mutex);
        World& world = *world_;
        std::vector<AudioObjectID> gone{deviceID};
        for (auto& device : world.devices) {
            if (device->id == deviceID && device->kind == Device::Kind::programAggregate) {
                for (const auto& stream : device->inputStreams) {
                    gone.push_back(stream.id);
                }
                for (const auto& stream : device->outputStreams) {
                    gone.push_back(stream.id);
                }
            }
        }
        std::erase_if(world.devices, [deviceID](const std::unique_ptr<Device>& device) {
            return device->id == deviceID && device->kind == Device::Kind::programAggregate;
        });
        for (const AudioObjectID id : gone) {
            dropListeners(world, id);
        }
        world.notify(kAudioObjectSystemObject, kAudioHardwarePropertyDevices);
        notifications = world.takePending();
    }
    World::deliver(std::move(notifications));
    return kAudioHardwareNoError;
}

std::shared_ptr<SimulatedServer::DeviceIO> SimulatedServer::ioOf(AudioObjectID device) const {
    std::lock_guard lock(world_->mutex);
    const Device* found = world_->device(device);
    return found == nullptr ? nullptr : found->io;
}

OSStatus SimulatedServer::createIOProcID(AudioObjectID device, AudioDeviceIOProc proc, void* clientData,
                                         AudioDeviceIOProcID& outProcID) {
    if (auto status = injectedStatus(Call::createIOProcID, device, std::nullopt)) {
        return *status;
    }
    std::shared_ptr<DeviceIO> io = ioOf(device);
    if (!io) {
        return kAudioHardwareBadObjectError;
    }
    AudioDeviceIOProcID id = nullptr;
    {
        std::lock_guard lock(world_->mutex);
        // An opaque token in the procedure's type, as the platform hands out; never called.
        id = reinterpret_cast<AudioDeviceIOProcID>(world_->nextProcToken);
        world_->nextProcToken += 0x10;
    }
    auto lock = lockIO(*io);
    io->procs.push_back({id, proc, clientData, false});
    ++world_->ioProcCount;
    outProcID = id;
    return kAudioHardwareNoError;
}

OSStatus SimulatedServer::destroyIOProcID(AudioObjectID device, AudioDeviceIOProcID procID) {
    if (auto status = injectedStatus(Call::destroyIOProcID, device, std::nullopt)) {
        return *status;
    }
    std::shared_ptr<DeviceIO> io = ioOf(device);
    if (!io) {
        return kAudioHardwareBadObjectError;
    }
    auto lock = lockIO(*io);
    const auto removed = std::erase_if(io->procs, [procID](const IOProcEntry& entry) { return entry.id == procID; });
    if (removed == 0) {
        return kAudioHardwareIllegalOperationError;
    }
    world_->ioProcCount -= removed;
    updateIOLocked(io);
    return kAudioHardwareNoError;
}

OSStatus SimulatedServer::startDevice(AudioObjectID device, AudioDeviceIOProcID procID) {
    if (auto status = injectedStatus(Call::deviceStart, device, std::nullopt)) {
        return *status;
    }
    std::shared_ptr<DeviceIO> io = ioOf(device);
    if (!io) {
        return kAudioHardwareBadObjectError;
    }
    {
        std::lock_guard lock(world_->mutex);
        const Device* found = world_->device(device);
        if (found == nullptr || !found->isAlive) {
            return kAudioHardwareNotRunningError;
        }
    }
    auto lock = lockIO(*io);
    if (procID != nullptr) {
        IOProcEntry* entry = io->entry(procID);
        if (entry == nullptr) {
            return kAudioHardwareIllegalOperationError;
        }
        entry->isStarted = true;
    }
    updateIOLocked(io);
    return kAudioHardwareNoError;
}

OSStatus SimulatedServer::stopDevice(AudioObjectID device, AudioDeviceIOProcID procID) {
    if (auto status = injectedStatus(Call::deviceStop, device, std::nullopt)) {
        return *status;
    }
    std::shared_ptr<DeviceIO> io = ioOf(device);
    if (!io) {
        return kAudioHardwareBadObjectError;
    }
    auto lock = lockIO(*io);
    if (procID != nullptr) {
        IOProcEntry* entry = io->entry(procID);
        if (entry == nullptr) {
            return kAudioHardwareIllegalOperationError;
        }
        entry->isStarted = false;
    }
    updateIOLocked(io);
    return kAudioHardwareNoError;
}

void SimulatedServer::updateAllIO() {
    std::vector<std::shared_ptr<DeviceIO>> ios;
    {
        std::lock_guard lock(world_->mutex);
        for (const auto& device : world_->devices) {
            ios.push_back(device->io);
        }
    }
    for (const auto& io : ios) {
        updateIO(io);
    }
}

void SimulatedServer::updateIO(const std::shared_ptr<DeviceIO>& io) {
    auto lock = lockIO(*io);
    updateIOLocked(io);
}

void SimulatedServer::updateIOLocked(const std::shared_ptr<DeviceIO>& io) {
    bool shouldRun = false;
    double sampleRate = 48000.0;
    UInt32 frames = 512;
    {
        std::lock_guard lock(world_->mutex);
        Device* device = world_->device(io->uid);
        if (device != nullptr && device->io == io) {
            const bool isUsable = device->isListed() && device->isAlive;
            device->isIORunning = isUsable && io->hasStartedProc();
            shouldRun = isUsable && (io->hasStartedProc() || device->observers > 0);
            sampleRate = device->sampleRate;
            frames = device->bufferFrameSize;
        }
    }
    if (shouldRun && !io->timer) {
        io->queue = dispatch::DispatchQueue::create("sim.io." + io->uid);
        io->nextFrame = std::llround((dispatch::now() - startTime_) * sampleRate);
        const double interval = static_cast<double>(frames) / sampleRate;
        io->startedAt = dispatch::now();
        io->interval = interval;
        io->cyclesSinceStart = 0;
        io->timer = dispatch::DispatchSourceTimer::create(io->queue);
        io->timer->setEventHandler([weakServer = weak_from_this(), weakIO = std::weak_ptr<DeviceIO>(io)] {
            auto server = weakServer.lock();
            auto device = weakIO.lock();
            if (server && device) {
                server->runCycle(device);
            }
        });
        io->timer->schedule(interval, interval);
        io->timer->resume();
        return;
    }
    if (!shouldRun && io->timer) {
        // The queue goes with the timer, so an idle device keeps no IO thread.
        io->timer->cancel();
        io->timer.reset();
        io->queue.reset();
    }
}

void SimulatedServer::runCycle(const std::shared_ptr<DeviceIO>& io) {
    std::lock_guard ioLock(io->mutex);
    const DeviceIO* outer = std::exchange(cycleIO, io.get());
    // A device's clock does not wait for a late IO thread: cycles the thread
    // missed are run back to back, up to a bound.
    const auto due = static_cast<std::uint64_t>(std::floor((dispatch::now() - io->startedAt) / io->interval + 1e-6));
    const std::uint64_t behind = due > io->cyclesSinceStart ? due - io->cyclesSinceStart : 1;
    for (std::uint64_t i = 0; i < std::min<std::uint64_t>(behind, kMaxCatchUpCycles) && io->timer; ++i) {
        ++io->cyclesSinceStart;
        renderCycle(io);
    }
    io->cyclesSinceStart = std::max(io->cyclesSinceStart, due);
    cycleIO = outer;
}

void SimulatedServer::renderCycle(const std::shared_ptr<DeviceIO>& io) {
    CyclePlan& plan = io->plan;
    bool isPlayable = false;
    {
        std::lock_guard lock(world_->mutex);
        Device* device = world_->device(io->uid);
        if (device != nullptr && device->io == io && device->isAlive) {
            world_->planCycle(*device, io->procs, plan, dispatch::now());
            isPlayable = true;
        }
    }
    const std::int64_t frame = io->nextFrame;
    io->nextFrame += plan.frames;
    io->cycles.fetch_add(1, std::memory_order_relaxed);
    if (!isPlayable) {
        return;
    }
    io->render(frame);
}

}  // namespace sim
