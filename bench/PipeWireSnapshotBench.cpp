// The snapshot the monitors take on the desktop's audio server: the device list with both
// defaults, and the process list with the workspace's running applications, read through
// the audio layer from the PipeWire server the environment names (bench/pipewire_bench.py
// starts a private one with 10 devices and 50 playing streams).
#include <benchmark/benchmark.h>

#include <cstdio>

#include "desktop/DesktopServers.h"
#include "hal/AudioDeviceCatalogue.h"
#include "hal/AudioProcessCatalogue.h"

namespace {

void BM_PipeWireDeviceSnapshot(benchmark::State& state) {
    for (auto _ : state) {
        auto devices = tonvale::enumerateDevices();
        auto output = tonvale::readDefaultOutputDevice();
        auto input = tonvale::readDefaultInputDevice();
        benchmark::DoNotOptimize(devices);
        benchmark::DoNotOptimize(output);
        benchmark::DoNotOptimize(input);
    }
    state.counters["devices"] = static_cast<double>(tonvale::enumerateDevices().valueOr({}).size());
}
BENCHMARK(BM_PipeWireDeviceSnapshot)->Unit(benchmark::kMillisecond);

void BM_PipeWireProcessSnapshot(benchmark::State& state) {
    for (auto _ : state) {
        auto processes = tonvale::enumerateProcesses();
        benchmark::DoNotOptimize(processes);
    }
    state.counters["processes"] = static_cast<double>(tonvale::enumerateProcesses().valueOr({}).size());
}
BENCHMARK(BM_PipeWireProcessSnapshot)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (const auto error = desktop::DesktopServers::startShared()) {
        std::fprintf(stderr, "pipewire_snapshot_bench: %s\n", error->c_str());
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
