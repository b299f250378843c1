#include "reconcile/RouteReconciler.h"

#include <algorithm>
#include <utility>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/Weakly.h"

namespace tonvale {
namespace {

// What the route plays the app at: silence when muted, otherwise the volume within 0...1
// (not a number is silence, as the stored document reads it).
float gainOf(const AppAudioConfiguration& configuration) {
    if (configuration.muted || !(configuration.volume > 0.0F)) {
        return 0.0F;
    }
    return std::min(configuration.volume, 1.0F);
}

bool hasOutputProcess(const LogicalAppProcessGroup& group) {
    return std::any_of(group.processes.begin(), group.processes.end(),
                       [](const AudioProcessInfo& process) { return process.isRunningOutput; });
}

// Groups of one bundle identifier become one: the first group's identity, and the
// processes of both by object identifier (the later entry wins), ascending.
std::map<std::string, LogicalAppProcessGroup> groupsByBundleID(const std::vector<LogicalAppProcessGroup>& groups) {
    std::map<std::string, LogicalAppProcessGroup> byBundleID;
    for (const LogicalAppProcessGroup& group : groups) {
        const auto [entry, isNew] = byBundleID.try_emplace(group.identity.bundleID, group);
        if (isNew) {
            continue;
        }
        std::map<AudioObjectID, AudioProcessInfo> processes;
        for (AudioProcessInfo& process : entry->second.processes) {
            processes.insert_or_assign(process.objectID, std::move(process));
        }
        for (const AudioProcessInfo& process : group.processes) {
            processes.insert_or_assign(process.objectID, process);
        }
        entry->second.processes.clear();
        for (auto& [objectID, process] : processes) {
            entry->second.processes.push_back(std::move(process));
        }
    }
    return byBundleID;
}

template <typename Map>
std::vector<std::string> keysOf(const Map& map) {
    std::vector<std::string> keys;
    keys.reserve(map.size());
    for (const auto& entry : map) {
        keys.push_back(entry.first);
    }
    return keys;
}

void onMainQueue(std::function<void()> work) { dispatch::DispatchQueue::main()->async(std::move(work)); }

}  // namespace

std::shared_ptr<RouteReconciler> RouteReconciler::create(EngineFactory engineFactory,
                                                         dispatch::Seconds healthInterval) {
    return std::make_shared<RouteReconciler>(std::move(engineFactory), healthInterval, Passkey{});
}

RouteReconciler::RouteReconciler(EngineFactory engineFactory, dispatch::Seconds healthInterval, Passkey)
    : engineFactory_(std::move(engineFactory)), healthInterval_(healthInterval) {}

RouteReconciler::~RouteReconciler() {
    if (watchdog_) {
        watchdog_->cancel();
    }
    // The engines go with the route map; each tears its route down when released.
    for (const auto& [bundleID, route] : routes_) {
        route.engine->stop(nullptr);
    }
}

// Input updates.

void RouteReconciler::updateProfiles(const ProfileMap& profiles) {
    profiles_ = profiles;
    for (const auto& [bundleID, profile] : profiles_) {
        unblock(bundleID);
    }
    for (const std::string& bundleID : keysOf(statuses())) {
        if (profiles_.contains(bundleID)) {
            continue;
        }
        // A teardown under way would otherwise bring back the status of an app that
        // no longer has a profile when it finishes.
        if (stoppingBundleIDs_.contains(bundleID)) {
            takeNextGeneration(bundleID);
        }
        stopRoute(bundleID, std::nullopt, nullptr);
    }
    reconcileAll();
}

void RouteReconciler::updateProfile(const AppProfile& profile) {
    profiles_.insert_or_assign(profile.bundleID, profile);
    unblock(profile.bundleID);
    reconcile(profile.bundleID);
}

void RouteReconciler::updateProcessGroups(const std::vector<LogicalAppProcessGroup>& groups) {
    processGroups_ = groupsByBundleID(groups);
    unblockAfterEvent();
    reconcileAll();
}

void RouteReconciler::updateDeviceSnapshot(AudioDeviceSnapshot snapshot) {
    setDeviceSnapshot(std::move(snapshot));
    // A stalled destination whose entry or the default output changed may work again.
    std::erase_if(stalledDestinations_,
                  [this](const auto& entry) { return entry.second != stalledDestination(entry.second.uid); });
    unblockAfterEvent();
    reconcileAll();
}

void RouteReconciler::retryBlockedRoutes() {
    unblockAll();
    reconcileAll();
}

void RouteReconciler::stopAll() {
    // Teardowns already under way then apply no status and run no completion.
    for (const std::string& bundleID : stoppingBundleIDs_) {
        takeNextGeneration(bundleID);
    }
    pendingReconciliation_.clear();
    for (const std::string& bundleID : keysOf(routes_)) {
        stopRoute(bundleID, std::nullopt, nullptr);
    }
    replaceStatuses({});
    updateWatchdog();
}

void RouteReconciler::resetObservedState() {
    stopAll();
    processGroups_.clear();
    setDeviceSnapshot({});
    unblockAll();
    reconcileAll();
}

void RouteReconciler::setDeviceSnapshot(AudioDeviceSnapshot snapshot) {
    deviceSnapshot_ = std::move(snapshot);
    const std::optional<AudioDeviceInfo> defaultDevice = deviceSnapshot_.defaultOutputDevice();
    const std::vector<AudioDeviceInfo> outputs = deviceSnapshot_.outputDevices();
    defaultDeviceUID_.reset();
    defaultDestinationUID_.reset();
    if (defaultDevice) {
        defaultDeviceUID_ = defaultDevice->uid;
        if (std::find(outputs.begin(), outputs.end(), *defaultDevice) != outputs.end()) {
            defaultDestinationUID_ = defaultDevice->uid;
        }
    }
    outputDeviceUIDs_.clear();
    for (const AudioDeviceInfo& device : outputs) {
        outputDeviceUIDs_.push_back(device.uid);
    }
}

// Reconciling.

void RouteReconciler::reconcileAll() {
    // Keys first: reconciling may call out (status observers) and come back.
    for (const std::string& bundleID : keysOf(profiles_)) {
        reconcile(bundleID);
    }
    updateWatchdog();
}

void RouteReconciler::reconcile(const std::string& bundleID) {
    if (stoppingBundleIDs_.contains(bundleID)) {
        pendingReconciliation_.insert(bundleID);
        return;
    }
    const auto profile = profiles_.find(bundleID);
    if (profile == profiles_.end()) {
        stopRoute(bundleID, std::nullopt, nullptr);
        return;
    }
    const AppAudioConfiguration configuration = profile->second.defaultConfiguration;
    if (!configuration.isCustomized()) {
        stopRoute(bundleID, RouteStatus::bypassed(configuration.output), nullptr);
        return;
    }
    const auto group = processGroups_.find(bundleID);
    std::vector<AudioObjectID> processIDs;
    if (group != processGroups_.end()) {
        processIDs = group->second.activeProcessObjectIDs();
    }
    if (processIDs.empty()) {
        stopRoute(bundleID, RouteStatus::waitingForProcess(configuration.output), nullptr);
        return;
    }
    std::optional<std::string> destinationUID = resolveDestination(configuration.output);
    if (!destinationUID) {
        stopRoute(bundleID, RouteStatus::waitingForPreferredDevice(configuration.output, defaultDeviceUID_), nullptr);
        return;
    }
    if (retryBlockedUntilEvent_.contains(bundleID)) {
        // A stall's block outlives events, so the app may have stopped and started playing
        // since it failed: its row still says why it is not routed.
        if (stalledDestinations_.contains(bundleID)) {
            storeStatus(bundleID, RouteStatus::failedRecoverable(configuration.output, defaultDeviceUID_,
                                                                 RouteStatus::kHeartbeatStalledMessage));
        }
        return;
    }
    const auto route = routes_.find(bundleID);
    if (route == routes_.end()) {
        startRoute(bundleID, std::move(processIDs), std::move(*destinationUID), configuration);
        return;
    }
    // A route whose callbacks stopped at its last check keeps its processes until the health
    // check has decided: a new route's first callbacks would hide the stall, and an app
    // whose processes keep changing would stay silent on a destination that stalls.
    const auto health = healthRecords_.find(bundleID);
    const bool isStallSuspected = health != healthRecords_.end() && health->second.stagnantChecks > 0;
    if ((route->second.processIDs != processIDs && !isStallSuspected) ||
        route->second.destinationUID != *destinationUID) {
        stopRoute(bundleID, std::nullopt,
                  dispatch::weakly(weak_from_this(), [bundleID](RouteReconciler& self) { self.reconcile(bundleID); }));
        return;
    }
    route->second.engine->setGain(gainOf(configuration));
    // A route still starting keeps that status until its start result arrives.
    const auto status = statuses().find(bundleID);
    if (status != statuses().end() && status->second.phase == RouteLifecyclePhase::starting) {
        return;
    }
    storeStatus(bundleID, RouteStatus::active(configuration.output, std::move(*destinationUID)));
}

std::optional<std::string> RouteReconciler::resolveDestination(const OutputPreference& output) const {
    const OutputPreference::Device* device = output.selectedDevice();
    if (device == nullptr) {
        return defaultDestinationUID_;
    }
    if (std::find(outputDeviceUIDs_.begin(), outputDeviceUIDs_.end(), device->uid) == outputDeviceUIDs_.end()) {
        return std::nullopt;
    }
    return device->uid;
}

std::int64_t RouteReconciler::generation(const std::string& bundleID) const {
    const auto found = generations_.find(bundleID);
    return found == generations_.end() ? 0 : found->second;
}

std::int64_t RouteReconciler::takeNextGeneration(const std::string& bundleID) { return ++generations_[bundleID]; }

OutputPreference RouteReconciler::profileOutput(const std::string& bundleID, const OutputPreference& fallback) const {
    const auto profile = profiles_.find(bundleID);
    return profile == profiles_.end() ? fallback : profile->second.defaultConfiguration.output;
}

// Starting and stopping routes.

void RouteReconciler::startRoute(const std::string& bundleID, std::vector<AudioObjectID> processIDs,
                                 std::string destinationUID, const AppAudioConfiguration& configuration) {
    const std::int64_t startGeneration = takeNextGeneration(bundleID);
    std::shared_ptr<AudioRouteEngine> engine = engineFactory_();
    routes_.insert_or_assign(bundleID, ManagedRoute{engine, processIDs, destinationUID, startGeneration});
    storeStatus(bundleID, RouteStatus::starting(configuration.output, destinationUID));
    // The completion keeps the engine alive until the result has been handled, so a
    // failed start can still be told to stop.
    auto completion = [weak = weak_from_this(), engine, bundleID, startGeneration, output = configuration.output,
                       destinationUID](RouteStartResult result) mutable {
        onMainQueue([weak = std::move(weak), engine = std::move(engine), bundleID = std::move(bundleID),
                     startGeneration, output = std::move(output), destinationUID = std::move(destinationUID),
                     result = std::move(result)] {
            if (const auto self = weak.lock()) {
                self->handleStartResult(bundleID, startGeneration, output, destinationUID, *engine, result);
            }
        });
    };
    engine->start(std::move(processIDs), destinationUID, gainOf(configuration), std::move(completion));
}

void RouteReconciler::handleStartResult(const std::string& bundleID, std::int64_t startGeneration,
                                        const OutputPreference& output, const std::string& destinationUID,
                                        AudioRouteEngine& engine, const RouteStartResult& result) {
    if (generation(bundleID) != startGeneration) {
        return;
    }
    // The profile's output now, not the one at the start: a change of the preference that
    // kept the destination kept the route too.
    const OutputPreference preferredOutput = profileOutput(bundleID, output);
    if (result.isSuccess()) {
        healthRecords_.insert_or_assign(bundleID, HealthRecord{});
        storeStatus(bundleID, RouteStatus::active(preferredOutput, destinationUID));
    } else {
        engine.stop(nullptr);
        routes_.erase(bundleID);
        retryBlockedUntilEvent_.insert(bundleID);
        storeStatus(bundleID,
                    RouteStatus::failedRecoverable(preferredOutput, defaultDeviceUID_, result.error().description()));
    }
    updateWatchdog();
}

void RouteReconciler::stopRoute(const std::string& bundleID, std::optional<RouteStatus> finalStatus,
                                Completion completion) {
    auto route = routes_.extract(bundleID);
    if (route.empty()) {
        if (finalStatus) {
            storeStatus(bundleID, std::move(*finalStatus));
        } else {
            removeStatus(bundleID);
        }
        if (completion) {
            completion();
        }
        updateWatchdog();
        return;
    }
    const std::int64_t stopGeneration = takeNextGeneration(bundleID);
    stoppingBundleIDs_.insert(bundleID);
    healthRecords_.erase(bundleID);
    storeStatus(bundleID,
                RouteStatus::stopping(finalStatus ? finalStatus->preferredOutput
                                                  : profileOutput(bundleID, OutputPreference::systemDefault())));
    // The completion keeps the engine too, so that its teardown runs on its own queue
    // rather than in a release on the main thread.
    std::shared_ptr<AudioRouteEngine> engine = std::move(route.mapped().engine);
    engine->stop([weak = weak_from_this(), engine, bundleID, stopGeneration, finalStatus = std::move(finalStatus),
                  completion = std::move(completion)]() mutable {
        onMainQueue([weak = std::move(weak), engine = std::move(engine), bundleID = std::move(bundleID), stopGeneration,
                     finalStatus = std::move(finalStatus), completion = std::move(completion)] {
            if (const auto self = weak.lock()) {
                self->handleFinishedTeardown(bundleID, stopGeneration, finalStatus, completion);
            }
        });
    });
}

void RouteReconciler::handleFinishedTeardown(const std::string& bundleID, std::int64_t stopGeneration,
                                             std::optional<RouteStatus> finalStatus, const Completion& completion) {
    stoppingBundleIDs_.erase(bundleID);
    if (generation(bundleID) == stopGeneration) {
        if (finalStatus) {
            storeStatus(bundleID, std::move(*finalStatus));
        } else {
            removeStatus(bundleID);
        }
        if (completion) {
            completion();
        }
    }
    if (pendingReconciliation_.erase(bundleID) > 0) {
        reconcile(bundleID);
    }
    // Once a rebuild's new route has started, so that the health checks keep their rhythm.
    updateWatchdog();
}

void RouteReconciler::failRoute(const std::string& bundleID, const std::string& message,
                                const std::optional<std::string>& stalledDestinationUID) {
    const auto profile = profiles_.find(bundleID);
    if (profile == profiles_.end()) {
        return;
    }
    retryBlockedUntilEvent_.insert(bundleID);
    if (stalledDestinationUID) {
        stalledDestinations_.insert_or_assign(bundleID, stalledDestination(*stalledDestinationUID));
    }
    stopRoute(bundleID,
              RouteStatus::failedRecoverable(profile->second.defaultConfiguration.output, defaultDeviceUID_, message),
              nullptr);
}

RouteReconciler::StalledDestination RouteReconciler::stalledDestination(const std::string& uid) const {
    const auto& devices = deviceSnapshot_.devices;
    const auto device =
        std::find_if(devices.begin(), devices.end(), [&uid](const AudioDeviceInfo& entry) { return entry.uid == uid; });
    return StalledDestination{uid, device == devices.end() ? std::nullopt : std::optional(*device),
                              deviceSnapshot_.defaultOutputID};
}

void RouteReconciler::unblock(const std::string& bundleID) {
    retryBlockedUntilEvent_.erase(bundleID);
    stalledDestinations_.erase(bundleID);
}

void RouteReconciler::unblockAll() {
    retryBlockedUntilEvent_.clear();
    stalledDestinations_.clear();
}

void RouteReconciler::unblockAfterEvent() {
    std::erase_if(retryBlockedUntilEvent_,
                  [this](const std::string& bundleID) { return !stalledDestinations_.contains(bundleID); });
}

void RouteReconciler::collectRouteSnapshots(RouteSnapshotsCompletion completion) {
    if (routes_.empty()) {
        completion({});
        return;
    }
    struct Collection {
        RouteSnapshots snapshots;
        std::size_t outstanding = 0;
        RouteSnapshotsCompletion completion;
    };
    auto collection = std::make_shared<Collection>(Collection{{}, routes_.size(), std::move(completion)});
    for (const auto& [bundleID, route] : routes_) {
        route.engine->snapshot([collection, app = bundleID](AudioRouteSnapshot snapshot) {
            onMainQueue([collection, app, snapshot = std::move(snapshot)]() mutable {
                collection->snapshots.insert_or_assign(app, std::move(snapshot));
                if (--collection->outstanding == 0 && collection->completion) {
                    collection->completion(std::move(collection->snapshots));
                }
            });
        });
    }
}

// Statuses.

void RouteReconciler::storeStatus(const std::string& bundleID, RouteStatus status) {
    const auto stored = statuses().find(bundleID);
    if (stored != statuses().end() && stored->second == status) {
        return;
    }
    statuses_.modify([&](StatusMap& map) { map.insert_or_assign(bundleID, std::move(status)); });
    notifyStatusesChanged();
}

void RouteReconciler::removeStatus(const std::string& bundleID) {
    if (!statuses().contains(bundleID)) {
        return;
    }
    statuses_.modify([&](StatusMap& map) { map.erase(bundleID); });
    notifyStatusesChanged();
}

void RouteReconciler::replaceStatuses(StatusMap statuses) {
    if (statuses == statuses_.value()) {
        return;
    }
    statuses_.set(std::move(statuses));
    notifyStatusesChanged();
}

void RouteReconciler::notifyStatusesChanged() {
    if (!onStatusesChanged_) {
        return;
    }
    // A copy, so that the handler may replace itself.
    const StatusesChangedHandler handler = onStatusesChanged_;
    handler(statuses());
}

// Health.

void RouteReconciler::updateWatchdog() {
    if (routes_.empty() && stoppingBundleIDs_.empty()) {
        if (watchdog_) {
            watchdog_->cancel();
            watchdog_.reset();
        }
        return;
    }
    if (watchdog_) {
        return;
    }
    watchdog_ = dispatch::DispatchSourceTimer::create(dispatch::DispatchQueue::main());
    watchdog_->schedule(healthInterval_, healthInterval_);
    watchdog_->setEventHandler(
        dispatch::weakly(weak_from_this(), [](RouteReconciler& self) { self.checkRouteHealth(); }));
    watchdog_->resume();
}

void RouteReconciler::checkRouteHealth() {
    for (const auto& [bundleID, route] : routes_) {
        const auto status = statuses().find(bundleID);
        if (status == statuses().end() || status->second.phase != RouteLifecyclePhase::active) {
            continue;
        }
        route.engine->snapshot(
            [weak = weak_from_this(), app = bundleID, routeGeneration = route.generation](AudioRouteSnapshot snapshot) {
                onMainQueue([weak, app, routeGeneration, snapshot = std::move(snapshot)] {
                    if (const auto self = weak.lock()) {
                        self->evaluateHealth(app, routeGeneration, snapshot);
                    }
                });
            });
    }
}

void RouteReconciler::evaluateHealth(const std::string& bundleID, std::int64_t routeGeneration,
                                     const AudioRouteSnapshot& snapshot) {
    // Only the route that was asked: an answer from an engine since replaced says nothing
    // about its successor.
    const auto route = routes_.find(bundleID);
    if (route == routes_.end() || route->second.generation != generation(bundleID) ||
        route->second.generation != routeGeneration) {
        return;
    }
    if (!snapshot.isActive) {
        failRoute(bundleID, RouteStatus::kEngineStoppedMessage);
        return;
    }
    const auto group = processGroups_.find(bundleID);
    const bool hasOutput = group != processGroups_.end() && hasOutputProcess(group->second);
    const auto record = healthRecords_.find(bundleID);
    const HealthRecord previous = record == healthRecords_.end() ? HealthRecord{} : record->second;
    const int stagnantChecks =
        hasOutput && snapshot.callbackCount == previous.callbackCount ? previous.stagnantChecks + 1 : 0;
    healthRecords_.insert_or_assign(bundleID, HealthRecord{snapshot.callbackCount, stagnantChecks});
    if (stagnantChecks >= kStallThreshold) {
        failRoute(bundleID, RouteStatus::kHeartbeatStalledMessage, route->second.destinationUID);
        return;
    }
    // The route was alive after all: a change of processes it was held through applies now.
    if (stagnantChecks == 0 && previous.stagnantChecks > 0) {
        reconcile(bundleID);
    }
}

}  // namespace tonvale
