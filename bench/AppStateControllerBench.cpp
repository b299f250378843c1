// The app state controller's main-thread cost on a large desk, in virtual time on the
// benchmark's thread. A process snapshot of 500 processes (350 applications with bundles on
// disk, 150 helpers inside them) goes through the controller: the resolver, the playing and
// recent bookkeeping, and the reconciler with 120 customised apps whose engines answer at
// once. Consecutive snapshots differ in one app's output, so each is a real event. Then
// `rows` of 200 rows in all four classes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/InstantEngine.h"
#include "hal/AudioDeviceCatalogue.h"
#include "hal/AudioProcessCatalogue.h"
#include "platform/dispatch/Dispatch.h"
#include "sim/SimulatedServer.h"
#include "state/AppStateController.h"

namespace {

using namespace tonvale;

constexpr int kApps = 350;
constexpr int kHelpers = 150;

template <typename Monitoring>
struct HandlerMonitor final : Monitoring {
    void start(typename Monitoring::Handler newHandler) override { handler = std::move(newHandler); }
    void stop() override {}
    typename Monitoring::Handler handler;
};

struct MemoryStore final : StatePersisting {
    PersistenceResult<PersistedStateV1> load() override { return state; }
    PersistenceResult<SaveOutcome> save(const PersistedStateV1& saved) override {
        state = saved;
        return SaveOutcome{};
    }
    PersistedStateV1 state = PersistedStateV1::newDocument();
};

struct InertLoginItem final : LoginItemServicing {
    [[nodiscard]] LoginItemStatus status() const override { return LoginItemStatus::disabled(); }
    std::optional<LoginItemError> setEnabled(bool) override { return std::nullopt; }
    void openSystemSettingsLoginItems() override {}
};

std::string appID(int app) {
    char text[32];
    std::snprintf(text, sizeof text, "com.example.app%03d", app);
    return text;
}

sim::Scenario largeDesk() {
    sim::Scenario scenario;
    scenario.devices = {{.uid = "speakers", .name = "Speakers"}};
    for (int app = 0; app < kApps; ++app) {
        const std::string number = std::to_string(app);
        scenario.processes.push_back(
            {.pid = 10000 + app,
             .bundleID = appID(app),
             .application = sim::ScenarioApplication{appID(app), "App " + number, "App" + number + ".app"},
             .isPlaying = app % 3 == 0});
    }
    for (int helper = 0; helper < kHelpers; ++helper) {
        const std::string bundleID = appID(helper) + ".helper";
        scenario.processes.push_back(
            {.pid = 20000 + helper,
             .bundleID = bundleID,
             .application =
                 sim::ScenarioApplication{bundleID, "Helper",
                                          "App" + std::to_string(helper) + ".app/Contents/Frameworks/Helper.app"},
             .isPlaying = helper % 2 == 0});
    }
    return scenario;
}

// The controller fed by hand-held monitors; the first 120 apps are customised. Made while a
// dispatch::VirtualTime exists.
struct Desk {
    explicit Desk(LogicalAppResolver::RunningAppLookup lookup) {
        for (int app = 0; app < 120; ++app) {
            store->state.appProfiles.emplace(appID(app), AppProfile{appID(app), "App", {0.5F}});
        }
        controller = AppStateController::create(
            {.persistence = store,
             .resolver = {"com.zelkor.tonvale", 0, std::move(lookup)},
             .deviceMonitor = devices,
             .processMonitor = processes,
             .reconciler = reconciler,
             .loginItemService = std::make_shared<InertLoginItem>(),
             .lifecycleMonitor = std::make_shared<HandlerMonitor<SystemLifecycleMonitoring>>()});
        controller->start();
    }

