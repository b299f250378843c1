// The program's model: owns the live settings, drives the monitors, resolver and route
// reconciler, publishes what the interface shows (rows and device lists derive from it) and
// carries out the user's operations, with their saves and the recovery from sleep and from
// restarts of the audio service. Made by create() in a std::shared_ptr that the application
// delegate owns; deliveries, callbacks and work items hold it weakly. Releasing it stops the
// monitors but not the routes (stop() does). Thread-safety: main thread only; no locks.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "hal/AudioDeviceCatalogue.h"
#include "hal/AudioDeviceInfo.h"
#include "hal/HALResult.h"
#include "model/PersistedStateV1.h"
#include "observe/AudioDeviceMonitoring.h"
#include "observe/AudioProcessMonitoring.h"
#include "observe/LogicalAppResolver.h"
#include "observe/SystemLifecycleMonitoring.h"
#include "platform/combine/AnyCancellable.h"
#include "platform/combine/ObservableObject.h"
#include "platform/combine/Published.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchWorkItem.h"
#include "reconcile/RouteReconciler.h"
#include "state/AppRowState.h"
#include "state/LoginItemServicing.h"
#include "state/StatePersisting.h"

namespace tonvale {

class AppStateController final : public combine::ObservableObject,
                                 public std::enable_shared_from_this<AppStateController> {
    struct Passkey {};

public:
    using DefaultInputSetter = std::function<HALResult<void>(AudioObjectID)>;
    using StatusMap = RouteReconciler::StatusMap;

    static constexpr dispatch::Seconds kLifecycleRecoveryDelay = 0.5;
    static constexpr dispatch::Seconds kPersistenceDelay = 0.2;
    static constexpr const char* kUnavailableDeviceName = "Unavailable";
    static constexpr const char* kDefaultInputChangedNotice = "Default input changed.";
    static constexpr const char* kDiagnosticsCopiedNotice = "Metadata diagnostics copied.";
    static constexpr const char* kDiagnosticsNotCopiedError = "Metadata diagnostics could not be copied.";
    static constexpr const char* kLaunchAtLoginErrorPrefix = "Launch at Login could not be updated: ";
    static constexpr const char* kURLNotOpenedPrefix = "The desktop could not open ";

    // Everything fixed at construction, named (designated initialisers) wherever it is
    // filled in: ApplicationCollaborators makes the application's own; a test its fakes.
    struct Collaborators {
        std::shared_ptr<StatePersisting> persistence;
        LogicalAppResolver resolver;
        std::shared_ptr<AudioDeviceMonitoring> deviceMonitor;
        std::shared_ptr<AudioProcessMonitoring> processMonitor;
        std::shared_ptr<RouteReconciler> reconciler;
        std::shared_ptr<LoginItemServicing> loginItemService;
        std::shared_ptr<SystemLifecycleMonitoring> lifecycleMonitor;
        dispatch::Seconds lifecycleRecoveryDelay = kLifecycleRecoveryDelay;
        DefaultInputSetter defaultInputSetter = setDefaultInputDevice;
    };

    // Loads the document (a failed load gives the new document and lastError), takes the
    // reconciler's statuses, gives it every profile and reads the login item's status.
    // Never fails.
    [[nodiscard]] static std::shared_ptr<AppStateController> create(Collaborators collaborators);
    AppStateController(Collaborators collaborators, Passkey);
    ~AppStateController();
    AppStateController(const AppStateController&) = delete;
    AppStateController& operator=(const AppStateController&) = delete;

    // Calls onChanged on the main queue once after any number of changes announced in one
    // main-queue turn (the interface's redraw), until the answer is cancelled or released.
    // objectWillChange() itself fires at every change: before the write for the controller's
    // own fields, just after it for the route statuses, which the reconciler keeps.
    [[nodiscard]] combine::AnyCancellable observeChanges(std::function<void()> onChanged);

    // Published fields.
    [[nodiscard]] const PersistedStateV1& persistedState() const noexcept { return persistedState_.value(); }
    [[nodiscard]] const std::vector<AudioDeviceInfo>& devices() const noexcept { return devices_.value(); }
    [[nodiscard]] const std::vector<LogicalAppProcessGroup>& logicalApps() const noexcept {
        return logicalApps_.value();
    }
    // The reconciler's statuses as last reported: its own map, read without a copy.
    [[nodiscard]] const StatusMap& routeStatuses() const noexcept { return reconciler_->statuses(); }
    [[nodiscard]] AudioObjectID defaultOutputID() const noexcept { return defaultOutputID_.value(); }
    [[nodiscard]] AudioObjectID defaultInputID() const noexcept { return defaultInputID_.value(); }
    [[nodiscard]] const std::set<std::string>& recentlyActiveBundleIDs() const noexcept {
        return recentlyActiveBundleIDs_.value();
    }
    [[nodiscard]] const LoginItemStatus& loginItemStatus() const noexcept { return loginItemStatus_.value(); }
    [[nodiscard]] const std::optional<std::string>& lastError() const noexcept { return lastError_.value(); }
    [[nodiscard]] const std::optional<std::string>& noticeMessage() const noexcept { return noticeMessage_.value(); }

    // The only published fields the interface writes: it clears the two messages when the
    // popover opens or the banner closes, and refreshes the login item's status.
    void setLastError(std::optional<std::string> message);
    void setNoticeMessage(std::optional<std::string> message);
    void setLoginItemStatus(LoginItemStatus status);
    // The login item behind loginItemStatus: the popover re-reads its status when it opens,
    // and the settings area opens the desktop's list of login items through it.
    [[nodiscard]] LoginItemServicing& loginItemService() const noexcept { return *loginItemService_; }

    // Derived on every read from the published fields.
    // Favourites, then customised, then playing, then recent apps; by name within each.
    [[nodiscard]] std::vector<AppRowState> rows() const;
    // Alive, with output, not AirPlay; in snapshot order.
    [[nodiscard]] std::vector<AudioDeviceInfo> outputDevices() const;
    // Alive, with input; in snapshot order.
    [[nodiscard]] std::vector<AudioDeviceInfo> inputDevices() const;
    // The default output's name, or "Unavailable".
    [[nodiscard]] std::string defaultOutputName() const;
    // A failed route whose message says the platform refused audio capture.
    [[nodiscard]] bool needsSystemAudioAccess() const;

    // Observation. start and stop are idempotent; a stopped controller may start again.
    void start();
    // Saves, stops the monitors and stops every route, so every app plays normally.
    void stop();
    // The monitors' handlers: deliveries of another generation, or while asleep, are dropped.
    void applyDeviceSnapshot(const AudioDeviceSnapshot& snapshot, std::int64_t generation);
    void applyProcessSnapshot(const AudioProcessSnapshot& snapshot, std::int64_t generation);
    // Forgets recent apps whose time is up and schedules the next expiry.
    void refreshRecentApps(dispatch::Seconds now);
    void handleLifecycleEvent(SystemLifecycleEvent event);

    // The user's operations.
    // The app's stored configuration, or neutral.
    [[nodiscard]] AppAudioConfiguration configurationFor(const std::string& bundleID) const;
    // Stores the profile, tells the reconciler at once, saves now or 0.2 s after the last
    // unpersisted change (a slider drag).
    void setConfiguration(const AppAudioConfiguration& configuration, const AppIdentity& identity, bool persist);
    // The end of a drag: the pending save happens now.
    void flushPendingPersistence();
    void setFavorite(bool pinned, const AppIdentity& identity);
    void setLaunchAtLogin(bool enabled);
    // Only a device among inputDevices(); lastError on failure.
    void selectDefaultInput(AudioObjectID deviceID);
    // Clamped to 30...86400; applies to apps that stop playing afterwards.
    void setRecentAppVisibilitySeconds(std::int64_t seconds);
    void retryRoutes();
    // Puts the diagnostics report on the general pasteboard once every route has answered.
    void copyMetadataDiagnostics();
    // Opens url with the desktop's opener; one it cannot open is told in lastError.
    void openURL(const std::string& url);
    // Opens the desktop's sound settings (openURL) where a link to them is known; otherwise nothing.
    void openSystemAudioPrivacySettings();
    // Saves now. A document the store found in place of one this run has not yet touched
    // becomes the live document; what the store did about a found document is the notice.
    void persistNow();

private:
    void syncLoginItemWithPreference();
    void schedulePersistence();
    void scheduleRecovery();
    void suspendObservation();
    void recoverObservation();
    // A new monitor generation: deliveries of the older ones are dropped from now on.
    std::int64_t beginMonitorGeneration();
    void startMonitors(std::int64_t generation);
    void announceRouteStatusesChanged();

    // Writes a published field only when the value changes, so an unchanged snapshot
    // announces nothing.
    template <typename T>
    static void update(combine::Published<T>& field, T value) {
        if (!(field.value() == value)) {
            field.set(std::move(value));
        }
    }

    combine::Published<PersistedStateV1> persistedState_{*this, PersistedStateV1::newDocument()};
    combine::Published<std::vector<AudioDeviceInfo>> devices_{*this, {}};
    combine::Published<std::vector<LogicalAppProcessGroup>> logicalApps_{*this, {}};
    // The route statuses live in the reconciler; this counts their changes so that each is
    // announced through objectWillChange without copying the map.
    combine::Published<std::uint64_t> routeStatusesRevision_{*this, 0};
    combine::Published<AudioObjectID> defaultOutputID_{*this, kAudioObjectUnknown};
    combine::Published<AudioObjectID> defaultInputID_{*this, kAudioObjectUnknown};
    combine::Published<std::set<std::string>> recentlyActiveBundleIDs_{*this, {}};
    combine::Published<LoginItemStatus> loginItemStatus_{*this, LoginItemStatus::disabled()};
    combine::Published<std::optional<std::string>> lastError_{*this, std::nullopt};
    combine::Published<std::optional<std::string>> noticeMessage_{*this, std::nullopt};

    const std::shared_ptr<StatePersisting> persistence_;
    const LogicalAppResolver resolver_;
    const std::shared_ptr<AudioDeviceMonitoring> deviceMonitor_;
    const std::shared_ptr<AudioProcessMonitoring> processMonitor_;
    const std::shared_ptr<RouteReconciler> reconciler_;
    const std::shared_ptr<LoginItemServicing> loginItemService_;
    const std::shared_ptr<SystemLifecycleMonitoring> lifecycleMonitor_;
    const dispatch::Seconds lifecycleRecoveryDelay_;
    const DefaultInputSetter defaultInputSetter_;

    bool isStarted_ = false;
    bool isSleeping_ = false;
    std::int64_t monitorGeneration_ = 0;
    std::shared_ptr<dispatch::DispatchWorkItem> lifecycleRecoveryWorkItem_;
    std::set<std::string> activeBundleIDs_;
    std::map<std::string, AppIdentity> knownIdentities_;
    std::map<std::string, dispatch::Seconds> recentExpiry_;
    std::shared_ptr<dispatch::DispatchWorkItem> recentExpiryWorkItem_;
    std::shared_ptr<dispatch::DispatchWorkItem> persistenceWorkItem_;
    // What the reconciler was given in this generation: a snapshot equal to it is no event
    // (our own route aggregates coming and going would otherwise lift every retry block).
    std::optional<AudioDeviceSnapshot> reconciledDeviceSnapshot_;
    bool hasReconciledProcessGroups_ = false;
};

}  // namespace tonvale
