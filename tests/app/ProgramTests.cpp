// The built program, run as a process from its application bundle on the embedded
// default scenario: what each mode prints on which stream, and its exit status.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>

#include "tests/app/ProgramRun.h"

namespace tonvale::testing {
namespace {

TEST(ProgramTest, Modes_PrintTheirLinesOnTheirStreamsAndExitWithTheirStatus) {
    const struct {
        std::vector<std::string> arguments;
        int exitStatus;
        std::string output;
        std::string error;
    } cases[] = {
        // A route mode without its options fails at once; the browser's sound comes from its helpers.
        {{"--route-test", "--gain", "nan", "--duration", "-inf", "\xff\xfe", ""},
         1,
         "",
         "route-test requires --bundle-id and --device-uid\n"},
        {{"--route-benchmark", "--bundle-id", "com.example.browser", "--device-uid", "hdmi-display", "--duration",
          "0.3", "--route-count", "eight"},
         0,
         "route-benchmark active routes=8 gain=0\nroute-benchmark callbacks-min=[1-9][0-9]* callbacks-max=[0-9]+ "
         "unequalFrames=0\nroute-benchmark stopped; fail-open paths restored\n",
         ""},
        // The version comes from the bundle; then the devices, processes and logical apps, in blocks.
        {{"--diagnostics-once"},
         0,
         "Tonvale version=0\\.1\\.0 build=\\S+\nmacOS=.+\ndefaultOutputID=[0-9]+\ndefaultInputID=[0-9]+\n"
         "(device id=[0-9]+ uid=.+ name=.+ transport=.+ alive=.+ input=.+ output=.+ rate=.+\n){7}"
         "(process objectID=[0-9]+ pid=.+ bundleID=.* name=.+ running=.+ runningOutput=.+\n){7}"
         "(logicalApp bundleID=.+ name=.+ processObjectIDs=\\[.+\\] activeProcessObjectIDs=\\[.*\\]\n){4}",
         ""},
        {{"--input-selection-test"}, 0, "input-selection-test passed currentDeviceID=[0-9]+\n", ""},
    };
    for (const auto& mode : cases) {
        // No display: the command-line modes make no desktop session.
        const auto run = runProgram(mode.arguments, {{"XCTestConfigurationFilePath", ""}, {"DISPLAY", ""}});
        EXPECT_EQ(run.exitStatus, mode.exitStatus) << mode.arguments.front() << ": " << run.error;
        EXPECT_TRUE(std::regex_match(run.output, std::regex(mode.output))) << run.output;
        EXPECT_EQ(run.error, mode.error);
    }
}

// Where no PipeWire server answers: asked for, it is a one-line failure; not asked for, the
// simulated server stands in; a name that is neither is refused.
TEST(ProgramTest, AudioServerChoice_WithoutAPipeWireServer) {
    const std::filesystem::path runtime =
        std::filesystem::temp_directory_path() / ("tonvale-no-server-" + std::to_string(::getpid()));
    std::filesystem::create_directories(runtime);
    const std::map<std::string, std::string> noServer{{"XDG_RUNTIME_DIR", runtime.string()},
                                                      {"PIPEWIRE_RUNTIME_DIR", runtime.string()},
                                                      {"PIPEWIRE_REMOTE", "pipewire-0"}};
    auto environment = [&noServer](const std::string& choice) {
        auto variables = noServer;
        variables["TONVALE_AUDIO"] = choice;
        return variables;
    };

    const auto asked = runProgram({"--diagnostics-once"}, environment("pipewire"));
    EXPECT_EQ(asked.exitStatus, 1);
    EXPECT_EQ(asked.output, "");
    EXPECT_TRUE(std::regex_match(asked.error, std::regex("tonvale: PipeWire: [^\n]+\n"))) << asked.error;

    const auto unasked = runProgram({"--diagnostics-once"}, environment(""));
    EXPECT_EQ(unasked.exitStatus, 0) << unasked.error;
    EXPECT_NE(unasked.output.find(" uid=usb-headset "), std::string::npos) << "the simulated desk";

    const auto unknown = runProgram({"--diagnostics-once"}, environment("alsa"));
    EXPECT_EQ(unknown.exitStatus, 1);
    EXPECT_EQ(unknown.error, "tonvale: TONVALE_AUDIO must be pipewire or sim, not \"alsa\"\n");
    std::filesystem::remove_all(runtime);
}

// Without a display the idle benchmark and the popover's picture run offscreen; the tray application says why not.
TEST(ProgramTest, WidgetModesWithoutADisplay_RunOffscreenOrSayWhyNot) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("tonvale-headless-" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder / "config");
    std::filesystem::create_directories(folder / "runtime");
    std::filesystem::permissions(folder / "runtime", std::filesystem::perms::owner_all);
    std::map<std::string, std::string> headless{{"DISPLAY", ""},
                                                {"WAYLAND_DISPLAY", ""},
                                                {"QT_QPA_PLATFORM", ""},
                                                {"XDG_CONFIG_HOME", (folder / "config").string()},
                                                {"XDG_RUNTIME_DIR", (folder / "runtime").string()}};

    const auto benchmark = runProgram({"--idle-benchmark", "--duration", "0.1"}, headless);
    EXPECT_EQ(benchmark.exitStatus, 0) << benchmark.error;
    EXPECT_EQ(benchmark.output, "idle-benchmark active duration=0.25\nidle-benchmark stopped\n");
    EXPECT_EQ(benchmark.error, "");
    EXPECT_TRUE(std::filesystem::is_empty(folder / "config")) << "no settings and no login item written";

    const auto interactive = runProgram({}, headless);
    EXPECT_EQ(interactive.exitStatus, 1);
    EXPECT_EQ(interactive.error,
              "Tonvale needs a desktop: no display is available (DISPLAY and WAYLAND_DISPLAY are unset)\n");

    std::filesystem::create_directories(folder / "config" / "tonvale");
    std::ofstream(folder / "config" / "tonvale" / "Tonvale.persistedState")
        << R"({"appProfiles":{},"favoriteBundleIDs":[],"preferences":{"hasCompletedLaunchAtLoginConsent":true,)"
        << R"("launchAtLogin":false,"recentAppVisibilitySeconds":30},"schemaVersion":1})";
    headless["TONVALE_POPOVER_PICTURE"] = (folder / "popover.png").string();
    const auto picture = runProgram({}, headless);
    EXPECT_EQ(picture.exitStatus, 0) << picture.error;
    EXPECT_EQ(picture.output, (folder / "popover.png").string() + "\n");
    std::ifstream png(folder / "popover.png", std::ios::binary);
    std::string signature(8, '\0');
    png.read(signature.data(), 8);
    EXPECT_EQ(signature, "\x89PNG\r\n\x1a\n");
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace tonvale::testing
