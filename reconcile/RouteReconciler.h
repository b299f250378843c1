// Turns what the user asked for (the apps' profiles), what is playing (the logical apps
// and their audio processes) and what is plugged in (the device snapshot) into running
// routes and one RouteStatus per app. Starts and stops route engines, made by its engine
// factory, asynchronously; drops answers that arrive after an app's situation moved on;
// tears a route down completely before its replacement starts; fails routes open, so the
// app is heard through its normal output, and holds back their retries until the next
// event (after a stall, until the destination changes); and checks running routes' health
// on a repeating main-queue timer.
// Lives in a std::shared_ptr owned by the app state controller, which feeds it. Engine
// answers and the timer come back on the main queue holding it weakly. Releasing it
// cancels the timer and stops every route it holds.
// Thread-safety: main thread only; no locks.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/AudioRouteEngine.h"
#include "model/AppProfile.h"
#include "observe/AudioDeviceSnapshot.h"
#include "observe/LogicalAppResolver.h"
#include "platform/combine/ObservableObject.h"
#include "platform/combine/Published.h"
#include "platform/dispatch/DispatchSourceTimer.h"
#include "reconcile/RouteStatus.h"

namespace tonvale {

class RouteReconciler final : public combine::ObservableObject, public std::enable_shared_from_this<RouteReconciler> {
    struct Passkey {};

public:
    using StatusMap = std::map<std::string, RouteStatus>;
    using ProfileMap = std::map<std::string, AppProfile>;
    using EngineFactory = std::function<std::shared_ptr<AudioRouteEngine>()>;
    using StatusesChangedHandler = std::function<void(const StatusMap&)>;
    using RouteSnapshots = std::map<std::string, AudioRouteSnapshot>;
    using RouteSnapshotsCompletion = std::function<void(RouteSnapshots)>;

    // A callback count found unchanged at this many checks in a row, while the app plays,
    // fails the route: the third unchanged reading, not the second.
    static constexpr int kStallThreshold = 3;
    // How often running routes are checked, and the first check's delay after a route starts.
    static constexpr dispatch::Seconds kHealthInterval = 2.0;

    // healthInterval (seconds) is the first delay and the period of the health check.
    [[nodiscard]] static std::shared_ptr<RouteReconciler> create(EngineFactory engineFactory,
                                                                 dispatch::Seconds healthInterval = kHealthInterval);
    RouteReconciler(EngineFactory engineFactory, dispatch::Seconds healthInterval, Passkey);
    ~RouteReconciler();

    // Per bundle identifier, for every app with a profile once reconciled.
    [[nodiscard]] const StatusMap& statuses() const noexcept { return statuses_.value(); }
    // Told the new map of every write of statuses, before it is stored.
    [[nodiscard]] combine::Publisher<StatusMap>& statusesPublisher() noexcept { return statuses_.publisher(); }
    // Called with the whole map after each change of statuses.
    void setOnStatusesChanged(StatusesChangedHandler handler) { onStatusesChanged_ = std::move(handler); }

    // Replaces every profile, keyed by bundle identifier; unblocks the apps it names; drops
    // the status and route of apps it no longer names; reconciles every app.
    void updateProfiles(const ProfileMap& profiles);
    // Stores or replaces one app's profile, unblocks that app and reconciles it.
    void updateProfile(const AppProfile& profile);
    // These three count as an event: they unblock every app, then reconcile every app.
    // A route that stalled blocks its app until its destination's device entry or the
    // default output changes, the app's profile changes or the user retries.
    // Groups with the same bundle identifier are one app with the processes of both.
    void updateProcessGroups(const std::vector<LogicalAppProcessGroup>& groups);
    void updateDeviceSnapshot(AudioDeviceSnapshot snapshot);
    // The user's retry action.
    void retryBlockedRoutes();
    // Tears every route down and clears every status (termination).
    void stopAll();
    // stopAll, then forgets processes and devices, unblocks every app and reconciles
    // (sleep, a restart of the audio service).
    void resetObservedState();
    // Reconciles every app with a profile, in ascending bundle identifier order.
    void reconcileAll();
    // Brings one app's route and status in line with its profile, processes and devices.
    void reconcile(const std::string& bundleID);
    // Asks every route's engine for its snapshot and delivers them together on the main
    // queue; with no routes, at once with an empty map.
    void collectRouteSnapshots(RouteSnapshotsCompletion completion);

private:
    struct ManagedRoute {
        std::shared_ptr<AudioRouteEngine> engine;
        std::vector<AudioObjectID> processIDs;  // ascending
        std::string destinationUID;
        std::int64_t generation = 0;
    };
    struct HealthRecord {
        std::uint64_t callbackCount = 0;
        int stagnantChecks = 0;
    };
    // Where an app's route stalled, as the device snapshot showed it then. Until that
    // changes, a new route there would stall too, so no event but a change of it (or of
    // the app's profile, or the user's retry) lifts the app's block.
    struct StalledDestination {
        std::string uid;
        std::optional<AudioDeviceInfo> device;
        AudioObjectID defaultOutputID = kAudioObjectUnknown;
        bool operator==(const StalledDestination&) const = default;
    };
    using Completion = std::function<void()>;

