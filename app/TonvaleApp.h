// The process entry: runs the initializer modes at once, or starts the
// application with its delegate and runs it until it terminates.
//
// Main thread only. The modes are injected so that tests can watch which one
// runs; standardLaunchModes() holds the program's own.
#pragma once

#include <functional>
#include <optional>

#include "app/AppDelegate.h"
#include "app/CommandLine.h"
#include "app/ConsoleOutput.h"
#include "app/DesktopSession.h"

namespace tonvale {

// The modes run by the application initializer; each answers success.
struct InitializerLaunchModes {
    std::function<bool(ConsoleOutput&)> diagnosticsOnce;
    std::function<bool(ConsoleOutput&)> inputSelectionTest;
};

struct LaunchModes {
    InitializerLaunchModes initializer;
    DelegateLaunchModes delegate;
    // Made before the application runs when the mode has widgets; none leaves the plain run loop.
    DesktopSessionFactory desktop;
};

// The modes this build has.
[[nodiscard]] LaunchModes standardLaunchModes();

// The application initializer: runs "--diagnostics-once" or
// "--input-selection-test" when given, flushes standard output then standard
// error, and answers the exit status; nothing when the application should start.
[[nodiscard]] std::optional<int> runInitializerMode(const CommandLine& commandLine, const InitializerLaunchModes& modes,
                                                    ConsoleOutput console);

// The whole process: the initializer, then the application (on the desktop's session when
// the mode has widgets) and its delegate until termination. Answers the exit status; 1 when
// a mode with widgets cannot have its session.
[[nodiscard]] int runTonvale(const CommandLine& commandLine, const EnvironmentLookup& environment,
                             const LaunchModes& modes, ConsoleOutput console);

}  // namespace tonvale
