#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/AppDelegate.h"
#include "app/LaunchMode.h"
#include "app/TonvaleApp.h"
#include "platform/appkit/Application.h"
#include "platform/dispatch/Dispatch.h"
#include "tests/app/RecordingConsole.h"

namespace tonvale {
namespace {

CommandLine commandLine(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "tonvale");
    return CommandLine(std::move(arguments));
}

TEST(LaunchModeTest, InitializerModes_DiagnosticsWinsOverInputSelection) {
    EXPECT_EQ(initializerLaunchMode(commandLine({"--input-selection-test", "--diagnostics-once"})),
              LaunchMode::diagnosticsOnce);
    EXPECT_EQ(initializerLaunchMode(commandLine({"--route-test", "--input-selection-test"})),
              LaunchMode::inputSelectionTest);
    EXPECT_EQ(initializerLaunchMode(commandLine({"--route-test", "--idle-benchmark"})), std::nullopt);
    EXPECT_EQ(initializerLaunchMode(commandLine({"--diagnostics-once=1"})), std::nullopt);
}

TEST(LaunchModeTest, DelegateModes_FirstMatchingRowWins) {
    EXPECT_EQ(delegateLaunchMode(commandLine({"--idle-benchmark", "--route-benchmark", "--route-test"}), false),
              LaunchMode::routeTest);
    EXPECT_EQ(delegateLaunchMode(commandLine({"--idle-benchmark", "--route-benchmark"}), false),
              LaunchMode::routeBenchmark);
    EXPECT_EQ(delegateLaunchMode(commandLine({"--idle-benchmark"}), true), LaunchMode::idleBenchmark);
    EXPECT_EQ(delegateLaunchMode(commandLine({"--route-test"}), true), LaunchMode::routeTest);
    EXPECT_EQ(delegateLaunchMode(commandLine({"--verbose"}), true), LaunchMode::testHost);
    EXPECT_EQ(delegateLaunchMode(commandLine({"--unknown", "--Route-Test"}), false), LaunchMode::interactive);
}

// Drives an application and its delegate in virtual time and records which
// delegate mode started.
class AppDelegateTest : public ::testing::Test {
protected:
    // Without modes given, each delegate mode only records that it started.
    std::shared_ptr<AppDelegate> makeDelegate(std::vector<std::string> arguments,
                                              std::optional<DelegateLaunchModes> given = std::nullopt) {
        DelegateLaunchModes modes;
        for (auto [slot, name] : {std::pair{&modes.routeTest, "routeTest"}, {&modes.routeBenchmark, "routeBenchmark"},
                                  {&modes.idleBenchmark, "idleBenchmark"}, {&modes.interactive, "interactive"}}) {
            *slot = [this, name = name](AppDelegate&) { started.emplace_back(name); };
        }
        EnvironmentLookup lookup = [this](const std::string& name) -> std::optional<std::string> {
            const auto found = environment.find(name);
            return found == environment.end() ? std::nullopt : std::optional(found->second);
        };
        auto delegate = std::make_shared<AppDelegate>(application, commandLine(std::move(arguments)), lookup,
                                                      given ? std::move(*given) : std::move(modes), console.console());
        application.setDelegate(delegate.get());
        return delegate;
    }

