#include "app/TonvaleApp.h"

#include <memory>
#include <string>

#include "app/LaunchMode.h"
#include "platform/appkit/Application.h"

namespace tonvale {

std::optional<int> runInitializerMode(const CommandLine& commandLine, const InitializerLaunchModes& modes,
                                      ConsoleOutput console) {
    const auto mode = initializerLaunchMode(commandLine);
    if (!mode) {
        return std::nullopt;
    }
    const bool isDiagnostics = *mode == LaunchMode::diagnosticsOnce;
    const auto& run = isDiagnostics ? modes.diagnosticsOnce : modes.inputSelectionTest;
    bool succeeded = false;
    if (run) {
        succeeded = run(console);
    } else {
        std::string line = isDiagnostics ? kDiagnosticsOnceArgument : kInputSelectionTestArgument;
        line += " is not available in this build\n";
        console.error.write(line);
    }
    console.output.flush();
    console.error.flush();
    return succeeded ? 0 : 1;
}

int runTonvale(const CommandLine& commandLine, const EnvironmentLookup& environment, const LaunchModes& modes,
               ConsoleOutput console) {
    if (const auto status = runInitializerMode(commandLine, modes.initializer, console)) {
        return *status;
    }
    appkit::Application application;
    // The session must exist before the delegate, whose widgets it outlives.
    std::unique_ptr<DesktopSession> desktop;
    const bool hasTestConfiguration = environment && environment(kTestConfigurationEnvironmentKey).has_value();
    const LaunchMode mode = delegateLaunchMode(commandLine, hasTestConfiguration);
    if (modes.desktop && needsDesktopSession(mode)) {
        desktop = modes.desktop(application, mode, environment, console);
        if (!desktop) {
            return 1;
        }
    }
    const auto delegate = std::make_shared<AppDelegate>(application, commandLine, environment, modes.delegate, console);
    application.setDelegate(delegate.get());
    return application.run();
}

}  // namespace tonvale
