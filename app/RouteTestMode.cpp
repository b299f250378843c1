#include "app/RouteTestMode.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <memory>
#include <string>

#include "app/AppDelegate.h"
#include "app/RouteTargetDiscovery.h"
#include "engine/RouteController.h"
#include "hal/DecimalText.h"
#include "platform/dispatch/Dispatch.h"

namespace tonvale {

namespace {

constexpr const char* kModeName = "route-test";
constexpr double kDefaultGain = 0.5;
constexpr double kDefaultDurationSeconds = 5.0;
// No step of the test comes sooner than this after the route is active.
constexpr double kShortestStepSeconds = 0.25;

// The gain as the route takes it: a 32-bit float, saturated rather than overflowing.
float routeGain(double gain) {
    constexpr double kLargest = std::numeric_limits<float>::max();
    return static_cast<float>(std::clamp(gain, -kLargest, kLargest));
}

void afterSeconds(double seconds, std::function<void()> step) {
    dispatch::DispatchQueue::main()->asyncAfter(seconds, std::move(step));
}

// A sweep step holds only the route controller (and the console it prints to); it
// does nothing once the controller is gone.
void scheduleSweepStep(double seconds, const std::shared_ptr<RouteController>& controller, ConsoleOutput console,
                       float gain, std::string line) {
    afterSeconds(seconds, [weakController = std::weak_ptr<RouteController>(controller), console, gain,
                           line = std::move(line)]() mutable {
        const auto routeController = weakController.lock();
        if (!routeController) {
            return;
        }
        console.printLine(line);
        routeController->setGain(gain);
    });
}

std::string countersLine(const AudioRouteSnapshot& snapshot) {
    return "route-test callbacks=" + std::to_string(snapshot.callbackCount) +
           " unequalFrames=" + std::to_string(snapshot.unequalFrameCallbackCount) +
           " lastFrames=" + std::to_string(snapshot.lastInputFrameCount) + "/" +
           std::to_string(snapshot.lastOutputFrameCount);
}

// Measures the route, stops it and ends the mode; holds the delegate weakly.
void finishRouteTest(const std::weak_ptr<AppDelegate>& weakDelegate,
                     const std::weak_ptr<RouteController>& weakController) {
    const auto controller = weakController.lock();
    if (!controller || weakDelegate.expired()) {
        return;
    }
    controller->snapshot([weakDelegate, weakController](AudioRouteSnapshot snapshot) {
        const auto delegate = weakDelegate.lock();
        const auto routeController = weakController.lock();
        if (!delegate || !routeController) {
            return;
        }
        delegate->console().printLine(countersLine(snapshot));
        routeController->stop([weakDelegate] {
            if (const auto owner = weakDelegate.lock()) {
                owner->finishCommandLineMode("route-test stopped; fail-open path restored", true);
            }
        });
    });
}

}  // namespace

void startRouteTest(AppDelegate& delegate) {
    const CommandLine& commandLine = delegate.commandLine();
    auto discovery = discoverRouteTarget(commandLine, kModeName);
    if (!discovery.target) {
        delegate.finishCommandLineMode(discovery.failureLine, false);
        return;
    }
    const double gain = commandLine.numberOption("--gain", kDefaultGain);
    const double durationSeconds = commandLine.numberOption("--duration", kDefaultDurationSeconds);
    const bool isSweepingGain = commandLine.hasArgument("--sweep-gain");
    const RouteTarget target = std::move(*discovery.target);

    const auto controller = RouteController::create();
    delegate.routeTestController = controller;
    const std::string activeLine = "route-test active bundleID=" + target.bundleID + " deviceUID=" + target.deviceUID +
                                   " gain=" + shortestDecimalText(gain);
    controller->start(
        target.processIDs, target.deviceUID, routeGain(gain),
        [weakDelegate = delegate.weak_from_this(), weakController = std::weak_ptr<RouteController>(controller),
         activeLine, durationSeconds, isSweepingGain](RouteStartResult result) {
            const auto owner = weakDelegate.lock();
            if (!owner) {
                return;
            }
            if (!result.isSuccess()) {
                owner->finishCommandLineMode("route-test failed: " + result.error().description(), false);
                return;
            }
            owner->console().printLine(activeLine, true);
            if (const auto routeController = weakController.lock(); routeController && isSweepingGain) {
                const double step = std::max(durationSeconds / 3.0, kShortestStepSeconds);
                scheduleSweepStep(step, routeController, owner->console(), 0.0F, "route-test gain=0");
                scheduleSweepStep(2.0 * step, routeController, owner->console(), 1.0F, "route-test gain=1");
            }
            afterSeconds(std::max(durationSeconds, kShortestStepSeconds),
                         [weakDelegate, weakController] { finishRouteTest(weakDelegate, weakController); });
        });
}

}  // namespace tonvale