    dispatch::VirtualTime time;
    appkit::Application application;
    testing::RecordingConsole console;
    std::map<std::string, std::string> environment;
    std::vector<std::string> started;
};

TEST_F(AppDelegateTest, Launch_SetsAccessoryPolicyAndStartsChosenMode) {
    const auto delegate = makeDelegate({"--route-benchmark", "--idle-benchmark"});
    EXPECT_EQ(application.activationPolicy(), std::nullopt);
    application.finishLaunching();
    EXPECT_EQ(application.activationPolicy(), appkit::ActivationPolicy::accessory);
    EXPECT_EQ(started, std::vector<std::string>{"routeBenchmark"});
    EXPECT_EQ(application.terminationStatus(), std::nullopt);
}

TEST_F(AppDelegateTest, TestHost_SelectedByEmptyEnvironmentValueAndBuildsNothing) {
    environment[kTestConfigurationEnvironmentKey] = "";
    const auto delegate = makeDelegate({});
    application.finishLaunching();
    EXPECT_TRUE(started.empty());
    EXPECT_EQ(delegate->launchedMode(), LaunchMode::testHost);
    EXPECT_EQ(application.activationPolicy(), appkit::ActivationPolicy::accessory);
    EXPECT_TRUE(console.events().empty());
    EXPECT_EQ(application.terminationStatus(), std::nullopt);
}

TEST_F(AppDelegateTest, FinishSuccess_WritesLineToOutputInOneWriteThenFlushesAndExitsZero) {
    DelegateLaunchModes modes;
    modes.routeTest = [](AppDelegate& delegate) {
        dispatch::DispatchQueue::main()->asyncAfter(5, [&delegate] {
            delegate.finishCommandLineMode("route-test stopped; fail-open path restored", true);
        });
    };
    const auto delegate = makeDelegate({"--route-test"}, std::move(modes));
    application.finishLaunching();
    time.advance(4.9);
    EXPECT_EQ(application.terminationStatus(), std::nullopt);
    time.advance(0.2);
    EXPECT_EQ(application.terminationStatus(), 0);
    EXPECT_EQ(console.events(),
              (std::vector<std::string>{"out write route-test stopped; fail-open path restored\n", "out flush"}));
}

TEST_F(AppDelegateTest, FinishFailure_WritesToErrorAndExitsOneOnlyOnce) {
    DelegateLaunchModes modes;
    modes.routeBenchmark = [](AppDelegate& delegate) {
        delegate.finishCommandLineMode("route-benchmark requires --bundle-id and --device-uid", false);
        // A second finish after termination prints nothing and keeps the exit status.
        delegate.finishCommandLineMode("late", true);
    };
    const auto delegate = makeDelegate({"--route-benchmark"}, std::move(modes));
    application.finishLaunching();
    EXPECT_EQ(application.terminationStatus(), 1);
    EXPECT_EQ(console.events(), (std::vector<std::string>{
                                    "err write route-benchmark requires --bundle-id and --device-uid\n", "err flush"}));
}

class InitializerTest : public ::testing::Test {
protected:
    InitializerLaunchModes modes(bool diagnosticsSucceeds, bool inputSelectionSucceeds) {
        InitializerLaunchModes result;
        result.diagnosticsOnce = [this, diagnosticsSucceeds](ConsoleOutput& output) {
            ran.emplace_back("diagnostics");
            output.output.write("device line\n");
            if (!diagnosticsSucceeds) {
                output.error.write("failure line\n");
            }
            return diagnosticsSucceeds;
        };
        result.inputSelectionTest = [this, inputSelectionSucceeds](ConsoleOutput&) {
            ran.emplace_back("inputSelection");
            return inputSelectionSucceeds;
        };
        return result;
    }

    testing::RecordingConsole console;
    std::vector<std::string> ran;
};

TEST_F(InitializerTest, Diagnostics_RunsAloneThenFlushesOutputBeforeError) {
    const auto status = runInitializerMode(commandLine({"--input-selection-test", "--diagnostics-once"}),
                                           modes(false, true), console.console());
    EXPECT_EQ(status, 1);
    EXPECT_EQ(ran, std::vector<std::string>{"diagnostics"});
    EXPECT_EQ(console.events(), (std::vector<std::string>{"out write device line\n", "err write failure line\n",
                                                          "out flush", "err flush"}));
}

TEST_F(InitializerTest, InputSelection_ExitStatusFollowsResult) {
    EXPECT_EQ(runInitializerMode(commandLine({"--input-selection-test"}), modes(true, true), console.console()), 0);
    EXPECT_EQ(runInitializerMode(commandLine({"--input-selection-test"}), modes(true, false), console.console()), 1);
    EXPECT_EQ(ran, (std::vector<std::string>{"inputSelection", "inputSelection"}));
}

TEST_F(InitializerTest, OtherModes_LetTheApplicationStart) {
    EXPECT_EQ(runInitializerMode(commandLine({"--route-test"}), modes(true, true), console.console()), std::nullopt);
    EXPECT_TRUE(ran.empty());
    EXPECT_TRUE(console.events().empty());
}

}  // namespace
}  // namespace tonvale
