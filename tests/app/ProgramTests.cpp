// The built program, run as a process from its application bundle: exit statuses,
// streams and bundle layout, and the route modes on the embedded default scenario.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/app/ProgramRun.h"

namespace tonvale::testing {
namespace {

TEST(ProgramTest, Bundle_HasExecutableAndInfoPlistWithIdentifierAndVersion) {
    const std::filesystem::path executable = tonvaleExecutablePath();
    ASSERT_TRUE(std::filesystem::exists(executable));
    const auto contents = executable.parent_path().parent_path();
    EXPECT_EQ(contents.filename(), "Contents");
    EXPECT_EQ(contents.parent_path().filename(), "Tonvale.app");
    std::stringstream text;
    text << std::ifstream(contents / "Info.plist").rdbuf();
    EXPECT_NE(text.str().find("<string>com.zelkor.tonvale</string>"), std::string::npos);
    EXPECT_NE(text.str().find("<key>CFBundleShortVersionString</key>"), std::string::npos);
    EXPECT_EQ(text.str().find("@PROJECT_VERSION@"), std::string::npos);
}

TEST(ProgramTest, FailedCommandLineMode_PrintsOneLineOnErrorAndExitsOne) {
    // Without the required options every route mode fails at once, whatever else is given.
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"--route-test"},
             {"--route-benchmark", "--bogus", "--gain"},
             {"--route-test", "--gain", "nan", "--duration", "-inf", "\xff\xfe", ""},
         }) {
        const auto run = runProgram(arguments, {{"XCTestConfigurationFilePath", ""}});
        EXPECT_EQ(run.exitStatus, 1) << arguments.front();
        EXPECT_EQ(run.output, "");
        ASSERT_FALSE(run.error.empty());
        EXPECT_EQ(run.error.find('\n'), run.error.size() - 1) << run.error;
    }
}

TEST(ProgramTest, RouteTestOnTheDefaultScenario_PrintsItsLinesAndExitsZero) {
    const auto run = runProgram({"--route-test", "--bundle-id", "com.example.music", "--device-uid", "usb-headset",
                                 "--gain", "0.5", "--duration", "0.9", "--sweep-gain"});
    EXPECT_EQ(run.exitStatus, 0) << run.error;
    EXPECT_EQ(run.error, "");
    ASSERT_EQ(run.output.rfind("route-test active bundleID=com.example.music deviceUID=usb-headset gain=0.5\n"
                               "route-test gain=0\nroute-test gain=1\nroute-test callbacks=",
                               0),
              0U)
        << run.output;
    EXPECT_TRUE(
        run.output.ends_with(" unequalFrames=0 lastFrames=512/512\nroute-test stopped; fail-open path restored\n"))
        << run.output;
}

TEST(ProgramTest, EightRouteBenchmarkOnTheDefaultScenario_PassesAndExitsZero) {
    const auto run = runProgram({"--route-benchmark", "--bundle-id", "com.example.browser", "--device-uid",
                                 "hdmi-display", "--duration", "0.3", "--route-count", "eight"});
    EXPECT_EQ(run.exitStatus, 0) << run.error;
    EXPECT_EQ(run.error, "");
    ASSERT_EQ(run.output.rfind("route-benchmark active routes=8 gain=0\nroute-benchmark callbacks-min=", 0), 0U)
        << run.output;
    EXPECT_EQ(run.output.find("callbacks-min=0 "), std::string::npos) << run.output;
    EXPECT_TRUE(run.output.ends_with(" unequalFrames=0\nroute-benchmark stopped; fail-open paths restored\n"))
        << run.output;
}

}  // namespace
}  // namespace tonvale::testing
