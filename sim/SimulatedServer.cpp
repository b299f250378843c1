#include "sim/SimulatedServer.h"

#include "audioserver/PropertyAccess.h"
#include "sim/AggregateDevices.h"
#include "sim/IOProcedures.h"
#include "sim/ProcessTaps.h"
#include "sim/PropertyWrites.h"
#include "sim/ReadBack.h"
#include "sim/TimelinePlayer.h"
#include "sim/World.h"
#include "sim/WorldBuilder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <utility>

namespace sim {

namespace {

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

}  // namespace

SimulatedServer::SimulatedServer(const Scenario& scenario, const ServerOptions& options, Parts parts)
    : WorldControl(parts.world, parts.io, parts.workspace),
      startTime_(parts.startTime),
      world_(std::move(parts.world)),
      eventQueue_(dispatch::DispatchQueue::create("sim.events")),
      faults_(std::make_shared<FaultInjection>()),
      io_(std::move(parts.io)),
      workspace_(std::move(parts.workspace)),
      properties_(std::make_unique<audioserver::PropertyAccess>(world_)),
      writes_(std::make_unique<PropertyWrites>(world_)),
      taps_(std::make_unique<ProcessTaps>(world_, faults_)),
      aggregates_(std::make_unique<AggregateDevices>(world_, faults_, io_, eventQueue_)),
      readBack_(std::make_unique<ReadBack>(world_, io_, startTime_)),
      timeline_(std::make_unique<TimelinePlayer>(eventQueue_)) {
    buildWorld(*world_, scenario, options.readBackSeconds, options.recordingFolder, bundles_);
}

std::shared_ptr<SimulatedServer> SimulatedServer::create(const Scenario& scenario, ServerOptions options) {
    Parts parts;
    parts.startTime = dispatch::now();
    parts.world = std::make_shared<World>();
    parts.io = std::make_shared<IOProcedures>(parts.world, parts.startTime);
    parts.workspace = std::make_shared<SimulatedWorkspace>(parts.world);
    std::shared_ptr<SimulatedServer> server(new SimulatedServer(scenario, options, std::move(parts)));
    {
        std::lock_guard lock(currentMutex());
        currentServer() = server;
    }
    AudioHardwareInstallService(server);
    appkit::WorkspaceInstallService(server->workspace_);
    server->timeline_->schedule(scenario.timeline, server);
    server->io_->updateAll();
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
    {
        std::lock_guard lock(world_->mutex);
        world_->listeners.silenceAll();
    }
    io_->endAll();
    readBack_->finishRecordings();
}

template <typename Perform>
OSStatus SimulatedServer::answer(Call call, AudioObjectID object, std::optional<AudioObjectPropertySelector> selector,
                                 Perform&& perform) {
    const std::optional<OSStatus> injected = faults_->statusFor(call, object, selector);
    const OSStatus status = injected ? *injected : perform();
    calls_.record({call, object, status});
    return status;
}

template <typename Perform>
OSStatus SimulatedServer::answerCreation(Call call, AudioObjectID& created, Perform&& perform) {
    const std::optional<OSStatus> injected = faults_->statusFor(call, kAudioObjectSystemObject, std::nullopt);
    const OSStatus status = injected ? *injected : perform();
    calls_.record({call, status == kAudioHardwareNoError ? created : AudioObjectID{0}, status});
    return status;
}

void SimulatedServer::injectFailure(InjectedFailure failure) { faults_->inject(failure); }
void SimulatedServer::clearInjectedFailures() { faults_->clear(); }

void SimulatedServer::setCaptureDenial(CaptureDenial denial, OSStatus refusal) {
    faults_->setCapture({denial, refusal});
}

void SimulatedServer::setAggregateBehaviour(AggregateBehaviour behaviour) { faults_->setAggregateBehaviour(behaviour); }

bool SimulatedServer::startObserving(const std::string& uid) { return readBack_->startObserving(uid); }
bool SimulatedServer::stopObserving(const std::string& uid) { return readBack_->stopObserving(uid); }

PlayedAudio SimulatedServer::played(const std::string& uid, dispatch::Seconds from, dispatch::Seconds to) const {
    return readBack_->played(uid, from, to);
}

std::size_t SimulatedServer::tapCount() const {
    std::lock_guard lock(world_->mutex);
    return world_->taps.size();
}

std::size_t SimulatedServer::aggregateDeviceCount() const {
    std::lock_guard lock(world_->mutex);
    return static_cast<std::size_t>(
        std::count_if(world_->devices.begin(), world_->devices.end(),
                      [](const auto& device) { return device->kind == Device::Kind::programAggregate; }));
}

std::size_t SimulatedServer::ioProcCount() const { return io_->procedureCount(); }

std::size_t SimulatedServer::listenerCount() const {
    std::lock_guard lock(world_->mutex);
    return world_->listeners.count();
}

std::size_t SimulatedServer::runningIOCount() const { return io_->runningCount(); }
std::uint64_t SimulatedServer::ioCycleCount(const std::string& uid) const { return io_->cycleCount(uid); }

std::vector<LoggedCall> SimulatedServer::callLog() const { return calls_.calls(); }

std::vector<appkit::RunningApplication> SimulatedServer::runningApplications() const {
    return workspace_->runningApplications();
}

std::optional<std::filesystem::path> SimulatedServer::applicationURL(const std::string& bundleID) const {
    return workspace_->URLForApplicationWithBundleIdentifier(bundleID);
}

std::uint64_t SimulatedServer::addWorkspaceObserver(WorkspaceNotification notification, std::function<void()> block) {
    return workspace_->addObserver(notification, std::move(block));
}

void SimulatedServer::removeWorkspaceObserver(std::uint64_t token) { workspace_->removeObserver(token); }
std::size_t SimulatedServer::workspaceObserverCount() const { return workspace_->observerCount(); }

Boolean SimulatedServer::hasProperty(AudioObjectID object, const AudioObjectPropertyAddress& address) {
    return properties_->has(object, address);
}

OSStatus SimulatedServer::getPropertyDataSize(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                              UInt32& outDataSize) {
    return answer(Call::getPropertyDataSize, object, address.mSelector,
                  [&] { return properties_->size(object, address, outDataSize); });
}

OSStatus SimulatedServer::getPropertyData(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                          UInt32& ioDataSize, void* outData) {
    return answer(Call::getPropertyData, object, address.mSelector,
                  [&] { return properties_->get(object, address, ioDataSize, outData); });
}

OSStatus SimulatedServer::setPropertyData(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                          UInt32 dataSize, const void* data) {
    return answer(Call::setPropertyData, object, address.mSelector,
                  [&] { return writes_->set(object, address, dataSize, data); });
}

OSStatus SimulatedServer::addPropertyListenerBlock(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                                   dispatch::QueuePtr queue,
                                                   AudioObjectPropertyListenerBlock listener) {
    return answer(Call::addPropertyListener, object, address.mSelector,
                  [&] { return properties_->addListener(object, address, std::move(queue), std::move(listener)); });
}

OSStatus SimulatedServer::removePropertyListenerBlock(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                                      dispatch::QueuePtr,
                                                      const AudioObjectPropertyListenerBlock& listener) {
    return answer(Call::removePropertyListener, object, address.mSelector,
                  [&] { return properties_->removeListener(object, address, listener); });
}

OSStatus SimulatedServer::createProcessTap(const CATapDescription& description, AudioObjectID& outTapID) {
    return answerCreation(Call::createProcessTap, outTapID, [&] { return taps_->create(description, outTapID); });
}

OSStatus SimulatedServer::destroyProcessTap(AudioObjectID tapID) {
    return answer(Call::destroyProcessTap, tapID, std::nullopt, [&] { return taps_->destroy(tapID); });
}

OSStatus SimulatedServer::createAggregateDevice(CFDictionaryRef description, AudioObjectID& outDeviceID) {
    return answerCreation(Call::createAggregateDevice, outDeviceID,
                          [&] { return aggregates_->create(description, outDeviceID); });
}

OSStatus SimulatedServer::destroyAggregateDevice(AudioObjectID deviceID) {
    return answer(Call::destroyAggregateDevice, deviceID, std::nullopt, [&] { return aggregates_->destroy(deviceID); });
}

OSStatus SimulatedServer::createIOProcID(AudioObjectID device, AudioDeviceIOProc proc, void* clientData,
                                         AudioDeviceIOProcID& outProcID) {
    return answer(Call::createIOProcID, device, std::nullopt,
                  [&] { return io_->create(device, proc, clientData, outProcID); });
}

OSStatus SimulatedServer::destroyIOProcID(AudioObjectID device, AudioDeviceIOProcID procID) {
    return answer(Call::destroyIOProcID, device, std::nullopt, [&] { return io_->destroy(device, procID); });
}

OSStatus SimulatedServer::startDevice(AudioObjectID device, AudioDeviceIOProcID procID) {
    return answer(Call::deviceStart, device, std::nullopt, [&] { return io_->start(device, procID); });
}

OSStatus SimulatedServer::stopDevice(AudioObjectID device, AudioDeviceIOProcID procID) {
    return answer(Call::deviceStop, device, std::nullopt, [&] { return io_->stop(device, procID); });
}

}  // namespace sim
