// How the program reads its arguments and environment: options and numbers, the launch mode,
// the desktop platform, the benchmark's settings and the initializer modes' exit.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/BenchmarkStateStore.h"
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

TEST(CommandLineTest, OptionValue_FirstOccurrenceWinsAndLastArgumentHasNone) {
    EXPECT_EQ(commandLine({"--gain", "0.25", "--gain", "0.75"}).optionValue("--gain"), "0.25");
    // The value is whatever follows, even another option.
    EXPECT_EQ(commandLine({"--duration", "--gain", "0.3"}).optionValue("--duration"), "--gain");
    EXPECT_EQ(commandLine({"--route-test", "--gain"}).optionValue("--gain"), std::nullopt);
    // The program path itself is an argument and can be an option's name.
    EXPECT_EQ(CommandLine({"--gain"}).optionValue("--gain"), std::nullopt);
}

TEST(DecimalNumberParsingTest, AcceptsWholeDecimalTextOnly) {
    EXPECT_EQ(parseDecimalNumber("+2.5"), 2.5);
    EXPECT_EQ(parseDecimalNumber(".5"), 0.5);
    EXPECT_EQ(parseDecimalNumber("1E-2"), 0.01);
    for (const char* text : {"", " 0.5", "0.5 ", "0.5s", "0,5", "+", "++1", "0x10", "nan", "inf", "-inf",
                             "infinity", "1e999", "e5", "1e", "."}) {
        EXPECT_EQ(parseDecimalNumber(text), std::nullopt) << "'" << text << "'";
    }
    EXPECT_EQ(parseDecimalInteger("+3"), 3);
    EXPECT_EQ(parseDecimalInteger("-3"), -3);
    for (const char* text : {"", " 8", "8.0", "1e2", "--3", "99999999999999999999999"}) {
        EXPECT_EQ(parseDecimalInteger(text), std::nullopt) << "'" << text << "'";
    }
}

TEST(DecimalTextTest, PrintsShortestFormWithPointOnWholeNumbers) {
    EXPECT_EQ(shortestDecimalText(0.1), "0.1");
    EXPECT_EQ(shortestDecimalText(2), "2.0");
    EXPECT_EQ(shortestDecimalText(1e15), "1000000000000000.0");
    EXPECT_EQ(shortestDecimalText(1e16), "1e+16");
    EXPECT_EQ(shortestDecimalText(0.00001), "1e-05");
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

}  // namespace
}  // namespace tonvale
