// The work of "--diagnostics-once" beyond process start-up: enumerating devices and
// processes, resolving logical apps and formatting every line, against the simulated
// world named by TONVALE_SCENARIO (bench/diagnostics_once_bench.py writes a large one).
// The world is built once, outside the measured loop; printing goes nowhere.
#include <benchmark/benchmark.h>

#include <string_view>

#include "app/DiagnosticsOnceMode.h"
#include "sim/SimulatedServer.h"

namespace {

class DiscardingStream final : public tonvale::TextStream {
public:
    void write(std::string_view text) override { benchmark::DoNotOptimize(text.data()); }
    void flush() override {}
};

void diagnosticsOnce(benchmark::State& state) {
    DiscardingStream output;
    DiscardingStream error;
    tonvale::ConsoleOutput console{output, error};
    for (auto _ : state) {
        if (!tonvale::runDiagnosticsOnce(console)) {
            state.SkipWithError("diagnostics failed");
            break;
        }
    }
}
BENCHMARK(diagnosticsOnce)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    sim::SimulatedServer::startShared();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    sim::SimulatedServer::stopShared();
    return 0;
}
