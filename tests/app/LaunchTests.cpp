// How the program reads its arguments and environment: options and numbers, the launch mode,
// the desktop platform and the initializer modes' exit.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/DesktopSession.h"
#include "app/LaunchMode.h"
#include "app/TonvaleApp.h"
#include "hal/DecimalText.h"
#include "tests/app/RecordingConsole.h"

namespace tonvale {
namespace {

CommandLine commandLine(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "tonvale");
    return CommandLine(std::move(arguments));
}

// A gain or duration that is no finite number must never reach the route.
TEST(DecimalNumberParsingTest, AcceptsWholeDecimalTextOnly) {
    EXPECT_EQ(parseDecimalNumber("+2.5"), 2.5);
    EXPECT_EQ(parseDecimalNumber(".5E-2"), 0.005);
    for (const char* text : {"", " 0.5", "0.5s", "0,5", "0x10", "nan", "-inf", "infinity", "1e999", "1e", "."}) {
        EXPECT_EQ(parseDecimalNumber(text), std::nullopt) << "'" << text << "'";
    }
    EXPECT_EQ(parseDecimalInteger("-3"), -3);
    for (const char* text : {"", " 8", "8.0", "1e2", "--3", "99999999999999999999999"}) {
        EXPECT_EQ(parseDecimalInteger(text), std::nullopt) << "'" << text << "'";
    }
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
        {{"--idle-benchmark"}, true, std::nullopt, LaunchMode::idleBenchmark},
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
        {LaunchMode::interactive, {{"DISPLAY", ""}}, none},
        {LaunchMode::interactive, {{"DISPLAY", ":0"}, {"TONVALE_POPOVER_PICTURE", "/tmp/p.png"}}, offscreen},
        {LaunchMode::idleBenchmark, {}, offscreen},
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

// A failing initializer mode flushes its output before its error and exits with 1; other modes run later.
TEST(InitializerTest, InitializerModes_RunAloneFlushOutputBeforeErrorAndExitWithTheirResult) {
    const auto failing = [](ConsoleOutput& console) {
        console.output.write("inputSelectionTest\n");
        console.error.write("failed\n");
        return false;
    };
    testing::RecordingConsole console;
    const InitializerLaunchModes modes{[](ConsoleOutput&) { return true; }, failing};
    EXPECT_EQ(runInitializerMode(commandLine({"--input-selection-test"}), modes, console.console()), 1);
    EXPECT_EQ(runInitializerMode(commandLine({"--route-test"}), modes, console.console()), std::nullopt);
    const std::vector<std::string> expected{"out write inputSelectionTest\n", "err write failed\n", "out flush",
                                            "err flush"};
    EXPECT_EQ(console.events(), expected);
}

}  // namespace
}  // namespace tonvale
