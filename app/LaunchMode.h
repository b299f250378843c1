// The launch modes of the executable and the rule that picks one.
//
// Two modes run from the application initializer, before the application
// object starts; the rest are chosen once the application has finished
// launching. The first matching row of the table wins.
// Thread-safety: pure functions of their arguments; safe from any thread.
#pragma once

#include <optional>

#include "app/CommandLine.h"

namespace tonvale {

enum class LaunchMode {
    diagnosticsOnce,
    inputSelectionTest,
    routeTest,
    routeBenchmark,
    idleBenchmark,
    testHost,
    interactive,
};

inline constexpr const char* kDiagnosticsOnceArgument = "--diagnostics-once";
inline constexpr const char* kInputSelectionTestArgument = "--input-selection-test";
inline constexpr const char* kRouteTestArgument = "--route-test";
inline constexpr const char* kRouteBenchmarkArgument = "--route-benchmark";
inline constexpr const char* kIdleBenchmarkArgument = "--idle-benchmark";
// Present (with any value, the empty text included) when a test runner hosts the process.
inline constexpr const char* kTestConfigurationEnvironmentKey = "XCTestConfigurationFilePath";

// The mode the application initializer runs itself, if any.
[[nodiscard]] std::optional<LaunchMode> initializerLaunchMode(const CommandLine& commandLine);

// The mode chosen when the application has finished launching.
[[nodiscard]] LaunchMode delegateLaunchMode(const CommandLine& commandLine, bool hasTestConfiguration);

}  // namespace tonvale
