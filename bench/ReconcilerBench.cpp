// The main-thread cost of reconciling a large desk: 500 apps with profiles, 500 logical
// apps playing, 64 output devices. "Nothing changes" is a reconcileAll over routes that
// already match; "every app changes" gives every app another kind of configuration
// (bypassed, routed to the default output, routed to a chosen device) and lets the engines
// answer at once, so it covers the stops, starts and teardowns that follow. Runs in
// virtual time with engines that do no audio work: the figure is the reconciler's own.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/InstantEngine.h"
#include "platform/dispatch/Dispatch.h"
#include "reconcile/RouteReconciler.h"

namespace {

using namespace tonvale;

constexpr int kApps = 500;
constexpr int kDevices = 64;

std::string bundleID(int app) {
    char text[32];
    std::snprintf(text, sizeof text, "com.example.app%03d", app);
    return text;
}

std::string deviceUID(int device) { return "device-" + std::to_string(device); }

AudioDeviceSnapshot largeDesk() {
    AudioDeviceSnapshot snapshot;
    for (int device = 0; device < kDevices; ++device) {
        snapshot.devices.push_back(AudioDeviceInfo{static_cast<AudioObjectID>(1000 + device), deviceUID(device),
                                                   "Device " + std::to_string(device), kAudioDeviceTransportTypeUSB,
                                                   true, false, true, 48000.0});
    }
    snapshot.defaultOutputID = 1000;
    return snapshot;
}

// Each app plays from one of its two processes.
std::vector<LogicalAppProcessGroup> playingApps() {
    std::vector<LogicalAppProcessGroup> groups;
    for (int app = 0; app < kApps; ++app) {
        const auto first = static_cast<AudioObjectID>(10 + 2 * app);
        groups.push_back(
            {AppIdentity{bundleID(app), "App " + std::to_string(app)},
             {AudioProcessInfo{first, 10000 + 2 * app, bundleID(app), "App", true, true},
              AudioProcessInfo{first + 1, 10001 + 2 * app, bundleID(app) + ".helper", "Helper", true, false}}});
    }
    return groups;
}

// App by app, in turn: bypassed, at half volume on the default output, on a chosen device.
RouteReconciler::ProfileMap profiles(int shift) {
    RouteReconciler::ProfileMap profiles;
    for (int app = 0; app < kApps; ++app) {
        AppAudioConfiguration configuration;
        switch ((app + shift) % 3) {
            case 0:
                break;
            case 1:
                configuration.volume = 0.5F;
                break;
            default:
                configuration.volume = 0.5F;
                configuration.output = OutputPreference::device(deviceUID(app % kDevices), "Device");
                break;
        }
        profiles.emplace(bundleID(app), AppProfile{bundleID(app), "App", configuration});
    }
    return profiles;
}

struct LargeDesk {
    // copiesStatuses: the status callback copies the whole map, as an owner that keeps
    // its own published copy does.
    explicit LargeDesk(bool copiesStatuses) {
        reconciler->setOnStatusesChanged([this, copiesStatuses](const RouteReconciler::StatusMap& statuses) {
            ++statusChanges;
            if (copiesStatuses) {
                copy = statuses;
            }
        });
        reconciler->updateDeviceSnapshot(largeDesk());
        reconciler->updateProcessGroups(playingApps());
        reconciler->updateProfiles(profiles(0));
        time.runUntilIdle();
    }

    dispatch::VirtualTime time;
    std::shared_ptr<RouteReconciler> reconciler =
        RouteReconciler::create([] { return std::make_shared<bench::InstantEngine>(); });
    RouteReconciler::StatusMap copy;
    std::int64_t statusChanges = 0;
};

void BM_ReconcileAll_NothingChanges(benchmark::State& state) {
    LargeDesk desk(false);
    const std::int64_t before = desk.statusChanges;
    for (auto _ : state) {
        desk.reconciler->reconcileAll();
    }
    state.counters["statusChanges"] = static_cast<double>(desk.statusChanges - before);
}

// Argument 1: the status callback copies the whole map at every change.
void BM_ReconcileAll_EveryAppChanges(benchmark::State& state) {
    LargeDesk desk(state.range(0) != 0);
    const std::vector<RouteReconciler::ProfileMap> documents{profiles(1), profiles(0)};
    const std::int64_t before = desk.statusChanges;
    std::size_t next = 0;
    for (auto _ : state) {
        desk.reconciler->updateProfiles(documents[next]);
        desk.time.runUntilIdle();
        next = 1 - next;
    }
    state.counters["statusChangesPerIteration"] =
        benchmark::Counter(static_cast<double>(desk.statusChanges - before), benchmark::Counter::kAvgIterations);
}

BENCHMARK(BM_ReconcileAll_NothingChanges)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReconcileAll_EveryAppChanges)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