    std::shared_ptr<MemoryStore> store = std::make_shared<MemoryStore>();
    std::shared_ptr<HandlerMonitor<AudioDeviceMonitoring>> devices =
        std::make_shared<HandlerMonitor<AudioDeviceMonitoring>>();
    std::shared_ptr<HandlerMonitor<AudioProcessMonitoring>> processes =
        std::make_shared<HandlerMonitor<AudioProcessMonitoring>>();
    std::shared_ptr<RouteReconciler> reconciler =
        RouteReconciler::create([] { return std::make_shared<bench::InstantEngine>(); });
    std::shared_ptr<AppStateController> controller;
};

// One playing process for each of `apps` apps, named in a shuffled order.
AudioProcessSnapshot playingApps(int apps) {
    AudioProcessSnapshot snapshot;
    for (int app = 0; app < apps; ++app) {
        const std::string name = (app % 2 ? "app " : "App ") + std::to_string((app * 7919) % apps);
        snapshot.processes.push_back(
            {static_cast<AudioObjectID>(100 + app), 10000 + app, appID(app), name, true, true});
    }
    return snapshot;
}

// Argument 0: the standard look-up (one workspace query per process), as the application
// is assembled; 1: one reading of the workspace for the whole snapshot.
void BM_ProcessSnapshotThroughTheController(benchmark::State& state) {
    dispatch::VirtualTime time;
    const std::shared_ptr<sim::SimulatedServer> server = sim::SimulatedServer::create(largeDesk());
    AudioProcessSnapshot snapshot{enumerateProcesses().value()};
    Desk desk(state.range(0) == 0   ? LogicalAppResolver::RunningAppLookup(LogicalAppResolver::standardRunningAppLookup)
              : state.range(0) == 1 ? LogicalAppResolver::snapshotRunningAppLookup()
                                    : nullptr);
    desk.devices->handler(AudioDeviceSnapshot{enumerateDevices().value(), readDefaultOutputDevice().value(), 0});
    std::vector<AudioProcessSnapshot> snapshots{snapshot, snapshot};
    snapshots[1].processes.front().isRunningOutput = !snapshots[1].processes.front().isRunningOutput;
    std::size_t next = 0;
    for (auto _ : state) {
        desk.processes->handler(snapshots[next]);
        time.runUntilIdle();
        next = 1 - next;
    }
    state.counters["groups"] = static_cast<double>(desk.controller->logicalApps().size());
    state.counters["routes"] = static_cast<double>(desk.controller->routeStatuses().size());
}

// 200 rows: 120 customised, 40 playing, 20 of them pinned, 20 recent.
void BM_Rows(benchmark::State& state) {
    dispatch::VirtualTime time;
    Desk desk(nullptr);
    AudioProcessSnapshot snapshot = playingApps(200);
    desk.processes->handler(snapshot);
    snapshot.processes.resize(180);
    desk.processes->handler(snapshot);
    for (int app = 160; app < 180; ++app) {
        desk.controller->setFavorite(true, {appID(app), "Favourite"});
    }
    std::size_t rows = 0;
    for (auto _ : state) {
        rows = desk.controller->rows().size();
        benchmark::DoNotOptimize(rows);
    }
    state.counters["rows"] = static_cast<double>(rows);
}

// Every one of 500 apps changes its kind of configuration (bypassed, or routed at half
// volume) at once: each route start, teardown and status change reaches the controller.
void BM_EveryRouteChangesUnderTheController(benchmark::State& state) {
    dispatch::VirtualTime time;
    Desk desk(nullptr);
    desk.devices->handler(AudioDeviceSnapshot{{{1, "speakers", "Speakers", 0, true, false, true, 48000.0}}, 1, 0});
    desk.processes->handler(playingApps(500));
    std::vector<RouteReconciler::ProfileMap> documents(2);
    for (int app = 0; app < 500; ++app) {
        for (int document = 0; document < 2; ++document) {
            const float volume = (app + document) % 2 ? 0.5F : 1.0F;
            documents[static_cast<std::size_t>(document)].emplace(appID(app), AppProfile{appID(app), "App", {volume}});
        }
    }
    std::int64_t changes = 0;
    const combine::AnyCancellable counting = desk.controller->objectWillChange().sink([&changes] { ++changes; });
    std::size_t next = 0;
    for (auto _ : state) {
        desk.reconciler->updateProfiles(documents[next]);
        time.runUntilIdle();
        next = 1 - next;
    }
    state.counters["announcements"] =
        benchmark::Counter(static_cast<double>(changes), benchmark::Counter::kAvgIterations);
}

BENCHMARK(BM_ProcessSnapshotThroughTheController)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EveryRouteChangesUnderTheController)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
