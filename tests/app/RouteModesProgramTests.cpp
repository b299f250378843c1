// The route modes as the built program runs them: on the embedded default scenario and
// on small scenario files, with exact output, error streams and exit statuses.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/app/ProgramRun.h"

namespace tonvale::testing {
namespace {

// One line per entry, each with its line feed.
std::string lines(const std::vector<std::string>& texts) {
    std::string result;
    for (const auto& text : texts) {
        result += text + "\n";
    }
    return result;
}

class RouteModesProgramTest : public ::testing::Test {
protected:
    void TearDown() override { std::filesystem::remove_all(folder_); }

    // A scenario with speakers, an output that only takes 16-bit samples, and a player.
    std::string sixteenBitScenario() {
        std::filesystem::create_directories(folder_);
        const auto path = folder_ / "sixteen-bit.json";
        std::ofstream(path) << R"({
  "devices": [
    {"uid": "speakers", "name": "Speakers", "transport": "bltn"},
    {"uid": "old-dac", "name": "Old DAC", "transport": "usb ", "format": {"bits": 16, "float": false}}
  ],
  "defaultOutput": "speakers",
  "processes": [
    {"pid": 501, "bundleID": "com.example.music", "source": {"kind": "sine", "frequency": 440, "level": -12},
     "playing": true}
  ]
})";
        return path.string();
    }

    const std::filesystem::path folder_ =
        std::filesystem::temp_directory_path() / ("tonvale-route-modes-" + std::to_string(::getpid()));
};

TEST_F(RouteModesProgramTest, RouteTestOnTheDefaultScenario_PrintsItsLinesAndExitsZero) {
    const auto run = runProgram({"--route-test", "--bundle-id", "com.example.music", "--device-uid", "usb-headset",
                                 "--gain", "0.5", "--duration", "0.9", "--sweep-gain"});
    EXPECT_EQ(run.exitStatus, 0) << run.error;
    EXPECT_EQ(run.error, "");
    const std::string active = "route-test active bundleID=com.example.music deviceUID=usb-headset gain=0.5\n";
    ASSERT_EQ(run.output.rfind(active + "route-test gain=0\nroute-test gain=1\nroute-test callbacks=", 0), 0U)
        << run.output;
    const auto counters = run.output.find("route-test callbacks=");
    const auto countersEnd = run.output.find('\n', counters);
    EXPECT_NE(run.output.substr(counters, countersEnd - counters).find(" unequalFrames=0 lastFrames=512/512"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(run.output.substr(countersEnd + 1), "route-test stopped; fail-open path restored\n");
}

TEST_F(RouteModesProgramTest, EightRouteBenchmarkOnTheDefaultScenario_PassesAndExitsZero) {
    const auto run = runProgram({"--route-benchmark", "--bundle-id", "com.example.browser", "--device-uid",
                                 "hdmi-display", "--duration", "0.3", "--route-count", "eight"});
    EXPECT_EQ(run.exitStatus, 0) << run.error;
    EXPECT_EQ(run.error, "");
    ASSERT_EQ(run.output.rfind("route-benchmark active routes=8 gain=0\nroute-benchmark callbacks-min=", 0), 0U)
        << run.output;
    EXPECT_EQ(run.output.find("callbacks-min=0 "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find(" unequalFrames=0\nroute-benchmark stopped; fail-open paths restored\n"),
              std::string::npos)
        << run.output;
}

TEST_F(RouteModesProgramTest, RouteThatCannotStart_FailsEitherModeWithTheRenderersMessage) {
    const std::map<std::string, std::string> environment{{"TONVALE_SCENARIO", sixteenBitScenario()}};
    const std::string refusal = "The aggregate route is not Float32 PCM; conversion is not implemented in Milestone 0.";
    const auto test = runProgram({"--route-test", "--bundle-id", "com.example.music", "--device-uid", "old-dac"},
                                 environment);
    EXPECT_EQ(test.exitStatus, 1);
    EXPECT_EQ(test.output, "");
    EXPECT_EQ(test.error, lines({"route-test failed: " + refusal}));

    const auto benchmark = runProgram(
        {"--route-benchmark", "--bundle-id", "com.example.music", "--device-uid", "old-dac", "--route-count", "2"},
        environment);
    EXPECT_EQ(benchmark.exitStatus, 1);
    EXPECT_EQ(benchmark.output, "");
    EXPECT_EQ(benchmark.error, lines({"route-benchmark route 1 failed: " + refusal}));
}

}  // namespace
}  // namespace tonvale::testing
