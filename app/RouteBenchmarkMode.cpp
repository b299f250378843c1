#include "app/RouteBenchmarkMode.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/AppDelegate.h"
#include "app/RouteTargetDiscovery.h"
#include "engine/RouteController.h"
#include "platform/dispatch/Dispatch.h"

namespace tonvale {

namespace {

constexpr const char* kModeName = "route-benchmark";
constexpr long long kDefaultRouteCount = 8;
constexpr long long kMostRoutes = 8;
constexpr double kDefaultDurationSeconds = 10.0;
constexpr double kShortestDurationSeconds = 0.25;
constexpr const char* kStoppedLine = "route-benchmark stopped; fail-open paths restored";

using Snapshots = std::vector<std::optional<AudioRouteSnapshot>>;

// Stops every controller at once and, when all have stopped, releases them and ends the
// mode with the message.
void stopAllAndFinish(AppDelegate& delegate, std::string message, bool success) {
    if (delegate.benchmarkControllers.empty()) {
        delegate.finishCommandLineMode(message, success);
        return;
    }
    dispatch::DispatchGroup stopped;
    for (const auto& controller : delegate.benchmarkControllers) {
        stopped.enter();
        controller->stop([stopped]() mutable { stopped.leave(); });
    }
    stopped.notify(dispatch::DispatchQueue::main(),
                   [weakDelegate = delegate.weak_from_this(), message = std::move(message), success] {
                       if (const auto owner = weakDelegate.lock()) {
                           owner->benchmarkControllers.clear();
                           owner->finishCommandLineMode(message, success);
                       }
                   });
}

void summarise(AppDelegate& delegate, const Snapshots& snapshots) {
    std::vector<std::uint64_t> callbackCounts;
    std::uint64_t unequalTotal = 0;
    for (const auto& snapshot : snapshots) {
        if (snapshot) {
            callbackCounts.push_back(snapshot->callbackCount);
            unequalTotal += snapshot->unequalFrameCallbackCount;
        }
    }
    const auto [least, most] = std::minmax_element(callbackCounts.begin(), callbackCounts.end());
    const std::uint64_t minimum = callbackCounts.empty() ? 0 : *least;
    const std::uint64_t maximum = callbackCounts.empty() ? 0 : *most;
    delegate.console().printLine("route-benchmark callbacks-min=" + std::to_string(minimum) + " callbacks-max=" +
                                 std::to_string(maximum) + " unequalFrames=" + std::to_string(unequalTotal));
    const bool hasPassed = callbackCounts.size() == snapshots.size() && minimum > 0 && unequalTotal == 0;
    stopAllAndFinish(delegate, kStoppedLine, hasPassed);
}

// Asks every route for its snapshot at once and summarises when all have answered.
void measure(AppDelegate& delegate) {
    const auto snapshots = std::make_shared<Snapshots>(delegate.benchmarkControllers.size());
    dispatch::DispatchGroup answered;
    for (std::size_t index = 0; index < delegate.benchmarkControllers.size(); ++index) {
        answered.enter();
        delegate.benchmarkControllers[index]->snapshot(
            [snapshots, index, answered](AudioRouteSnapshot snapshot) mutable {
                (*snapshots)[index] = std::move(snapshot);
                answered.leave();
            });
    }
    answered.notify(dispatch::DispatchQueue::main(), [weakDelegate = delegate.weak_from_this(), snapshots] {
        if (const auto owner = weakDelegate.lock()) {
            summarise(*owner, *snapshots);
        }
    });
}

// Starts route `index` once the one before it is active; never two at a time.
void startRoute(AppDelegate& delegate, const RouteTarget& target, std::size_t index, double durationSeconds) {
    if (index == delegate.benchmarkControllers.size()) {
        delegate.console().printLine(
            "route-benchmark active routes=" + std::to_string(delegate.benchmarkControllers.size()) + " gain=0", true);
        dispatch::DispatchQueue::main()->asyncAfter(durationSeconds, [weakDelegate = delegate.weak_from_this()] {
            if (const auto owner = weakDelegate.lock()) {
                measure(*owner);
            }
        });
        return;
    }
    delegate.benchmarkControllers[index]->start(
        target.processIDs, target.deviceUID, 0.0F,
        [weakDelegate = delegate.weak_from_this(), target, index, durationSeconds](RouteStartResult result) {
            const auto owner = weakDelegate.lock();
            if (!owner) {
                return;
            }
            if (!result.isSuccess()) {
                stopAllAndFinish(
                    *owner,
                    "route-benchmark route " + std::to_string(index + 1) + " failed: " + result.error().description(),
                    false);
                return;
            }
            startRoute(*owner, target, index + 1, durationSeconds);
        });
}

}  // namespace

void startRouteBenchmark(AppDelegate& delegate) {
    const CommandLine& commandLine = delegate.commandLine();
    auto discovery = discoverRouteTarget(commandLine, kModeName);
    if (!discovery.target) {
        delegate.finishCommandLineMode(discovery.failureLine, false);
        return;
    }
    const long long routeCount =
        std::clamp(commandLine.integerOption("--route-count", kDefaultRouteCount), 1LL, kMostRoutes);
    const double durationSeconds =
        std::max(commandLine.numberOption("--duration", kDefaultDurationSeconds), kShortestDurationSeconds);

    delegate.benchmarkControllers.clear();
    for (long long route = 0; route < routeCount; ++route) {
        delegate.benchmarkControllers.push_back(RouteController::create());
    }
    startRoute(delegate, *discovery.target, 0, durationSeconds);
}

}  // namespace tonvale
