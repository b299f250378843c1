#include "app/LaunchMode.h"

namespace tonvale {

std::optional<LaunchMode> initializerLaunchMode(const CommandLine& commandLine) {
    if (commandLine.hasArgument(kDiagnosticsOnceArgument)) {
        return LaunchMode::diagnosticsOnce;
    }
    if (commandLine.hasArgument(kInputSelectionTestArgument)) {
        return LaunchMode::inputSelectionTest;
    }
    return std::nullopt;
}

LaunchMode delegateLaunchMode(const CommandLine& commandLine, bool hasTestConfiguration) {
    if (commandLine.hasArgument(kRouteTestArgument)) {
        return LaunchMode::routeTest;
    }
    if (commandLine.hasArgument(kRouteBenchmarkArgument)) {
        return LaunchMode::routeBenchmark;
    }
    if (commandLine.hasArgument(kIdleBenchmarkArgument)) {
        return LaunchMode::idleBenchmark;
    }
    if (hasTestConfiguration) {
        return LaunchMode::testHost;
    }
    return LaunchMode::interactive;
}

}  // namespace tonvale
