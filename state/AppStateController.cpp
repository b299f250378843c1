#include "state/AppStateController.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <iterator>
#include <string_view>
#include <utility>

#include "platform/appkit/Pasteboard.h"
#include "platform/appkit/Workspace.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/Weakly.h"
#include "platform/foundation/LocalizedCaseInsensitiveCompare.h"
#include "platform/foundation/ProcessInfo.h"
#include "state/DiagnosticsReport.h"
#include "state/SystemAudioSettingsLink.h"

namespace tonvale {
namespace {

// What a failed route's message says when the platform refused audio capture.
constexpr std::array<std::string_view, 4> kMissingCapturePermissionFragments{"permission", "not permitted", "'perm'",
                                                                             "(-54)"};

std::string lowercased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Rows sort by the first class they qualify for.
int rowClass(const AppRowState& row) {
    if (row.isFavorite) {
        return 0;
    }
    if (row.isConfigured) {
        return 1;
    }
    return row.isRunningOutput ? 2 : 3;
}

}  // namespace

std::shared_ptr<AppStateController> AppStateController::create(Collaborators collaborators) {
    auto controller = std::make_shared<AppStateController>(std::move(collaborators), Passkey{});
    controller->reconciler_->setOnStatusesChanged([weak = controller->weak_from_this()](const StatusMap&) {
        if (const auto self = weak.lock()) {
            self->announceRouteStatusesChanged();
        }
    });
    controller->reconciler_->updateProfiles(controller->persistedState().appProfiles);
    controller->loginItemStatus_.set(controller->loginItemService_->status());
    return controller;
}

AppStateController::AppStateController(Collaborators collaborators, Passkey)
    : persistence_(std::move(collaborators.persistence)),
      resolver_(std::move(collaborators.resolver)),
      deviceMonitor_(std::move(collaborators.deviceMonitor)),
      processMonitor_(std::move(collaborators.processMonitor)),
      reconciler_(std::move(collaborators.reconciler)),
      loginItemService_(std::move(collaborators.loginItemService)),
      lifecycleMonitor_(std::move(collaborators.lifecycleMonitor)),
      lifecycleRecoveryDelay_(collaborators.lifecycleRecoveryDelay),
      defaultInputSetter_(std::move(collaborators.defaultInputSetter)) {
    PersistenceResult<PersistedStateV1> loaded = persistence_->load();
    if (loaded) {
        persistedState_.set(std::move(loaded).value());
    } else {
        lastError_.set(loaded.error().localizedDescription());
    }
}

AppStateController::~AppStateController() {
    for (const auto& workItem : {lifecycleRecoveryWorkItem_, recentExpiryWorkItem_, persistenceWorkItem_}) {
        if (workItem) {
            workItem->cancel();
        }
    }
    deviceMonitor_->stop();
    processMonitor_->stop();
    lifecycleMonitor_->stop();
}

combine::AnyCancellable AppStateController::observeChanges(std::function<void()> onChanged) {
    struct Observer {
        std::function<void()> onChanged;
        bool isPending = false;
    };
    auto observer = std::make_shared<Observer>(Observer{std::move(onChanged)});
    // The subscription owns the observer; the pending call only looks at it, so a cancelled
    // observation is not called back.
    return objectWillChange().sink([observer] {
        if (std::exchange(observer->isPending, true)) {
            return;
        }
        dispatch::DispatchQueue::main()->async([weakObserver = std::weak_ptr<Observer>(observer)] {
            if (const auto pending = weakObserver.lock()) {
                pending->isPending = false;
                pending->onChanged();
            }
        });
    });
}

// Fields the interface writes.

void AppStateController::setLastError(std::optional<std::string> message) { lastError_.set(std::move(message)); }

void AppStateController::setNoticeMessage(std::optional<std::string> message) {
    noticeMessage_.set(std::move(message));
}

void AppStateController::setLoginItemStatus(LoginItemStatus status) { loginItemStatus_.set(std::move(status)); }

void AppStateController::announceRouteStatusesChanged() {
    routeStatusesRevision_.set(routeStatusesRevision_.value() + 1);
}

// Derived values.

std::vector<AppRowState> AppStateController::rows() const {
    const PersistedStateV1& state = persistedState();
    std::map<std::string_view, const LogicalAppProcessGroup*> groups;
    for (const LogicalAppProcessGroup& group : logicalApps()) {
        groups.try_emplace(group.identity.bundleID, &group);  // the first group of an app
    }
    std::set<std::string> shown(state.favoriteBundleIDs);
    for (const auto& [bundleID, profile] : state.appProfiles) {
        if (profile.defaultConfiguration.isCustomized()) {
            shown.insert(bundleID);
        }
    }
    shown.insert(activeBundleIDs_.begin(), activeBundleIDs_.end());
    shown.insert(recentlyActiveBundleIDs().begin(), recentlyActiveBundleIDs().end());

    std::vector<AppRowState> rows;
    rows.reserve(shown.size());
    for (const std::string& bundleID : shown) {
        const auto profile = state.appProfiles.find(bundleID);
        const bool hasProfile = profile != state.appProfiles.end();
        AppRowState row;
        if (const auto group = groups.find(bundleID); group != groups.end()) {
            row.identity = group->second->identity;
        } else if (const auto known = knownIdentities_.find(bundleID); known != knownIdentities_.end()) {
            row.identity = known->second;
        } else if (hasProfile) {
            row.identity = AppIdentity{profile->second.bundleID, profile->second.displayName};
        } else {
            continue;
        }
        row.configuration = hasProfile ? profile->second.defaultConfiguration : AppAudioConfiguration::neutral();
        row.isFavorite = state.favoriteBundleIDs.contains(bundleID);
        row.isConfigured = row.configuration.isCustomized();
        row.isRunningOutput = activeBundleIDs_.contains(bundleID);
        row.isRecent = recentlyActiveBundleIDs().contains(bundleID);
        if (const auto status = routeStatuses().find(bundleID); status != routeStatuses().end()) {
            row.routeStatus = status->second;
        }
        rows.push_back(std::move(row));
    }
    // Stable over the bundle identifiers' order, so equal names keep a fixed order.
    std::stable_sort(rows.begin(), rows.end(), [](const AppRowState& lhs, const AppRowState& rhs) {
        const int lhsClass = rowClass(lhs);
        const int rhsClass = rowClass(rhs);
        if (lhsClass != rhsClass) {
            return lhsClass < rhsClass;
        }
        return foundation::localizedCaseInsensitiveCompare(lhs.identity.displayName, rhs.identity.displayName) ==
               std::weak_ordering::less;
    });
    return rows;
}

std::vector<AudioDeviceInfo> AppStateController::outputDevices() const {
    std::vector<AudioDeviceInfo> outputs;
    std::copy_if(devices().begin(), devices().end(), std::back_inserter(outputs), [](const AudioDeviceInfo& device) {
        return device.isAlive && device.hasOutput && device.transportType != kAudioDeviceTransportTypeAirPlay;
    });
    return outputs;
}

std::vector<AudioDeviceInfo> AppStateController::inputDevices() const {
    std::vector<AudioDeviceInfo> inputs;
    std::copy_if(devices().begin(), devices().end(), std::back_inserter(inputs),
                 [](const AudioDeviceInfo& device) { return device.isAlive && device.hasInput; });
    return inputs;
}

std::string AppStateController::defaultOutputName() const {
    const auto found = std::find_if(devices().begin(), devices().end(), [this](const AudioDeviceInfo& device) {
        return device.objectID == defaultOutputID();
    });
    return found == devices().end() ? kUnavailableDeviceName : found->name;
}

bool AppStateController::needsSystemAudioAccess() const {
    return std::any_of(routeStatuses().begin(), routeStatuses().end(), [](const auto& entry) {
        const RouteStatus& status = entry.second;
        if (status.phase != RouteLifecyclePhase::failedRecoverable) {
            return false;
        }
        const std::string message = lowercased(status.message.value_or(""));
        return std::any_of(
            kMissingCapturePermissionFragments.begin(), kMissingCapturePermissionFragments.end(),
            [&message](std::string_view fragment) { return message.find(fragment) != std::string::npos; });
    });
}

// Observation.

void AppStateController::start() {
    if (isStarted_) {
        return;
    }
    isStarted_ = true;
    if (persistedState().preferences.hasCompletedLaunchAtLoginConsent) {
        syncLoginItemWithPreference();
    }
    lifecycleMonitor_->start([weak = weak_from_this()](SystemLifecycleEvent event) {
        if (const auto self = weak.lock()) {
            self->handleLifecycleEvent(event);
        }
    });
    startMonitors(beginMonitorGeneration());
}

void AppStateController::stop() {
    if (!isStarted_) {
        return;
    }
    isStarted_ = false;
    isSleeping_ = false;
    beginMonitorGeneration();
    // The two stay stored, cancelled.
    for (const auto& workItem : {recentExpiryWorkItem_, persistenceWorkItem_}) {
        if (workItem) {
            workItem->cancel();
        }
    }
    if (lifecycleRecoveryWorkItem_) {
        lifecycleRecoveryWorkItem_->cancel();
        lifecycleRecoveryWorkItem_.reset();
    }
    persistNow();
    deviceMonitor_->stop();
    processMonitor_->stop();
    lifecycleMonitor_->stop();
    reconciler_->stopAll();
}

std::int64_t AppStateController::beginMonitorGeneration() {
    reconciledDeviceSnapshot_.reset();
    hasReconciledProcessGroups_ = false;
    return ++monitorGeneration_;
}

void AppStateController::startMonitors(std::int64_t generation) {
    deviceMonitor_->start([weak = weak_from_this(), generation](const AudioDeviceSnapshot& snapshot) {
        if (const auto self = weak.lock()) {
            self->applyDeviceSnapshot(snapshot, generation);
        }
    });
    processMonitor_->start([weak = weak_from_this(), generation](const AudioProcessSnapshot& snapshot) {
        if (const auto self = weak.lock()) {
            self->applyProcessSnapshot(snapshot, generation);
        }
    });
}

void AppStateController::applyDeviceSnapshot(const AudioDeviceSnapshot& snapshot, std::int64_t generation) {
    if (generation != monitorGeneration_ || isSleeping_) {
        return;
    }
    update(devices_, snapshot.devices);
    update(defaultOutputID_, snapshot.defaultOutputID);
    update(defaultInputID_, snapshot.defaultInputID);
    if (reconciledDeviceSnapshot_ == snapshot) {
        return;
    }
    reconciledDeviceSnapshot_ = snapshot;
    reconciler_->updateDeviceSnapshot(snapshot);
}

void AppStateController::applyProcessSnapshot(const AudioProcessSnapshot& snapshot, std::int64_t generation) {
    if (generation != monitorGeneration_ || isSleeping_) {
        return;
    }
    std::vector<LogicalAppProcessGroup> groups = resolver_.resolve(snapshot.processes);
    const bool isRepeat = hasReconciledProcessGroups_ && groups == logicalApps();
    update(logicalApps_, std::move(groups));
    std::set<std::string> active;
    for (const LogicalAppProcessGroup& group : logicalApps()) {
        knownIdentities_.insert_or_assign(group.identity.bundleID, group.identity);
        const bool isPlaying = std::any_of(group.processes.begin(), group.processes.end(),
                                           [](const AudioProcessInfo& process) { return process.isRunningOutput; });
        if (isPlaying) {
            active.insert(group.identity.bundleID);
        }
    }
    const dispatch::Seconds now = dispatch::now();
    const auto visibility = static_cast<dispatch::Seconds>(persistedState().preferences.recentAppVisibilitySeconds);
    for (const std::string& bundleID : activeBundleIDs_) {
        if (!active.contains(bundleID)) {
            recentExpiry_.insert_or_assign(bundleID, now + visibility);
        }
    }
    for (const std::string& bundleID : active) {
        recentExpiry_.erase(bundleID);
    }
    activeBundleIDs_ = std::move(active);
    refreshRecentApps(now);
    if (isRepeat) {
        return;
    }
    hasReconciledProcessGroups_ = true;
    reconciler_->updateProcessGroups(logicalApps());
}

void AppStateController::refreshRecentApps(dispatch::Seconds now) {
    std::erase_if(recentExpiry_, [now](const auto& entry) { return entry.second <= now; });
    std::set<std::string> recent;
    for (const auto& [bundleID, expiry] : recentExpiry_) {
        recent.insert(bundleID);
    }
    update(recentlyActiveBundleIDs_, std::move(recent));
    if (recentExpiryWorkItem_) {
        recentExpiryWorkItem_->cancel();
    }
    if (recentExpiry_.empty()) {
        return;
    }
    const auto earliest = std::min_element(recentExpiry_.begin(), recentExpiry_.end(),
                                           [](const auto& lhs, const auto& rhs) { return lhs.second < rhs.second; });
    recentExpiryWorkItem_ = dispatch::DispatchWorkItem::create(
        dispatch::weakly(weak_from_this(), [](AppStateController& self) { self.refreshRecentApps(dispatch::now()); }));
    dispatch::DispatchQueue::main()->asyncAfter(std::max(0.0, earliest->second - now), recentExpiryWorkItem_);
}

// Sleep, wake and restarts of the audio service.

void AppStateController::handleLifecycleEvent(SystemLifecycleEvent event) {
    if (!isStarted_) {
        return;
    }
    switch (event) {
        case SystemLifecycleEvent::willSleep:
            if (lifecycleRecoveryWorkItem_) {
                lifecycleRecoveryWorkItem_->cancel();
                lifecycleRecoveryWorkItem_.reset();
            }
            isSleeping_ = true;
            suspendObservation();
            return;
        case SystemLifecycleEvent::didWake:
            if (!isSleeping_) {
                return;
            }
            isSleeping_ = false;
            scheduleRecovery();
            return;
        case SystemLifecycleEvent::audioServiceRestarted:
            suspendObservation();
            if (!isSleeping_) {
                scheduleRecovery();
            }
            return;
    }
}

void AppStateController::scheduleRecovery() {
    if (lifecycleRecoveryWorkItem_) {
        lifecycleRecoveryWorkItem_->cancel();
    }
    lifecycleRecoveryWorkItem_ = dispatch::DispatchWorkItem::create(
        dispatch::weakly(weak_from_this(), [](AppStateController& self) { self.recoverObservation(); }));
    dispatch::DispatchQueue::main()->asyncAfter(lifecycleRecoveryDelay_, lifecycleRecoveryWorkItem_);
}

void AppStateController::suspendObservation() {
    beginMonitorGeneration();
    deviceMonitor_->stop();
    processMonitor_->stop();
    update(devices_, {});
    update(logicalApps_, {});
    activeBundleIDs_.clear();
    update(defaultOutputID_, kAudioObjectUnknown);
    update(defaultInputID_, kAudioObjectUnknown);
    reconciler_->resetObservedState();
}

void AppStateController::recoverObservation() {
    if (!isStarted_ || isSleeping_) {
        return;
    }
    lifecycleRecoveryWorkItem_.reset();
    startMonitors(beginMonitorGeneration());
}

// The user's operations.

AppAudioConfiguration AppStateController::configurationFor(const std::string& bundleID) const {
    const auto profile = persistedState().appProfiles.find(bundleID);
    return profile == persistedState().appProfiles.end() ? AppAudioConfiguration::neutral()
                                                         : profile->second.defaultConfiguration;
}

void AppStateController::setConfiguration(const AppAudioConfiguration& configuration, const AppIdentity& identity,
                                          bool persist) {
    const AppProfile profile{identity.bundleID, identity.displayName, configuration};
    persistedState_.modify(
        [&profile](PersistedStateV1& state) { state.appProfiles.insert_or_assign(profile.bundleID, profile); });
    reconciler_->updateProfile(profile);
    if (persist) {
        flushPendingPersistence();
        return;
    }
    schedulePersistence();
}

void AppStateController::schedulePersistence() {
    if (persistenceWorkItem_) {
        persistenceWorkItem_->cancel();
    }
    persistenceWorkItem_ =
        dispatch::DispatchWorkItem::create(dispatch::weakly(weak_from_this(), [](AppStateController& self) {
            self.persistenceWorkItem_.reset();
            self.persistNow();
        }));
    dispatch::DispatchQueue::main()->asyncAfter(kPersistenceDelay, persistenceWorkItem_);
}

void AppStateController::flushPendingPersistence() {
    if (persistenceWorkItem_) {
        persistenceWorkItem_->cancel();
        persistenceWorkItem_.reset();
    }
    persistNow();
}

void AppStateController::persistNow() {
    PersistenceResult<SaveOutcome> saved = persistence_->save(persistedState());
    if (!saved) {
        update(lastError_, std::optional(saved.error().localizedDescription()));
        return;
    }
    update(lastError_, std::optional<std::string>());
    SaveOutcome outcome = std::move(saved).value();
    // The user's own settings turned up (made readable, or put back) before anything was
    // changed here: they are what the program runs on from now on.
    if (outcome.foundDocument) {
        persistedState_.set(std::move(*outcome.foundDocument));
        reconciler_->updateProfiles(persistedState().appProfiles);
    }
    if (outcome.notice) {
        noticeMessage_.set(std::move(*outcome.notice));
    }
}

void AppStateController::setFavorite(bool pinned, const AppIdentity& identity) {
    persistedState_.modify([pinned, &identity](PersistedStateV1& state) {
        if (!pinned) {
            state.favoriteBundleIDs.erase(identity.bundleID);
            return;
        }
        state.favoriteBundleIDs.insert(identity.bundleID);
        // The pinned app keeps its name after it quits and across launches.
        state.appProfiles.try_emplace(
            identity.bundleID, AppProfile{identity.bundleID, identity.displayName, AppAudioConfiguration::neutral()});
    });
    persistNow();
}

void AppStateController::setLaunchAtLogin(bool enabled) {
    persistedState_.modify([enabled](PersistedStateV1& state) {
        state.preferences.launchAtLogin = enabled;
        state.preferences.hasCompletedLaunchAtLoginConsent = true;
    });
    persistNow();
    if (const std::optional<LoginItemError> error = loginItemService_->setEnabled(enabled)) {
        loginItemStatus_.set(LoginItemStatus::failed(error->localizedDescription));
        lastError_.set(kLaunchAtLoginErrorPrefix + error->localizedDescription);
        return;
    }
    loginItemStatus_.set(loginItemService_->status());
}

void AppStateController::syncLoginItemWithPreference() {
    if (const std::optional<LoginItemError> error =
            loginItemService_->setEnabled(persistedState().preferences.launchAtLogin)) {
        loginItemStatus_.set(LoginItemStatus::failed(error->localizedDescription));
        return;
    }
    loginItemStatus_.set(loginItemService_->status());
}

void AppStateController::selectDefaultInput(AudioObjectID deviceID) {
    const std::vector<AudioDeviceInfo> inputs = inputDevices();
    if (std::none_of(inputs.begin(), inputs.end(),
                     [deviceID](const AudioDeviceInfo& device) { return device.objectID == deviceID; })) {
        return;
    }
    if (const HALResult<void> result = defaultInputSetter_(deviceID); !result) {
        lastError_.set(result.error().description());
        return;
    }
    defaultInputID_.set(deviceID);
    noticeMessage_.set(kDefaultInputChangedNotice);
    lastError_.set(std::nullopt);
}

void AppStateController::setRecentAppVisibilitySeconds(std::int64_t seconds) {
    persistedState_.modify([seconds](PersistedStateV1& state) {
        state.preferences.recentAppVisibilitySeconds = Preferences::clampedRecentAppVisibilitySeconds(seconds);
    });
    persistNow();
}

void AppStateController::retryRoutes() { reconciler_->retryBlockedRoutes(); }

void AppStateController::copyMetadataDiagnostics() {
    reconciler_->collectRouteSnapshots([weak = weak_from_this()](const RouteReconciler::RouteSnapshots& snapshots) {
        const auto self = weak.lock();
        if (!self) {
            return;
        }
        const std::string report =
            makeDiagnosticsReport(self->devices(), self->defaultOutputID(), self->defaultInputID(), self->logicalApps(),
                                  self->routeStatuses(), snapshots, DiagnosticsReportFacts::current());
        appkit::Pasteboard& pasteboard = appkit::Pasteboard::generalPasteboard();
        pasteboard.clearContents();
        // A pasteboard that refused the text must not be reported as holding it.
        if (!pasteboard.setString(report)) {
            self->lastError_.set(kDiagnosticsNotCopiedError);
            return;
        }
        self->noticeMessage_.set(kDiagnosticsCopiedNotice);
    });
}

void AppStateController::openSystemAudioPrivacySettings() {
    const std::optional<std::string> desktops =
        foundation::ProcessInfo::processInfo().environmentValue(kCurrentDesktopVariable);
    if (const std::optional<std::string> url = systemAudioSettingsURL(desktops.value_or(""))) {
        openURL(*url);
    }
}

void AppStateController::openURL(const std::string& url) {
    if (!appkit::Workspace::sharedWorkspace().openURL(url)) {
        lastError_.set(kURLNotOpenedPrefix + url);
    }
}

}  // namespace tonvale
