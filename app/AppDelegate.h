// The application delegate: picks the delegate-launched mode once the
// application has finished launching, owns the objects that mode builds, and
// ends command-line modes through the normal termination sequence, which stops the
// application's model when there is one.
//
// Lives on the main thread for the life of the process; shared so that
// completions of the modes can hold it weakly.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/CommandLine.h"
#include "app/ConsoleOutput.h"
#include "app/LaunchMode.h"
#include "engine/RouteController.h"
#include "platform/appkit/Application.h"

namespace tonvale {

class AppDelegate;
class AppStateController;
class StatusItemController;

// Looks up a variable of the process environment; nothing when it is unset.
using EnvironmentLookup = std::function<std::optional<std::string>(const std::string& name)>;

// The modes started from the launch callback, each given the delegate that
// owns what it builds. A mode this build does not have is left empty.
struct DelegateLaunchModes {
    std::function<void(AppDelegate&)> routeTest;
    std::function<void(AppDelegate&)> routeBenchmark;
    std::function<void(AppDelegate&)> idleBenchmark;
    std::function<void(AppDelegate&)> interactive;
};

class AppDelegate final : public appkit::ApplicationDelegate, public std::enable_shared_from_this<AppDelegate> {
public:
    AppDelegate(appkit::Application& application, CommandLine commandLine, EnvironmentLookup environment,
                DelegateLaunchModes modes, ConsoleOutput console);

    void applicationDidFinishLaunching() override;
    void applicationWillTerminate() override;

    // Ends a delegate-launched mode: the message and a line feed go in one write
    // to standard output on success, standard error otherwise; that stream is
    // flushed; the route test's controller is released (tearing its route down);
    // the application terminates with status 0 on success and 1 on failure. Only the
    // first call does anything.
    void finishCommandLineMode(std::string_view message, bool success);

    [[nodiscard]] const CommandLine& commandLine() const { return commandLine_; }
    [[nodiscard]] const EnvironmentLookup& environment() const { return environment_; }
    [[nodiscard]] ConsoleOutput& console() { return console_; }
    [[nodiscard]] appkit::Application& application() { return application_; }
    // The mode the launch callback chose, once it ran.
    [[nodiscard]] std::optional<LaunchMode> launchedMode() const { return launchedMode_; }

    // The route test's controller and the route benchmark's controllers, in start
    // order. The delegate is their only owner: releasing one tears its route down.
    std::shared_ptr<RouteController> routeTestController;
    std::vector<std::shared_ptr<RouteController>> benchmarkControllers;
    // The application's model and its status item, built by the interactive application
    // and the idle benchmark; the model is stopped when the application terminates.
    std::shared_ptr<AppStateController> appStateController;
    std::shared_ptr<StatusItemController> statusItemController;

private:
    void startMode(const std::function<void(AppDelegate&)>& mode, std::string_view name);

    appkit::Application& application_;
    CommandLine commandLine_;
    EnvironmentLookup environment_;
    DelegateLaunchModes modes_;
    ConsoleOutput console_;
    std::optional<LaunchMode> launchedMode_;
    bool isFinished_ = false;
};

}  // namespace tonvale
