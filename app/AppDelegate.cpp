#include "app/AppDelegate.h"

#include <string>

#include "state/AppStateController.h"

namespace tonvale {

namespace {

constexpr int kSuccessExitStatus = 0;
constexpr int kFailureExitStatus = 1;

}  // namespace

AppDelegate::AppDelegate(appkit::Application& application, CommandLine commandLine, EnvironmentLookup environment,
                         DelegateLaunchModes modes, ConsoleOutput console)
    : application_(application),
      commandLine_(std::move(commandLine)),
      environment_(std::move(environment)),
      modes_(std::move(modes)),
      console_(console) {}

void AppDelegate::applicationDidFinishLaunching() {
    application_.setActivationPolicy(appkit::ActivationPolicy::accessory);

    const bool hasTestConfiguration = environment_ && environment_(kTestConfigurationEnvironmentKey).has_value();
    const LaunchMode mode = delegateLaunchMode(commandLine_, hasTestConfiguration);
    launchedMode_ = mode;
    switch (mode) {
        case LaunchMode::routeTest:
            startMode(modes_.routeTest, kRouteTestArgument);
            return;
        case LaunchMode::routeBenchmark:
            startMode(modes_.routeBenchmark, kRouteBenchmarkArgument);
            return;
        case LaunchMode::idleBenchmark:
            startMode(modes_.idleBenchmark, kIdleBenchmarkArgument);
            return;
        case LaunchMode::testHost:
            // A test runner hosts the process: build nothing, touch nothing.
            return;
        case LaunchMode::interactive:
            startMode(modes_.interactive, "the interactive application");
            return;
        case LaunchMode::diagnosticsOnce:
        case LaunchMode::inputSelectionTest:
            // Decided and run by the application initializer; never chosen here.
            return;
    }
}

void AppDelegate::applicationWillTerminate() {
    // Saves the settings and stops every route, so every app plays normally again.
    if (appStateController) {
        appStateController->stop();
    }
}

void AppDelegate::finishCommandLineMode(std::string_view message, bool success) {
    // A mode ends once: a late finish (a completion that outlived the end) says nothing.
    if (isFinished_) {
        return;
    }
    isFinished_ = true;
    TextStream& stream = success ? console_.output : console_.error;
    std::string line(message);
    line += '\n';
    stream.write(line);
    stream.flush();
    routeTestController.reset();
    application_.terminate(success ? kSuccessExitStatus : kFailureExitStatus);
}

void AppDelegate::startMode(const std::function<void(AppDelegate&)>& mode, std::string_view name) {
    if (!mode) {
        finishCommandLineMode(std::string(name) + " is not available in this build", false);
        return;
    }
    mode(*this);
}

}  // namespace tonvale
