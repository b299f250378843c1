#include "app/IdleBenchmarkMode.h"

#include <algorithm>
#include <memory>

#include "app/AppDelegate.h"
#include "app/ApplicationAssembly.h"
#include "app/BenchmarkLoginItemService.h"
#include "app/BenchmarkStateStore.h"
#include "hal/DecimalText.h"
#include "platform/dispatch/Dispatch.h"

namespace tonvale {

namespace {

constexpr double kDefaultDurationSeconds = 300.0;
constexpr double kShortestDurationSeconds = 0.25;

}  // namespace

void startIdleBenchmark(AppDelegate& delegate) {
    const double duration =
        std::max(delegate.commandLine().numberOption("--duration", kDefaultDurationSeconds), kShortestDurationSeconds);
    assembleApplication(delegate,
                        {[] { return std::make_shared<BenchmarkStateStore>(BenchmarkStateStore::benchmarkDocument()); },
                         [] { return std::make_shared<BenchmarkLoginItemService>(); }});
    delegate.console().printLine("idle-benchmark active duration=" + shortestDecimalText(duration), true);
    dispatch::DispatchQueue::main()->asyncAfter(duration, [weak = delegate.weak_from_this()] {
        if (const auto self = weak.lock()) {
            self->finishCommandLineMode("idle-benchmark stopped", true);
        }
    });
}

}  // namespace tonvale
