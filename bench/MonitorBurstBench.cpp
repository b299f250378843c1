// The cost of a burst of 1,000 property notifications to the device and process monitors,
// and how many snapshots it turns into. Runs in virtual time against the simulated server,
// so every queue's work (server, monitor, delivery) runs on the benchmark's thread and the
// CPU time column is the whole cost of the burst. The "Unobserved" runs make the same
// changes with no monitor started: the server's own share, to subtract.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>

#include "observe/AudioDeviceMonitor.h"
#include "observe/AudioProcessMonitor.h"
#include "platform/dispatch/Dispatch.h"
#include "sim/SimulatedServer.h"

namespace {

constexpr int kBurstLength = 1000;
constexpr std::int32_t kFirstPID = 700;
constexpr int kProcessCount = 8;

sim::Scenario desk() {
    sim::Scenario scenario;
    scenario.devices = {sim::ScenarioDevice{.uid = "speakers", .name = "Speakers"},
                        sim::ScenarioDevice{.uid = "headset", .name = "Headset"}};
    scenario.defaultOutputUID = "speakers";
    for (int index = 0; index < kProcessCount; ++index) {
        scenario.processes.push_back(
            sim::ScenarioProcess{.pid = kFirstPID + index, .bundleID = "com.example.app" + std::to_string(index)});
    }
    return scenario;
}

enum class Storm { devices, processes };

// One change that notifies the monitor under test: the default output moves between two
// devices (device storm), or a process starts or stops playing (processes flapping).
void change(sim::SimulatedServer& server, Storm storm, int step) {
    switch (storm) {
        case Storm::devices:
            benchmark::DoNotOptimize(server.setDefaultOutputDevice(step % 2 == 0 ? "headset" : "speakers"));
            return;
        case Storm::processes: {
            const std::int32_t pid = kFirstPID + (step / 2) % kProcessCount;
            benchmark::DoNotOptimize(step % 2 == 0 ? server.startAudio(pid) : server.stopAudio(pid));
            return;
        }
    }
}

template <typename Monitor, typename Snapshot>
void runBurst(benchmark::State& state, Storm storm, bool isObserved) {
    const dispatch::Seconds spacing = static_cast<double>(state.range(0)) / 1000.0;
    dispatch::VirtualTime time;
    const std::shared_ptr<sim::SimulatedServer> server = sim::SimulatedServer::create(desk());
    const dispatch::QueuePtr deliveryQueue = dispatch::DispatchQueue::create("bench.delivery");
    const std::shared_ptr<Monitor> monitor = Monitor::create(deliveryQueue);
    std::int64_t snapshots = 0;
    if (isObserved) {
        monitor->start([&snapshots](const Snapshot&) { ++snapshots; });
        time.advance(1.0);
    }
    const std::int64_t startingSnapshots = snapshots;

    for (auto _ : state) {
        for (int step = 0; step < kBurstLength; ++step) {
            change(*server, storm, step);
            time.advance(spacing);
        }
        // Long enough for either debounce to settle.
        time.advance(1.0);
    }

    state.counters["snapshotsPerBurst"] =
        benchmark::Counter(static_cast<double>(snapshots - startingSnapshots), benchmark::Counter::kAvgIterations);
    state.counters["notificationsPerBurst"] = kBurstLength;
    monitor->stop();
    time.advance(1.0);
}

void BM_DeviceStorm(benchmark::State& state) {
    runBurst<tonvale::AudioDeviceMonitor, tonvale::AudioDeviceSnapshot>(state, Storm::devices, true);
}
void BM_DeviceStormUnobserved(benchmark::State& state) {
    runBurst<tonvale::AudioDeviceMonitor, tonvale::AudioDeviceSnapshot>(state, Storm::devices, false);
}
void BM_ProcessFlapping(benchmark::State& state) {
    runBurst<tonvale::AudioProcessMonitor, tonvale::AudioProcessSnapshot>(state, Storm::processes, true);
}
void BM_ProcessFlappingUnobserved(benchmark::State& state) {
    runBurst<tonvale::AudioProcessMonitor, tonvale::AudioProcessSnapshot>(state, Storm::processes, false);
}

// Argument: milliseconds between two notifications of the burst (0: all at once).
BENCHMARK(BM_DeviceStorm)->Arg(0)->Arg(1)->Arg(20)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DeviceStormUnobserved)->Arg(0)->Arg(1)->Arg(20)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ProcessFlapping)->Arg(0)->Arg(1)->Arg(20)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ProcessFlappingUnobserved)->Arg(0)->Arg(1)->Arg(20)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
