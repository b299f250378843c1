// The built program, run as a process: exit statuses, streams and bundle layout.
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
    std::ifstream plist(contents / "Info.plist");
    std::stringstream text;
    text << plist.rdbuf();
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

}  // namespace
}  // namespace tonvale::testing
