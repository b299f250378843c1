#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/AppDelegate.h"
#include "app/BenchmarkStateStore.h"
#include "app/DesktopSession.h"
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

TEST(LaunchModeTest, FirstMatchingRowWins) {
    const struct {
        std::vector<std::string> arguments;
        bool hasTestConfiguration;
        std::optional<LaunchMode> initializerMode;
        LaunchMode delegateMode;
    } cases[] = {
        {{"--input-selection-test", "--diagnostics-once"}, false, LaunchMode::diagnosticsOnce, LaunchMode::interactive},
        {{"--route-test", "--input-selection-test"}, false, LaunchMode::inputSelectionTest, LaunchMode::routeTest},
        {{"--idle-benchmark", "--route-benchmark", "--route-test"}, false, std::nullopt, LaunchMode::routeTest},
        {{"--idle-benchmark", "--route-benchmark"}, false, std::nullopt, LaunchMode::routeBenchmark},
        {{"--idle-benchmark"}, true, std::nullopt, LaunchMode::idleBenchmark},
        {{"--route-test"}, true, std::nullopt, LaunchMode::routeTest},
        {{"--verbose"}, true, std::nullopt, LaunchMode::testHost},
        {{"--diagnostics-once=1", "--Route-Test"}, false, std::nullopt, LaunchMode::interactive},
    };
    for (const auto& row : cases) {
        EXPECT_EQ(initializerLaunchMode(commandLine(row.arguments)), row.initializerMode) << row.arguments.front();
        EXPECT_EQ(delegateLaunchMode(commandLine(row.arguments), row.hasTestConfiguration), row.delegateMode)
            << row.arguments.front();
    }
}

TEST(DesktopSessionTest, Platform_TheDesktopsOwnWithADisplayOffscreenForABenchmarkOrAPictureWithout) {
    using Environment = std::map<std::string, std::string>;
    const DesktopPlatform desktop{std::nullopt, true};
    const DesktopPlatform offscreen{"offscreen", true};
    const DesktopPlatform none{std::nullopt, false};
    const struct {
        LaunchMode mode;
        Environment environment;
        DesktopPlatform platform;
    } cases[] = {
        {LaunchMode::interactive, {{"DISPLAY", ":0"}}, desktop},
        {LaunchMode::interactive, {{"WAYLAND_DISPLAY", "wayland-0"}}, desktop},
        {LaunchMode::interactive, {{"QT_QPA_PLATFORM", "vnc"}}, desktop},
        {LaunchMode::interactive, {{"DISPLAY", ""}}, none},
        {LaunchMode::interactive, {{"DISPLAY", ":0"}, {"TONVALE_POPOVER_PICTURE", "/tmp/p.png"}}, offscreen},
        {LaunchMode::idleBenchmark, {{"DISPLAY", ":0"}}, desktop},
        {LaunchMode::idleBenchmark, {}, offscreen},
        {LaunchMode::idleBenchmark, {{"TONVALE_POPOVER_PICTURE", "/tmp/p.png"}}, offscreen},
    };
    for (const auto& row : cases) {
        const EnvironmentLookup lookup = [&row](const std::string& name) -> std::optional<std::string> {
            const auto found = row.environment.find(name);
            return found == row.environment.end() ? std::nullopt : std::optional(found->second);
        };
        EXPECT_EQ(chooseDesktopPlatform(row.mode, lookup), row.platform)
            << static_cast<int>(row.mode) << " " << row.environment.size();
    }
}

// The benchmark's settings: nothing of the user's, and the launch-at-login question answered.
TEST(DesktopSessionTest, BenchmarkDocument_HasNoProfilesAndTheQuestionAnswered) {
    PersistedStateV1 expected;
    expected.preferences = {false, true, 30};
    EXPECT_EQ(BenchmarkStateStore::benchmarkDocument(), expected);
}

TEST(InitializerTest, InitializerModes_RunAloneFlushOutputBeforeErrorAndExitWithTheirResult) {
    const struct {
        std::vector<std::string> arguments;
        bool succeeds;
        std::optional<int> status;
        std::vector<std::string> events;
    } cases[] = {
        {{"--input-selection-test", "--diagnostics-once"},
         false,
         1,
         {"out write diagnosticsOnce\n", "err write failed\n", "out flush", "err flush"}},
        {{"--input-selection-test"}, true, 0, {"out write inputSelectionTest\n", "out flush", "err flush"}},
        {{"--input-selection-test"},
         false,
         1,
         {"out write inputSelectionTest\n", "err write failed\n", "out flush", "err flush"}},
        {{"--route-test"}, true, std::nullopt, {}},
    };
    for (const auto& row : cases) {
        const auto mode = [succeeds = row.succeeds](const char* name) {
            return [succeeds, name = std::string(name)](ConsoleOutput& console) {
                console.output.write(name + "\n");
                if (!succeeds) {
                    console.error.write("failed\n");
                }
                return succeeds;
            };
        };
        testing::RecordingConsole console;
        EXPECT_EQ(runInitializerMode(commandLine(row.arguments), {mode("diagnosticsOnce"), mode("inputSelectionTest")},
                                     console.console()),
                  row.status);
        EXPECT_EQ(console.events(), row.events) << row.arguments.front();
    }
}

// Drives an application and its delegate in virtual time and records which delegate
// mode started.
class AppDelegateTest : public ::testing::Test {
protected:
    // Without modes given, each delegate mode only records that it started.
    std::shared_ptr<AppDelegate> makeDelegate(std::vector<std::string> arguments,
                                              std::optional<DelegateLaunchModes> given = std::nullopt) {
        DelegateLaunchModes modes;
        for (auto [slot, name] : {std::pair{&modes.routeTest, "routeTest"},
                                  {&modes.routeBenchmark, "routeBenchmark"},
                                  {&modes.idleBenchmark, "idleBenchmark"},
                                  {&modes.interactive, "interactive"}}) {
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

TEST_F(AppDelegateTest, Launch_SetsAccessoryPolicyAndStartsTheChosenModeOrNothingForATestHost) {
    const auto delegate = makeDelegate({"--route-benchmark", "--idle-benchmark"});
    EXPECT_EQ(application.activationPolicy(), std::nullopt);
    application.finishLaunching();
    EXPECT_EQ(application.activationPolicy(), appkit::ActivationPolicy::accessory);
    EXPECT_EQ(started, std::vector<std::string>{"routeBenchmark"});

    environment[kTestConfigurationEnvironmentKey] = "";
    const auto host = makeDelegate({});
    application.finishLaunching();
    EXPECT_EQ(host->launchedMode(), LaunchMode::testHost);
    EXPECT_EQ(started.size(), 1U);
    EXPECT_TRUE(console.events().empty());
    EXPECT_EQ(application.terminationStatus(), std::nullopt);
}

// A success goes to standard output the same way; the route modes' tests show it.
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

}  // namespace
}  // namespace tonvale