    void setDeviceSnapshot(AudioDeviceSnapshot snapshot);
    [[nodiscard]] std::optional<std::string> resolveDestination(const OutputPreference& output) const;
    [[nodiscard]] std::int64_t generation(const std::string& bundleID) const;
    std::int64_t takeNextGeneration(const std::string& bundleID);
    // The output a status shows: the profile's now, or the given one when the app has none.
    [[nodiscard]] OutputPreference profileOutput(const std::string& bundleID, const OutputPreference& fallback) const;

    void startRoute(const std::string& bundleID, std::vector<AudioObjectID> processIDs, std::string destinationUID,
                    const AppAudioConfiguration& configuration);
    void handleStartResult(const std::string& bundleID, std::int64_t startGeneration, const OutputPreference& output,
                           const std::string& destinationUID, AudioRouteEngine& engine, const RouteStartResult& result);
    // Removes the app's route and tears its engine down; once that has finished, stores
    // finalStatus (or removes the app's status when there is none) and calls completion,
    // unless the app's generation moved on meanwhile.
    void stopRoute(const std::string& bundleID, std::optional<RouteStatus> finalStatus, Completion completion);
    void handleFinishedTeardown(const std::string& bundleID, std::int64_t stopGeneration,
                                std::optional<RouteStatus> finalStatus, const Completion& completion);
    // With stalledDestinationUID, the app stays blocked until that destination changes.
    void failRoute(const std::string& bundleID, const std::string& message,
                   const std::optional<std::string>& stalledDestinationUID = std::nullopt);
    [[nodiscard]] StalledDestination stalledDestination(const std::string& uid) const;
    // Lifts the blocks of one app, of every app, or, for an input event, of every app but
    // those whose destination stalled and is still as it was.
    void unblock(const std::string& bundleID);
    void unblockAll();
    void unblockAfterEvent();

    // Each notifies only when the map changes.
    void storeStatus(const std::string& bundleID, RouteStatus status);
    void removeStatus(const std::string& bundleID);
    void replaceStatuses(StatusMap statuses);
    void notifyStatusesChanged();

    // The health check: a timer exactly while at least one route exists or is being torn
    // down, so that its rhythm carries on through a rebuild.
    void updateWatchdog();
    void checkRouteHealth();
    void evaluateHealth(const std::string& bundleID, std::int64_t routeGeneration, const AudioRouteSnapshot& snapshot);

    combine::Published<StatusMap> statuses_{*this, {}};
    StatusesChangedHandler onStatusesChanged_;
    const EngineFactory engineFactory_;
    const dispatch::Seconds healthInterval_;
    ProfileMap profiles_;
    std::map<std::string, LogicalAppProcessGroup> processGroups_;
    AudioDeviceSnapshot deviceSnapshot_;
    // Derived from deviceSnapshot_ when it is set.
    std::optional<std::string> defaultDeviceUID_;
    std::optional<std::string> defaultDestinationUID_;
    std::vector<std::string> outputDeviceUIDs_;
    std::map<std::string, ManagedRoute> routes_;
    std::map<std::string, std::int64_t> generations_;
    std::set<std::string> stoppingBundleIDs_;
    std::set<std::string> pendingReconciliation_;
    std::set<std::string> retryBlockedUntilEvent_;
    std::map<std::string, StalledDestination> stalledDestinations_;  // of apps in retryBlockedUntilEvent_
    std::map<std::string, HealthRecord> healthRecords_;
    std::shared_ptr<dispatch::DispatchSourceTimer> watchdog_;
};

}  // namespace tonvale
